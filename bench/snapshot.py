#!/usr/bin/env python3
"""What the three programs do on a fixed set of inputs, written down so that two builds can be
compared line for line: the proof that a change of structure changed no behaviour.

    python3 bench/snapshot.py OUT.txt [--build DIR] [--recordings DIR] [--jobs N]

For every corpus program: zx8xwav's WAV (hash) and lines under a few option sets, zx8xlist's
listing, and zx8xread on recordings of it from two sources (zx8xwav and, where romcheck's romsave
is beside the project, the genuine ROM's SAVE), each clean and damaged several ways, alone, as a
skewed stereo pair, and three at a time with -m; each reading's lines, exit status, files (hash)
and report. The recordings are made once into --recordings and reused, so that two builds read
the very same samples. Needs the benchmark tools (cmake --preset bench && cmake --build --preset
bench) to make recordings, lame for the MP3 rows, and a C++ compiler with libz80ex-dev for romsave.
"""
import argparse
import concurrent.futures
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SHARED = os.path.join(ROOT, '..', 'shared')

DAMAGES = [
    ('clean', ''),
    ('noise10', 'noise 10'),
    ('noise6', 'noise 6'),
    ('worn', 'chain worntape'),
    ('oldtape', 'chain oldtape'),
    ('portable', 'chain portable'),
    ('dropouts', 'dropouts 3 1'),
    ('dips', 'dips 2 -20 30 noise 30'),
    ('speedwow', 'speed 0.9 wow 3 2'),
    ('lowpass', 'lowpass 2000 4'),
    ('humnoise', 'hum -3 noise 14'),
    ('cut', 'cut 0.5'),
    ('mp3', 'MP3'),
]


def run(args, cwd=None):
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=cwd)
    return r.returncode, r.stdout.decode('utf-8', 'replace'), r.stderr.decode('utf-8', 'replace')


def digest(path):
    return hashlib.sha1(open(path, 'rb').read()).hexdigest()


def files_in(folder):
    out = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            out.append('  file %s %s' % (name, digest(path)))
    return out


def stereo(left, right, out, skew_frames):
    """Two mono 16-bit WAVs as one stereo WAV, the right channel `skew_frames` late."""
    with wave.open(left) as l, wave.open(right) as r:
        rate = l.getframerate()
        a = l.readframes(l.getnframes())
        b = r.readframes(r.getnframes())
    b = b'\0\0' * skew_frames + b
    n = max(len(a), len(b)) // 2
    a = a.ljust(2 * n, b'\0')
    b = b.ljust(2 * n, b'\0')
    frames = bytearray()
    for i in range(n):
        frames += a[2 * i:2 * i + 2] + b[2 * i:2 * i + 2]
    with wave.open(out, 'wb') as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def make_recordings(store, programs, damage_tool, romsave):
    """The recordings every build reads: made once."""
    os.makedirs(store, exist_ok=True)
    made = []
    zx8xwav = os.path.join(ROOT, 'build', 'zx8xwav')
    for index, program in enumerate(programs):
        zx81 = '/zx81/' in program
        base = os.path.basename(program)
        sources = []
        folder = os.path.join(store, 'src-' + base)
        os.makedirs(folder, exist_ok=True)
        conv = os.path.join(folder, 'converter.wav')
        if not os.path.exists(conv):
            shutil.copy(program, os.path.join(folder, base))
            run([zx8xwav, '-81' if zx81 else '-80', '-zGAME', os.path.join(folder, base)])
            wav = [f for f in os.listdir(folder) if f.endswith('.wav') and f != 'converter.wav']
            os.rename(os.path.join(folder, wav[0]), conv)
        sources.append(('converter', conv))
        if romsave:
            machine = os.path.join(folder, 'machine.wav')
            rom = os.path.join(SHARED, 'rom', 'zx81_v2.rom' if zx81 else 'zx80.rom')
            args = [romsave, rom, program] + (['GAME', machine] if zx81 else [machine])
            if os.path.exists(machine) or run(args)[0] == 0:
                sources.append(('machine', machine))
        for source, wav in sources:
            for d_index, (label, arguments) in enumerate(DAMAGES):
                out = os.path.join(store, '%s-%s-%s.wav' % (base, source, label))
                if label == 'mp3':
                    out = out[:-4] + '.mp3'
                    if not os.path.exists(out) and shutil.which('lame'):
                        run(['lame', '--quiet', '-b', '64', wav, out])
                elif not os.path.exists(out):
                    run([damage_tool, wav, out] + arguments.split() +
                        ['seed', str(7000 + 100 * d_index + index)])
                if os.path.exists(out):
                    made.append(out)
            pair = os.path.join(store, '%s-%s-stereo.wav' % (base, source))
            if not os.path.exists(pair):
                left = os.path.join(store, '%s-%s-noise10.wav' % (base, source))
                right = os.path.join(store, '%s-%s-worn.wav' % (base, source))
                stereo(left, right, pair, 9)
            made.append(pair)
            made.append(('merge', [os.path.join(store, '%s-%s-%s.wav' % (base, source, d))
                                   for d in ('noise6', 'dropouts', 'worn')]))
    return made


def read_one(build, item, work):
    os.makedirs(work)
    out = os.path.join(work, 'out')
    os.makedirs(out)
    report = os.path.join(work, 'report.json')
    if isinstance(item, tuple):
        args = ['-m'] + item[1]
        label = 'merge ' + ' '.join(os.path.basename(p) for p in item[1])
    else:
        args = [item]
        label = os.path.basename(item)
    code, stdout, stderr = run([os.path.join(build, 'zx8xread'), '-d', out, '--report', report]
                               + args)
    lines = ['read %s: exit %d' % (label, code), stdout, stderr]
    lines += files_in(out)
    if os.path.exists(report):
        lines.append(open(report).read())
        # What the lister makes of each program with the report's doubt.
        for name in sorted(os.listdir(out)):
            lines.append(''.join(run([os.path.join(build, 'zx8xlist'), '--report', report,
                                      os.path.join(out, name)])[1:]))
    shutil.rmtree(work)
    return '\n'.join(lines).replace(work, 'WORK').replace(os.path.dirname(work), 'STORE')


def convert_one(build, program, work):
    os.makedirs(work)
    lines = []
    base = os.path.basename(program)
    for options in ([], ['-zGAME'], ['-80'], ['-81']):
        shutil.copy(program, os.path.join(work, base))
        code, stdout, stderr = run([os.path.join(build, 'zx8xwav')] + options + [base], cwd=work)
        lines += ['convert %s %s: exit %d' % (base, ' '.join(options), code), stdout, stderr]
        lines += files_in(work)
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
    for options in ([], ['--ascii']):
        code, stdout, stderr = run([os.path.join(build, 'zx8xlist')] + options + [program])
        lines += ['list %s %s: exit %d' % (base, ' '.join(options), code), stdout, stderr]
    shutil.rmtree(work)
    return '\n'.join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('out')
    parser.add_argument('--build', default=os.path.join(ROOT, 'build'))
    parser.add_argument('--recordings', default='/tmp/zx8x-snapshot-recordings')
    parser.add_argument('--jobs', type=int, default=os.cpu_count() or 2)
    parser.add_argument('--corpus', default=os.path.join(SHARED, 'corpus'))
    options = parser.parse_args()
    build = os.path.abspath(options.build)

    work = tempfile.mkdtemp(prefix='snapshot_')
    try:
        damage = os.path.join(ROOT, 'build-bench', 'bench', 'damage')  # for new recordings
        romsave = None
        romcheck_dir = os.path.join(SHARED, 'tools', 'romcheck')
        if os.path.exists(os.path.join(romcheck_dir, 'romsave.cpp')):
            romsave = os.path.join(work, 'romsave')
            if run(['c++', '-O2', '-std=c++17', '-o', romsave,
                    os.path.join(romcheck_dir, 'romsave.cpp'), '-l:libz80ex.a'])[0] != 0:
                romsave = None
        programs = sorted(os.path.join(options.corpus, m, f)
                          for m in ('zx81', 'zx80')
                          for f in os.listdir(os.path.join(options.corpus, m)))
        items = make_recordings(options.recordings, programs, damage, romsave)
        with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
            jobs = [pool.submit(convert_one, build, p, os.path.join(work, 'c%d' % i))
                    for i, p in enumerate(programs)]
            jobs += [pool.submit(read_one, build, item, os.path.join(work, 'r%d' % i))
                     for i, item in enumerate(items)]
            results = [j.result() for j in jobs]
        with open(options.out, 'w') as f:
            f.write('\n'.join(results) + '\n')
        print('%d conversions and %d readings written to %s' % (len(programs), len(items),
                                                               options.out))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
