#!/usr/bin/env bash
# Verify and extract a media file with 256 MB of included files under Wine, against the
# physical limit under the same Wine (bench/extraction_baseline.cpp: read the file once, then
# read and write the included files with 1 MB buffers). Prints both times and the ratio
# (launcher / baseline; at most 1.10 wanted for verification and extraction, 1.3 for the whole
# run until the runtime choice, against the same baseline built as a GUI program that imports the
# launcher's system libraries, as launch_overhead.sh measures). Run after ./check has built the
# Windows build to measure: BUILD=win32|win64, by default the shipped 32-bit one where it runs.
# BENCH_DIR chooses where the media file and the extracted files go (default /tmp); with
# BENCH_DIR=/dev/shm the disk's write-back leaves the figures alone.
#
# The launcher runs quiet without any Java runtime, so it ends with "No JRE found" (83) where
# the work flow would choose a runtime: its wall time is verification, extraction and start-up.
# A Windows session always has its desktop; under Wine the desktop process starts with the
# first program that needs it and ends with the last, so a holder keeps it for the whole
# benchmark, as for the tests. Otherwise every launcher run would pay Wine's desktop start
# (about half a second) that the console baseline never pays and no Windows user ever sees.
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${BENCH_DIR:-/tmp}/extraction-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$root/bench/windows_build.sh"
[ -f "$build/bin/extraction_baseline_gui.exe" ] || { echo "build/$BUILD lacks extraction_baseline_gui.exe: build it first" >&2; exit 1; }
/usr/lib/wine/wineserver -p 2>/dev/null || true

# Four 64 MB files of varied bytes (compressible data would flatter nobody here: nothing is
# compressed).
for i in 1 2 3 4; do head -c $((64 << 20)) /dev/urandom > "$work/part$i.bin"; done
cat > "$work/bench.json" <<JSON
{ "config": { "107": 1 },
  "files": [ { "name": "part1.bin", "source": "part1.bin" }, { "name": "part2.bin", "source": "part2.bin" },
             { "name": "lib/part3.bin", "source": "part3.bin" }, { "name": "part4.bin", "source": "part4.bin" } ] }
JSON
"$root/build/host/bin/mediatool" build "$work/bench.json" -o "$work/setup.exe" --template "$build/bin/launcher.exe"
rm -f "$work"/part[234].bin  # part1 stays, to compare the extraction with
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver
$wine "$build/bin/desktop_warmup.exe" </dev/null >/dev/null 2>&1 &
holder=$!
trap 'kill $holder 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
fastest() { sort -g | head -1; }
stamp() { sed -E 's/^\[([0-9]+):([0-9]+)\].*/\1 + \2 \/ 1000/' | bc -l; }
# The two programs alternate, fifteen rounds by default (ROUNDS), and medians count: the page
# cache's write-back and the other core's load make single runs vary by half their time. Each
# round's own ratio is kept too: a pair run back to back sees the same machine, so the median
# of those ratios is the steadier figure when the machine's load drifts during the benchmark.
: > "$work/launcher.times"; : > "$work/phase.times"; : > "$work/baseline.times"; : > "$work/inside.times"
: > "$work/read.times"; : > "$work/verify.times"; : > "$work/ratios"; : > "$work/whole.ratios"
: > "$work/guibaseline.times"; : > "$work/gui.ratios"
rounds=${ROUNDS:-15}
for _ in $(seq "$rounds"); do
  rm -rf "$work/baseline"; sync
  start=$(date +%s.%N)
  $wine "$build/bin/extraction_baseline.exe" "$work/setup.exe" "$work/baseline" | tr -d '\r' > "$work/inside"
  read -r total firstPass < "$work/inside"
  echo "$total" >> "$work/inside.times"; echo "$firstPass" >> "$work/read.times"
  echo "$(date +%s.%N) - $start" | bc -l >> "$work/baseline.times"
  rm -rf "$work/baseline"; sync
  start=$(date +%s.%N)
  $wine "$build/bin/extraction_baseline_gui.exe" "$work/setup.exe" "$work/baseline" >/dev/null 2>&1 || true
  echo "$(date +%s.%N) - $start" | bc -l >> "$work/guibaseline.times"
  rm -rf "$work/setup.exe.test"; sync
  LUMBRA_LOG=yes seconds $wine "$work/setup.exe" __cvn_extract_and_exit -q >> "$work/launcher.times"
  # Verification and extraction alone, from the log's own clock ("[s:ms] "). The newest log
  # with the check in it: the clean-up's deletion child may have started a newer one of its own.
  log=$(ls -t "$WINEPREFIX"/drive_c/users/*/Temp/cvn_nlog_*.log | xargs grep -l "verifying integrity" | head -1)
  echo "$(grep -m1 "extracting files done" "$log" | stamp) - $(grep -m1 "verifying integrity" "$log" | stamp)" | bc -l >> "$work/phase.times"
  echo "$(grep -m1 "checksums:" "$log" | stamp) - $(grep -m1 "verifying integrity" "$log" | stamp)" | bc -l >> "$work/verify.times"
  echo "$(tail -1 "$work/phase.times") / $total" | bc -l >> "$work/ratios"
  echo "$(tail -1 "$work/launcher.times") / $(tail -1 "$work/baseline.times")" | bc -l >> "$work/whole.ratios"
  echo "$(tail -1 "$work/launcher.times") / $(tail -1 "$work/guibaseline.times")" | bc -l >> "$work/gui.ratios"
  rm -f "$log"
done
baselinePhase=$(median < "$work/inside.times") phase=$(median < "$work/phase.times")
baselineRead=$(median < "$work/read.times") verify=$(median < "$work/verify.times")
baseline=$(median < "$work/baseline.times") launcher=$(median < "$work/launcher.times")
guiBaseline=$(median < "$work/guibaseline.times")
# A quiet run without a runtime cleans its files up; one more run, untimed, finds the stand-in
# runtime through LUMBRA_JAVA_HOME and ends in extract-and-exit's own way, which keeps them.
rm -rf "$work/setup.exe.test"
LUMBRA_JAVA_HOME="Z:${build//\//\\}\\runtime" $wine "$work/setup.exe" __cvn_extract_and_exit -q >/dev/null 2>&1 || true
cmp "$work/setup.exe.test/part1.bin" "$work/part1.bin" || { echo "the launcher extracted part1.bin wrongly"; exit 1; }
cmp "$work/baseline/part1.bin" "$work/part1.bin" || { echo "the baseline extracted part1.bin wrongly"; exit 1; }
echo "Verification and extraction, inside each process (its own clock), medians of $rounds runs:"
printf '  baseline (read + write, 1 MB buffers)       %6.3f s  (its first read alone %.3f s)\n' "$baselinePhase" "$baselineRead"
printf '  launcher (verify + extract, from its log)   %6.3f s  (verification %.3f s)  ratio %.2f\n' "$phase" "$verify" \
  "$(echo "$phase / $baselinePhase" | bc -l)"
printf '  median of the rounds own ratios                                              %.2f\n' "$(median < "$work/ratios")"
bestBaseline=$(fastest < "$work/inside.times") bestPhase=$(fastest < "$work/phase.times")
printf '  fastest round of each: baseline %.3f s, launcher %.3f s                       %.2f\n' "$bestBaseline" "$bestPhase" \
  "$(echo "$bestPhase / $bestBaseline" | bc -l)"
echo "Whole runs, wall time under Wine (process start and exit included):"
printf '  baseline                                    %6.3f s\n' "$baseline"
printf '  launcher until the runtime choice           %6.3f s  ratio %.2f  (median of the rounds own %.2f)\n' \
  "$launcher" "$(echo "$launcher / $baseline" | bc -l)" "$(median < "$work/whole.ratios")"
printf '  baseline as a GUI program (its libraries)  %6.3f s\n' "$guiBaseline"
printf '  launcher against it (at most 1.3 wanted)              ratio %.2f  (median of the rounds own %.2f)\n' \
  "$(echo "$launcher / $guiBaseline" | bc -l)" "$(median < "$work/gui.ratios")"
