#include "launch/jvm_launch.h"

#include <windows.h>

#include <jni.h>

#include <cstdarg>
#include <memory>
#include <optional>

#include "base/text.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "jre/jvm_loading.h"
#include "jre/jvm_search.h"
#include "launch/locale_selection.h"
#include "launch/main_call.h"
#include "launch/option_assembly.h"
#include "files/process_variables.h"
#include "services/error_path.h"
#include "services/launcher_log.h"
#include "services/log.h"
#include "services/modes.h"
#include "launch/native_logger.h"
#include "media/payload_steps.h"
#include "services/tables.h"

namespace launch {

namespace {

using services::logError;
using services::logMessage;

bool extractionReused = false;
std::optional<std::string> semaphoreName;

bool installerKind() {
    const std::string kind = services::configString(2001);
    return !kind.empty() && kind[0] == 'i';
}

std::optional<std::string> environmentNarrow(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    if (length >= size) return std::nullopt;
    value.resize(length);
    return value;
}

std::wstring moduleFileNameOfProcess() {
    std::wstring name(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    name.resize(length < name.size() ? length : 0);
    return name;
}

// The "@file" reader of the runtime's own jli.dll.
struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};
using InitArgProcessingFunction = void(JNICALL*)(jboolean hasJavaArgs, jboolean disableArgFile);
using PreprocessArgFunction = JliList*(JNICALL*)(const char* argument, jboolean expandSourceOption);
using MemFreeFunction = void(JNICALL*)(void* pointer);

class WindowsServices final : public AssemblyServices, public MainCallServices {
public:
    // Options
    void expand(std::wstring& text, files::ExpansionMode mode) override { files::expandLauncherVariables(text, mode); }
    void expandNarrow(std::string& text) override { files::expandLauncherVariables(text); }
    std::string toAnsi(std::wstring_view text) override { return files::toFileApiNarrow(text, nullptr); }
    std::optional<std::string> readFile(const std::wstring& path) override {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return std::nullopt;
        std::string content;
        char piece[8192];
        DWORD got = 0;
        while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) content.append(piece, got);
        CloseHandle(file);
        // Read as text: CR LF pairs arrive as LF.
        std::string text;
        text.reserve(content.size());
        for (size_t i = 0; i < content.size(); ++i) {
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
            text += content[i];
        }
        return text;
    }
    std::wstring fullPath(const std::wstring& path) override {
        const std::wstring full = files::fullPathName(path);
        return full.empty() ? path : full;
    }
    std::wstring executableLongDirectory() override {
        std::wstring directory = files::executableLongDirectory();
        if (!directory.empty() && directory.back() == L'\\') directory.pop_back();
        return directory;
    }

    // Assembly
    std::string resolveNarrow(const std::string& path) override {
        std::string resolved;
        files::resolveAgainst(resolved, path);
        return resolved;
    }
    bool pathExists(const std::string& path) override { return files::pathExists(path); }
    std::vector<std::string> listFiles(const std::string& directory, const char* pattern) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found = {};
        const HANDLE search = FindFirstFileA((directory + "\\" + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }
    std::optional<std::string> environmentValue(const std::string& name) override {
        return environmentNarrow(name.c_str());
    }
    std::wstring executableLongPath() override { return files::executableLongPath(); }
    std::wstring moduleFileName() override { return moduleFileNameOfProcess(); }
    void expandArgumentFiles(std::vector<std::string>& options) override {
        const std::string& bin = jre::loadedRuntime().binDirectory;
        logMessage(L"@ argument found %d %S", static_cast<int>(options.size()), bin);
        if (bin.empty()) return;
        const std::string path = bin + "\\jli.dll";
        const HMODULE jli = LoadLibraryW(base::narrowToWide(path).c_str());
        if (!jli) {
            logMessage(L"did not find %S", path);
            return;
        }
        const auto init = reinterpret_cast<InitArgProcessingFunction>(
            reinterpret_cast<void*>(GetProcAddress(jli, "JLI_InitArgProcessing")));
        const auto preprocess =
            reinterpret_cast<PreprocessArgFunction>(reinterpret_cast<void*>(GetProcAddress(jli, "JLI_PreprocessArg")));
        const auto memFree = reinterpret_cast<MemFreeFunction>(reinterpret_cast<void*>(GetProcAddress(jli, "JLI_MemFree")));
        if (!init || !preprocess || !memFree) {
            logMessage(L"did not find all list functions %p %p %p", reinterpret_cast<void*>(init),
                       reinterpret_cast<void*>(preprocess), reinterpret_cast<void*>(memFree));
            return;
        }
        init(JNI_TRUE, JNI_FALSE);
        std::vector<std::string> expanded;
        for (const std::string& option : options) {
            JliList* list = preprocess(option.c_str(), JNI_TRUE);
            if (!list) {
                expanded.push_back(option);
                continue;
            }
            // The copies replace the option; the library's own strings go back to it as well.
            for (size_t i = 0; i < list->size; ++i) {
                expanded.emplace_back(list->elements[i] ? list->elements[i] : "");
                memFree(list->elements[i]);
            }
            memFree(list->elements);
            memFree(list);
        }
        options = std::move(expanded);
    }
    void fail(int message, const std::string& argument) override { services::failWithMessage(message, argument); }

    // Main call
    void* nativesModule() override { return GetModuleHandleW(nullptr); }
    RegisterNativesExFunction findRegisterNativesEx(void* module) override {
        return reinterpret_cast<RegisterNativesExFunction>(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), "registerNativesEx")));
    }
    ReportFunction errorReporter() override { return reportRegistrationError; }
    std::optional<std::wstring> winDelExecutable() override {
        const std::wstring name = moduleFileNameOfProcess();
        if (name.empty()) return std::nullopt;
        return name.substr(0, 6000);
    }
    std::string canonicalExecutablePath() override { return files::canonicalPath(files::executableNarrowPath(), false); }
    void expandUnicode(std::wstring& text) override { files::expandLauncherVariables(text, files::ExpansionMode::Unicode); }
    std::wstring canonicalKeepCase(const std::wstring& path) override { return files::canonicalPath(path, true); }
    void fail(int message) override { services::failWithMessage(message); }

private:
    // Registration reports only fixed texts and one %d.
    static void reportRegistrationError(const wchar_t* format, ...);
};

void WindowsServices::reportRegistrationError(const wchar_t* format, ...) {
    std::wstring text;
    va_list arguments;
    va_start(arguments, format);
    for (const wchar_t* c = format; *c; ++c) {
        if (c[0] == L'%' && c[1] == L'd') {
            text += std::to_wstring(va_arg(arguments, int));
            ++c;
        } else {
            text += *c;
        }
    }
    va_end(arguments);
    logError(L"%s", text);
}

struct JvmThreadStart {
    LaunchRecord record;
    JavaVMInitArgs initArgs = {};
    std::vector<JavaVMOption> options;
    std::vector<std::string> optionTexts;
    WindowsServices services;
};

void JNICALL cleanupNative(JNIEnv*, jclass) { services::deleteTemporaryLog(); }

DWORD createJvm(JvmThreadStart& start) {
    using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
    const auto create = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(jre::loadedRuntime().createJavaVm));
    logMessage(L"Creating JVM");
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (!create || create(&vm, reinterpret_cast<void**>(&env), &start.initArgs) != 0) {
        logError(L"could not initialize JVM");
        return 0;
    }
    logMessage(L"JVM created");
    launch::registerNativeLogger(env, cleanupNative);
    return runAfterCreation(vm, env, start.record, start.services) ? 1 : 0;
}

DWORD WINAPI jvmThread(void* parameter) { return createJvm(*static_cast<JvmThreadStart*>(parameter)); }

std::vector<std::string> systemProperties() {
    const services::Modes& modes = services::modes();
    PropertyInputs inputs;
    inputs.semaphoreName = semaphoreName;
    inputs.manualJre = modes.manualJreSelection;
    inputs.previousInstallationJre = jre::usesPreviousInstallationJre();
    inputs.installerKind = installerKind();
    inputs.executableNarrowPath = files::executableNarrowPath();
    inputs.extractionDirectory = files::extractionDirectory();
    inputs.unextractedPosition = extractionReused ? -1 : media::unextractedPosition();
    inputs.path = environmentNarrow("PATH");
    inputs.manpathSet = GetEnvironmentVariableA("MANPATH", nullptr, 0) != 0;
    inputs.consoleCodePage = GetConsoleOutputCP();
    return launcherSystemProperties(inputs);
}

}  // namespace

void setExtractionReused(bool reused) { extractionReused = reused; }
void setSemaphoreName(std::string name) { semaphoreName = std::move(name); }

bool launchJvm(const std::vector<std::wstring>& arguments) {
    logMessage(L"launching program");
    // Owned by the virtual machine's thread until the process ends.
    auto* start = new JvmThreadStart;
    start->record.arguments = arguments;
    start->record.destroyAfterMain = true;

    AssemblyInputs inputs;
    inputs.properties = systemProperties();
    inputs.arguments = arguments;
    const std::string& version = jre::loadedRuntime().version;
    if (!version.empty()) inputs.runtimeVersion = version;
    inputs.language = languagePart(selectedLocale());
    inputs.country = countryPart(selectedLocale());
    inputs.extractionDirectory = files::extractionDirectory();
    inputs.installerKind = installerKind();
    start->optionTexts = assembleJvmOptions(inputs, start->services);
    for (std::string& text : start->optionTexts) start->options.push_back({text.data(), nullptr});
    start->initArgs.version = JNI_VERSION_1_2;
    start->initArgs.nOptions = static_cast<jint>(start->options.size());
    start->initArgs.options = start->options.data();
    start->initArgs.ignoreUnrecognized = JNI_TRUE;

    const uint32_t stack = stackReservation(start->optionTexts);
    logMessage(L"used stack size %d", static_cast<int>(stack));
    const HANDLE thread = CreateThread(nullptr, stack, jvmThread, start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return createJvm(*start) != 0;
    WaitForSingleObject(thread, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    return exitCode != 0;
}

}  // namespace launch
