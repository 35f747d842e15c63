#!/usr/bin/env bash
# zx8xread's speed and memory on a long recording, side by side with only reading the file:
# a 30-minute 44.1 kHz 16-bit WAV of five copies of one long tape (a 15 KB program of random
# bytes, six minutes of tape each), read 5 times interleaved. Prints the medians, times
# real time, and the peak memory of each.
#
#   bash bench/read_speed.sh [build folder] [runs]     (default: build, 5)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build}")
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

floor=$(realpath "$here/../build-bench/bench/read_floor")
[ -x "$floor" ] || { echo "$floor is missing: cmake --preset bench && cmake --build --preset bench"; exit 2; }
# Random bytes, with E_LINE (bytes 11-12) pointing at the end and the end marker before it, so
# that the reader finds a program on each copy.
python3 -c "
import os, sys
image = bytearray(os.urandom(15000))
image[0] = 0
end = 0x4009 + len(image)
image[11], image[12] = end & 0xFF, end >> 8
image[-1] = 0x80
open(sys.argv[1], 'wb').write(image)" "$work/long.p"
"$build/zx8xwav" -zLONG "$work/long.p" >/dev/null
sox "$work/long.wav" "$work/long.wav" "$work/long.wav" "$work/long.wav" "$work/long.wav" \
    -b 16 -r 44100 "$work/thirty.wav" 2>/dev/null
seconds=$(soxi -D "$work/thirty.wav")

now_ns() { date +%s%N; }
reads=() floors=()
for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out"
    t0=$(now_ns); "$build/zx8xread" -d "$work/out" "$work/thirty.wav" >/dev/null || true; t1=$(now_ns)
    "$floor" "$work/thirty.wav"; t2=$(now_ns)
    reads+=($(((t1 - t0) / 1000000))) floors+=($(((t2 - t1) / 1000000)))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
read_ms=$(median "${reads[@]}")
floor_ms=$(median "${floors[@]}")
rm -rf "$work/out"
read_kb=$( { /usr/bin/time -f %M "$build/zx8xread" -d "$work/out" "$work/thirty.wav" >/dev/null || true; } 2>&1 | tail -1)
floor_kb=$( { /usr/bin/time -f '%M' "$floor" "$work/thirty.wav"; } 2>&1 | tail -1)
printf 'recording          : %.0f s at 44.1 kHz, 16 bits (%d programs found)\n' "$seconds" "$(ls "$work/out" | wc -l)"
awk -v r="$read_ms" -v f="$floor_ms" -v s="$seconds" 'BEGIN {
    printf "zx8xread (median)  : %8d ms, %6.0f times real time\n", r, s * 1000 / r
    printf "reading alone      : %8d ms\n", f
    printf "ratio              : %8.2f\n", r / f
}'
printf 'peak memory        : %8d KiB (reading alone: %d KiB)\n' "$read_kb" "$floor_kb"
