#!/usr/bin/env bash
# The sweep of ended runs' leftovers under Wine (bench/sweep_bench.cpp): with 0, 1 and 50
# leftovers in a temporary folder that holds other programs' files too, against a plain listing
# and plain deletions of the same trees. BUILD=win32|win64 chooses the build measured, by
# default the shipped 32-bit one where this machine runs 32-bit code; ROUNDS (7).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/windows_build.sh"
/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver
$wine "$build/bin/sweep_bench.exe" "${ROUNDS:-7}" | tr -d '\r'
