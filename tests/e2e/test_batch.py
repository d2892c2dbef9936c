#!/usr/bin/python3
"""Batch mode of the host program: many files in one call, each in a process of its own."""

import os
import resource
import shutil
import signal
import subprocess
import time
import unittest

import common

TRANSLATION = """<?xml version="1.0"?>
<translation><stash><submodel id="1">
  <section id="16"><item id="203" out_name="temp" units="K"/></section>
  <section id="3"><item id="236" out_name="bad/name"/></section>
</submodel></stash></translation>
"""


def run_batch(args, **options):
    return subprocess.run([common.host_program(), "--batch"] + args, capture_output=True,
                          text=True, timeout=300, **options)


def write_members(folder, count, prefix):
    """Writes count one-field UM files; returns their paths."""
    paths = [os.path.join(folder, "%s%02d.um" % (prefix, member)) for member in range(count)]
    for path in paths:
        common.write_um(path, {"fields": [{"stash": 16203}]})
    return paths


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
            # The library's message names the failing call; its half-written file goes.
            self.assertIn("  %s (exit status 3: Error: NetCDF: Name contains illegal characters)" % refused, summary)
            self.assertFalse(os.path.exists(refused + ".nc"))
            self.assertIn("  %s (exit status 1: file : %s does not exist)" % (missing, missing),
                          summary)

    def test_an_interrupted_batch_finishes_the_files_under_way_and_starts_no_more(self):
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            reference = os.path.join(folder, "reference.um")
            common.write_um(reference, {"fields": [{"stash": 16203, "rows": 128, "cols": 128, "blev": level}
                                                   for level in (1000.0, 850.0, 500.0, 250.0)]})
            subprocess.run([common.host_program(), reference, trans, pack, gatts], check=True, capture_output=True)
            with open(common.output_path(reference), "rb") as f:
                whole = f.read()
            inputs = [os.path.join(folder, "member%03d.um" % member) for member in range(300)]
            for path in inputs:
                shutil.copyfile(reference, path)
            for stop in (signal.SIGINT, signal.SIGTERM):
                with self.subTest(signal=stop.name):
                    # A process group of its own, as a terminal or a scheduler signals every process
                    # of a job; the signal goes out once the first output appears.
                    proc = subprocess.Popen([common.host_program(), "--jobs", "2", trans, pack, gatts] + inputs,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                            start_new_session=True)
                    while proc.poll() is None and not os.path.exists(common.output_path(inputs[0])):
                        time.sleep(0.001)
                    # The batch starts itself again before converting; it keeps its name for ps and pkill.
                    with open("/proc/%d/comm" % proc.pid) as f:
                        self.assertEqual(f.read().strip(), "tessold")
                    os.killpg(proc.pid, stop)
                    _, err = proc.communicate(timeout=300)

                    self.assertEqual(proc.returncode, -stop, err)
                    self.assertIn("Interrupted: ", err)
                    outputs = [common.output_path(path) for path in inputs
                               if os.path.exists(common.output_path(path))]
                    self.assertIn("Converted %d of 300 files in " % len(outputs), err)
                    self.assertIn("; %d not started (interrupted)" % (300 - len(outputs)), err)
                    for output in outputs:
                        with open(output, "rb") as f:
                            self.assertTrue(f.read() == whole, output + " is not the whole output")
                        os.remove(output)

    def test_a_caller_that_ignores_sigchld_does_not_hang_the_batch(self):
        # Children of a process that ignores SIGCHLD leave no status to wait for.
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            inputs = write_members(folder, 3, "m")
            result = run_batch(["--jobs", "2", trans, pack, gatts] + inputs,
                               preexec_fn=lambda: signal.signal(signal.SIGCHLD, signal.SIG_IGN))
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("Converted 3 of 3 files", result.stderr)

    def test_a_file_whose_process_cannot_start_waits_for_a_running_one(self):
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            inputs = write_members(folder, 12, "f")
            env = common.fail_calls_env()
            for every, converted in (("3", 12), ("1", 0)):
                with self.subTest(every=every):
                    env["TESSOLD_TEST_FORK_FAILS_EVERY"] = every
                    result = run_batch(["--jobs", "2", trans, pack, gatts] + inputs, env=env)
                    self.assertIn("Converted %d of 12 files" % converted, result.stderr)
                    self.assertEqual(result.returncode, 0 if converted == 12 else 1, result.stderr)
                    if converted == 0:
                        self.assertIn("  %s (could not start a process: Resource temporarily unavailable)"
                                      % inputs[-1], result.stderr)

    def test_a_low_limit_on_open_files_neither_fails_files_nor_loses_reasons(self):
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            inputs = write_members(folder, 40, "m")
            missing = [os.path.join(folder, "absent%02d.um" % member) for member in range(30)]

            def limit(count):
                return lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (count, count))

            # Each child must not hold the logs of the others: 40 of them would not fit in 32.
            result = run_batch(["--jobs", "40", trans, pack, gatts] + inputs, preexec_fn=limit(32))
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("Converted 40 of 40 files", result.stderr)
            # The batch itself runs out of descriptors for logs, and waits for a child to end.
            result = run_batch(["--jobs", "40", trans, pack, gatts] + missing, preexec_fn=limit(20))
            self.assertEqual(result.returncode, 1, result.stderr)
            for path in missing:
                self.assertIn("  %s (exit status 1: file : %s does not exist)\n" % (path, path), result.stderr)

    def test_a_signal_while_the_batch_waits_to_write_loses_no_line(self):
        # Failure lines fill a pipe that nobody reads yet, so the batch blocks writing; signals
        # that arrive then must not cut lines short, nor drop any from the summary.
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            missing = [os.path.join(folder, "x" * 200 + "%03d.um" % member) for member in range(400)]
            proc = subprocess.Popen([common.host_program(), "--jobs", "2", trans, pack, gatts] + missing,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            # The kernel names where the batch sleeps ("pipe_write", or "anon_pipe_write" lately).
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                with open("/proc/%d/wchan" % proc.pid) as f:
                    if f.read().endswith("pipe_write"):
                        break
                time.sleep(0.01)
            for _ in range(5):
                proc.send_signal(signal.SIGTERM)
                time.sleep(0.05)
            _, err = proc.communicate(timeout=300)

            self.assertEqual(proc.returncode, -signal.SIGTERM, err[-500:])
            live = [line for line in err.splitlines() if line.startswith("Failed: ")]
            listed = [line for line in err.splitlines() if line.startswith("  ")]
            not_started = int(err.split("; ")[-2].split()[0])
            self.assertEqual(len(live), 400 - not_started)
            self.assertEqual(len(listed), 400 - not_started)
            for line in live + listed:
                self.assertTrue(line.endswith(".um does not exist)"), line)

    def test_the_default_job_count_is_the_cores_the_batch_may_use(self):
        with common.temp_dir() as folder:
            trans, pack, gatts = common.default_configs(folder)
            inputs = write_members(folder, 2, "m")
            result = run_batch([trans, pack, gatts] + inputs, preexec_fn=lambda: os.sched_setaffinity(0, {0}))
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("files/s, 1 jobs)", result.stderr)



if __name__ == "__main__":
    unittest.main()
