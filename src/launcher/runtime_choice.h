// The included runtime: unpacking "jre.tar.gz" into "jre", expanding its packed jars, and
// loading it, with the search on the machine as the fallback.
#pragma once

#include <windows.h>

namespace launcher {

// Loads the runtime in "jre" of the current directory, else any the search finds; ends the
// launcher when neither can be loaded.
void useIncludedJre();

// Unpacks "jre.tar.gz" into "jre" with progress (100 to 200, then 200 to 300 while packed jars
// are expanded), then useIncludedJre(). Returns early when the user cancels; a damaged archive
// ends the launcher.
void prepareIncludedJre(HWND window);

}  // namespace launcher
