#include "natives/shell_functions.h"

#include "services/platform.h"

namespace natives {

const ShellFunctions& shellFunctions() {
    static const ShellFunctions functions = [] {
        services::preloadSystemLibraries();
        const HMODULE shell = services::loadSystemLibrary(L"shell32.dll");
        if (shell == nullptr) return ShellFunctions{};
        ShellFunctions found;
        found.changeNotify =
            reinterpret_cast<ChangeNotifyFunction>(reinterpret_cast<void*>(GetProcAddress(shell, "SHChangeNotify")));
        found.shellExecute =
            reinterpret_cast<ShellExecuteFunction>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteW")));
        return found.changeNotify && found.shellExecute ? found : ShellFunctions{};
    }();
    return functions;
}

}  // namespace natives
