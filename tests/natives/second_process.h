// What another process sees: Wine's reg.exe run under the same prefix, its export read back
// whole (reg export writes UTF-16, so names and data outside any code page survive).
#pragma once

#include <string>

namespace natives_test {

// Runs a command line hidden and waits for it; its exit code, or -1 when it could not start.
int runProcess(const std::wstring& commandLine);

// The text of `reg export <key> <file> /y` for a key named with its hive
// ("HKEY_CURRENT_USER\Software\..."); empty when reg failed (no such key).
std::wstring registryExport(const std::wstring& key);

}  // namespace natives_test
