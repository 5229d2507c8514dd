#!/usr/bin/env bash
# 100 MB (MB) through a named pipe between two processes under Wine, in 64 KB blocks:
# writeDataBlock0/readDataBlock0 called through JNI against plain WriteFile/ReadFile of the same
# pieces, alternating for ROUNDS rounds (default 7) in one run of bench/pipe_blocks_bench.cpp.
# Prints each round, the medians with their ratio (natives / plain; at most 1.10 wanted) and what
# the block pattern, its flush and the natives themselves add per block.
# BUILD=win32|win64 chooses the build measured, by default the shipped 32-bit one where this
# machine runs 32-bit code; run after ./check has built it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/windows_build.sh"
/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver
$wine "$build/bin/pipe_blocks_bench.exe" "${MB:-100}" "${ROUNDS:-7}" | tr -d '\r'
