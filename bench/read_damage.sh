#!/usr/bin/env bash
# How well zx8xread reads damaged recordings, against the genuine ROM's own loader where
# ../shared/tools/romcheck exists: every corpus program is converted with zx8xwav (tape name
# GAME), damaged in each way below (sox, lame and bench/damage.cpp), then read by zx8xread (a
# program counts when its file equals the image byte for byte) and loaded by the ROM.
# Prints a table: damage x programs recovered by each, and the programs only the ROM loaded.
#
#   bash bench/read_damage.sh [corpus folder] [jobs]
# Needs build/zx8xwav and build/zx8xread (or the programs named by $ZX8XWAV and $ZX8XREAD), and: apt-get install -y sox libsox-fmt-mp3 lame
# libsndfile1-dev (and libz80ex-dev for the ROM).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
corpus=${1:-$root/../shared/corpus}
jobs=${2:-2}
export ZX8XWAV=${ZX8XWAV:-$root/build/zx8xwav} ZX8XREAD=${ZX8XREAD:-$root/build/zx8xread}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WORK=$work

c++ -O2 -std=c++17 -o "$work/damage" "$here/damage.cpp" -lsndfile
romcheck_dir=$root/../shared/tools/romcheck
export ROMS=$root/../shared/rom ROMCHECK=""
if [ -f "$romcheck_dir/romcheck.cpp" ] && c++ -O2 -std=c++17 -o "$work/romcheck" \
    "$romcheck_dir/romcheck.cpp" -l:libz80ex.a 2>/dev/null; then
    ROMCHECK=$work/romcheck
else
    echo "(no romcheck here: the ROM column stays empty)"
fi

# name | sox effects | damage arguments | mp3 bit rate
damages=(
    "clean|||"
    "resampled to 44.1 kHz|rate 44100||"
    "resampled to 48 kHz|rate 48000||"
    "MP3 128 kbps|||128"
    "white noise 16 dB SNR||noise 16|"
    "white noise 10 dB SNR||noise 10|"
    "white noise 6 dB SNR||noise 6|"
    "speed 0.8|speed 0.8 rate 22050||"
    "speed 0.9|speed 0.9 rate 22050||"
    "speed 1.1|speed 1.1 rate 22050||"
    "speed 1.2|speed 1.2 rate 22050||"
    "wow 4% at 0.5 Hz||wow 4 0.5|"
    "wow 4% at 4 Hz||wow 4 4|"
    "50 Hz hum at -6 dB||hum -6|"
    "low-pass 1.5 kHz|lowpass 1500||"
    "high-pass 300 Hz|highpass 300||"
    "level -40 dB||gain -40|"
    "DC offset 0.3||dc 0.3|"
    "inverted||invert|"
    "MP3 32 kbps|||32"
    "three 1 ms dropouts||dropouts 3 1|"
)

# One program under one damage: prints "READ ROM" flags (1 or 0, - without the ROM).
one() {
    local index=$1 program=$2 damage=$3
    IFS='|' read -r _ effects arguments mp3 <<<"$damage"
    local dir=$WORK/job-$index
    mkdir -p "$dir/out"
    local name machine=-81 rom_file=$ROMS/zx81_v2.rom
    name=$(basename "$program")
    case "$program" in */zx80/*) machine=-80 rom_file=$ROMS/zx80.rom ;; esac
    cp "$program" "$dir/$name"
    "$ZX8XWAV" $machine -zGAME "$dir/$name" >/dev/null
    local wav
    wav=$(ls "$dir"/*.wav)
    python3 -c "
import sys
d = open(sys.argv[1], 'rb').read()
end = (d[11] | d[12] << 8) - 0x4009 if sys.argv[2] == '-81' else (d[10] | d[11] << 8) - 0x4000
open(sys.argv[3], 'wb').write(d[:end])" "$program" "$machine" "$dir/expected"
    local input=$wav
    if [ -n "$effects" ]; then
        sox -q "$wav" -b 16 "$dir/effects.wav" $effects 2>/dev/null
        input=$dir/effects.wav
    fi
    "$WORK/damage" "$input" "$dir/damaged.wav" $arguments seed "$index"
    local recording=$dir/damaged.wav heard=$dir/damaged.wav
    if [ -n "$mp3" ]; then
        lame --quiet -b "$mp3" "$dir/damaged.wav" "$dir/damaged.mp3"
        lame --quiet --decode "$dir/damaged.mp3" "$dir/decoded.wav"
        recording=$dir/damaged.mp3 heard=$dir/decoded.wav
    fi
    local read=0 rom=-
    "$ZX8XREAD" -d "$dir/out" "$recording" >/dev/null 2>&1 || true
    for f in "$dir"/out/*; do
        [ -f "$f" ] && cmp -s "$f" "$dir/expected" && read=1
    done
    if [ -n "$ROMCHECK" ]; then
        rom=0
        "$ROMCHECK" "$rom_file" "$heard" "$dir/expected" >/dev/null 2>&1 && rom=1
    fi
    rm -rf "$dir"
    echo "$read $rom"
}
export -f one

printf '%-26s %8s %8s %8s %9s\n' damage programs zx8xread ROM "ROM only"
total=0 total_read=0 total_rom=0 total_rom_only=0
for damage in "${damages[@]}"; do
    label=${damage%%|*}
    results=$(
        i=0
        for program in "$corpus"/zx81/* "$corpus"/zx80/*; do
            i=$((i + 1))
            printf '%s\0%s\0%s\0' "$i" "$program" "$damage"
        done | xargs -0 -n 3 -P "$jobs" bash -c 'one "$@"' _
    )
    n=$(wc -l <<<"$results")
    read_ok=$(awk '$1 == 1' <<<"$results" | wc -l)
    rom_ok=$(awk '$2 == 1' <<<"$results" | wc -l)
    rom_only=$(awk '$2 == 1 && $1 == 0' <<<"$results" | wc -l)
    [ -z "$ROMCHECK" ] && rom_ok=- rom_only=-
    printf '%-26s %8d %8d %8s %9s\n' "$label" "$n" "$read_ok" "$rom_ok" "$rom_only"
    total=$((total + n))
    total_read=$((total_read + read_ok))
    if [ -n "$ROMCHECK" ]; then
        total_rom=$((total_rom + rom_ok))
        total_rom_only=$((total_rom_only + rom_only))
    fi
done
printf '%-26s %8d %8d %8s %9s\n' "all" "$total" "$total_read" "$total_rom" "$total_rom_only"
awk -v r="$total_read" -v t="$total" 'BEGIN { printf "zx8xread recovered %.1f%% of the damaged recordings\n", 100 * r / t }'
