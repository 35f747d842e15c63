#!/usr/bin/env bash
# Times the whole program against two floors, runs interleaved so that all see the same machine
# load, and prints the medians, their ratios and the program's peak memory:
#   - the largest possible image (65544 bytes of 0xFF, tape name ZZZZZZZZ: 46297096 samples);
#   - a 16 KB image (16384 random bytes, about 8.5 MB of WAV);
#   - dd writing a file of the same size as the largest WAV from /dev/zero;
#   - fill_and_write: a small process that fills one fresh buffer of that size and writes it,
#     so that the ratios show how much of the gap to dd is memory and how much the generator.
#
#   bash bench/compare.sh [path/to/zx8xwav] [runs]      (default: build/zx8xwav, 11 runs)
set -euo pipefail

here=$(dirname "$0")
program=$(realpath "${1:-build/zx8xwav}")
runs=${2:-11}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fill_and_write=$(realpath "$here/../build-bench/bench/fill_and_write")
[ -x "$fill_and_write" ] || { echo "$fill_and_write is missing: cmake --preset bench && cmake --build --preset bench"; exit 2; }
head -c 65544 /dev/zero | tr '\0' '\377' >"$work/zzzzzzzz.p"
head -c 16384 /dev/urandom >"$work/sixteen.p"
"$program" "$work/zzzzzzzz.p" >/dev/null
size=$(stat -c %s "$work/zzzzzzzz.wav")

# Runs a command after a sync, so that no dirty pages of the run before are written back during
# it, and prints its wall time in microseconds, read from bash's own clock (no process started).
timed() {
    sync
    local t0=${EPOCHREALTIME/[.,]/}
    "$@" >/dev/null
    local t1=${EPOCHREALTIME/[.,]/}
    echo $((t1 - t0))
}
big_times=() small_times=() dd_times=() floor_times=()
for ((i = 0; i < runs; i++)); do
    rm -f "$work"/*.wav "$work/dd.out" "$work/floor.out"
    big_times+=($(timed "$program" "$work/zzzzzzzz.p"))
    dd_times+=($(timed dd if=/dev/zero of="$work/dd.out" bs="$size" count=1 status=none))
    floor_times+=($(timed "$fill_and_write" "$work/floor.out" "$size"))
    small_times+=($(timed "$program" "$work/sixteen.p"))
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
big=$(median "${big_times[@]}")
small=$(median "${small_times[@]}")
dd_floor=$(median "${dd_times[@]}")
fill_floor=$(median "${floor_times[@]}")

peak_kb=$( { /usr/bin/time -f '%M' "$program" "$work/zzzzzzzz.p" >/dev/null; } 2>&1 | tail -1)
input_and_buffer_kb=$(((65544 + 46301139) / 1024))

printf 'output file             : %d bytes\n' "$size"
awk -v b="$big" -v s="$small" -v d="$dd_floor" -v f="$fill_floor" 'BEGIN {
    printf "zx8xwav, largest (median): %8.1f ms\n", b / 1000
    printf "zx8xwav, 16 KB (median)  : %8.1f ms\n", s / 1000
    printf "dd floor (median)        : %8.1f ms\n", d / 1000
    printf "fill-and-write floor     : %8.1f ms\n", f / 1000
    printf "largest / dd             : %8.2f\n", b / d
    printf "largest / fill-and-write : %8.2f\n", b / f
    printf "fill-and-write / dd      : %8.2f\n", f / d
}'
printf 'peak memory, largest     : %8d KiB (input + sample buffer: %d KiB, +%d%%)\n' "$peak_kb" \
    "$input_and_buffer_kb" $(((peak_kb - input_and_buffer_kb) * 100 / input_and_buffer_kb))
