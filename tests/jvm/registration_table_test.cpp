// The launcher's registration table against the installer runtime's classes as javac compiles
// them: RegisterNatives of every class with the table's names and signatures must succeed in the
// real JVM, so no hand-written signature string differs from what the Java declaration means.
#include <cstdint>
#include <string>
#include <vector>

#include "jvm_test.h"
#include "natives/registration_table.h"

namespace {

// Never called: the JVM only needs a distinct address for each method.
void unusedNative() {}

}  // namespace

JVM_TEST(RegistrationTable, EveryClassRegistersWithTheTablesSignatures) {
    jvmtest::withJvm({std::string("-Djava.class.path=") + jvmtest::kClasses}, [](JavaVM*, JNIEnv* env) {
        size_t registered = 0;
        for (const natives::NativeClass& nativeClass : natives::registrationTable()) {
            const jclass type = env->FindClass(nativeClass.className);
            if (!type) {
                env->ExceptionDescribe();
                env->ExceptionClear();
                ADD_FAILURE() << "no class " << nativeClass.className;
                continue;
            }
            std::vector<JNINativeMethod> methods;
            for (const natives::NativeMethod& method : nativeClass.methods) {
                methods.push_back({const_cast<char*>(method.name), const_cast<char*>(method.signature),
                                   reinterpret_cast<void*>(&unusedNative)});
            }
            const jint result = env->RegisterNatives(type, methods.data(), static_cast<jint>(methods.size()));
            if (result != 0) {
                env->ExceptionDescribe();
                env->ExceptionClear();
            }
            EXPECT_EQ(result, 0) << nativeClass.className;
            registered += methods.size();
            env->UnregisterNatives(type);
            env->DeleteLocalRef(type);
        }
        EXPECT_EQ(registered, 123u);
    });
}
