// Coverage builds only, linked into every program: at the program's start it loads the
// counters' library (coverage_dump.c) from the build tree, wherever the program itself was copied
// to (a media file in a temporary folder), and registers the program's counters with it.
#include <windows.h>

extern void __gcov_dump(void);

typedef void (*DumpFunction)(void);
typedef void (*RegisterFunction)(DumpFunction);

// Referenced from the link line, so that the linker takes this file from its library.
int coverageAtExitAnchor;

static void NTAPI registerAtStart(PVOID module, DWORD reason, PVOID reserved) {
    (void)module;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return;
    char path[] = COVERAGE_DUMP_LIBRARY;
    for (char* c = path; *c; ++c)
        if (*c == '/') *c = '\\';
    const HMODULE library = LoadLibraryA(path);
    const RegisterFunction registerDump =
        library ? (RegisterFunction)(void*)GetProcAddress(library, "coverageDumpAtExit") : NULL;
    if (registerDump) registerDump(__gcov_dump);
}

__attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK coverageAtExitCallback = registerAtStart;
