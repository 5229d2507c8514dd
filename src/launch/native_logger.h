// Binds the launcher log's clean-up to the Java side: NativeLogger.cleanup0() removes a
// temporary log when the Java side is done with it.
#pragma once

#include <jni.h>

namespace launch {

using CleanupNative = void(JNICALL*)(JNIEnv*, jclass);

// Registers `cleanup` as "cleanup0" "()V" of com/corvane/runtime/installer/helper/NativeLogger.
// Failures are logged; a pending exception is always cleared afterwards.
void registerNativeLogger(JNIEnv* env, CleanupNative cleanup);

}  // namespace launch
