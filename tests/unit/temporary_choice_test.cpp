// The choice of the temporary base over a scripted folder test, and the "-temp" option.
#include <gtest/gtest.h>

#include <map>

#include "files/temporary_choice.h"

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

}  // namespace

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
