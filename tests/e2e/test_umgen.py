"""The UM file generator writes the 32-bit little-endian layout the other tests rely on. (Its other
layouts are checked by converting the same fields in each of them to the same output, and by
the real files in tests/data/realdata, which the readers of those layouts read right.)

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


if __name__ == "__main__":
    unittest.main()
