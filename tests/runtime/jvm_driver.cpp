// A launcher in miniature for the stand-in jvm.dll, for scenarios that end the process:
//   stand_in_jvm_driver <jvm.dll> <option>...
// creates the virtual machine with the options, calls the entry class's main with the one
// argument "driver" and destroys the machine. Exit codes: 0 after main returned, 2 when the
// library or its entry point is missing, 3 when creation fails, 4 when main threw.
#include <windows.h>

#include <jni.h>

#include <string>
#include <vector>

namespace {

std::string toAnsi(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const HMODULE library = LoadLibraryW(argv[1]);
    using Create = jint(JNICALL*)(JavaVM**, void**, void*);
    const auto create = library == nullptr ? nullptr
                                           : reinterpret_cast<Create>(reinterpret_cast<void*>(
                                                 GetProcAddress(library, "JNI_CreateJavaVM")));
    if (create == nullptr) return 2;

    std::vector<std::string> texts;
    for (int i = 2; i < argc; ++i) texts.push_back(toAnsi(argv[i]));
    std::vector<JavaVMOption> options;
    for (std::string& text : texts) options.push_back({text.data(), nullptr});
    JavaVMInitArgs args = {};
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return 3;

    const jclass entry = env->FindClass("com/corvane/runtime/launcher/WinLauncher");
    const jmethodID main = env->GetStaticMethodID(entry, "main", "([Ljava/lang/String;)V");
    const jobjectArray arguments = env->NewObjectArray(1, env->FindClass("java/lang/String"), env->NewStringUTF("driver"));
    env->CallStaticVoidMethod(entry, main, arguments);
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        return 4;
    }
    vm->DestroyJavaVM();
    return 0;
}
