#include "launcher/instance_name.h"

#include "services/log.h"
#include "services/tables.h"

namespace launcher {

namespace {

constexpr int32_t kAllSessionsId = 158;
constexpr int32_t kThisSessionId = 200;

}  // namespace

SemaphoreScope semaphoreScope(const std::function<std::string()>& userSid) {
    if (services::configInteger(kAllSessionsId) != 0) return {"Global\\", true};
    if (services::configInteger(kThisSessionId) != 0) return {"Local\\", false};
    services::logMessage(L"user single instance");
    const std::string sid = userSid();
    if (sid.empty()) {
        services::logMessage(L"user single instance failed, fall back to session single instance");
        return {"Local\\", false};
    }
    return {"Global\\" + sid, true};
}

std::string semaphoreName(const SemaphoreScope& scope, const std::string& canonicalPath) {
    std::string name = scope.prefix + canonicalPath;
    for (size_t at = scope.prefix.size(); at < name.size(); ++at)
        if (name[at] == '\\' || name[at] == ' ') name[at] = '_';
    return name;
}

}  // namespace launcher
