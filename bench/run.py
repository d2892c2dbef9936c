#!/usr/bin/python3
"""Times the conversion against cp of the same input, interleaved, and reports medians,
ratios and peak memory. Called by bench/run, which builds first."""

import glob
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DATA = os.path.join(HERE, "data")
# Another build's host (a copy of an older build, to compare side by side) can stand in.
HOST = os.environ.get("TESSOLD_BENCH_HOST") or os.path.join(ROOT, "build", "tessold")
CONFIG = [os.path.join(ROOT, "examples", name)
          for name in ("translation.xml", "packing.xml", "global_attributes.txt")]


def remove(paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def warm(paths):
    """Reads the files, so that the timed command finds them in the page cache: this machine
    pages out file data nobody has read for about a minute."""
    block = bytearray(4 << 20)
    for path in paths:
        with open(path, "rb", buffering=0) as source:
            while source.readinto(block):
                pass


def timed(command, inputs=(), check=True):
    warm(inputs)
    os.sync()  # so that writing back an earlier run's output does not land in this one
    start = time.perf_counter()
    subprocess.run(command, check=check, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def peak_memory_kib(command):
    result = subprocess.run(["/usr/bin/time", "-v"] + command, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr).group(1))


def convert_command(path, packing=CONFIG[1]):
    return [HOST, path] + [CONFIG[0], packing, CONFIG[2]]


def spread(label, numerators, denominators):
    """A line with the ratio of the fastest runs and the lowest and highest ratio of the runs
    made in turn. This machine drifts so much from minute to minute (see README.md) that a
    median alone can land on either side of a target; the fastest run is the least disturbed."""
    ratios = [a / b for a, b in zip(numerators, denominators)]
    return "%s fastest runs %.2f s against %.2f s, ratio %.2f; the single runs' ratios %.2f to %.2f" % (
        label, min(numerators), min(denominators), min(numerators) / min(denominators), min(ratios),
        max(ratios))


def single_file(path, repeats):
    """Median times of cp, of dd (the same bytes read and written through user space in 4 MiB
    blocks) and of the conversion, run in turn, a line on the spread of the conversion's ratio
    to cp, and the conversion's peak memory."""
    copy = os.path.join(DATA, "copy.um")
    cp_times, dd_times, convert_times = [], [], []
    for _ in range(repeats):
        remove([copy, path + ".nc"])
        cp_times.append(timed(["cp", path, copy], [path]))
        remove([copy])
        dd_times.append(timed(["dd", "if=" + path, "of=" + copy, "bs=4M", "status=none"], [path]))
        remove([copy])
        convert_times.append(timed(convert_command(path), [path] + CONFIG))
        remove([path + ".nc"])
    memory = peak_memory_kib(convert_command(path))
    remove([path + ".nc"])
    return (statistics.median(cp_times), statistics.median(dd_times), statistics.median(convert_times),
            spread("L  conversion and cp:", convert_times, cp_times), memory)


def generate(names):
    subprocess.run(["/usr/bin/python3", os.path.join(HERE, "workloads.py"), DATA] + names, check=True,
                   stdout=subprocess.DEVNULL)


def workload_l():
    generate(["L"])
    path = os.path.join(DATA, "L.um")
    size = os.path.getsize(path)
    cp_time, dd_time, convert_time, spread_line, memory = single_file(path, 5)
    print("L  %.2f GiB, 1000 fields of 512 x 512: convert %.2f s, cp %.2f s, ratio %.2f (target <= 1.3); "
          "dd %.2f s, ratio %.2f" % (size / 2**30, convert_time, cp_time, convert_time / cp_time, dd_time,
                                     convert_time / dd_time))
    print(spread_line)
    print("L  peak memory %.0f MiB (target <= input + 64 MiB = %.0f MiB)"
          % (memory / 1024, size / 2**20 + 64))
    packed_l(path)


def packed_l(path):
    """L again with four of its ten variables packed, which copies their values out of the
    input and scans them before writing (no target; tracked so that packing stays cheap)."""
    packing = os.path.join(HERE, "packing_L.xml")
    times = []
    for _ in range(5):
        times.append(timed(convert_command(path, packing), [path, packing]))
        remove([path + ".nc"])
    memory = peak_memory_kib(convert_command(path, packing))
    remove([path + ".nc"])
    print("L  with 4 of its 10 variables packed (bench/packing_L.xml): convert %.2f s, fastest %.2f s, "
          "peak memory %.0f MiB" % (statistics.median(times), min(times), memory / 1024))


def workload_w():
    """The WGDOS-packed 64-bit big-endian file against the same fields unpacked in today's
    layout: what reading and unpacking the layout real model output uses costs."""
    generate(["W"])
    medians = {}
    for name in ("W_unpacked", "W_wgdos"):
        path = os.path.join(DATA, name + ".um")
        times = []
        for _ in range(3):
            times.append(timed(convert_command(path), [path] + CONFIG))
            remove([path + ".nc"])
        medians[name] = statistics.median(times)
        memory = peak_memory_kib(convert_command(path))
        remove([path + ".nc"])
        print("W  %s, %.0f MiB on disk: convert %.2f s (fastest %.2f s), peak memory %.0f MiB"
              % (name, os.path.getsize(path) / 2**20, medians[name], min(times), memory / 1024))
    print("W  WGDOS 64-bit big-endian against unpacked 32-bit little-endian: x%.2f"
          % (medians["W_wgdos"] / medians["W_unpacked"]))


def workload_m():
    generate(["M50", "M100", "M200"])
    times = {}
    for name in ("M50", "M100", "M200"):
        path = os.path.join(DATA, name + ".um")
        cp_time, _, convert_time, _, memory = single_file(path, 3)
        times[name] = convert_time
        print("M  %3d000 fields of 16 x 16 in 100 variables: convert %.2f s (cp %.2f s), peak memory %.0f MiB"
              % (int(name[1:]), convert_time, cp_time, memory / 1024))
    print("M  100,000 fields in %.2f s (target < 5 s); doubling 50k->100k x%.2f, 100k->200k x%.2f "
          "(target <= 2.2)" % (times["M100"], times["M100"] / times["M50"], times["M200"] / times["M100"]))


COPY_STREAM = ("import os, sys\nfolder = sys.argv[1]\nblock = memoryview(bytearray(4 << 20))\n"
               "for path in sys.argv[2:]:\n"
               "    with open(path, 'rb', buffering=0) as src, "
               "open(os.path.join(folder, os.path.basename(path)), 'wb', buffering=0) as dst:\n"
               "        while True:\n            count = src.readinto(block)\n            if not count:\n"
               "                break\n            dst.write(block[:count])\n")


def copy_streams(inputs, folder, repeats=5):
    """Median times of copying the files through user space (read and write in 4 MiB blocks,
    one process per stream, no process per file) in one stream and in two."""
    halves = [inputs[0::2], inputs[1::2]]
    one, two = [], []
    for _ in range(repeats):
        for streams, times in ((1, one), (2, two)):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            warm(inputs)
            os.sync()
            start = time.perf_counter()
            groups = [inputs] if streams == 1 else halves
            procs = [subprocess.Popen(["/usr/bin/python3", "-c", COPY_STREAM, folder] + group)
                     for group in groups]
            for proc in procs:
                proc.wait()
            times.append(time.perf_counter() - start)
    shutil.rmtree(folder, ignore_errors=True)
    return statistics.median(one), statistics.median(two)


CPU_WORK = "x = 0\nfor i in range(8000000):\n    x += i\n"
FORK_WORK = ("import os\nfor _ in range(400):\n    pid = os.fork()\n    if pid == 0:\n        os._exit(0)\n"
             "    os.waitpid(pid, 0)\n")
FAULT_WORK = ("import mmap\ndata = bytes(8 << 20)\nfor _ in range(40):\n"
              "    m = mmap.mmap(-1, 8 << 20)\n    m.write(data)\n    m.close()\n")


def two_against_one(code, repeats=5):
    """Median time of two processes running code side by side over the median time of one
    alone, measured in turn (this machine's CPU speed drifts from minute to minute)."""
    one, two = [], []
    for _ in range(repeats):
        for count, times in ((1, one), (2, two)):
            start = time.perf_counter()
            procs = [subprocess.Popen(["/usr/bin/python3", "-c", code]) for _ in range(count)]
            for proc in procs:
                proc.wait()
            times.append(time.perf_counter() - start)
    return statistics.median(two) / statistics.median(one)


def workload_b():
    generate(["B"])
    inputs = sorted(glob.glob(os.path.join(DATA, "B", "member*.um")))
    outputs = [path + ".nc" for path in inputs]
    copies = os.path.join(DATA, "B_copy")
    sequential, parallel, cp_times = [], [], []
    for _ in range(5):
        remove(outputs)  # cp copies the inputs alone
        shutil.rmtree(copies, ignore_errors=True)
        cp_times.append(timed(["cp", "-r", os.path.join(DATA, "B"), copies], inputs))
        shutil.rmtree(copies, ignore_errors=True)
        for jobs, times in (("1", sequential), ("2", parallel)):
            remove(outputs)
            times.append(timed([HOST, "--batch", "--jobs", jobs] + CONFIG + inputs, inputs + CONFIG))
    remove(outputs)
    seq, par = statistics.median(sequential), statistics.median(parallel)
    print("B  %d files of %.1f MiB: --jobs 1 %.2f s, --jobs 2 %.2f s, ratio %.2f (target <= 0.6); cp -r %.2f s"
          % (len(inputs), os.path.getsize(inputs[0]) / 2**20, seq, par, par / seq,
             statistics.median(cp_times)))
    print(spread("B  --jobs 2 and --jobs 1:", parallel, sequential))
    remove(outputs)
    loop = 'for f in "$@"; do "%s" "$f" %s >/dev/null || exit 1; done' % (HOST, " ".join(CONFIG))
    single_calls = timed(["sh", "-c", loop, "sh"] + inputs, inputs + CONFIG)
    remove(outputs)
    print("B  the same files as a loop of single calls (once): %.2f s; --jobs 2 takes %.2f of that"
          % (single_calls, par / single_calls))
    # Children that only start and end: each input is missing, so each child stops at once.
    missing = [os.path.join(DATA, "B", "absent%03d.um" % i) for i in range(len(inputs))]
    empty = {jobs: statistics.median(timed([HOST, "--batch", "--jobs", jobs] + CONFIG + missing, CONFIG,
                                           check=False)
                                     for _ in range(3)) for jobs in ("1", "2")}
    print("B  %d children that only start and end: --jobs 1 %.2f s, --jobs 2 %.2f s"
          % (len(missing), empty["1"], empty["2"]))
    copy_one, copy_two = copy_streams(inputs, copies)
    print("B  the same bytes read and written by one process, %.2f s, and by two, %.2f s: ratio %.2f "
          "(how far this machine's I/O scales)" % (copy_one, copy_two, copy_two / copy_one))
    print("B  two processes side by side take %.2f x the time of one for CPU work, %.2f x for page "
          "faults and %.2f x for starting and ending processes (1 = scales fully, 2 = not at all)"
          % (two_against_one(CPU_WORK), two_against_one(FAULT_WORK), two_against_one(FORK_WORK)))


def main():
    os.makedirs(DATA, exist_ok=True)
    chosen = sys.argv[1:] or ["L", "M", "B", "W"]
    print("machine: %d cores, %s" % (os.cpu_count(), " ".join(os.uname()[2:3])))
    for name in chosen:
        {"L": workload_l, "M": workload_m, "B": workload_b, "W": workload_w}[name]()


if __name__ == "__main__":
    main()
