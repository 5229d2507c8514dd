// The choice of the temporary base over a scripted folder test, and the "-temp" option.
#include <gtest/gtest.h>

#include <map>

#include "files/temporary_choice.h"
#include "services/tables.h"

using namespace files;

namespace {

struct Script {
    std::map<std::pair<std::string, bool>, CandidateVerdict> verdicts;  // (folder, strict)
    std::vector<std::pair<std::string, bool>> asked;

    CandidateTest test() {
        return [this](const TemporaryCandidate& c, bool strict) {
            asked.push_back({c.narrow, strict});
            const auto found = verdicts.find({c.narrow, strict});
            return found == verdicts.end() ? CandidateVerdict{} : found->second;
        };
    }
};

TemporaryCandidate candidate(const std::string& path, bool retryRelaxed) {
    TemporaryCandidate c;
    c.narrow = path;
    c.wide = std::wstring(path.begin(), path.end());
    c.retryRelaxed = retryRelaxed;
    return c;
}

// A candidate as "<narrow>|<wide>" and its flags: create, parent, strict, long, relaxed.
std::string described(const TemporaryCandidate& c) {
    std::string text = c.narrow + "|" + std::string(c.wide.begin(), c.wide.end());
    for (const auto& [on, name] : {std::pair{c.create, " create"}, {c.createParent, " parent"}, {c.strict, " strict"},
                                   {c.preferLong, " long"}, {c.retryRelaxed, " relaxed"}})
        if (on) text += name;
    return text;
}

std::vector<std::string> described(const std::vector<TemporaryCandidate>& candidates) {
    std::vector<std::string> texts;
    for (const TemporaryCandidate& c : candidates) texts.push_back(described(c));
    return texts;
}

// Narrow and wide forms that differ, so that a mix-up shows.
SystemFolders someFolders() {
    SystemFolders folders;
    folders.localAppData = {"L", L"l"};
    folders.temporary = {"T", L"t"};
    folders.userProfile = {"P", L"p"};
    folders.home = {"H", L"h"};
    folders.commonAppData = {"C", L"c"};
    folders.windows = {"W", L"w"};
    return folders;
}

}  // namespace

TEST(TemporaryCandidates, TheFixedOrderTheLocalFolderFirstAndTheLongFormOnlyWhenConfigured) {
    services::setConfigTable({});
    using Texts = std::vector<std::string>;
    const Texts plain = {"T|t create strict relaxed",
                         "P\\AppData\\Local\\Temp|p\\AppData\\Local\\Temp strict relaxed",
                         "H|h strict relaxed",
                         "C\\corvane\\temp|c\\corvane\\temp create parent strict",
                         "W\\temp|w\\temp",
                         "c:\\temp|c:\\temp",
                         "c:\\tmp|c:\\tmp",
                         "W|w",
                         "c:\\tmp|c:\\tmp create"};
    EXPECT_EQ(described(temporaryCandidates(someFolders())), plain);

    services::setConfigTable({{10015, "1"}, {10009, "1"}});
    const Texts configured = {"L\\corvane\\t|l\\corvane\\t create parent strict long relaxed",
                              "T|t create strict long relaxed",
                              "P\\AppData\\Local\\Temp|p\\AppData\\Local\\Temp strict long relaxed",
                              "H|h strict long relaxed",
                              "C\\corvane\\temp|c\\corvane\\temp create parent strict long",
                              "W\\temp|w\\temp",
                              "c:\\temp|c:\\temp long",
                              "c:\\tmp|c:\\tmp long",
                              "W|w long",
                              "c:\\tmp|c:\\tmp create long"};
    EXPECT_EQ(described(temporaryCandidates(someFolders())), configured);

    // A folder the system did not name in both forms is no path, however its tail reads.
    SystemFolders unnamed = someFolders();
    unnamed.localAppData.wide.clear();
    unnamed.userProfile = {};
    const auto candidates = temporaryCandidates(unnamed);
    EXPECT_EQ(candidates.front().narrow, "T");
    EXPECT_EQ(described(candidates[1]), "| strict long relaxed");
    services::setConfigTable({});
}

// Nothing usable: every candidate once strictly, then the user's own folders once more without
// the long-form requirement, and no base (the launcher then ends with message 1015).
TEST(TemporaryCandidates, WithNothingUsableTheUsersFoldersAreRetriedRelaxed) {
    services::setConfigTable({{10015, "1"}});
    Script script;
    const TemporaryBaseChoice choice = chooseTemporaryBase(temporaryCandidates(someFolders()), script.test());
    EXPECT_FALSE(choice.base);
    EXPECT_TRUE(choice.fallbackUsed);
    ASSERT_EQ(script.asked.size(), 14u);
    const std::vector<std::pair<std::string, bool>> relaxed(script.asked.begin() + 10, script.asked.end());
    const std::vector<std::pair<std::string, bool>> expected = {
        {"L\\corvane\\t", false}, {"T", false}, {"P\\AppData\\Local\\Temp", false}, {"H", false}};
    EXPECT_EQ(relaxed, expected);
    services::setConfigTable({});
}

TEST(TemporaryBase, FirstUsableCandidateWinsWithTheNarrowFormTheTestChose) {
    Script script;
    script.verdicts[{"B", true}] = {true, false, "B-long"};
    const auto choice = chooseTemporaryBase({candidate("A", true), candidate("B", true), candidate("C", true)}, script.test());
    ASSERT_TRUE(choice.base);
    EXPECT_EQ(choice.base->narrow, "B-long");
    EXPECT_EQ(choice.base->wide, L"B");
    EXPECT_FALSE(choice.fallbackUsed);
    EXPECT_EQ(script.asked.size(), 2u);
}

TEST(TemporaryBase, RelaxedPassRetriesMarkedCandidatesExceptBangedOnes) {
    Script script;
    script.verdicts[{"bang", true}] = {false, true, ""};
    script.verdicts[{"bang", false}] = {true, false, "bang"};
    script.verdicts[{"unicode", false}] = {true, false, "unicode"};
    const auto choice = chooseTemporaryBase({candidate("bang", true), candidate("unicode", true), candidate("common", false)},
                                            script.test());
    ASSERT_TRUE(choice.base);
    EXPECT_EQ(choice.base->narrow, "unicode");
    EXPECT_TRUE(choice.fallbackUsed);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"bang", true}, {"unicode", true}, {"common", true}, {"unicode", false}};
    EXPECT_EQ(script.asked, expected);
    EXPECT_FALSE(chooseTemporaryBase({candidate("A", true)}, Script().test()).base);
}

TEST(TempOption, AcceptedFolderStaysRejectedMissingOrEmptyOnesGo) {
    std::vector<std::wstring> accepted = {L"setup.exe", L"/temp", L"D:\\t", L"-temp", L"E:\\t"};
    std::vector<std::wstring> offered;
    EXPECT_TRUE(applyTempOption(accepted, [&](const std::wstring& folder) {
        offered.push_back(folder);
        return true;
    }));
    EXPECT_EQ(offered, std::vector<std::wstring>{L"D:\\t"});
    EXPECT_EQ(accepted.size(), 5u);

    auto reject = [](const std::wstring&) { return false; };
    std::vector<std::wstring> rejected = {L"setup.exe", L"-temp", L"D:\\t!", L"-q"};
    EXPECT_FALSE(applyTempOption(rejected, reject));
    EXPECT_EQ(rejected, (std::vector<std::wstring>{L"setup.exe", L"-q"}));
    std::vector<std::wstring> last = {L"setup.exe", L"-temp"};
    EXPECT_FALSE(applyTempOption(last, reject));
    EXPECT_EQ(last, std::vector<std::wstring>{L"setup.exe"});
    std::vector<std::wstring> empty = {L"setup.exe", L"/temp", L"", L"x"};
    EXPECT_FALSE(applyTempOption(empty, [](const std::wstring&) -> bool { return true; }));
    EXPECT_EQ(empty, (std::vector<std::wstring>{L"setup.exe", L"", L"x"}));
    std::vector<std::wstring> none = {L"setup.exe", L"-TEMP", L"D:\\t"};
    EXPECT_FALSE(applyTempOption(none, reject));
    EXPECT_EQ(none.size(), 3u);
}
