#!/usr/bin/python3
"""The host program's command line: options, listings, the configuration check of a batch, and
signals during a single conversion."""

import json
import os
import signal
import struct
import subprocess
import time
import unittest

import common

NETCDF = b"CDF"  # an expected file that is a netCDF output
UM = {"fields": [{"stash": 16203}]}  # a UM file of one field
OPTIONS = ["--translation FILE", "--packing FILE", "--attributes FILE", "-o FILE", "--output-dir DIR", "--force",
           "--skip-existing", "-q, --quiet", "--batch", "--jobs N", "--list", "--json", "--cf", "--netcdf4",
           "--deflate N", "--version", "-h, --help"]
STATUSES = ["  0 ", "  1 ", "  2 ", "  3 ", "  128+N "]

# Each case runs in a fresh folder holding a.um and b.um (one field of STASH 16203 each), the
# default configuration files (trans.xml, pack.xml, atts.txt) and an empty folder out/, plus the
# files of "before" (texts, or descriptions of UM files). "out" and "err" are texts (or lists of them) that must
# appear in standard output and error ("" for "nothing at all"), "err_lacks" texts that must not;
# "files" maps names to NETCDF, None (absent) or a text kept as it was; "dump" maps names to texts
# their ncdump -h shows. No case leaves a temporary .part file.
BATCH = ["--batch", "--translation=trans.xml"]
REFUSED_NAME = ('<translation><stash><submodel id="1"><section id="16"><item id="203" out_name="bad/name"/>'
                '</section></submodel></stash></translation>')
CASES = [
    ("version", ["--version"], 0, {"out": "tessold 1.1.0\n"}),
    ("help", ["--help"], 0, {"out": OPTIONS + STATUSES}),
    ("unknown option", ["--frob", "a.um"], 2, {"err": "Error: unknown option --frob", "files": {"a.um.nc": None}}),
    ("no configuration", ["a.um"], 0,
     {"out": "Converted file: a.um to: a.um.nc\n", "dump": {"a.um.nc": ["float field16_0("]}}),
    ("configuration options", ["--attributes", "atts.txt", "a.um", "--translation", "trans.xml"], 0,
     {"dump": {"a.um.nc": ['temp_0:units = "K"', ':source = "tests"']}}),
    ("four names", ["a.um", "trans.xml", "pack.xml", "atts.txt"], 0, {"dump": {"a.um.nc": [':source = "tests"']}}),
    ("configuration option and four names", ["--packing", "pack.xml", "a.um", "trans.xml", "pack.xml", "atts.txt"],
     2, {"err": "Error: 4 names fit none", "files": {"a.um.nc": None}}),
    ("-o", ["-o", "x.nc", "a.um"], 0, {"out": "Converted file: a.um to: x.nc\n",
                                       "files": {"x.nc": NETCDF, "a.um.nc": None}}),
    ("-o with several inputs", ["-o", "x.nc"] + BATCH + ["a.um", "b.um"], 2, {"files": {"x.nc": None}}),
    ("--output-dir", ["--output-dir", "out"] + BATCH + ["a.um", "b.um"], 0,
     {"err": "Converted 2 of 2 files", "files": {"out/a.um.nc": NETCDF, "out/b.um.nc": NETCDF, "a.um.nc": None}}),
    ("--output-dir of one input", ["--output-dir=out/", "a.um"], 0, {"out": "to: out/a.um.nc\n"}),
    ("existing output kept", ["a.um"], 1, {"before": {"a.um.nc": "old"}, "files": {"a.um.nc": "old"},
                                           "err": "Error: Output file: a.um.nc already exists", "out": ""}),
    ("--force", ["--force", "a.um"], 0, {"before": {"a.um.nc": "old"}, "files": {"a.um.nc": NETCDF}}),
    ("--force in a batch", ["--force"] + BATCH + ["a.um", "b.um"], 0,
     {"before": {"a.um.nc": "old"}, "files": {"a.um.nc": NETCDF, "b.um.nc": NETCDF}}),
    ("--skip-existing in a batch", ["--skip-existing"] + BATCH + ["a.um", "b.um"], 0,
     {"before": {"a.um.nc": "old"}, "files": {"a.um.nc": "old", "b.um.nc": NETCDF},
      "err": ["Converted 1 of 2 files in", "; 1 skipped (output exists)\n"]}),
    ("--skip-existing", ["--skip-existing", "a.um"], 0,
     {"before": {"a.um.nc": "old"}, "files": {"a.um.nc": "old"}, "out": "Skipped: a.um (a.um.nc exists)\n"}),
    ("-q", ["-q", "a.um"], 0, {"out": "", "err": "", "files": {"a.um.nc": NETCDF}}),
    ("-q in a batch", ["-q"] + BATCH + ["a.um", "b.um"], 0, {"out": "", "err": "", "files": {"b.um.nc": NETCDF}}),
    ("-q in a failing batch", ["-q"] + BATCH + ["a.um", "gone.um"], 1,
     {"out": "", "err": ["Converted 1 of 2 files", "  gone.um (exit status 1: file : gone.um does not"]}),
    ("broken configuration in a batch", ["--batch", "--translation", "bad.xml", "a.um", "b.um"], 1,
     {"before": {"bad.xml": "<translation"}, "err": "Error: XML file: bad.xml error in XML",
      "err_lacks": ["Converted ", "Failed: "], "files": {"a.um.nc": None, "b.um.nc": None}}),
    ("a name netCDF refuses", ["--translation", "refused.xml", "a.um"], 3,
     {"before": {"refused.xml": REFUSED_NAME}, "out": "", "files": {"a.um.nc": None},
      "err": "Error: NetCDF: Name contains illegal characters\nError: Output file could not be written.\n"}),
    ("bad job counts", ["--jobs", "0", "a.um", "b.um"], 2, {"err": "Error: --jobs needs a number from 1 to 1024\n"}),
    ("job count missing", ["a.um", "b.um", "--jobs"], 2, {"err": "Error: --jobs needs a number from 1 to 1024\n"}),
    ("names after --", ["--jobs=1", "--translation=trans.xml", "--", "--batch"], 0,
     {"before": {"--batch": UM}, "err": "Converted 1 of 1 files", "files": {"--batch.nc": NETCDF}}),
    ("--list of a field no conversion reads", ["--list", "rle.um"], 0,
     {"before": {"rle.um": {"word_size": 8, "byte_order": "big", "fields": [{}, {"lbpack": 4}]}},
      "out": ["layout: fields file, 64-bit big-endian\n", "  LBPACK 4  "]}),
    ("CF profile in a batch", ["--cf", "--netcdf4", "--deflate=2"] + BATCH + ["a.um", "b.um"], 0,
     {"dump": {"b.um.nc": [':Conventions = "CF-1.11"', "float temp(", ":history = ", "tessold --cf --netcdf4"]}}),
    ("CF history quotes the command line", ["--cf", "-o", "x.nc", "in 1.um"], 0,
     {"before": {"in 1.um": UM}, "dump": {"x.nc": ["Z: tessold --cf -o x.nc \\\'in 1.um\\\'\" ;"]}}),
    ("--netcdf4 without --cf", ["--netcdf4", "a.um"], 2, {"err": "Error: --netcdf4 writes the CF profile only",
                                                          "files": {"a.um.nc": None}}),
    ("--deflate out of range", ["--cf", "--netcdf4", "--deflate", "0", "a.um"], 2,
     {"err": "Error: --deflate needs a number from 1 to 9\n"}),
    ("missing configuration in a batch", ["--batch", "trans.xml", "gone.xml", "atts.txt", "a.um"], 1,
     {"err": "file : gone.xml does not exist\n", "files": {"a.um.nc": None}}),
]


def run(args, cwd):
    return subprocess.run([common.host_program()] + args, cwd=cwd, capture_output=True, text=True, timeout=300)


def as_float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def check_texts(test, got, expected):
    if expected == "":
        test.assertEqual(got, "")
    for text in [expected] if isinstance(expected, str) else expected:
        test.assertIn(text, got)


class CommandLineTest(unittest.TestCase):
    def test_options(self):
        for name, args, status, expect in CASES:
            with self.subTest(name), common.temp_dir() as folder:
                for um in ("a.um", "b.um"):
                    common.write_um(os.path.join(folder, um), UM)
                for config, path in zip(("trans.xml", "pack.xml", "atts.txt"), common.default_configs(folder)):
                    os.rename(path, os.path.join(folder, config))
                os.mkdir(os.path.join(folder, "out"))
                for path, text in expect.get("before", {}).items():
                    (common.write_um if isinstance(text, dict) else common.write_text)(os.path.join(folder, path), text)
                result = run(args, folder)

                self.assertEqual(result.returncode, status, result.stderr)
                check_texts(self, result.stdout, expect.get("out", []))
                check_texts(self, result.stderr, expect.get("err", []))
                for text in expect.get("err_lacks", []):
                    self.assertNotIn(text, result.stderr)
                for path, content in expect.get("files", {}).items():
                    path = os.path.join(folder, path)
                    if content is None:
                        self.assertFalse(os.path.exists(path), path)
                        continue
                    with open(path, "rb") as f:
                        self.assertEqual(f.read(3) if content == NETCDF else f.read().decode(), content, path)
                for path, texts in expect.get("dump", {}).items():
                    dump = subprocess.run(["ncdump", "-h", os.path.join(folder, path)], text=True,
                                          capture_output=True, check=True).stdout
                    for text in texts:
                        self.assertIn(text, dump)
                self.assertEqual([entry for entry in os.listdir(folder) if entry.endswith(".part")], [])

    def listing(self, args, cwd):
        """The JSON lines of a listing: the fields, and the variables line, after the layout line."""
        result = run(["--list", "--json"] + args, cwd)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = [json.loads(line) for line in result.stdout.splitlines()]
        self.assertEqual(lines[0], {"layout": "fields file, 32-bit little-endian"})
        return lines[1:-1], lines[-1]["variables"]

    def test_listing_of_the_example(self):
        examples = os.path.join(common.source_dir(), "examples")
        with open(os.path.join(examples, "example.json")) as f:
            desc = json.load(f)
        fields, variables = self.listing(["example.um"], examples)
        self.assertEqual(len(fields), len(desc["fields"]))
        for index, (field, wanted) in enumerate(zip(fields, desc["fields"])):
            self.assertEqual(field["field"], index)
            self.assertEqual(field["stash"], "m01s%02di%03d" % (wanted["stash"] // 1000, wanted["stash"] % 1000))
            self.assertEqual((field["lbvc"], field["level"], field["rows"], field["cols"], field["grid"]),
                             (wanted["lbvc"], wanted["blev"], wanted["rows"], wanted["cols"], "regular"))
            self.assertEqual(field["validity"], "%04d-%02d-%02d %02d:%02d:%02d" % tuple(wanted["vt"]))
        self.assertEqual(variables, [{"name": "field16_0", "stash": "m01s16i203", "fields": 6},
                                     {"name": "field16_1", "stash": "m01s03i236", "fields": 2}])
        _, variables = self.listing(["--translation", "translation.xml", "example.um"], examples)
        self.assertEqual([variable["name"] for variable in variables], ["temp_0", "tas_0"])
        text = run(["--list", "example.um"], examples)
        self.assertEqual(text.stdout.splitlines()[4][:36], "3  m01s03i236  LBFC 16  valid 2000-0")
        self.assertEqual(run(["list", "example.um"], examples).stdout, text.stdout)

    def test_listing_of_rotated_pressure_level_and_packed_fields(self):
        # 400 more pressure levels make the listing larger than the host's first buffer.
        desc = [{"stash": 16203, "lbvc": 8, "blev": 500.0, "vt": [1990, 6, 2, 12, 0, 0]},
                {"stash": 24, "lbvc": 1, "blev": 1.5, "lbcode": 101, "bplat": 37.5, "bplon": 177.5, "rows": 40,
                 "cols": 50},
                {"stash": 3236, "lbvc": 129, "blev": 0.0, "lbpack": 1, "bmdi": -999.0}]
        desc += [dict(desc[0], blev=100.0 + level) for level in range(400)]
        with common.temp_dir() as folder:
            common.write_um(os.path.join(folder, "mixed.um"), {"fields": desc})
            fields, variables = self.listing(["mixed.um"], folder)
        self.assertEqual(len(fields), 403)
        self.assertEqual(fields[0]["validity"], "1990-06-02 12:00:00")
        for field, wanted in zip(fields, desc):
            self.assertEqual((field["lbvc"], field["level"], field["rows"], field["cols"]),
                             (wanted["lbvc"], wanted["blev"], wanted.get("rows", 3), wanted.get("cols", 4)))
            self.assertEqual(field["lbpack"], wanted.get("lbpack", 0))
            self.assertEqual(as_float32(field["bmdi"]), as_float32(wanted.get("bmdi", -1073741824.0)))
        self.assertEqual([field["grid"] for field in fields[:3]], ["regular", "rotated", "regular"])
        self.assertEqual(fields[1]["pole"], [37.5, 177.5])
        self.assertEqual([(variable["stash"], variable["fields"]) for variable in variables],
                         [("m01s16i203", 401), ("m01s00i024", 1), ("m01s03i236", 1)])

    def test_a_signal_removes_the_unfinished_output(self):
        with common.temp_dir() as folder:
            big = os.path.join(folder, "big.um")
            common.write_um(big, {"field_defaults": {"rows": 256, "cols": 256},
                                  "fields": [{"blev": 1000.0 - level} for level in range(300)]})
            for stop in (signal.SIGINT, signal.SIGTERM):
                with self.subTest(signal=stop.name):
                    proc = subprocess.Popen([common.host_program(), big], stdout=subprocess.DEVNULL,
                                            stderr=subprocess.PIPE, text=True)
                    while proc.poll() is None and not any(entry.endswith(".part") for entry in os.listdir(folder)):
                        time.sleep(0.001)
                    proc.send_signal(stop)
                    _, err = proc.communicate(timeout=300)

                    self.assertEqual(proc.returncode, -stop, err)
                    self.assertEqual(os.listdir(folder), ["big.um"])


if __name__ == "__main__":
    unittest.main()
