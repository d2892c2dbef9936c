#!/usr/bin/python3
"""A large conversion, packing included, runs clean under valgrind's memcheck: no invalid
read or write and no leak. Skipped in the sanitizer build, which valgrind cannot run."""

import os
import re
import shutil
import subprocess
import unittest

import common


def sanitizer_build():
    with open(os.path.join(common.build_dir(), "CMakeCache.txt")) as cache:
        return "TESSOLD_SANITIZE:BOOL=ON" in cache.read()


PACKING = """<packing><rule section="16" id="203" pack="1"/><rule section="3" id="236" pack="2" crop="2"/>
<rule section="0" id="24" skip="2" avg="2"/></packing>"""


@unittest.skipIf(shutil.which("valgrind") is None or sanitizer_build(), "needs valgrind and a plain build")
class ValgrindTest(unittest.TestCase):
    def test_large_conversion_is_clean_under_memcheck(self):
        with common.temp_dir() as folder:
            fields = []
            for day in range(1, 21):
                for stash, level_type in ((16203, 8), (3236, 1), (24, 1)):
                    for level in (1000.0, 500.0):
                        fields.append({"stash": stash, "lbvc": level_type, "blev": level, "rows": 256,
                                       "cols": 256, "vt": [1970, 1, day, 0, 0, 0], "pattern": "smooth",
                                       "base": 250.0, "amplitude": 30.0})
            fields.append({"stash": 24, "lbcode": 101, "bplat": 37.5, "bplon": 177.5, "rows": 40, "cols": 50,
                           "bzy": -10.0, "bdy": 0.5, "bzx": 350.0, "bdx": 0.5})
            um = os.path.join(folder, "large.um")
            common.write_um(um, {"fields": fields})
            trans, _, gatts = common.default_configs(folder)
            pack = common.write_text(os.path.join(folder, "pack.xml"), PACKING)
            result = subprocess.run(
                ["valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
                 "--errors-for-leak-kinds=definite,indirect", "--show-leak-kinds=definite,indirect",
                 common.host_program(), um, trans, pack, gatts],
                capture_output=True, text=True, timeout=600)
            self.assertEqual(result.returncode, 0, result.stderr[-4000:])
            self.assertIn("ERROR SUMMARY: 0 errors", result.stderr)
            self.assertIsNone(re.search(r"definitely lost: [1-9]", result.stderr), result.stderr[-2000:])
            self.assertTrue(os.path.exists(common.output_path(um)))


if __name__ == "__main__":
    unittest.main()
