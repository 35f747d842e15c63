#!/usr/bin/env bash
# Times the whole program converting the largest possible image (65544 bytes of 0xFF, tape name
# ZZZZZZZZ: 46297096 samples) against the floor of writing a file of the same size from a freshly
# allocated buffer with dd. Runs are interleaved so that both see the same machine load; prints
# the medians and their ratio, and the program's peak memory.
#
#   bash bench/compare.sh [path/to/zx8xwav] [runs]      (default: build/zx8xwav, 11 runs)
set -euo pipefail

program=$(realpath "${1:-build/zx8xwav}")
runs=${2:-11}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 65544 /dev/zero | tr '\0' '\377' >"$work/zzzzzzzz.p"
"$program" "$work/zzzzzzzz.p" >/dev/null
size=$(stat -c %s "$work/zzzzzzzz.wav")

now_ns() { date +%s%N; }
program_times=()
dd_times=()
for ((i = 0; i < runs; i++)); do
    # Each run starts with no dirty pages left to write back from the one before.
    rm -f "$work/zzzzzzzz.wav" "$work/dd.out"
    sync
    t0=$(now_ns)
    "$program" "$work/zzzzzzzz.p" >/dev/null
    t1=$(now_ns)
    sync
    t2=$(now_ns)
    dd if=/dev/zero of="$work/dd.out" bs="$size" count=1 status=none
    t3=$(now_ns)
    program_times+=($(((t1 - t0) / 1000)))
    dd_times+=($(((t3 - t2) / 1000)))
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
program_median=$(median "${program_times[@]}")
dd_median=$(median "${dd_times[@]}")

peak_kb=$( { /usr/bin/time -f '%M' "$program" "$work/zzzzzzzz.p" >/dev/null; } 2>&1 | tail -1)
input_and_buffer_kb=$(((65544 + 46301139) / 1024))

printf 'output file         : %d bytes\n' "$size"
awk -v p="$program_median" -v d="$dd_median" 'BEGIN {
    printf "zx8xwav (median)    : %8.1f ms\n", p / 1000
    printf "dd floor (median)   : %8.1f ms\n", d / 1000
    printf "ratio               : %8.2f\n", p / d
}'
printf 'peak memory         : %8d KiB (input + sample buffer: %d KiB)\n' "$peak_kb" "$input_and_buffer_kb"
