#!/usr/bin/python3
"""Converts the same inputs with two builds and reports every output that differs.

    /usr/bin/python3 tools/compare_builds.py OLD_BUILD NEW_BUILD [--bench] [--keep DIR]

OLD_BUILD and NEW_BUILD are folders holding a `tessold` program and its `libtessold.so` (a
build tree, or a copy of one). The inputs: the shipped example, every file of the fuzz corpora
(tests/corpus/convert and tests/corpus/read_path, failures included), and generated files of
many shapes (grids, level types, packing, cropping, thinning and averaging, integer fields,
rotated poles, means, interleaved diagnostics); with --bench also the benchmark's L, M50 and
one B file. Each input is converted by both builds with the same configuration files, and the
exit status, the messages (with the folder names taken out) and the output bytes are compared.
Prints one line per input and a summary; the exit status is 1 when anything differs.
"""

import argparse
import filecmp
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "bench"))
import umgen  # noqa: E402

TRANSLATION = ('<translation><stash><submodel id="1">'
               '<section id="3"><item id="236" out_name="tas" units="K"/></section>'
               '<section id="16"><item id="203" out_name="temp" units="K" long_name="T"/></section>'
               '<section id="0"><item id="24" out_name="ts"/></section>'
               '</submodel></stash></translation>')
# Cropping, thinning and averaging; no byte packing, whose "add_offset" is now a float.
PACKING = ('<packing><r section="16" id="203" crop="1"/>'
           '<r section="3" id="236" skip="2"/><r section="16" id="203" avg="2"/>'
           '<r section="0" id="24" skip="3" avg="3"/><r section="5" id="216" avg="2"/></packing>')
GLOBAL_ATTS = "title string 2 compare run\nrealization integer 1 1\n"


def generated_descriptions(count):
    """Files of many shapes whose times are whole days in the file's own calendar (means of
    whole days), whose axes run one way and whose averaged blocks hold no missing point, so
    that nothing in them depends on how those are treated."""
    descs = []
    for seed in range(count):
        rnd = random.Random(seed)
        calendar = 1 + seed % 2
        fields = []
        for day in range(1, 5):
            for level in (1000.0, 850.0, 500.0):
                if day == 1 or rnd.random() < 0.8:
                    fields.append({"stash": 16203, "vt": [1970, 1, day, 0, 0, 0], "lbvc": 8, "blev": level,
                                   "rows": 6, "cols": 8, "pattern": "smooth", "base": 250.0,
                                   "amplitude": 30.0})
            for hour in (0, 6, 12, 18):
                fields.append({"stash": 3236, "vt": [1970, 1, day, hour, 0, 0], "lbvc": 1, "blev": 1.5,
                               "rows": 7, "cols": 9, "pattern": "smooth", "base": 280.0, "amplitude": 9.0})
            fields.append({"stash": 24, "vt": [1970, 1, day, 0, 0, 0], "lbvc": 9, "blev": 0.5,
                           "bhlev": 500.0, "lbcode": 101, "bplat": 37.5, "bplon": 177.5, "bzy": -5.0,
                           "bdy": 0.5, "bzx": 350.0, "bdx": 0.5, "rows": 9, "cols": 10})
            fields.append({"stash": 5216, "vt": [1970, 1, day, 0, 0, 0], "dt": [1970, 1, day + 1, 0, 0, 0],
                           "lbtim": 120 + calendar, "lbproc": 128, "lbvc": 129, "pseudo": 1 + rnd.randrange(2),
                           "rows": 4, "cols": 6})
        fields.append({"stash": 30, "lbvc": 2, "lbproc": 4096, "lbuser1": 2,
                       "ints": list(range(12))})
        fields.append({"stash": 16204, "vt": [1970, 1, 2, 0, 0, 0], "lbvc": 8, "blev": 700.0,
                       "data": [None if i % 5 == 0 else float(i) for i in range(12)]})
        if seed % 2:
            rnd.shuffle(fields)
        descs.append(("generated%d" % seed, {"calendar": calendar, "ref_time": [1970, 1, 1, 0, 0, 0],
                                            "field_defaults": {"lbtim": calendar}, "fields": fields}))
    return descs


def run(build, um_path, configs):
    proc = subprocess.run([os.path.join(build, "tessold"), um_path] + configs,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
                          timeout=600)
    return proc.returncode, proc.stdout, proc.stderr


SHOW_DIFF = False


def dump_diff(nc_old, nc_new):
    """The first lines in which the two files' ncdump texts differ."""
    dumps = [subprocess.run(["ncdump", path], stdout=subprocess.PIPE, universal_newlines=True).stdout.splitlines()[1:]
             for path in (nc_old, nc_new)]
    lines = [" %s | %s" % (a.strip()[:60], b.strip()[:60]) for a, b in zip(*dumps) if a != b]
    return ":" + "".join("\n   " + line for line in lines[:4])


def compare_one(name, um_source, old_build, new_build, configs, work):
    """Converts a copy of um_source with each build; returns the differences found."""
    results = []
    for label, build in (("old", old_build), ("new", new_build)):
        folder = os.path.join(work, label)
        os.makedirs(folder, exist_ok=True)
        um_path = os.path.join(folder, name + ".um")
        shutil.copyfile(um_source, um_path)
        status, out, err = run(build, um_path, configs)
        results.append((status, out.replace(folder, "DIR"), err.replace(folder, "DIR"), um_path + ".nc"))
    (s_old, o_old, e_old, nc_old), (s_new, o_new, e_new, nc_new) = results
    diffs = []
    if s_old != s_new:
        diffs.append("status %d -> %d" % (s_old, s_new))
    if (o_old, e_old) != (o_new, e_new):
        diffs.append("messages %r -> %r" % ((o_old + e_old).strip(), (o_new + e_new).strip()))
    exists_old, exists_new = os.path.exists(nc_old), os.path.exists(nc_new)
    if exists_old != exists_new:
        diffs.append("output only in the %s build" % ("old" if exists_old else "new"))
    elif exists_old and not filecmp.cmp(nc_old, nc_new, shallow=False):
        diffs.append("output bytes differ" + (dump_diff(nc_old, nc_new) if SHOW_DIFF else ""))
    for path in (nc_old, nc_new):
        if os.path.exists(path):
            os.remove(path)
    return diffs


def inputs(work, bench):
    """(name, path of a UM file) for every input compared."""
    yield "example", os.path.join(ROOT, "examples", "example.um")
    for corpus in ("convert", "read_path"):
        folder = os.path.join(ROOT, "tests", "corpus", corpus)
        for entry in sorted(os.listdir(folder)):
            yield corpus + "_" + entry[:12], os.path.join(folder, entry)
    for name, desc in generated_descriptions(8):
        path = os.path.join(work, name + ".source")
        umgen.write(path, desc)
        yield name, path
    if bench:
        import workloads
        for workload in ("L", "M50", "B"):
            rel_path, desc = sorted(workloads.workload(workload).items())[0]
            path = os.path.join(work, "bench_" + workload + ".source")
            umgen.write(path, desc)
            yield "bench_" + workload, path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("old_build")
    parser.add_argument("new_build")
    parser.add_argument("--bench", action="store_true", help="also the benchmark's L, M50 and one B file")
    parser.add_argument("--keep", help="work in this folder and keep it")
    parser.add_argument("--diff", action="store_true", help="show the first differing ncdump lines")
    args = parser.parse_args()
    global SHOW_DIFF
    SHOW_DIFF = args.diff
    work = args.keep or tempfile.mkdtemp(prefix="tessold_compare_")
    os.makedirs(work, exist_ok=True)
    configs = []
    for name, text in (("translation.xml", TRANSLATION), ("packing.xml", PACKING),
                       ("global_attributes.txt", GLOBAL_ATTS)):
        configs.append(os.path.join(work, name))
        with open(configs[-1], "w") as f:
            f.write(text)
    example_configs = [os.path.join(ROOT, "examples", name)
                       for name in ("translation.xml", "packing.xml", "global_attributes.txt")]
    differing = 0
    total = 0
    try:
        for name, path in inputs(work, args.bench):
            use = example_configs if name == "example" else configs
            diffs = compare_one(name, path, args.old_build, args.new_build, use, work)
            total += 1
            differing += 1 if diffs else 0
            print("%-28s %s" % (name, "; ".join(diffs) if diffs else "same"))
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    print("%d of %d inputs differ" % (differing, total))
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
