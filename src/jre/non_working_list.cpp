#include "jre/non_working_list.h"

#include <algorithm>

#include "services/log.h"

namespace jre {

namespace {

NonWorkingJavaList& processList() {
    static NonWorkingJavaList list;
    return list;
}

}  // namespace

bool NonWorkingJavaList::add(std::string_view path) {
    services::logMessage(L"add non-working java %S", path);
    if (paths_.size() < kCapacity) paths_.emplace_back(path);
    return paths_.size() < kCapacity;
}

bool NonWorkingJavaList::contains(std::string_view path) const {
    return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

bool addNonWorkingJava(std::string_view path) { return processList().add(path); }
bool isNonWorkingJava(std::string_view path) { return processList().contains(path); }

}  // namespace jre
