#include "launch/native_logger.h"

#include "jni/jni_toolkit.h"
#include "services/log.h"

namespace launch {

void registerNativeLogger(JNIEnv* env, CleanupNative cleanup) {
    const jni::LocalRef loggerClass(env, env->FindClass("com/corvane/runtime/installer/helper/NativeLogger"));
    if (!loggerClass) {
        services::logError(L"did not find NativeLogger class");
    } else {
        JNINativeMethod method = {const_cast<char*>("cleanup0"), const_cast<char*>("()V"),
                                  reinterpret_cast<void*>(cleanup)};
        const jint result = env->RegisterNatives(loggerClass.get(), &method, 1);
        if (result != 0) services::logMessage(L"could not register NativeLogger class %d", static_cast<int>(result));
    }
    // A failed lookup or registration leaves an exception that must not reach the main call.
    env->ExceptionClear();
}

}  // namespace launch
