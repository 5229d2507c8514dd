// Java executables whose virtual machine could not be loaded in this run, so that the search
// does not offer them again. The process keeps one list for its whole life and never clears it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jre {

class NonWorkingJavaList {
public:
    static constexpr size_t kCapacity = 50;

    // Records the (canonical) path, logging "add non-working java %S". True while the list
    // then holds fewer than kCapacity paths; a full list takes no more.
    bool add(std::string_view path);
    // Exact comparison with the paths as stored.
    bool contains(std::string_view path) const;

private:
    std::vector<std::string> paths_;
};

// The process's list. The search stops retrying a source once adding returns false.
bool addNonWorkingJava(std::string_view path);
bool isNonWorkingJava(std::string_view path);

}  // namespace jre
