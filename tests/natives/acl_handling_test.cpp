// ACLHandling.addACE: the entry it merges, read back from a registry key (where Wine keeps the
// DACL that is set) and from the DACL it builds (Wine turns a file's DACL into mode bits).
#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "harness/natives_test.h"
#include "natives/acl_entries.h"
#include "stream_capture.h"

namespace natives_test {
namespace {

constexpr jint kGrant = GRANT_ACCESS;
constexpr jint kSet = SET_ACCESS;

std::wstring sddlOf(PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr)) {
        return L"(none)";
    }
    std::wstring result = text;
    LocalFree(text);
    return result;
}

std::wstring sddlOfAcl(PACL acl) {
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    return sddlOf(&descriptor);
}

std::wstring registryDacl(const std::wstring& name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    std::wstring result = sddlOf(descriptor);
    LocalFree(descriptor);
    return result;
}

bool contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// Standard output of this process, redirected into a file while it lives.
class OutputCapture : public test_support::StreamCapture {
public:
    OutputCapture() : StreamCapture(stdout, temporaryPath()) {}

private:
    static std::wstring temporaryPath() {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        return std::wstring(temp) + L"natives-tests-out-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    }
};

class AclHandlingNatives : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        key_ = L"Software\\natives-tests\\acl-" + std::to_wstring(GetCurrentProcessId());
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
        RegCloseKey(key);
    }
    void TearDown() override {
        RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
        NativesTest::TearDown();
    }
    std::wstring objectName() const { return L"CURRENT_USER\\" + key_; }
    bool addAce(const std::wstring& name, bool registryKey, bool read, bool write, bool execute, bool all, jint kind,
                const wchar_t* account, jint mode) {
        return callBoolean("ACLHandling.addACE", {javaString(name), registryKey, read, write, execute, all, kind,
                                                  account ? javaString(account) : nullptr, mode});
    }

    std::wstring key_;
};

// Each trustee kind on the key itself: the entry Java asked for is in the DACL the registry
// keeps, inherited by subkeys and values' children.
TEST_F(AclHandlingNatives, EveryTrusteeKindReachesTheKeysDacl) {
    struct Case {
        jint kind;
        const wchar_t* account;
        const wchar_t* sid;  // as SDDL writes it
    };
    const Case cases[] = {
        {1, nullptr, L"AU"},         {0, nullptr, L"WD"},   {7, nullptr, L"WD"},
        {3, L"S-1-5-32-544", L"BA"}, {3, L"Administrators", L"BA"}, {5, nullptr, L"PU"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(addAce(objectName(), true, true, false, false, false, c.kind, c.account, kSet)) << c.kind;
        EXPECT_TRUE(contains(registryDacl(objectName()), std::wstring(L";;;") + c.sid + L")"))
            << c.kind << " " << registryDacl(objectName());
    }
    EXPECT_TRUE(contains(registryDacl(objectName()), L"(A;OICI;GR;;;AU)")) << registryDacl(objectName());
}

// Every combination of the four rights and both access modes, on the DACL the native builds.
TEST_F(AclHandlingNatives, RightsCombineIntoTheMergedEntry) {
    const std::vector<unsigned char> everyone = natives::acl::trusteeSid(0, nullptr);
    for (int flags = 0; flags < 16; ++flags) {
        const bool read = flags & 1, write = flags & 2, execute = flags & 4, all = flags & 8;
        const DWORD mask = natives::acl::accessMask(read, write, execute, all);
        EXPECT_EQ(mask, (read ? GENERIC_READ : 0u) | (write ? GENERIC_WRITE : 0u) | (execute ? GENERIC_EXECUTE : 0u) |
                            (all ? GENERIC_ALL : 0u));
        DWORD error = 0;
        const natives::acl::LocalAcl merged = natives::acl::mergeEntry(nullptr, mask, kGrant, everyone, error);
        ASSERT_TRUE(merged) << error;
        std::wstring rights;
        if (all) rights += L"GA";
        if (execute) rights += L"GX";
        if (write) rights += L"GW";
        if (read) rights += L"GR";
        // No right at all still merges an entry, with an empty mask.
        EXPECT_EQ(sddlOfAcl(merged.get()), L"D:(A;OICI;" + rights + L";;;WD)") << flags;
    }
    // SET_ACCESS replaces what the trustee had; GRANT_ACCESS adds to it.
    DWORD error = 0;
    const natives::acl::LocalAcl first = natives::acl::mergeEntry(nullptr, GENERIC_READ, kGrant, everyone, error);
    const natives::acl::LocalAcl granted = natives::acl::mergeEntry(first.get(), GENERIC_WRITE, kGrant, everyone, error);
    const natives::acl::LocalAcl set = natives::acl::mergeEntry(first.get(), GENERIC_WRITE, kSet, everyone, error);
    const std::wstring grantedText = sddlOfAcl(granted.get());
    EXPECT_TRUE(contains(grantedText, L"GR") && contains(grantedText, L"GW")) << grantedText;
    EXPECT_EQ(sddlOfAcl(set.get()), L"D:(A;OICI;GW;;;WD)");
    EXPECT_TRUE(addAce(objectName(), true, false, false, false, false, 1, nullptr, kGrant));
}

TEST_F(AclHandlingNatives, FilesAndFailures) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring file = std::wstring(temp) + L"natives-tests-acl-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-\u0416\u4E2D.txt";
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(addAce(file, false, true, true, false, false, 1, nullptr, kGrant));
    DeleteFileW(file.c_str());

    OutputCapture output;
    EXPECT_FALSE(addAce(file, false, true, false, false, false, 1, nullptr, kGrant));
    EXPECT_FALSE(addAce(objectName(), true, true, false, false, false, 3, L"no such account here", kGrant));
    EXPECT_FALSE(callBoolean("ACLHandling.addACE", {nullptr, true, true, false, false, false, 1, nullptr, kGrant}));
    const std::string printed = output.text();
    EXPECT_EQ(printed.rfind("GetNamedSecurityInfo Error 2 ", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_FALSE(contains(registryDacl(objectName()), L";;;AU)"));
}

}  // namespace
}  // namespace natives_test
