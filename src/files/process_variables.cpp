#include "files/process_variables.h"

#include <windows.h>

#include <vector>

#include "base/text.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "files/temporary_directory.h"

// The ANSI environment block: under UNICODE the plain name is redirected to the wide function.
#undef GetEnvironmentStrings

namespace files {

namespace {

struct Providers {
    std::function<std::string()> executableNarrowPath;
    std::function<std::string()> extractionDirectory;
    std::function<std::string()> runtimeHome;
    std::function<std::string()> temporaryBaseNarrow;
    std::function<std::wstring()> temporaryBaseWide;
};

Providers& providers() {
    static Providers current;
    return current;
}

template <class Char>
std::vector<std::basic_string<Char>> blockEntries(const Char* block) {
    std::vector<std::basic_string<Char>> entries;
    if (!block) return entries;
    for (const Char* entry = block; *entry;) {
        std::basic_string<Char> text(entry);
        entry += text.size() + 1;
        entries.push_back(std::move(text));
    }
    return entries;
}

// Full path, file part cut off, doubled backslashes folded (through a wide copy: in a
// double-byte code page a backslash byte may be the second half of a character).
std::string directoryOf(const std::string& path) {
    const std::string full = files::fullPathName(path);
    const std::string directory = files::directoryPart(full.empty() ? path : full);
    std::wstring wide = base::narrowToWide(directory);
    files::foldSeparators(wide);
    bool lossy = false;
    const std::string folded = base::wideToNarrow(wide, &lossy);
    return lossy ? directory : folded;
}

class ProcessExpansionSource final : public ExpansionSource {
public:
    std::string executableDirectoryNarrow() override {
        const auto& provider = providers().executableNarrowPath;
        return provider ? directoryOf(provider()) : files::executableDirectory();
    }
    std::wstring executableDirectoryWide() override { return files::executableLongDirectory(); }
    std::string extractionDirectory() override {
        const auto& provider = providers().extractionDirectory;
        return provider ? provider() : files::extractionDirectory();
    }
    std::string runtimeHome() override {
        const auto& provider = providers().runtimeHome;
        return provider ? provider() : std::string();
    }
    std::string temporaryBaseNarrow() override {
        const auto& provider = providers().temporaryBaseNarrow;
        return provider ? provider() : files::temporaryBaseNarrow();
    }
    std::wstring temporaryBaseWide() override {
        const auto& provider = providers().temporaryBaseWide;
        return provider ? provider() : files::temporaryBaseWide(true);
    }
    std::vector<std::string> environmentNarrow() override {
        char* block = GetEnvironmentStrings();
        std::vector<std::string> entries = blockEntries(block);
        if (block) FreeEnvironmentStringsA(block);
        return entries;
    }
    std::vector<std::wstring> environmentWide() override {
        wchar_t* block = GetEnvironmentStringsW();
        std::vector<std::wstring> entries = blockEntries(block);
        if (block) FreeEnvironmentStringsW(block);
        return entries;
    }
};

}  // namespace

void setExecutableNarrowPathProvider(std::function<std::string()> provider) {
    providers().executableNarrowPath = std::move(provider);
}

void setExtractionDirectoryProvider(std::function<std::string()> provider) {
    providers().extractionDirectory = std::move(provider);
}

void setRuntimeHomeProvider(std::function<std::string()> provider) { providers().runtimeHome = std::move(provider); }

void setTemporaryBaseProviders(std::function<std::string()> narrow, std::function<std::wstring()> wide) {
    providers().temporaryBaseNarrow = std::move(narrow);
    providers().temporaryBaseWide = std::move(wide);
}

ExpansionSource& processExpansionSource() {
    static ProcessExpansionSource source;
    return source;
}

void expandLauncherVariables(std::string& text) { expandNarrow(text, processExpansionSource()); }

void expandLauncherVariables(std::wstring& text, ExpansionMode mode) {
    expandWide(text, mode, processExpansionSource());
}

}  // namespace files
