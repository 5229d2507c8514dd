#include "files/temporary_choice.h"

#include "services/tables.h"

namespace files {

namespace {

constexpr int32_t kPreferLongFormId = 10009;
constexpr int32_t kLocalFolderFirstId = 10015;

TemporaryCandidate candidate(const FolderForms& folder, const char* narrowTail, const wchar_t* wideTail, bool create,
                             bool strict, bool preferLong) {
    TemporaryCandidate c;
    // A folder the system did not name stays empty, so that the tail alone is never taken
    // for a path.
    if (!folder.narrow.empty() && !folder.wide.empty()) {
        c.narrow = folder.narrow + narrowTail;
        c.wide = folder.wide + wideTail;
    }
    c.create = create;
    c.strict = strict;
    c.preferLong = preferLong;
    return c;
}

}  // namespace

std::vector<TemporaryCandidate> temporaryCandidates(const SystemFolders& folders) {
    const bool preferLong = services::configInteger(kPreferLongFormId) != 0;
    const bool localFirst = services::configInteger(kLocalFolderFirstId) != 0;
    std::vector<TemporaryCandidate> list;
    if (localFirst && !folders.localAppData.narrow.empty() && !folders.localAppData.wide.empty()) {
        list.push_back(candidate(folders.localAppData, "\\corvane\\t", L"\\corvane\\t", true, true, preferLong));
        list.back().createParent = true;
        list.back().retryRelaxed = true;
    }
    list.push_back(candidate(folders.temporary, "", L"", true, true, preferLong));
    list.back().retryRelaxed = true;
    list.push_back(candidate(folders.userProfile, "\\AppData\\Local\\Temp", L"\\AppData\\Local\\Temp", false, true,
                             preferLong));
    list.back().retryRelaxed = true;
    list.push_back(candidate(folders.home, "", L"", false, true, preferLong));
    list.back().retryRelaxed = true;
    list.push_back(candidate(folders.commonAppData, "\\corvane\\temp", L"\\corvane\\temp", true, true, preferLong));
    list.back().createParent = true;
    list.push_back(candidate(folders.windows, "\\temp", L"\\temp", false, false, false));
    const FolderForms cTemp{"c:\\temp", L"c:\\temp"};
    const FolderForms cTmp{"c:\\tmp", L"c:\\tmp"};
    list.push_back(candidate(cTemp, "", L"", false, false, preferLong));
    list.push_back(candidate(cTmp, "", L"", false, false, preferLong));
    list.push_back(candidate(folders.windows, "", L"", false, false, preferLong));
    list.push_back(candidate(cTmp, "", L"", true, false, preferLong));
    return list;
}

TemporaryBaseChoice chooseTemporaryBase(const std::vector<TemporaryCandidate>& candidates, const CandidateTest& test) {
    TemporaryBaseChoice choice;
    std::vector<bool> banged(candidates.size(), false);
    for (size_t i = 0; i < candidates.size(); ++i) {
        const CandidateVerdict verdict = test(candidates[i], candidates[i].strict);
        if (verdict.usable) {
            choice.base = TemporaryBase{verdict.narrow, candidates[i].wide};
            return choice;
        }
        banged[i] = verdict.bang;
    }
    choice.fallbackUsed = true;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!candidates[i].retryRelaxed || banged[i]) continue;
        const CandidateVerdict verdict = test(candidates[i], false);
        if (verdict.usable) {
            choice.base = TemporaryBase{verdict.narrow, candidates[i].wide};
            return choice;
        }
    }
    return choice;
}

bool applyTempOption(std::vector<std::wstring>& arguments, const std::function<bool(const std::wstring&)>& accept) {
    size_t at = 0;
    while (at < arguments.size() && arguments[at] != L"-temp" && arguments[at] != L"/temp") ++at;
    if (at == arguments.size()) return false;
    if (at + 1 < arguments.size() && !arguments[at + 1].empty()) {
        if (accept(arguments[at + 1])) return true;
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(at + 1));
    }
    arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(at));
    return false;
}

}  // namespace files
