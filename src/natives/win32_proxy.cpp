// Natives of com/corvane/runtime/installer/platform/win32/Win32Proxy: the proxy the system would
// use, from the user's Internet Explorer settings, the machine's WinHTTP default, or automatic
// discovery and proxy scripts for one URL. WinHTTP is loaded from the system directory on the
// first call, once per process.
#include <windows.h>

#include <winhttp.h>

#include <cstdint>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "services/platform.h"

namespace {

using jni::WideString;

constexpr jint kWinHttpUnavailable = 100000;
constexpr wchar_t kUserAgent[] = L"corvane proxy detection/1.0";

struct WinHttpFunctions {
    decltype(&WinHttpGetIEProxyConfigForCurrentUser) getIEProxyConfigForCurrentUser = nullptr;
    decltype(&WinHttpOpen) open = nullptr;
    decltype(&WinHttpCloseHandle) closeHandle = nullptr;
    decltype(&WinHttpGetProxyForUrl) getProxyForUrl = nullptr;
    decltype(&WinHttpGetDefaultProxyConfiguration) getDefaultProxyConfiguration = nullptr;
    bool available = false;
};

template <class Function>
void lookUp(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Looked up once, also when that failed.
const WinHttpFunctions& winHttp() {
    static const WinHttpFunctions functions = [] {
        WinHttpFunctions found;
        const HMODULE library = services::loadSystemLibrary(L"winhttp.dll");
        if (!library) return found;
        lookUp(library, "WinHttpGetIEProxyConfigForCurrentUser", found.getIEProxyConfigForCurrentUser);
        lookUp(library, "WinHttpOpen", found.open);
        lookUp(library, "WinHttpCloseHandle", found.closeHandle);
        lookUp(library, "WinHttpGetProxyForUrl", found.getProxyForUrl);
        lookUp(library, "WinHttpGetDefaultProxyConfiguration", found.getDefaultProxyConfiguration);
        found.available = found.getIEProxyConfigForCurrentUser && found.open && found.closeHandle &&
                          found.getProxyForUrl && found.getDefaultProxyConfiguration;
        return found;
    }();
    return functions;
}

// A string WinHTTP allocated, freed with GlobalFree when the scope ends.
class WinHttpString {
public:
    explicit WinHttpString(LPWSTR text) : text_(text) {}
    ~WinHttpString() {
        if (text_) GlobalFree(text_);
    }
    WinHttpString(const WinHttpString&) = delete;
    WinHttpString& operator=(const WinHttpString&) = delete;

    // Stored at `index` only when WinHTTP gave a non-empty text; the caller's element otherwise.
    void storeIn(JNIEnv* env, jobjectArray results, jsize index) const {
        if (text_ && *text_) jni::setJavaStringElement(env, results, index, text_);
    }

private:
    LPWSTR text_;
};

void storeFlag(JNIEnv* env, jobjectArray results, bool flag) {
    jni::setJavaStringElement(env, results, 0, flag ? L"true" : L"false");
}

jlong failure(jlong step, DWORD error) { return (step << 32) | static_cast<jlong>(error); }

// Closes a WinHTTP session handle on every path.
class Session {
public:
    explicit Session(HINTERNET handle) : handle_(handle) {}
    ~Session() {
        if (handle_) winHttp().closeHandle(handle_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    HINTERNET get() const { return handle_; }

private:
    HINTERNET handle_;
};

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Proxy_loadFunctions0(JNIEnv*,
                                                                                                                jclass) {
    return winHttp().available ? JNI_TRUE : JNI_FALSE;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Proxy_getIEConfig0(
    JNIEnv* env, jclass, jobjectArray results) {
    const WinHttpFunctions& functions = winHttp();
    if (!functions.available) return kWinHttpUnavailable;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!functions.getIEProxyConfigForCurrentUser(&config)) return static_cast<jint>(GetLastError());
    const WinHttpString autoConfigUrl(config.lpszAutoConfigUrl), proxy(config.lpszProxy),
        bypass(config.lpszProxyBypass);
    storeFlag(env, results, config.fAutoDetect != FALSE);
    autoConfigUrl.storeIn(env, results, 1);
    proxy.storeIn(env, results, 2);
    bypass.storeIn(env, results, 3);
    return 0;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Proxy_getDefaultConfig0(
    JNIEnv* env, jclass, jobjectArray results) {
    const WinHttpFunctions& functions = winHttp();
    if (!functions.available) return kWinHttpUnavailable;
    WINHTTP_PROXY_INFO info{};
    if (!functions.getDefaultProxyConfiguration(&info)) return static_cast<jint>(GetLastError());
    const WinHttpString proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
    storeFlag(env, results, info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY);
    proxy.storeIn(env, results, 1);
    bypass.storeIn(env, results, 2);
    return 0;
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Proxy_getAutoProxyConfig0(
    JNIEnv* env, jclass, jobjectArray results, jstring url, jstring scriptUrl, jint flags, jint autoDetectFlags,
    jboolean autoLogon) {
    const WinHttpFunctions& functions = winHttp();
    if (!functions.available) return kWinHttpUnavailable;
    const WideString urlText(env, url);
    const WideString scriptText(env, scriptUrl);
    if (urlText.isNull() || urlText.failed() || scriptText.failed()) return 0;

    const Session session(functions.open(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                         WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.get()) return failure(1, GetLastError());

    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = static_cast<DWORD>(flags);
    options.dwAutoDetectFlags = static_cast<DWORD>(autoDetectFlags);
    options.lpszAutoConfigUrl = scriptText.get();
    options.fAutoLogonIfChallenged = autoLogon != JNI_FALSE ? TRUE : FALSE;
    WINHTTP_PROXY_INFO info{};
    if (!functions.getProxyForUrl(session.get(), urlText.get(), &options, &info)) return failure(2, GetLastError());
    const WinHttpString proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
    storeFlag(env, results, info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY);
    proxy.storeIn(env, results, 1);
    bypass.storeIn(env, results, 2);
    return 0;
}
