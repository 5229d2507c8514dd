#!/usr/bin/env bash
# The launcher's memory up to the virtual machine under Wine: private bytes, working set and
# peak working set just before JNI_CreateJavaVM (the stand-in runtime measures its caller on
# entry, STANDIN_ENTRY), and the peak of the private (anonymous) memory during the run, sampled
# from outside every 20 ms. Two media files, each carrying the stand-in runtime: one with 16 MB
# of included files and one with 256 MB; streaming keeps the figures the same for both (below
# 16 MB before the virtual machine wanted). The floor program (bench/launch_floor.cpp, 1 MB
# buffers) is measured the same way: under Wine every process carries Wine's own libraries and
# heaps, so the launcher's own share is the difference to it.
# BUILD=win32|win64 chooses the build measured (by default the shipped 32-bit one where this
# machine runs 32-bit code). BENCH_DIR: where the files go.
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${BENCH_DIR:-/tmp}/memory-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$root/bench/windows_build.sh"
[ -f "$build/runtime.tar.gz" ] && [ -f "$build/bin/launch_floor.exe" ] ||
  { echo "build/$BUILD lacks the stand-in runtime or launch_floor.exe: build it first" >&2; exit 1; }
windows() { echo "Z:${1//\//\\}"; }
unpacked=$(tar -xzOf "$build/runtime.tar.gz" | wc -c)

# media NAME MB: a media file with MB megabytes of included files in four parts and the runtime.
media() {
  local part=$(($2 << 18))
  head -c "$part" /dev/urandom > "$work/part.bin"
  cat > "$work/$1.json" <<JSON
{ "config": { "107": 1, "122": "com.example.InstallerMain", "126": "11", "151": $unpacked, "2001": "i" },
  "files": [ { "name": "cvnruntime.jar", "text": "jar" }, { "name": "cvnparams.conf", "text": "params" },
             { "name": "part1.bin", "source": "$work/part.bin" }, { "name": "part2.bin", "source": "$work/part.bin" },
             { "name": "lib/part3.bin", "source": "$work/part.bin" }, { "name": "part4.bin", "source": "$work/part.bin" },
             { "name": "jre.tar.gz", "source": "$build/runtime.tar.gz" } ] }
JSON
  "$root/build/host/bin/mediatool" build "$work/$1.json" -o "$work/$1.exe" --template "$build/bin/launcher.exe" >/dev/null
  rm -f "$work/part.bin"
}
media small 16
media large 256

/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true
$wine "$build/bin/desktop_warmup.exe" </dev/null >/dev/null 2>&1 &
holder=$!
trap 'kill $holder 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

# measure LABEL COMMAND...: runs the command under Wine with the entry stamp, samples the
# process's anonymous memory until it ends, and prints one line of figures in MB.
measure() {
  local label=$1 peak=0 value pid
  shift
  rm -f "$work/entry.stamp"
  STANDIN_ENTRY=$(windows "$work/entry.stamp") "$wine" "$@" >/dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    value=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$value" ] && [ "$value" -gt "$peak" ] && peak=$value
    [ -s "$work/entry.stamp" ] && break  # the virtual machine's part is not the launcher's
    sleep 0.02
  done
  wait "$pid" 2>/dev/null || true
  [ -s "$work/entry.stamp" ] || { echo "$label did not reach JNI_CreateJavaVM" >&2; exit 1; }
  read -r _ _ private workingSet peakWorkingSet < "$work/entry.stamp"
  awk -v l="$label" -v p="$private" -v w="$workingSet" -v h="$peakWorkingSet" -v a="$peak" 'BEGIN {
    printf "  %-34s %8.1f %8.1f %9.1f %11.1f\n", l, p / 1048576, w / 1048576, h / 1048576, a / 1024 }'
}
cleanLauncher() {
  local log dir
  log=$(ls -t "$WINEPREFIX"/drive_c/users/*/Temp/cvn_nlog_*.log 2>/dev/null | head -1 || true)
  [ -n "$log" ] || return 0
  dir=$(grep -m1 -E "Temp dir[0-9]*: " "$log" | sed -E 's/.*Temp dir[0-9]*: //' | tr -d '\r' || true)
  [ -n "$dir" ] && rm -rf "$($wine winepath -u "$dir" 2>/dev/null)"
  rm -f "$log"
}
echo "Memory in MB: at the entry of JNI_CreateJavaVM (private, working set, peak working set) and the"
echo "peak private (anonymous) memory sampled until then:"
printf '  %-34s %8s %8s %9s %11s\n' "" private "working" "peak WS" "peak priv."
for size in small large; do
  rm -rf "$work/floor"
  measure "floor, $size media" "$build/bin/launch_floor.exe" "$(windows "$work/$size.exe")" "$(windows "$work/floor")"
  rm -rf "$work/floor"
  LUMBRA_LOG=yes measure "launcher, $size media (-q)" "$work/$size.exe" -q
  cleanLauncher
done
echo "(small: 16 MB of included files, large: 256 MB; below 16 MB before the virtual machine wanted)"
