// A library in the place of a runtime's jvm.dll: with TEST_JVM_ENTRY it exports the entry
// point the launcher looks up, without it only something else.
#include <windows.h>

extern "C" {
#ifdef TEST_JVM_ENTRY
__declspec(dllexport) int JNI_CreateJavaVM(void**, void**, void*) { return -1; }
#else
__declspec(dllexport) int JNI_GetDefaultJavaVMInitArgs(void*) { return -1; }
#endif
}
