// The firewall natives' matching, codes and deletion, against a collection of rules in memory
// that removes by name as the firewall's does.
#include "natives/firewall_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace natives::firewall {
namespace {

constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005u);
constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFFu);
constexpr std::int32_t kFailed = static_cast<std::int32_t>(0x80004005u);

RuleText text(const wchar_t* value) { return RuleText{true, value ? std::optional<std::wstring>(value) : std::nullopt}; }

TEST(FirewallRules, CodesOfFailedCalls) {
    EXPECT_EQ(errorCode(kAccessDenied, kCreatingPolicy), 1);
    EXPECT_EQ(errorCode(kInvalidArgument, kReadingRules), 503);
    EXPECT_EQ(errorCode(kUnexpected, kChangingRules), 31);
    EXPECT_EQ(errorCode(kFailed, kCreatingRuleToDelete), 5);
}

TEST(FirewallRules, OnlyTheGivenCriteriaAreTested) {
    RuleProperties rule;
    rule.direction.value = 1;
    rule.protocol.value = 6;
    rule.application = text(L"C:\\App\\app.exe");
    rule.name = text(L"App");
    rule.localPorts = text(L"*");
    rule.remoteAddresses = text(L"10.0.0.0/255.0.0.0");

    EXPECT_TRUE(ruleMatches(MatchCriteria{}, rule));
    MatchCriteria criteria;
    criteria.direction = 1;
    criteria.protocol = 6;
    criteria.application = L"C:\\App\\app.exe";
    criteria.localPorts = L"";            // any: matches "*"
    criteria.remotePorts = L"*";          // any: matches no value
    criteria.group = L"";                 // no group: matches no value
    EXPECT_TRUE(ruleMatches(criteria, rule));

    MatchCriteria other = criteria;
    other.direction = 2;
    EXPECT_FALSE(ruleMatches(other, rule));
    other = criteria;
    other.application = L"c:\\app\\app.exe";  // exact, case and all
    EXPECT_FALSE(ruleMatches(other, rule));
    other = criteria;
    other.name = L"";  // asks for no name; the rule has one
    EXPECT_FALSE(ruleMatches(other, rule));
    other = criteria;
    other.localPorts = L"80";
    EXPECT_FALSE(ruleMatches(other, rule));

    // A property that cannot be read matches nothing, not even a wildcard.
    RuleProperties unreadable = rule;
    unreadable.localPorts.readable = false;
    EXPECT_FALSE(ruleMatches(criteria, unreadable));
    unreadable = rule;
    unreadable.protocol.readable = false;
    EXPECT_FALSE(ruleMatches(criteria, unreadable));
}

TEST(FirewallRules, AddressesCompareInTheFirewallsForm) {
    // "10.0.0.1" given on adding reads back from the firewall as the second form; the
    // criteria hold that form, so the shortened text given again on deletion still matches.
    RuleProperties rule;
    rule.localAddresses = text(L"10.0.0.1/255.255.255.255");
    MatchCriteria criteria;
    criteria.localAddresses = L"10.0.0.1/255.255.255.255";
    EXPECT_TRUE(ruleMatches(criteria, rule));
    criteria.localAddresses = L"10.0.0.1";
    EXPECT_FALSE(ruleMatches(criteria, rule));
}

// The firewall's collection: rules by position, removal of the first rule with a name.
struct Collection final : MatchedRules {
    struct Rule {
        std::wstring name;
        std::wstring application;
    };
    std::vector<Rule> rules;
    std::vector<std::size_t> matched;  // positions in `rules` at the start
    std::vector<Rule*> matchedRules;
    std::wstring refuseRemovalOf;  // the application whose removal fails

    void match(const MatchCriteria& criteria) {
        for (Rule& rule : rules) {
            RuleProperties properties;
            properties.name = text(rule.name.c_str());
            properties.application = text(rule.application.c_str());
            if (ruleMatches(criteria, properties)) matchedRules.push_back(&rule);
        }
    }
    std::size_t count() const override { return matchedRules.size(); }
    std::int32_t name(std::size_t rule, std::wstring& name) override {
        name = matchedRules[rule]->name;
        return 0;
    }
    std::int32_t rename(std::size_t rule, const std::wstring& name) override {
        matchedRules[rule]->name = name;
        return 0;
    }
    std::int32_t removeByName(const std::wstring& name) override {
        for (Rule& rule : rules) {
            if (rule.name != name) continue;
            if (rule.application == refuseRemovalOf) return kAccessDenied;
            rule.name = L"(removed)";
            return 0;
        }
        return kFailed;
    }
    std::vector<std::wstring> remaining() const {
        std::vector<std::wstring> names;
        for (const Rule& rule : rules)
            if (rule.name != L"(removed)") names.push_back(rule.name + L"=" + rule.application);
        return names;
    }
};

TEST(FirewallRules, DeletionByApplicationOnlyTakesEveryNameAndCounts) {
    Collection collection;
    collection.rules = {{L"In", L"a.exe"}, {L"Other", L"b.exe"}, {L"Out", L"a.exe"}};
    MatchCriteria criteria;
    criteria.application = L"a.exe";
    collection.match(criteria);
    EXPECT_EQ(deleteMatchedRules(collection), -2);
    EXPECT_EQ(collection.remaining(), std::vector<std::wstring>{L"Other=b.exe"});
}

TEST(FirewallRules, OfTwoRulesSharingANameOnlyTheMatchingOneGoes) {
    Collection collection;
    collection.rules = {{L"App", L"old.exe"}, {L"App", L"new.exe"}};
    MatchCriteria criteria;
    criteria.name = L"App";
    criteria.application = L"new.exe";
    collection.match(criteria);
    EXPECT_EQ(deleteMatchedRules(collection), -1);
    EXPECT_EQ(collection.remaining(), std::vector<std::wstring>{L"App=old.exe"});
}

TEST(FirewallRules, NothingMatchingDeletesNothing) {
    Collection collection;
    collection.rules = {{L"App", L"a.exe"}};
    MatchCriteria criteria;
    criteria.name = L"Else";
    collection.match(criteria);
    EXPECT_EQ(deleteMatchedRules(collection), 0);
    EXPECT_EQ(collection.remaining().size(), 1u);
}

TEST(FirewallRules, AFailedRemovalPutsTheNameBackAndTheOthersStillGo) {
    Collection collection;
    collection.rules = {{L"First", L"a.exe"}, {L"Second", L"a.exe"}, {L"Third", L"a.exe"}};
    collection.refuseRemovalOf = L"a.exe";
    MatchCriteria criteria;
    criteria.application = L"a.exe";
    collection.match(criteria);
    collection.rules[0].application = L"gone.exe";  // only the second and third refuse
    EXPECT_EQ(deleteMatchedRules(collection), 1);
    EXPECT_EQ(collection.remaining(), (std::vector<std::wstring>{L"Second=a.exe", L"Third=a.exe"}));
}

}  // namespace
}  // namespace natives::firewall
