#!/usr/bin/env python3
"""Which test catches each of zx8xread's settings when it is broken: every setting in
src/read/settings.h is multiplied by a large factor (and, where no test fails, divided by it) in a
scratch copy of the tree, the reader's tests are rebuilt and run, and the tests that fail are
listed. A setting no test catches is a rule nobody checks. With --checks, each of the image
checks in src/image/image.cpp is broken by one instead.

    python3 bench/break_settings.py [--factor 4] [--only NAME,NAME...] [--checks]

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
DECLARATION = re.compile(r'^\s*(double|int) (.*);', re.M)
MEMBER = re.compile(r'([A-Za-z]+) = ([0-9.e+-]+)')


def settings(header):
    """(type, name, default) of every setting, several declared on one line among them."""
    return [(d.group(1), m.group(1), m.group(2)) for d in DECLARATION.finditer(header)
            for m in MEMBER.finditer(d.group(2))]


# Each image check broken by one: (what, the text in src/image/image.cpp, what it becomes).
CHECKS = [
    ('lines may repeat a number', 'number <= previous', 'number < previous'),
    ('line number 0x4000 allowed', 'number > 0x3FFF', 'number > 0x4000'),
    ('a ZX81 line may be empty', 'length < 1 ||', 'length < 0 ||'),
    ('a display line of 33', '++length > 32', '++length > 33'),
    ('23 display lines', 'lines == 24 || lines == 25', 'lines == 23 || lines == 24 || lines == 25'),
    ('26 display lines', 'lines == 24 || lines == 25', 'lines == 24 || lines == 25 || lines == 26'),
    ('VARS at E_LINE', 'vars < end', 'vars <= end'),
    ('D_FILE past DF_CC', 'd_file <= df_cc', 'd_file <= df_cc + 1'),
    ('the program past D_FILE', 'program <= d_file', 'program <= d_file + 1'),
    ('E_LINE past the tape', 'end <= start + static_cast<int>(expected_size)',
     'end <= start + static_cast<int>(expected_size) + 1'),
    ('VERSN 1', 'image[0] != 0', 'image[0] > 1'),
    ('no end marker', 'image.back() != END_MARKER', 'image.back() < END_MARKER - 1'),
    ('one byte short', 'image.size() < expected_size', 'image.size() + 1 < expected_size'),
]
TESTS = ['zx8xread_tests', 'zx8xwav_unit_tests', 'zx8xlist_tests']


def failing_tests(build, tests=('zx8xread_tests',)):
    failed = set()
    for test in tests:
        result = subprocess.run([os.path.join(build, 'tests', test), '--gtest_brief=1'],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        failed |= set(re.findall(r'\[  FAILED  \] ([\w.]+)', result.stdout.decode()))
    return sorted(failed)


def break_checks(source, build):
    path = os.path.join(source, 'src', 'image', 'image.cpp')
    original = open(path).read()
    for what, old, new in CHECKS:
        assert old in original, old
        open(path, 'w').write(original.replace(old, new, 1))
        made = subprocess.run(['cmake', '--build', build, '-j2', '--target'] + TESTS +
                              ['zx8xread', 'zx8xlist'],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        failed = failing_tests(build, TESTS) if made.returncode == 0 else ['(no build)']
        print('%-28s %s' % (what, ', '.join(failed) if failed else 'NOT CAUGHT'), flush=True)
    open(path, 'w').write(original)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--factor', type=float, default=4)
    parser.add_argument('--only', default='')
    parser.add_argument('--checks', action='store_true')
    options = parser.parse_args()
    work = tempfile.mkdtemp(prefix='break_settings_')
    source, build = os.path.join(work, 'src'), os.path.join(work, 'build')
    shutil.copytree(ROOT, source, ignore=shutil.ignore_patterns('build*', 'node_modules', '.git'))
    header_path = os.path.join(source, 'src', 'read', 'settings.h')
    header = open(header_path).read()
    subprocess.run(['cmake', '-S', source, '-B', build, '-DCMAKE_BUILD_TYPE=Release',
                    '-DZX8XWAV_BUILD_TESTS=ON'], check=True, stdout=subprocess.DEVNULL)
    try:
        if options.checks:
            break_checks(source, build)
            return
        for kind, name, value in settings(header):
            if options.only and name not in options.only.split(','):
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
