#include "files/cleanup.h"

#include <windows.h>

#include <cstdlib>

namespace files {

void cleanUpAndExit(int exitCode) {
    // Nothing has been extracted at this stage of the launcher's life; the log's own exit
    // handler removes a temporary log.
    std::exit(exitCode);
}

}  // namespace files
