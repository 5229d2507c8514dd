#!/usr/bin/env bash
# The search for a runtime over ten candidates under Wine (bench/runtime_search_bench.cpp): cold,
# every candidate's java.exe started for its version, against the search right after it with the
# version cache filled, which must start no process at all. BUILD=win32|win64 chooses the build
# measured, by default the shipped 32-bit one where this machine runs 32-bit code; ROUNDS (7).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/windows_build.sh"
/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver
$wine "$build/bin/runtime_search_bench.exe" "${ROUNDS:-7}" | tr -d '\r'
