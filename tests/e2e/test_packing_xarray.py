"""Packed and reduced variables read back through xarray.

Packed variables must decode to the input within one packing step, missing points as NaN; cropped
and thinned grids must carry the coordinates of the values kept, which are their own latitude or
longitude so that every output point says where it came from.
"""

import math
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402

ROWS, COLS = 12, 16
BZY, BDY, BZX, BDX = -30.0, 2.5, 10.0, 3.75
# The default translation names 16203 "temp"; 16204 is named from its field code.
LAT_STASH, LON_STASH, LAT_NAME, LON_NAME = 16203, 16204, "temp_0", "field16_0"


def field(stash, data):
    return {"stash": stash, "rows": ROWS, "cols": COLS, "bzy": BZY, "bdy": BDY, "bzx": BZX, "bdx": BDX,
            "data": data}


class PackingThroughXarray(unittest.TestCase):

    def convert(self, fields, attrs):
        """Converts the fields with one packing rule of the same attributes for each; returns the
        output opened raw and opened decoded."""
        tmp = tempfile.TemporaryDirectory(prefix="tessold_e2e_")
        self.addCleanup(tmp.cleanup)  # registered first, so it runs after the datasets are closed
        um_path = os.path.join(tmp.name, "input.um")
        common.write_um(um_path, {"fields": fields})
        trans, _, gatts = common.default_configs(tmp.name)
        rules = "".join('<rule section="%d" id="%d" %s/>' % (f["stash"] // 1000, f["stash"] % 1000,
                        " ".join('%s="%d"' % item for item in attrs.items())) for f in fields)
        pack = common.write_text(os.path.join(tmp.name, "rules.xml"), "<packing>%s</packing>\n" % rules)
        status, out, err = common.convert(um_path, trans, pack, gatts)
        self.assertEqual(status, 0, out + err)
        datasets = [xr.open_dataset(common.output_path(um_path), mask_and_scale=scale, decode_times=False)
                    for scale in (False, True)]
        for ds in datasets:
            self.addCleanup(ds.close)
        return datasets

    def test_packed_values_decode_within_one_step(self):
        for nbytes, first, step in ((2, 250.125, 0.3711), (1, -12.5, 0.0917)):
            with self.subTest(nbytes=nbytes):
                # Every seventh point is missing.
                values = [None if k % 7 == 3 else first + step * k for k in range(ROWS * COLS)]
                raw, decoded = self.convert([field(LAT_STASH, values)], {"pack": nbytes})
                raw_var = raw[LAT_NAME]
                self.assertEqual(raw_var.dtype, np.int8 if nbytes == 1 else np.int16)
                self.assertEqual(int(raw_var.attrs["_FillValue"]), 127 if nbytes == 1 else 32767)
                real = [v for v in values if v is not None]
                pack_step = float(raw_var.attrs["scale_factor"])
                expected_step = (np.float32(max(real)) - np.float32(min(real))) / (256.0 ** nbytes - 2)
                self.assertAlmostEqual(pack_step, expected_step, delta=expected_step * 1e-5)
                result = decoded[LAT_NAME].values.reshape(-1)
                self.assertEqual(result.size, ROWS * COLS)
                for k, value in enumerate(values):
                    if value is None:
                        self.assertTrue(math.isnan(result[k]), "point %d should be missing" % k)
                    else:
                        self.assertLessEqual(abs(float(result[k]) - float(np.float32(value))),
                                             pack_step * 1.0001, "point %d" % k)

    def test_reduced_grids_match_the_values_kept(self):
        lat_values = [BZY + (i + 1) * BDY for i in range(ROWS) for _ in range(COLS)]
        lon_values = [BZX + (j + 1) * BDX for _ in range(ROWS) for j in range(COLS)]
        for attrs, rows, cols in (({"crop": 2}, ROWS - 4, COLS - 4), ({"skip": 3}, ROWS // 3, COLS // 3)):
            with self.subTest(**attrs):
                _, ds = self.convert([field(LAT_STASH, lat_values), field(LON_STASH, lon_values)], attrs)
                lat_var, lon_var = ds[LAT_NAME], ds[LON_NAME]
                self.assertEqual(lat_var.dims[2:], lon_var.dims[2:])
                lats, lons = ds[lat_var.dims[2]].values, ds[lat_var.dims[3]].values
                self.assertEqual((lats.size, lons.size), (rows, cols))
                for i in range(rows):
                    for j in range(cols):
                        self.assertAlmostEqual(float(lat_var.values[0, 0, i, j]), float(lats[i]), delta=1e-3)
                        gap = math.remainder(float(lon_var.values[0, 0, i, j]) - float(lons[j]), 360.0)
                        self.assertAlmostEqual(gap, 0.0, delta=1e-3, msg="column %d" % j)


if __name__ == "__main__":
    unittest.main()
