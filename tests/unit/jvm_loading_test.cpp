// Loading a runtime's jvm.dll and the search for a runtime, against stand-in runtimes whose
// bin folders get a small library in the place of jvm.dll.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <vector>

#include "base/text.h"
#include "files/extraction_directory.h"
#include "jre/jvm_loading.h"
#include "jre/jvm_search.h"
#include "services/error_path.h"
#include "log_capture.h"
#include "registry_sandbox.h"
#include "services/tables.h"
#include "stand_in_runtimes.h"
#include "stream_capture.h"
#include "windows_tree.h"

using stand_in::Shape;

namespace {

std::string narrow(const std::wstring& text) { return base::wideToNarrow(text); }

std::wstring testDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L'\\'));
}

enum class Library { WithEntry, WithoutEntry };

// Puts a library as bin\<subdirectory>\jvm.dll of the runtime whose bin folder is `bin`.
void placeJvm(const std::wstring& bin, const std::wstring& subdirectory, Library library = Library::WithEntry) {
    const std::wstring folder = bin + L"\\" + subdirectory;
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring source =
        testDirectory() + (library == Library::WithEntry ? L"\\test_jvm_entry.dll" : L"\\test_jvm_no_entry.dll");
    ASSERT_TRUE(CopyFileW(source.c_str(), (folder + L"\\jvm.dll").c_str(), FALSE));
}

std::wstring binOf(const stand_in::Runtime& runtime) {
    return runtime.javaExe.substr(0, runtime.javaExe.find_last_of(L'\\'));
}

std::optional<std::wstring> environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

void setEnvironment(const wchar_t* name, const std::optional<std::wstring>& value) {
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
    _wputenv((std::wstring(name) + L"=" + value.value_or(L"")).c_str());
}

bool startsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }

void writeText(const std::wstring& path, const std::string& text) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// A loaded library stays loaded, but each test leaves PATH and the config as it found them.
class JvmLoading : public ::testing::Test {
protected:
    void SetUp() override {
        services::setConfigTable({});
        services::setGuiMode(false);
        path_ = environment(L"PATH");
    }
    void TearDown() override {
        services::setConfigTable({});
        setEnvironment(L"PATH", path_);
    }

    stand_in::RuntimeFolder folder;
    std::optional<std::wstring> path_;
};

TEST_F(JvmLoading, TheFixedCandidatesAreTriedInOrderAndTheFirstThatLoadsIsPublished) {
    const auto runtime = stand_in::layOutRuntime(folder / L"serveronly", Shape::Bin);
    placeJvm(binOf(runtime), L"server");
    LogSince log;
    ASSERT_TRUE(jre::LoadDLL(false, narrow(folder / L"serveronly"), false));

    const std::string bin = jre::loadedRuntime().binDirectory;
    const std::wstring wideBin = base::narrowToWide(bin);
    EXPECT_TRUE(log.has(L"Trying " + wideBin + L"\\client\\jvm.dll (exists 0)"));
    EXPECT_TRUE(log.has(L"Trying " + wideBin + L"\\server\\jvm.dll (exists 1)"));
    EXPECT_FALSE(log.hasPrefix(L"Failed with error code"));
    EXPECT_TRUE(log.has(L"Loading of JVM-DLL successful"));
    EXPECT_NE(jre::loadedRuntime().createJavaVm, nullptr);
    EXPECT_EQ(jre::loadedRuntime().version, "17.0.2");
    EXPECT_EQ(jre::loadedRuntime().home, bin + "\\..");
    EXPECT_EQ(_wcsicmp(wideBin.c_str(), binOf(runtime).c_str()), 0);
    // The bin folder stays first on PATH, for the system and the C runtime alike.
    EXPECT_TRUE(startsWith(environment(L"PATH").value_or(L""), wideBin + L";"));
    EXPECT_TRUE(startsWith(base::narrowToWide(getenv("PATH")), wideBin + L";"));
}

// A folder's java.exe runs while its library loads: it sees the environment of before the load
// (PATH without the runtime, no options variables), and its answer is in when LoadDLL returns.
TEST_F(JvmLoading, AFoldersJavaRunsBesideTheLoadWithTheEnvironmentOfBefore) {
    const auto runtime = stand_in::layOutRuntime(folder / L"beside", Shape::Bin, {.version = "11.0.9"});
    placeJvm(binOf(runtime), L"server");
    setEnvironment(L"PATH", L"C:\\before");
    SetEnvironmentVariableW(L"_JAVA_OPTIONS", L"-Dcvn.test=1");
    LogSince log;
    ASSERT_TRUE(jre::LoadDLL(false, narrow(folder / L"beside"), false));
    EXPECT_EQ(jre::loadedRuntime().version, "11.0.9");
    EXPECT_TRUE(startsWith(environment(L"PATH").value_or(L""), base::narrowToWide(jre::loadedRuntime().binDirectory)));
    EXPECT_EQ(environment(L"_JAVA_OPTIONS"), L"-Dcvn.test=1");
    SetEnvironmentVariableW(L"_JAVA_OPTIONS", nullptr);
    const auto runs = stand_in::runLog(runtime.home);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].find("\tPATH=C:\\before"), std::string::npos) << runs[0];
    EXPECT_EQ(runs[0].find("OPTIONS="), std::string::npos) << runs[0];
    EXPECT_TRUE(log.inOrder(L"checkJavaExe returning 1", L"Loading of JVM-DLL successful"));
}

TEST_F(JvmLoading, TheConfiguredSubdirectoryComesFirst) {
    services::setConfigTable({{152, "custom"}});
    const auto runtime = stand_in::layOutRuntime(folder / L"custom", Shape::Bin);
    placeJvm(binOf(runtime), L"custom");
    placeJvm(binOf(runtime), L"client");
    LogSince log;
    ASSERT_TRUE(jre::LoadDLL(false, narrow(runtime.javaExe), true));
    const std::wstring trying = L"Trying " + base::narrowToWide(jre::loadedRuntime().binDirectory);
    ASSERT_GE(log.position(trying), 0);
    EXPECT_EQ(log.position(trying), log.position(trying + L"\\custom\\jvm.dll (exists 1)"));
    EXPECT_FALSE(log.hasPrefix(trying + L"\\client"));
}

TEST_F(JvmLoading, AJdkWithoutItsOwnLibraryFallsBackToItsEmbeddedRuntime) {
    const auto jdk = stand_in::layOutRuntime(folder / L"jdk", Shape::JdkWithJre);
    placeJvm(binOf({.javaExe = jdk.embeddedJavaExe}), L"server");
    const std::string javaExe = narrow(folder / L"jdk\\bin\\java.exe");
    ASSERT_NE(jre::loadJvmFromJavaExe(javaExe), nullptr);
    EXPECT_EQ(jre::loadedRuntime().binDirectory, narrow(folder / L"jdk\\bin\\..\\jre\\bin"));
}

TEST_F(JvmLoading, AFailedLoadLeavesPathAsItWas) {
    const auto runtime = stand_in::layOutRuntime(folder / L"empty", Shape::Bin);
    setEnvironment(L"PATH", L"C:\\windows\\system32;D:\\\x00e9t\x00e9");
    LogSince log;
    EXPECT_EQ(jre::tryJvmDll(narrow(runtime.javaExe)), nullptr);
    EXPECT_EQ(environment(L"PATH"), L"C:\\windows\\system32;D:\\\x00e9t\x00e9");
    EXPECT_TRUE(log.hasPrefix(L"Setting PATH C:\\windows\\system32"));

    // An unset PATH is unset again.
    setEnvironment(L"PATH", std::nullopt);
    EXPECT_EQ(jre::tryJvmDll(narrow(runtime.javaExe)), nullptr);
    EXPECT_EQ(environment(L"PATH"), std::nullopt);
}

TEST_F(JvmLoading, FailuresAreLoggedBySourceAndMissingEntryPointFails) {
    const auto noEntry = stand_in::layOutRuntime(folder / L"noentry", Shape::Bin);
    placeJvm(binOf(noEntry), L"client", Library::WithoutEntry);
    LogSince log;
    EXPECT_FALSE(jre::LoadDLL(false, narrow(noEntry.javaExe), true));
    EXPECT_TRUE(log.has(L"ERROR: Could not load functions"));
    EXPECT_FALSE(log.has(L"ERROR: Could not get DLL-Handle."));

    const auto foreign = stand_in::layOutRuntime(folder / L"foreign", Shape::OtherMachine);
    EXPECT_FALSE(jre::LoadDLL(false, narrow(foreign.javaExe), true));  // runs once, refused
    EXPECT_TRUE(log.has(L"ERROR: Provided JVM unusable"));

    // A folder always passes the forced test; without any library both errors follow.
    stand_in::layOutRuntime(folder / L"nolibrary", Shape::Bin);
    EXPECT_FALSE(jre::LoadDLL(false, narrow(folder / L"nolibrary"), false));
    EXPECT_TRUE(log.has(L"ERROR: Could not get DLL-Handle."));
}

TEST_F(JvmLoading, ReducePathKeepsOnlyEntriesInsideTheWindowsFolder) {
    wchar_t windows[MAX_PATH];
    const std::wstring root(windows, GetWindowsDirectoryW(windows, MAX_PATH));
    setEnvironment(L"PATH", L"C:\\Tools;" + root + L"\\system32;D:\\x;" + root + L"Apps;" + root);
    jre::reducePath();  // off without config id 10010
    EXPECT_EQ(environment(L"PATH"), L"C:\\Tools;" + root + L"\\system32;D:\\x;" + root + L"Apps;" + root);

    services::setConfigTable({{10010, "1"}});
    jre::reducePath();
    EXPECT_EQ(environment(L"PATH"), root + L"\\system32;" + root + L"Apps;" + root);

    setEnvironment(L"PATH", L"D:\\x");
    jre::reducePath();
    EXPECT_EQ(environment(L"PATH"), L"D:\\x");
}

TEST_F(JvmLoading, NativeLibraryFoldersGoBeforePath) {
    services::setConfigTable({{10004, "lib;C:\\abs"}});
    setEnvironment(L"PATH", L"C:\\old");
    jre::setNativeLibPath();
    EXPECT_EQ(environment(L"PATH"), testDirectory() + L"\\lib;C:\\abs;C:\\old");

    services::setConfigTable({});
    jre::setNativeLibPath();
    EXPECT_EQ(environment(L"PATH"), testDirectory() + L"\\lib;C:\\abs;C:\\old");
}

// The search, with the application folder (config id 10003) in a private folder.
class JvmSearch : public JvmLoading {
protected:
    void configure(std::string sequence, std::initializer_list<std::pair<const int32_t, std::string>> more = {}) {
        services::ConfigTable table{{128, std::move(sequence)}, {10003, narrow(folder / L"app")}};
        for (const auto& entry : more) table[entry.first] = entry.second;
        services::setConfigTable(table);
    }
    jre::SearchOutcome search() {
        jre::SearchOutcome outcome;
        library = jre::searchJvm(outcome);
        return outcome;
    }
    HMODULE library = nullptr;
};

TEST_F(JvmSearch, AnEmptySequenceStillTriesFilesAndEnvironment) {
    configure("");
    LogSince log;
    const jre::SearchOutcome outcome = search();
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::None);
    EXPECT_TRUE(log.has(L"Searching for a JVM"));
    EXPECT_TRUE(log.has(L"Search sequence finished"));
}

TEST_F(JvmSearch, TheFirstEntryThatLoadsWinsWithItsSourceKind) {
    const auto unusable = stand_in::layOutRuntime(folder / L"old", Shape::Bin, {.version = "1.6.0"});
    placeJvm(binOf(unusable), L"server");
    const auto good = stand_in::layOutRuntime(folder / L"good", Shape::JreBin);
    placeJvm(binOf(good), L"server");
    SetEnvironmentVariableW(L"TEST_SEARCH_HOME", (folder / L"good").c_str());
    configure(std::string("A").append(narrow(folder / L"old")) + ";Q;ETEST_SEARCH_HOME;A" + narrow(folder / L"good") + ";",
              {{126, "1.8"}});
    LogSince log;
    const jre::SearchOutcome outcome = search();
    SetEnvironmentVariableW(L"TEST_SEARCH_HOME", nullptr);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::EnvironmentVariable);
    EXPECT_EQ(outcome.locationText, "TEST_SEARCH_HOME");
    EXPECT_EQ(outcome.version, "17.0.2");
    EXPECT_TRUE(log.has(L"Testing location  (type Q)"));
    EXPECT_FALSE(log.hasPrefix(L"Testing location " + (folder / L"good")));
}

TEST_F(JvmSearch, EnvironmentLocationsTakeForwardSlashes) {
    const auto good = stand_in::layOutRuntime(folder / L"slashes", Shape::Bin);
    placeJvm(binOf(good), L"client");
    std::wstring slashed = folder / L"slashes";
    for (wchar_t& c : slashed)
        if (c == L'\\') c = L'/';
    SetEnvironmentVariableW(L"LUMBRA_JAVA_HOME", slashed.c_str());
    configure("");
    const jre::SearchOutcome outcome = search();
    SetEnvironmentVariableW(L"LUMBRA_JAVA_HOME", nullptr);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::EnvironmentVariable);
    EXPECT_EQ(outcome.locationText, "LUMBRA_JAVA_HOME");
}

TEST_F(JvmSearch, TheRelativePassRetriesBEntriesAndRelativeOnesWithoutTheVersionTest) {
    // Too old for the minimum in the first pass; the relative pass takes it as it is.
    const auto old = stand_in::layOutRuntime(folder / L"bundle", Shape::Bin, {.version = "1.6.0"});
    placeJvm(binOf(old), L"server");
    configure("AC:\\nowhere\\jre;R\\\\server\\share\\jre;B" + narrow(folder / L"bundle") + ";", {{126, "1.8"}});
    LogSince log;
    const jre::SearchOutcome outcome = search();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::Location);
    EXPECT_EQ(outcome.locationText, narrow(folder / L"bundle"));
    EXPECT_TRUE(log.has(L"Testing relative location " + (folder / L"bundle")));
    EXPECT_FALSE(log.has(L"Testing relative location C:\\nowhere\\jre"));
    EXPECT_FALSE(log.has(L"Testing relative location \\\\server\\share\\jre"));
    EXPECT_FALSE(log.has(L"Search sequence finished"));
}

// A relative location names a folder beside the launcher in both passes, never one in the
// current directory: the current directory is whatever the user started the installer from.
TEST_F(JvmSearch, RelativeLocationsResolveAgainstTheLaunchersFolder) {
    std::wstring executable(MAX_PATH, L'\0');
    executable.resize(GetModuleFileNameW(nullptr, executable.data(), MAX_PATH));
    const std::wstring name = L"relative_bundle_" + std::to_wstring(GetCurrentProcessId());
    std::wstring besideLauncher = executable;
    besideLauncher.resize(executable.find_last_of(L'\\') + 1);
    besideLauncher.append(name);
    struct Removal {
        std::wstring path;
        ~Removal() { test_support::removeTree(path); }
    } removal{besideLauncher};
    const auto inCurrent = stand_in::layOutRuntime(folder / name, Shape::Bin, {.version = "1.6.0"});
    placeJvm(binOf(inCurrent), L"server");
    std::wstring previous(MAX_PATH, L'\0');
    previous.resize(GetCurrentDirectoryW(MAX_PATH, previous.data()));
    SetCurrentDirectoryW(folder.path().c_str());
    configure(std::string("R").append(narrow(name)).append(";"), {{126, "1.8"}});
    search();
    EXPECT_EQ(library, nullptr);

    const auto beside = stand_in::layOutRuntime(besideLauncher, Shape::Bin, {.version = "1.6.0"});
    placeJvm(binOf(beside), L"server");
    const jre::SearchOutcome outcome = search();
    SetCurrentDirectoryW(previous.c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.javaExe.find(narrow(folder.path())), std::string::npos) << outcome.javaExe;
    EXPECT_NE(outcome.javaExe.find(narrow(name)), std::string::npos) << outcome.javaExe;
    FreeLibrary(library);  // so that the folder beside the test program can go
}

TEST_F(JvmSearch, AForcedLocationWithoutLibraryDoesNotEndTheSearch) {
    CreateDirectoryW((folder / L"nothing").c_str(), nullptr);
    const auto preferred = stand_in::layOutRuntime(folder / L"preferred", Shape::Bin);  // no jvm.dll
    const auto good = stand_in::layOutRuntime(folder / L"good", Shape::Bin);
    placeJvm(binOf(good), L"server");
    CreateDirectoryW((folder / L"app").c_str(), nullptr);
    CreateDirectoryW((folder / L"app\\.corvane").c_str(), nullptr);
    const std::string line = narrow(folder / L"preferred") + "\r\nsecond line\r\n";
    const HANDLE file = CreateFileW((folder / L"app\\.corvane\\pref_jre.cfg").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    configure(std::string("A").append(narrow(folder / L"nothing")) + ";A" + narrow(folder / L"good"), {{134, "1"}});
    LogSince log;
    const jre::SearchOutcome outcome = search();
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(log.has(L"Has preferred location " + (folder / L"preferred")));
    EXPECT_TRUE(log.has(L"Using preferred location"));
    EXPECT_EQ(outcome.locationText, narrow(folder / L"good"));
}

// The installer's location files: the one in the extraction directory comes before the
// sequence, the one in the application's ".corvane" folder after it and before the relative
// pass. An S entry takes the java.exe the executable search path finds.
TEST_F(JvmSearch, InstallerLocationFilesAroundTheSequenceAndAJavaOnTheSearchPath) {
    const auto staged = stand_in::layOutRuntime(folder / L"staged", Shape::Bin);
    const auto installed = stand_in::layOutRuntime(folder / L"installed", Shape::Bin);
    const auto onPath = stand_in::layOutRuntime(folder / L"onpath", Shape::Bin);
    const auto old = stand_in::layOutRuntime(folder / L"old", Shape::Bin, {.version = "1.6.0"});
    for (const auto* runtime : {&staged, &installed, &onPath, &old}) placeJvm(binOf(*runtime), L"server");
    for (const wchar_t* name : {L"extraction", L"app", L"app\\.corvane"}) CreateDirectoryW((folder / name).c_str(), nullptr);
    writeText(folder / L"extraction\\inst_jre.cfg", narrow(folder / L"staged") + "\r\n");
    writeText(folder / L"app\\.corvane\\inst_jre.cfg", narrow(folder / L"installed") + "\r\n");
    files::setExtractionDirectory(narrow(folder / L"extraction"));
    // The old runtime fails the first pass and would pass the relative one.
    configure("S;B" + narrow(folder / L"old") + ";", {{126, "1.8"}});
    // Each search starts from a PATH of its own: a loaded runtime's bin folder goes first on it.
    setEnvironment(L"PATH", binOf(onPath));

    LogSince log;
    jre::SearchOutcome outcome = search();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::Location);
    EXPECT_EQ(outcome.locationText, narrow(folder / L"staged"));
    EXPECT_TRUE(log.inOrder(L"Has installer location " + (folder / L"staged"), L"Using installer location"));
    EXPECT_FALSE(log.has(L"Testing location  (type S)"));

    DeleteFileW((folder / L"extraction\\inst_jre.cfg").c_str());
    setEnvironment(L"PATH", binOf(onPath));
    outcome = search();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::SearchPath);
    EXPECT_EQ(_wcsicmp(base::narrowToWide(outcome.javaExe).c_str(), onPath.javaExe.c_str()), 0) << outcome.javaExe;

    setEnvironment(L"PATH", path_);
    LogSince later;
    outcome = search();
    files::clearExtractionDirectory();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::Location);
    EXPECT_EQ(outcome.locationText, narrow(folder / L"installed"));
    EXPECT_TRUE(later.inOrder(L"Testing location  (type S)", L"Has installer location " + (folder / L"installed")));
    EXPECT_FALSE(later.hasPrefix(L"Testing relative location"));
}

TEST(LocationFiles, OnlyTheFirstLineCountsWithoutItsLineEnd) {
    stand_in::RuntimeFolder folder;
    const std::wstring path = folder / L"loc.cfg";
    const std::string content = "C:\\jre\r\r\nnext";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(jre::readFirstLine(narrow(path)), "C:\\jre");
    EXPECT_EQ(jre::readFirstLine(narrow(folder / L"missing.cfg")), "");
}

}  // namespace

namespace {

// The registry sources' part of the search, in a registry of the test's own.
class RegistrySearch : public JvmSearch {
protected:
    void SetUp() override {
        JvmSearch::SetUp();
        for (const wchar_t* name : kVariables) saved_.push_back(environment(name));
        for (const wchar_t* name : kVariables) setEnvironment(name, std::nullopt);
    }
    void TearDown() override {
        for (size_t i = 0; i < std::size(kVariables); ++i) setEnvironment(kVariables[i], saved_[i]);
        JvmSearch::TearDown();
    }

    static constexpr const wchar_t* kVariables[] = {L"JAVA_HOME", L"JDK_HOME", L"LUMBRA_JAVA_HOME", L"CORVANE_JAVA_HOME"};
    test_registry::RegistrySandbox registry;
    std::vector<std::optional<std::wstring>> saved_;
};

TEST_F(RegistrySearch, TheExampleSequenceWithNothingUsableEndsWithTheRelativePassAndTheVariables) {
    configure("B.\\.corvane\\jre.bundle\\Contents\\Home;I;Y;EJAVA_HOME;EJDK_HOME;",
              {{160, "allinstdirs42"}, {126, "11"}});
    LogSince log;
    const jre::SearchOutcome outcome = search();
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::None);
    const std::vector<std::wstring> order = {
        L"MinVersion: 11, MaxVersion: ",
        L"Testing location .\\.corvane\\jre.bundle\\Contents\\Home (type B)",
        L"Testing location  (type I)",
        L"Testing location  (type Y)",
        L"Testing location JAVA_HOME (type E)",
        L"Testing location JDK_HOME (type E)",
        L"Testing relative location .\\.corvane\\jre.bundle\\Contents\\Home",
        L"Search sequence finished"};
    for (size_t i = 0; i + 1 < order.size(); ++i) EXPECT_TRUE(log.inOrder(order[i], order[i + 1])) << order[i];
}

// Shown errors (the way of a caller that asks for them): a runtime that passes its check but
// whose library does not load is reported by where it came from, a variable by its name.
TEST_F(RegistrySearch, ARuntimeThatDoesNotLoadIsReportedByItsSource) {
    stand_in::layOutRuntime(folder / L"variable", Shape::Bin);  // no jvm.dll in either
    stand_in::layOutRuntime(folder / L"vendor", Shape::Bin);
    setEnvironment(L"JAVA_HOME", folder / L"variable");
    test_registry::setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\17.0.2", "JavaHome", narrow(folder / L"vendor"));
    services::setMessageTable({{1005, L"Could not start JVM."}, {1017, L"The runtime {0} names cannot be used."}});
    const auto shown = [&](const std::string& sequence) {
        configure(sequence);
        test_support::StreamCapture error(stderr, folder / L"error.txt");
        EXPECT_FALSE(jre::LoadDLL(true, std::nullopt, false)) << sequence;
        return error.text();
    };
    EXPECT_EQ(shown("EJAVA_HOME").rfind("The runtime JAVA_HOME names cannot be used.\n", 0), 0u);
    EXPECT_EQ(shown("Y").rfind("Could not start JVM.\n", 0), 0u);
    services::setMessageTable({});
}

TEST_F(RegistrySearch, PreviousInstallationsThatDoNotLoadAreGivenUpAfterFifty) {
    // 51 installations whose runtimes pass the version check but have no jvm.dll.
    std::string list;
    for (int i = 1; i <= 51; ++i) {
        const std::wstring installation = folder / (L"app" + std::to_wstring(i));
        stand_in::layOutRuntime(installation + L"\\jre", Shape::Bin);
        list += narrow(installation) + ";";
    }
    test_registry::setText(HKEY_CURRENT_USER, "SOFTWARE\\halvern\\corvane\\installations", "allinstdirs7", list);
    configure("I", {{160, "allinstdirs7"}});
    LogSince log;
    const jre::SearchOutcome outcome = search();
    EXPECT_EQ(library, nullptr);
    size_t added = 0;
    for (const std::wstring& line : log.lines())
        if (line.rfind(L"add non-working java ", 0) == 0) ++added;
    EXPECT_EQ(added, 50u);
    // The 51st is never looked at (the list itself is logged whole).
    for (const std::wstring& line : log.lines())
        if (line.rfind(L"found installations", 0) != 0) {
            EXPECT_EQ(line.find(L"\\app51\\"), std::wstring::npos) << line;
        }
    EXPECT_FALSE(jre::usesPreviousInstallationJre());
}

TEST_F(RegistrySearch, VendorKeysOfferTheirNewestRuntime) {
    const auto javasoft = stand_in::layOutRuntime(folder / L"javasoft", Shape::Bin, {.version = "1.8.0_301"},
                                                  stand_in::withJvm());
    const auto zulu = stand_in::layOutRuntime(folder / L"zulu", Shape::Bin, {.version = "17.0.2"}, stand_in::withJvm());
    test_registry::setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\1.8.0_301", "JavaHome",
                           narrow(folder / L"javasoft"));
    test_registry::setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Azul Systems\\Zulu\\zulu-17", "InstallationPath",
                           narrow(folder / L"zulu"));
    configure("Y");
    const jre::SearchOutcome outcome = search();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(outcome.kind, jre::SourceKind::Registry);
    EXPECT_EQ(outcome.version, "17.0.2");
    EXPECT_EQ(_stricmp(outcome.javaExe.c_str(), narrow(zulu.javaExe).c_str()), 0) << outcome.javaExe;

    // Under a maximum of 1.8 the JavaSoft runtime is the one.
    configure("Y", {{127, "1.8"}});
    const jre::SearchOutcome older = search();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(older.version, "1.8.0_301");
}

}  // namespace

TEST_F(JvmSearch, ASecondSearchTakesEveryCandidatesVersionFromTheCacheWithoutStartingIt) {
    std::vector<stand_in::Runtime> runtimes;
    std::string sequence;
    for (int i = 0; i < 10; ++i) {
        const std::wstring root = folder / (L"candidate" + std::to_wstring(i));
        runtimes.push_back(stand_in::layOutRuntime(root, Shape::Bin, {.version = i < 9 ? "1.8.0_292" : "17.0.2"}));
        sequence += "A" + narrow(root) + ";";
    }
    placeJvm(binOf(runtimes.back()), L"server");
    configure(sequence, {{126, "11"}});
    const auto starts = [&] {
        size_t count = 0;
        for (const auto& runtime : runtimes) count += stand_in::runLog(runtime.home).size();
        return count;
    };
    ASSERT_EQ(search().version, "17.0.2");
    EXPECT_EQ(starts(), 10u);
    const jre::SearchOutcome cached = search();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(cached.version, "17.0.2");
    EXPECT_EQ(starts(), 10u);
}
