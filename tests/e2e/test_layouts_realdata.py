"""Real model files of three layouts read through DetectLayout and ReadNormalised (um_field_stats)
give the statistics an independent reader found (tests/data/realdata/expected.json): the same
layout, fields, counts of values and missing values, minimum and maximum (rounded to float) and
mean (within 1e-6 relative)."""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import numpy as np  # noqa: E402

DATA_DIR = os.path.join(common.source_dir(), "tests", "data", "realdata")


def field_stats(path):
    """Runs um_field_stats on path; returns (layout, list of field objects)."""
    proc = subprocess.run([os.path.join(common.build_dir(), "tests", "um_field_stats"), path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True, timeout=120)
    if proc.returncode != 0:
        raise AssertionError("um_field_stats failed: %s" % proc.stderr)
    lines = [json.loads(line) for line in proc.stdout.splitlines()]
    return lines[0]["layout"], lines[1:]


class RealDataTest(unittest.TestCase):

    def test_every_field_matches_the_independent_reader(self):
        with open(os.path.join(DATA_DIR, "expected.json")) as f:
            expected = json.load(f)
        self.assertEqual(len(expected), 3)
        for name, want in expected.items():
            with self.subTest(file=name):
                layout, fields = field_stats(os.path.join(DATA_DIR, name))
                self.assertEqual(layout, want["layout"])
                self.assertEqual(len(fields), len(want["fields"]))
                for got, field in zip(fields, want["fields"]):
                    self.assertEqual(got["index"], field["index"])
                    self.assertEqual((got["n_values"], got["n_missing"]), (field["n_values"], field["n_missing"]))
                    for key in ("min", "max"):
                        self.assertEqual(np.float32(got[key]), np.float32(field[key]), key)
                    self.assertLessEqual(abs(got["mean"] - field["mean"]), 1e-6 * abs(field["mean"]))


if __name__ == "__main__":
    unittest.main()
