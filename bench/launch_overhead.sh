#!/usr/bin/env bash
# From process start to the virtual machine: a 50 MB media file carrying the stand-in runtime as
# its "jre.tar.gz", run quiet ("-q") under Wine, from the moment the process is started to the
# moment the stand-in's JNI_CreateJavaVM is entered (it stamps the time, STANDIN_ENTRY), against
# the floor measured in the same run (bench/launch_floor.cpp: the same reads and writes, the
# runtime unpacked, the same jvm.dll loaded and the same export called). Prints the floor, the
# launcher, the difference (at most 50 ms wanted) and the launcher's time by phase from its log
# clock beside the floor's own steps, which says where the difference goes. The launcher's time
# counts from a run without its log, as users run it; a second run per round with the log
# ("LUMBRA_LOG") gives the phases and what the log itself costs.
#
# The floor runs twice per round: as a console program, and as a GUI-subsystem program that
# imports the system libraries the launcher imports (launch_floor_gui). The goal is measured
# against the GUI floor. The launcher is a GUI program with dialogs, natives and message boxes,
# so it imports user32, gdi32, ole32, oleaut32 and shell32, and under Wine those libraries'
# own start-up (gdi32's fonts, user32's window station) comes before any program's first line;
# the console floor pays part of it later, when the runtime's jvm.dll (which imports user32,
# the real one as the stand-in) loads, and the rest never. The subsystem itself costs nothing
# measurable; the libraries do. Both differences are printed.
#
# BUILD=win32|win64 chooses the build measured (by default the shipped 32-bit one where this
# machine runs 32-bit code), ROUNDS the rounds (9); medians count, and each round's own
# difference is kept, since the load of a shared machine drifts. BENCH_DIR: where the files go.
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${BENCH_DIR:-/tmp}/launch-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$root/bench/windows_build.sh"
[ -f "$build/runtime.tar.gz" ] && [ -f "$build/bin/launch_floor.exe" ] ||
  { echo "build/$BUILD lacks the stand-in runtime or launch_floor.exe: build it first" >&2; exit 1; }
[ -f "$build/bin/launch_floor_gui.exe" ] || { echo "build/$BUILD lacks launch_floor_gui.exe: build it first" >&2; exit 1; }
windows() { echo "Z:${1//\//\\}"; }

# 50 MB in all: the runtime archive, the installer runtime's two files and varied bytes.
archiveBytes=$(stat -c %s "$build/runtime.tar.gz")
head -c $(((50 << 20) - archiveBytes)) /dev/urandom > "$work/data.bin"
unpacked=$(tar -xzOf "$build/runtime.tar.gz" | wc -c)
cat > "$work/bench.json" <<JSON
{ "config": { "107": 1, "122": "com.example.InstallerMain", "126": "11", "151": $unpacked, "2001": "i" },
  "files": [ { "name": "cvnruntime.jar", "text": "jar" }, { "name": "cvnparams.conf", "text": "params" },
             { "name": "data.bin", "source": "$work/data.bin" }, { "name": "jre.tar.gz", "source": "$build/runtime.tar.gz" } ] }
JSON
"$root/build/host/bin/mediatool" build "$work/bench.json" -o "$work/setup.exe" --template "$build/bin/launcher.exe" >/dev/null
rm -f "$work/data.bin"
echo "media file: $(($(stat -c %s "$work/setup.exe") >> 20)) MB, runtime archive $((archiveBytes >> 10)) KB"

/usr/lib/wine/wineserver -p 2>/dev/null || true
$wine cmd /c exit 2>/dev/null || true  # warm the wineserver
$wine "$build/bin/desktop_warmup.exe" </dev/null >/dev/null 2>&1 &
holder=$!
trap 'kill $holder 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
stamp() { sed -E 's/^\[([0-9]+):([0-9]+)\].*/\1 + \2 \/ 1000/' | bc -l; }
at() { grep -m1 "$1" "$log" | stamp; }
# entered SECONDS_STARTED STAMP_FILE: seconds from the start to the stand-in's entry stamp, and
# from the process's own creation time to it.
entered() { read -r entry created _ < "$2"; echo "$entry - $1" | bc -l; echo "$entry - $created" | bc -l; }
: > "$work/floor.times"; : > "$work/launcher.times"; : > "$work/differences"
: > "$work/floor.inside"; : > "$work/launcher.inside"; : > "$work/logcost.times"
: > "$work/guifloor.times"; : > "$work/guifloor.inside"; : > "$work/guidifferences"
# runFloor PROGRAM NAME: one run of a floor program from a clean output folder, its steps in
# "$work/steps"; prints what `entered` prints.
runFloor() {
  rm -rf "$work/floor"; sync
  local start
  start=$(date +%s.%N)
  STANDIN_ENTRY=$(windows "$work/$2.stamp") $wine "$build/bin/$1.exe" "$(windows "$work/setup.exe")" \
    "$(windows "$work/floor")" | tr -d '\r' > "$work/steps"
  [ -s "$work/$2.stamp" ] || { echo "$1 did not reach JNI_CreateJavaVM" >&2; exit 1; }
  entered "$start" "$work/$2.stamp"
}
temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | head -1)
phases=(prelog startup verify extract unpack search options)
for p in "${phases[@]}" read write funpack load startup-console startup-gui; do : > "$work/$p.times"; done
rounds=${ROUNDS:-9}
for _ in $(seq "$rounds"); do
  rm -f "$work"/*.stamp
  runFloor launch_floor floor > "$work/entered"
  { read -r floor; read -r floorInside; } < "$work/entered"
  read -r _ _ _ _ consoleStartup < "$work/steps"
  echo "$consoleStartup" >> "$work/startup-console.times"

  runFloor launch_floor_gui guifloor > "$work/entered"
  { read -r guiFloor; read -r guiFloorInside; } < "$work/entered"
  read -r r w u l guiStartup < "$work/steps"
  echo "$r" >> "$work/read.times"; echo "$w" >> "$work/write.times"; echo "$u" >> "$work/funpack.times"; echo "$l" >> "$work/load.times"
  echo "$guiStartup" >> "$work/startup-gui.times"

  # The runs' extraction folders are whatever is new in the temporary folder afterwards.
  ls -d "$temp"/lmb* 2>/dev/null | sort > "$work/before" || true
  sync
  start=$(date +%s.%N)
  STANDIN_ENTRY=$(windows "$work/launcher.stamp") LUMBRA_LOG= $wine "$work/setup.exe" -q >/dev/null 2>&1 || true
  [ -s "$work/launcher.stamp" ] || { echo "the launcher did not reach JNI_CreateJavaVM" >&2; exit 1; }
  { read -r launcher; read -r launcherInside; } < <(entered "$start" "$work/launcher.stamp")
  ls -d "$temp"/lmb* 2>/dev/null | sort | comm -13 "$work/before" - | xargs -r rm -rf || true

  sync
  start=$(date +%s.%N)
  STANDIN_ENTRY=$(windows "$work/logged.stamp") LUMBRA_LOG=yes $wine "$work/setup.exe" -q >/dev/null 2>&1 || true
  [ -s "$work/logged.stamp" ] || { echo "the launcher did not reach JNI_CreateJavaVM" >&2; exit 1; }
  { read -r logged; read -r loggedInside; } < <(entered "$start" "$work/logged.stamp")
  echo "$logged - $launcher" | bc -l >> "$work/logcost.times"
  log=$(ls -t "$temp"/cvn_nlog_*.log | head -1)
  created=$(at "Creating JVM")
  { echo "$loggedInside - $created"; echo "$(at "starting at")"; echo "$(at "checksums:") - $(at "starting at")"
    echo "$(at "extracting files done") - $(at "checksums:")"; echo "$(at "untaring JRE was") - $(at "extracting files done")"
    echo "$(at "launching program") - $(at "untaring JRE was")"; echo "$created - $(at "launching program")"; } |
    bc -l | paste - - - - - - - > "$work/phase"
  read -r -a values < "$work/phase"
  for i in "${!phases[@]}"; do echo "${values[$i]}" >> "$work/${phases[$i]}.times"; done
  # The Java side owns the extraction folder after a launch; the benchmark removes it.
  ls -d "$temp"/lmb* 2>/dev/null | sort | comm -13 "$work/before" - | xargs -r rm -rf || true
  rm -f "$log"
  echo "$floor" >> "$work/floor.times"; echo "$launcher" >> "$work/launcher.times"
  echo "$floorInside" >> "$work/floor.inside"; echo "$launcherInside" >> "$work/launcher.inside"
  echo "$launcher - $floor" | bc -l >> "$work/differences"
  echo "$guiFloor" >> "$work/guifloor.times"; echo "$guiFloorInside" >> "$work/guifloor.inside"
  echo "$launcher - $guiFloor" | bc -l >> "$work/guidifferences"
done
ms() { printf '%6.0f ms' "$(echo "$1 * 1000" | bc -l)"; }
floor=$(median < "$work/floor.times") launcher=$(median < "$work/launcher.times") guiFloor=$(median < "$work/guifloor.times")
echo "Process start to JNI_CreateJavaVM under Wine, medians of $rounds rounds:"
echo "  floor, console program                    $(ms "$floor")   ($(ms "$(median < "$work/floor.inside")") from its creation time)"
echo "  floor, GUI program, launcher's libraries  $(ms "$guiFloor")   ($(ms "$(median < "$work/guifloor.inside")") from its creation time)"
echo "  launcher, quiet                           $(ms "$launcher")   ($(ms "$(median < "$work/launcher.inside")") from its creation time)"
echo "  difference to the GUI floor (the goal)    $(ms "$(echo "$launcher - $guiFloor" | bc -l)")   median of the rounds' own: $(ms "$(median < "$work/guidifferences")")  (at most 50 ms wanted)"
echo "  difference to the console floor           $(ms "$(echo "$launcher - $floor" | bc -l)")   median of the rounds' own: $(ms "$(median < "$work/differences")")"
echo "Where the time goes (medians), the launcher from its log clock beside the GUI floor's steps"
echo "(the log itself costs the logged run $(ms "$(median < "$work/logcost.times")") more):"
echo "  before the log opens (process start-up)   $(ms "$(median < "$work/prelog.times")")   GUI floor before its first line $(ms "$(median < "$work/startup-gui.times")"), console floor's $(ms "$(median < "$work/startup-console.times")")"
echo "  start-up until verification               $(ms "$(median < "$work/startup.times")")"
echo "  verification                              $(ms "$(median < "$work/verify.times")")   floor read     $(ms "$(median < "$work/read.times")")"
echo "  extraction                                $(ms "$(median < "$work/extract.times")")   floor write    $(ms "$(median < "$work/write.times")")"
echo "  runtime unpacking                         $(ms "$(median < "$work/unpack.times")")   floor unpack   $(ms "$(median < "$work/funpack.times")")"
echo "  search and probe (java -version, load)    $(ms "$(median < "$work/search.times")")   floor load+call $(ms "$(median < "$work/load.times")")"
echo "  option assembly                           $(ms "$(median < "$work/options.times")")"
