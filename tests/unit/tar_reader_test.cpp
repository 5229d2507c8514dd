// The tar reader against archives written by GNU tar and against hand-made hostile ones.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "jre/archive/archive_files.h"
#include "jre/archive/tar_reader.h"
#include "log_capture.h"

namespace fs = std::filesystem;
using namespace jre;

namespace {

class TarReader : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tar_test_" + std::to_string(getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "source");
        fs::create_directories(root_ / "target" / "jre");
        previous_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(root_);
    }

    void write(const std::string& name, const std::string& content) {
        const fs::path path = root_ / "source" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    // Runs GNU tar in the source folder; the archive lands in the root folder.
    std::string tar(const std::string& options, const std::string& members) {
        const std::string archive = (root_ / "jre.tar.gz").string();
        const std::string command =
            "cd '" + (root_ / "source").string() + "' && tar " + options + " -czf '" + archive + "' " + members;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return archive;
    }

    bool extract(const std::string& archive, ArchiveHooks hooks = {}) {
        GzipArchiveStream stream(archive);
        EXPECT_TRUE(stream.isOpen());
        fs::current_path(root_ / "target" / "jre");
        CurrentDirectoryTarget target;
        const bool result = extractTarEntries(stream, target, hooks, 1000000);
        fs::current_path(previous_);
        return result;
    }

    std::string extracted(const std::string& name) {
        std::ifstream file(root_ / "target" / "jre" / name, std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        return content.str();
    }

    bool exists(const fs::path& relative) { return fs::exists(fs::symlink_status(root_ / relative)); }

    // A gzip file of raw bytes, for archives that tar would not write.
    std::string gzipOf(const std::string& bytes) {
        const std::string path = (root_ / "made.tar.gz").string();
        gzFile file = gzopen(path.c_str(), "wb");
        gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
        gzclose(file);
        return path;
    }

    // What unpacking `archive` gave in `folder`: relative path to content ("/" for a folder), with
    // the number of names of each file (hard links have more than one).
    struct Unpacked {
        std::map<std::string, std::string> entries;
        std::map<std::string, uintmax_t> links;
    };
    Unpacked unpacked(const fs::path& folder) {
        Unpacked result;
        for (const auto& item : fs::recursive_directory_iterator(folder)) {
            const std::string name = item.path().lexically_relative(folder).string();
            if (item.is_symlink()) {
                result.entries[name] = "symlink";
            } else if (item.is_directory()) {
                result.entries[name] = "/";
            } else if (item.is_regular_file()) {
                std::ifstream file(item.path(), std::ios::binary);
                std::stringstream content;
                content << file.rdbuf();
                result.entries[name] = content.str();
                result.links[name] = item.hard_link_count();
            } else {
                result.entries[name] = "special";
            }
        }
        return result;
    }

    fs::path root_;
    fs::path previous_;
};

// A relative path of exactly `length` bytes: folders of at most 60 bytes, then a file name of
// at most 99 bytes, split where a ustar header can hold it whenever the length allows.
std::string pathOf(size_t length) {
    const size_t fileLength = length <= 100 ? length - 5 : length == 255 ? 99 : 50;
    const size_t folderLength = length - fileLength - 1;
    std::string folder = "n" + std::to_string(length);
    while (folder.size() < folderLength) {
        const bool slash = folder.size() % 61 == 60 && folder.size() + 1 < folderLength;
        folder.push_back(slash ? '/' : 'd');
    }
    return folder + "/" + std::string(fileLength, 'f');
}

std::string octal(size_t value, size_t width) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + value % 8));
        value /= 8;
    } while (value);
    return std::string(width - 1 - digits.size(), '0') + digits;
}

// One ustar entry: header block and padded data.
std::string entry(const std::string& name, char type, const std::string& data) {
    std::string header(512, '\0');
    header.replace(0, std::min<size_t>(name.size(), 100), name.substr(0, 100));
    header.replace(124, 11, octal(data.size(), 12));
    header[156] = type;
    header.replace(257, 6, std::string("ustar\0", 6));
    std::string padded = data;
    padded.resize((data.size() + 511) / 512 * 512, '\0');
    return header + padded;
}

const std::string kEnd(1024, '\0');

// A pax record, "LENGTH key=value\n", LENGTH counting itself.
std::string record(const std::string& key, const std::string& value) {
    const size_t rest = key.size() + value.size() + 3;
    size_t length = rest + 1;
    while (std::to_string(length).size() + rest != length) ++length;
    return std::to_string(length) + " " + key + "=" + value + "\n";
}

bool logHas(const std::wstring& text) {
    const auto lines = capturedLogLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.find(text) != std::wstring::npos; });
}

}  // namespace

TEST(TarSize, OctalWithLeadingBlanksAndZeros) {
    EXPECT_EQ(parseTarSize(std::string("00000001750\0", 12)), 1000);
    EXPECT_EQ(parseTarSize(std::string("   1750 \0\0\0\0", 12)), 1000);
    EXPECT_EQ(parseTarSize(std::string("0 0 17 50", 9)), 15);  // a blank after the first digit ends it
    EXPECT_EQ(parseTarSize(std::string("\0" "777", 4)), 0);
    EXPECT_EQ(parseTarSize(std::string(12, '7')), static_cast<int32_t>(0xFFFFFFFFu));  // wraps, no overflow
    EXPECT_EQ(parseTarSize("12345678901234567"), parseTarSize("123456789012"));
}

TEST_F(TarReader, UstarArchiveWithDirectoriesAndEmptyFiles) {
    write("bin/java.exe", "MZ java");
    write("lib/rt.jar", std::string(100000, 'r'));
    write("lib/empty.txt", "");
    // Varied bytes over several of the reader's copy pieces and an odd end, then small files
    // after it, which share its buffer.
    std::string library(5 * 1024 * 1024 / 2 + 7, '\0');
    for (size_t i = 0; i < library.size(); ++i) library[i] = static_cast<char>((i * 2654435761u) >> 13);
    write("lib/server/jvm.dll", library);
    write("lib/tzmappings", "zone");
    const std::string archive = tar("--format=ustar", "bin lib");
    EXPECT_TRUE(extract(archive));
    EXPECT_EQ(extracted("bin/java.exe"), "MZ java");
    EXPECT_EQ(extracted("lib/rt.jar"), std::string(100000, 'r'));
    EXPECT_TRUE(exists("target/jre/lib/empty.txt"));
    EXPECT_TRUE(extracted("lib/server/jvm.dll") == library);
    EXPECT_EQ(extracted("lib/tzmappings"), "zone");
}

TEST_F(TarReader, AnArchiveOfTheFolderItselfHasDotPrefixes) {
    // "tar -czf jre.tar.gz ." writes "./", "./bin/", "./bin/java.exe": as good as any.
    write("bin/java.exe", "MZ java");
    EXPECT_TRUE(extract(tar("--format=gnu", ".")));
    EXPECT_EQ(extracted("bin/java.exe"), "MZ java");
}

TEST_F(TarReader, GnuLongNamesArePairedWithTheFollowingHeader) {
    const std::string longName = "lib/" + std::string(150, 'n') + ".jar";
    write(longName, "long");
    write("lib/short.jar", "short");
    EXPECT_TRUE(extract(tar("--format=gnu", "lib")));
    EXPECT_EQ(extracted(longName), "long");
    EXPECT_EQ(extracted("lib/short.jar"), "short");
}

TEST_F(TarReader, LinksAndPaxHeadersAreSkippedWithTheirData) {
    write("lib/a.jar", "a");
    fs::create_symlink("a.jar", root_ / "source" / "lib" / "link.jar");
    fs::create_hard_link(root_ / "source" / "lib" / "a.jar", root_ / "source" / "lib" / "hard.jar");
    write("lib/z.jar", "z");
    EXPECT_TRUE(extract(tar("--format=pax", "lib")));
    EXPECT_EQ(extracted("lib/a.jar"), "a");
    EXPECT_EQ(extracted("lib/z.jar"), "z");
    EXPECT_FALSE(exists("target/jre/lib/link.jar"));
}

TEST_F(TarReader, ArchivesOfGnuTarAndBsdtarUnpackAsHostTarDoes) {
    // Names around the ustar limits (100 name bytes, 155 prefix bytes), non-ASCII names, files
    // whose folders have no entries (every listed file but those of "bin"), and links, a fifo
    // and (as root) a device, which are skipped.
    std::vector<std::string> members = {"bin"};
    for (const size_t length : {99, 100, 101, 155, 156, 255, 300}) members.push_back(pathOf(length));
    members.push_back("donn\xc3\xa9" "es/na\xc3\xafve \xe6\x97\xa5\xe6\x9c\xac \xd1\x91.txt");
    std::string cyrillic;
    for (int i = 0; i < 60; ++i) cyrillic += "\xd0\xb6";
    members.push_back("\xc3\xbcn\xc3\xaf/" + cyrillic + ".jar");
    for (size_t i = 0; i < members.size(); ++i) write(i == 0 ? "bin/java" : members[i], "content " + members[i]);
    fs::create_symlink("java", root_ / "source" / "bin" / "java.symlink");
    fs::create_hard_link(root_ / "source" / "bin" / "java", root_ / "source" / "bin" / "java.hard");
    ASSERT_EQ(std::system(("mkfifo '" + (root_ / "source/bin/pipe").string() + "'").c_str()), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(mknod((root_ / "source/bin/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    std::ofstream(root_ / "members") << [&] {
        std::string list;
        for (const std::string& member : members) list += member + "\n";
        return list;
    }();
    const std::string source = (root_ / "source").string();
    const std::string list = (root_ / "members").string();
    const std::string archive = (root_ / "jre.tar.gz").string();
    const std::vector<std::pair<std::string, std::string>> writers = {
        {"gnu", "tar --format=gnu -czf '" + archive + "' -T '" + list + "'"},
        // ustar cannot hold the 300-byte name: GNU tar leaves it out, and says so.
        {"ustar", "tar --format=ustar -czf '" + archive + "' -T '" + list + "' 2>/dev/null; true"},
        {"pax", "tar --format=pax -czf '" + archive + "' -T '" + list + "'"},
        {"bsdtar", "bsdtar -czf '" + archive + "' -T '" + list + "'"},
    };
    for (const auto& [format, command] : writers) {
        SCOPED_TRACE(format);
        fs::remove_all(root_ / "target" / "jre");
        fs::remove_all(root_ / "host");
        fs::create_directories(root_ / "target" / "jre");
        fs::create_directories(root_ / "host");
        ASSERT_EQ(std::system(("cd '" + source + "' && LC_ALL=C.UTF-8 " + command).c_str()), 0);
        ASSERT_EQ(std::system(("cd '" + (root_ / "host").string() + "' && LC_ALL=C.UTF-8 tar -xf '" + archive + "'").c_str()), 0);
        ASSERT_TRUE(extract(archive));
        const Unpacked ours = unpacked(root_ / "target" / "jre");
        const Unpacked host = unpacked(root_ / "host");
        // Every file and folder host tar made, but links and special files; nothing else.
        for (const auto& [name, content] : host.entries) {
            const bool linked = content == "symlink" || content == "special" ||
                                (host.links.count(name) && host.links.at(name) > 1);
            if (linked) {
                if (ours.entries.count(name)) {
                    EXPECT_EQ(ours.entries.at(name), content) << name;
                }
                continue;
            }
            ASSERT_TRUE(ours.entries.count(name)) << name;
            EXPECT_EQ(ours.entries.at(name), content) << name;
        }
        for (const auto& [name, content] : ours.entries) {
            EXPECT_TRUE(host.entries.count(name)) << name;
            EXPECT_TRUE(content != "symlink" && content != "special") << name;
        }
        // Every name but the two ustar cannot hold (300 bytes; 124 bytes after the last "/") made it.
        const size_t expected = format == "ustar" ? members.size() - 3 : members.size() - 1;
        size_t found = 0;
        for (size_t i = 1; i < members.size(); ++i) found += ours.entries.count(members[i]);
        EXPECT_EQ(found, expected);
    }
}

TEST_F(TarReader, PaxRecordsAndNamesThatAreNotText) {
    // A pax "path" names the next entry only, also after a record longer than the reader's
    // pieces; a global header is skipped; an empty "path" takes it back.
    const std::string bytes = entry("PaxHeaders/x", 'g', record("path", "global/ignored.jar")) +
                              entry("PaxHeaders/x", 'x', record("comment", std::string(150000, 'c')) +
                                                             record("path", "lib/from pax/\xc3\xa9.jar") + record("ctime", "1.5")) +
                              entry("short.jar", '0', "pax") + entry("PaxHeaders/y", 'x', record("path", "")) +
                              entry("plain.jar", '0', "plain") + kEnd;
    ASSERT_TRUE(extract(gzipOf(bytes)));
    EXPECT_EQ(extracted("lib/from pax/\xc3\xa9.jar"), "pax");
    EXPECT_EQ(extracted("plain.jar"), "plain");
    EXPECT_FALSE(exists("target/jre/short.jar"));
    EXPECT_FALSE(exists("target/jre/global"));

    // Records that do not parse, names that are not UTF-8 text and pax names that climb out.
    const std::vector<std::string> damaged = {
        entry("p", 'x', "29 path=lib/too-short.jar\n"),
        entry("p", 'x', "99999999999999999999 path=x\n"),
        entry("p", 'x', "7 path\n"),
        entry("p", 'x', record("path", "lib/\xff\xfe.jar")),
        entry("p", 'x', record("path", "../x.jar")),
        entry("p", 'x', record("path", "lib/\xc0\xaf.jar")),  // an overlong "/"
        entry("p", 'x', record("path", std::string("a\0b.jar", 7))),
        entry("\xe9t\xe9.jar", '0', "latin-1"),
    };
    for (const std::string& header : damaged) {
        EXPECT_FALSE(extract(gzipOf(entry("ok.jar", '0', "ok") + header + entry("next.jar", '0', "x") + kEnd)))
            << header.substr(512);
        EXPECT_FALSE(exists("target/x.jar"));
    }
}

TEST_F(TarReader, DirectoriesOnlyAndTruncatedArchivesFail) {
    fs::create_directories(root_ / "source" / "lib" / "ext");
    EXPECT_FALSE(extract(tar("--format=ustar", "lib")));
    EXPECT_TRUE(logHas(L"no magic number") || logHas(L"unexpected eof"));

    const std::string bytes = entry("lib/big.jar", '0', std::string(5000, 'b'));
    EXPECT_FALSE(extract(gzipOf(bytes.substr(0, 512 + 3000))));
    EXPECT_TRUE(logHas(L"sizes don't match: 3000, 5000"));
}

TEST_F(TarReader, EntriesThatWouldLeaveTheTargetAreRefused) {
    for (const std::string name : {"../x", "..\\x", "/x", "\\x", "C:x", "a/../../x", "lib/../../x"}) {
        const std::string bytes = entry("lib/ok.jar", '0', "ok") + entry(name, '0', "evil") + kEnd;
        EXPECT_FALSE(extract(gzipOf(bytes))) << name;
        EXPECT_FALSE(exists("target/x")) << name;
        EXPECT_FALSE(exists("x")) << name;
    }
    const std::string viaLongName = entry("././@LongLink", 'L', "../x") + entry("ignored", '0', "evil") + kEnd;
    EXPECT_FALSE(extract(gzipOf(viaLongName)));
    EXPECT_FALSE(exists("target/x"));
    // A directory entry may not climb out either.
    EXPECT_FALSE(extract(gzipOf(entry("lib/a.jar", '0', "a") + entry("../outside", '5', "") + kEnd)));
    EXPECT_FALSE(exists("target/outside"));
}

TEST_F(TarReader, OverlongLongNamesFailCleanly) {
    const std::string bytes = entry("././@LongLink", 'L', std::string(6000, 'a')) + entry("x", '0', "x") + kEnd;
    EXPECT_FALSE(extract(gzipOf(bytes)));
    EXPECT_TRUE(logHas(L"long file name of 6000 bytes refused"));
    const std::string fits = entry("././@LongLink", 'L', std::string(5999, 'a')) + entry("x", '0', "x") + kEnd;
    // 5999 characters is within the limit (the file system may still refuse such a name).
    GzipArchiveStream stream(gzipOf(fits));
    fs::current_path(root_ / "target" / "jre");
    struct NullTarget : ArchiveTarget {
        void createDirectory(const std::string&) override {}
        std::unique_ptr<ArchiveFile> createFile(const std::string& name) override {
            created = name;
            struct Sink : ArchiveFile {
                bool write(const void*, unsigned) override { return true; }
                bool failed() override { return false; }
            };
            return std::make_unique<Sink>();
        }
        std::string created;
    } target;
    EXPECT_TRUE(extractTarEntries(stream, target, {}, 100));
    EXPECT_EQ(target.created.size(), 5999u);
}

TEST_F(TarReader, CancelStopsBetweenEntriesAndCountsAsSuccess) {
    const std::string bytes = entry("a.jar", '0', "a") + entry("b.jar", '0', "b") + kEnd;
    ArchiveHooks hooks;
    hooks.cancelled = [] { return true; };
    EXPECT_TRUE(extract(gzipOf(bytes), hooks));
    EXPECT_FALSE(exists("target/jre/b.jar"));
}

TEST_F(TarReader, ProgressRisesFromOneHundred) {
    write("lib/a.jar", std::string(200000, 'a'));
    write("lib/b.jar", std::string(200000, 'b'));
    std::vector<int> positions;
    ArchiveHooks hooks;
    hooks.progress = [&](int position) { positions.push_back(position); };
    uint32_t tick = 0;
    hooks.tickCount = [&] { return tick += 50; };  // four pieces per 200 ms
    ASSERT_TRUE(extract(tar("--format=ustar", "lib"), hooks));
    ASSERT_GE(positions.size(), 4u);
    EXPECT_GE(positions.front(), 100);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
}
