// Installers in folders whose names the ANSI code page cannot write (Cyrillic, CJK, emoji) and
// in folders deeper than MAX_PATH, with the runtime found through JAVA_HOME there, the VM
// options file and a class path entry beside the installer, and "-temp" to such a base. ctest
// runs this program once in the C.UTF-8 locale (ANSI 1252, lossy for these names; the plain C
// locale leaves Wine no way to name such files on the host at all) and once in a
// Russian one (ANSI 1251, which writes the Cyrillic but not the rest). Every narrow path the
// Java side receives must name what it meant (a short name where needed), never a guess.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "base/text.h"
#include "harness.h"
#include "jvm_record.h"
#include "stand_in_runtimes.h"

using namespace e2e;

namespace {

// Creates every missing folder of an absolute path.
void createFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

std::string valueOf(const std::vector<std::string>& options, const std::string& prefix) {
    for (const std::string& option : options)
        if (option.rfind(prefix, 0) == 0) return option.substr(prefix.size());
    return "";
}

// A narrow path handed to the Java side names what it meant: no lost characters, and outside
// the extraction directory (which the run removes at its end) an existing file or folder.
void expectNamesSomething(const std::string& narrow, const std::string& what, const std::string& extraction = "") {
    EXPECT_FALSE(narrow.empty()) << what;
    EXPECT_EQ(narrow.find('?'), std::string::npos) << what << ": " << narrow;
    if (!extraction.empty() && narrow.rfind(extraction, 0) == 0) return;
    EXPECT_TRUE(exists(base::narrowToWide(narrow))) << what << ": " << narrow;
}

bool ansiCanWrite(const std::wstring& text) {
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, "?", &lost);
    return !lost;
}

std::wstring lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The long form of a narrow path, lower case.
std::wstring longForm(const std::string& narrow) {
    std::wstring result(32768, L'\0');
    const DWORD length = GetLongPathNameW(base::narrowToWide(narrow).c_str(), result.data(), 32768);
    result.resize(length < 32768 ? length : 0);
    return lower(result);
}

struct Place {
    const char* label;
    std::wstring relative;  // below a private temporary folder
};

std::vector<Place> places() {
    std::wstring deep;
    while (deep.size() < 280) deep += L"\\a folder with a rather long name " + std::to_wstring(deep.size());
    return {{"unicode", L"\u0444\u0430\u0439\u043b \u4e2d\u6587 \U0001F600"}, {"long", deep.substr(1)}};
}

}  // namespace

TEST(Paths, AnInstallerItsRuntimeAndItsOptionsInUnusualFolders) {
    const char* locale = std::getenv("LC_ALL");
    if (locale && std::string(locale).rfind("ru_RU", 0) == 0) {
        ASSERT_EQ(GetACP(), 1251u);
    }
    for (const Place& place : places()) {
        SCOPED_TRACE(place.label);
        TempFolder folder;
        TempFolder temp;
        const std::wstring here = folder.file(place.relative);
        createFolders(here);
        stand_in::RuntimeFolder runtimes;
        const auto runtime = stand_in::layOutRuntime(here + L"\\jre", stand_in::Shape::Bin, {}, stand_in::withJvm());
        const std::wstring base = here + L"\\base";
        CreateDirectoryW(base.c_str(), nullptr);
        writeFileBytes(here + L"\\extra.jar", "jar");

        const std::wstring record = folder.file(L"record.txt");
        media::MediaDescription description;
        description.config[107] = "1";
        description.config[122] = "com.example.Main";
        description.config[2001] = "i";
        description.config[128] = "EJAVA_HOME;";
        description.config[166] = "1";
        description.config[123] = "\"-Dstandin.record=" + base::wideToNarrow(record) + "\"";
        description.files.push_back({"cvnruntime.jar", {"", "jar"}});
        // Wine expands the name of a program to its long path in a MAX_PATH buffer, so this
        // test's own CreateProcessW cannot start an installer in the deep folder by a plain or
        // an 8.3 name: there the installer stays in a short folder and names the class path
        // entry in the long one. The runtime stays deep: its probe must start it.
        const bool startable = here.size() + 10 < MAX_PATH;
        const std::wstring installerFolder = startable ? here : folder.path();
        const std::wstring media =
            buildMedia(folder, description, (startable ? place.relative + L"\\" : L"") + L"setup.exe");
        writeFileBytes(installerFolder + L"\\setup.vmoptions",
                       "-Dfrom=file\r\n-classpath/a " +
                           (startable ? std::string("${launcher:sys.launcherDirectory}") : base::wideToNarrow(here)) +
                           "\\extra.jar\r\n");

        for (const bool manualBase : {false, true}) {
            SCOPED_TRACE(manualBase ? "-temp" : "automatic base");
            DeleteFileW(record.c_str());
            std::vector<std::wstring> arguments = {L"-q"};
            if (manualBase) arguments.insert(arguments.end(), {L"-temp", base});
            const Finished run = runToEnd(media, {arguments,
                                                  {{L"JAVA_HOME", runtime.home},
                                                   {L"LUMBRA_JAVA_HOME", std::nullopt},
                                                   {L"CORVANE_JAVA_HOME", std::nullopt}},
                                                  temp.path()});
            ASSERT_EQ(run.exitCode, 0u) << run.output << run.error;
            // The first run asked the runtime itself; later ones may take the version cache.
            if (!manualBase) {
                EXPECT_FALSE(stand_in::runLog(runtime.home).empty());
            }
            const auto java = stand_in::JvmRecord::read(record);
            const auto options = java.options();
            EXPECT_EQ(valueOf(options, "-Dfrom="), "file");
            const std::string tempDir = valueOf(options, "-Dlumbra.tempDir=");
            EXPECT_EQ(tempDir.find('?'), std::string::npos) << tempDir;
            // A base the code page cannot write is not usable (the Java side gets narrow
            // paths); the run then takes the automatic one.
            if (manualBase) {
                EXPECT_EQ(longForm(tempDir).rfind(lower(base) + L"\\", 0) == 0, ansiCanWrite(base)) << tempDir;
            }
            const std::string classPath = valueOf(options, "-Djava.class.path=");
            for (size_t start = 0; start < classPath.size();) {
                const size_t end = std::min(classPath.find(';', start), classPath.size());
                expectNamesSomething(classPath.substr(start, end - start), "class path entry", tempDir);
                start = end + 1;
            }
            EXPECT_NE(classPath.find("extra.jar"), std::string::npos) << classPath;
            for (const char* property : {"-Dlumbra.moduleName="}) {
                const std::string value = valueOf(options, property);
                if (!value.empty()) expectNamesSomething(value, property);
            }
        }
        removeTree(here);
    }
}

// A temporary folder the code page cannot name, given by its short name: the strict pass
// refuses it (its long form loses characters), and with every other candidate unusable the
// relaxed pass takes it. A run whose bundled runtime cannot be used and that finds no other
// then says what such a base suggests (message 1015) rather than asking for its log.
TEST(Paths, ATemporaryFolderOnlyTheRelaxedPassTakes) {
    TempFolder folder;
    const std::wstring temporary = folder.file(L"\u4e2d\u6587 temp");
    ASSERT_TRUE(CreateDirectoryW(temporary.c_str(), nullptr));
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(temporary.c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_TRUE(ansiCanWrite(shortForm)) << base::wideToUtf8(shortForm);
    ASSERT_FALSE(ansiCanWrite(temporary));

    media::MediaDescription description;
    description.config[107] = "1";
    description.config[2001] = "i";
    description.files.push_back({"cvnruntime.jar", {"", "jar"}});
    description.files.push_back({"jre.tar.gz", {base::wideToUtf8(standInRuntimeHome() + L"-other.tar.gz"), ""}});
    const std::wstring media = buildMedia(folder, description);
    const std::wstring nowhere = L"Z:\\no-such-folder-of-the-launcher-tests\\temp";
    ProbeBlockers blockers;
    RunOptions options{{},
                       {{L"TMP", shortForm}, {L"TEMP", shortForm}, {L"USERPROFILE", nowhere},
                        {L"HOMEDRIVE", std::nullopt}, {L"HOMEPATH", std::nullopt}, {L"LUMBRA_JAVA_HOME", std::nullopt},
                        {L"CORVANE_JAVA_HOME", std::nullopt}, {L"LUMBRA_LOG", L"yes"}}};
    options.beforeStart = [&](DWORD processId) { blockers.block(processId, sharedTemporaryCandidates()); };
    const Finished run = runToEnd(media, options);
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box);
    EXPECT_EQ(run.box->text.rfind(L"You must be at least Poweruser to run this program.", 0), 0u)
        << base::wideToUtf8(run.box->text);
    // The log went to that base, so the base was there; the message came from the runtime choice.
    const std::vector<std::wstring> logs = launcherLogs(temporary);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].find(L"] ERROR: Could not find another JRE.\r\n"), std::wstring::npos) << base::wideToUtf8(logs[0]);
}
