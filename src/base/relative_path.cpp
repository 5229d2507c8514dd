#include "base/relative_path.h"

namespace base {

bool staysInside(std::string_view name) {
    if (name.empty()) return false;
    if (name.find(':') != std::string_view::npos) return false;
    if (name[0] == '\\' || name[0] == '/') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view component = name.substr(start, end - start);
        // "." names the folder itself; "..", and the dot-and-blank forms Windows trims to it, climb.
        if (component != "." && !component.empty() && component.find_last_not_of(". ") == std::string_view::npos)
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace base
