#include "natives/service_functions.h"

namespace natives {

namespace {

ServiceFunctions lookUp() {
    ServiceFunctions functions{};
    functions.openManager = &OpenSCManagerW;
    functions.changeServiceConfig = &ChangeServiceConfigW;
    if (const HMODULE advapi = GetModuleHandleW(L"advapi32.dll")) {
        functions.changeServiceConfig2 = reinterpret_cast<decltype(functions.changeServiceConfig2)>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "ChangeServiceConfig2W")));
    }
    return functions;
}

}  // namespace

const ServiceFunctions& systemServiceFunctions() {
    static const ServiceFunctions functions = lookUp();
    return functions;
}

const ServiceFunctions& serviceFunctions() { return ReplacedServiceFunctions::current(systemServiceFunctions()); }

}  // namespace natives
