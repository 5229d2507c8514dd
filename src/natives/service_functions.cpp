#include "natives/service_functions.h"

#include <atomic>

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

std::atomic<const ServiceFunctions*> replacement{nullptr};

}  // namespace

const ServiceFunctions& systemServiceFunctions() {
    static const ServiceFunctions functions = lookUp();
    return functions;
}

const ServiceFunctions& serviceFunctions() {
    const ServiceFunctions* replaced = replacement.load();
    return replaced ? *replaced : systemServiceFunctions();
}

ReplacedServiceFunctions::ReplacedServiceFunctions(const ServiceFunctions& functions)
    : previous_(replacement.exchange(&functions)) {}

ReplacedServiceFunctions::~ReplacedServiceFunctions() { replacement.store(previous_); }

}  // namespace natives
