#!/usr/bin/env bash
# Line and function coverage of src/, measured: builds instrumented copies (GCC's --coverage) of
# the host tests and of the Windows suites, runs them, and prints the coverage per folder of
# src/ and per natives file, with the natives no test entered; an HTML report of each lands in
# build/coverage/<suite>/index.html. Not part of ./check: the Windows suites take the better
# part of an hour each when instrumented. The counters go through lcov (gcov's reports merged
# per source file, however many programs compiled it).
#   bench/coverage.sh [host] [win64] [win32]
# Without arguments: host, win64, and win32 where this machine runs 32-bit code and has the
# i386 Wine. The builds are build/coverage-<suite>; their counters start from zero each run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/install-packages.sh
command -v lcov >/dev/null || { DEBIAN_FRONTEND=noninteractive apt-get -y -qq install lcov >/dev/null; }

suites=("$@")
if [ ${#suites[@]} -eq 0 ]; then
  suites=(host win64)
  if tools/runs-32bit-code >/dev/null && [ -x /usr/lib/wine/wine ]; then suites+=(win32); fi
fi

mkdir -p build/coverage
for suite in "${suites[@]}"; do
  dir=build/coverage-$suite
  case "$suite" in
    host) options=(-DLAUNCHER_SANITIZE=OFF); gcov=gcov ;;
    win64) options=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake"); gcov=x86_64-w64-mingw32-gcov-posix ;;
    win32) options=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake"); gcov=i686-w64-mingw32-gcov-posix ;;
    *) echo "coverage: a suite is host, win64 or win32, not '$suite'"; exit 2 ;;
  esac
  echo "coverage: building $dir"
  [ -f "$dir/build.ninja" ] ||
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLAUNCHER_COVERAGE=ON "${options[@]}" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$(nproc)" >"$dir.build.log" 2>&1 || { grep -E "error|FAILED" -A3 "$dir.build.log" | head -40; exit 1; }
  find "$dir" -name '*.gcda' -delete
  echo "coverage: running the $suite tests"
  if [ "$suite" = host ]; then
    (cd "$dir" && ctest -j "$(nproc)" >"../coverage-$suite.tests.log" 2>&1) || echo "coverage: some host tests failed (build/coverage-$suite.tests.log)"
  else
    BUILD=coverage-$suite tests/run-windows-tests >"build/coverage-$suite.tests.log" 2>&1 ||
      echo "coverage: some $suite tests failed (build/coverage-$suite.tests.log)"
    WINEPREFIX="$root/$dir/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
  grep -E "tests passed" "build/coverage-$suite.tests.log" | tail -1 || true
  # lcov's own tools print warnings of their Perl about redefined subroutines: not ours.
  # Each compiler's counters are read by its own gcov.
  lcov --capture --quiet --gcov-tool "$gcov" --directory "$dir" --output-file "build/coverage/$suite.all.info" 2>/dev/null
  lcov --extract "build/coverage/$suite.all.info" "$root/src/*" --quiet --output-file "build/coverage/$suite.info" 2>/dev/null
  genhtml --quiet --output-directory "build/coverage/$suite" "build/coverage/$suite.info" 2>/dev/null
  python3 bench/coverage_summary.py "build/coverage/$suite.info" "$root" "$suite"
done
