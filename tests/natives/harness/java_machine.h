// The one virtual machine of a natives test program: the stand-in jvm.dll of the build, loaded
// into this process and created on first use, with every native of this program bound to the
// installer runtime's classes by registerNativesEx, as the launcher binds its own after
// creating the machine. natives_tests.exe exports the natives the way launcher.exe does (those
// without a body as generated stand-ins), so the registration, the export names and the calls
// are the launcher's own.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

namespace natives_test {

// The environment of the calling thread: the test's main thread, or a thread attached with
// AttachedThread. The machine is created and the natives bound on the first call; a failure
// there ends the program with its reason.
JNIEnv* env();

// Attaches the calling thread to the machine while it lives, as a Java thread is: the natives
// the thread then calls get an environment of its own. Made on the thread itself.
class AttachedThread {
public:
    AttachedThread();
    ~AttachedThread();
    AttachedThread(const AttachedThread&) = delete;
    AttachedThread& operator=(const AttachedThread&) = delete;
};

// The JNI misuse the stand-in saw so far (its record's "violation" lines), in order.
std::vector<std::string> violations();

// Hides a class of the runtime ("com/corvane/api/windows/WinRegistry$ExpandString") or one
// member ("<class>.<member>") while it lives, as a runtime without it would: FindClass and the
// lookups fail with the virtual machine's own errors.
class HiddenClass {
public:
    explicit HiddenClass(std::string target);
    ~HiddenClass();
    HiddenClass(const HiddenClass&) = delete;
    HiddenClass& operator=(const HiddenClass&) = delete;

private:
    std::string target_;
};

}  // namespace natives_test
