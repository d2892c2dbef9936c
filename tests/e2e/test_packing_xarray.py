"""Packed and reduced variables read back through xarray.

Byte- and short-packed variables must decode (mask and scale applied) to the input values within
one packing step, with missing points as NaN; cropped, thinned and averaged grids must carry the
latitudes and longitudes of the values they kept. The grid checks use fields whose values are
their own latitude or longitude, so every output point says where it came from.
"""

import math
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402

ROWS, COLS = 12, 16
BZY, BDY, BZX, BDX = -30.0, 2.5, 10.0, 3.75
LAT_STASH, LON_STASH = 16203, 16204


def packing_xml(rules):
    """A packing file with one rule element per (stash, attributes) pair."""
    lines = ['<?xml version="1.0"?>', "<packing>"]
    for stash, attrs in rules:
        extra = " ".join('%s="%d"' % item for item in sorted(attrs.items()))
        lines.append('  <rule section="%d" id="%d" %s/>' % (stash // 1000, stash % 1000, extra))
    lines.append("</packing>")
    return "\n".join(lines) + "\n"


def field(stash, data):
    return {"stash": stash, "rows": ROWS, "cols": COLS, "bzy": BZY, "bdy": BDY,
            "bzx": BZX, "bdx": BDX, "data": data}


def ramp_with_gaps(first, step):
    """Values first, first + step, ... with every seventh point missing (None)."""
    values = []
    for k in range(ROWS * COLS):
        values.append(None if k % 7 == 3 else first + step * k)
    return values


def latitude_values():
    """Each point holds the latitude of its row (row i from 1 lies at BZY + i * BDY)."""
    return [BZY + (i + 1) * BDY for i in range(ROWS) for _ in range(COLS)]


def longitude_values():
    return [BZX + (j + 1) * BDX for _ in range(ROWS) for j in range(COLS)]


class PackingThroughXarray(unittest.TestCase):

    def setUp(self):
        self._tmp = common.temp_dir()
        self.dir = self._tmp.__enter__()
        host = common.host_program()
        self.assertTrue(os.path.exists(host), "host program not built: " + host)

    def tearDown(self):
        self._tmp.__exit__(None, None, None)

    def convert(self, fields, rules):
        um_path = os.path.join(self.dir, "input.um")
        common.write_um(um_path, {"fields": fields})
        trans, _, gatts = common.default_configs(self.dir)
        pack = common.write_text(os.path.join(self.dir, "rules.xml"), packing_xml(rules))
        status, out, err = common.convert(um_path, trans, pack, gatts)
        self.assertEqual(status, 0, "conversion failed: " + out + err)
        return common.output_path(um_path)

    def open(self, path):
        ds = xr.open_dataset(path, mask_and_scale=True, decode_times=False)
        self.addCleanup(ds.close)
        return ds

    def var_by_stash(self, ds, stash):
        """The data variable of a stash code: translated (temp...) or named from its field code."""
        for name, var in ds.data_vars.items():
            if stash == LAT_STASH and name.startswith("temp"):
                return var
            if var.attrs.get("stash_item") == stash % 1000 and \
                    var.attrs.get("stash_section") == stash // 1000:
                return var
        self.fail("no variable for stash %d in %s" % (stash, list(ds.data_vars)))

    def check_decoding(self, nbytes, values):
        path = self.convert([field(LAT_STASH, values)], [(LAT_STASH, {"pack": nbytes})])
        raw = xr.open_dataset(path, mask_and_scale=False, decode_times=False)
        self.addCleanup(raw.close)
        raw_var = self.var_by_stash(raw, LAT_STASH)
        self.assertEqual(raw_var.dtype, np.int8 if nbytes == 1 else np.int16)
        self.assertEqual(int(raw_var.attrs["_FillValue"]), 127 if nbytes == 1 else 32767)
        step = float(raw_var.attrs["scale_factor"])
        real = [v for v in values if v is not None]
        expected_step = (np.float32(max(real)) - np.float32(min(real))) / (256.0 ** nbytes - 2)
        self.assertAlmostEqual(step, expected_step, delta=expected_step * 1e-5)

        decoded = self.var_by_stash(self.open(path), LAT_STASH).values.reshape(-1)
        self.assertEqual(decoded.size, ROWS * COLS)
        for k, value in enumerate(values):
            if value is None:
                self.assertTrue(math.isnan(decoded[k]), "point %d should be missing" % k)
            else:
                self.assertLessEqual(abs(float(decoded[k]) - float(np.float32(value))),
                                     step * 1.0001, "point %d" % k)
        # The extremes are reached: the range is used, not just a constant.
        self.assertAlmostEqual(float(np.nanmin(decoded)), min(real), delta=step)
        self.assertAlmostEqual(float(np.nanmax(decoded)), max(real), delta=step)

    def test_short_packed_values_decode_within_one_step(self):
        self.check_decoding(2, ramp_with_gaps(250.125, 0.3711))

    def test_byte_packed_values_decode_within_one_step(self):
        self.check_decoding(1, ramp_with_gaps(-12.5, 0.0917))

    def check_grid(self, attrs, rows, cols):
        """Reduces a latitude field and a longitude field alike and compares values with axes."""
        path = self.convert([field(LAT_STASH, latitude_values()),
                             field(LON_STASH, longitude_values())],
                            [(LAT_STASH, attrs), (LON_STASH, attrs)])
        ds = self.open(path)
        lat_var = self.var_by_stash(ds, LAT_STASH)
        lon_var = self.var_by_stash(ds, LON_STASH)
        self.assertEqual(lat_var.dims[2:], lon_var.dims[2:])
        lats = ds[lat_var.dims[2]].values
        lons = ds[lon_var.dims[3]].values
        self.assertEqual((lats.size, lons.size), (rows, cols))
        lat_data = lat_var.values[0, 0]
        lon_data = lon_var.values[0, 0]
        for i in range(rows):
            for j in range(cols):
                self.assertAlmostEqual(float(lat_data[i, j]), float(lats[i]), delta=1e-3,
                                       msg="latitude of row %d" % i)
                gap = math.remainder(float(lon_data[i, j]) - float(lons[j]), 360.0)
                self.assertAlmostEqual(gap, 0.0, delta=1e-3,
                                       msg="longitude of column %d: axis %f, data %f"
                                       % (j, lons[j], lon_data[i, j]))

    def test_cropped_grid_matches_values_kept(self):
        self.check_grid({"crop": 2}, ROWS - 4, COLS - 4)

    def test_thinned_grid_matches_values_kept(self):
        self.check_grid({"skip": 3}, ROWS // 3, COLS // 3)

    def test_thinned_by_two_grid_matches_values_kept(self):
        self.check_grid({"skip": 2}, ROWS // 2, COLS // 2)

    def test_averaged_grid_matches_block_centres(self):
        self.check_grid({"avg": 2}, ROWS // 2, COLS // 2)


if __name__ == "__main__":
    unittest.main()
