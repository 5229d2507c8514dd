// The export definitions come from a script that reads the registration table as text; its
// names must be the ones the registration looks up.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "natives/registration_table.h"

TEST(NativesExports, TheGeneratorNamesEveryNativeAsTheTableDoes) {
    std::ifstream file(NATIVES_EXPORT_NAMES);
    ASSERT_TRUE(file) << NATIVES_EXPORT_NAMES;
    std::vector<std::string> generated;
    for (std::string line; std::getline(file, line);) generated.push_back(line);

    std::vector<std::string> expected;
    for (const auto* table : {&natives::registrationTable(), &natives::unboundExports()})
        for (const natives::NativeClass& nativeClass : *table)
            for (const natives::NativeMethod& method : nativeClass.methods)
                expected.push_back(natives::exportName(nativeClass, method));
    EXPECT_EQ(generated, expected);
    EXPECT_EQ(generated.size(), 124u);
}
