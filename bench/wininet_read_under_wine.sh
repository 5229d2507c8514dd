#!/usr/bin/env bash
# The tests' large HTTP body from a server on 127.0.0.1 under Wine, in 64 KB pieces: read0 (with
# connect0, openRequest0, sendRequest0) called through JNI against plain WinInet reads of the
# same URL, COUNT downloads (default 8) per round, alternating for ROUNDS rounds (default 7) in
# one run of bench/wininet_read_bench.cpp. Prints each round and the medians with their ratio
# (natives / plain; at most 1.10 wanted). BUILD=win32|win64 chooses the build measured, by
# default the shipped 32-bit one where this machine runs 32-bit code; run after ./check has
# built it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/windows_build.sh"
/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver
$wine "$build/bin/wininet_read_bench.exe" "${COUNT:-8}" "${ROUNDS:-7}" | tr -d '\r'
