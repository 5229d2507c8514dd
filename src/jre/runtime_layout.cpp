#include "jre/runtime_layout.h"

#include "files/path_operations.h"
#include "services/tables.h"

namespace jre {

namespace {
constexpr int32_t kJdkRequiredId = 131;
}

bool findJavaExeInDir(std::string& javaExe, const std::string& directory) {
    javaExe = directory + "\\jre\\bin\\java.exe";
    if (services::configInteger(kJdkRequiredId) != 0) return files::pathExists(directory + "\\lib\\tools.jar");
    if (files::pathExists(javaExe)) return true;
    javaExe = directory + "\\bin\\java.exe";
    return true;
}

}  // namespace jre
