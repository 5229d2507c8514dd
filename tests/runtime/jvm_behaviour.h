// What happens when a method of the stand-in virtual machine runs: the modelled Java methods
// (main acting out the test's scenario, System properties, Class.forName, Throwable texts) and
// the natives bound with RegisterNatives, called through their function pointers.
#pragma once

#include <jni.h>

#include <vector>

#include "jvm_state.h"

namespace stand_in::jvm {

struct CallResult {
    jvalue value{};
    Object* object = nullptr;  // the result of a method returning a reference
};

// `arguments` holds the resolved objects of reference parameters (null for primitives).
CallResult runModelledMethod(Vm& vm, ThreadState& thread, MethodModel& method, Object* self,
                             const std::vector<Object*>& arguments, const jvalue* values);

// Calls the bound function with the thread's environment, the receiver (the class for static
// methods) and the arguments, in a local frame of its own as the virtual machine gives natives.
CallResult callBoundNative(Vm& vm, ThreadState& thread, MethodModel& method, jobject receiver, const jvalue* values);

// With the environment variable STANDIN_HURRY set, the library redirects the executable's import
// of kernel32's Sleep when it is loaded: the calls return within 1 ms and are counted (the
// scenario step "slept" waits for a count), so that the launcher's waits of minutes pass in
// seconds.
void hurryLauncher();

}  // namespace stand_in::jvm
