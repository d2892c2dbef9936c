"""The UM file generator writes the layout the other tests rely on.

Every check reads the written file back as raw little-endian 32-bit words with numpy and compares
it with values worked out here from the file layout rules, not with the generator's own numbers.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

import numpy as np  # noqa: E402

umgen = common.umgen()
import wgdos  # noqa: E402  (beside umgen in tools/)



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


class GeneratorTest(unittest.TestCase):

    def setUp(self):
        self._tmp = common.temp_dir()
        self.dir = self._tmp.__enter__()

    def tearDown(self):
        self._tmp.__exit__(None, None, None)

    def path(self, name="f.um"):
        return os.path.join(self.dir, name)

    def test_header_lookup_and_records(self):
        # The lookup follows the 256-word header, 46 integer and 38 real constants.
        lookup_start = 257 + 46 + 38
        for length in (64, 70):
            with self.subTest(entry_length=length):
                desc = {"fields": [{}, {}, {"rows": 2, "cols": 5}], "spare": 2, "entry_length": length}
                layout = common.write_um(self.path(), desc)
                w = np.fromfile(self.path(), dtype="<i4")
                data_start = lookup_start + 5 * length
                self.assertEqual([fh(w, i) for i in (150, 151, 152, 160)],
                                 [lookup_start, length, 5, data_start])
                # Records lie back to back from the data start; LBEGIN counts from 0.
                begins = [data_start - 1, data_start - 1 + 12, data_start - 1 + 24]
                self.assertEqual([lw(entry(w, i), 29) for i in range(3)], begins)
                self.assertEqual([lw(entry(w, i), 15) for i in range(3)], [12, 12, 10])
                self.assertEqual(layout["records"], [[b * 4, (b + n) * 4] for b, n in zip(begins, (12, 12, 10))])
                for i in (3, 4):
                    self.assertTrue(np.all(entry(w, i) == -99), "spare entry %d" % i)
                self.assertEqual(len(w), data_start - 1 + 34)
                self.assertEqual(layout["size"], len(w) * 4)

    def test_lookup_and_fixhdr_overrides(self):
        desc = {"fields": [{"lookup": {"23": 0, "29": 5, "42": 3236}, "lookup_real": {"52": 1.0}}, {}],
                "fixhdr": {"160": 12345, "6": -7}}
        layout = common.write_um(self.path(), desc)
        w = np.fromfile(self.path(), dtype="<i4")
        e0, e1 = entry(w, 0), entry(w, 1)
        self.assertEqual([lw(e0, 23), lw(e0, 29), lw(e0, 42), lw(e0, 52)], [0, 5, 3236, 0x3F800000])
        self.assertEqual([fh(w, 160), fh(w, 6)], [12345, -7])
        # The records themselves still lie where the layout rules put them.
        data_start = 257 + 46 + 38 + 2 * 64
        self.assertEqual(lw(e1, 29), data_start - 1 + 12)
        self.assertEqual(layout["records"][0][0], (data_start - 1) * 4)
        np.testing.assert_array_equal(w.view("<f4")[data_start - 1:data_start + 11], np.arange(12))

    def test_other_layouts(self):
        # Each layout read back with numpy in its own word type: headers, plain, WGDOS-packed,
        # 32-bit packed and integer values, and a PP file's record markers and extra data.
        values = [1.5, None, 3.25, 0.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0, 11.0, 12.0]
        want = np.array([-1073741824.0 if v is None else v for v in values])
        ints = [1, -2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 2 ** 31 - 1]
        fields = [{"data": values}, {"lbpack": 1, "data": values, "accuracy": -3}, {"lbpack": 2, "data": values},
                  {"ints": ints, "lbuser1": 2}]
        for size, order, fmt in ((8, "big", "fieldsfile"), (4, "big", "fieldsfile"), (8, "little", "fieldsfile"),
                                 (4, "big", "pp"), (8, "little", "pp")):
            with self.subTest(word_size=size, byte_order=order, format=fmt):
                pp = fmt == "pp"
                extra = [{"extra_x": [10.0, 20.0, 30.0, 40.0]}] if pp else [{}]
                desc = {"word_size": size, "byte_order": order, "format": fmt,
                        "fields": [dict(f, **extra[0]) for f in fields]}
                layout = common.write_um(self.path(), desc)
                raw = read_bytes(self.path())
                ints_t, reals_t = ("<>"[order == "big"] + t + str(size) for t in "if")
                self.assertEqual(layout["size"], len(raw))
                for k, (head, rec) in enumerate(zip(layout["entries"], layout["records"])):
                    e = np.frombuffer(raw[head[0]:head[1]], ints_t)
                    record = raw[rec[0]:rec[1]]
                    self.assertEqual([lw(e, 18), lw(e, 19), lw(e, 21)], [3, 4, fields[k].get("lbpack", 0)])
                    self.assertEqual(lw(e, 29) * size, 0 if pp else rec[0])
                    if pp:
                        marker = raw[rec[0] - size:rec[0]]
                        self.assertEqual(marker, raw[rec[1]:rec[1] + size])
                        self.assertEqual(int.from_bytes(marker, order), rec[1] - rec[0])
                        x = np.frombuffer(record[-5 * size:], ints_t)
                        self.assertEqual((lw(e, 20), int(x[0])), (5, 4001))
                        np.testing.assert_array_equal(np.frombuffer(record[-4 * size:], reals_t), [10, 20, 30, 40])
                    if k == 0:
                        np.testing.assert_array_equal(np.frombuffer(record, reals_t)[:12], want.astype(reals_t))
                    elif k == 1:
                        got = wgdos.unpack(record, 3, 4, -1073741824.0).ravel()
                        self.assertEqual(lw(e, 15), -(-int.from_bytes(record[:4], "big") * 4 // size))
                        self.assertLessEqual(np.abs(got - want).max(), 2.0 ** -4)
                    elif k == 2:
                        np.testing.assert_array_equal(np.frombuffer(record[:48], reals_t[0] + "f4"), want.astype("f4"))
                    else:
                        np.testing.assert_array_equal(np.frombuffer(record, ints_t)[:12], ints)
                if not pp:
                    w = np.frombuffer(raw, ints_t)
                    self.assertEqual([fh(w, 1), fh(w, 152)], [20, 4])


if __name__ == "__main__":
    unittest.main()
