// The installer run from start to the Java side: choosing the runtime (found on the machine or
// carried in the payload), the launch with what the Java side receives, the startup dialog
// giving way to the Java side's first window, MSI progress, language restarts, and the runs
// that end without a runtime. The stand-in runtime records what it was handed.
#include <gtest/gtest.h>

#include "harness.h"

#include <commctrl.h>

#include <algorithm>

#include "base/bitness.h"
#include "base/text.h"
#include "jvm_record.h"
#include "stand_in_runtimes.h"

using namespace e2e;

namespace {

constexpr wchar_t kMarksKey[] = L"SOFTWARE\\halvern\\lumbra";

std::optional<DWORD> installStartedMark(const std::wstring& name = L"InstallStarted") {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kMarksKey, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::wstring runtimeArchive() { return standInRuntimeHome() + L".tar.gz"; }
// The same stand-in built for the other machine: x86 beside launcher64.exe, x86-64 beside
// launcher.exe. Its jvm.dll cannot be loaded into the launcher.
std::wstring otherMachineRuntimeHome() { return standInRuntimeHome() + L"-other"; }

// "32-bit" or "64-bit": the runtimes the launcher under test can load (the tests are built for
// the same machine as the launcher).
std::wstring ownBitness() { return base::narrowToWide(base::kOwnBitness) + L"-bit"; }

// A media file whose Java side records into `record` and acts out `scenario`.
media::MediaDescription installer(const std::wstring& record, const std::string& scenario = "return") {
    media::MediaDescription description;
    description.config[107] = "1";
    description.config[122] = "com.example.Main";
    description.config[2001] = "i";
    description.config[123] =
        "\"-Dstandin.record=" + base::wideToNarrow(record) + "\" -Dstandin.scenario=" + scenario;
    description.files.push_back({"cvnruntime.jar", {"", std::string(3000, 'j')}});
    description.files.push_back({"cvnparams.conf", {"", "params"}});
    return description;
}

void withIncludedRuntime(media::MediaDescription& description) {
    description.files.push_back({"jre.tar.gz", {base::wideToUtf8(runtimeArchive()), ""}});
    description.config[151] = "2000000";
}

bool contains(const std::vector<std::string>& values, const std::string& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::string valueOf(const std::vector<std::string>& options, const std::string& prefix) {
    for (const std::string& option : options)
        if (option.rfind(prefix, 0) == 0) return option.substr(prefix.size());
    return "(missing)";
}

bool logHas(const std::wstring& folder, const std::wstring& text) {
    for (const std::wstring& log : launcherLogs(folder))
        if (log.find(text) != std::wstring::npos) return true;
    return false;
}

// A visible top-level dialog-class window of the process whose title is `title`, or any such
// window that is not `other` when the title is empty; waits up to the time-out.
struct DialogSearch {
    DWORD processId;
    const std::wstring* title;
    HWND other;
    HWND found = nullptr;
};

// Enumeration callbacks are stdcall functions (a lambda is not, in the 32-bit build).
BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    auto& s = *reinterpret_cast<DialogSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner != s.processId || !IsWindowVisible(window) || window == s.other || std::wstring(className) != L"#32770")
        return TRUE;
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (!s.title->empty() && *s.title != text) return TRUE;
    s.found = window;
    return FALSE;
}

HWND waitForDialog(DWORD processId, const std::wstring& title, HWND other = nullptr, DWORD milliseconds = 20000) {
    DialogSearch search{processId, &title, other};
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

BOOL CALLBACK findVisibleEdit(HWND child, LPARAM parameter) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (std::wstring(className) != L"Edit" || !IsWindowVisible(child)) return TRUE;
    *reinterpret_cast<HWND*>(parameter) = child;
    return FALSE;
}

// Types a path into the file chooser and confirms it.
void chooseFile(HWND chooser, const std::wstring& path) {
    HWND edit = nullptr;
    EnumChildWindows(chooser, findVisibleEdit, reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    pressButton(chooser, IDOK);
}

const std::map<std::wstring, std::optional<std::wstring>> kNoRuntime = {{L"LUMBRA_JAVA_HOME", std::nullopt},
                                                                        {L"CORVANE_JAVA_HOME", std::nullopt}};

}  // namespace

TEST(WorkFlow, TheJavaSideReceivesItsOptionsPropertiesAndArguments) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring record = folder.file(L"record.txt");
    auto description = installer(record);
    // Wine reserves at least 1 MB for any thread; a larger size shows that ours was given.
    description.config[123] += " -Xss4m";
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runToEnd(media, {{L"file.txt", L"-Dsun.locale.formatasdefault=true"},
                                          {{L"LUMBRA_LOG", L"yes"}}, temp.path()});
    ASSERT_EQ(run.exitCode, 0u) << run.error;
    EXPECT_FALSE(run.box);

    const auto java = stand_in::JvmRecord::read(record);
    EXPECT_TRUE(java.violations().empty()) << java.violations().front();
    const std::vector<std::string> options = java.options();
    const std::string tempDir = valueOf(options, "-Dlumbra.tempDir=");
    EXPECT_EQ(valueOf(options, "-Djava.class.path="), tempDir + "\\cvnruntime.jar");
    EXPECT_EQ(valueOf(options, "-Dlumbra.moduleName="), base::wideToNarrow(media));
    EXPECT_EQ(valueOf(options, "-Dlumbra.isCorvane="), "true");
    EXPECT_NE(valueOf(options, "-Dlumbra.unextractedPosition="), "-1");
    EXPECT_TRUE(contains(options, "-Dsun.locale.formatasdefault=true"));
    EXPECT_TRUE(java.has({"stack", "4194304"}));

    const std::vector<std::string> arguments = java.mainArguments();
    ASSERT_GE(arguments.size(), 7u);
    EXPECT_EQ(arguments[0], "true");
    EXPECT_EQ(arguments[1], "com.example.Main");
    EXPECT_EQ(arguments[2], "");
    EXPECT_EQ(arguments[4], "false");
    EXPECT_EQ(arguments.back(), "file.txt");
    EXPECT_EQ(arguments.size(), 7u);  // the locale option is not an argument of main
    EXPECT_TRUE(java.has({"field", "com/lumbra/runtime/util/WinDel", "externalExecutable", base::wideToNarrow(media)}));
    EXPECT_EQ(java.outcome(), stand_in::JvmRecord::Line{"returned"});
    EXPECT_FALSE(java.all("destroyed").empty());
    // Every class of the table is bound: the first, the last, and the ones between them.
    EXPECT_FALSE(logHas(temp.path(), L"ERROR: did not find"));
    EXPECT_FALSE(logHas(temp.path(), L"ERROR: registering helper dll failed"));
    for (const auto& [className, method, signature] :
         {std::tuple{"FileVersion", "compare0", "(Ljava/lang/String;Ljava/lang/String;)I"},
          {"Win32Firewall", "getCurrentProfileTypes0", "()J"},
          {"WinGuiHelper", "flashWindow0", "(JZ)V"},
          {"wininet/WinInet", "read0", "(J[BII)I"},
          {"WinTaskBar", "setState0", "(JI)V"},
          {"Win32Services", "getServiceBinary0", "(Ljava/lang/String;)Ljava/lang/String;"}})
        EXPECT_TRUE(java.has({"native", std::string("com/corvane/runtime/installer/platform/win32/") + className, method,
                              signature}))
            << className << "." << method;
    std::vector<stand_in::JvmRecord::Line> initCalls;
    for (const auto& call : java.all("call"))
        if (call.size() > 2 && call[1] == "initFromLauncher") initCalls.push_back(call);
    ASSERT_EQ(initCalls.size(), 1u);
    EXPECT_EQ(initCalls[0].back(), "true");
}

TEST(WorkFlow, AnExceptionEscapingMainIsReportedAndFails) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring record = folder.file(L"record.txt");
    const std::wstring media = buildMedia(folder, installer(record, "throw:broken"));
    const Finished run = runToEnd(media, {{}, {{L"LUMBRA_LOG", L"yes"}}, temp.path()});
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box);
    EXPECT_NE(run.box->text.find(L"Could not start JVM."), std::wstring::npos) << run.box->text;
    EXPECT_TRUE(logHas(temp.path(), L"ERROR: an exception occurred"));
    EXPECT_TRUE(logHas(temp.path(), L"ERROR: java.lang.IllegalStateException: broken"));
    EXPECT_TRUE(logHas(temp.path(), L"ERROR: Could not start JVM"));
}

TEST(WorkFlow, TheIncludedRuntimeIsUnpackedAndUsed) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring record = folder.file(L"record.txt");
    auto description = installer(record);
    withIncludedRuntime(description);
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runToEnd(media, {{L"-q"}, kNoRuntime, temp.path()});
    ASSERT_EQ(run.exitCode, 0u) << run.error;

    const auto java = stand_in::JvmRecord::read(record);
    const std::string tempDir = valueOf(java.options(), "-Dlumbra.tempDir=");
    const std::string path = java.firstFields("path").empty() ? "" : java.firstFields("path")[0];
    // The loaded runtime's bin folder comes first on PATH (in its canonical, lower-case form).
    EXPECT_EQ(CompareStringOrdinal(base::narrowToWide(path.substr(0, tempDir.size() + 9)).c_str(), -1,
                                   base::narrowToWide(tempDir + "\\jre\\bin;").c_str(), -1, TRUE),
              CSTR_EQUAL)
        << path;
    // The archive is gone once unpacked.
    EXPECT_EQ(GetFileAttributesW(base::narrowToWide(tempDir + "\\jre.tar.gz").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WorkFlow, APackedRuntimeAndPackedIncludedFilesAreExpanded) {
    TempFolder folder;
    TempFolder temp;
    stand_in::RuntimeFolder runtimes;
    const auto runtime = stand_in::layOutRuntime(runtimes / L"packed", stand_in::Shape::Bin, {}, stand_in::withJvm());
    ASSERT_TRUE(CopyFileW((stand_in::standInBinDirectory() + L"\\unpack200.exe").c_str(),
                          (runtime.home + L"\\bin\\unpack200.exe").c_str(), FALSE));
    CreateDirectoryW((runtime.home + L"\\lib").c_str(), nullptr);
    writeFileBytes(runtime.home + L"\\lib\\rt.jar.pack", std::string("stand-in pack200\n") + "runtime classes");
    writeTarGz(folder.file(L"jre.tar.gz"), runtime.home);

    const std::wstring record = folder.file(L"record.txt");
    auto description = installer(record);
    description.files.push_back({"jre.tar.gz", {base::wideToUtf8(folder.file(L"jre.tar.gz")), ""}});
    description.files.push_back({"app.jar.pack", {"", "stand-in pack200\napplication classes"}});
    description.config[151] = "100000";
    description.config[153] = "1";
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runToEnd(media, {{L"-q"}, kNoRuntime, temp.path()});
    ASSERT_EQ(run.exitCode, 0u) << run.error;

    const auto java = stand_in::JvmRecord::read(record);
    const std::wstring tempDir = base::narrowToWide(valueOf(java.options(), "-Dlumbra.tempDir="));
    EXPECT_EQ(readFileBytes(tempDir + L"\\jre\\lib\\rt.jar"), "runtime classes");
    EXPECT_EQ(GetFileAttributesW((tempDir + L"\\jre\\lib\\rt.jar.pack").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(readFileBytes(tempDir + L"\\app.jar"), "application classes");
    EXPECT_EQ(GetFileAttributesW((tempDir + L"\\app.jar.pack").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WorkFlow, ADamagedRuntimeArchiveEndsTheRun) {
    TempFolder folder;
    TempFolder temp;
    auto description = installer(folder.file(L"record.txt"));
    description.files.push_back({"jre.tar.gz", {"", std::string("\x1f\x8b\x08\x00garbage that is no archive", 31)}});
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runToEnd(media, {{}, kNoRuntime, temp.path()});
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box);
    EXPECT_NE(run.box->text.find(L"The bundled JRE is corrupted."), std::wstring::npos) << run.box->text;
}

TEST(WorkFlow, AQuietRunWithoutAnyRuntimeEndsWith83AndNoMark) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, installer(folder.file(L"record.txt")));
    const Finished run = runToEnd(media, {{L"-q"}, kNoRuntime, temp.path()});
    EXPECT_EQ(run.exitCode, 83u);
    EXPECT_EQ(run.output, "No JRE found. Aborting.\r\n");  // standard output in text mode
    EXPECT_FALSE(run.box);
    EXPECT_FALSE(installStartedMark());
}

TEST(WorkFlow, WithoutRuntimeOrSelectionTheUserIsToldNoneWasFound) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, installer(folder.file(L"record.txt")));
    const Finished run = runToEnd(media, {{}, kNoRuntime, temp.path()});
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box);
    EXPECT_NE(run.box->text.find(L"No suitable JDK could be found"), std::wstring::npos) << run.box->text;
}

// A GUI run that fails before the Java side shows up takes back the marks it set, its
// per-process one among them: they would otherwise pile up with every failed run.
TEST(WorkFlow, AFailedRunTakesBackItsMarks) {
    TempFolder folder;
    TempFolder temp;
    auto failing = installer(folder.file(L"record.txt"));
    failing.config[123] += " -Dstandin.create=fail";
    const std::wstring noRuntime = buildMedia(folder, installer(folder.file(L"record.txt")));
    const std::wstring notCreated = buildMedia(folder, failing, L"failing.exe");
    for (const auto& [media, environment] :
         {std::pair{noRuntime, kNoRuntime}, std::pair{notCreated, RunOptions{}.environment}}) {
        LauncherProcess process(media, {{}, environment, temp.path()});
        const auto box = process.waitForMessageBox();
        ASSERT_TRUE(box);
        pressButton(box->window, IDOK);
        EXPECT_EQ(process.wait(), 1u) << base::wideToUtf8(box->text);
        EXPECT_FALSE(installStartedMark()) << base::wideToUtf8(box->text);
        EXPECT_FALSE(installStartedMark(L"InstallStarted_" + std::to_wstring(process.processId())));
    }
}

TEST(WorkFlow, ManualSelectionIsOfferedAndItsCancelEndsWithOne) {
    TempFolder folder;
    TempFolder temp;
    auto description = installer(folder.file(L"record.txt"));
    description.config[126] = "11";
    withIncludedRuntime(description);
    const std::wstring media = buildMedia(folder, description);
    LauncherProcess process(media, {{L"-manual"}, {}, temp.path()});
    const auto selection = process.waitForMessageBox(20000);
    ASSERT_TRUE(selection);
    EXPECT_NE(GetDlgItem(selection->window, 1005), nullptr);
    wchar_t text[512] = {};
    GetDlgItemTextW(selection->window, 1003, text, 512);
    EXPECT_NE(std::wstring(text).find(L"11"), std::wstring::npos) << text;
    pressButton(selection->window, IDCANCEL);
    EXPECT_EQ(process.wait(30000), 1u);
}

TEST(WorkFlow, AnIncludedRuntimeOfTheOtherMachineIsNotLoaded) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring record = folder.file(L"record.txt");
    auto description = installer(record);
    description.files.push_back({"jre.tar.gz", {base::wideToUtf8(otherMachineRuntimeHome() + L".tar.gz"), ""}});
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runToEnd(media, {{}, kNoRuntime, temp.path()});
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box);
    EXPECT_NE(run.box->text.find(L"Could not use bundled JRE."), std::wstring::npos) << run.box->text;
    EXPECT_TRUE(logHas(temp.path(), L"Could not load bundled JRE. Trying to find another JRE."));
    EXPECT_EQ(GetFileAttributesW(record.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The selection asks for a runtime of the launcher's own bitness, and a java.exe of the other
// machine is refused in the same words.
TEST(WorkFlow, TheSelectionNamesTheLaunchersBitnessAndRefusesTheOtherMachine) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, installer(folder.file(L"record.txt")));
    LauncherProcess process(media, {{L"-manual"}, kNoRuntime, temp.path()});
    const HWND selection = waitForDialog(process.processId(), L"");
    ASSERT_NE(selection, nullptr);
    wchar_t text[512] = {};
    GetDlgItemTextW(selection, 1003, text, 512);
    EXPECT_NE(std::wstring(text).find(L"No suitable " + ownBitness() + L" Java runtime"), std::wstring::npos) << text;

    pressButton(selection, 1005);
    const HWND chooser = waitForDialog(process.processId(), L"Locate java.exe");
    ASSERT_NE(chooser, nullptr);
    chooseFile(chooser, otherMachineRuntimeHome() + L"\\bin\\java.exe");
    const HWND error = waitForDialog(process.processId(), L"Error");
    ASSERT_NE(error, nullptr);
    GetDlgItemTextW(error, 0xFFFF, text, 512);
    EXPECT_NE(std::wstring(text).find(L"No suitable " + ownBitness() + L" Java runtime was found"), std::wstring::npos)
        << text;
    pressButton(error, IDOK);
    EXPECT_TRUE(logHas(temp.path(), L"Provided JVM unusable"));
    pressButton(selection, IDCANCEL);
    EXPECT_EQ(process.wait(30000), 1u);
}

TEST(WorkFlow, ALocatedRuntimeThatLoadsIsRememberedOneThatDoesNotKeepsTheChoiceOpen) {
    TempFolder folder;
    TempFolder temp;
    stand_in::RuntimeFolder runtimes;
    const auto broken = stand_in::layOutRuntime(runtimes / L"broken", stand_in::Shape::Bin);
    const auto good = stand_in::layOutRuntime(runtimes / L"good", stand_in::Shape::Bin, {}, stand_in::withJvm());
    const std::wstring record = folder.file(L"record.txt");
    const std::wstring media = buildMedia(folder, installer(record));
    LauncherProcess process(media, {{L"-manual"}, kNoRuntime, temp.path()});

    const HWND selection = waitForDialog(process.processId(), L"");
    ASSERT_NE(selection, nullptr);
    ASSERT_NE(GetDlgItem(selection, 1005), nullptr);
    pressButton(selection, 1005);
    HWND chooser = waitForDialog(process.processId(), L"Locate java.exe");
    ASSERT_NE(chooser, nullptr);
    chooseFile(chooser, broken.javaExe);
    // The error names the runtime; the selection stays open for another try.
    const HWND error = waitForDialog(process.processId(), L"Error");
    ASSERT_NE(error, nullptr);
    wchar_t text[512] = {};
    GetDlgItemTextW(error, 0xFFFF, text, 512);
    EXPECT_NE(std::wstring(text).find(L"cannot be used"), std::wstring::npos) << text;
    pressButton(error, IDOK);
    EXPECT_FALSE(process.wait(1000));
    EXPECT_TRUE(IsWindowVisible(selection));

    pressButton(selection, 1005);
    chooser = waitForDialog(process.processId(), L"Locate java.exe");
    ASSERT_NE(chooser, nullptr);
    chooseFile(chooser, good.javaExe);
    EXPECT_EQ(process.wait(30000), 0u);
    EXPECT_EQ(stand_in::JvmRecord::read(record).outcome(), stand_in::JvmRecord::Line{"returned"});

    std::wstring key = L"SOFTWARE\\halvern\\lumbra\\locatedjvms\\" + good.javaExe;
    for (size_t at = key.find(L"locatedjvms") + 12; at < key.size(); ++at)
        if (key[at] == L'\\') key[at] = L'/';
    bool recorded = false;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
            recorded = true;
            RegCloseKey(opened);
            RegDeleteKeyW(root, key.c_str());
        }
    }
    EXPECT_TRUE(recorded) << key;
}

// Also in a quiet run that asks for the dialog with "-splash".
TEST(WorkFlow, TheStartupDialogGivesWayToTheJavaSidesWindow) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring record = folder.file(L"record.txt");
    // The Java side waits a moment first, so that the test sees the dialog before it goes.
    for (const auto& [scenario, arguments] :
         {std::pair{"sleep:1500,window:4000", std::vector<std::wstring>{}},
          {"sleep:1500,mark,sleep:4000", std::vector<std::wstring>{}},
          {"sleep:1500,window:4000", std::vector<std::wstring>{L"-q", L"-splash"}}}) {
        std::string steps = scenario;
        // Several steps are several options.
        for (size_t comma; (comma = steps.find(',')) != std::string::npos;)
            steps.replace(comma, 1, " -Dstandin.scenario=");
        auto description = installer(record, steps);
        const std::wstring media = buildMedia(folder, description);
        LauncherProcess process(media, {arguments, {}, temp.path()});
        const HWND dialog = process.waitForWindow(L"MyDialogClass");
        ASSERT_NE(dialog, nullptr) << scenario << arguments.size();
        const ULONGLONG deadline = GetTickCount64() + 20000;
        while (IsWindowVisible(dialog) && GetTickCount64() < deadline) Sleep(50);
        EXPECT_FALSE(IsWindowVisible(dialog)) << scenario;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL))) << scenario;
        EXPECT_EQ(process.wait(30000), 0u) << scenario;
        EXPECT_FALSE(installStartedMark(L"InstallStarted_" + std::to_wstring(process.processId()))) << scenario;
    }
}

// Config id 10012 keeps the Java options variables from the virtual machine; config id 146 is
// the run's working directory (relative to the installer, its doubled separators folded),
// entered before anything is asked of the user.
TEST(WorkFlow, ConfiguredRunsDropTheJavaOptionsVariablesAndChangeTheWorkingDirectory) {
    TempFolder folder;
    const std::wstring record = folder.file(L"record.txt");
    CreateDirectoryW(folder.file(L"Work").c_str(), nullptr);
    CreateDirectoryW(folder.file(L"Work\\Dir").c_str(), nullptr);
    std::map<std::wstring, std::optional<std::wstring>> variables = {
        {L"_JAVA_OPTIONS", L"-Dunder"}, {L"JDK_JAVA_OPTIONS", L"-Djdk"}, {L"JAVA_TOOL_OPTIONS", L"-Dtool"},
        {L"LUMBRA_LOG", L"yes"}};
    {
        TempFolder temp;
        ASSERT_EQ(runToEnd(buildMedia(folder, installer(record)), {{}, variables, temp.path()}).exitCode, 0u);
        EXPECT_EQ(stand_in::JvmRecord::read(record).all("variable").size(), 3u);
        EXPECT_TRUE(logHas(temp.path(), L"] working directory unchanged\r\n"));
    }
    auto description = installer(record);
    description.config[10012] = "1";
    description.config[146] = "Work\\\\Dir";
    const std::wstring media = buildMedia(folder, description, L"configured.exe");
    TempFolder temp;
    LauncherProcess process(media, {{L"-create-cvn-log"}, variables, temp.path()});
    const auto box = process.waitForMessageBox();
    ASSERT_TRUE(box);
    const std::wstring expected = folder.file(L"Work\\Dir");
    EXPECT_EQ(_wcsicmp(process.currentDirectory().c_str(), expected.c_str()), 0) << base::wideToUtf8(process.currentDirectory());
    pressButton(box->window, IDNO);
    EXPECT_EQ(process.wait(), 0u);
    EXPECT_TRUE(stand_in::JvmRecord::read(record).all("variable").empty());
    EXPECT_TRUE(logHas(temp.path(), L"] ignoring java options environment variables\r\n"));
    EXPECT_TRUE(logHas(temp.path(), L"] change working directory to " + expected + L"\r\n"));
}

// Config id 155 runs the work without the startup dialog also outside MSI mode. Without a
// runtime the dialog then only stands behind the selection, which config id 10014 offers
// without "-manual".
TEST(WorkFlow, ConfiguredRunsGoWithoutTheStartupDialogAndOfferTheSelection) {
    TempFolder folder;
    TempFolder temp;
    auto description = installer(folder.file(L"record.txt"), "sleep:1500");
    description.config[155] = "1";
    description.config[10014] = "1";
    const std::wstring media = buildMedia(folder, description);
    {
        LauncherProcess process(media, {{}, {}, temp.path()});
        std::optional<DWORD> exitCode;
        bool dialogSeen = false;
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (!exitCode && GetTickCount64() < deadline) {
            dialogSeen = dialogSeen || process.waitForWindow(L"MyDialogClass", 0) != nullptr;
            exitCode = process.wait(20);
        }
        EXPECT_EQ(exitCode, 0u);
        EXPECT_FALSE(dialogSeen);
    }
    LauncherProcess process(media, {{}, kNoRuntime, temp.path()});
    const auto selection = process.waitForMessageBox();
    ASSERT_TRUE(selection);
    EXPECT_NE(GetDlgItem(selection->window, 1005), nullptr) << base::wideToUtf8(selection->text);
    wchar_t owner[64] = {};
    GetClassNameW(GetWindow(selection->window, GW_OWNER), owner, 64);
    EXPECT_STREQ(owner, L"MyDialogClass");
    pressButton(selection->window, IDCANCEL);
    EXPECT_EQ(process.wait(), 1u);
}

// A Java side that shows no window and never takes the run over (its mark stays 1) is given
// up on after 2400 rounds of the watcher, about four minutes, unless config id 159 says to wait
// on. The stand-in cuts the watcher's rounds short and shows its window after 2500 of them.
TEST(WorkFlow, TheWatcherGivesUpOnASilentJavaSideUnlessConfiguredToWait) {
    TempFolder folder;
    const std::wstring record = folder.file(L"record.txt");
    for (const bool wait : {false, true}) {
        SCOPED_TRACE(wait ? "config id 159" : "default");
        TempFolder temp;
        auto description =
            installer(record, "slept:2500 -Dstandin.scenario=window:1000");
        description.config[159] = wait ? "1" : "0";
        const std::wstring media = buildMedia(folder, description);
        LauncherProcess process(media, {{}, {{L"LUMBRA_LOG", L"yes"}, {L"STANDIN_HURRY", L"1"}}, temp.path()});
        if (!wait) {
            const auto box = process.waitForMessageBox(90000);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text.rfind(L"The installer did not start in time.", 0), 0u) << base::wideToUtf8(box->text);
            pressButton(box->window, IDOK);
            EXPECT_EQ(process.wait(), 1u);
            EXPECT_TRUE(logHas(temp.path(), L"] timeout\r\n"));
        } else {
            EXPECT_EQ(process.wait(90000), 0u);
            EXPECT_EQ(stand_in::JvmRecord::read(record).outcome(), stand_in::JvmRecord::Line{"returned"});
            EXPECT_FALSE(logHas(temp.path(), L"] timeout\r\n"));
        }
        EXPECT_FALSE(installStartedMark(L"InstallStarted_" + std::to_wstring(process.processId())));
    }
}

TEST(WorkFlow, MsiModeReportsProgressToTheWrappersWindow) {
    TempFolder folder;
    TempFolder temp;
    auto description = installer(folder.file(L"record.txt"));
    withIncludedRuntime(description);
    const std::wstring media = buildMedia(folder, description);

    const HWND wrapper = CreateWindowExW(0, L"STATIC", L"msi wrapper", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
    const HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 20, wrapper,
                                     reinterpret_cast<HMENU>(1001), GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(bar, nullptr);
    LauncherProcess process(media, {{L"__cvn_msi", std::to_wstring(reinterpret_cast<uintptr_t>(wrapper))}, {},
                                    temp.path()});
    // The launcher sends to this thread's windows: keep them answering until it ends.
    std::optional<DWORD> exitCode;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    const auto answer = [] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    };
    while (!exitCode && GetTickCount64() < deadline) {
        answer();
        EXPECT_EQ(process.waitForWindow(L"MyDialogClass", 0), nullptr);
        exitCode = process.wait(20);
    }
    // Progress is posted without waiting for the bar: what came last may still be queued here.
    answer();
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 400);
    EXPECT_GE(SendMessageW(bar, PBM_GETPOS, 0, 0), 100);
    DestroyWindow(wrapper);
}

TEST(WorkFlow, ALanguageRestartReusesAnExtractionThatHasItsFiles) {
    TempFolder folder;
    TempFolder temp;
    TempFolder previous;
    const std::wstring record = folder.file(L"record.txt");
    const std::wstring media = buildMedia(folder, installer(record));
    writeFileBytes(previous.file(L"cvnruntime.jar"), "jar");
    writeFileBytes(previous.file(L"cvnparams.conf"), "params");

    RunOptions options{{}, {}, temp.path(), previous.path()};
    options.arguments = {L"__cvn_lang_restart"};
    ASSERT_EQ(runToEnd(media, options).exitCode, 0u);
    auto java = stand_in::JvmRecord::read(record);
    EXPECT_EQ(valueOf(java.options(), "-Dlumbra.unextractedPosition="), "-1");
    EXPECT_EQ(base::narrowToWide(valueOf(java.options(), "-Dlumbra.tempDir=")), previous.path());

    // Without "cvnparams.conf" the run extracts anew, elsewhere.
    DeleteFileW(previous.file(L"cvnparams.conf").c_str());
    ASSERT_EQ(runToEnd(media, options).exitCode, 0u);
    java = stand_in::JvmRecord::read(record);
    EXPECT_NE(valueOf(java.options(), "-Dlumbra.unextractedPosition="), "-1");
    EXPECT_NE(base::narrowToWide(valueOf(java.options(), "-Dlumbra.tempDir=")), previous.path());
}

// A run without a runtime removes only what it made in the temporary base: the extract-and-exit
// folder beside the installer and the folder of a language restart keep every file, also
// those that were there before the run.
TEST(WorkFlow, ARunWithoutRuntimeLeavesFoldersItDidNotMake) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, installer(folder.file(L"record.txt")));
    const std::wstring test = media + L".test";
    CreateDirectoryW(test.c_str(), nullptr);
    writeFileBytes(test + L"\\keep.txt", "keep");
    for (const bool runtime : {false, true}) {
        SCOPED_TRACE(runtime ? "with a runtime" : "without a runtime");
        const Finished run =
            runToEnd(media, {{L"__cvn_extract_and_exit", L"-q"}, runtime ? RunOptions{}.environment : kNoRuntime,
                             temp.path()});
        EXPECT_EQ(run.exitCode, runtime ? 0u : 83u);
        EXPECT_EQ(readFileBytes(test + L"\\keep.txt"), "keep");
        EXPECT_EQ(readFileBytes(test + L"\\cvnparams.conf"), "params");
    }

    // The plain mark of a language restart is the restarting run's: it stays.
    TempFolder previous;
    for (const wchar_t* name : {L"cvnruntime.jar", L"cvnparams.conf", L"keep.txt"})
        writeFileBytes(previous.file(name), "kept");
    const DWORD one = 1;
    RegistryValue mark(HKEY_CURRENT_USER, kMarksKey, L"InstallStarted", REG_DWORD, &one, sizeof one);
    const Finished restart =
        runToEnd(media, {{L"__cvn_lang_restart", L"-q"}, kNoRuntime, temp.path(), previous.path()});
    EXPECT_EQ(restart.exitCode, 83u);
    EXPECT_EQ(installStartedMark(), 1u);
    EXPECT_EQ(previous.names().size(), 3u);
    EXPECT_EQ(readFileBytes(previous.file(L"keep.txt")), "kept");
    std::vector<std::wstring> left = temp.names();
    std::erase_if(left, [](const std::wstring& name) { return name.rfind(L"cvn_nlog_", 0) == 0; });
    EXPECT_TRUE(left.empty()) << base::wideToUtf8(left.front());
}
