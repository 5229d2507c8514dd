#!/usr/bin/env bash
# Open-ended fuzzing of the parsers: each target of tests/fuzz, built with clang and libFuzzer
# under AddressSanitizer and UndefinedBehaviorSanitizer in a build of its own (build/fuzz), runs
# for SECONDS. Prints per target the inputs run, the crashes found, the slowest input and
# libFuzzer's peak memory, then a one-line summary; exits non-zero when any target crashed. An
# input that runs longer than 25 seconds counts as a crash (a timeout); parsers of a few kilobytes
# have no business running that long, even under the sanitizers.
#
# usage: bench/fuzz.sh [SECONDS [TARGET...]]     default: 60 seconds, every target
#        FUZZ_RUNS=N bench/fuzz.sh ...            also stop each target after N inputs
#
# A target whose source has a line "// fuzz options: ..." gets those libFuzzer options as well
# (an input length cap where the work per input grows faster than its length).
#
# Each target's corpus grows across runs in build/fuzz/corpus/<target>, started from the
# target's own seeds. A finding leaves its input in build/fuzz/artifacts/<target>/ (crash-, leak-,
# oom-, timeout- files; slow-unit- files are slow inputs, not counted) and libFuzzer's report in
# build/fuzz/logs/<target>.log. An input put into tests/fuzz/regressions/<target>/ is run by the
# host build's tests from then on.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds=${1:-60}
shift || true
runs=${FUZZ_RUNS:--1}

# clang's libFuzzer and sanitizer runtimes, and what the portable core needs to build.
packages=(clang libclang-rt-14-dev cmake ninja-build zlib1g-dev openjdk-17-jdk-headless)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "missing packages (install them as root): ${missing[*]}" >&2; exit 1; }
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLAUNCHER_LIBFUZZER=ON -DLAUNCHER_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_targets >"$build/build.log" 2>&1 || { cat "$build/build.log" >&2; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for program in "$build"/bin/*_fuzz; do targets+=("$(basename "$program")"); done
fi

mkdir -p "$build/logs"
total_executions=0
total_crashes=0
findings=()
printf '%-26s %12s %8s %9s %10s\n' target executions crashes slowest "peak RSS"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$artifacts"
  "$build/bin/${target}_driver" --write-seeds "$corpus" >/dev/null
  started="$build/logs/$target.started"
  touch "$started"
  read -r -a options <<<"$(sed -n 's|^// fuzz options: ||p' "$root/tests/fuzz/$target.cpp" 2>/dev/null)"
  status=0
  "$build/bin/$target" ${options[@]+"${options[@]}"} -max_total_time="$seconds" -runs="$runs" -timeout=25 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  slowest=$(sed -n 's/^stat::slowest_unit_time_sec: *//p' "$log" | tail -1)
  found=()
  while IFS= read -r file; do found+=("$file"); done < <(find "$artifacts" -type f -newer "$started" \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \) | sort)
  crashes=${#found[@]}
  # A run that failed without leaving an input (libFuzzer refused to start, say) counts too.
  if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then
    crashes=1
    findings+=("$target: libFuzzer exited with $status and left no input; see $log")
  fi
  for file in "${found[@]}"; do
    findings+=("$target: ${file#"$root"/} (report: ${log#"$root"/}; replay: build/fuzz/bin/$target ${file#"$root"/})")
  done
  printf '%-26s %12s %8s %7s s %7s MB\n' "$target" "${executions:-?}" "$crashes" "${slowest:-?}" "${peak:-?}"
  total_executions=$((total_executions + ${executions:-0}))
  total_crashes=$((total_crashes + crashes))
done

for finding in "${findings[@]}"; do echo "  $finding"; done
if [ "$total_crashes" -gt 0 ]; then
  echo "  to keep an input as a regression input: copy it to tests/fuzz/regressions/<target>/ and reconfigure build/host"
fi
echo "fuzz: ${#targets[@]} targets, ${seconds} s each: $total_executions executions, $total_crashes crashes" \
  "(corpus: build/fuzz/corpus, findings: build/fuzz/artifacts)"
[ "$total_crashes" -eq 0 ]
