// The named settings: one table behind the parser, `inspect` and the documentation.
#include "mediatool/branding.h"
#include "mediatool/config_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "mediatool/media_writer.h"

namespace {

TEST(ConfigSettings, NamesAndIdsAreUniqueAndMapBothWays) {
    std::set<std::string> names;
    std::set<int32_t> ids;
    for (const media::ConfigSetting& setting : media::configSettings()) {
        EXPECT_TRUE(names.insert(setting.name).second) << setting.name;
        EXPECT_TRUE(ids.insert(setting.id).second) << setting.id;
        EXPECT_EQ(media::configIdOfName(setting.name), setting.id);
        EXPECT_EQ(media::configNameOfId(setting.id), setting.name);
    }
    for (const int32_t id : {122, 126, 127, 128, 123, 121}) EXPECT_TRUE(ids.count(id)) << id;
    EXPECT_EQ(media::configIdOfName("versionCondition[0]"), 10201);
    EXPECT_EQ(media::configIdOfName("versionOptions[2]"), 10206);
    EXPECT_EQ(media::configNameOfId(10206), "versionOptions[2]");
    for (const char* bad : {"versionOptions[]", "versionOptions[01]", "versionOptions[-1]", "versionOptions[1000]",
                            "versionOptions", "MainClass", "mainClass "}) {
        EXPECT_FALSE(media::configIdOfName(bad)) << bad;
    }
    EXPECT_EQ(media::configNameOfId(141), "");
    EXPECT_EQ(media::closestConfigNames("mainclass")[0], "mainClass");
    EXPECT_EQ(media::closestConfigNames("minJavaVersio")[0], "minJavaVersion");
}

#ifdef DOCS_DIR
TEST(ConfigSettings, TheDocumentationShowsTheTable) {
    std::ifstream in(DOCS_DIR "/media-description.md");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\n" + media::configSettingsMarkdown() + "<!-- end of the settings table -->"), std::string::npos)
        << "docs/media-description.md differs from `mediatool settings`:\n" << media::configSettingsMarkdown();
    EXPECT_NE(text.str().find("\n" + media::brandingSettingsMarkdown() + "<!-- end of the branding table -->"), std::string::npos)
        << "docs/media-description.md differs from `mediatool settings`:\n" << media::brandingSettingsMarkdown();
}
#endif

TEST(ConfigSettings, ADescriptionTakesNamesOrIdsButNotBothForOneSetting) {
    const auto described = media::parseMediaDescription(
        R"({ "config": { "mainClass": "a.Main", "126": "11", "versionOptions[0]": "-Xmx1g", "141": 3 } })", "");
    EXPECT_EQ(described.config, (std::map<int32_t, std::string>{{122, "a.Main"}, {126, "11"}, {10202, "-Xmx1g"}, {141, "3"}}));

    const std::pair<const char*, const char*> bad[] = {
        {R"({ "config": { "mainClass": "a", "122": "b" } })", "config \"122\": same setting as \"mainClass\" (id 122)"},
        {R"({ "config": { "0122": "a", "mainClass": "b" } })", "config \"mainClass\": same setting as \"0122\""},
        {R"({ "config": { "mainclass": "a" } })", "config \"mainclass\": unknown setting; the closest names are mainClass"},
        {R"({ "config": { "includedFileNames": "a" } })", "config \"includedFileNames\": is set from \"files\""},
        {R"({ "config": { "jreUnpackedSize": 5 }, "runtime": { "source": "jre" } })",
         "config \"jreUnpackedSize\": is set from \"runtime\""},
        {R"({ "files": [ { "name": "JRE.tar.gz", "text": "" } ], "runtime": { "source": "jre" } })", "files[0].name: "},
        {R"({ "runtime": {} })", "runtime: \"source\" is missing"},
        {R"({ "runtime": { "source": "jre", "arch": "x64" } })", "runtime.arch: unknown key"},
    };
    for (const auto& [json, expected] : bad) {
        try {
            media::parseMediaDescription(json, "");
            ADD_FAILURE() << "accepted: " << json;
        } catch (const media::MediaBuildError& error) {
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
    }
}

}  // namespace
