#!/usr/bin/env bash
# 100 MB (MB) through a named pipe between two processes under Wine, in 64 KB blocks:
# writeDataBlock0/readDataBlock0 called through JNI against plain WriteFile/ReadFile of the same
# pieces, alternating for ROUNDS rounds (default 7) in one run of bench/pipe_blocks_bench.cpp.
# Prints each round and the medians with their ratio (natives / plain; at most 1.10 wanted).
# Run after ./check has built build/win64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$root/build/win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wineserver -p 2>/dev/null || true
/usr/lib/wine/wine64 cmd /c exit 2>/dev/null || true  # warm the wineserver
/usr/lib/wine/wine64 "$root/build/win64/bin/pipe_blocks_bench.exe" "${MB:-100}" "${ROUNDS:-7}" | tr -d '\r'
