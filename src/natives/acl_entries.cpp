#include "natives/acl_entries.h"

#include <sddl.h>

namespace natives::acl {

namespace {

std::vector<unsigned char> copyOf(PSID sid) {
    const auto* first = static_cast<const unsigned char*>(sid);
    return std::vector<unsigned char>(first, first + GetLengthSid(sid));
}

std::vector<unsigned char> sidOf(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0) {
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid)) return {};
    std::vector<unsigned char> copy = copyOf(sid);
    FreeSid(sid);
    return copy;
}

std::vector<unsigned char> accountSid(const wchar_t* account) {
    if (account == nullptr) return {};
    PSID converted = nullptr;
    if (ConvertStringSidToSidW(account, &converted)) {
        std::vector<unsigned char> copy = copyOf(converted);
        LocalFree(converted);
        return copy;
    }
    std::vector<unsigned char> sid(8192);
    DWORD sidSize = static_cast<DWORD>(sid.size());
    std::vector<wchar_t> domain(8192);
    DWORD domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(nullptr, account, sid.data(), &sidSize, domain.data(), &domainSize, &use)) return {};
    sid.resize(GetLengthSid(sid.data()));
    return sid;
}

}  // namespace

std::vector<unsigned char> trusteeSid(int kind, const wchar_t* account) {
    switch (kind) {
    case 1: return sidOf(SECURITY_NT_AUTHORITY, 1, SECURITY_AUTHENTICATED_USER_RID);
    case 3: return accountSid(account);
    case 5: return sidOf(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS);
    default: return sidOf(SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID);
    }
}

DWORD accessMask(bool read, bool write, bool execute, bool all) {
    return (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0) | (execute ? GENERIC_EXECUTE : 0) |
           (all ? GENERIC_ALL : 0);
}

LocalAcl mergeEntry(PACL current, DWORD mask, int accessMode, const std::vector<unsigned char>& sid, DWORD& error) {
    EXPLICIT_ACCESSW entry = {};
    entry.grfAccessPermissions = mask;
    entry.grfAccessMode = static_cast<ACCESS_MODE>(accessMode);
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = reinterpret_cast<LPWSTR>(const_cast<unsigned char*>(sid.data()));
    PACL merged = nullptr;
    error = SetEntriesInAclW(1, &entry, current, &merged);
    if (error != ERROR_SUCCESS) return nullptr;
    return LocalAcl(merged);
}

}  // namespace natives::acl
