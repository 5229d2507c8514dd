#!/bin/bash
# Peak memory of `mediatool build` with a 1 GB file list and a 256 MB runtime folder against a
# 1 MB + 256 KB baseline, both measured here in the same run. The writer streams every included
# file, and the packer every runtime file, through fixed-size buffers, so the peak should not
# grow with the size of the files: the ratio should stay close to 1 and the large build below
# 64 MB.
#
# usage: bench/mediatool_memory.sh [MEDIATOOL] [WORK_DIR]
#   MEDIATOOL  default: build/host/bin/mediatool (a sanitizer build measures higher; both runs
#              use the same binary, so the ratio still holds)
#   WORK_DIR   default: a new folder under ${TMPDIR:-/tmp}; needs about 1 GB free for the output
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
mediatool=${1:-$root/build/host/bin/mediatool}
limit_kb=$((64 * 1024))

[ -x "$mediatool" ] || { echo "mediatool not found: $mediatool" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is needed to measure peak memory" >&2; exit 1; }

work=${2:-$(mktemp -d "${TMPDIR:-/tmp}/mediatool-bench.XXXXXX")}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# put OFFSET BYTES...: writes octal-escaped bytes into the template at OFFSET.
put() {
    local offset=$1
    shift
    printf "$@" | dd of="$work/launcher.exe" bs=1 seek="$offset" conv=notrunc status=none
}

# A minimal PE image: e_lfanew 0x40, one section of 0x200 raw bytes at 0x200.
truncate -s 1024 "$work/launcher.exe"
put 0 'MZ'
put 60 '\100\000\000\000'
put 64 'PE\000\000\114\001\001\000'
put 104 '\000\002\000\000\000\002\000\000'

# describe NAME SIZE: four sparse included files of SIZE each, a runtime folder (the template
# stands in for its java.exe and jvm.dll) with one more, and a description naming them.
describe() {
    local name=$1 size=$2 i
    mkdir -p "$work/$name/jre/bin/server" "$work/$name/jre/lib"
    for i in 1 2 3 4; do truncate -s "$size" "$work/$name/part$i.bin"; done
    cp "$work/launcher.exe" "$work/$name/jre/bin/java.exe"
    cp "$work/launcher.exe" "$work/$name/jre/bin/server/jvm.dll"
    truncate -s "$size" "$work/$name/jre/lib/modules"
    cat >"$work/$name.json" <<JSON
{ "config": { "101": "memory benchmark" },
  "files": [ { "name": "part1.bin", "source": "$name/part1.bin" },
             { "name": "part2.bin", "source": "$name/part2.bin" },
             { "name": "data/part3.bin", "source": "$name/part3.bin" },
             { "name": "data/part4.bin", "source": "$name/part4.bin" } ],
  "trailing": { "text": "end" },
  "runtime": { "source": "$name/jre" } }
JSON
}

# measure NAME: prints "peak_kb seconds" of one build.
measure() {
    local name=$1
    /usr/bin/time -f '%M %e' -o "$work/$name.time" \
        "$mediatool" build "$work/$name.json" -o "$work/$name.exe" --template "$work/launcher.exe"
    "$mediatool" verify "$work/$name.exe" >/dev/null
    cat "$work/$name.time"
    rm -f "$work/$name.exe"
}

describe baseline 256K
describe large 256M

read -r base_kb base_s < <(measure baseline)
read -r large_kb large_s < <(measure large)

printf 'file list     peak RSS     time\n'
printf '1 MB          %6d KB  %6.2f s\n' "$base_kb" "$base_s"
printf '1 GB          %6d KB  %6.2f s\n' "$large_kb" "$large_s"
awk -v b="$base_kb" -v l="$large_kb" 'BEGIN { printf "peak RSS ratio 1 GB / 1 MB: %.2f\n", l / b }'
if [ "$large_kb" -lt "$limit_kb" ]; then
    echo "1 GB build peak below 64 MB: yes"
else
    echo "1 GB build peak below 64 MB: NO"
    exit 1
fi
