"""Outputs of the scenarios in tests/scenarios read back by the clients people use: xarray
(CF time decoding, label slicing), CDO (variable listing) and NCO (unpacking).
"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402
import test_scenarios  # noqa: E402

import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402


def times(path):
    """The decoded times to the nearest second (the file holds 32-bit floats of days)."""
    with xr.open_dataset(path) as ds:
        return [str((t + np.timedelta64(500, "ms")).astype("datetime64[s]")) for t in ds["time0"].values]


class ClientsTest(unittest.TestCase):

    def setUp(self):
        self.dir = self.enterContext(common.temp_dir())

    def test_forecasts_are_one_variable_at_their_validity_times(self):
        path = test_scenarios.converted("forecast_lead_times", self.dir)
        self.assertEqual(times(path), ["2013-07-17T%02d:00:00" % hour for hour in range(9, 15)])
        listing = subprocess.run(["cdo", "-s", "sinfon", path], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, universal_newlines=True, check=True)
        variables = [line for line in listing.stdout.splitlines() if line.rstrip().endswith(": temp_0")]
        self.assertEqual(len(variables), 1, listing.stdout)
        self.assertNotIn("skipped", listing.stderr)

    def test_minutes_and_gregorian_centuries_decode_to_the_input_dates(self):
        path = test_scenarios.converted("times_a_minute_apart", self.dir)
        self.assertEqual(times(path), ["2000-01-01T10:00:00", "2000-01-01T10:30:00",
                                       "2000-01-01T10:31:00", "2000-01-01T11:00:00"])
        path = test_scenarios.converted("gregorian_centuries", self.dir)
        self.assertEqual(times(path), ["1900-02-28T00:00:00", "1900-03-01T00:00:00", "2000-02-29T00:00:00",
                                       "2100-02-28T00:00:00", "2100-03-01T00:00:00"])

    def test_nco_unpacks_what_xarray_decodes(self):
        path = test_scenarios.converted("packed_scale_offset_one_type", self.dir)
        with xr.open_dataset(path) as ds:
            decoded = {name: ds[name].values.ravel() for name in ("temp_0", "field16_0")}
            steps = {name: float(ds[name].encoding["scale_factor"]) for name in decoded}
        self.assertAlmostEqual(float(decoded["field16_0"][0]), -48.15, delta=steps["field16_0"])
        unpacked = os.path.join(self.dir, "unpacked.nc")
        subprocess.run(["ncpdq", "-O", "-U", path, unpacked], check=True)
        celsius = os.path.join(self.dir, "celsius.nc")
        subprocess.run(["ncap2", "-O", "-s", "c=field16_0-273.15", path, celsius], check=True)
        with xr.open_dataset(unpacked) as nco, xr.open_dataset(celsius) as arithmetic:
            for name, values in decoded.items():
                np.testing.assert_allclose(nco[name].values.ravel(), values, atol=steps[name], equal_nan=True)
            np.testing.assert_allclose(arithmetic["c"].values.ravel(), decoded["field16_0"] - 273.15,
                                       atol=steps["field16_0"], equal_nan=True)


if __name__ == "__main__":
    unittest.main()
