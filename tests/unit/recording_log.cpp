// The host build has no log file; this sink keeps the lines for the tests.
#include <mutex>

#include "services/log.h"
#include "log_capture.h"

namespace {
std::mutex linesLock;
std::vector<std::wstring> lines;
}  // namespace

namespace services {
void writeLogLine(bool isError, std::wstring_view text) {
    std::lock_guard<std::mutex> guard(linesLock);
    lines.push_back((isError ? L"ERROR: " : L"") + std::wstring(text));
}
}  // namespace services

std::vector<std::wstring> capturedLogLines() {
    std::lock_guard<std::mutex> guard(linesLock);
    return lines;
}
