"""The UM file generator writes the layout it reports.

Every check reads the written file back as raw little-endian 32-bit words with numpy and compares
it with values worked out here from the file layout rules, not with the generator's own numbers.
"""

import json
import os
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import numpy as np  # noqa: E402

umgen = common.umgen()


def words(path):
    return np.fromfile(path, dtype="<i4")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def fh(w, word):
    """Fixed-header word (1-based)."""
    return int(w[word - 1])


def entry(w, index):
    """Lookup entry `index` (from 0) as an array whose element i is lookup word i + 1."""
    start, length = fh(w, 150), fh(w, 151)
    first = start - 1 + index * length
    return w[first:first + length]


def lw(e, word):
    return int(e[word - 1])


def lreal(e, word):
    return float(np.array([e[word - 1]], dtype="<i4").view("<f4")[0])


class GeneratorTest(unittest.TestCase):

    def setUp(self):
        self._tmp = common.temp_dir()
        self.dir = self._tmp.__enter__()

    def tearDown(self):
        self._tmp.__exit__(None, None, None)

    def path(self, name="f.um"):
        return os.path.join(self.dir, name)

    # ----------------------------------------------------------- default layout

    def test_fixed_header_and_sections(self):
        desc = {"sub_model": 2, "vert_coord": 3, "grid_type": 4, "dataset_type": 5,
                "calendar": 1, "ref_time": [2001, 2, 3, 4, 5, 6],
                "fields": [{}, {}, {}], "spare": 2}
        layout = common.write_um(self.path(), desc)
        w = words(self.path())
        self.assertEqual(fh(w, 1), -32768)
        self.assertEqual([fh(w, i) for i in range(2, 6)], [2, 3, 4, 5])
        self.assertEqual(fh(w, 8), 1)
        self.assertEqual([fh(w, i) for i in range(21, 27)], [2001, 2, 3, 4, 5, 6])
        # Integer constants right after the 256-word header, then 38 real constants.
        self.assertEqual((fh(w, 100), fh(w, 101)), (257, 46))
        self.assertEqual((fh(w, 105), fh(w, 106)), (257 + 46, 38))
        for start in (110, 115, 120, 125):
            self.assertEqual((fh(w, start), fh(w, start + 1), fh(w, start + 2)), (0, 0, 0))
        lookup_start = 257 + 46 + 38
        self.assertEqual(fh(w, 150), lookup_start)
        self.assertEqual(fh(w, 151), 64)
        self.assertEqual(fh(w, 152), 5)
        data_start = lookup_start + 5 * 64
        self.assertEqual(fh(w, 160), data_start)
        # Default fields are 3 x 4 with no pad, one after another from the data start.
        for i in range(3):
            e = entry(w, i)
            self.assertEqual(lw(e, 29), data_start - 1 + 12 * i)
            self.assertEqual(lw(e, 15), 12)
            self.assertEqual((lw(e, 18), lw(e, 19)), (3, 4))
            self.assertEqual(lw(e, 23), 16)
            self.assertEqual(lw(e, 42), 16203)
        for i in (3, 4):
            self.assertTrue(np.all(entry(w, i) == -99), "spare entry %d" % i)
        self.assertEqual(len(w), data_start - 1 + 36)
        # The report, in bytes.
        self.assertEqual(layout["fixhdr"], [0, 1024])
        self.assertEqual(layout["int_consts"], [1024, 1024 + 46 * 4])
        self.assertEqual(layout["real_consts"], [(256 + 46) * 4, (256 + 46 + 38) * 4])
        self.assertIsNone(layout["level_consts"])
        self.assertEqual(layout["lookup"], [(lookup_start - 1) * 4, (data_start - 1) * 4])
        self.assertEqual(layout["data"], [(data_start - 1) * 4, (data_start - 1 + 36) * 4])
        self.assertEqual(layout["records"],
                         [[(data_start - 1 + 12 * i) * 4, (data_start - 1 + 12 * (i + 1)) * 4]
                          for i in range(3)])
        self.assertEqual(layout["size"], os.path.getsize(self.path()))

    def test_default_ramp_and_lookup_reals(self):
        desc = {"fields": [{}, {"vt": [1999, 12, 30, 18, 0, 0]}]}
        common.write_um(self.path(), desc)
        w = words(self.path())
        f = w.view("<f4")
        e0, e1 = entry(w, 0), entry(w, 1)
        np.testing.assert_array_equal(f[lw(e0, 29):lw(e0, 29) + 12], np.arange(12))
        np.testing.assert_array_equal(f[lw(e1, 29):lw(e1, 29) + 12], 1000 + np.arange(12))
        self.assertEqual([lw(e0, i) for i in range(1, 13)], [1970, 1, 1, 0, 0, 0] * 2)
        # The data date follows the validity date when not given.
        self.assertEqual([lw(e1, i) for i in range(1, 13)], [1999, 12, 30, 18, 0, 0] * 2)
        self.assertEqual(lw(e0, 13), 2)
        self.assertEqual(lw(e0, 26), 8)
        self.assertEqual(lreal(e0, 52), 850.0)
        self.assertEqual(lreal(e0, 59), -90.0)
        self.assertEqual(lreal(e0, 60), 2.5)
        self.assertEqual(lreal(e0, 62), 3.75)
        self.assertEqual(lreal(e0, 63), -1073741824.0)
        self.assertEqual(lreal(e0, 64), 1.0)
        # BMKS 1.0 is stored as the bytes 00 00 80 3F.
        raw = read_bytes(self.path())
        off = (fh(w, 150) - 1 + 63) * 4
        self.assertEqual(raw[off:off + 4], b"\x00\x00\x80\x3f")

    def test_one_point_zero_bytes_in_data(self):
        common.write_um(self.path(), {"fields": [{"rows": 1, "cols": 2, "fill": 1.0}]})
        w = words(self.path())
        raw = read_bytes(self.path())
        start = lw(entry(w, 0), 29) * 4
        self.assertEqual(raw[start:start + 8], b"\x00\x00\x80\x3f" * 2)

    def test_data_null_ints_and_pad(self):
        desc = {"fields": [
            {"rows": 2, "cols": 2, "data": [1.5, None, -2.0, 3.25], "bmdi": -999.0, "pad": 3},
            {"rows": 1, "cols": 3, "ints": [7, -1, 4294967295], "lbuser1": 2},
        ]}
        common.write_um(self.path(), desc)
        w = words(self.path())
        f = w.view("<f4")
        e0, e1 = entry(w, 0), entry(w, 1)
        b0, b1 = lw(e0, 29), lw(e1, 29)
        self.assertEqual(lw(e0, 15), 7)
        self.assertEqual(b1, b0 + 7)
        np.testing.assert_array_equal(f[b0:b0 + 4], np.array([1.5, -999.0, -2.0, 3.25], "f4"))
        np.testing.assert_array_equal(w[b0 + 4:b0 + 7], [0, 0, 0])
        self.assertEqual(w[b1:b1 + 3].tolist(), [7, -1, -1])
        self.assertEqual(lw(e1, 15), 3)
        self.assertEqual(lw(e1, 39), 2)
        self.assertEqual(len(w), b1 + 3)

    def test_smooth_pattern(self):
        fld = {"rows": 73, "cols": 96, "bzy": -92.5, "bdy": 2.5, "bzx": -3.75, "bdx": 3.75,
               "pattern": "smooth", "base": 240.0, "amplitude": 50.0}
        common.write_um(self.path(), {"fields": [fld]})
        w = words(self.path())
        b = lw(entry(w, 0), 29)
        vals = w.view("<f4")[b:b + 73 * 96].reshape(73, 96)
        # Row 37 (from 1) is the equator, column 25 lies at 86.25 degrees east.
        lat, lon = np.radians(0.0), np.radians(-3.75 + 25 * 3.75)
        expect = 240.0 + 50.0 * np.cos(lat) * (1 + 0.1 * np.sin(lon))
        self.assertAlmostEqual(float(vals[36, 24]), expect, places=3)
        self.assertAlmostEqual(float(vals[0, 0]), 240.0, places=3)   # south pole
        self.assertTrue(np.all(vals >= 240.0 - 1e-3) and np.all(vals <= 295.0 + 1e-3))

    # ------------------------------------------------------------------ sections

    def test_absent_and_2d_sections(self):
        desc = {"int_consts": 0, "real_consts": 0, "level_consts": [5, 3], "col_consts": [4, 0],
                "entry_length": 70, "fields": [{}, {}]}
        layout = common.write_um(self.path(), desc)
        w = words(self.path())
        self.assertEqual((fh(w, 100), fh(w, 101), fh(w, 105), fh(w, 106)), (0, 0, 0, 0))
        self.assertEqual((fh(w, 110), fh(w, 111), fh(w, 112)), (257, 5, 3))
        self.assertEqual((fh(w, 115), fh(w, 116), fh(w, 117)), (0, 0, 0))
        self.assertEqual((fh(w, 120), fh(w, 121), fh(w, 122)), (257 + 15, 4, 0))
        self.assertEqual(fh(w, 150), 257 + 15)
        self.assertEqual(fh(w, 151), 70)
        self.assertEqual(fh(w, 152), 2)
        self.assertEqual(fh(w, 160), 257 + 15 + 140)
        self.assertIsNone(layout["int_consts"])
        self.assertEqual(layout["col_consts"], [(256 + 15) * 4, (256 + 15) * 4])
        # Entries are 70 words apart; words 65 to 70 are zero.
        e1 = entry(w, 1)
        self.assertEqual(lw(e1, 29), 256 + 15 + 140 + 12)
        self.assertEqual(lw(e1, 42), 16203)
        self.assertEqual(e1[64:70].tolist(), [0] * 6)

    # ---------------------------------------------------------------- overrides

    def test_lookup_and_fixhdr_overrides(self):
        desc = {"fields": [{"lookup": {"23": 0, "29": 5, "42": 3236},
                            "lookup_real": {"52": 1.0}},
                           {}],
                "fixhdr": {"160": 12345, "6": -7}}
        layout = common.write_um(self.path(), desc)
        w = words(self.path())
        e0, e1 = entry(w, 0), entry(w, 1)
        self.assertEqual(lw(e0, 23), 0)
        self.assertEqual(lw(e0, 29), 5)
        self.assertEqual(lw(e0, 42), 3236)
        self.assertEqual(int(e0[51]), 0x3F800000)
        self.assertEqual(fh(w, 160), 12345)
        self.assertEqual(fh(w, 6), -7)
        # The records themselves still lie where the layout rules put them.
        data_start = 257 + 46 + 38 + 2 * 64
        self.assertEqual(lw(e1, 29), data_start - 1 + 12)
        self.assertEqual(layout["records"][0][0], (data_start - 1) * 4)
        np.testing.assert_array_equal(w.view("<f4")[data_start - 1:data_start + 11],
                                      np.arange(12))

    def test_truncate_and_append(self):
        desc = {"fields": [{}, {}]}
        full, layout = umgen.build(desc)
        self.assertEqual(len(full), layout["size"])
        cut = dict(desc, truncate=layout["records"][1][0] + 6)
        lay_cut = common.write_um(self.path("cut.um"), cut)
        raw = read_bytes(self.path("cut.um"))
        self.assertEqual(len(raw), layout["records"][1][0] + 6)
        self.assertEqual(raw, full[:len(raw)])
        self.assertEqual(lay_cut["size"], len(raw))
        self.assertEqual(lay_cut["full_size"], len(full))
        both = dict(desc, truncate=2000, append=10)
        common.write_um(self.path("both.um"), both)
        raw = read_bytes(self.path("both.um"))
        self.assertEqual(raw, full[:2000] + b"\0" * 10)
        common.write_um(self.path("app.um"), dict(desc, append=9))
        raw = read_bytes(self.path("app.um"))
        self.assertEqual(raw, full + b"\0" * 9)

    # --------------------------------------------------------- modes and speed

    def test_streaming_equals_in_memory(self):
        desc = {"spare": 3, "fields": [{"rows": 300, "cols": 400, "pad": i % 3,
                                        "vt": [2000, 1, 1 + i, 0, 0, 0]} for i in range(40)]}
        data, layout = umgen.build(desc)
        lay_s = umgen.write(self.path("s.um"), desc, stream=True)
        lay_m = umgen.write(self.path("m.um"), desc, stream=False)
        chunks, lay_c = umgen.build(desc, chunks=True)
        self.assertEqual(b"".join(c.tobytes() for c in chunks), data)
        self.assertEqual(read_bytes(self.path("s.um")), data)
        self.assertEqual(read_bytes(self.path("m.um")), data)
        self.assertEqual(layout, lay_s)
        self.assertEqual(layout, lay_m)
        self.assertEqual(layout, lay_c)
        w = np.frombuffer(data, "<i4")
        e = entry(w, 39)
        self.assertEqual(lw(e, 29) + lw(e, 15), len(w))
        self.assertEqual(lw(e, 15), 120000 + 39 % 3)

    def test_many_small_fields(self):
        n = 100000
        desc = {"fields": [{"rows": 1, "cols": 2, "stash": 16203 + (i % 7),
                            "vt": [2000, 1, 1 + i // 24 % 30, i % 24, 0, 0]} for i in range(n)]}
        t0 = time.time()
        data, layout = umgen.build(desc)
        elapsed = time.time() - t0
        self.assertLess(elapsed, 30.0, "100000 fields took %.1f s" % elapsed)
        w = np.frombuffer(data, "<i4")
        self.assertEqual(fh(w, 152), n)
        data_start = 257 + 46 + 38 + n * 64
        self.assertEqual(fh(w, 160), data_start)
        table = w[fh(w, 150) - 1:data_start - 1].reshape(n, 64)
        np.testing.assert_array_equal(table[:, 28], data_start - 1 + 2 * np.arange(n))
        np.testing.assert_array_equal(table[:, 41], 16203 + np.arange(n) % 7)
        np.testing.assert_array_equal(table[:, 3], np.arange(n) % 24)
        self.assertEqual(len(w), data_start - 1 + 2 * n)
        last = w.view("<f4")[-2:]
        np.testing.assert_array_equal(last, np.array([1000.0 * (n - 1), 1000.0 * (n - 1) + 1],
                                                     dtype="f4"))

    # ------------------------------------------------------------ command line

    def test_command_line(self):
        desc_path = self.path("d.json")
        with open(desc_path, "w") as f:
            json.dump({"fields": [{"rows": 2, "cols": 3}], "spare": 1}, f)
        script = os.path.join(common.tools_dir(), "umgen.py")
        proc = subprocess.run([sys.executable, script, "--layout", desc_path, self.path()],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              universal_newlines=True, timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        layout = json.loads(proc.stdout)
        raw = read_bytes(self.path())
        self.assertEqual(layout["size"], len(raw))
        start, end = layout["records"][0]
        self.assertEqual(end - start, 24)
        self.assertEqual(struct.unpack("<6f", raw[start:end]), tuple(float(i) for i in range(6)))
        # A bad description fails with a message and status 1.
        with open(desc_path, "w") as f:
            json.dump({"fields": [{"rows": 2, "cols": 2, "data": [1.0]}]}, f)
        proc = subprocess.run([sys.executable, script, desc_path, self.path("bad.um")],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              universal_newlines=True, timeout=60)
        self.assertEqual(proc.returncode, 1)
        self.assertIn("umgen:", proc.stderr)


if __name__ == "__main__":
    unittest.main()
