// Linked into the GUI floor of launch_overhead.sh: one function of every system library the
// launcher imports, so that the floor starts with the same libraries loaded (and their
// start-up run) as the launcher does before its first line of code.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

namespace bench {

extern void* const launcherImports[];
void* const launcherImports[] = {
    reinterpret_cast<void*>(&MessageBoxW),  reinterpret_cast<void*>(&CreateSolidBrush),
    reinterpret_cast<void*>(&RegCloseKey),  reinterpret_cast<void*>(&CoTaskMemFree),
    reinterpret_cast<void*>(&SysFreeString), reinterpret_cast<void*>(&SHGetStockIconInfo),
};

}  // namespace bench
