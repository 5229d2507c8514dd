#!/usr/bin/env bash
# CRC-32 throughput of the launcher's implementation against zlib's crc32 (bench/crc_throughput.cpp).
# The host test build carries the sanitizers and no optimisation, which says nothing about
# speed; this builds the benchmark in an optimised host build of its own (build/bench) first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_SANITIZE=OFF -DLAUNCHER_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target crc_throughput >/dev/null
"$build/bin/crc_throughput"
