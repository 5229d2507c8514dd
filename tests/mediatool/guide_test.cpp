// The guide's checked tables name options, exit codes, variables and files as the launcher's
// code uses them; a name that left the code (or was misspelt) fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every .cpp and .h under src/, as one text.
std::string launcherSources() {
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(SOURCE_DIR "/src")) {
        const auto extension = entry.path().extension();
        if (extension == ".cpp" || extension == ".h") all += readText(entry.path()) + "\n";
    }
    return all;
}

// A name as a C string literal holds it: "name", \\name (after an escaped separator), or the
// name followed by the blank the launcher's prefix compares include.
bool inStringLiteral(const std::string& sources, const std::string& name) {
    std::string escaped;
    for (const char c : name) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    for (const std::string& before : {std::string("\""), std::string("\\\\")}) {
        for (const std::string& after : {std::string("\""), std::string(" \"")}) {
            if (sources.find(before + escaped + after) != std::string::npos) return true;
        }
    }
    return false;
}

TEST(Guide, EveryNameItListsIsTheCodes) {
    const std::string guide = readText(DOCS_DIR "/guide.md");
    const std::string sources = launcherSources();
    const std::regex table(R"(<!-- checked: ([a-z ]+) -->([\s\S]*?)<!-- end checked -->)");
    const std::regex firstCell(R"(\n\| `([^`]+)` \|)");
    int tables = 0;
    int names = 0;
    for (std::sregex_iterator t(guide.begin(), guide.end(), table), end; t != end; ++t, ++tables) {
        const std::string kind = (*t)[1];
        const std::string rows = (*t)[2];
        for (std::sregex_iterator row(rows.begin(), rows.end(), firstCell); row != end; ++row, ++names) {
            const std::string name = (*row)[1];
            if (kind == "exit codes") {
                EXPECT_NE(sources.find("Exit(" + name + ")"), std::string::npos) << "exit code " << name;
            } else {
                EXPECT_TRUE(inStringLiteral(sources, name)) << kind << ": " << name;
            }
        }
    }
    EXPECT_EQ(tables, 6);
    EXPECT_GE(names, 25);
}

}  // namespace
