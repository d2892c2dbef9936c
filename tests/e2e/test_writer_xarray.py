"""Converted files read back through xarray and ncdump.

Each test generates a UM file, converts it with the host program, opens the output with
xarray (times decoded in the file's calendar, fill values masked) and compares coordinates
and data with what went in; ncdump must print the header and the whole file without error.
"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import cftime  # noqa: E402
import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402

ROWS, COLS = 3, 4
NPOINTS = ROWS * COLS
BMDI = -1073741824.0
LEVELS = [850.0, 500.0, 250.0]


def ramp(first):
    """Distinct float32-exact values for one field."""
    return [first + 0.25 * i for i in range(NPOINTS)]


class WriterXarrayTest(unittest.TestCase):

    def setUp(self):
        self._dir_context = common.temp_dir("tessold_writer_e2e_")
        self.dir = self._dir_context.__enter__()
        self.trans, self.pack, self.gatts = common.default_configs(self.dir)

    def tearDown(self):
        self._dir_context.__exit__(None, None, None)

    def convert(self, desc, name="in.um"):
        """Writes and converts a UM file; returns the output path after checking success."""
        um_path = os.path.join(self.dir, name)
        common.write_um(um_path, desc)
        code, out, err = common.convert(um_path, self.trans, self.pack, self.gatts)
        self.assertEqual(code, 0, err)
        self.assertIn("Converted file: ", out)
        nc_path = common.output_path(um_path)
        self.assertTrue(os.path.exists(nc_path))
        return nc_path

    def assert_ncdump_reads(self, nc_path):
        """ncdump prints the header and the data of the file without error."""
        for args in (["ncdump", "-h", nc_path], ["ncdump", nc_path]):
            proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  universal_newlines=True, timeout=60)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            self.assertIn("netcdf ", proc.stdout)
            self.assertIn(":Conventions = \"CF-1.3\"", proc.stdout)

    def test_360_day_means_on_pressure_levels(self):
        fields = []
        for day_index, (vt, dt) in enumerate([([1970, 1, 1, 0, 0, 0], [1970, 2, 1, 0, 0, 0]),
                                              ([1970, 2, 1, 0, 0, 0], [1970, 3, 1, 0, 0, 0])]):
            for level_index, level in enumerate(LEVELS):
                data = ramp(100.0 * day_index + 10.0 * level_index)
                if day_index == 1 and level_index == 2:
                    data[5] = None
                fields.append({"vt": vt, "dt": dt, "lbtim": 122, "blev": level, "data": data})
        nc_path = self.convert({"calendar": 2, "ref_time": [1970, 1, 1, 0, 0, 0], "fields": fields})
        with xr.open_dataset(nc_path) as ds:
            self.assertEqual(ds["temp_0"].dims, ("time0", "pressure_0", "latitude0", "longitude0"))
            times = list(ds["time0"].values)
            self.assertEqual(times, [cftime.Datetime360Day(1970, 1, 16), cftime.Datetime360Day(1970, 2, 16)])
            self.assertEqual(ds["time0"].attrs["meaning_period"], "720 hours")
            np.testing.assert_array_equal(ds["pressure_0"].values, np.array(LEVELS, dtype=np.float32))
            np.testing.assert_array_equal(ds["latitude0"].values, np.float32([-87.5, -85.0, -82.5]))
            np.testing.assert_array_equal(ds["longitude0"].values, np.float32([3.75, 7.5, 11.25, 15.0]))
            values = ds["temp_0"].values
            for day_index in range(2):
                for level_index in range(3):
                    expected = np.array(ramp(100.0 * day_index + 10.0 * level_index), dtype=np.float32)
                    if day_index == 1 and level_index == 2:
                        expected[5] = np.nan
                    np.testing.assert_array_equal(values[day_index, level_index].ravel(), expected)
            self.assertEqual(ds["temp_0"].attrs["units"], "K")
            self.assertEqual(ds.attrs["source"], "tests")
        self.assert_ncdump_reads(nc_path)

    def test_gregorian_times_and_missing_pair(self):
        fields = [
            {"vt": [1970, 3, 1, 0, 0, 0], "lbtim": 1, "blev": 850.0, "data": ramp(1.0)},
            {"vt": [1970, 3, 1, 0, 0, 0], "lbtim": 1, "blev": 500.0, "data": ramp(2.0)},
            {"vt": [1972, 3, 1, 0, 0, 0], "lbtim": 1, "blev": 850.0, "data": ramp(3.0)},
            {"vt": [1972, 3, 2, 0, 0, 0], "lbtim": 1, "blev": 850.0, "data": ramp(5.0)},
            {"vt": [1972, 3, 2, 0, 0, 0], "lbtim": 1, "blev": 500.0, "data": ramp(6.0)},
        ]
        nc_path = self.convert({"calendar": 1, "ref_time": [1970, 1, 1, 0, 0, 0], "fields": fields})
        with xr.open_dataset(nc_path) as ds:
            expected_times = np.array(["1970-03-01", "1972-03-01", "1972-03-02"], dtype="datetime64[ns]")
            np.testing.assert_array_equal(ds["time0"].values, expected_times)
            values = ds["temp_0"].values
            self.assertEqual(values.shape, (3, 2, ROWS, COLS))
            expected = {(0, 0): 1.0, (0, 1): 2.0, (1, 0): 3.0, (2, 0): 5.0, (2, 1): 6.0}
            for (t, l), first in expected.items():
                np.testing.assert_array_equal(values[t, l].ravel(), np.float32(ramp(first)))
            self.assertTrue(np.isnan(values[1, 1]).all())
        self.assert_ncdump_reads(nc_path)

    def test_rotated_grid_and_integer_field(self):
        ints = [0, 1, -1, 2147483647, -2147483648, 7, 8, 9, 10, 11, 12, int(BMDI)]
        fields = [
            {"lbcode": 101, "bplat": 37.5, "bplon": 177.5, "bzy": -5.0, "bdy": 1.0,
             "bzx": 10.0, "bdx": 1.0, "data": ramp(0.5)},
            {"stash": 16204, "lbuser1": 2, "ints": ints},
        ]
        nc_path = self.convert({"fields": fields})
        with xr.open_dataset(nc_path) as ds:
            rotated = ds["temp_0"]
            self.assertEqual(rotated.attrs["grid_mapping"], "rotated_pole0")
            self.assertIn("global_latitude0", rotated.coords)
            self.assertIn("global_longitude0", rotated.coords)
            self.assertEqual(ds["global_latitude0"].shape, (ROWS, COLS))
            self.assertTrue(np.all(np.abs(ds["global_latitude0"].values) <= 90.0))
            np.testing.assert_array_equal(rotated.values.ravel(), np.float32(ramp(0.5)))
            self.assertEqual(ds["rotated_pole0"].attrs["grid_mapping_name"], "rotated_latitude_longitude")
            integer = ds["field16_0"]
            expected = np.array(ints, dtype=np.float64)
            expected[-1] = np.nan
            np.testing.assert_array_equal(integer.values.ravel(), expected)
            self.assertEqual(integer.attrs["stash_item"], 204)
            self.assertEqual(integer.attrs["stash_section"], 16)
        with xr.open_dataset(nc_path, mask_and_scale=False) as raw:
            self.assertEqual(raw["field16_0"].dtype, np.int32)
            self.assertEqual(raw["field16_0"].attrs["_FillValue"], int(BMDI))
        self.assert_ncdump_reads(nc_path)


if __name__ == "__main__":
    unittest.main()
