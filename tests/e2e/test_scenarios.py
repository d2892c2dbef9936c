"""Whole conversions checked against reviewed outputs.

Each tests/scenarios/NAME.json describes one conversion: "about" (what it pins, one line),
"input" (a generator description, tools/README.md), and optionally "packing", "translation"
and "attributes" (the configuration files' text; by default one translation entry, no packing
rules and one global attribute), "absent" (a list of those four files, named "input",
"translation", "packing" and "attributes", that are not written), "existing_output" (a text
that stands under the output's name before the conversion and must still be there after it),
"fail_reads" (true: every pread of the host fails, as when another process cuts the input short
during the conversion), "status" (the expected exit status, default 0), "messages" and "stdout"
(the expected standard error and standard output, with the input's folder written as DIR).
"profile": "cf" converts with the command line's --cf and the configuration files as options,
"netcdf4": true (with "deflate": N) adds --netcdf4 (and --deflate N); the expected text of a
netCDF-4 output is that of `ncdump -s`, which shows compression and chunking. The time in the CF
profile's "history" attribute is written as TIME, the folder as DIR. tests/expected/NAME.cdl
holds the ncdump text of the output; a scenario that expects a failure has no .cdl and must
leave no output. Run with --update to rewrite the expected files after a deliberate change, then
review every changed file by hand.
"""

import difflib
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

SCENARIOS = os.path.join(common.source_dir(), "tests", "scenarios")
EXPECTED = os.path.join(common.source_dir(), "tests", "expected")


def configs(scenario, folder):
    """Writes the scenario's configuration files into folder; returns their paths."""
    paths = []
    for name, default in (("translation", common.TRANSLATION_XML), ("packing", common.PACKING_XML),
                          ("attributes", common.GLOBAL_ATTS)):
        paths.append(os.path.join(folder, name + ".txt"))
        if name not in scenario.get("absent", []):
            common.write_text(paths[-1], scenario.get(name, default))
    return paths


def cf_command(scenario, um_path, nc_path, config_paths):
    """The command line of a conversion in the CF profile, with the configuration files as options."""
    args = [common.host_program(), "--cf", "-o", nc_path, um_path]
    for name, path in zip(("--translation", "--packing", "--attributes"), config_paths):
        args += [name, path] if os.path.exists(path) else []
    args += ["--netcdf4"] if scenario.get("netcdf4") else []
    return args + (["--deflate", str(scenario["deflate"])] if "deflate" in scenario else [])


def dump_text(scenario, nc_path):
    """The ncdump text of an output (with -s for netCDF-4), the history's time as TIME."""
    args = ["ncdump", "-s", nc_path] if scenario.get("netcdf4") else ["ncdump", nc_path]
    text = subprocess.run(args, stdout=subprocess.PIPE, universal_newlines=True, check=True).stdout
    return re.sub(r':history = "[0-9T:Z-]+: ', ':history = "TIME: ', text)


def compare_text(what, got, expected, problems):
    if got != expected:
        problems.append("%s %r, expected %r" % (what, got, expected))


def convert_scenario(name, scenario, folder):
    """Writes the scenario's files into folder and converts; returns (status, stdout, stderr, output)."""
    um_path = os.path.join(folder, name + ".um")
    if "input" not in scenario.get("absent", []):
        common.write_um(um_path, scenario["input"])
    nc_path = common.output_path(um_path)
    if scenario.get("existing_output") is not None:
        common.write_text(nc_path, scenario["existing_output"])
    env = common.fail_calls_env(TESSOLD_TEST_PREAD_FAILS="1") if scenario.get("fail_reads") else None
    paths = configs(scenario, folder)
    args = cf_command(scenario, um_path, nc_path, paths) if scenario.get("profile") == "cf" else \
        [common.host_program(), um_path] + paths
    proc = subprocess.run(args, capture_output=True, text=True, timeout=common.CONVERT_TIMEOUT, env=env)
    return proc.returncode, proc.stdout, proc.stderr, nc_path


def converted(name, folder):
    """The output of tests/scenarios/NAME.json converted in folder, for checks by other clients."""
    with open(os.path.join(SCENARIOS, name + ".json")) as f:
        status, _, err, nc_path = convert_scenario(name, json.load(f), folder)
    if status != 0:
        raise AssertionError("%s: status %d: %s" % (name, status, err))
    return nc_path


def run_scenario(name, scenario, folder):
    """Converts the scenario's input; returns a list of the differences from what is expected."""
    status, out, err, nc_path = convert_scenario(name, scenario, folder)
    existing = scenario.get("existing_output")
    problems = []
    compare_text("status", status, scenario.get("status", 0), problems)
    for key, text in (("messages", err), ("stdout", out)):
        if key in scenario:
            compare_text(key, text.replace(folder, "DIR"), scenario[key], problems)
    if existing is not None:
        with open(nc_path) as f:
            compare_text("existing output", f.read(), existing, problems)
        return problems, None
    expected_path = os.path.join(EXPECTED, name + ".cdl")
    if not os.path.exists(nc_path):
        if os.path.exists(expected_path):
            problems.append("no output, expected one")
        return problems, None
    dump = dump_text(scenario, nc_path).replace(folder, "DIR")
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
