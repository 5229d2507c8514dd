#include "natives/firewall_rules.h"

namespace natives::firewall {

namespace {

constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005u);
constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFFu);

bool failed(std::int32_t result) { return result < 0; }

bool emptyOrAbsent(const RuleText& rule) { return !rule.value || rule.value->empty(); }

// Application, name and group: an empty criterion asks for no value.
bool textMatches(const std::optional<std::wstring>& criterion, const RuleText& rule) {
    if (!criterion) return true;
    if (!rule.readable) return false;
    if (criterion->empty()) return emptyOrAbsent(rule);
    return rule.value && *rule.value == *criterion;
}

// Ports and addresses: "", "*" and no value all mean any.
bool wildcardMatches(const std::optional<std::wstring>& criterion, const RuleText& rule) {
    if (!criterion) return true;
    if (!rule.readable) return false;
    if (criterion->empty() || *criterion == L"*") return emptyOrAbsent(rule) || *rule.value == L"*";
    return rule.value && *rule.value == *criterion;
}

bool numberMatches(long criterion, const RuleNumber& rule) {
    return criterion == 0 || (rule.readable && rule.value == criterion);
}

}  // namespace

std::int32_t errorCode(std::int32_t result, std::int32_t base) {
    if (result == kAccessDenied) return 1;
    if (result == kInvalidArgument) return base + 500;
    if (result == kUnexpected) return 31;
    return base;
}

bool ruleMatches(const MatchCriteria& criteria, const RuleProperties& rule) {
    return numberMatches(criteria.direction, rule.direction) && numberMatches(criteria.protocol, rule.protocol) &&
           textMatches(criteria.application, rule.application) && textMatches(criteria.name, rule.name) &&
           textMatches(criteria.group, rule.group) && wildcardMatches(criteria.localPorts, rule.localPorts) &&
           wildcardMatches(criteria.localAddresses, rule.localAddresses) &&
           wildcardMatches(criteria.remotePorts, rule.remotePorts) &&
           wildcardMatches(criteria.remoteAddresses, rule.remoteAddresses);
}

std::int32_t deleteMatchedRules(MatchedRules& rules) {
    std::int32_t lastFailure = 0;
    for (std::size_t rule = 0; rule < rules.count(); ++rule) {
        // Without its name a rule could not be given it back if the removal failed: leave it.
        std::wstring name;
        std::int32_t result = rules.name(rule, name);
        if (failed(result)) {
            lastFailure = errorCode(result, kChangingRules);
            continue;
        }
        result = rules.rename(rule, kDeletionMarkerName);
        if (failed(result)) {
            lastFailure = errorCode(result, kChangingRules);
            continue;
        }
        result = rules.removeByName(kDeletionMarkerName);
        if (failed(result)) {
            lastFailure = errorCode(result, kChangingRules);
            rules.rename(rule, name);
        }
    }
    return lastFailure != 0 ? lastFailure : -static_cast<std::int32_t>(rules.count());
}

}  // namespace natives::firewall
