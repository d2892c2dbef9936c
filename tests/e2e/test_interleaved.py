#!/usr/bin/python3
"""Two diagnostics written step by step, interleaved as a model writes them, become two
variables whose fields sit at their own time and level."""

import os
import unittest

import netCDF4
import numpy as np

import common

LEVELS = [1000.0, 850.0, 500.0]


class InterleavedTest(unittest.TestCase):
    def test_two_interleaved_diagnostics_give_two_variables_of_twelve_fields(self):
        with common.temp_dir() as folder:
            fields, expected = [], {16203: {}, 3236: {}}
            for day in range(1, 5):
                for stash in (16203, 3236):
                    for level_index, level in enumerate(LEVELS):
                        values = np.arange(12, dtype=np.float32) + 1000 * len(fields)
                        fields.append({"stash": stash, "vt": [1970, 1, day, 0, 0, 0], "lbvc": 8,
                                       "blev": level, "data": values.tolist()})
                        expected[stash][(day - 1, level_index)] = values
            um = os.path.join(folder, "steps.um")
            common.write_um(um, {"fields": fields})
            code, _, err = common.convert(um, *common.default_configs(folder))
            self.assertEqual(code, 0, err)
            with netCDF4.Dataset(common.output_path(um)) as nc:
                data_vars = [name for name, var in nc.variables.items() if len(var.dimensions) == 4]
                # Variables appear in the order of their first fields: 16203 (translated), then 3236.
                self.assertEqual(data_vars, ["temp_0", "field16_0"])
                self.assertEqual(nc.variables["field16_0"].stash_section, 3)
                self.assertEqual(list(nc.variables["pressure_0"][:]), LEVELS)
                self.assertEqual(len(nc.variables["time0"]), 4)
                for name, stash in (("temp_0", 16203), ("field16_0", 3236)):
                    var = nc.variables[name]
                    var.set_auto_mask(False)
                    self.assertEqual(var.shape, (4, 3, 3, 4))
                    for (time_index, level_index), values in expected[stash].items():
                        np.testing.assert_array_equal(var[time_index, level_index].ravel(), values)


if __name__ == "__main__":
    unittest.main()
