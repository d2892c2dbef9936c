#!/usr/bin/python3
"""Batch mode of the host program: many files in one call, each in a process of its own."""

import os
import subprocess
import unittest

import common

TRANSLATION = """<?xml version="1.0"?>
<translation><stash><submodel id="1">
  <section id="16"><item id="203" out_name="temp" units="K"/></section>
  <section id="3"><item id="236" out_name="bad/name"/></section>
</submodel></stash></translation>
"""


def run_batch(args):
    return subprocess.run([common.host_program(), "--batch"] + args, capture_output=True,
                          text=True, timeout=300)


class BatchTest(unittest.TestCase):
    def test_failing_files_never_stop_the_batch(self):
        with common.temp_dir() as folder:
            _, pack, gatts = common.default_configs(folder)
            trans = os.path.join(folder, "batch_translation.xml")
            common.write_text(trans, TRANSLATION)
            good = []
            for member in range(5):
                path = os.path.join(folder, "good%d.um" % member)
                common.write_um(path, {"fields": [{"stash": 16203, "blev": 850.0 + member}]})
                good.append(path)
            corrupt = os.path.join(folder, "corrupt.um")
            common.write_um(corrupt, {"fields": [{}, {}], "truncate": 1500})
            # A name the netCDF library refuses ends the conversion's process with status 3.
            refused = os.path.join(folder, "refused.um")
            common.write_um(refused, {"fields": [{"stash": 3236}]})
            missing = os.path.join(folder, "missing.um")

            inputs = good[:2] + [corrupt, refused, missing] + good[2:]
            result = run_batch(["--jobs", "2", trans, pack, gatts] + inputs)

            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertEqual(result.stdout, "")
            for path in good:
                self.assertTrue(os.path.exists(path + ".nc"), path)
            summary = result.stderr.splitlines()
            self.assertIn("Converted 5 of 8 files in ", result.stderr)
            self.assertIn("  %s (exit status 1: Error: Input file: %s is corrupt: " % (corrupt, corrupt),
                          result.stderr)
            self.assertIn("  %s (exit status 3" % refused, result.stderr)
            self.assertIn("  %s (exit status 1: file : %s does not exist)" % (missing, missing),
                          summary)

    def test_all_good_files_exit_zero_with_any_job_count(self):
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            for jobs in ("1", "3"):
                inputs = []
                for member in range(4):
                    path = os.path.join(folder, "j%s_%d.um" % (jobs, member))
                    common.write_um(path, {"fields": [{"stash": 16203}]})
                    inputs.append(path)
                result = run_batch(["--jobs", jobs, trans, pack, gatts] + inputs)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("Converted 4 of 4 files", result.stderr)
                self.assertIn("%s jobs)" % jobs, result.stderr)
                for path in inputs:
                    self.assertTrue(os.path.exists(path + ".nc"))

    def test_bad_job_count_is_refused(self):
        result = run_batch(["--jobs", "0", "a", "b", "c", "d"])
        self.assertEqual(result.returncode, 2)
        self.assertIn("--jobs", result.stderr)


if __name__ == "__main__":
    unittest.main()
