#include "natives/account_functions.h"

#include "services/platform.h"

namespace natives {

namespace {

template <class Function>
void take(HMODULE module, const char* name, Function& function) {
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

AccountFunctions lookUp() {
    // Kept loaded: the functions are taken once and used for the rest of the process. By full
    // path, never a netapi32 of that name already loaded from elsewhere.
    const HMODULE netapi = services::loadSystemLibrary(L"netapi32.dll");
    const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    AccountFunctions functions{};
    take(netapi, "NetLocalGroupAdd", functions.netLocalGroupAdd);
    take(netapi, "NetLocalGroupGetInfo", functions.netLocalGroupGetInfo);
    take(netapi, "NetApiBufferFree", functions.netApiBufferFree);
    take(netapi, "NetUserAdd", functions.netUserAdd);
    take(netapi, "NetUserGetInfo", functions.netUserGetInfo);
    take(netapi, "NetLocalGroupAddMembers", functions.netLocalGroupAddMembers);
    take(netapi, "NetUserDel", functions.netUserDel);
    take(netapi, "NetLocalGroupDel", functions.netLocalGroupDel);
    take(advapi, "LookupAccountNameW", functions.lookupAccountName);
    take(advapi, "LsaOpenPolicy", functions.lsaOpenPolicy);
    take(advapi, "LsaAddAccountRights", functions.lsaAddAccountRights);
    take(advapi, "LsaRemoveAccountRights", functions.lsaRemoveAccountRights);
    take(advapi, "LsaClose", functions.lsaClose);
    take(advapi, "LogonUserW", functions.logonUser);
    return functions;
}

}  // namespace

const AccountFunctions& systemAccountFunctions() {
    static const AccountFunctions functions = lookUp();
    return functions;
}

const AccountFunctions& accountFunctions() { return ReplacedAccountFunctions::current(systemAccountFunctions()); }

}  // namespace natives
