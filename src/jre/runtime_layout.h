// Where a runtime directory keeps its java.exe: the layouts every source of runtimes accepts.
#pragma once

#include <string>

namespace jre {

// Sets `javaExe` to directory + "\jre\bin\java.exe" and says whether the layout is acceptable.
// When a JDK is required (config id 131) it is exactly when directory + "\lib\tools.jar"
// exists, and the path stays in the jre\bin form. Otherwise a missing jre\bin\java.exe moves
// the path to directory + "\bin\java.exe" and the layout still counts as acceptable: whether
// that file exists is the version check's to find out.
bool findJavaExeInDir(std::string& javaExe, const std::string& directory);

}  // namespace jre
