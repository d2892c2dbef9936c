#!/usr/bin/python3
"""Plants each fault of mutants.json in the sources, rebuilds, runs the tests and reports
whether any test caught it.

    /usr/bin/python3 tools/mutants/run.py [--all] BUILD_DIR [ID ...]

BUILD_DIR is a configured build tree of this source tree (its tests built). A fault is a piece
of text that must occur exactly once in source/ and header/, and its replacement; the text is
put back after each run. Prints one Markdown table row per fault: caught (with up to three of
the tests that failed, or all of them with --all), missed, or not planted (the text is not there once, or the build fails).
"""

import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def find_place(text):
    """The one file of source/ and header/ that holds text once, or None."""
    places = []
    for folder in ("source", "header"):
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            path = os.path.join(ROOT, folder, name)
            with open(path) as f:
                places += [path] * f.read().count(text)
    return places[0] if len(places) == 1 else None


def run_tests(build):
    """Builds and runs every test; returns (built, the names of the tests that failed)."""
    if subprocess.run(["cmake", "--build", build, "-j2"], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        return False, []
    result = subprocess.run(["ctest", "-j2", "--timeout", "300"], cwd=build, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, universal_newlines=True)
    failed = re.findall(r"^\s*\d+ - (\S+) \(", result.stdout, re.M)
    return True, failed if result.returncode != 0 else []


def plant(mutant, build, show_all):
    path = find_place(mutant["find"])
    if path is None:
        return "not planted: the text is not in the sources exactly once"
    with open(path) as f:
        original = f.read()
    try:
        with open(path, "w") as f:
            f.write(original.replace(mutant["find"], mutant["replace"]))
        built, failed = run_tests(build)
    finally:
        with open(path, "w") as f:
            f.write(original)
    if not built:
        return "not planted: the build fails"
    if not failed:
        return "MISSED"
    if show_all or len(failed) <= 3:
        return "caught by " + ", ".join(failed)
    return "caught by " + ", ".join(failed[:3]) + " and %d more" % (len(failed) - 3)


def main():
    args = sys.argv[1:]
    show_all = "--all" in args
    args = [arg for arg in args if arg != "--all"]
    build = os.path.abspath(args[0])
    wanted = args[1:]
    with open(os.path.join(HERE, "mutants.json")) as f:
        mutants = json.load(f)
    print("| id | area | fault | result |\n|---|---|---|---|")
    missed = 0
    for mutant in mutants:
        if wanted and mutant["id"] not in wanted:
            continue
        outcome = plant(mutant, build, show_all)
        missed += 0 if outcome.startswith("caught") else 1
        print("| %s | %s | %s | %s |" % (mutant["id"], mutant["area"], mutant["fault"], outcome), flush=True)
    run_tests(build)  # leaves the build as the sources are
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
