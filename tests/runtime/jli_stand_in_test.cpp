// The stand-in jli.dll expands "@argfiles" the way the launcher hands them over.
#include <gtest/gtest.h>

#include <windows.h>

#include <jni.h>

#include <fstream>
#include <string>
#include <vector>

#include "stand_in_runtimes.h"

namespace {

struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};

class StandInJli : public testing::Test {
protected:
    void SetUp() override {
        library_ = LoadLibraryW((stand_in::standInBinDirectory() + L"\\jli.dll").c_str());
        ASSERT_NE(library_, nullptr);
        init_ = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(library_, "JLI_InitArgProcessing")));
        preprocess_ = reinterpret_cast<Preprocess>(reinterpret_cast<void*>(GetProcAddress(library_, "JLI_PreprocessArg")));
        free_ = reinterpret_cast<Free>(reinterpret_cast<void*>(GetProcAddress(library_, "JLI_MemFree")));
        ASSERT_TRUE(init_ && preprocess_ && free_);
        init_(JNI_TRUE, JNI_FALSE);
    }
    void TearDown() override { FreeLibrary(library_); }

    // The options that replace `argument`, freed as the launcher frees them; none for null.
    std::vector<std::string> expand(const std::string& argument, bool& replaced) {
        std::vector<std::string> options;
        JliList* list = preprocess_(argument.c_str(), JNI_TRUE);
        replaced = list != nullptr;
        if (list == nullptr) return options;
        for (size_t i = 0; i < list->size; ++i) {
            options.emplace_back(list->elements[i]);
            free_(list->elements[i]);
        }
        free_(list->elements);
        free_(list);
        return options;
    }

    using Init = void(JNICALL*)(jboolean, jboolean);
    using Preprocess = JliList*(JNICALL*)(const char*, jboolean);
    using Free = void(JNICALL*)(void*);
    HMODULE library_ = nullptr;
    Init init_ = nullptr;
    Preprocess preprocess_ = nullptr;
    Free free_ = nullptr;
};

TEST_F(StandInJli, ExpandsAnArgumentFileWithQuotesAndComments) {
    stand_in::RuntimeFolder folder;
    const std::wstring file = folder / L"opts.txt";
    std::ofstream(file.c_str(), std::ios::binary) << "# memory\r\n-Xmx512m   -Dname=\"two words\" # trailing\n"
                                                  << "'-Dpath=C:\\\\x y' --add-opens\tjava.base/java.lang=ALL-UNNAMED\n"
                                                  << "-Dtab=\"a\\tb\" @nested.txt\n";
    std::string name(file.begin(), file.end());
    bool replaced = false;
    EXPECT_EQ(expand("@" + name, replaced),
              (std::vector<std::string>{"-Xmx512m", "-Dname=two words", "-Dpath=C:\\x y", "--add-opens",
                                        "java.base/java.lang=ALL-UNNAMED", "-Dtab=a\tb", "@nested.txt"}));
    EXPECT_TRUE(replaced);

    EXPECT_EQ(expand("@@literal", replaced), std::vector<std::string>{"@literal"});
    EXPECT_TRUE(replaced);
    for (const char* kept : {"-Xmx1g", "@", "-D@x"}) {
        EXPECT_TRUE(expand(kept, replaced).empty());
        EXPECT_FALSE(replaced) << kept;
    }
    init_(JNI_TRUE, JNI_TRUE);  // argument files disabled
    expand("@" + name, replaced);
    EXPECT_FALSE(replaced);
}

}  // namespace
