#!/usr/bin/python3
"""Writes the benchmark's UM files through the project's generator.

    /usr/bin/python3 bench/workloads.py DATA_DIR [L] [M50] [M100] [M200] [B]

L: about 1 GiB, 1,000 fields of 512 x 512 on 10 variables (10 times on 10 pressure levels).
M<n>: n thousand fields of 16 x 16 in 100 variables (time series on 10 pressure levels).
B: 200 files of about 5 MiB (20 fields of 256 x 256 on 2 variables), an ensemble.
W: 256 fields of 512 x 512 unpacked in today's layout, and WGDOS-packed in 64-bit big-endian words.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tools'))
import umgen  # noqa: E402

LEVELS = [1000.0, 925.0, 850.0, 700.0, 600.0, 500.0, 400.0, 300.0, 250.0, 200.0]


def time_series(n_vars, n_times, n_levels, rows, cols, first_stash=16000):
    """Fields as a model writes them: every diagnostic of one step, step after step."""
    fields = []
    for step in range(n_times):
        day, hour = divmod(step * 6, 24)
        year, day = divmod(day, 360)
        month, day = divmod(day, 30)
        vt = [2000 + year, month + 1, day + 1, hour, 0, 0]
        for var in range(n_vars):
            for level in LEVELS[:n_levels]:
                fields.append({"stash": first_stash + var, "vt": vt, "lbvc": 8, "blev": level,
                               "rows": rows, "cols": cols, "bzy": -90.0, "bdy": 180.0 / rows,
                               "bzx": 0.0, "bdx": 360.0 / cols, "pattern": "smooth",
                               "base": 250.0, "amplitude": 30.0})
    return {"calendar": 2, "ref_time": [2000, 1, 1, 0, 0, 0], "fields": fields}


def workload(name):
    if name == 'L':
        return {'L.um': time_series(10, 10, 10, 512, 512)}
    if name.startswith('M'):
        thousands = int(name[1:])
        return {name + '.um': time_series(100, thousands, 10, 16, 16)}
    if name == 'W':
        # The same 256 fields of 512 x 512 (256 MiB of values) unpacked in today's layout, and
        # WGDOS-packed in a fields file of 64-bit big-endian words, as the model writes them.
        desc = time_series(4, 8, 8, 512, 512)
        packed = dict(desc, word_size=8, byte_order="big", field_defaults={"lbpack": 1, "accuracy": -4})
        return {'W_unpacked.um': desc, 'W_wgdos.um': packed}
    if name == 'B':
        desc = time_series(2, 10, 1, 256, 256)
        return {os.path.join('B', 'member%03d.um' % member): desc for member in range(200)}
    raise SystemExit('unknown workload ' + name)


def main():
    data_dir = sys.argv[1]
    for name in sys.argv[2:] or ['L', 'M50', 'M100', 'M200', 'B', 'W']:
        for rel_path, desc in workload(name).items():
            path = os.path.join(data_dir, rel_path)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if not os.path.exists(path):
                umgen.write(path, desc)
        print('wrote', name)


if __name__ == '__main__':
    main()
