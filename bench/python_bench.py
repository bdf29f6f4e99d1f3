#!/usr/bin/python3
"""The Python module's conversion time next to the command line's time per file.

    /usr/bin/python3 bench/python_bench.py [BUILD_FOLDER [RUNS]]   # default: build, 50

One single-sided interferogram of 262144 points (make-interferogram, centerburst at point
1024), converted as bench/batch_bench.sh converts it: Blackman-Harris, a transform limited to
262144 points without the resolution request (--points 262144 --no-res), so that lnum is
262144 (a 2^19-point transform), 400 to 4000 cm-1. Figures, each the median of RUNS:
ftir_reduce.convert() of the file read once; read() + convert() + write_spc(), what the
command line does for a file; and a run of ftir-reduce -j 1 over RUNS copies of the file,
divided by RUNS (three runs, the median). Then two threads converting RUNS files between
them, against the same work in one thread. Wall time and CPU time (user + system) side by
side: on a shared machine the CPU time leaves out what other processes took.
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

build = Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 50
sys.path.insert(0, str(build))
import ftir_reduce  # noqa: E402  (from the build folder)

LASER = 15800.823
OPTIONS = dict(sides="single", window="blackman-harris", points=262144, no_res=True,
               laser=LASER)
CLI_OPTIONS = ["--sides", "single", "--window", "blackman-harris", "--points", "262144",
               "--no-res", "--laser", str(LASER)]


def cpu():
    """CPU seconds of this process (every thread) and of its children that have ended."""
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return time.process_time() + children.ru_utime + children.ru_stime


def timed(work):
    """Wall and CPU seconds of work()."""
    wall, used = time.perf_counter(), cpu()
    work()
    return time.perf_counter() - wall, cpu() - used


def medians(samples):
    return tuple(statistics.median(s[i] for s in samples) * 1e3 for i in (0, 1))


def show(label, wall_ms, cpu_ms):
    print(f"{label:52s} {wall_ms:8.2f} ms wall {cpu_ms:8.2f} ms cpu")


with tempfile.TemporaryDirectory() as tmp:
    work = Path(tmp)
    ig_path = work / "ig.spc"
    subprocess.run([build / "make-interferogram", "--points", "262144", "--center", "1023",
                    "--date", "2024-01-01T00:00", "-o", ig_path], check=True,
                   capture_output=True)
    print(f"load average {os.getloadavg()[0]:.2f}; {runs} runs; 262144 points, lnum 262144")

    ig = ftir_reduce.read(ig_path)
    ftir_reduce.convert(ig, **OPTIONS)  # this thread's storage and window weights
    show("convert()", *medians([timed(lambda: ftir_reduce.convert(ig, **OPTIONS))
                                for _ in range(runs)]))

    def whole_file():
        ftir_reduce.convert(ftir_reduce.read(ig_path), **OPTIONS).write_spc(work / "py.spc")

    show("read() + convert() + write_spc()", *medians([timed(whole_file) for _ in range(runs)]))

    copies = work / "copies"
    copies.mkdir()
    for k in range(runs):
        os.link(ig_path, copies / f"ig{k:03d}.spc")
    names = sorted(str(p) for p in copies.iterdir())
    command = [build / "ftir-reduce", "-j", "1", "-q", "-o", work / "out", *CLI_OPTIONS, *names]
    cli = [timed(lambda: subprocess.run(command, check=True, capture_output=True))
           for _ in range(3)]
    show(f"ftir-reduce -j 1, {runs} files, per file", *(m / runs for m in medians(cli)))

    def converts(count):
        for _ in range(count):
            ftir_reduce.convert(ig, **OPTIONS)

    one = timed(lambda: converts(runs))
    # Two threads, each with its storage made and its window weights computed before the
    # clock starts, as in a pool of threads that has converted before.
    ready, done = threading.Barrier(3), threading.Barrier(3)

    def worker(count):
        converts(1)
        ready.wait()
        converts(count)
        done.wait()

    threads = [threading.Thread(target=worker, args=(n,)) for n in (runs // 2, runs - runs // 2)]
    for t in threads:
        t.start()
    ready.wait()
    two = timed(done.wait)
    for t in threads:
        t.join()
    print(f"{runs} convert() calls: one thread {one[0]:.3f} s, two threads {two[0]:.3f} s: "
          f"{one[0] / two[0]:.2f} times the conversions per second")
