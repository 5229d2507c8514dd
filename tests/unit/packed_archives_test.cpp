// Packed jar archives expanded by the stand-in unpack200.exe, which each test copies into the
// bin folder of a runtime of its own; its "unpack200.log" there lists the command lines it got.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>

#include "base/text.h"
#include "jre/packed_archives.h"
#include "services/error_path.h"
#include "log_capture.h"
#include "services/tables.h"
#include "runtime/unpack200_stand_in.h"
#include "stand_in_runtimes.h"
#include "windows_tree.h"

namespace {

std::string narrow(const std::wstring& text) { return base::wideToNarrow(text); }

std::wstring standInUnpacker() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    std::wstring relative = UNPACK200_FROM_TESTS;
    for (wchar_t& c : relative) c = c == L'/' ? L'\\' : c;
    return path.substr(0, path.find_last_of(L'\\')) + L"\\" + relative + L"\\unpack200.exe";
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

std::string readBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A runtime home with lib and lib\ext as asked, and bin\unpack200.exe unless left out.
std::wstring layOutHome(const std::wstring& home, std::initializer_list<const wchar_t*> folders,
                        bool withUnpacker = true) {
    CreateDirectoryW(home.c_str(), nullptr);
    CreateDirectoryW((home + L"\\bin").c_str(), nullptr);
    for (const wchar_t* folder : folders) CreateDirectoryW((home + L"\\" + folder).c_str(), nullptr);
    if (withUnpacker) CopyFileW(standInUnpacker().c_str(), (home + L"\\bin\\unpack200.exe").c_str(), FALSE);
    return home;
}

// Writes home\jar.pack as the stand-in unpacker reads it.
void pack(const std::wstring& home, const std::wstring& jar, const std::string& content) {
    writeBytes(home + L"\\" + jar + L".pack", stand_in::kPackedMarker + content);
}

std::vector<std::string> unpackerRuns(const std::wstring& home) {
    std::vector<std::string> lines;
    std::ifstream file((home + L"\\bin\\unpack200.log").c_str(), std::ios::binary);
    for (std::string line; std::getline(file, line);) lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}

// A log that an error text named outlives its process; the ones naming `text` are removed.
void removeLogsMentioning(const std::wstring& directory, const std::wstring& text) {
    WIN32_FIND_DATAW found = {};
    const HANDLE find = FindFirstFileW((directory + L"cvn_nlog_*.log").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring path = directory + found.cFileName;
        if (readBytes(path).find(base::wideToUtf8(text)) != std::string::npos) DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

class PackedArchives : public ::testing::Test {
protected:
    stand_in::RuntimeFolder folder;
};

}  // namespace

TEST_F(PackedArchives, MissingFoldersAndJarsExpandedBeforeAreLeftAlone) {
    const std::wstring bare = layOutHome(folder / L"bare", {});
    const std::wstring done = layOutHome(folder / L"done", {L"lib"});
    pack(done, L"lib\\rt.jar", "new");
    writeBytes(done + L"\\lib\\rt.jar", "old");
    LogSince log;
    testing::internal::CaptureStdout();
    jre::expandPackedJars(narrow(bare));
    jre::expandPackedJars(narrow(done));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(log.hasPrefix(L"checking " + bare));
    EXPECT_TRUE(log.has(L"checking " + done + L"\\lib\\rt.jar"));
    EXPECT_EQ(readBytes(done + L"\\lib\\rt.jar"), "old");
    EXPECT_TRUE(exists(done + L"\\lib\\rt.jar.pack"));
    EXPECT_TRUE(unpackerRuns(done).empty());
}

TEST_F(PackedArchives, EveryPackedJarGetsARunOfItsOwnAndOneSetOfMessages) {
    const std::wstring home = layOutHome(folder / L"jre", {L"lib", L"lib\\ext"});
    const std::vector<std::wstring> jars = {L"lib\\a.jar", L"lib\\b.jar", L"lib\\ext\\c.jar"};
    for (const auto& jar : jars) pack(home, jar, "jar " + narrow(jar));
    LogSince log;
    testing::internal::CaptureStdout();
    jre::expandPackedJars(narrow(home));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Preparing JRE ...\n");
    EXPECT_EQ(log.count(L"Unpacking JRE"), 1u);
    EXPECT_EQ(log.count(L"Unpacking JRE done"), 1u);
    EXPECT_EQ(log.count(home + L"\\bin\\unpack200.exe"), 3u);

    const auto runs = unpackerRuns(home);
    EXPECT_EQ(runs.size(), 3u);
    for (const auto& jar : jars) {
        const std::string path = narrow(home + L"\\" + jar);
        // Options first: the program is the image name only.
        const std::string command = "-r \"" + path + ".pack\" \"" + path + "\"";
        EXPECT_NE(std::find(runs.begin(), runs.end(), command), runs.end()) << command;
        EXPECT_EQ(readBytes(home + L"\\" + jar), "jar " + narrow(jar));
        EXPECT_FALSE(exists(home + L"\\" + jar + L".pack"));
    }
    // The unpacker removed the packed files itself; that is no failure to report.
    EXPECT_FALSE(log.has(L"could not delete packed file (error 2)"));

    jre::expandPackedJars(narrow(home));
    EXPECT_EQ(unpackerRuns(home).size(), 3u);
}

TEST_F(PackedArchives, ThePackedFileGoesWhateverTheUnpackerMadeOfIt) {
    const std::wstring home = layOutHome(folder / L"jre", {L"lib"});
    writeBytes(home + L"\\lib\\bad.jar.pack", "not packed");
    LogSince log;
    jre::unpackFile(narrow(home), narrow(home + L"\\lib\\bad.jar.pack"));
    EXPECT_TRUE(log.inOrder(L"waiting for unpack200 to finish", L"unpack done"));
    EXPECT_FALSE(exists(home + L"\\lib\\bad.jar"));
    EXPECT_FALSE(exists(home + L"\\lib\\bad.jar.pack"));

    // Held open by someone else: neither the unpacker nor the launcher gets at it.
    pack(home, L"lib\\held.jar", "held");
    const HANDLE held = CreateFileW((home + L"\\lib\\held.jar.pack").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    0, nullptr);
    jre::unpackFile(narrow(home), narrow(home + L"\\lib\\held.jar.pack"));
    CloseHandle(held);
    EXPECT_TRUE(log.has(L"could not delete packed file (error 32)"));

    jre::unpackFile(narrow(home), narrow(home + L"\\lib\\gone.jar.pack"));
    EXPECT_TRUE(log.has(L"pack path doesn't exists"));
    EXPECT_EQ(unpackerRuns(home).size(), 2u);
}

TEST(PackedArchivesFatal, AnUnpackerThatCannotStartEndsTheRunWithMessage1021) {
    // The death test's child runs this body again: it finds the parent's runtime by the
    // variable, and the parent alone removes it.
    wchar_t inherited[MAX_PATH] = {};
    const bool isChild = GetEnvironmentVariableW(L"CVN_TEST_PACKED_FATAL", inherited, MAX_PATH) > 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring home =
        isChild ? inherited : std::wstring(temp) + L"packed_fatal_" + std::to_wstring(GetCurrentProcessId());
    if (!isChild) {
        layOutHome(home, {L"lib"}, false);
        pack(home, L"lib\\rt.jar", "rt");
        SetEnvironmentVariableW(L"CVN_TEST_PACKED_FATAL", home.c_str());
    }
    services::setMessageTable({{1021, L"cannot unpack with {0}"}});
    EXPECT_EXIT(
        {
            services::setGuiMode(false);
            jre::expandPackedJars(narrow(home));
        },
        testing::ExitedWithCode(1), "cannot unpack with .*unpack200\\.exe");
    SetEnvironmentVariableW(L"CVN_TEST_PACKED_FATAL", nullptr);
    EXPECT_TRUE(exists(home + L"\\lib\\rt.jar.pack"));
    test_support::removeTree(home);
    removeLogsMentioning(temp, home);
}
