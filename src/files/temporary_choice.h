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

// A folder as the system names it, in the file-API code page and in UTF-16; both empty where
// the system named none, or only one of the two.
struct FolderForms {
    std::string narrow;
    std::wstring wide;
};

// The folders the candidates are built from.
struct SystemFolders {
    FolderForms localAppData;   // the user's local application data
    FolderForms temporary;      // the system's temporary path
    FolderForms userProfile;    // USERPROFILE
    FolderForms home;           // HOMEDRIVE followed by HOMEPATH
    FolderForms commonAppData;  // the common application data
    FolderForms windows;        // the Windows directory
};

// The candidates for the temporary base, in the order they are tried. Config id 10015 puts a
// folder of our own under the local application data first; config id 10009 makes the narrow
// tests prefer a folder's long form (never for the Windows temp folder, whose long form is the
// same). Only the user's own folders are worth a relaxed second try.
std::vector<TemporaryCandidate> temporaryCandidates(const SystemFolders& folders);

// The first usable candidate in list order; when none passes, the relaxed pass over the
// candidates marked for it, skipping those whose strict test found a bang.
TemporaryBaseChoice chooseTemporaryBase(const std::vector<TemporaryCandidate>& candidates, const CandidateTest& test);

// Applies the first "-temp" or "/temp" of the list. A following non-empty element is offered
// to `accept`; when accepted both elements stay and the result is true. Otherwise that element
// (when offered) and the option are removed; an empty element after the option stays.
bool applyTempOption(std::vector<std::wstring>& arguments, const std::function<bool(const std::wstring&)>& accept);

}  // namespace files
