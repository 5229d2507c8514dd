// The record behind a WinInet handle of the Java side: what one request holds from connect0 to
// destroy0, and where a stored failure happened.
#pragma once

#include <windows.h>

#include <wininet.h>

#include <jni.h>

#include <vector>

namespace natives {

enum WinInetErrorLocation : jint {
    kNoError = 0,
    kOpeningSession = 1,
    kConnecting = 2,
    kOpeningRequest = 3,
    kSending = 4,
    kReading = 5,
    kAccessingBody = 6,
    kReadingHeaders = 7,
    kCreatingHeaderArray = 8,
    kSizingHeaders = 9,
    kAccessingOptionValue = 10,
    kSettingOption = 11,
};

struct WinInetSession {
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    jint errorLocation = kNoError;
    jint errorCode = 0;
    // Grown to the largest read asked for, never shrunk: reads of one size reuse it.
    std::vector<unsigned char> readBuffer;

    bool hasError() const { return errorLocation != kNoError; }
    void fail(jint location, jint code) {
        errorLocation = location;
        errorCode = code;
    }
    void failWithLastError(jint location) { fail(location, static_cast<jint>(GetLastError())); }
};

}  // namespace natives
