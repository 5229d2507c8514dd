# The same sources built for x86-64: launcher64.exe, and the Windows suite under wine64, which
# runs on every machine (the 32-bit suite only where the machine executes 32-bit code).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
