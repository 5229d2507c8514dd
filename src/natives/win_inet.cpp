// Natives of com/corvane/runtime/installer/platform/win32/wininet/WinInet: HTTP requests through
// the system's internet library. A request's state lives in a session record that Java holds by
// its address; failures are kept in the record as (location, code) for Java to read, never
// thrown. Every method given the handle 0 returns at once.
#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "natives/win_inet_session.h"
#include "services/platform.h"

namespace {

using jni::ArrayAccess;
using jni::PinnedBytes;
using jni::WideString;
using natives::WinInetSession;
using enum natives::WinInetErrorLocation;

// The code stored with a Java array that could not be had.
constexpr jint kArrayUnavailable = 6;
constexpr DWORD kSecurityFlagsOption = 31;  // INTERNET_OPTION_SECURITY_FLAGS
constexpr DWORD kRequestOptionSetToZero = 148;
constexpr DWORD kHeaderNotFound = 12150;  // ERROR_HTTP_HEADER_NOT_FOUND

struct WinInetFunctions {
    HMODULE library = nullptr;
    decltype(&InternetOpenW) internetOpen = nullptr;
    decltype(&HttpQueryInfoA) httpQueryInfo = nullptr;
    decltype(&InternetCloseHandle) internetCloseHandle = nullptr;
    decltype(&InternetReadFile) internetReadFile = nullptr;
    decltype(&InternetConnectW) internetConnect = nullptr;
    decltype(&HttpOpenRequestW) httpOpenRequest = nullptr;
    decltype(&HttpEndRequestW) httpEndRequest = nullptr;
    decltype(&InternetSetOptionW) internetSetOption = nullptr;
    decltype(&InternetWriteFile) internetWriteFile = nullptr;
    decltype(&InternetQueryOptionW) internetQueryOption = nullptr;
    decltype(&HttpSendRequestW) httpSendRequest = nullptr;
    decltype(&InternetErrorDlg) internetErrorDlg = nullptr;
    bool complete = false;
};

template <class Function>
void lookUp(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Resolved once for the process; the library stays loaded.
const WinInetFunctions& winInet() {
    static const WinInetFunctions functions = [] {
        WinInetFunctions found;
        found.library = services::loadSystemLibrary(L"wininet.dll");
        if (!found.library) return found;
        lookUp(found.library, "InternetOpenW", found.internetOpen);
        lookUp(found.library, "HttpQueryInfoA", found.httpQueryInfo);
        lookUp(found.library, "InternetCloseHandle", found.internetCloseHandle);
        lookUp(found.library, "InternetReadFile", found.internetReadFile);
        lookUp(found.library, "InternetConnectW", found.internetConnect);
        lookUp(found.library, "HttpOpenRequestW", found.httpOpenRequest);
        lookUp(found.library, "HttpEndRequestW", found.httpEndRequest);
        lookUp(found.library, "InternetSetOptionW", found.internetSetOption);
        lookUp(found.library, "InternetWriteFile", found.internetWriteFile);
        lookUp(found.library, "InternetQueryOptionW", found.internetQueryOption);
        lookUp(found.library, "HttpSendRequestW", found.httpSendRequest);
        lookUp(found.library, "InternetErrorDlg", found.internetErrorDlg);
        found.complete = found.internetOpen && found.httpQueryInfo && found.internetCloseHandle &&
                         found.internetReadFile && found.internetConnect && found.httpOpenRequest &&
                         found.httpEndRequest && found.internetSetOption && found.internetWriteFile &&
                         found.internetQueryOption && found.httpSendRequest && found.internetErrorDlg;
        return found;
    }();
    return functions;
}

WinInetSession* sessionOf(jlong handle) { return static_cast<WinInetSession*>(jni::fromJavaHandle(handle)); }

// A session can reach the library only when all of it was found; a session made without it
// has its failure stored from the start (connect0).
bool libraryReady() { return winInet().complete; }

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_init0(JNIEnv*,
                                                                                                            jclass) {
    const WinInetFunctions& functions = winInet();
    if (!functions.library) {
        services::writeStandardOutput("Could not load wininet.dll\n");
        return JNI_FALSE;
    }
    if (!functions.complete) {
        services::writeStandardOutput("Could not load wininet.dll functions\n");
        return JNI_FALSE;
    }
    return JNI_TRUE;
}

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_getErrorMessage0(
    JNIEnv* env, jclass, jint number) {
    constexpr DWORD kCapacity = 1024;
    wchar_t text[kCapacity] = {};
    const DWORD message = static_cast<DWORD>(number);
    const DWORD fromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(fromSystem, nullptr, message, 1033, text, kCapacity, nullptr);
    if (length == 0) length = FormatMessageW(fromSystem, nullptr, message, 1024, text, kCapacity, nullptr);
    const HMODULE library = winInet().library;
    const DWORD fromLibrary = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (length == 0 && library) length = FormatMessageW(fromLibrary, library, message, 1033, text, kCapacity, nullptr);
    if (length == 0 && library) length = FormatMessageW(fromLibrary, library, message, 1024, text, kCapacity, nullptr);
    return jni::newJavaString(env, std::wstring_view(text, std::min(length, kCapacity)));
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_getErrorCode0(
    JNIEnv*, jclass, jlong handle) {
    const WinInetSession* session = sessionOf(handle);
    return session ? session->errorCode : 0;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_getErrorLocation0(
    JNIEnv*, jclass, jlong handle) {
    const WinInetSession* session = sessionOf(handle);
    return session ? session->errorLocation : kNoError;
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_clearError0(
    JNIEnv*, jclass, jlong handle) {
    if (WinInetSession* session = sessionOf(handle)) session->fail(kNoError, 0);
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_destroy0(
    JNIEnv*, jclass, jlong handle) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return;
    if (libraryReady()) {
        for (HINTERNET opened : {session->request, session->connection, session->internet})
            if (opened) winInet().internetCloseHandle(opened);
    }
    delete session;
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_connect0(
    JNIEnv* env, jclass, jstring agent, jint accessType, jstring proxy, jstring proxyBypass, jint openFlags,
    jstring server, jint port, jint connectFlags) {
    const WideString agentText(env, agent), proxyText(env, proxy), bypassText(env, proxyBypass),
        serverText(env, server);
    if (agentText.failed() || proxyText.failed() || bypassText.failed() || serverText.failed()) return 0;
    WinInetSession* session = new (std::nothrow) WinInetSession;
    if (!session) return 0;
    if (!libraryReady()) {
        session->fail(kOpeningSession, ERROR_PROC_NOT_FOUND);
        return jni::toJavaHandle(session);
    }
    const WinInetFunctions& functions = winInet();
    session->internet = functions.internetOpen(agentText.get(), static_cast<DWORD>(accessType), proxyText.get(),
                                               bypassText.get(), static_cast<DWORD>(openFlags));
    if (!session->internet) {
        session->failWithLastError(kOpeningSession);
        return jni::toJavaHandle(session);
    }
    session->connection =
        functions.internetConnect(session->internet, serverText.get(), static_cast<INTERNET_PORT>(port), nullptr,
                                  nullptr, INTERNET_SERVICE_HTTP, static_cast<DWORD>(connectFlags), 0);
    if (!session->connection) session->failWithLastError(kConnecting);
    return jni::toJavaHandle(session);
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_openRequest0(
    JNIEnv* env, jclass, jlong handle, jstring verb, jstring objectPath, jint requestFlags, jint securityFlags) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return;
    const WideString verbText(env, verb), objectText(env, objectPath);
    if (verbText.failed() || objectText.failed()) return;
    if (!libraryReady()) {
        session->fail(kOpeningRequest, ERROR_PROC_NOT_FOUND);
        return;
    }
    const WinInetFunctions& functions = winInet();
    // A second request on the same session replaces the first, whose handle would be lost.
    if (session->request) functions.internetCloseHandle(std::exchange(session->request, nullptr));
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    session->request = functions.httpOpenRequest(session->connection, verbText.get(), objectText.get(), nullptr,
                                                 nullptr, acceptTypes, static_cast<DWORD>(requestFlags), 0);
    if (!session->request) {
        session->failWithLastError(kOpeningRequest);
    } else if (securityFlags != 0) {
        DWORD flags = 0;
        DWORD size = sizeof flags;
        if (functions.internetQueryOption(session->request, kSecurityFlagsOption, &flags, &size)) {
            flags |= static_cast<DWORD>(securityFlags);
            functions.internetSetOption(session->request, kSecurityFlagsOption, &flags, sizeof flags);
        }
    }
    if (!session->hasError()) {
        DWORD zero = 0;
        functions.internetSetOption(session->request, kRequestOptionSetToZero, &zero, sizeof zero);
        SetLastError(0);
    }
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_sendRequest0(
    JNIEnv* env, jclass, jlong handle, jstring headers, jbyteArray body) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return 0;
    const WideString headerText(env, headers);
    if (headerText.failed()) return 0;
    PinnedBytes bodyBytes(env, body, ArrayAccess::ReadOnly);
    if (bodyBytes.failed()) session->fail(kAccessingBody, kArrayUnavailable);
    if (session->hasError()) return 0;
    if (!libraryReady()) {
        session->fail(kSending, ERROR_PROC_NOT_FOUND);
        return 0;
    }
    const WinInetFunctions& functions = winInet();
    const DWORD headerLength = headerText.isNull() ? 0 : static_cast<DWORD>(-1);
    void* bodyData = bodyBytes.size() > 0 ? bodyBytes.data() : nullptr;
    if (!functions.httpSendRequest(session->request, headerText.get(), headerLength, bodyData,
                                   static_cast<DWORD>(bodyBytes.size()))) {
        session->failWithLastError(kSending);
        return 0;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!functions.httpQueryInfo(session->request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                                 nullptr))
        status = 0;
    return static_cast<jint>(status);
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_read0(
    JNIEnv* env, jclass, jlong handle, jbyteArray array, jint offset, jint length) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return -1;
    // The bytes go to array[offset, offset + length): a range outside the array is refused
    // before anything is read, rather than losing the bytes or raising an exception in Java.
    const jsize arrayLength = array ? env->GetArrayLength(array) : 0;
    if (jni::exceptionPending(env) || offset < 0 || length < 0 || offset > arrayLength ||
        length > arrayLength - offset) {
        session->fail(kReading, ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!libraryReady()) {
        session->fail(kReading, ERROR_PROC_NOT_FOUND);
        return 0;
    }
    if (session->readBuffer.size() < static_cast<std::size_t>(length)) {
        try {
            session->readBuffer.resize(static_cast<std::size_t>(length));
        } catch (const std::bad_alloc&) {
            session->fail(kReading, ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }
    DWORD read = 0;
    if (!winInet().internetReadFile(session->request, session->readBuffer.data(), static_cast<DWORD>(length), &read)) {
        session->failWithLastError(kReading);
        return 0;
    }
    if (read == 0) return length > 0 ? -1 : 0;
    env->SetByteArrayRegion(array, offset, static_cast<jsize>(read),
                            reinterpret_cast<const jbyte*>(session->readBuffer.data()));
    return jni::exceptionPending(env) ? 0 : static_cast<jint>(read);
}

extern "C" JNIEXPORT jbyteArray JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_getHeaders0(
    JNIEnv* env, jclass, jlong handle) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return nullptr;
    if (!libraryReady()) {
        session->fail(kSizingHeaders, ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const WinInetFunctions& functions = winInet();
    DWORD size = 0;
    if (functions.httpQueryInfo(session->request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr)) return nullptr;
    const DWORD error = GetLastError();
    if (error == kHeaderNotFound) return nullptr;
    if (error != ERROR_INSUFFICIENT_BUFFER) {
        session->fail(kSizingHeaders, static_cast<jint>(error));
        return nullptr;
    }
    std::vector<unsigned char> headers;
    try {
        headers.resize(size);
    } catch (const std::bad_alloc&) {
        session->fail(kReadingHeaders, ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD length = size;
    if (!functions.httpQueryInfo(session->request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &length, nullptr)) {
        session->failWithLastError(kReadingHeaders);
        return nullptr;
    }
    // The array has the size the first answer gave, the text's terminating zero included: the
    // Java side reads the headers in that form.
    const jbyteArray bytes = jni::newJavaByteArray(env, std::span<const unsigned char>(headers.data(), size));
    if (!bytes) session->fail(kCreatingHeaderArray, kArrayUnavailable);
    return bytes;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_internetErrorDlg0(
    JNIEnv*, jclass, jlong handle, jint error, jint flags, jlong owner) {
    WinInetSession* session = sessionOf(handle);
    if (!session || !libraryReady()) return 0;
    HWND window = owner != 0 ? static_cast<HWND>(jni::fromJavaHandle(owner)) : GetDesktopWindow();
    return static_cast<jint>(
        winInet().internetErrorDlg(window, session->request, static_cast<DWORD>(error), static_cast<DWORD>(flags), nullptr));
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_setOption0(
    JNIEnv* env, jclass, jlong handle, jint option, jbyteArray value) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return;
    const PinnedBytes bytes(env, value, ArrayAccess::ReadOnly);
    if (bytes.failed()) {
        session->fail(kAccessingOptionValue, kArrayUnavailable);
        return;
    }
    if (!libraryReady()) {
        session->fail(kSettingOption, ERROR_PROC_NOT_FOUND);
        return;
    }
    if (!winInet().internetSetOption(session->request, static_cast<DWORD>(option), bytes.size() > 0 ? bytes.data() : nullptr,
                                     static_cast<DWORD>(bytes.size())))
        session->failWithLastError(kSettingOption);
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_setDwordOption0(
    JNIEnv*, jclass, jlong handle, jint option, jint value) {
    WinInetSession* session = sessionOf(handle);
    if (!session) return;
    if (!libraryReady()) {
        session->fail(kSettingOption, ERROR_PROC_NOT_FOUND);
        return;
    }
    DWORD number = static_cast<DWORD>(value);
    if (!winInet().internetSetOption(session->request, static_cast<DWORD>(option), &number, sizeof number))
        session->failWithLastError(kSettingOption);
}
