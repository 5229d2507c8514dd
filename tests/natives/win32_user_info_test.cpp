// Win32UserInfo: tokens, SIDs and account names against what Wine really keeps; the account
// functions against Wine's in-process fakes where they answer, and through stand-ins for the
// answers and the arguments Wine cannot show (existing groups, level-23 user records, LSA).
#include <windows.h>
#include <sddl.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/win/handles.h"
#include "harness/natives_test.h"
#include "natives/account_functions.h"
#include "natives/secret_text.h"
#include "services/platform.h"

namespace natives_test {
namespace {

class UserInfoNatives : public NativesTest {};

std::wstring userName() {
    wchar_t name[256];
    DWORD size = 256;
    return GetUserNameW(name, &size) ? name : L"";
}

std::wstring text(jobject string) { return textOf(string).value_or(L"<null>"); }

TEST_F(UserInfoNatives, TheProcessUserAndItsToken) {
    const std::wstring sid = text(callObject("Win32UserInfo.getUserSid0", {}));
    EXPECT_TRUE(sid.starts_with(L"S-1-5-21-")) << sid;
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(sid), true})), userName());
    const jint elevation = callInt("Win32UserInfo.getElevationType0", {});
    EXPECT_TRUE(elevation >= 1 && elevation <= 3) << elevation;
    // Wine's token is a full administrator's; a group it does not hold is no membership.
    EXPECT_TRUE(callBoolean("Win32UserInfo.isMemberOfGroup0", {544}));
    EXPECT_FALSE(callBoolean("Win32UserInfo.isMemberOfGroup0", {4321}));
}

// The calling thread impersonates, while it lives, the process's token with the administrators
// group made deny-only, as in the filtered token of an administrator who is not elevated.
class DenyOnlyAdministrators {
public:
    DenyOnlyAdministrators() {
        HANDLE process = nullptr, filtered = nullptr, impersonation = nullptr;
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        PSID administrators = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return;
        const base::win::KernelHandle processToken(process);
        if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                      0, 0, 0, &administrators))
            return;
        SID_AND_ATTRIBUTES disabled = {administrators, 0};
        const BOOL made = CreateRestrictedToken(process, 0, 1, &disabled, 0, nullptr, 0, nullptr, &filtered);
        FreeSid(administrators);
        if (!made) return;
        const base::win::KernelHandle filteredToken(filtered);
        if (!DuplicateToken(filtered, SecurityImpersonation, &impersonation)) return;
        const base::win::KernelHandle impersonationToken(impersonation);
        impersonating_ = SetThreadToken(nullptr, impersonation) != FALSE;
    }
    ~DenyOnlyAdministrators() {
        if (impersonating_) RevertToSelf();
    }
    DenyOnlyAdministrators(const DenyOnlyAdministrators&) = delete;
    DenyOnlyAdministrators& operator=(const DenyOnlyAdministrators&) = delete;
    bool impersonating() const { return impersonating_; }

private:
    bool impersonating_ = false;
};

TEST_F(UserInfoNatives, DenyOnlyAdministratorsAreNoMembersOfTheirGroup) {
    {
        const DenyOnlyAdministrators filtered;
        ASSERT_TRUE(filtered.impersonating());
        EXPECT_FALSE(callBoolean("Win32UserInfo.isMemberOfGroup0", {544}));
        EXPECT_TRUE(callBoolean("Win32UserInfo.isMemberOfGroup0", {545}));  // users stays enabled
        // The elevation type is the process token's, whatever the thread impersonates: under
        // Wine an elevated administrator's (TokenElevationTypeFull).
        EXPECT_EQ(callInt("Win32UserInfo.getElevationType0", {}), 2);
    }
    EXPECT_TRUE(callBoolean("Win32UserInfo.isMemberOfGroup0", {544}));
}

std::wstring accountName(const wchar_t* sid, bool nameOnly) {
    return text(callObject("Win32UserInfo.getAccountName0", {javaString(sid), nameOnly}));
}
std::wstring profileDirectory(const std::wstring& sid) {
    return text(callObject("Win32UserInfo.getUserProfileDirectory0", {javaString(sid), javaString(L"pw")}));
}

TEST_F(UserInfoNatives, AccountNamesAndProfilesOfSids) {
    EXPECT_EQ(accountName(L"S-1-5-32-544", false), L".\\Administrators");
    EXPECT_EQ(accountName(L"S-1-5-32-544", true), L"Administrators");
    EXPECT_EQ(accountName(L"S-1-5-18", true), L"NT AUTHORITY\\System");
    EXPECT_EQ(accountName(L"S-1-5-20", false), L"NT AUTHORITY\\NetworkService");
    EXPECT_EQ(accountName(L"S-1-x-9", false), L" 1337");
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {nullptr, false})), L" 87");
    EXPECT_EQ(accountName(L"S-1-5-21-1-2-3-4242", false), L" 1332");  // well-formed, nobody's

    EXPECT_EQ(profileDirectory(L"S-1-5-18"), L" no user account");
    EXPECT_EQ(profileDirectory(L"bad"), L" could not convert sid 1337");
    EXPECT_EQ(profileDirectory(L"S-1-5-21-1-2-3-4242"), L" could not look up account name 1332");
    // Wine's logon gives no token a profile can be asked of: the last step's failure text.
    const std::wstring own = profileDirectory(text(callObject("Win32UserInfo.getUserSid0", {})));
    EXPECT_TRUE(own.starts_with(L" could not get user profile dir ")) << own;
}

// The shell comes after the preload the launcher's start-up shares.
TEST_F(UserInfoNatives, AnElevatedStartRunsTheProgram) {
    ASSERT_FALSE(services::systemLibrariesPreloaded());
    const std::filesystem::path mark = std::filesystem::temp_directory_path() / "elevated_ran.txt";
    std::filesystem::remove(mark);
    const std::wstring parameters = L"/c echo ran> \"" + mark.wstring() + L"\"";
    ASSERT_TRUE(callBoolean("Win32UserInfo.executeElevated0",
                            {javaString(L"cmd.exe"), javaString(parameters), nullptr, SW_HIDE}));
    for (int i = 0; i < 100 && !std::filesystem::exists(mark); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(std::filesystem::exists(mark));
    EXPECT_TRUE(services::systemLibrariesPreloaded());
    std::filesystem::remove(mark);
    EXPECT_FALSE(callBoolean("Win32UserInfo.executeElevated0",
                             {javaString(L"no_such_program_here.exe"), nullptr, nullptr, SW_HIDE}));
}

TEST_F(UserInfoNatives, UsersAndGroupsAsWineKeepsThem) {
    // Wine accepts every new user and deletion but keeps no user record to read: the system's
    // functions are reached, and step 3 reports the record's query.
    const std::wstring added = text(callObject(
        "Win32UserInfo.addUser0", {javaString(L"cvnTestUser"), javaString(L"Secret#1"), nullptr, nullptr, nullptr, false, false}));
    EXPECT_TRUE(added.starts_with(L"3 ")) << added;
    EXPECT_EQ(callInt("Win32UserInfo.deleteUser0", {nullptr, javaString(L"cvnTestUser")}), 0);
    EXPECT_EQ(callInt("Win32UserInfo.deleteLocalGroup0", {nullptr, javaString(L"cvnTestGroup")}), 0);
    const auto right = [](const wchar_t* account, bool grant) {
        return callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(account), javaString(L"SeServiceLogonRight"), grant});
    };
    // Wine's LSA accepts every change and keeps none; a name it cannot look up fails before.
    EXPECT_TRUE(right(L"S-1-5-32-544", true));
    EXPECT_TRUE(right(L"S-1-5-32-544", false));
    EXPECT_TRUE(right(L"Administrators", true));
    EXPECT_FALSE(right(L"cvnNoSuchAccount", true));
}

// ---- Stand-ins for the account functions ------------------------------------------------------

// What the stand-ins answer, and each call as a line of what they were given.
struct Answers {
    NET_API_STATUS groupAdd = 0, groupGetInfo = 0, userAdd = 0, userGetInfo = 0, addMembers = 0, userDel = 0, groupDel = 0;
    NTSTATUS open = 0, change = 0;
    bool lookupSucceeds = true, logonSucceeds = true;
    HANDLE loggedOn = nullptr;
    int buffersOut = 0;
    std::vector<std::wstring> calls;
} answers;

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"?";
    const std::wstring copy = text;
    LocalFree(text);
    return copy;
}
std::wstring piece(const wchar_t* text) { return text ? text : L"<null>"; }
std::wstring piece(const std::wstring& text) { return text; }
template <class Number>
    requires std::is_arithmetic_v<Number>
std::wstring piece(Number value) { return std::to_wstring(value); }
// The pieces separated by blanks.
template <class... Pieces>
std::wstring line(const Pieces&... pieces) {
    std::wstring joined;
    ((joined += piece(pieces) + L" "), ...);
    joined.pop_back();
    return joined;
}
void record(std::wstring call) { answers.calls.push_back(std::move(call)); }
LPBYTE netBuffer(std::size_t size) {
    ++answers.buffersOut;
    return static_cast<LPBYTE>(LocalAlloc(LPTR, size));
}

NET_API_STATUS WINAPI groupAdd(LPCWSTR, DWORD level, LPBYTE info, LPDWORD) {
    const auto* group = reinterpret_cast<LOCALGROUP_INFO_1*>(info);
    record(line(L"groupAdd", level, group->lgrpi1_name, group->lgrpi1_comment));
    return answers.groupAdd;
}
NET_API_STATUS WINAPI groupGetInfo(LPCWSTR, LPCWSTR group, DWORD level, LPBYTE* info) {
    record(line(L"groupGetInfo", level, group));
    if (answers.groupGetInfo == 0) *info = netBuffer(sizeof(LOCALGROUP_INFO_1));
    return answers.groupGetInfo;
}
NET_API_STATUS WINAPI bufferFree(LPVOID buffer) {
    --answers.buffersOut;
    LocalFree(buffer);
    return 0;
}
NET_API_STATUS WINAPI userAdd(LPCWSTR, DWORD level, LPBYTE info, LPDWORD parameter) {
    const auto* user = reinterpret_cast<USER_INFO_1*>(info);
    record(line(L"userAdd", level, user->usri1_name, user->usri1_password, user->usri1_comment, L"priv",
                user->usri1_priv, L"flags", user->usri1_flags, user->usri1_home_dir));
    *parameter = 3;
    return answers.userAdd;
}
NET_API_STATUS WINAPI userGetInfo(LPCWSTR, LPCWSTR user, DWORD level, LPBYTE* info) {
    record(line(L"userGetInfo", level, user));
    if (answers.userGetInfo != 0) return answers.userGetInfo;
    *info = netBuffer(sizeof(USER_INFO_23) + SECURITY_MAX_SID_SIZE);
    auto* user23 = reinterpret_cast<USER_INFO_23*>(*info);
    user23->usri23_user_sid = *info + sizeof(USER_INFO_23);
    DWORD size = SECURITY_MAX_SID_SIZE;
    CreateWellKnownSid(WinBuiltinGuestsSid, nullptr, user23->usri23_user_sid, &size);
    return 0;
}
NET_API_STATUS WINAPI addMembers(LPCWSTR, LPCWSTR group, DWORD level, LPBYTE members, DWORD count) {
    const auto* member = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_0*>(members);
    record(line(L"addMembers", group, level, count, sidText(member->lgrmi0_sid)));
    return answers.addMembers;
}
BOOL WINAPI lookupName(LPCWSTR, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR, LPDWORD, PSID_NAME_USE) {
    record(line(L"lookup", account));
    return answers.lookupSucceeds && CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid, sidSize);
}
NTSTATUS WINAPI openPolicy(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES, ACCESS_MASK access, PLSA_HANDLE policy) {
    record(line(L"open", access, system ? L"remote" : L"local"));
    *policy = reinterpret_cast<LSA_HANDLE>(0x1234);
    return answers.open;
}
std::wstring rightText(PLSA_UNICODE_STRING right) {
    return line(L"'" + std::wstring(right->Buffer, right->Length / sizeof(wchar_t)) + L"'", right->Length,
                right->MaximumLength);
}
NTSTATUS WINAPI addRights(LSA_HANDLE, PSID sid, PLSA_UNICODE_STRING rights, ULONG count) {
    record(line(L"add", sidText(sid), rightText(rights), count));
    return answers.change;
}
NTSTATUS WINAPI removeRights(LSA_HANDLE, PSID sid, BOOLEAN all, PLSA_UNICODE_STRING rights, ULONG count) {
    record(line(L"remove", sidText(sid), L"all", all, rightText(rights), count));
    return answers.change;
}
NTSTATUS WINAPI closePolicy(LSA_HANDLE policy) {
    record(line(L"close", policy == reinterpret_cast<LSA_HANDLE>(0x1234)));
    return 0;
}

NET_API_STATUS WINAPI userDel(LPCWSTR server, LPCWSTR user) {
    record(line(L"userDel", server, user));
    return answers.userDel;
}
NET_API_STATUS WINAPI groupDel(LPCWSTR server, LPCWSTR group) {
    record(line(L"groupDel", server, group));
    return answers.groupDel;
}
// A logon that succeeds hands out a copy of this process's own token.
BOOL WINAPI logOn(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD type, DWORD provider, PHANDLE token) {
    record(line(L"logon", user, domain, password, type, provider));
    HANDLE process = nullptr;
    if (!answers.logonSucceeds || !OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) {
        SetLastError(ERROR_LOGON_FAILURE);
        return FALSE;
    }
    const BOOL copied = DuplicateTokenEx(process, TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, nullptr,
                                         SecurityImpersonation, TokenPrimary, token);
    CloseHandle(process);
    answers.loggedOn = copied ? *token : nullptr;
    return copied;
}

const natives::AccountFunctions kStandIns = {groupAdd,   groupGetInfo, bufferFree,   userAdd,     userGetInfo,
                                             addMembers, userDel,      groupDel,     lookupName,  openPolicy,
                                             addRights,  removeRights, closePolicy,  logOn};

class AccountStandIns : public UserInfoNatives {
protected:
    void SetUp() override {
        UserInfoNatives::SetUp();
        answers = Answers{};
    }
    void TearDown() override {
        EXPECT_EQ(answers.buffersOut, 0) << "a buffer of the account functions was not freed";
        UserInfoNatives::TearDown();
    }
    std::wstring addUser(const wchar_t* group, bool createGroup, bool failIfExists) {
        answers.calls.clear();
        return text(callObject("Win32UserInfo.addUser0",
                               {javaString(L"ann"), javaString(L"pa55"), javaString(L"note"),
                                group ? javaString(group) : nullptr, javaString(L"team"), createGroup, failIfExists}));
    }
    bool setRight(const wchar_t* account, const wchar_t* right, bool grant) {
        answers.calls.clear();
        return callBoolean("Win32UserInfo.setLsaAccountRight0",
                           {javaString(account), right ? javaString(right) : nullptr, grant});
    }
    natives::ReplacedAccountFunctions replaced_{kStandIns};
};

using Calls = std::vector<std::wstring>;
constexpr wchar_t kUser[] = L"S-1-5-32-546";   // the user SID the stand-in's record holds
constexpr wchar_t kGroup[] = L"S-1-5-32-545";  // the group SID its name lookup finds

TEST_F(AccountStandIns, AddUserStepsAndTheirCodes) {
    EXPECT_EQ(addUser(nullptr, false, false), kUser);
    EXPECT_EQ(answers.calls, (Calls{L"userAdd 1 ann pa55 note priv 1 flags 1 <null>", L"userGetInfo 23 ann"}));

    const std::wstring withGroup = line(kUser, kGroup, L"");
    EXPECT_EQ(addUser(L"crew", true, false), withGroup + L"true");
    EXPECT_EQ(answers.calls, (Calls{L"groupAdd 1 crew team", L"userAdd 1 ann pa55 note priv 1 flags 1 <null>",
                                    L"userGetInfo 23 ann", line(L"addMembers crew 0 1", kUser),
                                    L"lookup crew"}));
    answers.groupAdd = ERROR_ALIAS_EXISTS;
    EXPECT_EQ(addUser(L"crew", true, false), withGroup + L"false");
    answers.groupAdd = NERR_GroupExists;
    EXPECT_EQ(addUser(L"crew", true, true), L"1 2223");
    answers.groupAdd = ERROR_ACCESS_DENIED;
    EXPECT_EQ(addUser(L"crew", true, false), L"1 5");
    EXPECT_EQ(answers.calls.size(), 1u);

    answers.groupGetInfo = NERR_GroupNotFound;
    EXPECT_EQ(addUser(L"crew", false, false), L"6 2220");
    answers.groupGetInfo = 0;
    EXPECT_EQ(addUser(L"crew", false, false), withGroup + L"false");

    answers.userAdd = NERR_UserExists;
    EXPECT_EQ(addUser(nullptr, false, false), L"2 2224 3");
    answers.userAdd = 0;
    answers.userGetInfo = ERROR_INVALID_LEVEL;
    EXPECT_EQ(addUser(nullptr, false, false), L"3 124");
    answers.userGetInfo = 0;
    answers.addMembers = ERROR_MEMBER_IN_ALIAS;
    EXPECT_EQ(addUser(L"crew", false, false), withGroup + L"false");
    answers.addMembers = ERROR_NO_SUCH_MEMBER;
    EXPECT_EQ(addUser(L"crew", false, false), L"4 1387");
    answers.addMembers = 0;
    // A group whose SID cannot be had leaves the user's SID alone.
    answers.lookupSucceeds = false;
    EXPECT_EQ(addUser(L"crew", false, false), kUser);
}

TEST_F(AccountStandIns, MissingFunctionsAnswerTheirFailure) {
    const natives::AccountFunctions none{};
    natives::ReplacedAccountFunctions missing(none);
    EXPECT_EQ(addUser(nullptr, false, false), L"<null>");
    EXPECT_EQ(callInt("Win32UserInfo.deleteUser0", {nullptr, javaString(L"ann")}), -1);
    EXPECT_EQ(callInt("Win32UserInfo.deleteLocalGroup0", {nullptr, javaString(L"crew")}), -1);
    EXPECT_FALSE(setRight(L"S-1-5-32-544", L"SeX", true));
}

TEST_F(AccountStandIns, DeletionsAnswerTheSystemsStatus) {
    answers.userDel = NERR_UserNotFound;
    EXPECT_EQ(callInt("Win32UserInfo.deleteUser0", {javaString(L"\\\\host"), javaString(L"ann")}), 2221);
    EXPECT_EQ(callInt("Win32UserInfo.deleteLocalGroup0", {nullptr, javaString(L"crew")}), 0);
    answers.groupDel = ERROR_ACCESS_DENIED;
    EXPECT_EQ(callInt("Win32UserInfo.deleteLocalGroup0", {nullptr, javaString(L"crew")}), 5);
    EXPECT_EQ(answers.calls, (Calls{L"userDel \\\\host ann", L"groupDel <null> crew", L"groupDel <null> crew"}));
}

// The logon Wine cannot do is answered with this process's own token: the profile directory is
// then asked of the system for this user.
TEST_F(AccountStandIns, ProfileDirectoryOfALoggedOnAccount) {
    const std::wstring sid = text(callObject("Win32UserInfo.getUserSid0", {}));
    wchar_t profile[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH), 0u);
    EXPECT_EQ(profileDirectory(sid), profile);
    ASSERT_EQ(answers.calls.size(), 1u);
    EXPECT_TRUE(answers.calls[0].starts_with(L"logon " + userName() + L" ")) << answers.calls[0];
    EXPECT_TRUE(answers.calls[0].ends_with(L" pw 3 0")) << answers.calls[0];  // a network logon, default provider
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(answers.loggedOn, &flags)) << "the logon's token was left open";

    // A built-in group logs on in the local domain; a refused logon gives the system's error.
    answers.calls.clear();
    answers.logonSucceeds = false;
    EXPECT_EQ(profileDirectory(L"S-1-5-32-545"), L" could not get token 1326");
    EXPECT_EQ(answers.calls, (Calls{L"logon Users . pw 3 0"}));
}

TEST_F(AccountStandIns, AccountRights) {
    const std::wstring open = line(L"open", POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, L"local");
    EXPECT_TRUE(setRight(L"S-1-5-32-544", L"SeServiceLogonRight", true));
    EXPECT_EQ(answers.calls, (Calls{open, L"add S-1-5-32-544 'SeServiceLogonRight' 38 40 1", L"close 1"}));
    // By name, and a null right removes every right of the account.
    EXPECT_TRUE(setRight(L"crew", nullptr, false));
    EXPECT_EQ(answers.calls, (Calls{L"lookup crew", open, line(L"remove", kGroup, L"all 1 '' 0 2 1"), L"close 1"}));
    EXPECT_TRUE(setRight(L"crew", L"SeX", false));
    EXPECT_EQ(answers.calls[2], line(L"remove", kGroup, L"all 0 'SeX' 6 8 1"));

    answers.change = static_cast<NTSTATUS>(0xC0000034);
    EXPECT_FALSE(setRight(L"crew", L"SeX", true));
    EXPECT_EQ(answers.calls.back(), L"close 1");
    answers.open = static_cast<NTSTATUS>(0xC0000022);
    EXPECT_FALSE(setRight(L"crew", L"SeX", true));
    EXPECT_EQ(answers.calls, (Calls{L"lookup crew", open}));
    answers.lookupSucceeds = false;
    EXPECT_FALSE(setRight(L"nobody", L"SeX", true));
    // A right too long for the counted string never reaches the system cut short.
    EXPECT_FALSE(setRight(L"S-1-5-32-544", std::wstring(40000, L'x').c_str(), true));
    EXPECT_TRUE(answers.calls.empty());
}

TEST_F(UserInfoNatives, APasswordCopyIsWipedBeforeItIsFreed) {
    jni::WideString password(env(), javaString(L"a rather long secret password"));
    { const natives::WipedOnExit wiped(password); }
    EXPECT_EQ(password.text(), std::wstring(password.length(), L'\0'));
}

}  // namespace
}  // namespace natives_test
