#!/usr/bin/env bash
# Verify and extract a media file with 256 MB of included files under Wine, against the
# physical limit under the same Wine (bench/extraction_baseline.cpp: read the file once, then
# read and write the included files with 1 MB buffers). Prints both times and the ratio
# (launcher / baseline; at most 1.3 wanted). Run after ./check has built build/win64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/extraction-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$root/build/win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
/usr/lib/wine/wineserver -p 2>/dev/null || true

# Four 64 MB files of varied bytes (compressible data would flatter nobody here: nothing is
# compressed).
for i in 1 2 3 4; do head -c $((64 << 20)) /dev/urandom > "$work/part$i.bin"; done
cat > "$work/bench.json" <<JSON
{ "config": { "107": 1 },
  "files": [ { "name": "part1.bin", "source": "part1.bin" }, { "name": "part2.bin", "source": "part2.bin" },
             { "name": "lib/part3.bin", "source": "part3.bin" }, { "name": "part4.bin", "source": "part4.bin" } ] }
JSON
"$root/build/host/bin/mediatool" build "$work/bench.json" -o "$work/setup.exe" --template "$root/build/win64/bin/launcher.exe"
rm -f "$work"/part[234].bin  # part1 stays, to compare the extraction with
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
best() {  # best of three runs of a command, cleaning its output before each
  local cleanup=$1; shift; local best=999999 t
  for _ in 1 2 3; do eval "$cleanup"; sync; t=$(seconds "$@"); best=$(echo "if ($t < $best) $t else $best" | bc -l); done
  echo "$best"
}
launcher=$(best 'rm -rf "$work/setup.exe.test"' $wine "$work/setup.exe" __cvn_extract_and_exit)
baseline=$(best 'rm -rf "$work/baseline"' $wine "$root/build/win64/bin/extraction_baseline.exe" "$work/setup.exe" "$work/baseline")
cmp "$work/setup.exe.test/part1.bin" "$work/part1.bin" || { echo "the launcher extracted part1.bin wrongly"; exit 1; }
printf 'baseline (read + write, 1 MB buffers)  %6.2f s\n' "$baseline"
printf 'launcher (verify + extract)            %6.2f s  ratio %.2f\n' "$launcher" "$(echo "$launcher / $baseline" | bc -l)"
