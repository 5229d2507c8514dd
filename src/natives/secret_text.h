// Passwords pass through the natives as wide copies of Java strings. The copy is overwritten
// before its memory goes back to the heap, so that a later dump or reuse of the heap does not
// show it; it is never written to the log or to standard output.
#pragma once

#include <windows.h>

#include "jni/jni_toolkit.h"

namespace natives {

class WipedOnExit {
public:
    explicit WipedOnExit(jni::WideString& secret) : secret_(secret) {}
    ~WipedOnExit() {
        if (wchar_t* text = secret_.data()) SecureZeroMemory(text, secret_.length() * sizeof(wchar_t));
    }
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;

private:
    jni::WideString& secret_;
};

}  // namespace natives
