"""The CF profile read by the clients its users have: CDO lists every data variable of every CF
scenario's output and of the real files without skipping one, and `cdo timmean` averages all
twelve Gregorian months; xarray combines three consecutive outputs along time and decodes time
bounds, forecast coordinates and the hybrid height coordinate; NCO unpacks packed variables to
within half a packing step; a netCDF-4 output is compressed and chunked as asked."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402
import test_scenarios  # noqa: E402

import netCDF4  # noqa: E402
import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402

REAL_DATA = os.path.join(common.source_dir(), "tests", "data", "realdata")


def convert_cf(folder, um_path=None, desc=None):
    """Converts the file um_path (or one written from desc) with the CF profile; returns the output."""
    if um_path is None:
        um_path = os.path.join(folder, "input.um")
        common.write_um(um_path, desc)
    nc_path = os.path.join(folder, os.path.basename(um_path) + ".nc")
    subprocess.run([common.host_program(), "-q", "--cf", "-o", nc_path, um_path], check=True,
                   timeout=common.CONVERT_TIMEOUT)
    return nc_path


def data_variables(nc_path):
    """The names of the variables on the grid (two horizontal dimensions last) that are not coordinates."""
    with netCDF4.Dataset(nc_path) as ds:
        aux = set()
        for var in ds.variables.values():
            aux.update(getattr(var, "coordinates", "").split())
        return [name for name, var in ds.variables.items()
                if var.ndim >= 3 and name not in aux and "bnds" not in var.dimensions]


def cdo(*args):
    proc = subprocess.run(["cdo"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, timeout=120)
    return proc.returncode, proc.stdout, proc.stderr


def months(first, count, year=2000):
    """Gregorian monthly means of one diagnostic, months first .. first + count - 1, value 270 + month."""
    fields = []
    for month in range(first, first + count):
        end = [year + 1, 1, 1, 0, 0, 0] if month == 12 else [year, month + 1, 1, 0, 0, 0]
        fields.append({"vt": [year, month, 1, 0, 0, 0], "dt": end, "fill": 270.0 + month})
    return {"calendar": 1, "ref_time": [year, first, 1, 0, 0, 0],
            "field_defaults": {"stash": 24, "lbtim": 121, "lbproc": 128, "lbvc": 129, "rows": 2, "cols": 3},
            "fields": fields}


class CDOTest(unittest.TestCase):

    def assert_cdo_lists_everything(self, nc_path):
        status, out, err = cdo("sinfon", nc_path)
        self.assertEqual(status, 0, err)
        self.assertNotIn("skipped variable", err)
        listed = [line.split(":")[-1].strip() for line in out.splitlines() if line.strip()[:1].isdigit() and " : " in line]
        for name in data_variables(nc_path):
            self.assertIn(name, listed)

    def test_every_cf_scenario_is_read_whole(self):
        names = sorted(entry[:-5] for entry in os.listdir(test_scenarios.SCENARIOS) if entry.startswith("cf_"))
        self.assertGreaterEqual(len(names), 6)
        for name in names:
            with self.subTest(scenario=name), common.temp_dir() as folder:
                self.assert_cdo_lists_everything(test_scenarios.converted(name, folder))

    def test_every_real_file_is_read_whole(self):
        for entry in sorted(os.listdir(REAL_DATA)):
            if entry.endswith((".ff", ".pp")):
                with self.subTest(file=entry), common.temp_dir() as folder:
                    nc_path = convert_cf(folder, um_path=os.path.join(REAL_DATA, entry))
                    self.assertGreater(len(data_variables(nc_path)), 0)
                    self.assert_cdo_lists_everything(nc_path)

    def test_timmean_averages_twelve_months(self):
        with common.temp_dir() as folder:
            nc_path = test_scenarios.converted("cf_monthly_means_gregorian", folder)
            self.assertEqual(cdo("-s", "ntime", nc_path)[1].split(), ["12"])
            mean_path = os.path.join(folder, "mean.nc")
            status, _, err = cdo("-s", "timmean", nc_path, mean_path)
            self.assertEqual(status, 0, err)
            with netCDF4.Dataset(mean_path) as ds:
                np.testing.assert_allclose(ds["ts"][:], 276.5)  # the mean of 271 .. 282


class XarrayTest(unittest.TestCase):

    def test_three_consecutive_outputs_combine_along_time(self):
        with common.temp_dir() as folder:
            paths = []
            for part, first in enumerate((1, 5, 9)):
                sub = os.path.join(folder, "part%d" % part)
                os.mkdir(sub)
                paths.append(convert_cf(sub, desc=months(first, 4)))
            with xr.open_mfdataset(paths, combine="by_coords") as ds:
                self.assertEqual(ds.sizes["time"], 12)
                starts = ds["time_bnds"].values[:, 0].astype("datetime64[D]")
                ends = ds["time_bnds"].values[:, 1].astype("datetime64[D]")
                expected = np.arange("2000-01", "2001-02", dtype="datetime64[M]").astype("datetime64[D]")
                np.testing.assert_array_equal(starts, expected[:-1])
                np.testing.assert_array_equal(ends, expected[1:])
                self.assertTrue(np.all(ds["time"].values > ds["time_bnds"].values[:, 0]))
                np.testing.assert_allclose(ds["m01s00i024"].values[:, 0, 0], 271.0 + np.arange(12))

    def test_forecast_coordinates_decode(self):
        with common.temp_dir() as folder:
            with xr.open_dataset(test_scenarios.converted("cf_hourly_forecasts", folder)) as ds:
                ref = ds["tas"].coords["forecast_reference_time"].values
                self.assertEqual(ref, np.datetime64("2013-07-16T09:00:00"))
                period = ds["tas"].coords["forecast_period"].values
                np.testing.assert_array_equal(period, np.array([1, 2, 3], dtype="timedelta64[h]"))
                np.testing.assert_array_equal(ds["time"].values - ref, period)
                for name, height in (("tas", 1.5), ("uas", 10.0)):
                    # xarray attaches every scalar coordinate to every variable; the file names each one's own.
                    heights = [ds[coord] for coord in ds[name].encoding["coordinates"].split()
                               if ds[coord].attrs.get("standard_name") == "height"]
                    self.assertEqual([float(coord) for coord in heights], [height])

    def test_hybrid_height_coordinate_decodes(self):
        with common.temp_dir() as folder:
            with xr.open_dataset(test_scenarios.converted("cf_vertical_axes", folder)) as ds:
                axis = ds["ta"].coords["hybrid_height"]
                self.assertEqual(axis.attrs["standard_name"], "atmosphere_hybrid_height_coordinate")
                self.assertEqual(axis.attrs["positive"], "up")
                terms = axis.attrs["formula_terms"].split()
                terms = dict(zip(terms[0::2], terms[1::2]))
                self.assertEqual(sorted(terms), ["a:", "b:", "orog:"])
                height = ds[terms["a:"]] + ds[terms["b:"]] * ds[terms["orog:"]]
                np.testing.assert_allclose(height.values.ravel(),
                                           np.array([20.0, 53.33, 100.0]) + np.array([0.99771, 0.99391, 0.98859]) * 150.0,
                                           rtol=1e-6)


class NCOTest(unittest.TestCase):

    def test_ncpdq_unpacks_to_within_half_a_step(self):
        with common.temp_dir() as folder:
            nc_path = test_scenarios.converted("cf_packed_rotated", folder)
            unpacked = os.path.join(folder, "unpacked.nc")
            subprocess.run(["ncpdq", "-O", "-U", nc_path, unpacked], check=True, timeout=120)
            originals = {"temp": [[0.0, 0.3, 1.4, 2.7, 4.55, 5.0], [None, 0.6, 2.5, 3.8, 4.9, 0.1]],
                         "m01s16i204": [[10.0, 10.001, 11.0, 12.5, 13.0, 20.0], [15.0, None, 19.99, 10.5, 16.25, 18.0]]}
            with netCDF4.Dataset(nc_path) as packed, netCDF4.Dataset(unpacked) as ds:
                for name, values in originals.items():
                    var = ds[name]
                    self.assertEqual(var.dtype, np.float32)
                    self.assertFalse(hasattr(var, "scale_factor"))
                    got = np.ma.filled(var[:].astype(float), np.nan).reshape(2, 6)
                    want = np.array([[np.nan if v is None else v for v in row] for row in values])
                    np.testing.assert_array_equal(np.isnan(got), np.isnan(want))
                    step = float(packed[name].scale_factor)
                    self.assertLessEqual(np.nanmax(np.abs(got - want)), 0.5 * step * 1.001)
                    np.testing.assert_allclose(packed[name].actual_range, [np.nanmin(want), np.nanmax(want)], rtol=1e-6)


class NetCDF4Test(unittest.TestCase):

    def test_compressed_one_field_per_chunk(self):
        with common.temp_dir() as folder:
            with netCDF4.Dataset(test_scenarios.converted("cf_netcdf4", folder)) as ds:
                self.assertEqual(ds.data_model, "NETCDF4_CLASSIC")
                for name in ("temp", "m01s16i204"):
                    filters = ds[name].filters()
                    self.assertTrue(filters["zlib"] and filters["shuffle"])
                    self.assertEqual(filters["complevel"], 6)
                    self.assertEqual(ds[name].chunking(), [1, 1, 2, 3])


class RequestTest(unittest.TestCase):
    """The request's options, as a host of the library other than the command line gives them."""

    def run_host(self, folder, *options):
        um_path = os.path.join(folder, "in.um")
        common.write_um(um_path, months(1, 2))
        nc_path = os.path.join(folder, "out.nc")
        proc = subprocess.run([os.path.join(common.build_dir(), "tests", "c_host"), um_path, nc_path] + list(options),
                              stdout=subprocess.PIPE, universal_newlines=True, timeout=common.CONVERT_TIMEOUT)
        return proc.returncode, proc.stdout, nc_path

    def test_contradicting_options_are_refused_before_any_output(self):
        for options, message in ((("cf", "netcdf4", "deflate=10"), "deflate level 10 is not between 0 and 9"),
                                 (("cf", "netcdf4", "deflate=-1"), "deflate level -1 is not between 0 and 9"),
                                 (("netcdf4",), "netCDF-4 output is written in the CF profile only")):
            with self.subTest(options=options), common.temp_dir() as folder:
                status, out, nc_path = self.run_host(folder, *options)
                self.assertEqual(status, 1)
                self.assertIn("Error: " + message, out)
                self.assertFalse(os.path.exists(nc_path))

    def test_a_zeroed_level_compresses_at_four(self):
        with common.temp_dir() as folder:
            status, _, nc_path = self.run_host(folder, "cf", "netcdf4")
            self.assertEqual(status, 0)
            with netCDF4.Dataset(nc_path) as ds:
                self.assertEqual(ds["m01s00i024"].filters()["complevel"], 4)


if __name__ == "__main__":
    unittest.main()
