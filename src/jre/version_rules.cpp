#include "jre/version_rules.h"

#include <algorithm>

#include "base/text.h"
#include "services/log.h"
#include "services/tables.h"

namespace jre {

namespace {

constexpr std::string_view kVersionDelimiters = "._-+";
constexpr int32_t kBetaVersionsAllowedId = 130;
constexpr int32_t kMinimumVersionId = 126;
constexpr int32_t kMaximumVersionId = 127;
// The bounds are read into buffers of this size.
constexpr size_t kBoundBufferSize = 2000;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

VersionComponents splitVersion(std::string_view text) {
    VersionComponents components;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(kVersionDelimiters, at);
        if (start == std::string_view::npos) break;
        size_t end = text.find_first_of(kVersionDelimiters, start);
        if (end == std::string_view::npos) end = text.size();
        components.push_back(base::parseDecimalInt(text.substr(start, end - start)));
        at = end;
    }
    return components;
}

bool isVersionInBounds(const VersionComponents& bound, const VersionComponents& version, bool isMaximum,
                       bool prefixMode) {
    for (size_t i = 0; i < bound.size(); ++i) {
        if (i >= version.size() && prefixMode) return true;
        const int32_t component = i < version.size() ? version[i] : 0;
        const int32_t limit = bound[i];
        if (component == limit) continue;
        return isMaximum ? component < limit : component > limit;
    }
    return true;
}

bool isVersionGreater(std::string_view a, std::string_view b) {
    const VersionComponents left = splitVersion(a);
    const VersionComponents right = splitVersion(b);
    if (left.empty()) return false;
    const size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        if (left[i] != right[i]) return left[i] > right[i];
    }
    return left.size() > right.size();
}

bool isBetaVersion(std::string_view version) {
    return contains(version, "beta") || contains(version, "-ea") || contains(version, "-rc");
}

bool isVersionAllowed(std::string_view version, const VersionComponents& minimum, const VersionComponents& maximum,
                      bool allowBeta) {
    if (!allowBeta && services::configInteger(kBetaVersionsAllowedId) == 0 && isBetaVersion(version)) {
        services::logMessage(L"beta vm not allowed");
        return false;
    }
    const VersionComponents components = splitVersion(version);
    return isVersionInBounds(minimum, components, false, false) && isVersionInBounds(maximum, components, true, false);
}

bool isVersionStringInRange(std::string_view text, const VersionComponents& minimum,
                            const VersionComponents& maximum) {
    const VersionComponents components = splitVersion(text);
    return isVersionInBounds(minimum, components, false, true) && isVersionInBounds(maximum, components, true, true);
}

VersionBounds configuredVersionBounds() {
    VersionBounds bounds;
    std::string buffer(kBoundBufferSize, '\0');
    bounds.minimumText.assign(buffer.data(), services::configCopy(kMinimumVersionId, buffer.data(), buffer.size()));
    bounds.maximumText.assign(buffer.data(), services::configCopy(kMaximumVersionId, buffer.data(), buffer.size()));
    bounds.minimum = splitVersion(bounds.minimumText);
    bounds.maximum = splitVersion(bounds.maximumText);
    return bounds;
}

}  // namespace jre
