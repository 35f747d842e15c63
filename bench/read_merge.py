#!/usr/bin/env python3
"""How much reading one tape several times helps: every corpus program, from each source, is
damaged three times over (each reading with its own dropouts and noise), then read one reading
at a time and all three together with zx8xread -m. Prints, per damage and source, how many
programs single readings recovered (right, flagged or not) and how many the merge recovered.

    python3 bench/read_merge.py [--source converter|machine|both] [--jobs N] [--set tuning|heldout]
"""
import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_damage  # noqa: E402

DAMAGES = {
    'tuning': [('dropouts and 6 dB noise', 'dropouts 3 1 noise 6')],
    'heldout': [('dips, dropouts and 8 dB noise', 'dips 2 -12 20 dropouts 2 1 noise 8'),
                ('worn tape chain', 'chain worntape')],
}
READINGS = 3


def one(tools, work, index, seed, arguments, program, source):
    wav, expected, _ = read_damage.prepare(tools, work, program, source)
    job = os.path.join(work, 'merge-%d' % index)
    shutil.rmtree(job, ignore_errors=True)
    os.makedirs(job)
    want = open(expected, 'rb').read()
    readings = []
    for k in range(READINGS):
        damaged = os.path.join(job, 'reading%d.wav' % k)
        subprocess.run([tools['damage'], wav, damaged] + arguments.split() +
                       ['seed', str(seed * 10 + k)], stdout=subprocess.DEVNULL)
        readings.append(damaged)

    def recovered(args):
        out = os.path.join(job, 'out')
        shutil.rmtree(out, ignore_errors=True)
        subprocess.run([tools['zx8xread'], '-d', out] + args, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return any(open(os.path.join(out, f), 'rb').read() == want for f in os.listdir(out)) \
            if os.path.isdir(out) else False

    single = sum(1 for r in readings if recovered([r]))
    merged = recovered(['-m'] + readings)
    shutil.rmtree(job, ignore_errors=True)
    return single, merged


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--source', choices=['converter', 'machine', 'both'], default='both')
    parser.add_argument('--jobs', type=int, default=os.cpu_count() or 2)
    parser.add_argument('--set', choices=['tuning', 'heldout'], default='tuning')
    parser.add_argument('--corpus', default=os.path.join(read_damage.SHARED, 'corpus'))
    options = parser.parse_args()
    work = tempfile.mkdtemp(prefix='read_merge_')
    try:
        tools, have_rom = read_damage.build_tools(work, True, False)
        sources = ['converter', 'machine'] if options.source == 'both' else [options.source]
        if not have_rom:
            sources = [s for s in sources if s != 'machine']
        programs = sorted(os.path.join(options.corpus, m, f) for m in ('zx81', 'zx80')
                          for f in os.listdir(os.path.join(options.corpus, m)))
        for source in sources:
            for program in programs:
                read_damage.prepare(tools, work, program, source)
        base = 0 if options.set == 'tuning' else 100000
        print('%-34s %-9s %8s %16s %8s' % ('damage', 'source', 'programs', 'single readings',
                                            'merged'))
        for d_index, (label, arguments) in enumerate(DAMAGES[options.set]):
            for source in sources:
                with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
                    jobs = [pool.submit(one, tools, work, i, base + 1000 * d_index + i + 1,
                                        arguments, program, source)
                            for i, program in enumerate(programs)]
                    results = [j.result() for j in jobs]
                single = sum(r[0] for r in results)
                merged = sum(1 for r in results if r[1])
                n = len(results)
                print('%-34s %-9s %8d %7d/%d %5.1f%% %3d %5.1f%%' % (
                    label, source, n, single, READINGS * n, 100.0 * single / (READINGS * n),
                    merged, 100.0 * merged / n))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
