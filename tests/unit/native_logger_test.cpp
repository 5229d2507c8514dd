#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "launcher/native_logger.h"
#include "log_capture.h"

namespace {

// A JNI environment with just the three functions the registration uses.
struct FakeJvm {
    static inline bool classPresent = true;
    static inline jint registerResult = 0;
    static inline int cleared = 0;
    static inline std::string registered;
    static inline void* function = nullptr;

    static jclass JNICALL findClass(JNIEnv*, const char* name) {
        return classPresent && std::strcmp(name, "com/corvane/runtime/installer/helper/NativeLogger") == 0
                   ? reinterpret_cast<jclass>(0x1234)
                   : nullptr;
    }
    static jint JNICALL registerNatives(JNIEnv*, jclass, const JNINativeMethod* methods, jint count) {
        registered = std::string(methods[0].name) + methods[0].signature + "/" + std::to_string(count);
        function = methods[0].fnPtr;
        return registerResult;
    }
    static void JNICALL exceptionClear(JNIEnv*) { ++cleared; }

    JNINativeInterface_ table{};
    JNIEnv env{};
    FakeJvm() {
        table.FindClass = findClass;
        table.RegisterNatives = registerNatives;
        table.ExceptionClear = exceptionClear;
        env.functions = &table;
        cleared = 0;
        registered.clear();
    }
};

void JNICALL cleanup(JNIEnv*, jclass) {}

bool logHas(const std::wstring& text) {
    const auto lines = capturedLogLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.find(text) != std::wstring::npos; });
}

}  // namespace

TEST(NativeLogger, RegistersCleanupAndClearsExceptionsWhateverHappens) {
    FakeJvm jvm;
    FakeJvm::classPresent = true;
    FakeJvm::registerResult = 0;
    launcher::registerNativeLogger(&jvm.env, cleanup);
    EXPECT_EQ(FakeJvm::registered, "cleanup0()V/1");
    EXPECT_EQ(FakeJvm::function, reinterpret_cast<void*>(cleanup));
    EXPECT_EQ(FakeJvm::cleared, 1);

    FakeJvm::registerResult = -1;
    launcher::registerNativeLogger(&jvm.env, cleanup);
    EXPECT_TRUE(logHas(L"could not register NativeLogger class -1"));
    EXPECT_EQ(FakeJvm::cleared, 2);

    FakeJvm::classPresent = false;
    launcher::registerNativeLogger(&jvm.env, cleanup);
    EXPECT_TRUE(logHas(L"ERROR: did not find NativeLogger class"));
    EXPECT_EQ(FakeJvm::cleared, 3);
}
