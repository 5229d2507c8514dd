// The JNI toolkit against HotSpot with -Xcheck:jni, which fails a test on any call made
// with an exception pending, more live local references than a native method may hold, or a
// bad release. Texts and arrays are made and judged by Java (jvmtest.ToolkitProbe).
#include <cstdint>
#include <string>
#include <vector>

#include "jni/jni_toolkit.h"
#include "jvm_test.h"

namespace {

using jni::ArrayAccess;
using jni::LocalRef;
using jni::WideString;
using jni::WideStringArray;

constexpr char kRecord[] = "jvmtest/ToolkitProbe$Record";
constexpr char kRecordSignature[] = "(JIZLjava/lang/String;Ljava/lang/String;)V";

// The body runs as a native method does, in a local frame of its own with room for 16
// references; -Xcheck:jni warns once a few dozen more than that are alive.
template <class Body>
void inNativeMethod(Body body) {
    jvmtest::withJvm({std::string("-Djava.class.path=") + jvmtest::kClasses}, [&](JavaVM*, JNIEnv* env) {
        ASSERT_EQ(env->PushLocalFrame(16), 0);
        body(env);
        env->PopLocalFrame(nullptr);
    });
}

// A static method of the probe taking references and ints; a Java exception fails the test.
jvalue probe(JNIEnv* env, const char* method, const char* signature, std::vector<jvalue> arguments = {}) {
    arguments.push_back({});
    jvalue result = {};
    const LocalRef type(env, env->FindClass("jvmtest/ToolkitProbe"));
    const jmethodID id = type ? env->GetStaticMethodID(type.get(), method, signature) : nullptr;
    if (id && std::string(signature).back() == 'Z')
        result.z = env->CallStaticBooleanMethodA(type.get(), id, arguments.data());
    else if (id)
        result.l = env->CallStaticObjectMethodA(type.get(), id, arguments.data());
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
        ADD_FAILURE() << method << " failed";
    }
    return result;
}

jvalue ref(jobject object) { return jvalue{.l = object}; }

std::wstring describe(JNIEnv* env, jobject object) {
    const jvalue text = probe(env, "describe", "(Ljava/lang/Object;)Ljava/lang/String;", {ref(object)});
    const LocalRef described(env, static_cast<jstring>(text.l));
    return jvmtest::javaText(env, described.get());
}

// The class name of the pending exception, which is cleared; empty when none is pending.
std::wstring takeException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return std::wstring();
    const LocalRef thrown(env, env->ExceptionOccurred());
    env->ExceptionClear();
    const std::wstring text = describe(env, thrown.get());
    return text.substr(0, text.find(L':'));
}

}  // namespace

JVM_TEST(JniToolkit, TextKeepsEveryCodeUnitAndNullApartFromEmpty) {
    inNativeMethod([](JNIEnv* env) {
        std::wstring expected;
        for (int i = 0; i < 400; ++i) expected += {L'A', L'\0', 0xE9, 0x4E2D, 0xD83D, 0xDE00, 0xDC00};
        const LocalRef sample(env, static_cast<jstring>(probe(env, "sample", "()Ljava/lang/String;").l));
        const WideString wide(env, sample.get());
        EXPECT_TRUE(wide.text() == expected) << wide.length() << " code units";
        const LocalRef back(env, jni::newJavaString(env, wide.text()));
        EXPECT_TRUE(probe(env, "isSample", "(Ljava/lang/String;)Z", {ref(back.get())}).z);

        EXPECT_EQ(WideString(env, nullptr).get(), nullptr);
        EXPECT_EQ(jni::newJavaString(env, static_cast<const wchar_t*>(nullptr)), nullptr);
        const LocalRef empty(env, jni::newJavaString(env, L""));
        ASSERT_TRUE(empty);
        const WideString emptyWide(env, empty.get());
        ASSERT_NE(emptyWide.get(), nullptr);
        EXPECT_EQ(*emptyWide.get(), L'\0');
    });
}

// Names (classes, packages, exports) cross in the machine's modified UTF-8, where U+0000 is two
// bytes, so that a name never ends early.
JVM_TEST(JniToolkit, NamesCrossInModifiedUtf8) {
    inNativeMethod([](JNIEnv* env) {
        const std::wstring name{L'A', L'\0', 0xE9, 0x4E2D};
        const LocalRef text(env, jni::newJavaString(env, name));
        const jni::UtfString utf(env, text.get());
        ASSERT_NE(utf.get(), nullptr);
        EXPECT_EQ(std::string(utf.get()), "A\xC0\x80\xC3\xA9\xE4\xB8\xAD");
        const LocalRef back(env, jni::newJavaUtfString(env, utf.get()));
        EXPECT_EQ(describe(env, back.get()), name);

        const jni::UtfString null(env, nullptr);
        EXPECT_TRUE(null.isNull() && !null.failed() && null.get() == nullptr);
        EXPECT_EQ(jni::newJavaUtfString(env, nullptr), nullptr);
    });
}

JVM_TEST(JniToolkit, StringArraysCrossWithTheirNullsHoldingOneLocalReferenceAtATime) {
    constexpr jint kCount = 3000;
    inNativeMethod([](JNIEnv* env) {
        const jvalue array = probe(env, "numbered", "(I)[Ljava/lang/String;", {{.i = kCount}});
        const LocalRef numbered(env, static_cast<jobjectArray>(array.l));
        const WideStringArray texts(env, numbered.get());
        ASSERT_EQ(texts.size(), size_t{kCount});
        int wrong = 0;
        for (jint i = 0; i < kCount; ++i) {
            const WideString& text = texts[static_cast<size_t>(i)];
            if (i % 7 == 3 ? !text.isNull() : text.text() != L"\u20ac" + std::to_wstring(i)) ++wrong;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_TRUE(WideStringArray(env, nullptr).isNull());

        std::vector<std::wstring> pairs;
        for (jint i = 0; i < kCount; ++i) pairs.push_back(std::wstring{0xD83D, 0xDE00} + std::to_wstring(i));
        const LocalRef made(env, jni::newJavaStringArray(env, pairs));
        EXPECT_TRUE(probe(env, "isNumberedPairs", "([Ljava/lang/String;I)Z", {ref(made.get()), {.i = kCount}}).z);
        // Beyond the caller's array: a failure, not an exception for Java.
        EXPECT_FALSE(jni::setJavaStringElement(env, made.get(), kCount, L"beyond"));
        EXPECT_FALSE(env->ExceptionCheck());
    });
}

JVM_TEST(JniToolkit, PinnedElementsGoBackToJavaAsTheirAccessSays) {
    inNativeMethod([](JNIEnv* env) {
        const LocalRef ints(env, env->NewIntArray(3));
        const auto javaInt = [&](jsize index) {
            jint value = 0;
            env->GetIntArrayRegion(ints.get(), index, 1, &value);
            return value;
        };
        {
            jni::PinnedInts pinned(env, ints.get(), ArrayAccess::ReadWrite);
            ASSERT_EQ(pinned.size(), 3u);
            pinned.data()[0] = 7;
            pinned.commit();
            EXPECT_EQ(javaInt(0), 7);
            pinned.data()[1] = 8;
            pinned.release();  // and the destructor must not release again
        }
        EXPECT_EQ(javaInt(1), 8);
        {
            jni::PinnedInts readOnly(env, ints.get(), ArrayAccess::ReadOnly);
            readOnly.data()[2] = 9;
            readOnly.commit();
        }
        EXPECT_EQ(javaInt(2), 0);

        const jni::PinnedBytes null(env, nullptr, ArrayAccess::ReadWrite);
        EXPECT_TRUE(null.isNull() && !null.failed() && null.size() == 0);
    });
}

// The shipped build has 32-bit pointers: a handle with the top bit set must reach Java negative.
TEST(JniToolkit, HandlesCrossAsLongsSignExtendedFromThePointerWidth) {
    EXPECT_EQ(jni::signExtended(std::uint32_t{0xFFFFFFFF}), -1);
    EXPECT_EQ(jni::signExtended(std::uint32_t{0x80000000}), -0x80000000LL);
    int object = 0;
    EXPECT_EQ(jni::fromJavaHandle(jni::toJavaHandle(&object)), &object);
    EXPECT_EQ(jni::toJavaHandle(reinterpret_cast<void*>(std::intptr_t{-1})), jni::kInvalidJavaHandle);
    EXPECT_TRUE(jni::isInvalidJavaHandle(-1));
}

JVM_TEST(JniToolkit, ObjectsAreMadeByNameOrLeaveTheMachinesExceptionPending) {
    inNativeMethod([](JNIEnv* env) {
        const LocalRef title(env, jni::newJavaString(env, L"title"));
        // More records than the frame holds references: each class reference goes at once.
        for (int i = 0; i < 100; ++i) {
            const LocalRef record(
                env, jni::newObject(env, kRecord, kRecordSignature, {-1LL, i, true, nullptr, title.get()}));
            ASSERT_TRUE(record);
        }
        // Plain int literals where the constructor takes a long and a boolean.
        const LocalRef literal(
            env, jni::newObject(env, kRecord, kRecordSignature, {0, 5, 1, title.get(), nullptr}));
        EXPECT_EQ(describe(env, literal.get()), L"0|5|true|title|null");
        // Arguments that do not fit the signature: nothing is made, nothing is thrown.
        EXPECT_EQ(jni::newObject(env, kRecord, kRecordSignature, {nullptr, 5, true, nullptr, nullptr}), nullptr);
        EXPECT_FALSE(env->ExceptionCheck());

        EXPECT_EQ(jni::newObject(env, "jvmtest/NotThere", "()V", {}), nullptr);
        EXPECT_EQ(takeException(env), L"java.lang.NoClassDefFoundError");
        EXPECT_EQ(jni::newObject(env, kRecord, "(I)V", {1}), nullptr);
        EXPECT_EQ(takeException(env), L"java.lang.NoSuchMethodError");
        EXPECT_EQ(jni::newObject(env, "java/lang/Integer", "(Ljava/lang/String;)V", {title.get()}), nullptr);
        EXPECT_EQ(takeException(env), L"java.lang.NumberFormatException");
    });
}

JVM_TEST(JniToolkit, WithAnExceptionPendingEveryHelperFailsWithoutAnotherJniCall) {
    inNativeMethod([](JNIEnv* env) {
        const LocalRef text(env, jni::newJavaString(env, L"text"));
        const std::vector<std::wstring> texts = {L"one"};
        const LocalRef array(env, jni::newJavaStringArray(env, texts));
        const LocalRef ints(env, env->NewIntArray(1));
        const LocalRef failure(env, env->FindClass("java/lang/IllegalStateException"));
        ASSERT_TRUE(text && array && ints && failure);
        env->ThrowNew(failure.get(), "pending");

        EXPECT_TRUE(WideString(env, text.get()).failed());
        EXPECT_TRUE(WideStringArray(env, array.get()).failed());
        EXPECT_TRUE(jni::UtfString(env, text.get()).failed());
        EXPECT_EQ(jni::newJavaString(env, L"x"), nullptr);
        EXPECT_EQ(jni::newJavaUtfString(env, "x"), nullptr);
        EXPECT_EQ(jni::newJavaStringArray(env, texts), nullptr);
        EXPECT_FALSE(jni::setJavaStringElement(env, array.get(), 0, L"x"));
        EXPECT_TRUE(jni::PinnedInts(env, ints.get(), ArrayAccess::ReadWrite).failed());
        EXPECT_EQ(jni::newJavaByteArray(env, {}), nullptr);
        EXPECT_EQ(jni::newObject(env, "java/lang/Object", "()V", {}), nullptr);
        // Still the machine's own exception, for the native to return with.
        EXPECT_EQ(takeException(env), L"java.lang.IllegalStateException");
    });
}
