// The choice of the temporary base among candidate folders and the "-temp" option, over an
// injected folder test, so that the order and the fallback rules are testable anywhere.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace files {

struct TemporaryCandidate {
    std::string narrow;
    std::wstring wide;
    bool create = false;
    // The folder above is ours too ("...\corvane"): created before the test.
    bool createParent = false;
    bool strict = true;
    // For the narrow test: switch to the folder's long form when it differs.
    bool preferLong = false;
    // Tried again without the strict long-form requirement when every strict test failed.
    bool retryRelaxed = false;
};

struct CandidateVerdict {
    bool usable = false;
    // "!\" or a trailing "!" in either form: such a folder is not worth a second try.
    bool bang = false;
    // The narrow form to use, which the test may have replaced by the long form.
    std::string narrow;
};

// Tests a candidate's narrow and wide forms with the given create and strict flags.
using CandidateTest = std::function<CandidateVerdict(const TemporaryCandidate& candidate, bool strict)>;

struct TemporaryBase {
    std::string narrow;
    std::wstring wide;
};

struct TemporaryBaseChoice {
    std::optional<TemporaryBase> base;
    bool fallbackUsed = false;
};

// The first usable candidate in list order; when none passes, the relaxed pass over the
// candidates marked for it, skipping those whose strict test found a bang.
TemporaryBaseChoice chooseTemporaryBase(const std::vector<TemporaryCandidate>& candidates, const CandidateTest& test);

// Applies the first "-temp" or "/temp" of the list. A following non-empty element is offered
// to `accept`; when accepted both elements stay and the result is true. Otherwise that element
// (when offered) and the option are removed; an empty element after the option stays.
bool applyTempOption(std::vector<std::wstring>& arguments, const std::function<bool(const std::wstring&)>& accept);

}  // namespace files
