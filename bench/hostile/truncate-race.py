#!/usr/bin/env python3
"""Truncates a DLL again and again while `pictavo-cli list` reads it, RUNS times, and counts
the outcomes.

Usage: bench/hostile/truncate-race.py CLI FILE [RUNS] [TIMEOUT] [VMEM_KB]

Each run copies FILE to a scratch file next to it, starts a thread that keeps cutting the
scratch file to 1 KB (the headers stay, the resource section goes) and writing the rest back,
about every half millisecond, then runs `CLI list SCRATCH` (address space limited to VMEM_KB,
killed after TIMEOUT seconds) and stops the thread when it ends. The reader thus sees the file
shrink and grow under it wherever it is in its reading.

Prints one line: "crashes C (SIGNAL xN ...), errors E, listed L, part P / RUNS", a tab, the
total seconds of the runs, a tab and the largest peak memory of a run in MB. A crash is a run
ended by a signal; an error is exit status 1 (a message); listed is exit status 0 with the
output of an untouched run, part exit status 0 with other output (fewer icons, or none: a
failure reported as success). Runs killed at the time limit are counted as "timeouts".
"""

import os
import resource
import shutil
import signal
import subprocess
import sys
import threading
import time


def main():
    if len(sys.argv) < 3:
        sys.stderr.write(__doc__)
        sys.exit(2)
    cli, source = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    timeout = float(sys.argv[4]) if len(sys.argv) > 4 else 60
    vmem = (int(sys.argv[5]) if len(sys.argv) > 5 else 4 * 1024 * 1024) * 1024
    scratch = os.path.realpath(source) + '.race'
    with open(source, 'rb') as f:
        rest = f.read()[1024:]

    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (vmem, vmem))

    def toggle(stop):
        fd = os.open(scratch, os.O_WRONLY)
        try:
            while not stop.is_set():
                os.ftruncate(fd, 1024)
                time.sleep(0.0005)
                os.pwrite(fd, rest, 1024)
                time.sleep(0.0005)
        finally:
            os.close(fd)

    shutil.copyfile(source, scratch)
    whole = subprocess.run([cli, 'list', scratch], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           preexec_fn=limit, timeout=timeout).stdout
    crashes, errors, listed, partial, timeouts, peak = {}, 0, 0, 0, 0, 0
    t0 = time.perf_counter()
    for _ in range(runs):
        shutil.copyfile(source, scratch)
        stop = threading.Event()
        toggler = threading.Thread(target=toggle, args=(stop,))
        toggler.start()
        with open(scratch + '.out', 'wb+') as out:
            p = subprocess.Popen([cli, 'list', scratch], stdout=out, stderr=subprocess.DEVNULL,
                                 preexec_fn=limit)
            status, usage = wait(p, timeout)
            out.seek(0)
            same = out.read() == whole
        stop.set()
        toggler.join()
        if status is None:
            timeouts += 1
            continue
        peak = max(peak, usage.ru_maxrss)
        if os.WIFSIGNALED(status):
            name = signal.Signals(os.WTERMSIG(status)).name
            crashes[name] = crashes.get(name, 0) + 1
        elif os.WEXITSTATUS(status) == 0 and same:
            listed += 1
        elif os.WEXITSTATUS(status) == 0:
            partial += 1
        else:
            errors += 1
    seconds = time.perf_counter() - t0
    os.remove(scratch)
    os.remove(scratch + '.out')
    kinds = ' '.join(f'{k} x{v}' for k, v in sorted(crashes.items()))
    print(f'crashes {sum(crashes.values())}{" (" + kinds + ")" if kinds else ""}, errors {errors}, '
          f'listed {listed}, part {partial}{f", timeouts {timeouts}" if timeouts else ""} / {runs}'
          f'\t{seconds:.2f}\t{peak / 1024:.1f}')


def wait(p, timeout):
    """The wait status and resource use of the process; (None, None) after killing it at the
    time limit. Polls, so that the resource use is collected with the status."""
    end = time.monotonic() + timeout
    while True:
        pid, status, usage = os.wait4(p.pid, os.WNOHANG)
        if pid:
            p.returncode = status  # keeps Popen from waiting for it again
            return status, usage
        if time.monotonic() > end:
            p.kill()
            os.wait4(p.pid, 0)
            p.returncode = -9
            return None, None
        time.sleep(0.001)


if __name__ == '__main__':
    main()
