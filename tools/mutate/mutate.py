#!/usr/bin/env python3
"""Seeded faults, one at a time, against the test suite.

Each fault in faults.txt names a file, a piece of text that must occur in it
exactly once, its replacement and the tests that should catch it. The program
is copied once into a scratch folder and built there (with ccache when it is
installed); every fault is then patched in, the named tests are built and run,
and the file is put back. A fault that builds and passes every named test
survives. The exit status is the number of survivors (and of faults whose text
no longer occurs or which no longer build, which need mending just as much).

    tools/mutate/mutate.py [--rev COMMIT] [--scratch DIR] [--only ID,ID] [--all-tests]
                           [--no-baseline] [--list] [--check]
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def parse_faults(path):
    """Blocks of 'field: value' lines separated by blank lines; '#' starts a
    comment line. In find/replace, '\\n' is a line break and '\\t' a tab."""
    faults, cur = [], {}
    with open(path, encoding='utf-8') as f:
        lines = f.read().splitlines() + ['']
    for n, line in enumerate(lines, 1):
        if line.startswith('#'):
            continue
        if not line.strip():
            if cur:
                missing = {'id', 'file', 'find', 'replace', 'tests', 'models'} - cur.keys()
                if missing:
                    sys.exit('%s:%d: fault %s lacks %s' % (path, n, cur.get('id', '?'), ', '.join(sorted(missing))))
                faults.append(cur)
                cur = {}
            continue
        key, sep, value = line.partition(':')
        if not sep:
            sys.exit('%s:%d: expected "field: value"' % (path, n))
        value = value[1:] if value.startswith(' ') else value
        if key in ('find', 'replace'):
            value = value.replace('\\n', '\n').replace('\\t', '\t')
        if key == 'tests':
            value = value.split()
        cur[key] = value
    return faults


def run(cmd, cwd, log, timeout=None, env=None):
    with open(log, 'a') as out:
        out.write('\n$ %s\n' % ' '.join(cmd))
        out.flush()
        try:
            return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout, env=env).returncode
        except subprocess.TimeoutExpired:
            out.write('timed out\n')
            return -1


def sync_scratch(src):
    """Copies the tracked files of the work tree (as they are on disk) into src."""
    files = subprocess.run(['git', 'ls-files', '-z'], cwd=REPO, check=True,
                           stdout=subprocess.PIPE).stdout.decode().split('\0')
    for rel in filter(None, files):
        a, b = os.path.join(REPO, rel), os.path.join(src, rel)
        if not os.path.isfile(a):
            continue
        os.makedirs(os.path.dirname(b), exist_ok=True)
        with open(a, 'rb') as fa:
            data = fa.read()
        try:
            with open(b, 'rb') as fb:
                if fb.read() == data:
                    continue  # unchanged: keep the timestamp, no rebuild
        except FileNotFoundError:
            pass
        with open(b, 'wb') as fb:
            fb.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--faults', help='the fault list (default: faults.txt of the sources used)')
    ap.add_argument('--rev', help='use this commit instead of the work tree as it is on disk')
    # Inside the work tree's (ignored) build folder by default: with ccache's
    # base_dir set above the work trees, the scratch copy's unchanged files then
    # hit the cache that the normal builds filled.
    ap.add_argument('--scratch', default=os.path.join(REPO, 'build', 'mutate'))
    ap.add_argument('--only', help='comma-separated fault ids')
    ap.add_argument('--all-tests', action='store_true', help='run every named test, not only up to the first failure')
    ap.add_argument('--list', action='store_true', help='print the faults and stop')
    ap.add_argument('--check', action='store_true', help='only check that each fault still applies to the work tree')
    ap.add_argument('--jobs', default='2')
    ap.add_argument('--no-baseline', action='store_true',
                    help='skip running the tests on the unmutated program first (they must pass)')
    args = ap.parse_args()
    args.scratch = os.path.abspath(args.scratch)  # the build runs from another folder

    src = os.path.join(args.scratch, 'src')
    if args.rev and not (args.check or args.list):
        os.makedirs(src, exist_ok=True)
        archive = subprocess.run(['git', 'archive', args.rev], cwd=REPO, check=True, stdout=subprocess.PIPE).stdout
        subprocess.run(['tar', '-x', '-C', src], input=archive, check=True)
    tree = src if args.rev else REPO
    faults = parse_faults(args.faults or os.path.join(tree, 'tools', 'mutate', 'faults.txt'))
    ids = [f['id'] for f in faults]
    if len(set(ids)) != len(ids):
        sys.exit('duplicate fault ids')
    if args.only:
        wanted = set(args.only.split(','))
        faults = [f for f in faults if f['id'] in wanted]
    if args.check:
        stale = []
        for f in faults:
            with open(os.path.join(REPO, f['file']), encoding='utf-8') as fh:
                n = fh.read().count(f['find'])
            if n != 1:
                stale.append(f['id'])
                print('%s: text found %d times in %s' % (f['id'], n, f['file']))
        return len(stale)
    if args.list:
        for f in faults:
            print('%-24s %-34s %s' % (f['id'], f['file'], f['models']))
        return 0

    # The build folder sits two levels below the sources, as build/test does.
    build = os.path.join(src, 'build', 'mutate')
    log = os.path.join(args.scratch, 'mutate.log')
    os.makedirs(src, exist_ok=True)
    open(log, 'w').close()
    if not args.rev:
        sync_scratch(src)
    env = dict(os.environ)
    env['TMPDIR'] = os.path.join(args.scratch, 'tmp')
    os.makedirs(env['TMPDIR'], exist_ok=True)

    # Configured every time: a target named only by a new CMakeLists.txt is
    # unknown to the old makefiles.
    cfg = ['cmake', '-S', src, '-B', build, '-DCMAKE_BUILD_TYPE=RelWithDebInfo']
    if shutil.which('ccache'):
        cfg.append('-DCMAKE_CXX_COMPILER_LAUNCHER=ccache')
    if run(cfg, src, log, env=env) != 0:
        sys.exit('configure failed, see ' + log)

    def build_tests(tests):
        return run(['cmake', '--build', build, '-j', args.jobs, '--target'] + tests, src, log, env=env) == 0

    def test_passes(name):
        cmd = ['ctest', '--test-dir', build, '-R', '^%s$' % name, '--output-on-failure']
        return run(cmd, src, log, timeout=600, env=env) == 0

    # The unmutated program must pass every test a fault relies on.
    needed = sorted({t for f in faults for t in f['tests']})
    print('baseline: building%s %d tests' % ('' if args.no_baseline else ' and running', len(needed)), flush=True)
    if not build_tests(needed):
        sys.exit('the unmutated program does not build, see ' + log)
    broken = [] if args.no_baseline else [t for t in needed if not test_passes(t)]
    if broken:
        sys.exit('failing before any fault: %s (see %s)' % (' '.join(broken), log))

    # One fault of each folder in turn, so that a run cut short has been
    # everywhere.
    folders = {}
    for f in faults:
        folders.setdefault(f['file'].split('/')[0], []).append(f)
    queues = list(folders.values())
    faults = [q[i] for i in range(max(map(len, queues))) for q in queues if i < len(q)]

    results = []
    for f in faults:
        path = os.path.join(src, f['file'])
        with open(path, encoding='utf-8') as fh:
            original = fh.read()
        count = original.count(f['find'])
        start = time.time()
        if count != 1:
            verdict = 'STALE (text found %d times)' % count
        else:
            with open(path, 'w', encoding='utf-8') as fh:
                fh.write(original.replace(f['find'], f['replace']))
            try:
                if not build_tests(f['tests']):
                    verdict = 'DOES NOT BUILD'
                else:
                    caught = []
                    for t in f['tests']:
                        if not test_passes(t):
                            caught.append(t)
                            if not args.all_tests:
                                break
                    verdict = 'caught by ' + ' '.join(caught) if caught else 'SURVIVED'
            finally:
                with open(path, 'w', encoding='utf-8') as fh:
                    fh.write(original)
        results.append((f, verdict))
        print('%-24s %-58s %4ds  %s' % (f['id'], f['models'][:58], time.time() - start, verdict), flush=True)

    bad = [f['id'] for f, v in results if not v.startswith('caught')]
    print('\n%d faults, %d caught, %d not: %s' % (len(results), len(results) - len(bad), len(bad), ' '.join(bad)))
    # Leave the scratch build matching the unmutated sources.
    build_tests(needed)
    return len(bad)


if __name__ == '__main__':
    sys.exit(main())
