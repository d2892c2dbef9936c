"""Whole conversions checked against reviewed outputs.

Each tests/scenarios/NAME.json describes one conversion: "about" (what it pins, one line),
"input" (a generator description, tools/README.md), and optionally "packing", "translation"
and "attributes" (the configuration files' text; by default one translation entry, no packing
rules and one global attribute), "status" (the expected exit status, default 0) and
"messages" (the expected standard error, with the input's folder written as DIR).
tests/expected/NAME.cdl holds the ncdump text of the output; a scenario that expects a failure
has no .cdl and must leave no output. Run with --update to rewrite the expected files after a
deliberate change, then review every changed file by hand.
"""

import difflib
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

SCENARIOS = os.path.join(common.source_dir(), "tests", "scenarios")
EXPECTED = os.path.join(common.source_dir(), "tests", "expected")


def configs(scenario, folder):
    """Writes the scenario's configuration files into folder; returns their paths."""
    texts = [scenario.get("translation", common.TRANSLATION_XML),
             scenario.get("packing", common.PACKING_XML),
             scenario.get("attributes", common.GLOBAL_ATTS)]
    names = ["translation.xml", "packing.xml", "global_attributes.txt"]
    return [common.write_text(os.path.join(folder, name), text) for name, text in zip(names, texts)]


def run_scenario(name, scenario, folder):
    """Converts the scenario's input; returns a list of the differences from what is expected."""
    um_path = os.path.join(folder, name + ".um")
    common.write_um(um_path, scenario["input"])
    status, _, err = common.convert(um_path, *configs(scenario, folder))
    problems = []
    if status != scenario.get("status", 0):
        problems.append("status %d, expected %d: %s" % (status, scenario.get("status", 0), err.strip()))
    if "messages" in scenario and err.replace(folder, "DIR") != scenario["messages"]:
        problems.append("messages %r, expected %r" % (err.replace(folder, "DIR"), scenario["messages"]))
    nc_path = common.output_path(um_path)
    expected_path = os.path.join(EXPECTED, name + ".cdl")
    if not os.path.exists(nc_path):
        if os.path.exists(expected_path):
            problems.append("no output, expected one")
        return problems, None
    dump = subprocess.run(["ncdump", nc_path], stdout=subprocess.PIPE, universal_newlines=True, check=True).stdout
    if not os.path.exists(expected_path):
        problems.append("an output, but no expected text")
        return problems, dump
    with open(expected_path) as f:
        expected = f.read()
    if dump != expected:
        diff = difflib.unified_diff(expected.splitlines(), dump.splitlines(), "expected", "got", lineterm="")
        problems.append("ncdump differs:\n" + "\n".join(list(diff)[:40]))
    return problems, dump


def main():
    update = "--update" in sys.argv[1:]
    wanted = [arg for arg in sys.argv[1:] if not arg.startswith("--")]
    names = sorted(entry[:-5] for entry in os.listdir(SCENARIOS) if entry.endswith(".json"))
    failures = 0
    for name in names:
        if wanted and name not in wanted:
            continue
        with open(os.path.join(SCENARIOS, name + ".json")) as f:
            scenario = json.load(f)
        with common.temp_dir() as folder:
            problems, dump = run_scenario(name, scenario, folder)
        if update and dump is not None:
            with open(os.path.join(EXPECTED, name + ".cdl"), "w") as f:
                f.write(dump)
            problems = [p for p in problems if not p.startswith(("ncdump differs", "an output"))]
        failures += 1 if problems else 0
        print("%s: %s" % (name, "; ".join(problems) if problems else "ok"))
    print("%d of %d scenarios failed" % (failures, len(names)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
