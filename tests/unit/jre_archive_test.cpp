// The runtime archive unpacked by the launcher's own file layer: UTF-8 names of pax headers
// created under their real names, folders without entries of their own made, and a path past
// MAX_PATH written whole.
#include <gtest/gtest.h>

#include <windows.h>
#include <zlib.h>

#include <string>

#include "base/format.h"
#include "base/text.h"
#include "files/directory_tree.h"
#include "files/executable_paths.h"
#include "files/path_text.h"
#include "jre/archive/jre_archive.h"

namespace {

std::string octal(size_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + value % 8));
        value /= 8;
    } while (value);
    return std::string(11 - digits.size(), '0') + digits;
}

std::string entry(const std::string& name, char type, const std::string& data) {
    std::string header(512, '\0');
    header.replace(0, name.size(), name);
    header.replace(124, 11, octal(data.size()));
    header[156] = type;
    header.replace(257, 8, std::string("ustar\0" "00", 8));
    std::string padded = data;
    padded.resize((data.size() + 511) / 512 * 512, '\0');
    return header + padded;
}

// A pax header naming the entry after it.
std::string paxPath(const std::string& path) {
    const std::string rest = " path=" + path + "\n";
    size_t length = rest.size() + 1;
    while (std::to_string(length).size() + rest.size() != length) ++length;
    return entry("PaxHeaders/p", 'x', std::to_string(length) + rest);
}

std::string contentOf(const std::wstring& path) {
    const HANDLE handle = CreateFileW(files::extendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content(4096, '\0');
    DWORD got = 0;
    ReadFile(handle, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(handle);
    content.resize(got);
    return content;
}

}  // namespace

TEST(JreArchive, UnicodeAndLongNamesAreCreatedUnderTheirRealNames) {
    const std::wstring scratch =
        files::systemTemporaryFolder() + base::formatWide(L"\\jre_archive_%u", GetCurrentProcessId());
    CreateDirectoryW(scratch.c_str(), nullptr);
    CreateDirectoryW((scratch + L"\\jre").c_str(), nullptr);
    const std::string unicode = "lib/donn\xc3\xa9" "es/\xe6\x97\xa5\xe6\x9c\xac \xd0\xb6.jar";
    std::string deep;
    for (int i = 0; i < 4; ++i) deep += std::string(70, static_cast<char>('a' + i)) + "/";
    deep += "long.jar";  // 292 bytes, past MAX_PATH with the folder before it
    const std::string tar = paxPath(unicode) + entry("PaxHeaders/unicode", '0', "unicode") + paxPath(deep) +
                            entry("PaxHeaders/deep", '0', "deep") + std::string(1024, '\0');
    const std::string archive = base::wideToNarrow(scratch) + "\\jre.tar.gz";
    gzFile file = gzopen(archive.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    gzwrite(file, tar.data(), static_cast<unsigned>(tar.size()));
    gzclose(file);

    EXPECT_TRUE(jre::extractJreArchive(archive, base::wideToNarrow(scratch) + "\\jre", nullptr, 10000));
    EXPECT_EQ(contentOf(scratch + L"\\jre\\lib\\donn\u00e9es\\\u65e5\u672c \u0436.jar"), "unicode");
    std::wstring deepPath = scratch + L"\\jre\\" + base::utf8ToWide(deep);
    for (wchar_t& c : deepPath)
        if (c == L'/') c = L'\\';
    EXPECT_GT(deepPath.size(), 260u);
    EXPECT_EQ(contentOf(deepPath), "deep");

    std::vector<std::wstring> files, directories;
    files::emptyDirectoryTree(scratch, files, directories, 20);
    RemoveDirectoryW(scratch.c_str());
}
