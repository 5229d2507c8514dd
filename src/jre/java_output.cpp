#include "jre/java_output.h"

#include "services/log.h"

namespace jre {

bool parseJavaVersionOutput(std::string_view output, std::string& version) {
    constexpr std::string_view kMarker = " version \"";
    bool found = false;
    size_t lineStart = 0;
    while (lineStart <= output.size()) {
        size_t lineEnd = output.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = output.size();
        const std::string_view line = output.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        const size_t marker = line.find(kMarker);
        if (marker == std::string_view::npos) continue;
        const std::string_view rest = line.substr(marker + kMarker.size());
        const size_t quote = rest.find('"');
        if (quote != std::string_view::npos) {
            version.assign(rest.substr(0, quote));
        } else {
            version.assign(rest.substr(0, rest.size() >= 2 ? rest.size() - 2 : 0));
        }
        services::logMessage(L"Java version2: %S", version);
        found = true;
    }
    return found;
}

}  // namespace jre
