#!/usr/bin/env bash
# CRC-32 throughput of the launcher's implementation against zlib's crc32 (bench/crc_throughput.cpp),
# both compiled into the same program of the build measured, on the same buffer in one run.
# BUILD=win32|win64 measures that Windows build under Wine (by default the shipped 32-bit one
# where this machine runs 32-bit code); BUILD=host builds the benchmark in an optimised host
# build of its own (build/bench) first, since the host test build carries the sanitizers and no
# optimisation, which says nothing about speed. At least 1.5 times zlib is wanted where the
# processor has carry-less multiply.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
grep -qw pclmulqdq /proc/cpuinfo && echo "the processor has carry-less multiply" ||
  echo "the processor has no carry-less multiply: the table form counts"
if [ "${BUILD:-}" = host ]; then
  build="$root/build/bench"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_SANITIZE=OFF -DLAUNCHER_TESTS=OFF >/dev/null
  fi
  cmake --build "$build" --target crc_throughput >/dev/null
  echo "measuring the optimised host build (build/bench)"
  "$build/bin/crc_throughput"
  exit
fi
. "$root/bench/windows_build.sh"
cmake --build "$build" --target crc_throughput >/dev/null
$wine "$build/bin/crc_throughput.exe" | tr -d '\r'
