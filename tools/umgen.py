#!/usr/bin/env python3
"""Generator of UM files: fields files of 32- or 64-bit words in either byte order (by default
32-bit little-endian, unpacked), and PP files; fields plain, WGDOS-packed or 32-bit packed.

Builds a file from a description (a dict, usually read from JSON) and reports
where every part of it lies. The description format, the layout report and the
command line are documented in tools/README.md.

Module use:

    import umgen
    data, layout = umgen.build(desc)              # whole file in memory
    chunks, layout = umgen.build(desc, chunks=True)  # iterator of numpy chunks
    layout = umgen.write(path, desc)              # streams to disk block by block

Command line:

    /usr/bin/python3 tools/umgen.py [--layout] DESCRIPTION.json OUTPUT.um
"""

import argparse
import json
import sys

import numpy as np

from umgen_layout import BLOCK_WORDS, DEFAULT_BMDI, UM_LOOKUP_WORDS, DescriptionError, Words, packing, pp_places
from umgen_values import FieldValues

FIXHDR_WORDS = 256
SPARE_WORD = -99
DEFAULT_TIME = [1970, 1, 1, 0, 0, 0]

# 1-D constants: key, fixed-header start word, default length.
SECTIONS_1D = [("int_consts", 100, 46), ("real_consts", 105, 38)]
# 2-D constants: key, fixed-header start word (dimensions in the two words after it).
SECTIONS_2D = [("level_consts", 110), ("row_consts", 115),
               ("col_consts", 120), ("fields_consts", 125)]

# Per-field integer lookup words: key, word (1-based), default.
FIELD_INT_WORDS = [
    ("lbtim", 13, 2),
    ("lbcode", 16, 1),
    ("rows", 18, 3),
    ("cols", 19, 4),
    ("lbpack", 21, 0),
    ("lbfc", 23, 16),
    ("lbproc", 25, 0),
    ("lbvc", 26, 8),
    ("lbuser1", 39, 1),
    ("stash", 42, 16203),
    ("pseudo", 43, 0),
]
# Per-field real lookup words (stored as float32 bits): key, word, default.
FIELD_REAL_WORDS = [
    ("blev", 52, 850.0),
    ("bhlev", 54, 0.0),
    ("bplat", 56, 90.0),
    ("bplon", 57, 0.0),
    ("bzy", 59, -90.0),
    ("bdy", 60, 2.5),
    ("bzx", 61, 0.0),
    ("bdx", 62, 3.75),
    ("bmdi", 63, DEFAULT_BMDI),
    ("bmks", 64, 1.0),
]
LBLREC, LBEXT, LBREL, LBEGIN, LBNREC, LBUSER7 = 15, 20, 22, 29, 30, 45


# ---------------------------------------------------------- description helpers

def _choice(desc, key, default, allowed):
    value = desc.get(key, default)
    if value not in allowed:
        raise DescriptionError("%s must be one of %s" % (key, ", ".join(map(str, allowed))))
    return value


def _word_map(overrides, name, limit):
    """{"word": value} with 1-based word numbers checked against limit."""
    items = []
    for key, value in dict(overrides).items():
        word = int(key)
        if word < 1 or word > limit:
            raise DescriptionError("%s: word %d outside 1..%d" % (name, word, limit))
        items.append((word, value))
    return items


def _dates(values, name):
    """List of date lists (up to six ints each) to an (n, 6) int64 array."""
    n = len(values)
    try:
        arr = np.asarray(values, dtype=np.int64)
        if arr.shape == (n, 6):
            return arr
    except (ValueError, TypeError):
        pass
    out = np.zeros((n, 6), dtype=np.int64)
    for i, date in enumerate(values):
        date = list(date)
        if len(date) > 6:
            raise DescriptionError("%s of field %d has more than six words" % (name, i))
        out[i, :len(date)] = date
    return out


# ------------------------------------------------------------------- planning

class _Plan(FieldValues):
    """Everything about the file except the field values: headers, lookup, layout."""

    def __init__(self, desc):
        desc = dict(desc or {})
        self.desc = desc
        defaults = dict(desc.get("field_defaults", {}) or {})
        fields = [dict(defaults, **f) for f in (desc.get("fields", []) or [])]
        self.fields = fields
        nf = len(fields)

        ws = int(_choice(desc, "word_size", 4, (4, 8)))
        order = _choice(desc, "byte_order", "little", ("little", "big"))
        self.pp = _choice(desc, "format", "fieldsfile", ("fieldsfile", "pp")) == "pp"
        self.marker = int(_choice(desc, "marker_size", ws, (4, 8)))
        self.words = words = Words(ws, order)
        entry_length = int(desc.get("entry_length", UM_LOOKUP_WORDS))
        if entry_length < 1:
            raise DescriptionError("entry_length must be at least 1")
        spare = int(desc.get("spare", 0))
        if spare < 0:
            raise DescriptionError("spare must not be negative")
        if self.pp and (entry_length != UM_LOOKUP_WORDS or spare or desc.get("fixhdr")):
            raise DescriptionError("a PP file has 64-word headers and no spare entries or fixed header")
        self.entry_length = entry_length
        sub_model = int(desc.get("sub_model", 1))

        fh = np.zeros(FIXHDR_WORDS, dtype=np.int64)
        fh[0] = -32768 if (ws, order) == (4, "little") else 20
        fh[1] = sub_model
        fh[2] = int(desc.get("vert_coord", 1))
        fh[3] = int(desc.get("grid_type", 0))
        fh[4] = int(desc.get("dataset_type", 3))
        fh[7] = int(desc.get("calendar", 2))
        ref = list(desc.get("ref_time", DEFAULT_TIME))
        if len(ref) > 6:
            raise DescriptionError("ref_time has more than six words")
        fh[20:20 + len(ref)] = ref

        layout = {"format": "pp" if self.pp else "fieldsfile", "word_size": ws, "byte_order": order,
                  "fixhdr": None if self.pp else [0, FIXHDR_WORDS * ws]}
        word = FIXHDR_WORDS + 1          # next free word, 1-based
        self.consts = []                 # native word arrays in file order

        for key, hword, default in SECTIONS_1D:
            given = desc.get(key, default)
            if given is None:
                given = 0
            if isinstance(given, (list, tuple)):
                real = key == "real_consts"
                values = words.reals(given) if real else words.ints(given)
                length = len(values)
            else:
                length = int(given)
                if length < 0:
                    raise DescriptionError("%s must not be negative" % key)
                values = np.zeros(length, dtype=words.native)
            if length == 0 or self.pp:
                layout[key] = None
                continue
            fh[hword - 1] = word
            fh[hword] = length
            self.consts.append(values)
            layout[key] = [(word - 1) * ws, (word - 1 + length) * ws]
            word += length

        for key, hword in SECTIONS_2D:
            given = desc.get(key)
            if given is None or self.pp:
                layout[key] = None
                continue
            first, second = (int(v) for v in given)
            if first < 0 or second < 0:
                raise DescriptionError("%s dimensions must not be negative" % key)
            length = first * second
            fh[hword - 1] = word
            fh[hword] = first
            fh[hword + 1] = second
            values = desc.get(key + "_values")
            if values is None:
                self.consts.append(np.zeros(length, dtype=words.native))
            else:
                values = words.reals(values).ravel()
                if values.size != length:
                    raise DescriptionError("%s_values: %d values for %d words" % (key, values.size, length))
                self.consts.append(values)
            layout[key] = [(word - 1) * ws, (word - 1 + length) * ws]
            word += length

        # Lookup table.
        n_entries = nf + spare
        lookup_start = word
        fh[149] = lookup_start
        fh[150] = entry_length
        fh[151] = n_entries
        lookup_words = entry_length * n_entries
        layout["lookup"] = None if self.pp else [(word - 1) * ws, (word - 1 + lookup_words) * ws]
        layout["entries"] = [[(word - 1 + i * entry_length) * ws,
                              (word - 1 + (i + 1) * entry_length) * ws] for i in range(nf)]
        word += lookup_words

        # Data section: records one after another in lookup order.
        data_start = word
        col = lambda key, default: [f.get(key, default) for f in fields]
        rows = np.asarray(col("rows", 3), dtype=np.int64).reshape(nf)
        cols = np.asarray(col("cols", 4), dtype=np.int64).reshape(nf)
        pad = np.asarray(col("pad", 0), dtype=np.int64).reshape(nf)
        npts = rows * cols
        if nf and (npts.min() < 0 or pad.min() < 0):
            raise DescriptionError("rows*cols and pad must not be negative")
        self.npts = npts
        self.kinds = [packing(f.get("lbpack", 0), ws) for f in fields]
        value_words = self._value_words()
        if not self.pp and any(f.get("extra_x") or f.get("extra_y") for f in fields):
            raise DescriptionError("extra_x and extra_y need the PP format")
        self.extra = [self._extra_vectors(k) for k in range(nf)] if self.pp else [[]] * nf
        self.extra_words = np.asarray([sum(1 + len(v) for _, v in e) for e in self.extra], dtype=np.int64).reshape(nf)
        rec_words = value_words + pad
        rec_start = np.empty(nf, dtype=np.int64)   # 0-based word addresses
        if nf:
            rec_start[0] = data_start - 1
            np.cumsum(rec_words[:-1], out=rec_start[1:])
            rec_start[1:] += data_start - 1
        data_words = int(rec_words.sum())
        fh[159] = data_start
        fh[160] = data_words
        self.value_words = value_words
        self.rec_words = rec_words
        self.rec_start = rec_start
        layout["data"] = None if self.pp else [(data_start - 1) * ws, (data_start - 1 + data_words) * ws]
        layout["records"] = np.stack([rec_start * ws, (rec_start + rec_words) * ws], axis=1).tolist() \
            if nf else []
        word += data_words
        full_size = (word - 1) * ws
        if self.pp:
            places = pp_places(rec_words, self.extra_words, ws, self.marker)
            full_size = places.pop("size")
            layout.update(places, marker_size=self.marker)

        for w, v in _word_map(desc.get("fixhdr", {}), "fixhdr", FIXHDR_WORDS):
            fh[w - 1] = v
        self.fixhdr = words.ints(fh)
        self.lookup = self._lookup(col, sub_model)

        truncate = desc.get("truncate")
        append = int(desc.get("append", 0) or 0)
        if append < 0:
            raise DescriptionError("append must not be negative")
        size = full_size if truncate is None else min(full_size, int(truncate))
        if size < 0:
            raise DescriptionError("truncate must not be negative")
        self.cut = size
        self.append = append
        layout["full_size"] = full_size
        layout["size"] = size + append
        layout["fields"] = nf
        layout["entry_length"] = entry_length
        self.layout = layout

    def _lookup(self, col, sub_model):
        """Lookup entries, built column by column, with the spare entries after them."""
        words, fields, nf = self.words, self.fields, len(self.fields)
        entry_length = self.entry_length
        width = max(entry_length, UM_LOOKUP_WORDS)
        lk = np.zeros((nf, width), dtype=np.int64)
        if nf:
            vt = col("vt", DEFAULT_TIME)
            lk[:, 0:6] = _dates(vt, "vt")
            lk[:, 6:12] = _dates([f.get("dt", v) for f, v in zip(fields, vt)], "dt")
            for key, w, default in FIELD_INT_WORDS:
                lk[:, w - 1] = np.asarray(col(key, default), dtype=np.int64)
            lk[:, LBLREC - 1] = self.rec_words
            lk[:, LBREL - 1] = 3
            lk[:, LBUSER7 - 1] = sub_model
            if self.pp:
                lk[:, LBEXT - 1] = self.extra_words
            else:
                lk[:, LBEGIN - 1] = self.rec_start
                if (words.size, words.order) != (4, "<"):
                    lk[:, LBNREC - 1] = self.rec_words
            for key, w, default in FIELD_REAL_WORDS:
                lk[:, w - 1] = words.reals(col(key, default))
        lk32 = words.ints(lk)[:, :entry_length]
        for i, f in enumerate(fields):
            if "lookup" in f:
                for w, v in _word_map(f["lookup"], "lookup of field %d" % i, entry_length):
                    lk32[i, w - 1] = words.ints(v)
            if "lookup_real" in f:
                for w, v in _word_map(f["lookup_real"], "lookup_real of field %d" % i,
                                      entry_length):
                    lk32[i, w - 1] = words.reals(v)
        spare = int(self.desc.get("spare", 0))
        if spare:
            lk32 = np.concatenate(
                [lk32, np.full((spare, entry_length), SPARE_WORD, dtype=words.native)])
        return np.ascontiguousarray(lk32, dtype=words.native)

    def chunks(self):
        """The finished file as a sequence of numpy arrays (truncate and append applied)."""
        remaining = self.cut
        words = self.words

        def parts():
            if self.pp:
                yield from self._pp_fields()
                return
            yield words.encode(self.fixhdr)
            for c in self.consts:
                yield words.encode(c)
            yield words.encode(self.lookup.ravel())
            for b in self._data_blocks():
                yield b

        for part in parts():
            if remaining <= 0:
                break
            raw = np.ascontiguousarray(part).view(np.uint8)
            if raw.size > remaining:
                raw = raw[:remaining]
            remaining -= raw.size
            if raw.size:
                yield raw
        left = self.append
        while left > 0:
            n = min(left, BLOCK_WORDS * 4)
            yield np.zeros(n, dtype=np.uint8)
            left -= n


# ------------------------------------------------------------------ interface

def build(desc, chunks=False):
    """Builds the file described by desc.

    Returns (bytes, layout); with chunks=True returns (iterator of uint8 numpy arrays, layout)
    instead, generating the data block by block as the iterator is consumed."""
    plan = _Plan(desc)
    if chunks:
        return plan.chunks(), plan.layout
    return b"".join(c.tobytes() for c in plan.chunks()), plan.layout


def write(path, desc, stream=True):
    """Writes the file described by desc to path and returns the layout.

    With stream=True (the default) the data are generated and written block by block, so memory
    use stays bounded whatever the file size; stream=False builds the whole file in memory first."""
    if stream:
        it, layout = build(desc, chunks=True)
        with open(path, "wb") as out:
            for c in it:
                c.tofile(out)
        return layout
    data, layout = build(desc)
    with open(path, "wb") as out:
        out.write(data)
    return layout


def load_description(path):
    """Reads a JSON description; "-" reads standard input."""
    if path == "-":
        return json.load(sys.stdin)
    with open(path) as f:
        return json.load(f)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write a UM fields file from a JSON description.")
    parser.add_argument("--layout", action="store_true",
                        help="print the layout report (JSON) on standard output")
    parser.add_argument("description", help="JSON description file ('-' for standard input)")
    parser.add_argument("output", help="UM file to write")
    args = parser.parse_args(argv)
    try:
        desc = load_description(args.description)
        layout = write(args.output, desc)
    except (OSError, ValueError, TypeError, KeyError) as e:
        sys.stderr.write("umgen: %s\n" % e)
        return 1
    if args.layout:
        json.dump(layout, sys.stdout)
        sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
