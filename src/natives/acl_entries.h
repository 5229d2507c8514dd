// The pieces of ACLHandling.addACE that build a DACL: the trustee's SID and the DACL with one
// explicit entry merged in. Kept apart from the native so that the descriptor it builds can be
// examined also where the system does not keep what is set (Wine turns a file's DACL into
// mode bits).
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <memory>
#include <vector>

namespace natives::acl {

// Trustee kinds of the Java side: 1 Authenticated Users (S-1-5-11), 3 the account given (a
// SID string, else an account name on this system), 5 Power Users (S-1-5-32-547), any other
// Everyone (S-1-1-0). Empty when there is no such SID.
std::vector<unsigned char> trusteeSid(int kind, const wchar_t* account);

// GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE and GENERIC_ALL for the flags that are set.
DWORD accessMask(bool read, bool write, bool execute, bool all);

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalAcl = std::unique_ptr<ACL, LocalFreeDeleter>;

// `current` (null: none) with one entry for `sid` merged in by SetEntriesInAclW: the mask, the
// access mode as the Java side passes it (1 GRANT_ACCESS, 2 SET_ACCESS, ...), inherited by
// subcontainers and objects. Null with `error` set when it fails.
LocalAcl mergeEntry(PACL current, DWORD mask, int accessMode, const std::vector<unsigned char>& sid, DWORD& error);

}  // namespace natives::acl
