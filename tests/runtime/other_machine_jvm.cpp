// jvm.dll of the stand-in runtime built for the other machine (x86 beside the x86-64 build and
// the reverse). No launcher can load it into its process; it has the entry point all the same,
// so that nothing but its machine sets it apart from a runtime the launcher would take.
extern "C" __declspec(dllexport) int __stdcall JNI_CreateJavaVM(void**, void**, void*) { return -1; }
