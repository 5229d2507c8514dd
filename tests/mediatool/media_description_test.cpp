#include "mediatool/media_writer.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using media::MediaBuildError;
using media::parseMediaDescription;

TEST(MediaDescription, ConvertsEveryPartToItsStoredForm) {
    const auto description = parseMediaDescription(R"({
        // comments are allowed
        "checksum": false,
        "defaultMessages": false,
        "config": { "101": "Caf\u00e9 \u20ac", "0107": 1, "130": -2 },
        "messages": { "20007": "Vorbereitung \u2026", "1000": "\ud83d\ude00" },
        "languages": [ { "code": "de", "messages": { "20012": "Abbrechen" } }, { "code": "pt_BR" } ],
        "files": [ { "name": "cvnruntime.jar", "source": "files/cvnruntime.jar" },
                   { "name": "user/Caf\u00e9.txt", "text": "inline" },
                   { "name": "abs.bin", "source": "/data/abs.bin" } ],
        "trailing": { "text": "tail" } })",
                                                   "/base/dir");
    EXPECT_FALSE(description.checksum);
    EXPECT_FALSE(description.defaultMessages);
    EXPECT_TRUE(description.fillFileList);
    EXPECT_EQ(description.config, (std::map<int32_t, std::string>{{101, "Caf\xE9 \x80"}, {107, "1"}, {130, "-2"}}));
    EXPECT_EQ(description.messages.at(20007), L"Vorbereitung \u2026");
    EXPECT_EQ(description.messages.at(1000), (std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}));
    ASSERT_EQ(description.languages.size(), 2u);
    EXPECT_EQ(description.languages[0].entries, (std::vector<std::pair<int32_t, std::wstring>>{{20012, L"Abbrechen"}}));
    EXPECT_EQ(description.languages[1].code, "pt_BR");
    EXPECT_TRUE(description.languages[1].entries.empty());
    ASSERT_EQ(description.files.size(), 3u);
    EXPECT_EQ(description.files[0].data.sourcePath, "/base/dir/files/cvnruntime.jar");
    EXPECT_EQ(description.files[1].name, "user\\Caf\xE9.txt");
    EXPECT_EQ(description.files[1].data.content, "inline");
#ifndef _WIN32
    EXPECT_EQ(description.files[2].data.sourcePath, "/data/abs.bin");
#endif
    EXPECT_EQ(description.trailing.content, "tail");
}

TEST(MediaDescription, Utf8CodePageKeepsTheBytesAndDefaultsApply) {
    const auto description = parseMediaDescription(
        R"({ "codePage": "utf-8", "config": { "101": "\u4e2d" }, "files": [ { "name": "\u4e2d.txt", "text": "" } ] })", "");
    EXPECT_EQ(description.config.at(101), "\xE4\xB8\xAD");
    EXPECT_EQ(description.files[0].name, "\xE4\xB8\xAD.txt");
    EXPECT_TRUE(description.checksum);
    EXPECT_TRUE(description.defaultMessages);
}

struct BadCase {
    const char* json;
    const char* expected;  // part of the error text: names the offending key or says what is wrong
};

// Each of these must fail as a whole: parse or build, no output file either way.
const BadCase kBadDescriptions[] = {
    {R"([])", "expected an object"},
    {R"({ "config": { "101": "a" }, )", "not valid JSON"},
    {R"({ "unknown": 1 })", "unknown: unknown key"},
    {R"({ "checksum": 1 })", "checksum: expected true or false"},
    {R"({ "checksum": true, "checksum": false })", "duplicate key \"checksum\" at the top level"},
    {R"({ "config": { "101": "a", "101": "b" } })", "duplicate key \"101\" in config"},
    {R"({ "languages": [ {}, { "code": "de", "code": "fr" } ] })", "duplicate key \"code\" in languages[1]"},
    {R"({ "config": { "101": "a", "0101": "b" } })", "same id as \"101\""},
    {R"({ "config": { "1a": "x" } })", "config \"1a\": not a decimal id"},
    {R"({ "config": { "-1": "x" } })", "not a decimal id"},
    {R"({ "config": { " 101": "x" } })", "not a decimal id"},
    {R"({ "config": { "": "x" } })", "not a decimal id"},
    {R"({ "config": { "2147483648": "x" } })", "out of range"},
    {R"({ "config": { "101": true } })", "config \"101\": expected a string or an integer"},
    {R"({ "config": { "101": 1.5 } })", "expected a string or an integer"},
    {R"({ "config": { "101": "\u4e2d" } })", "U+4E2D is not in Windows-1252"},
    {R"({ "config": { "101": "a\u0000b" } })", "NUL"},
    {R"({ "config": { "2002": 1 } })", "config \"2002\": is set from \"files\""},
    {R"({ "config": { "2003": "a" } })", "config \"2003\""},
    {R"({ "codePage": "utf-16" })", "codePage"},
    {R"({ "messages": { "20007": 5 } })", "messages \"20007\": expected a string"},
    {R"({ "messages": [] })", "messages: expected an object"},
    {R"({ "languages": [ { "messages": {} } ] })", "languages[0]: \"code\" is missing"},
    {R"({ "languages": [ { "code": "de-DE;" } ] })", "languages[0].code"},
    {R"({ "languages": [ { "code": "de" }, { "code": "de" } ] })", "given twice"},
    {R"({ "languages": [ { "code": "de", "text": "" } ] })", "languages[0].text: unknown key"},
    {R"({ "files": {} })", "files: expected an array"},
    {R"({ "files": [ { "name": "a.txt" } ] })", "exactly one of"},
    {R"({ "files": [ { "name": "a.txt", "text": "x", "source": "y" } ] })", "exactly one of"},
    {R"({ "files": [ { "text": "x" } ] })", "\"name\" is missing"},
    {R"({ "files": [ { "name": "a.txt", "text": "x", "mode": 1 } ] })", "files[0].mode: unknown key"},
    {R"({ "files": [ { "name": "/etc/passwd", "text": "x" } ] })", "is absolute"},
    {R"({ "files": [ { "name": "\\evil", "text": "x" } ] })", "is absolute"},
    {R"({ "files": [ { "name": "C:evil", "text": "x" } ] })", "':'"},
    {R"({ "files": [ { "name": "a.txt:stream", "text": "x" } ] })", "':'"},
    {R"({ "files": [ { "name": "../evil", "text": "x" } ] })", "\"..\""},
    {R"({ "files": [ { "name": "user/..", "text": "x" } ] })", "\"..\""},
    {R"({ "files": [ { "name": "user//a", "text": "x" } ] })", "empty component"},
    {R"({ "files": [ { "name": "user/", "text": "x" } ] })", "empty component"},
    {R"({ "files": [ { "name": "", "text": "x" } ] })", "empty"},
    {R"({ "files": [ { "name": "a/b/c.txt", "text": "x" } ] })", "more than one directory level"},
    {R"({ "files": [ { "name": "a;b.txt", "text": "x" } ] })", "';'"},
    {R"({ "files": [ { "name": "a?.txt", "text": "x" } ] })", "not allow"},
    {R"({ "files": [ { "name": "a.txt.", "text": "x" } ] })", "dot or a blank"},
    {R"({ "files": [ { "name": "user/nul.txt", "text": "x" } ] })", "device name"},
    {R"({ "files": [ { "name": "Readme.TXT", "text": "x" }, { "name": "readme.txt", "text": "y" } ] })",
     "files[1].name: \"readme.txt\" is the same file as \"Readme.TXT\""},
    {R"({ "files": [ { "name": "\u00c4.txt", "text": "x" }, { "name": "\u00e4.TXT", "text": "y" } ] })", "same file"},
    {R"({ "files": [ { "name": "user\\a.txt", "text": "x" }, { "name": "USER/A.txt", "text": "y" } ] })", "same file"},
    {R"({ "files": [ { "name": "user", "text": "x" }, { "name": "user/a.txt", "text": "y" } ] })", "directory"},
    {R"({ "files": [ { "name": "user/a.txt", "text": "x" }, { "name": "User", "text": "y" } ] })", "directory"},
    {R"({ "files": [ { "name": "\u4e2d.txt", "text": "x" } ] })", "files[0].name: character U+4E2D"},
    {R"({ "files": [ { "name": "a.txt", "source": "" } ] })", "files[0].source: is empty"},
    {R"({ "files": [ { "name": "a.txt", "text": "" }, { "name": "b.txt", "source": "missing.jar" } ] })",
     "files[1].source: no such file: "},
    {R"({ "files": [ { "name": "a.txt", "source": "." } ] })", "files[0].source: "},
    {R"({ "trailing": "text" })", "trailing: expected an object"},
    {R"({ "trailing": { "text": "a", "extra": 1 } })", "trailing.extra: unknown key"},
    {R"({ "trailing": { "source": "missing.bin" } })", "trailing.source: no such file: "},
};

TEST(MediaDescription, BadDescriptionsFailWithTheOffendingKeyAndWriteNothing) {
    media_test::ScratchFolder scratch;
    media_test::writeBytes(scratch.file("launcher.exe"), media_test::PeTemplate::bytes());
    const std::string output = scratch.file("setup.exe");
    for (const BadCase& bad : kBadDescriptions) {
        try {
            media::writeMediaFile(scratch.file("launcher.exe"), parseMediaDescription(bad.json, media_test::utf8(scratch.path())),
                                  output);
            ADD_FAILURE() << "accepted: " << bad.json;
        } catch (const MediaBuildError& error) {
            EXPECT_NE(std::string(error.what()).find(bad.expected), std::string::npos)
                << bad.json << "\n  gave: " << error.what() << "\n  expected: " << bad.expected;
        }
        EXPECT_EQ(scratch.listing(), std::vector<std::string>{"launcher.exe"}) << bad.json;
    }
}

}  // namespace
