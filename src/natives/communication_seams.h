// How long the pipe natives keep trying before they give up, replaceable so that a test of the
// give-up paths does not wait minutes.
#pragma once

#include <windows.h>

namespace natives {

struct PipeRetries {
    int connectListener;   // connectNamedPipe0: retries after a failed ConnectNamedPipe (600)
    int openClient;        // connectClient0: retries after a failed CreateFileW (200)
    void (*sleep)(DWORD milliseconds);  // between retries (500 ms each)
};

const PipeRetries& systemPipeRetries();
// nullptr restores systemPipeRetries().
void setPipeRetries(const PipeRetries* retries);

}  // namespace natives
