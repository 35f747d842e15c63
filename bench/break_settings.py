#!/usr/bin/env python3
"""Which test catches each of zx8xread's settings when it is broken: every setting in
src/read/settings.h is multiplied by a large factor (and, where no test fails, divided by it) in a
scratch copy of the tree, the reader's tests are rebuilt and run, and the tests that fail are
listed. A setting no test catches is a rule nobody checks.

    python3 bench/break_settings.py [--factor 4] [--only NAME]

Takes about half a minute per setting and factor on two cores.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SETTING = re.compile(r'(double|int) ([A-Za-z]+) = ([0-9.e+-]+)')


def settings(header):
    return [(m.group(1), m.group(2), m.group(3)) for m in SETTING.finditer(header)]


def failing_tests(build):
    result = subprocess.run([os.path.join(build, 'tests', 'zx8xread_tests'), '--gtest_brief=1'],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
    return sorted(set(re.findall(r'\[  FAILED  \] ([\w.]+)', result.stdout.decode())))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--factor', type=float, default=4)
    parser.add_argument('--only', default='')
    options = parser.parse_args()
    work = tempfile.mkdtemp(prefix='break_settings_')
    source, build = os.path.join(work, 'src'), os.path.join(work, 'build')
    shutil.copytree(ROOT, source, ignore=shutil.ignore_patterns('build*', 'node_modules', '.git'))
    header_path = os.path.join(source, 'src', 'read', 'settings.h')
    header = open(header_path).read()
    subprocess.run(['cmake', '-S', source, '-B', build, '-DCMAKE_BUILD_TYPE=Release',
                    '-DZX8XWAV_BUILD_TESTS=ON'], check=True, stdout=subprocess.DEVNULL)
    try:
        for kind, name, value in settings(header):
            if options.only not in name:
                continue
            caught = []
            for how in ('*', '/'):
                number = float(value) * options.factor if how == '*' else \
                    float(value) / options.factor
                text = str(max(1, int(number))) if kind == 'int' else repr(number)
                if kind == 'int' and name == 'HighPassOrder':
                    text = str(max(2, 2 * (int(number) // 2)))
                broken = re.sub(r'\b%s = %s' % (name, re.escape(value)), '%s = %s' % (name, text),
                                header, count=1)
                open(header_path, 'w').write(broken)
                made = subprocess.run(['cmake', '--build', build, '-j2', '--target',
                                       'zx8xread_tests', 'zx8xread'],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                failed = failing_tests(build) if made.returncode == 0 else ['(no build)']
                caught.append('%s%g: %s' % (how, options.factor,
                                            ', '.join(failed) if failed else 'NOT CAUGHT'))
                if failed:
                    break
            print('%-24s %s' % (name, ' | '.join(caught)), flush=True)
        open(header_path, 'w').write(header)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
