#include <gtest/gtest.h>

#include <algorithm>

#include "jre/java_output.h"
#include "jre/non_working_list.h"
#include "jre/pe_machine.h"
#include "jre/version_rules.h"
#include "log_capture.h"
#include "media/byte_source.h"
#include "services/tables.h"

using jre::VersionComponents;

namespace {

VersionComponents v(std::string_view text) { return jre::splitVersion(text); }

bool logHas(const std::wstring& line) {
    const auto lines = capturedLogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string joined(const VersionComponents& components) {
    std::string text;
    for (size_t i = 0; i < components.size(); ++i) {
        if (i > 0) text += '.';
        text += std::to_string(components[i]);
    }
    return text;
}

// Every list of up to three components from {0, 1, 2}, the empty one included.
std::vector<VersionComponents> smallVersions() {
    std::vector<VersionComponents> all{{}};
    for (size_t length = 1; length <= 3; ++length) {
        const size_t before = all.size();
        for (size_t i = 0; i < before; ++i) {
            if (all[i].size() != length - 1) continue;
            for (int32_t c = 0; c <= 2; ++c) {
                VersionComponents longer = all[i];
                longer.push_back(c);
                all.push_back(longer);
            }
        }
    }
    return all;
}

}  // namespace

TEST(VersionRules, SplitCutsAtEveryDelimiterAndReadsLeadingDigits) {
    EXPECT_EQ(v("1.8.0_292"), (VersionComponents{1, 8, 0, 292}));
    EXPECT_EQ(v("17-ea"), (VersionComponents{17, 0}));
    EXPECT_EQ(v("1.8.0_292-b10"), (VersionComponents{1, 8, 0, 292, 0}));
    EXPECT_EQ(v("9+181"), (VersionComponents{9, 181}));
    EXPECT_EQ(v(""), VersionComponents{});
    EXPECT_EQ(v("._-+"), VersionComponents{});
    EXPECT_EQ(v("..1__2.."), (VersionComponents{1, 2}));
    EXPECT_EQ(v("11.0.2 2019"), (VersionComponents{11, 0, 2}));
    EXPECT_EQ(v(" 7.8x"), (VersionComponents{7, 8}));
    EXPECT_EQ(v("99999999999.1"), (VersionComponents{2147483647, 1}));
}

TEST(VersionRules, BoundsFromTheExamples) {
    const VersionComponents eight = v("1.8");
    EXPECT_TRUE(jre::isVersionAllowed("1.8.0_292", eight, eight, false));
    EXPECT_FALSE(jre::isVersionAllowed("1.7.0_80", eight, eight, false));
    EXPECT_FALSE(jre::isVersionAllowed("11.0.2", eight, eight, false));
    EXPECT_TRUE(jre::isVersionAllowed("1.4.2", {}, {}, false));

    EXPECT_TRUE(jre::isVersionInBounds(eight, v("1.8.0_401"), true, false));
    EXPECT_TRUE(jre::isVersionInBounds(eight, v("1.8"), false, false));
    EXPECT_TRUE(jre::isVersionInBounds(eight, v("17"), false, false));
    // Missing components count as 0 unless prefix mode ends the walk with acceptance.
    EXPECT_FALSE(jre::isVersionInBounds(v("1.8.0_60"), v("1.8"), false, false));
    EXPECT_TRUE(jre::isVersionInBounds(v("1.8.0_60"), v("1.8"), false, true));
    EXPECT_TRUE(jre::isVersionStringInRange("1.8", v("1.8.0_60"), v("1.8.0_100")));
    EXPECT_FALSE(jre::isVersionStringInRange("1.8.0_59", v("1.8.0_60"), {}));
    EXPECT_FALSE(jre::isVersionStringInRange("1.9", {}, v("1.8.0_100")));
}

// Without prefix mode the version, padded with zeros or cut to the bound's length, compares
// with the bound as a tuple; in prefix mode only the components both have are compared.
TEST(VersionRules, BoundsAgreeWithTupleComparisonForAllSmallVersions) {
    const auto versions = smallVersions();
    for (const auto& bound : versions) {
        for (const auto& version : versions) {
            VersionComponents padded = version;
            padded.resize(bound.size(), 0);
            const bool below = std::lexicographical_compare(padded.begin(), padded.end(), bound.begin(), bound.end());
            const bool above = std::lexicographical_compare(bound.begin(), bound.end(), padded.begin(), padded.end());
            const std::string where = joined(version) + " against " + joined(bound);
            EXPECT_EQ(jre::isVersionInBounds(bound, version, false, false), !below) << where;
            EXPECT_EQ(jre::isVersionInBounds(bound, version, true, false), !above) << where;

            const size_t common = std::min(bound.size(), version.size());
            const VersionComponents head(version.begin(), version.begin() + static_cast<long>(common));
            const VersionComponents boundHead(bound.begin(), bound.begin() + static_cast<long>(common));
            EXPECT_EQ(jre::isVersionInBounds(bound, version, false, true), head >= boundHead) << where;
            EXPECT_EQ(jre::isVersionInBounds(bound, version, true, true), head <= boundHead) << where;
        }
    }
}

TEST(VersionRules, GreaterFromTheExamples) {
    EXPECT_TRUE(jre::isVersionGreater("1.8.0", "1.8"));
    EXPECT_FALSE(jre::isVersionGreater("1.8", "1.8.0"));
    EXPECT_TRUE(jre::isVersionGreater("11", "1.8.0_401"));
    EXPECT_FALSE(jre::isVersionGreater("1.8.0_292", "1.8.0_292"));
    EXPECT_TRUE(jre::isVersionGreater("1.8.0_292", "1.8.0_60"));
    EXPECT_FALSE(jre::isVersionGreater("", ""));
    EXPECT_FALSE(jre::isVersionGreater("", "1"));
    EXPECT_TRUE(jre::isVersionGreater("1", ""));
    // Texts with the same components are equal, however written.
    EXPECT_FALSE(jre::isVersionGreater("1.8.0", "1_8-0"));
    EXPECT_FALSE(jre::isVersionGreater("1_8-0", "1.8.0"));
}

// Newer-than is the lexicographic order of component lists, a prefix being older: a strict
// total order on the lists, so ties keep the earlier candidate and no choice goes round in
// circles.
TEST(VersionRules, GreaterIsAStrictTotalOrderOnComponentLists) {
    const auto versions = smallVersions();
    for (const auto& a : versions) {
        for (const auto& b : versions) {
            const bool greater = jre::isVersionGreater(joined(a), joined(b));
            EXPECT_EQ(greater, std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end()))
                << joined(a) << " > " << joined(b);
            if (a == b) {
                EXPECT_FALSE(greater);
            } else {
                EXPECT_NE(greater, jre::isVersionGreater(joined(b), joined(a))) << joined(a) << " vs " << joined(b);
            }
            for (const auto& c : versions) {
                if (greater && jre::isVersionGreater(joined(b), joined(c))) {
                    EXPECT_TRUE(jre::isVersionGreater(joined(a), joined(c)));
                }
            }
        }
    }
}

TEST(VersionRules, BetaVersionsNeedPermission) {
    services::setConfigTable({});
    EXPECT_FALSE(jre::isVersionAllowed("1.8.0_20-ea", {}, {}, false));
    EXPECT_TRUE(logHas(L"beta vm not allowed"));
    EXPECT_FALSE(jre::isVersionAllowed("21-rc1", {}, {}, false));
    EXPECT_FALSE(jre::isVersionAllowed("1.5.0-beta2", {}, {}, false));
    EXPECT_TRUE(jre::isVersionAllowed("1.8.0_20-EA", {}, {}, false));
    EXPECT_TRUE(jre::isVersionAllowed("1.8.0_20-ea", {}, {}, true));
    // Permission lifts only the beta rule, not the bounds.
    EXPECT_FALSE(jre::isVersionAllowed("1.8.0_20-ea", v("9"), {}, true));
    // Prefix mode on key names has no beta rule.
    EXPECT_TRUE(jre::isVersionStringInRange("1.8.0_20-ea", v("1.8"), v("1.8")));

    services::setConfigTable({{130, "1"}});
    EXPECT_TRUE(jre::isVersionAllowed("1.8.0_20-ea", {}, {}, false));
    services::setConfigTable({});
}

TEST(VersionRules, ConfiguredBoundsAreCutAt1999Characters) {
    services::setConfigTable({{126, "1.8.0_60"}, {127, "1." + std::string(2100, '9')}});
    const jre::VersionBounds bounds = jre::configuredVersionBounds();
    EXPECT_EQ(bounds.minimumText, "1.8.0_60");
    EXPECT_EQ(bounds.minimum, (VersionComponents{1, 8, 0, 60}));
    EXPECT_EQ(bounds.maximumText.size(), 1999u);
    EXPECT_EQ(bounds.maximum, (VersionComponents{1, 2147483647}));
    services::setConfigTable({});
    EXPECT_TRUE(jre::configuredVersionBounds().minimum.empty());
}

TEST(JavaVersionOutput, TheLastVersionLineWins) {
    std::string version = "old";
    EXPECT_TRUE(jre::parseJavaVersionOutput("openjdk version \"17.0.2\" 2022-01-18\r\n"
                                            "OpenJDK Runtime Environment (build 17.0.2+8-86)\r\n",
                                            version));
    EXPECT_EQ(version, "17.0.2");
    EXPECT_TRUE(logHas(L"Java version2: 17.0.2"));

    EXPECT_TRUE(jre::parseJavaVersionOutput("Picked up _JAVA_OPTIONS\njava version \"1.8.0_292\"\n"
                                            "x version \"11\"",
                                            version));
    EXPECT_EQ(version, "11");
    EXPECT_TRUE(jre::parseJavaVersionOutput("java version \"\"\n", version));
    EXPECT_EQ(version, "");
}

TEST(JavaVersionOutput, LinesWithoutTheMarkerOrItsBlankDoNotCount) {
    std::string version = "kept";
    EXPECT_FALSE(jre::parseJavaVersionOutput("", version));
    EXPECT_FALSE(jre::parseJavaVersionOutput("version \"1.8\"\nError: no version\n", version));
    EXPECT_FALSE(jre::parseJavaVersionOutput("java  version 1.8\n", version));
    EXPECT_EQ(version, "kept");
}

TEST(JavaVersionOutput, AMissingClosingQuoteCutsTwoCharacters) {
    std::string version;
    EXPECT_TRUE(jre::parseJavaVersionOutput("openjdk version \"17.0.2\r\nnext line\r\n", version));
    EXPECT_EQ(version, "17.0.");
    EXPECT_TRUE(jre::parseJavaVersionOutput("openjdk version \"1", version));
    EXPECT_EQ(version, "");
    EXPECT_TRUE(jre::parseJavaVersionOutput("openjdk version \"", version));
    EXPECT_EQ(version, "");
}

namespace {

std::vector<uint8_t> peImage(uint16_t machine, uint32_t peOffset = 0x80) {
    std::vector<uint8_t> image(peOffset + 6, 0);
    image[0] = 'M';
    image[1] = 'Z';
    for (int b = 0; b < 4; ++b) image[60 + b] = static_cast<uint8_t>(peOffset >> (8 * b));
    image[peOffset] = 'P';
    image[peOffset + 1] = 'E';
    image[peOffset + 4] = static_cast<uint8_t>(machine);
    image[peOffset + 5] = static_cast<uint8_t>(machine >> 8);
    return image;
}

uint16_t machineOf(const std::vector<uint8_t>& bytes) {
    media::MemoryByteSource source(bytes);
    return jre::readPeMachine(source, "x.exe");
}

}  // namespace

TEST(PeMachine, ReadsTheFieldBehindTheSignature) {
    EXPECT_EQ(machineOf(peImage(0x14C)), 0x14C);
    EXPECT_EQ(machineOf(peImage(0x8664, 0x40)), 0x8664);
    EXPECT_EQ(machineOf(peImage(0xAA64, 0x40000)), 0xAA64);
}

TEST(PeMachine, EveryDamageGivesZeroAndItsLine) {
    EXPECT_EQ(machineOf({}), 0);
    EXPECT_TRUE(logHas(L"no PE32 file x.exe"));
    EXPECT_EQ(machineOf({'Z', 'M'}), 0);

    std::vector<uint8_t> shortHeader{'M', 'Z'};
    shortHeader.resize(62, 0);
    EXPECT_EQ(machineOf(shortHeader), 0);
    EXPECT_TRUE(logHas(L"no PE32 file 3 x.exe"));

    std::vector<uint8_t> negative = peImage(0x14C);
    negative[63] = 0x80;
    EXPECT_EQ(machineOf(negative), 0);
    EXPECT_TRUE(logHas(L"no PE32 file 4 x.exe"));

    std::vector<uint8_t> beyond = peImage(0x14C);
    beyond[61] = 0x10;  // 0x1080, past the end
    EXPECT_EQ(machineOf(beyond), 0);
    std::vector<uint8_t> wrongSignature = peImage(0x14C);
    wrongSignature[0x82] = 1;
    EXPECT_EQ(machineOf(wrongSignature), 0);
    EXPECT_TRUE(logHas(L"no PE32 file 5 x.exe"));

    std::vector<uint8_t> noMachine = peImage(0x14C);
    noMachine.resize(0x85);
    EXPECT_EQ(machineOf(noMachine), 0);
    EXPECT_TRUE(logHas(L"no PE32 file 6 x.exe"));
}

TEST(PeMachine, AFileThatCannotBeOpenedIsLogged) {
    const std::string path = testing::TempDir() + "no_such_file.exe";
    EXPECT_EQ(jre::readPeMachine(path), 0);
    const auto lines = capturedLogLines();
    const std::wstring prefix = L"could not open " + std::wstring(path.begin(), path.end()) + L" 2 ";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::wstring& line) { return line.rfind(prefix, 0) == 0; }));
}

TEST(NonWorkingList, HoldsFiftyPathsAndSaysWhenFull) {
    jre::NonWorkingJavaList list;
    for (int i = 0; i < 49; ++i) EXPECT_TRUE(list.add("c:\\jre" + std::to_string(i) + "\\bin\\java.exe"));
    EXPECT_FALSE(list.add("c:\\jre49\\bin\\java.exe"));
    EXPECT_TRUE(list.contains("c:\\jre49\\bin\\java.exe"));
    EXPECT_FALSE(list.add("c:\\jre50\\bin\\java.exe"));
    EXPECT_FALSE(list.contains("c:\\jre50\\bin\\java.exe"));
    // Paths are compared exactly as stored.
    EXPECT_TRUE(list.contains("c:\\jre0\\bin\\java.exe"));
    EXPECT_FALSE(list.contains("C:\\jre0\\bin\\java.exe"));
    EXPECT_TRUE(logHas(L"add non-working java c:\\jre50\\bin\\java.exe"));
}
