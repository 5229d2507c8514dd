// Java version strings ("1.8.0_292", "11.0.2", "17-ea") and every rule by which the launcher
// compares them: numeric component lists, never padded text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jre {

using VersionComponents = std::vector<int32_t>;

// Tokens between any of "._-+", each the integer of its leading digits (0 without digits);
// consecutive delimiters give no empty tokens. "1.8.0_292-b10" gives 1, 8, 0, 292, 0.
VersionComponents splitVersion(std::string_view text);

// One bound test. An empty bound admits everything; components of `version` beyond the
// bound's length are never looked at. Missing components of `version` count as 0, except in
// prefix mode, where running out of them accepts (a registry key "1.8" passes a minimum of
// "1.8.0_60").
bool isVersionInBounds(const VersionComponents& bound, const VersionComponents& version, bool isMaximum,
                       bool prefixMode);

// Strictly newer: "1.8.0" is greater than "1.8", equal strings are not, and an empty `a`
// never is. Choosing by this keeps the earlier of two equal candidates.
bool isVersionGreater(std::string_view a, std::string_view b);

// Whether the text names an early-access, release-candidate or beta build ("beta", "-ea",
// "-rc", case-sensitive).
bool isBetaVersion(std::string_view version);

// The beta rule (unless allowBeta or config id 130 allows them, logging "beta vm not allowed"
// on refusal), then both bounds without prefix mode.
bool isVersionAllowed(std::string_view version, const VersionComponents& minimum, const VersionComponents& maximum,
                      bool allowBeta);

// Both bounds in prefix mode, no beta rule: for registry key names.
bool isVersionStringInRange(std::string_view text, const VersionComponents& minimum,
                            const VersionComponents& maximum);

// The configured bounds, config ids 126 and 127, each cut to 1999 characters.
struct VersionBounds {
    std::string minimumText;
    std::string maximumText;
    VersionComponents minimum;
    VersionComponents maximum;
};
VersionBounds configuredVersionBounds();

}  // namespace jre
