// The two steps of the work flow that read the included payload: the checksum test and the
// extraction of the included files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace media {

// Returns when the payload is intact or the check is off ("-nocheck", check flag 0); otherwise
// shows the corrupted-file message (in every mode) and ends the run with exit code 1. Progress
// goes to control 1001 of `progressWindow` (positions 0 to 100) when there is one.
void verifyIntegrity(HWND progressWindow);

// Writes the included files into `directory` (narrow, as the file-API code page spells it).
// 0 on success (also when cancelled), 1 when the payload is damaged or cut short, 2 when a
// write fails. A file that cannot be created ends the run with internal error "11".
int extractIncludedFilesInto(const std::string& directory);

// File offset just after the last included file; valid after a complete extraction.
int64_t unextractedPosition();

}  // namespace media
