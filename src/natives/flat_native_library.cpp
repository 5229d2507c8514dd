// Natives of com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeLibrary: the version of the
// native interface the look and feel checks before it uses any of the others.
#include "natives/jni_export.h"

namespace {

constexpr jint kApiVersion = 1001;

}  // namespace

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatNativeLibrary_getApiVersion(JNIEnv*,
                                                                                                              jclass) {
    return kApiVersion;
}
