"""Files of every layout converted through the library's second entry point (tests/c_host.c)
and the command line: the same fields give the same output whatever their layout, WGDOS
fields within half a packing step, and the real files in tests/data/realdata give the values an
independent reader found (expected.json; its README says how to compare)."""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import netCDF4  # noqa: E402
import numpy as np  # noqa: E402

DATA_DIR = os.path.join(common.source_dir(), "tests", "data", "realdata")
# Regular and rotated grids, pressure and hybrid levels, an integer field, missing values; the
# reference time is the earliest validity time and the calendar every field's, as a PP file has no
# fixed header to give them.
FIELDS = {"calendar": 2, "ref_time": [1990, 1, 1, 6, 0, 0], "field_defaults": {"vt": [1990, 1, 1, 12, 0, 0], "lbtim": 2},
          "fields": [{"vt": [1990, 1, 1, 6, 0, 0], "blev": 850, "pattern": "smooth", "base": 240, "amplitude": 50},
                     {"blev": 500, "rows": 7, "cols": 9, "lbproc": 128},
                     {"lbcode": 101, "bplat": 37.5, "bplon": 177.5, "bzy": -5.0, "bdy": 0.11, "bzx": 326.0,
                      "bdx": 0.11, "rows": 6, "cols": 5, "stash": 3236, "lbvc": 1, "blev": 1.5},
                     {"lbvc": 9, "blev": 0.9, "bhlev": 1200.0, "stash": 4},
                     {"lbuser1": 2, "stash": 30, "ints": [1, -2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -32768]},
                     {"data": [1.5, None, 3.25, 4, 5, None, 7, 8, 9, 10, 11, 12], "stash": 16222},
                     {"stash": 24, "rows": 4, "cols": 5, "pattern": "smooth", "base": 270, "amplitude": 20},
                     {"stash": 25, "rows": 3, "cols": 4, "lbcode": 101, "bplat": 37.5, "bplon": 177.5,
                      "bdy": -1073741824.0, "bdx": -1073741824.0}]}
# The variable-resolution field's coordinates: constants in a fields file, extra data in a PP file.
LATS, LONS = [-5.59, -1.0, 8.97], [353.05, 358.0, 361.0, 365.19]
LAYOUTS = [("fieldsfile", 4, "little"), ("fieldsfile", 4, "big"), ("fieldsfile", 8, "little"),
           ("fieldsfile", 8, "big"), ("pp", 4, "big"), ("pp", 8, "little")]


def convert(um_path, nc_path, command_line=False):
    host = [common.host_program(), "-q", "-o", nc_path, um_path] if command_line else \
        [os.path.join(common.build_dir(), "tests", "c_host"), um_path, nc_path]
    proc = subprocess.run(host,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True, timeout=120)
    if proc.returncode != 0:
        raise AssertionError("%s: %s" % (um_path, proc.stdout))
    return nc_path


def dump_header(nc_path):
    return subprocess.run(["ncdump", "-h", nc_path], stdout=subprocess.PIPE, universal_newlines=True,
                          check=True).stdout.split("\n", 1)[1]


def variables(nc_path):
    """Every variable's values as raw bytes, by name."""
    with netCDF4.Dataset(nc_path) as ds:
        ds.set_auto_maskandscale(False)
        return {name: np.asarray(var[:]).tobytes() for name, var in ds.variables.items() if var.ndim}


class LayoutsTest(unittest.TestCase):

    def test_every_layout_gives_the_output_of_todays_layout(self):
        with common.temp_dir() as folder:
            outputs = []
            for kind, word, order in LAYOUTS:
                um = os.path.join(folder, "%s%d%s.um" % (kind, word, order))
                desc = dict(FIELDS, format=kind, word_size=word, byte_order=order)
                if kind == "pp":
                    desc["fields"] = FIELDS["fields"][:-1] + [dict(FIELDS["fields"][-1], extra_y=LATS, extra_x=LONS)]
                else:
                    desc.update(row_consts=[3, 1], row_consts_values=LATS, col_consts=[4, 1], col_consts_values=LONS)
                common.write_um(um, desc)
                outputs.append(convert(um, um + ".nc"))
            want_header, want_values = dump_header(outputs[0]), variables(outputs[0])
            for nc in outputs[1:]:
                self.assertEqual(dump_header(nc), want_header, nc)
                self.assertTrue(variables(nc) == want_values, nc)
            # The same fields WGDOS-packed to steps of 1/64 in 64-bit big-endian words.
            um = os.path.join(folder, "wgdos.um")
            packed = dict(FIELDS, word_size=8, byte_order="big", row_consts=[3, 1], row_consts_values=LATS,
                          col_consts=[4, 1], col_consts_values=LONS, field_defaults=dict(
                FIELDS["field_defaults"], lbpack=1, accuracy=-6, wgdos_zero=True))
            packed["fields"] = [dict(f, lbpack=0) if "ints" in f else f for f in FIELDS["fields"]]
            common.write_um(um, packed)
            with netCDF4.Dataset(convert(um, um + ".nc")) as got, netCDF4.Dataset(outputs[0]) as want:
                for name, var in want.variables.items():
                    if var.ndim:
                        np.testing.assert_allclose(got[name][:], var[:], atol=2.0 ** -7, err_msg=name)

    def test_real_files_give_the_independent_readers_values(self):
        with open(os.path.join(DATA_DIR, "expected.json")) as f:
            expected = json.load(f)
        with common.temp_dir() as folder:
            for name, want in expected.items():
                with self.subTest(file=name):
                    slabs = []
                    with netCDF4.Dataset(convert(os.path.join(DATA_DIR, name), os.path.join(folder, name + ".nc"),
                                                 command_line=True)) as ds:
                        for var in ds.variables.values():
                            if var.ndim == 4:
                                slabs += [np.ma.masked_invalid(var[t, z]) for t in range(var.shape[0])
                                          for z in range(var.shape[1])]
                    found = [(s.size, int(np.ma.count_masked(s)), np.float32(s.min()), np.float32(s.max()), s.mean())
                             for s in slabs if s.count()]
                    for field in want["fields"]:
                        key = (field["n_values"], field["n_missing"], np.float32(field["min"]), np.float32(field["max"]))
                        matches = [s for s in found if s[:4] == key and abs(s[4] - field["mean"]) <= 1e-6 * abs(field["mean"])]
                        self.assertTrue(matches, "field %d: %s not among %s" % (field["index"], key, found))


if __name__ == "__main__":
    unittest.main()
