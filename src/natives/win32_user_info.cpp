// Natives of com/corvane/runtime/installer/platform/win32/Win32UserInfo: the process's token
// and user, account names and profiles, local users and groups, account rights, and starting
// a program elevated. String results carry their failures inside the text (a leading blank
// and a number, or step numbers); nothing throws.
#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>

#include "base/format.h"
#include "base/win/handles.h"
#include "jni/jni_toolkit.h"
#include "natives/account_functions.h"
#include "natives/jni_export.h"
#include "natives/secret_text.h"
#include "natives/shell_functions.h"
#include "services/platform.h"

using jni::WideString;
using natives::accountFunctions;
using natives::AccountFunctions;

namespace {

constexpr DWORD kNameCharacters = 8192;
constexpr DWORD kSidBytes = 8192;

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalSid = std::unique_ptr<void, LocalFreeDeleter>;
using LocalText = std::unique_ptr<wchar_t, LocalFreeDeleter>;

// A buffer the network functions allocated, freed with their own free function.
class NetBuffer {
public:
    explicit NetBuffer(const AccountFunctions& functions) : functions_(functions) {}
    ~NetBuffer() {
        if (buffer_) functions_.netApiBufferFree(buffer_);
    }
    NetBuffer(const NetBuffer&) = delete;
    NetBuffer& operator=(const NetBuffer&) = delete;
    LPBYTE* out() { return &buffer_; }
    LPBYTE get() const { return buffer_; }

private:
    const AccountFunctions& functions_;
    LPBYTE buffer_ = nullptr;
};

bool isServiceAccount(std::wstring_view sid) { return sid == L"S-1-5-18" || sid == L"S-1-5-19" || sid == L"S-1-5-20"; }
bool isBuiltinGroup(std::wstring_view sid) { return sid.starts_with(L"S-1-5-32-"); }

LocalSid sidOfText(const wchar_t* text) {
    PSID sid = nullptr;
    if (!text) {
        // A null Java string: the error text must not carry some earlier call's error.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!ConvertStringSidToSidW(text, &sid)) return nullptr;
    return LocalSid(sid);
}

std::wstring textOfSid(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return {};
    const LocalText owned(text);
    return owned.get();
}

// The calling thread's token when it impersonates, else the process's.
base::win::KernelHandle currentToken() {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return base::win::KernelHandle(token);
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return base::win::KernelHandle(token);
    return {};
}

// The token information of one class, sized by a first query; empty when it cannot be read.
// `sizeQueryFailed` tells the first query's failure from the second read's.
std::unique_ptr<unsigned char[]> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, bool& sizeQueryFailed) {
    DWORD size = 0;
    sizeQueryFailed = false;
    if (!GetTokenInformation(token, kind, nullptr, 0, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        sizeQueryFailed = true;
        return nullptr;
    }
    if (size == 0) {
        sizeQueryFailed = true;
        return nullptr;
    }
    auto buffer = std::make_unique<unsigned char[]>(size);
    if (!GetTokenInformation(token, kind, buffer.get(), size, &size)) return nullptr;
    return buffer;
}

struct AccountName {
    std::wstring name;
    std::wstring domain;
};

// LookupAccountSidW into buffers of kNameCharacters; the error when it fails.
DWORD lookUpAccount(PSID sid, AccountName& account) {
    std::wstring name(kNameCharacters, L'\0');
    std::wstring domain(kNameCharacters, L'\0');
    DWORD nameLength = kNameCharacters;
    DWORD domainLength = kNameCharacters;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength, &use))
        return GetLastError();
    account.name.assign(name.c_str());
    account.domain.assign(domain.c_str());
    return 0;
}

jstring result(JNIEnv* env, const std::wstring& text) { return jni::newJavaString(env, text); }

}  // namespace

// ---- The running process --------------------------------------------------------------------

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_isMemberOfGroup0(
    JNIEnv*, jclass, jint rid) {
    // Where the question cannot be asked the answer is yes: the Java side then goes on as an
    // administrator would and lets the system refuse what is not allowed.
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID group = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, static_cast<DWORD>(rid), 0, 0, 0, 0,
                                  0, 0, &group)) {
        return JNI_TRUE;
    }
    const std::unique_ptr<void, decltype(&FreeSid)> owned(group, &FreeSid);
    const base::win::KernelHandle token = currentToken();
    if (!token) return JNI_TRUE;
    bool sizeQueryFailed = false;
    const auto buffer = tokenInformation(token.get(), TokenGroups, sizeQueryFailed);
    if (!buffer) return sizeQueryFailed ? JNI_TRUE : JNI_FALSE;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& entry = groups->Groups[i];
        if (EqualSid(entry.Sid, group) && (entry.Attributes & SE_GROUP_ENABLED) &&
            !(entry.Attributes & SE_GROUP_USE_FOR_DENY_ONLY)) {
            return JNI_TRUE;
        }
    }
    return JNI_FALSE;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_getElevationType0(
    JNIEnv*, jclass) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
    const base::win::KernelHandle owned(token);
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = sizeof type;
    if (!GetTokenInformation(token, TokenElevationType, &type, size, &size)) return 0;
    return static_cast<jint>(type);
}

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_getUserSid0(
    JNIEnv* env, jclass) {
    const base::win::KernelHandle token = currentToken();
    if (!token) return nullptr;
    bool sizeQueryFailed = false;
    const auto buffer = tokenInformation(token.get(), TokenUser, sizeQueryFailed);
    if (!buffer) return nullptr;
    const std::wstring text = textOfSid(reinterpret_cast<const TOKEN_USER*>(buffer.get())->User.Sid);
    return text.empty() ? nullptr : result(env, text);
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_executeElevated0(
    JNIEnv* env, jclass, jstring file, jstring parameters, jstring directory, jint show) {
    // The shell's elevation prompt needs the security support provider; loaded from the system
    // directory before the shell would look for it elsewhere.
    static const HMODULE sspicli = services::loadSystemLibrary(L"sspicli.dll");
    (void)sspicli;
    // The shell is loaded when first needed, as the launcher's other shell calls are: most runs
    // never start anything elevated.
    const natives::ShellExecuteFunction shellExecute = natives::shellFunctions().shellExecute;
    if (!shellExecute) return JNI_FALSE;
    const WideString fileText(env, file);
    const WideString parameterText(env, parameters);
    const WideString directoryText(env, directory);
    if (fileText.failed() || parameterText.failed() || directoryText.failed()) return JNI_FALSE;
    const HINSTANCE started =
        shellExecute(nullptr, L"runas", fileText.get(), parameterText.get(), directoryText.get(), show);
    return reinterpret_cast<INT_PTR>(started) > 32 ? JNI_TRUE : JNI_FALSE;
}

// ---- Accounts ---------------------------------------------------------------------------------

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_getAccountName0(
    JNIEnv* env, jclass, jstring sid, jboolean nameOnly) {
    const WideString sidText(env, sid);
    if (sidText.failed()) return nullptr;
    std::wstring text;
    if (GetModuleHandleW(L"advapi32.dll")) {
        const std::wstring_view value = sidText.text();
        if (value == L"S-1-5-18") {
            text = L"NT AUTHORITY\\System";
        } else if (value == L"S-1-5-19") {
            text = L"NT AUTHORITY\\LocalService";
        } else if (value == L"S-1-5-20") {
            text = L"NT AUTHORITY\\NetworkService";
        } else if (const LocalSid converted = sidOfText(sidText.get()); !converted) {
            text = base::formatWide(L" %d", GetLastError());
        } else if (AccountName account; const DWORD error = lookUpAccount(converted.get(), account)) {
            text = base::formatWide(L" %d", error);
        } else if (nameOnly) {
            text = account.name;
        } else if (isBuiltinGroup(value) || account.domain.empty()) {
            text = L".\\" + account.name;
        } else {
            text = account.domain + L"\\" + account.name;
        }
    }
    return result(env, text);
}

extern "C" JNIEXPORT jstring JNICALL
Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_getUserProfileDirectory0(JNIEnv* env, jclass,
                                                                                         jstring sid, jstring password) {
    WideString sidText(env, sid);
    WideString passwordText(env, password);
    const natives::WipedOnExit wiped(passwordText);
    if (sidText.failed() || passwordText.failed()) return nullptr;

    const HMODULE userenv = GetModuleHandleW(L"advapi32.dll") ? services::loadSystemLibrary(L"Userenv.dll") : nullptr;
    if (!userenv) return result(env, base::formatWide(L" could not load library %d", GetLastError()));
    const std::unique_ptr<HINSTANCE__, decltype(&FreeLibrary)> loaded(userenv, &FreeLibrary);
    if (isServiceAccount(sidText.text())) return result(env, L" no user account");

    using ProfileDirectory = BOOL(WINAPI*)(HANDLE, LPWSTR, LPDWORD);
    const auto profileDirectory = reinterpret_cast<ProfileDirectory>(
        reinterpret_cast<void*>(GetProcAddress(userenv, "GetUserProfileDirectoryW")));
    const auto logonUser = accountFunctions().logonUser;
    if (!profileDirectory || !logonUser)
        return result(env, base::formatWide(L" could not get functions %d", GetLastError()));

    const LocalSid converted = sidOfText(sidText.get());
    if (!converted) return result(env, base::formatWide(L" could not convert sid %d", GetLastError()));
    AccountName account;
    if (const DWORD error = lookUpAccount(converted.get(), account))
        return result(env, base::formatWide(L" could not look up account name %d", error));
    if (isBuiltinGroup(sidText.text()) || account.domain.empty()) account.domain = L".";

    HANDLE token = nullptr;
    if (!logonUser(account.name.c_str(), account.domain.c_str(), passwordText.get(), LOGON32_LOGON_NETWORK,
                   LOGON32_PROVIDER_DEFAULT, &token)) {
        return result(env, base::formatWide(L" could not get token %d", GetLastError()));
    }
    const base::win::KernelHandle owned(token);
    std::wstring directory(kNameCharacters, L'\0');
    DWORD size = kNameCharacters;
    if (!profileDirectory(token, directory.data(), &size))
        return result(env, base::formatWide(L" could not get user profile dir %d", GetLastError()));
    return result(env, std::wstring(directory.c_str()));
}

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_addUser0(
    JNIEnv* env, jclass, jstring user, jstring password, jstring comment, jstring group, jstring groupComment,
    jboolean createGroup, jboolean failIfGroupExists) {
    const AccountFunctions& net = accountFunctions();
    if (!net.netLocalGroupAdd || !net.netLocalGroupGetInfo || !net.netApiBufferFree || !net.netUserAdd ||
        !net.netUserGetInfo || !net.netLocalGroupAddMembers) {
        return nullptr;
    }
    WideString userText(env, user);
    WideString passwordText(env, password);
    const natives::WipedOnExit wiped(passwordText);
    WideString commentText(env, comment);
    WideString groupText(env, group);
    WideString groupCommentText(env, groupComment);
    if (userText.failed() || passwordText.failed() || commentText.failed() || groupText.failed() ||
        groupCommentText.failed()) {
        return nullptr;
    }

    const bool hasGroup = !groupText.isNull();
    bool groupCreated = false;
    std::wstring text;
    if (hasGroup) {
        if (createGroup) {
            LOCALGROUP_INFO_1 info{groupText.data(), groupCommentText.data()};
            const NET_API_STATUS status = net.netLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr);
            const bool exists = status == ERROR_ALIAS_EXISTS || status == NERR_GroupExists;
            if (status == NERR_Success) {
                groupCreated = true;
            } else if (!exists || failIfGroupExists) {
                text = base::formatWide(L"%d %d", 1, status);
            }
        } else {
            NetBuffer info(net);
            const NET_API_STATUS status = net.netLocalGroupGetInfo(nullptr, groupText.get(), 1, info.out());
            if (status != NERR_Success) text = base::formatWide(L"%d %d", 6, status);
        }
    }
    NetBuffer userInfo(net);
    if (text.empty()) {
        USER_INFO_1 info{};
        info.usri1_name = userText.data();
        info.usri1_password = passwordText.data();
        info.usri1_priv = USER_PRIV_USER;
        info.usri1_comment = commentText.data();
        info.usri1_flags = UF_SCRIPT;
        DWORD parameter = 0;
        const NET_API_STATUS status = net.netUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&info), &parameter);
        if (status != NERR_Success) {
            text = base::formatWide(L"%d %d %d", 2, status, parameter);
        } else if (const NET_API_STATUS queried = net.netUserGetInfo(nullptr, userText.get(), 23, userInfo.out());
                   queried != NERR_Success) {
            text = base::formatWide(L"%d %d", 3, queried);
        } else if (hasGroup) {
            LOCALGROUP_MEMBERS_INFO_0 member{reinterpret_cast<USER_INFO_23*>(userInfo.get())->usri23_user_sid};
            const NET_API_STATUS added =
                net.netLocalGroupAddMembers(nullptr, groupText.get(), 0, reinterpret_cast<LPBYTE>(&member), 1);
            if (added != NERR_Success && added != ERROR_MEMBER_IN_ALIAS) text = base::formatWide(L"%d %d", 4, added);
        }
    }
    if (text.empty()) {
        const auto* record = reinterpret_cast<const USER_INFO_23*>(userInfo.get());
        text = record ? textOfSid(record->usri23_user_sid) : std::wstring();
        if (text.empty()) {
            text = base::formatWide(L"%d", 5);
        } else if (hasGroup && net.lookupAccountName) {
            std::unique_ptr<unsigned char[]> sid(new unsigned char[kSidBytes]());
            std::wstring domain(kNameCharacters, L'\0');
            DWORD sidSize = kSidBytes;
            DWORD domainLength = kNameCharacters;
            SID_NAME_USE use;
            if (net.lookupAccountName(nullptr, groupText.get(), sid.get(), &sidSize, domain.data(), &domainLength,
                                      &use)) {
                if (const std::wstring groupSid = textOfSid(sid.get()); !groupSid.empty())
                    text += L" " + groupSid + (groupCreated ? L" true" : L" false");
            }
        }
    }
    return text.empty() ? nullptr : result(env, text);
}

namespace {

// A deletion by server and name (NetUserDel, NetLocalGroupDel): its status; -1 when the
// function is missing or a text cannot be read.
jint deleteAccount(JNIEnv* env, NET_API_STATUS(WINAPI* remove)(LPCWSTR, LPCWSTR), jstring server, jstring name) {
    if (!remove) return -1;
    const WideString serverText(env, server);
    const WideString nameText(env, name);
    if (serverText.failed() || nameText.failed()) return -1;
    return static_cast<jint>(remove(serverText.get(), nameText.get()));
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_deleteUser0(
    JNIEnv* env, jclass, jstring server, jstring user) {
    return deleteAccount(env, accountFunctions().netUserDel, server, user);
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_deleteLocalGroup0(
    JNIEnv* env, jclass, jstring server, jstring group) {
    return deleteAccount(env, accountFunctions().netLocalGroupDel, server, group);
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_corvane_runtime_installer_platform_win32_Win32UserInfo_setLsaAccountRight0(JNIEnv* env, jclass,
                                                                                    jstring account, jstring right,
                                                                                    jboolean grant) {
    const AccountFunctions& lsa = accountFunctions();
    if (!lsa.lsaOpenPolicy || !lsa.lsaAddAccountRights || !lsa.lsaRemoveAccountRights || !lsa.lsaClose)
        return JNI_FALSE;
    const WideString accountText(env, account);
    const WideString rightText(env, right);
    if (accountText.failed() || rightText.failed()) return JNI_FALSE;
    // The counted string holds its length in bytes in 16 bits: a longer right would reach the
    // system cut short, naming another right than the one asked for.
    if (rightText.length() > (UNICODE_STRING_MAX_BYTES - sizeof(wchar_t)) / sizeof(wchar_t)) return JNI_FALSE;

    LocalSid converted = sidOfText(accountText.get());
    std::unique_ptr<unsigned char[]> named;
    PSID sid = converted.get();
    if (!sid) {
        if (!lsa.lookupAccountName || accountText.isNull()) return JNI_FALSE;
        named.reset(new unsigned char[kSidBytes]());
        std::wstring domain(kNameCharacters, L'\0');
        DWORD sidSize = kSidBytes;
        DWORD domainLength = kNameCharacters;
        SID_NAME_USE use;
        if (!lsa.lookupAccountName(nullptr, accountText.get(), named.get(), &sidSize, domain.data(), &domainLength,
                                   &use)) {
            return JNI_FALSE;
        }
        sid = named.get();
    }

    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    if (lsa.lsaOpenPolicy(nullptr, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, &policy) != 0)
        return JNI_FALSE;
    std::wstring rightCopy = rightText.text();
    LSA_UNICODE_STRING rightString;
    rightString.Buffer = rightCopy.data();
    rightString.Length = static_cast<USHORT>(rightCopy.size() * sizeof(wchar_t));
    rightString.MaximumLength = static_cast<USHORT>(rightString.Length + sizeof(wchar_t));
    const NTSTATUS status = grant ? lsa.lsaAddAccountRights(policy, sid, &rightString, 1)
                                  : lsa.lsaRemoveAccountRights(policy, sid, rightText.isNull(), &rightString, 1);
    lsa.lsaClose(policy);
    return status == 0 ? JNI_TRUE : JNI_FALSE;
}
