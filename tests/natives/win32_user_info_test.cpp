// Win32UserInfo: tokens, SIDs and account names against what Wine really keeps; the account
// functions against Wine's in-process fakes where they answer, and through stand-ins for the
// answers and the arguments Wine cannot show (existing groups, level-23 user records, LSA).
#include <windows.h>
#include <sddl.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "harness/natives_test.h"
#include "natives/account_functions.h"
#include "natives/secret_text.h"

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

TEST_F(UserInfoNatives, AccountNamesOfSids) {
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(L"S-1-5-32-544"), false})),
              L".\\Administrators");
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(L"S-1-5-32-544"), true})),
              L"Administrators");
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(L"S-1-5-18"), true})),
              L"NT AUTHORITY\\System");
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(L"S-1-5-20"), false})),
              L"NT AUTHORITY\\NetworkService");
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(L"S-1-x-9"), false})), L" 1337");
    // A well-formed SID of nobody: the lookup's error.
    EXPECT_EQ(text(callObject("Win32UserInfo.getAccountName0", {javaString(L"S-1-5-21-1-2-3-4242"), false})),
              L" 1332");
}

TEST_F(UserInfoNatives, ProfileDirectories) {
    EXPECT_EQ(text(callObject("Win32UserInfo.getUserProfileDirectory0", {javaString(L"S-1-5-18"), nullptr})),
              L" no user account");
    EXPECT_EQ(text(callObject("Win32UserInfo.getUserProfileDirectory0", {javaString(L"bad"), javaString(L"pw")})),
              L" could not convert sid 1337");
    EXPECT_EQ(text(callObject("Win32UserInfo.getUserProfileDirectory0",
                              {javaString(L"S-1-5-21-1-2-3-4242"), javaString(L"pw")})),
              L" could not look up account name 1332");
    const std::wstring sid = text(callObject("Win32UserInfo.getUserSid0", {}));
    // Wine's logon gives no token a profile can be asked of: the last step's failure text.
    const std::wstring directory =
        text(callObject("Win32UserInfo.getUserProfileDirectory0", {javaString(sid), javaString(L"pw")}));
    EXPECT_TRUE(directory.starts_with(L" could not get user profile dir ")) << directory;
}

TEST_F(UserInfoNatives, AnElevatedStartRunsTheProgram) {
    const std::filesystem::path mark = std::filesystem::temp_directory_path() / "elevated_ran.txt";
    std::filesystem::remove(mark);
    const std::wstring parameters = L"/c echo ran> \"" + mark.wstring() + L"\"";
    ASSERT_TRUE(callBoolean("Win32UserInfo.executeElevated0",
                            {javaString(L"cmd.exe"), javaString(parameters), nullptr, SW_HIDE}));
    for (int i = 0; i < 100 && !std::filesystem::exists(mark); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(std::filesystem::exists(mark));
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
}

// ---- Stand-ins for the account functions ------------------------------------------------------

struct Seen {
    NET_API_STATUS groupAdd = NERR_Success, groupGetInfo = NERR_Success, userAdd = NERR_Success;
    NET_API_STATUS userGetInfo = NERR_Success, addMembers = NERR_Success;
    NTSTATUS open = 0, change = 0;
    bool lookupSucceeds = true;
    DWORD parameterIndex = 0;
    std::vector<std::wstring> calls;
    std::wstring password, comment, right;
    DWORD privilege = 0, flags = 0, rightLength = 0, rightMaximum = 0;
    BOOLEAN allRights = FALSE;
    std::wstring accountSid;
    int buffersOut = 0;
};
Seen seen;

PSID userSid() {
    static PSID sid = [] {
        PSID made = nullptr;
        ConvertStringSidToSidW(L"S-1-5-21-7-8-9-1001", &made);
        return made;
    }();
    return sid;
}

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"";
    std::wstring copy = text;
    LocalFree(text);
    return copy;
}

NET_API_STATUS WINAPI groupAdd(LPCWSTR, DWORD level, LPBYTE info, LPDWORD) {
    const auto* group = reinterpret_cast<LOCALGROUP_INFO_1*>(info);
    seen.calls.push_back(L"groupAdd " + std::to_wstring(level) + L" " + group->lgrpi1_name + L" " + group->lgrpi1_comment);
    return seen.groupAdd;
}
NET_API_STATUS WINAPI groupGetInfo(LPCWSTR, LPCWSTR group, DWORD level, LPBYTE* info) {
    seen.calls.push_back(L"groupGetInfo " + std::to_wstring(level) + L" " + group);
    if (seen.groupGetInfo != NERR_Success) return seen.groupGetInfo;
    *info = static_cast<LPBYTE>(LocalAlloc(LPTR, sizeof(LOCALGROUP_INFO_1)));
    ++seen.buffersOut;
    return NERR_Success;
}
NET_API_STATUS WINAPI bufferFree(LPVOID buffer) {
    --seen.buffersOut;
    LocalFree(buffer);
    return NERR_Success;
}
NET_API_STATUS WINAPI userAdd(LPCWSTR, DWORD level, LPBYTE info, LPDWORD parameter) {
    const auto* user = reinterpret_cast<USER_INFO_1*>(info);
    seen.calls.push_back(L"userAdd " + std::to_wstring(level) + L" " + user->usri1_name);
    seen.password = user->usri1_password;
    seen.comment = user->usri1_comment ? user->usri1_comment : L"<null>";
    seen.privilege = user->usri1_priv;
    seen.flags = user->usri1_flags;
    *parameter = seen.parameterIndex;
    return seen.userAdd;
}
NET_API_STATUS WINAPI userGetInfo(LPCWSTR, LPCWSTR user, DWORD level, LPBYTE* info) {
    seen.calls.push_back(L"userGetInfo " + std::to_wstring(level) + L" " + user);
    if (seen.userGetInfo != NERR_Success) return seen.userGetInfo;
    auto* record = static_cast<USER_INFO_23*>(LocalAlloc(LPTR, sizeof(USER_INFO_23)));
    record->usri23_user_sid = userSid();
    *info = reinterpret_cast<LPBYTE>(record);
    ++seen.buffersOut;
    return NERR_Success;
}
NET_API_STATUS WINAPI addMembers(LPCWSTR, LPCWSTR group, DWORD level, LPBYTE members, DWORD count) {
    const auto* member = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_0*>(members);
    seen.calls.push_back(L"addMembers " + std::wstring(group) + L" " + std::to_wstring(level) + L" " +
                         std::to_wstring(count) + L" " + sidText(member->lgrmi0_sid));
    return seen.addMembers;
}
BOOL WINAPI lookupName(LPCWSTR, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR, LPDWORD, PSID_NAME_USE) {
    seen.calls.push_back(L"lookup " + std::wstring(account));
    if (!seen.lookupSucceeds) return FALSE;
    PSID made = nullptr;
    ConvertStringSidToSidW(L"S-1-5-21-7-8-9-2002", &made);
    CopySid(*sidSize, sid, made);
    LocalFree(made);
    return TRUE;
}
NTSTATUS WINAPI openPolicy(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES, ACCESS_MASK access, PLSA_HANDLE policy) {
    seen.calls.push_back(L"open " + std::to_wstring(access) + (system ? L" remote" : L""));
    *policy = reinterpret_cast<LSA_HANDLE>(0x1234);
    return seen.open;
}
void rememberRight(PSID sid, PLSA_UNICODE_STRING right) {
    seen.accountSid = sidText(sid);
    seen.right.assign(right->Buffer, right->Length / sizeof(wchar_t));
    seen.rightLength = right->Length;
    seen.rightMaximum = right->MaximumLength;
}
NTSTATUS WINAPI addRights(LSA_HANDLE, PSID sid, PLSA_UNICODE_STRING rights, ULONG count) {
    seen.calls.push_back(L"add " + std::to_wstring(count));
    rememberRight(sid, rights);
    return seen.change;
}
NTSTATUS WINAPI removeRights(LSA_HANDLE, PSID sid, BOOLEAN all, PLSA_UNICODE_STRING rights, ULONG count) {
    seen.calls.push_back(L"remove " + std::to_wstring(count));
    seen.allRights = all;
    rememberRight(sid, rights);
    return seen.change;
}
NTSTATUS WINAPI closePolicy(LSA_HANDLE policy) {
    seen.calls.push_back(policy == reinterpret_cast<LSA_HANDLE>(0x1234) ? L"close" : L"close ?");
    return 0;
}

const natives::AccountFunctions kStandIns = {groupAdd,   groupGetInfo, bufferFree,  userAdd,   userGetInfo,
                                             addMembers, nullptr,      nullptr,     lookupName, openPolicy,
                                             addRights,  removeRights, closePolicy};

class AccountStandIns : public UserInfoNatives {
protected:
    void SetUp() override {
        UserInfoNatives::SetUp();
        seen = Seen{};
    }
    void TearDown() override {
        EXPECT_EQ(seen.buffersOut, 0) << "a buffer of the account functions was not freed";
        UserInfoNatives::TearDown();
    }
    std::wstring addUser(const wchar_t* group, bool createGroup, bool failIfExists) {
        return text(callObject("Win32UserInfo.addUser0",
                               {javaString(L"ann"), javaString(L"pa55"), javaString(L"note"),
                                group ? javaString(group) : nullptr, javaString(L"team"), createGroup, failIfExists}));
    }
    natives::ReplacedAccountFunctions replaced_{kStandIns};
};

TEST_F(AccountStandIns, AddUserStepsAndTheirCodes) {
    EXPECT_EQ(addUser(nullptr, false, false), L"S-1-5-21-7-8-9-1001");
    EXPECT_EQ(seen.calls, (std::vector<std::wstring>{L"userAdd 1 ann", L"userGetInfo 23 ann"}));
    EXPECT_EQ(seen.password, L"pa55");
    EXPECT_EQ(seen.comment, L"note");
    EXPECT_EQ(seen.privilege, static_cast<DWORD>(USER_PRIV_USER));
    EXPECT_EQ(seen.flags, static_cast<DWORD>(UF_SCRIPT));

    seen.calls.clear();
    EXPECT_EQ(addUser(L"crew", true, false), L"S-1-5-21-7-8-9-1001 S-1-5-21-7-8-9-2002 true");
    EXPECT_EQ(seen.calls, (std::vector<std::wstring>{L"groupAdd 1 crew team", L"userAdd 1 ann", L"userGetInfo 23 ann",
                                                     L"addMembers crew 0 1 S-1-5-21-7-8-9-1001", L"lookup crew"}));

    seen.groupAdd = ERROR_ALIAS_EXISTS;
    EXPECT_EQ(addUser(L"crew", true, false), L"S-1-5-21-7-8-9-1001 S-1-5-21-7-8-9-2002 false");
    seen.groupAdd = NERR_GroupExists;
    EXPECT_EQ(addUser(L"crew", true, true), L"1 2223");
    seen.groupAdd = ERROR_ACCESS_DENIED;
    EXPECT_EQ(addUser(L"crew", true, false), L"1 5");

    seen.groupGetInfo = NERR_GroupNotFound;
    EXPECT_EQ(addUser(L"crew", false, false), L"6 2220");
    seen.groupGetInfo = NERR_Success;
    EXPECT_EQ(addUser(L"crew", false, false), L"S-1-5-21-7-8-9-1001 S-1-5-21-7-8-9-2002 false");

    seen.userAdd = NERR_UserExists;
    seen.parameterIndex = 3;
    EXPECT_EQ(addUser(nullptr, false, false), L"2 2224 3");
    seen.userAdd = NERR_Success;
    seen.userGetInfo = ERROR_INVALID_LEVEL;
    EXPECT_EQ(addUser(nullptr, false, false), L"3 124");
    seen.userGetInfo = NERR_Success;
    seen.addMembers = ERROR_MEMBER_IN_ALIAS;
    EXPECT_EQ(addUser(L"crew", false, false), L"S-1-5-21-7-8-9-1001 S-1-5-21-7-8-9-2002 false");
    seen.addMembers = ERROR_NO_SUCH_MEMBER;
    EXPECT_EQ(addUser(L"crew", false, false), L"4 1387");
    seen.addMembers = NERR_Success;
    // A group whose SID cannot be had leaves the user's SID alone.
    seen.lookupSucceeds = false;
    EXPECT_EQ(addUser(L"crew", false, false), L"S-1-5-21-7-8-9-1001");
}

TEST_F(AccountStandIns, MissingFunctionsAnswerTheirFailure) {
    natives::AccountFunctions none{};
    natives::ReplacedAccountFunctions missing(none);
    EXPECT_EQ(callObject("Win32UserInfo.addUser0", {javaString(L"ann"), javaString(L"pa55"), nullptr, nullptr, nullptr, false, false}),
              nullptr);
    EXPECT_EQ(callInt("Win32UserInfo.deleteUser0", {nullptr, javaString(L"ann")}), -1);
    EXPECT_EQ(callInt("Win32UserInfo.deleteLocalGroup0", {nullptr, javaString(L"crew")}), -1);
    EXPECT_FALSE(callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(L"S-1-5-32-544"), javaString(L"SeX"), true}));
}

TEST_F(AccountStandIns, AccountRights) {
    EXPECT_TRUE(callBoolean("Win32UserInfo.setLsaAccountRight0",
                            {javaString(L"S-1-5-32-544"), javaString(L"SeServiceLogonRight"), true}));
    const std::wstring open = L"open " + std::to_wstring(POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES);
    EXPECT_EQ(seen.calls, (std::vector<std::wstring>{open, L"add 1", L"close"}));
    EXPECT_EQ(seen.accountSid, L"S-1-5-32-544");
    EXPECT_EQ(seen.right, L"SeServiceLogonRight");
    EXPECT_EQ(seen.rightLength, 38u);
    EXPECT_EQ(seen.rightMaximum, 40u);

    // By name, removing every right of the account.
    seen.calls.clear();
    EXPECT_TRUE(callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(L"crew"), nullptr, false}));
    EXPECT_EQ(seen.calls, (std::vector<std::wstring>{L"lookup crew", open, L"remove 1", L"close"}));
    EXPECT_EQ(seen.accountSid, L"S-1-5-21-7-8-9-2002");
    EXPECT_TRUE(seen.allRights);
    EXPECT_EQ(seen.rightLength, 0u);
    EXPECT_EQ(seen.rightMaximum, 2u);

    seen.calls.clear();
    EXPECT_TRUE(callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(L"crew"), javaString(L"SeX"), false}));
    EXPECT_FALSE(seen.allRights);
    seen.change = static_cast<NTSTATUS>(0xC0000034);
    EXPECT_FALSE(callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(L"crew"), javaString(L"SeX"), true}));
    seen.calls.clear();
    seen.open = static_cast<NTSTATUS>(0xC0000022);
    EXPECT_FALSE(callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(L"crew"), javaString(L"SeX"), true}));
    EXPECT_EQ(seen.calls, (std::vector<std::wstring>{L"lookup crew", open}));
    seen.open = 0;
    seen.lookupSucceeds = false;
    EXPECT_FALSE(callBoolean("Win32UserInfo.setLsaAccountRight0", {javaString(L"nobody"), javaString(L"SeX"), true}));

    // A right too long for the counted string never reaches the system cut short.
    seen.calls.clear();
    seen.lookupSucceeds = true;
    EXPECT_FALSE(callBoolean("Win32UserInfo.setLsaAccountRight0",
                             {javaString(L"S-1-5-32-544"), javaString(std::wstring(40000, L'x')), true}));
    EXPECT_TRUE(seen.calls.empty());
}

TEST_F(UserInfoNatives, APasswordCopyIsWipedBeforeItIsFreed) {
    natives::WideString password(env(), javaString(L"a rather long secret password"));
    { const natives::WipedOnExit wiped(password); }
    EXPECT_EQ(password.text(), std::wstring(password.length(), L'\0'));
}

}  // namespace
}  // namespace natives_test
