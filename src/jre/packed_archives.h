// Jar archives shipped packed ("*.jar.pack") and turned back into jars by the runtime's own
// bin\unpack200.exe, run hidden, one file at a time.
#pragma once

#include <string>

namespace jre {

// Expands the packed jars in runtime\lib and runtime\lib\ext whose jar does not exist yet,
// stopping between files when the user cancels.
void expandPackedJars(const std::string& runtimeHome);

// Runs runtimeHome\bin\unpack200.exe -r "packed" "jar" and deletes the packed file. An
// unpacker that cannot be started is fatal (message 1021, exit code 1).
void unpackFile(const std::string& runtimeHome, const std::string& packedPath);

}  // namespace jre
