// The launcher log file: one per process, in the temporary base, UTF-8 with a byte-order
// mark, every line prefixed with the time since the log was created. An ordinary run's log is
// temporary and removed at exit; it survives when the user asked for it or when an error text
// named it. Implemented by the program's top (launcher/launcher_log.cpp).
#pragma once

#include <optional>
#include <string>

namespace services {

// Set before the first log line by "-create-cvn-log": the log is then not temporary.
void requestLogFile();
// Whether this process is the deletion child, which writes a log only when one is requested.
void setLogDeletionMode(bool deletionMode);
// The log path, or none without a log; the log then survives the process.
std::optional<std::wstring> retainLogFile();
// Removes a temporary log that nobody retained. Runs at process exit.
void deleteTemporaryLog();

}  // namespace services
