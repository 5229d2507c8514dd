// The name of the single-instance semaphore: a scope, then the launcher's path in a form fit
// for a kernel object name. The same launcher file started twice gets the same name, whatever
// letter case its path was written in.
#pragma once

#include <functional>
#include <string>

namespace launcher {

struct SemaphoreScope {
    std::string prefix;
    // Other users' instances must be able to open it: a null DACL.
    bool openToEverybody = false;
};

// Config id 158: one instance for all sessions ("Global\"); else config id 200: one per session
// ("Local\"); else one per user: "Global\" and the string form of the user's SID, which
// `userSid` gives (asked only then; empty when it could not be had, and the session scope
// stands in for it).
SemaphoreScope semaphoreScope(const std::function<std::string()>& userSid);

// The scope followed by the canonical, lower-case path with every "\" and blank as "_".
std::string semaphoreName(const SemaphoreScope& scope, const std::string& canonicalPath);

}  // namespace launcher
