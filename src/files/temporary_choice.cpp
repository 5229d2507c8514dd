#include "files/temporary_choice.h"

namespace files {

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
