#!/usr/bin/env python3
"""How well zx8xread reads damaged recordings, and whether it ever calls a wrong program good.

Every corpus program is put on tape by two sources: zx8xwav (tape name GAME) and, where
../shared/tools/romcheck exists, the genuine ROM's own SAVE (romsave, which also writes the image
as it went onto tape). Each recording is damaged in each way of the table (bench/damage.cpp, and
lame for MP3), read by zx8xread, and, where romcheck exists, loaded by the genuine ROM.

A reading is "right" when a file it wrote equals the image up to its E_LINE, and "OK" when its
line says "checks OK". Four columns per damage: right and OK, right but doubtful, wrong and
flagged (nothing right, nothing called good), wrong and OK (a file that is not the program called
good: the one thing that must never happen). "ROM" counts the recordings the ROM loads, "ROM
only" those it loads and zx8xread did not recover.

    python3 bench/read_damage.py [--set tuning|heldout] [--source converter|machine|both]
                                 [--jobs N] [--no-rom] [--every K] [--only TEXT] [--list FILE]

--set heldout runs damages and seeds that no constant was ever tuned on; --set lossy and
--set lossy-heldout do the same for lossy copies (MP3, Ogg Vorbis, Opus: lame, vorbis-tools and
opus-tools). --every K takes every
K-th program only; --only runs the damages whose name holds TEXT (or any of
several joined by '|'); --list writes one line per
reading (damage, source, program, class, checks, worst bit) for calibrating the doubt margin;
--margins also has zx8xread trace each reading (--trace) and gives the traced bits to
bench/read_margins.cpp, which finds the highest margin zx8xread gave a wrong bit, the evidence
the doubt threshold is chosen from.
--setting NAME=VALUE (repeatable) reads with a setting of zx8xread changed, to try a value
without editing code.
Needs build/zx8xwav and build/zx8xread (or $ZX8XWAV, $ZX8XREAD), the benchmark tools (cmake
--preset bench && cmake --build --preset bench, into build-bench/bench/), lame (apt-get install
-y lame), and a C++ compiler with libz80ex-dev for the ROM's tools.
"""
import argparse
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SHARED = os.path.join(ROOT, '..', 'shared')

# name, damage arguments, then the lossy copy made of the damaged recording ('': none; 'mp3 K'
# at K kbps, 'mp3v V' at lame's variable-rate quality V, 'ogg Q' at Vorbis quality Q, 'opus K' at
# K kbps)
TUNING = [
    ('clean', '', ''),
    ('resampled to 44.1 kHz', 'rate 44100', ''),
    ('resampled to 48 kHz', 'rate 48000', ''),
    ('MP3 128 kbps', '', 'mp3 128'),
    ('white noise 16 dB SNR', 'noise 16', ''),
    ('white noise 10 dB SNR', 'noise 10', ''),
    ('white noise 6 dB SNR', 'noise 6', ''),
    ('speed 0.8', 'speed 0.8', ''),
    ('speed 0.9', 'speed 0.9', ''),
    ('speed 1.1', 'speed 1.1', ''),
    ('speed 1.2', 'speed 1.2', ''),
    ('wow 4% at 0.5 Hz', 'wow 4 0.5', ''),
    ('wow 4% at 4 Hz', 'wow 4 4', ''),
    ('50 Hz hum at -6 dB', 'hum -6', ''),
    ('low-pass 1.5 kHz', 'lowpass 1500 2', ''),
    ('low-pass 1.5 kHz 24 dB/oct', 'lowpass 1500 4', ''),
    ('low-pass 2 kHz 24 dB/oct', 'lowpass 2000 4', ''),
    ('high-pass 300 Hz', 'highpass 300 2', ''),
    ('level -40 dB', 'gain -40', ''),
    ('DC offset 0.3', 'dc 0.3', ''),
    ('inverted', 'invert', ''),
    ('MP3 32 kbps', '', 'mp3 32'),
    ('three 1 ms dropouts', 'dropouts 3 1', ''),
    ('worn: hiss 10 dB, 2.5k low-pass, wow', 'noise 10 lowpass 2500 4 wow 2 1', ''),
    ('chain: hi-fi capture', 'chain hifi', ''),
    ('chain: good deck', 'chain gooddeck', ''),
    ('chain: turned head', 'chain turnedhead', ''),
    ('chain: portable with AGC', 'chain portable', ''),
    ('chain: worn tape', 'chain worntape', ''),
    ('chain: old tape, other deck', 'chain oldtape', ''),
    ('dip -20 dB 30 ms, hiss 35 dB', 'dips 1 -20 30 noise 35', ''),
    ('starts mid-program', 'cut 0.5', ''),
]

HELDOUT = [
    ('clean (other seed)', '', ''),
    ('MP3 64 kbps', '', 'mp3 64'),
    ('white noise 8 dB SNR', 'noise 8', ''),
    ('white noise 13 dB SNR', 'noise 13', ''),
    ('low-pass 1.2 kHz 24 dB/oct', 'lowpass 1200 4', ''),
    ('low-pass 1.8 kHz 36 dB/oct', 'lowpass 1800 6', ''),
    ('high-pass 600 Hz 24 dB/oct', 'highpass 600 4', ''),
    ('speed 0.85 and wow 2% at 2 Hz', 'speed 0.85 wow 2 2', ''),
    ('flutter 1% at 10 Hz', 'wow 1 10', ''),
    ('hum -3 dB and noise 14 dB', 'hum -3 noise 14', ''),
    ('clipped at a tenth', 'clip 0.05', ''),
    ('three dips -12 dB 20 ms, hiss 25 dB', 'dips 3 -12 20 noise 25', ''),
    ('resampled to 11.025 kHz', 'rate 11025', ''),
    ('chain: good deck (other seed)', 'chain gooddeck', ''),
    ('chain: turned head (other seed)', 'chain turnedhead', ''),
    ('chain: portable (other seed)', 'chain portable', ''),
    ('chain: worn tape (other seed)', 'chain worntape', ''),
    ('chain: old tape (other seed)', 'chain oldtape', ''),
    ('starts a quarter in', 'cut 0.25', ''),
    ('2.5k low-pass, wow, then 10 dB noise', 'lowpass 2500 4 wow 2 1 noise 10', ''),
]

# Copies as people hold them: lossy codecs, quiet captures, decks. The first set is the one
# constants may be tuned on; the second (other codecs, rates and levels) is only measured.
LOSSY = [
    ('MP3 48 kbps', '', 'mp3 48'),
    ('MP3 96 kbps', '', 'mp3 96'),
    ('Ogg Vorbis quality 0', '', 'ogg 0'),
    ('Ogg Vorbis quality 3', '', 'ogg 3'),
    ('quiet capture -9 dB, MP3 80 kbps', 'gain -9', 'mp3 80'),
    ('hi-fi deck, MP3 80 kbps', 'chain hifi', 'mp3 80'),
    ('Opus 32 kbps', '', 'opus 32'),
    ('Opus 47 kbps', '', 'opus 47'),
    ('Opus 64 kbps', '', 'opus 64'),
    ('MP3 VBR -V 7', '', 'mp3v 7'),
    ('MP3 VBR -V 9', '', 'mp3v 9'),
    ('Opus 40 kbps', '', 'opus 40'),
    ('portable with AGC, MP3 48 kbps', 'chain portable', 'mp3 48'),
    ('worn tape, Ogg quality 0', 'chain worntape', 'ogg 0'),
    ('good deck, Opus 32 kbps', 'chain gooddeck', 'opus 32'),
    ('turned head, Ogg quality 2', 'chain turnedhead', 'ogg 2'),
    ('good deck, MP3 48 kbps', 'chain gooddeck', 'mp3 48'),
    ('MP3 32 kbps', '', 'mp3 32'),
    ('Opus 52 kbps', '', 'opus 52'),
    ('turned head, MP3 80 kbps', 'chain turnedhead', 'mp3 80'),
    ('good deck, MP3 56 kbps', 'chain gooddeck', 'mp3 56'),
    ('turned head, Ogg quality 1.5', 'chain turnedhead', 'ogg 1.5'),
    ('Opus 44 kbps', '', 'opus 44'),
    ('hiss 30 dB, MP3 40 kbps', 'noise 30', 'mp3 40'),
    ('turned head, Opus 48 kbps', 'chain turnedhead', 'opus 48'),
    ('turned head, Ogg quality 0.5', 'chain turnedhead', 'ogg 0.5'),
    ('good deck, MP3 VBR -V 6', 'chain gooddeck', 'mp3v 6'),
    ('turned head, MP3 64 kbps', 'chain turnedhead', 'mp3 64'),
    ('good deck, Opus 40 kbps', 'chain gooddeck', 'opus 40'),
    ('worn tape, MP3 96 kbps', 'chain worntape', 'mp3 96'),
    ('turned head, Ogg quality 1.2', 'chain turnedhead', 'ogg 1.2'),
    ('turned head, Ogg quality 0.8', 'chain turnedhead', 'ogg 0.8'),
    ('good deck, MP3 80 kbps', 'chain gooddeck', 'mp3 80'),
    ('Opus 50 kbps', '', 'opus 50'),
    ('MP3 64 kbps', '', 'mp3 64'),
    ('MP3 60 kbps', '', 'mp3 60'),
    ('MP3 72 kbps', '', 'mp3 72'),
    ('Opus 36 kbps', '', 'opus 36'),
    ('turned head, Ogg quality 1.1', 'chain turnedhead', 'ogg 1.1'),
    ('turned head, Ogg quality 1.3', 'chain turnedhead', 'ogg 1.3'),
    ('turned head, Ogg quality 1.7', 'chain turnedhead', 'ogg 1.7'),
    ('turned head, MP3 48 kbps', 'chain turnedhead', 'mp3 48'),
    ('turned head, Opus 40 kbps', 'chain turnedhead', 'opus 40'),
    ('MP3 44 kbps', '', 'mp3 44'),
    ('MP3 36 kbps', '', 'mp3 36'),
]

LOSSY_HELDOUT = [
    ('MP3 40 kbps', '', 'mp3 40'),
    ('MP3 56 kbps', '', 'mp3 56'),
    ('MP3 112 kbps', '', 'mp3 112'),
    ('Ogg Vorbis quality 1', '', 'ogg 1'),
    ('Ogg Vorbis quality 5', '', 'ogg 5'),
    ('Opus 24 kbps', '', 'opus 24'),
    ('Opus 48 kbps', '', 'opus 48'),
    ('quiet capture -12 dB, Ogg quality 2', 'gain -12', 'ogg 2'),
    ('good deck, MP3 64 kbps', 'chain gooddeck', 'mp3 64'),
    ('hiss 24 dB, MP3 80 kbps', 'noise 24', 'mp3 80'),
    ('MP3 VBR -V 8', '', 'mp3v 8'),
    ('Opus 56 kbps', '', 'opus 56'),
    ('old tape, MP3 56 kbps', 'chain oldtape', 'mp3 56'),
    ('turned head, Ogg quality 1', 'chain turnedhead', 'ogg 1'),
    ('Ogg Vorbis quality 2', '', 'ogg 2'),
    ('good deck, MP3 72 kbps', 'chain gooddeck', 'mp3 72'),
    ('turned head, Ogg quality 1.8', 'chain turnedhead', 'ogg 1.8'),
    ('turned head, MP3 56 kbps', 'chain turnedhead', 'mp3 56'),
    ('worn tape, MP3 128 kbps', 'chain worntape', 'mp3 128'),
    ('hiss 27 dB, Opus 48 kbps', 'noise 27', 'opus 48'),
    ('quiet capture -6 dB, MP3 48 kbps', 'gain -6', 'mp3 48'),
    ('portable with AGC, Opus 64 kbps', 'chain portable', 'opus 64'),
    ('old tape, Ogg quality 3', 'chain oldtape', 'ogg 3'),
]

SETS = {'tuning': TUNING, 'heldout': HELDOUT, 'lossy': LOSSY, 'lossy-heldout': LOSSY_HELDOUT}


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def e_line_image(path, zx81):
    data = open(path, 'rb').read()
    end = (data[11] | data[12] << 8) - 0x4009 if zx81 else (data[10] | data[11] << 8) - 0x4000
    return data[:end]


def prepare(tools, work, program, source):
    """The recording of `program` from `source`, the image a reader must recover, and the ROM."""
    zx81 = '/zx81/' in program
    name = os.path.basename(program)
    folder = os.path.join(work, 'sources', source + '-' + name)
    os.makedirs(folder, exist_ok=True)
    rom = os.path.join(SHARED, 'rom', 'zx81_v2.rom' if zx81 else 'zx80.rom')
    wav = os.path.join(folder, 'tape.wav')
    expected = os.path.join(folder, 'expected')
    if os.path.exists(wav) and os.path.exists(expected):
        return wav, expected, rom  # made once, before the jobs that share it start
    if source == 'converter':
        shutil.copy(program, os.path.join(folder, name))
        run([tools['zx8xwav'], '-81' if zx81 else '-80', '-zGAME', os.path.join(folder, name)])
        made = [f for f in os.listdir(folder) if f.endswith('.wav')][0]
        os.rename(os.path.join(folder, made), wav)
        open(expected, 'wb').write(e_line_image(program, zx81))
    else:
        args = [tools['romsave'], '--saved', expected, rom, program]
        args += ['GAME', wav] if zx81 else [wav]
        if run(args).returncode != 0:
            return None
    return wav, expected, rom


def classify(out_dir, stdout, expected_bytes):
    """right_ok, right_doubtful, wrong_flagged or wrong_ok; the matching line's words."""
    right_line = None
    wrong_ok = False
    detail = []
    for line in stdout.splitlines():
        m = re.match(r'(.*?): (ZX8[01]), .*', line)
        if not m:
            continue
        ok = 'checks OK' in line
        worst = re.search(r'worst bit (\d+)% clear', line)
        checks = 'OK' if ok else ('passed' if 'checks passed' in line else 'failed')
        matches = os.path.exists(m.group(1)) and open(m.group(1), 'rb').read() == expected_bytes
        detail.append((matches, checks, int(worst.group(1)) if worst else -1,
                       'mid-tape' in line))
        if matches and right_line is None:
            right_line = line
        if not matches and ok:
            wrong_ok = True
    if wrong_ok:
        return 'wrong_ok', detail
    if right_line is not None:
        return ('right_ok' if 'checks OK' in right_line else 'right_doubtful'), detail
    return 'wrong_flagged', detail


def lossy_copy(codec, wav, job):
    """The recording copied by a lossy codec, and that copy decoded to a WAV for the ROM."""
    kind, setting = codec.split()
    heard = os.path.join(job, 'decoded.wav')
    if kind in ('mp3', 'mp3v'):
        copy = os.path.join(job, 'copy.mp3')
        run(['lame', '--quiet', '-b' if kind == 'mp3' else '-V', setting, wav, copy])
        run(['lame', '--quiet', '--decode', copy, heard])
    elif kind == 'ogg':
        copy = os.path.join(job, 'copy.ogg')
        run(['oggenc', '--quiet', '-q', setting, '-o', copy, wav])
        run(['oggdec', '--quiet', '-o', heard, copy])
    else:
        copy = os.path.join(job, 'copy.opus')
        run(['opusenc', '--quiet', '--bitrate', setting, wav, copy])
        run(['opusdec', '--quiet', copy, heard])
    return copy, heard


def one(tools, work, index, seed, damage, program, source, rom_on, show, margins, settings):
    label, arguments, codec = damage
    prepared = prepare(tools, work, program, source)
    if prepared is None:
        return None
    wav, expected, rom = prepared
    job = os.path.join(work, 'job-%d' % index)
    shutil.rmtree(job, ignore_errors=True)
    os.makedirs(os.path.join(job, 'out'))
    damaged = os.path.join(job, 'damaged.wav')
    run([tools['damage'], wav, damaged] + arguments.split() + ['seed', str(seed)])
    recording = heard = damaged
    if codec:
        recording, heard = lossy_copy(codec, damaged, job)
    report = os.path.join(job, 'report.json')
    read = [tools['zx8xread'], '-d', os.path.join(job, 'out'), '--report', report]
    for setting in settings:
        read += ['--setting', setting]
    result = run(read + (['--trace'] if margins else []) + [recording])
    kind, detail = classify(job, result.stdout.decode(), open(expected, 'rb').read())
    bits = None  # wrong bits, the highest margin of one, the lowest of a right one
    if margins:
        # The bits come from the reading's own trace: the program of the expected size.
        trace = os.path.join(job, 'trace.txt')
        open(trace, 'wb').write(result.stderr)
        size = os.path.getsize(expected)
        found = [p for p in json.load(open(report))['programs'] if p['size'] == size]
        if found:
            name = ['GAME'] if found[0]['machine'] == 'ZX81' else []
            words = run([tools['read_margins'], trace, str(found[0]['start']), expected] +
                        name).stdout.decode().split()
            if len(words) == 3:
                bits = (int(words[0]), float(words[1]), float(words[2]))
    rom_loaded = None
    if rom_on:
        rom_loaded = run([tools['romcheck'], rom, heard, expected]).returncode == 0
    shutil.rmtree(job, ignore_errors=True)
    if show and not kind.startswith('right'):
        print('%s | %s | %s | seed %d | exit %d%s | %s %s' % (
            label, source, program, seed, result.returncode,
            ' | ROM loads' if rom_loaded else '', result.stdout.decode().strip()[:160],
            result.stderr.decode().strip()[-100:]))
    return label, source, os.path.basename(program), kind, detail, rom_loaded, bits


def bench_tool(name):
    """A benchmark tool built by the bench preset."""
    path = os.path.join(ROOT, 'build-bench', 'bench', name)
    if not os.path.exists(path):
        sys.exit('%s is missing: cmake --preset bench && cmake --build --preset bench' % path)
    return path


def build_tools(work, want_rom, margins):
    tools = {
        'zx8xwav': os.environ.get('ZX8XWAV', os.path.join(ROOT, 'build', 'zx8xwav')),
        'zx8xread': os.environ.get('ZX8XREAD', os.path.join(ROOT, 'build', 'zx8xread')),
        'damage': bench_tool('damage'),
    }
    if margins:
        tools['read_margins'] = bench_tool('read_margins')
    romcheck_dir = os.path.join(SHARED, 'tools', 'romcheck')
    have_rom = os.path.exists(os.path.join(romcheck_dir, 'romcheck.cpp'))
    for tool in ('romcheck', 'romsave'):
        tools[tool] = os.path.join(work, tool)
        if have_rom and run(['c++', '-O2', '-std=c++17', '-o', tools[tool],
                             os.path.join(romcheck_dir, tool + '.cpp'),
                             '-l:libz80ex.a']).returncode != 0:
            have_rom = False
    return tools, have_rom


def report_margins(results):
    """The evidence for the doubt threshold: how clear the wrong bits looked, and how many right
    programs a threshold would put in doubt."""
    wrong = [(r[6][1], r) for r in results if r[6] and r[6][0] > 0]
    print('readings of the right size with wrong bits: %d, %d bits' % (
        len(wrong), sum(r[6][0] for _, r in wrong)))
    for margin, r in sorted(wrong, key=lambda w: -w[0])[:5]:
        print('  highest margin of a byte holding a wrong bit: %.3f (%s, %s, %s)' % (margin, r[0], r[1], r[2]))
    passed = [(w, r) for r in results for matches, checks, w, _ in r[4]
              if not matches and checks != 'failed']
    print('wrong programs that passed every check: %d; their highest worst bit: %s%%' % (
        len(passed), max((w for w, _ in passed), default='-')))
    right = [r[6][2] for r in results if r[6] and r[6][0] == 0]
    for threshold in (0.1, 0.2, 0.3, 0.4, 0.5):
        print('  doubt below %.0f%%: %d of %d right readings have a bit in doubt' % (
            100 * threshold, sum(1 for m in right if m < threshold), len(right)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--set', choices=sorted(SETS), default='tuning')
    parser.add_argument('--source', choices=['converter', 'machine', 'both'], default='both')
    parser.add_argument('--jobs', type=int, default=os.cpu_count() or 2)
    parser.add_argument('--no-rom', action='store_true')
    parser.add_argument('--every', type=int, default=1)
    parser.add_argument('--repeat', type=int, default=1,
                        help='read each program under each damage this many times, seeds apart')
    parser.add_argument('--only', default='')
    parser.add_argument('--list', default='')
    parser.add_argument('--margins', action='store_true',
                        help='find the highest margin given to a wrong bit')
    parser.add_argument('--show', action='store_true',
                        help='print each reading that did not recover its program, with its seed')
    parser.add_argument('--corpus', default=os.path.join(SHARED, 'corpus'))
    parser.add_argument('--setting', action='append', default=[],
                        help='NAME=VALUE: read with a setting of zx8xread changed')
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix='read_damage_')
    try:
        tools, have_rom = build_tools(work, not options.no_rom, options.margins)
        sources = ['converter', 'machine'] if options.source == 'both' else [options.source]
        if not have_rom and 'machine' in sources:
            print('(no romcheck here: the machine\'s own signal and the ROM column are left out)')
            sources = [s for s in sources if s != 'machine']
        rom_on = have_rom and not options.no_rom
        programs = sorted(os.path.join(options.corpus, m, f)
                          for m in ('zx81', 'zx80')
                          for f in os.listdir(os.path.join(options.corpus, m)))
        programs = programs[::options.every]
        full_table = SETS[options.set]
        table = [d for d in full_table if any(t in d[0] for t in options.only.split('|'))]
        seed_base = {'tuning': 0, 'heldout': 100000, 'lossy': 200000, 'lossy-heldout': 300000}[
            options.set]
        for source in sources:  # sources are made once, before the jobs share them
            for program in programs:
                prepare(tools, work, program, source)

        jobs = []
        with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
            index = 0
            for damage in table:
                d_index = full_table.index(damage)  # seeds do not depend on --only
                for source in sources:
                    for p_index, program in enumerate(programs):
                        for repeat in range(options.repeat):
                            index += 1
                            seed = seed_base + 1000 * d_index + 100 * repeat + p_index + 1
                            jobs.append(pool.submit(one, tools, work, index, seed, damage,
                                                    program, source, rom_on, options.show,
                                                    options.margins, options.setting))
            results = [j.result() for j in jobs]
        results = [r for r in results if r is not None]

        listing = open(options.list, 'w') if options.list else None
        print('%-36s %-9s %5s %6s %8s %8s %6s %5s %5s' % (
            'damage', 'source', 'progs', 'right', 'right', 'wrong', 'wrong', 'ROM', 'ROM'))
        print('%-36s %-9s %5s %6s %8s %8s %6s %5s %5s' % (
            '', '', '', 'OK', 'doubtful', 'flagged', 'OK', '', 'only'))
        totals = {}
        for damage in table:
            for source in sources:
                rows = [r for r in results if r[0] == damage[0] and r[1] == source]
                count = {k: sum(1 for r in rows if r[3] == k)
                         for k in ('right_ok', 'right_doubtful', 'wrong_flagged', 'wrong_ok')}
                rom = sum(1 for r in rows if r[5])
                rom_only = sum(1 for r in rows if r[5] and not r[3].startswith('right'))
                print('%-36s %-9s %5d %6d %8d %8d %6d %5s %5s' % (
                    damage[0][:36], source, len(rows), count['right_ok'],
                    count['right_doubtful'], count['wrong_flagged'], count['wrong_ok'],
                    rom if rom_on else '-', rom_only if rom_on else '-'))
                goal = damage[2] != 'mp3 32' and 'mid' not in damage[0] and 'quarter in' not in damage[0]
                t = totals.setdefault(source, {'n': 0, 'right': 0, 'wrong_ok': 0, 'goal_n': 0,
                                               'goal_right': 0, 'rom_only': 0})
                t['n'] += len(rows)
                t['right'] += count['right_ok'] + count['right_doubtful']
                t['wrong_ok'] += count['wrong_ok']
                t['rom_only'] += rom_only
                if goal:
                    t['goal_n'] += len(rows)
                    t['goal_right'] += count['right_ok'] + count['right_doubtful']
                if listing:
                    for r in rows:
                        for matches, checks, worst, mid in r[4]:
                            listing.write('%s\t%s\t%s\t%s\t%s\t%s\t%d\t%s\t%s\n' % (
                                damage[0], source, r[2], r[3], 'right' if matches else 'wrong',
                                checks, worst, 'mid-tape' if mid else '',
                                '%d %.3f %.3f' % r[6] if r[6] else ''))
        for source, t in totals.items():
            print('%s: recovered %d of %d (%.1f%%); outside MP3 32 kbps and mid-program starts '
                  '%d of %d (%.1f%%); wrong and called OK: %d; ROM only: %s' % (
                      source, t['right'], t['n'], 100.0 * t['right'] / max(1, t['n']),
                      t['goal_right'], t['goal_n'], 100.0 * t['goal_right'] / max(1, t['goal_n']),
                      t['wrong_ok'], t['rom_only'] if rom_on else '-'))
        if options.margins:
            report_margins(results)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
