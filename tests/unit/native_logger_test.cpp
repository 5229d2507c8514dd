#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "launch/native_logger.h"
#include "log_capture.h"

namespace {

// A JNI environment with just the functions the registration uses.
struct FakeJvm {
    static inline bool classPresent = true;
    static inline jint registerResult = 0;
    static inline int cleared = 0;
    static inline std::string registered;
    static inline void* function = nullptr;
    static inline int released = 0;

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
    static void JNICALL deleteLocalRef(JNIEnv*, jobject object) {
        if (object == reinterpret_cast<jobject>(0x1234)) ++released;
    }

    JNINativeInterface_ table{};
    JNIEnv env{};
    FakeJvm() {
        table.FindClass = findClass;
        table.RegisterNatives = registerNatives;
        table.ExceptionClear = exceptionClear;
        table.DeleteLocalRef = deleteLocalRef;
        env.functions = &table;
        cleared = 0;
        released = 0;
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
    launch::registerNativeLogger(&jvm.env, cleanup);
    EXPECT_EQ(FakeJvm::registered, "cleanup0()V/1");
    EXPECT_EQ(FakeJvm::function, reinterpret_cast<void*>(cleanup));
    EXPECT_EQ(FakeJvm::cleared, 1);
    EXPECT_EQ(FakeJvm::released, 1);  // the class's local reference

    FakeJvm::registerResult = -1;
    launch::registerNativeLogger(&jvm.env, cleanup);
    EXPECT_TRUE(logHas(L"could not register NativeLogger class -1"));
    EXPECT_EQ(FakeJvm::cleared, 2);

    FakeJvm::classPresent = false;
    launch::registerNativeLogger(&jvm.env, cleanup);
    EXPECT_TRUE(logHas(L"ERROR: did not find NativeLogger class"));
    EXPECT_EQ(FakeJvm::cleared, 3);
    EXPECT_EQ(FakeJvm::released, 2);
}
