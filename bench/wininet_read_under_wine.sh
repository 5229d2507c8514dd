#!/usr/bin/env bash
# The tests' large HTTP body from a server on 127.0.0.1 under Wine, in 64 KB pieces: read0 (with
# connect0, openRequest0, sendRequest0) called through JNI against plain WinInet reads of the
# same URL, COUNT downloads (default 8) per round, alternating for ROUNDS rounds (default 7) in
# one run of bench/wininet_read_bench.cpp. Prints each round and the medians with their ratio
# (natives / plain; at most 1.10 wanted). Run after ./check has built build/win64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$root/build/win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wineserver -p 2>/dev/null || true
/usr/lib/wine/wine64 cmd /c exit 2>/dev/null || true  # warm the wineserver
/usr/lib/wine/wine64 "$root/build/win64/bin/wininet_read_bench.exe" "${COUNT:-8}" "${ROUNDS:-7}" | tr -d '\r'
