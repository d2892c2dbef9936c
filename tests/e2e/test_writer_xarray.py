"""Converted files read back through xarray and ncdump.

For each calendar, times must decode in the file's calendar, values must equal the input, a missing
point and an absent (time, level) pair must read as NaN, and ncdump must print the file.
"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402

NPOINTS = 12
LEVELS = [850.0, 500.0]
# calendar code, time type, (validity date, data date) of each time, decoded dtype kind, decoded times
CASES = [
    (2, 122, [([1970, 1, 1], [1970, 2, 1]), ([1970, 2, 1], [1970, 3, 1])], "O",
     ["1970-01-16T00:00:00", "1970-02-16T00:00:00"]),
    (1, 1, [([1970, 3, 1], [1970, 3, 1]), ([1972, 3, 1], [1972, 3, 1])], "M",
     ["1970-03-01T00:00:00", "1972-03-01T00:00:00"]),
]


def ramp(first):
    """Distinct float32-exact values for one field."""
    return [first + 0.25 * i for i in range(NPOINTS)]


def iso(value):
    """A decoded time as ISO text, from cftime (360_day) or datetime64 (gregorian)."""
    return value.isoformat() if hasattr(value, "isoformat") else str(np.datetime_as_string(value, unit="s"))


class WriterXarrayTest(unittest.TestCase):

    def test_times_values_and_missing_data_decode(self):
        for calendar, lbtim, dates, kind, expected_times in CASES:
            with self.subTest(calendar=calendar), common.temp_dir("tessold_writer_e2e_") as directory:
                fields = []
                for t, (vt, dt) in enumerate(dates):
                    for l, level in enumerate(LEVELS):
                        data = ramp(100.0 * t + 10.0 * l)
                        data[5] = None if (t, l) == (0, 0) else data[5]
                        if (t, l) != (1, 1):  # this (time, level) pair stays absent
                            fields.append({"vt": vt + [0, 0, 0], "dt": dt + [0, 0, 0], "lbtim": lbtim,
                                           "blev": level, "data": data})
                um_path = os.path.join(directory, "in.um")
                common.write_um(um_path, {"calendar": calendar, "ref_time": [1970, 1, 1, 0, 0, 0],
                                          "fields": fields})
                code, out, err = common.convert(um_path, *common.default_configs(directory))
                self.assertEqual(code, 0, err)
                nc_path = common.output_path(um_path)
                with xr.open_dataset(nc_path) as ds:
                    self.assertEqual(ds["time0"].dtype.kind, kind)
                    self.assertEqual([iso(t) for t in ds["time0"].values], expected_times)
                    values = ds["temp_0"].values
                    self.assertEqual(values.shape, (2, 2, 3, 4))
                    for t in range(2):
                        for l in range(2):
                            expected = np.float32(ramp(100.0 * t + 10.0 * l))
                            expected[5] = np.nan if (t, l) == (0, 0) else expected[5]
                            expected[:] = np.nan if (t, l) == (1, 1) else expected
                            np.testing.assert_array_equal(values[t, l].ravel(), expected)
                for args in (["ncdump", "-h", nc_path], ["ncdump", nc_path]):
                    proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                          universal_newlines=True, timeout=60)
                    self.assertEqual(proc.returncode, 0, proc.stderr)
                    self.assertIn(":Conventions = \"CF-1.3\"", proc.stdout)


if __name__ == "__main__":
    unittest.main()
