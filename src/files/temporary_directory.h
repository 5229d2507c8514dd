// The temporary base (a writable folder whose path survives the trip to narrow text and back
// and holds no "!\") and this run's extraction directory inside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace files {

// The candidate tests. `path` of the narrow test may be replaced by its long form when
// `preferLong` asks for it; `bang` reports "!\" or a trailing "!" in the path or its long form.
bool isUsableDirectoryNarrow(std::string& path, bool create, bool strict, bool preferLong, bool& bang);
bool isUsableDirectoryWide(const std::wstring& path, bool create, bool strict, bool& bang);

// The manual base from "-temp" when set, else the automatic base (chosen on first use). Without
// either the narrow form, and the wide form when `required`, end the run with message 1015;
// the optional wide form is then empty.
std::string temporaryBaseNarrow();
std::wstring temporaryBaseWide(bool required);
// Whether the automatic choice had to fall back to the relaxed candidates.
bool temporaryBaseFallbackUsed();
bool hasManualTemporaryBase();

// Applies "-temp"/"/temp" from the list: a usable folder becomes the manual base (both
// elements stay), otherwise the option and its folder are removed.
void handleTempOption(std::vector<std::wstring>& arguments);

// A unique name in the narrow base; GetTempFileName leaves an empty file of that name as the
// reservation (`reserved` tells whether it did, or whether the name is a fallback).
std::string reserveTempFileName(bool* reserved = nullptr);

// The security descriptor the extraction directory is created with, owned.
class ExtractionDirectorySecurity {
public:
    ExtractionDirectorySecurity();
    ~ExtractionDirectorySecurity();
    ExtractionDirectorySecurity(const ExtractionDirectorySecurity&) = delete;
    ExtractionDirectorySecurity& operator=(const ExtractionDirectorySecurity&) = delete;
    // Null when the descriptor could not be built; error() then says why.
    PSECURITY_DESCRIPTOR descriptor() const { return descriptor_; }
    DWORD error() const { return error_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    DWORD error_ = 0;
};

}  // namespace files
