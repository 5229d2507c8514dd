// Coverage builds only: a library whose detachment at the process's end writes the counters of
// the programs that registered with it. Programs that end with ExitProcess run no exit handler
// of their own, and Wine calls no callback of an executable at that point, but it does detach
// the libraries.
#include <windows.h>

typedef void (*DumpFunction)(void);

static DumpFunction registered[8];
static LONG count;

__declspec(dllexport) void coverageDumpAtExit(DumpFunction dump) {
    const LONG slot = InterlockedIncrement(&count) - 1;
    if (slot < (LONG)(sizeof registered / sizeof registered[0])) registered[slot] = dump;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_DETACH) {
        for (LONG i = 0; i < count && i < (LONG)(sizeof registered / sizeof registered[0]); ++i) registered[i]();
    }
    return TRUE;
}
