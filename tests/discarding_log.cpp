// The log of test programs that have no launcher log: the fuzz targets, the media tool's tests
// (the tar reader logs as it unpacks) and the programs that hold the natives without the launcher.
// Every line is formatted as in the launcher, then dropped: a sink that kept the lines would
// grow with each input until an open-ended fuzz run ran out of memory.
#include "services/log.h"

namespace services {
void writeLogLine(bool, std::wstring_view) {}
}  // namespace services
