// The firewall natives' decisions that need no COM: which rules match a description, how a
// failed call becomes the Java side's code, and the deletion of matching rules by renaming each
// to a name of its own before removing it by that name (the collection removes by name, and two
// rules may share one). The COM side reads and writes the rules through the small interface
// below, so that the counting and restoring can be followed without a firewall.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace natives::firewall {

// The name a rule carries between renaming and removal.
inline constexpr wchar_t kDeletionMarkerName[] = L"__cvn_firewall_rule_for_deletion";

// Step bases of the codes: what was being done when the call failed.
enum StepBase : std::int32_t {
    kCreatingPolicy = 2,
    kReadingRules = 3,
    kCreatingRuleToAdd = 4,
    kCreatingRuleToDelete = 5,
    kChangingRules = 32,
};
inline constexpr std::int32_t kItemNotARule = 100;
inline constexpr std::int32_t kAlreadyExists = -1;

// The code of a failed COM result (an HRESULT's bits) at a step.
std::int32_t errorCode(std::int32_t result, std::int32_t base);

// A rule's text property as read: absent (no value), a text, or unreadable.
struct RuleText {
    bool readable = true;
    std::optional<std::wstring> value;
};
struct RuleNumber {
    bool readable = true;
    long value = 0;
};

// What the matching needs of one rule; only the properties the criteria name are read.
struct RuleProperties {
    RuleNumber direction, protocol;
    RuleText application, name, group, localPorts, localAddresses, remotePorts, remoteAddresses;
};

// A description turned into criteria: a number of 0 and a missing text are not tested. The
// address lists hold the firewall's normalised form of what was given.
struct MatchCriteria {
    long direction = 0;
    long protocol = 0;
    std::optional<std::wstring> application, name, group, localPorts, localAddresses, remotePorts, remoteAddresses;
};

bool ruleMatches(const MatchCriteria& criteria, const RuleProperties& rule);

// The matching rules as the deletion works on them, by their position in the walk.
class MatchedRules {
public:
    virtual ~MatchedRules() = default;
    virtual std::size_t count() const = 0;
    // Each answers the call's COM result (negative for a failure).
    virtual std::int32_t name(std::size_t rule, std::wstring& name) = 0;
    virtual std::int32_t rename(std::size_t rule, const std::wstring& name) = 0;
    // Removes the collection's rule of that name.
    virtual std::int32_t removeByName(const std::wstring& name) = 0;
};

// Deletes each matching rule in order, whatever became of the one before: minus the number
// deleted when every step succeeded, else the code of the last failure. A rule whose removal
// failed gets its own name back.
std::int32_t deleteMatchedRules(MatchedRules& rules);

}  // namespace natives::firewall
