#!/usr/bin/env bash
# Unpacking an included runtime: a "jre.tar.gz" of about 100 MB in some 3000 files (a runtime's
# libraries and many small text files, the shape of a real runtime) unpacked by the launcher
# under Wine, against GNU "tar -xzf" of the same archive on the host in the same run. Prints both
# times, the ratio (launcher / tar; at most 1.5 wanted) and the progress updates per second the
# startup dialog received. Under Wine every file created costs the better part of a millisecond,
# which no program can avoid, so the script also times the least a Windows program must do for the
# same archive under the same Wine (bench/unpack_baseline.cpp); that ratio counts (at most 1.15
# in the median of the rounds' own ratios), tar's is for information. ROUNDS rounds (5), each
# running the three back to back. Run after ./check has built the Windows build to measure:
# BUILD=win32|win64, by default the shipped 32-bit one where it runs.
#
# Like for like: the floor is a console program without a window that runs in the foreground,
# so the timed launcher runs are quiet ("-q": no startup dialog, whose thread and drawing would
# share the two cores with the unpacking) and in the foreground too, and each of the three starts
# with the disk's write-back of the previous one done and the previous output removed (the
# launcher's clean-up of its extraction folder finishes before the next round starts). One more
# run with the startup dialog, after the timed rounds, gives the progress updates per second and
# its own time for information.
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/jre-unpack-bench.XXXXXX)
. "$root/bench/windows_build.sh"

# The runtime: the installed JDK's lib folder without its one big modules file, and text files
# from /usr/share/doc up to about 40 MB, so that there are thousands of entries.
runtime="$work/rt"
mkdir -p "$runtime/bin" "$runtime/legal"
cp -r /usr/lib/jvm/java-17-openjdk-amd64/lib "$runtime/"
rm -f "$runtime/lib/modules" "$runtime/lib/src.zip"
find "$runtime" -type l -delete
mkdir -p "$runtime/legal"
(cd /usr/share/doc && find . -type f -size -2M -printf '%s\t%P\n' | sort -t "$(printf '\t')" -k2 |
  awk -F '\t' '{ total += $1; if (total > 40000000) full = 1; if (!full) print $2 }' > "$work/docs")
(cd /usr/share/doc && tar -cf - --verbatim-files-from -T "$work/docs") | (cd "$runtime/legal" && tar -xf -)
(cd "$runtime" && tar --format=gnu -czf "$work/jre.tar.gz" .)
bytes=$(du -sb "$runtime" | cut -f1)
files=$(find "$runtime" -type f | wc -l)

# "config 151" is the unpacked size the progress bar is measured against.
cat > "$work/bench.json" <<JSON
{ "config": { "107": 1, "151": $bytes, "2001": "i" },
  "files": [ { "name": "cvnruntime.jar", "text": "jar" }, { "name": "jre.tar.gz", "source": "jre.tar.gz" } ] }
JSON
"$root/build/host/bin/mediatool" build "$work/bench.json" -o "$work/setup.exe" --template "$build/bin/launcher.exe"

/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true
$wine "$build/bin/desktop_warmup.exe" </dev/null >/dev/null 2>&1 &
holder=$!
trap 'kill $holder 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
stamp() { sed -E 's/^\[([0-9]+):([0-9]+)\].*/\1 + \2 \/ 1000/' | bc -l; }
: > "$work/tar.times"; : > "$work/floor.times"; : > "$work/launcher.times"; : > "$work/ratios"
archive=$($wine winepath -w "$work/jre.tar.gz" 2>/dev/null | tr -d '\r')
out=$($wine winepath -w "$work/floor" 2>/dev/null | tr -d '\r')
# The run ends when it finds no usable java.exe in what it unpacked; the log's own clock times
# the unpacking alone. Prints the seconds and the extraction folder the run used.
launcherRun() {
  local log from to dir
  # The newest log of an unpacking: the clean-up's deletion child may have started a newer one.
  log=$(ls -t "$WINEPREFIX"/drive_c/users/*/Temp/cvn_nlog_*.log 2>/dev/null | xargs grep -l "extracting JRE" | head -1 || true)
  grep -q "untaring JRE was successful" "$log" || { echo "the launcher did not unpack the runtime; see $log" >&2; cat "$log" >&2; exit 1; }
  from=$(grep -m1 "extracting JRE" "$log" | stamp)
  to=$(grep -m1 "untaring JRE was" "$log" | stamp)
  echo "$to - $from" | bc -l
  dir=$(grep -m1 "Full JRE path" "$log" | sed -E 's/.*Full JRE path: (.*)\\jre.tar.gz.*/\1/')
  updates=$(grep -m1 "progress updates" "$log" | sed -E 's/.*progress updates: ([0-9]+).*/\1/' || true)
  rm -f "$log"
  extraction=""
  [ -n "$dir" ] && extraction=$($wine winepath -u "$dir" 2>/dev/null | tr -d '\r')
}
# Waits until the run's clean-up (the launcher's own deletions and its deletion child) has
# removed the extraction folder or has deleted nothing more for a second (it leaves a few
# entries of this runtime behind), removes what is left, and writes back the disk.
settle() {
  if [ -n "$extraction" ]; then
    local left=-1 now still=0
    for _ in $(seq 600); do
      [ -d "$extraction" ] || break
      now=$(find "$extraction" 2>/dev/null | wc -l)
      if [ "$now" = "$left" ]; then still=$((still + 1)); [ "$still" -ge 10 ] && break; else still=0; fi
      left=$now
      sleep 0.1
    done
    rm -rf "$extraction"
  fi
  sync
}
for _ in $(seq "${ROUNDS:-5}"); do
  rm -rf "$work/out" && mkdir "$work/out" && sync
  start=$(date +%s.%N)
  tar -xzf "$work/jre.tar.gz" -C "$work/out"
  echo "$(date +%s.%N) - $start" | bc -l >> "$work/tar.times"
  rm -rf "$work/out" "$work/floor" && sync
  floor=$($wine "$build/bin/unpack_baseline.exe" "$archive" "$out" | tr -d '\r')
  echo "$floor" >> "$work/floor.times"
  rm -rf "$work/floor" && sync

  LUMBRA_LOG=yes LUMBRA_JAVA_HOME= $wine "$work/setup.exe" -q >/dev/null 2>&1 || true
  launcherRun > "$work/seconds"
  seconds=$(cat "$work/seconds")
  echo "$seconds" >> "$work/launcher.times"
  echo "$seconds / $floor" | bc -l >> "$work/ratios"
  settle
done

# The run with the startup dialog: it ends in a message box, so it is ended from outside once
# its log has the line after the unpacking, before its clean-up (its extraction folder is
# removed here).
LUMBRA_LOG=yes LUMBRA_JAVA_HOME= $wine "$work/setup.exe" >/dev/null 2>&1 &
launcher=$!
for _ in $(seq 600); do
  log=$(ls -t "$WINEPREFIX"/drive_c/users/*/Temp/cvn_nlog_*.log 2>/dev/null | head -1 || true)
  [ -n "$log" ] && grep -q "progress updates" "$log" && break
  sleep 0.1
done
sleep 0.5; kill $launcher 2>/dev/null || true; wait $launcher 2>/dev/null || true
launcherRun > "$work/seconds"
dialogSeconds=$(cat "$work/seconds")
settle
tarTime=$(median < "$work/tar.times") floorTime=$(median < "$work/floor.times")
launcherTime=$(median < "$work/launcher.times")
echo "medians of ${ROUNDS:-5} rounds"
printf 'runtime: %d files, %.1f MB unpacked, %.1f MB as jre.tar.gz\n' "$files" "$(echo "$bytes / 1000000" | bc -l)" \
  "$(echo "$(stat -c %s "$work/jre.tar.gz") / 1000000" | bc -l)"
printf 'tar -xzf on the host                          %6.2f s\n' "$tarTime"
printf 'the least a Windows program does, under Wine  %6.2f s  (bench/unpack_baseline.cpp)\n' "$floorTime"
printf 'launcher -q under Wine (from its log)         %6.2f s  ratio %.2f to tar, %.2f to the least\n' \
  "$launcherTime" "$(echo "$launcherTime / $tarTime" | bc -l)" "$(echo "$launcherTime / $floorTime" | bc -l)"
printf 'median of the rounds own ratios to the least  %.2f  (at most 1.15 wanted)\n' "$(median < "$work/ratios")"
printf 'one run with the startup dialog               %6.2f s  %d progress updates, %.0f per second\n' \
  "$dialogSeconds" "${updates:-0}" "$(echo "${updates:-0} / $dialogSeconds" | bc -l)"
