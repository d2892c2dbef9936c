"""The values and records of the fields umgen writes: plain values (integers or reals, in the
file's words), WGDOS-packed streams (tools/wgdos.py), 32-bit values two to a 64-bit word, and the
extra data of PP records; generated block by block so that large files stream."""

import numpy as np

import wgdos
from umgen_layout import (BLOCK_WORDS, DEFAULT_ACCURACY, DEFAULT_BMDI, EXTRA_X, EXTRA_Y, UM_LOOKUP_WORDS,
                          DescriptionError, marker, wrap32)


class FieldValues:
    """The field part of a plan: needs fields, npts, kinds, words, marker, rec_words, extra,
    extra_words and lookup set by the plan."""

    def _value_words(self):
        """Words each field's values take: rows*cols plain, half that (rounded up) 32-bit packed
        in 64-bit words, the packed stream's words (rounded up) WGDOS-packed."""
        ws = self.words.size
        value_words = self.npts.copy()
        self.packed = {}
        for k, kind in enumerate(self.kinds):
            if kind == "wgdos":
                self.packed[k] = self._wgdos(k)
                value_words[k] = -(-len(self.packed[k]) // ws)
            elif kind == "ieee32":
                value_words[k] = -(-value_words[k] // 2)
        return value_words

    def _wgdos(self, k):
        """The WGDOS stream of field k: its values as float32 (as a 32-bit file holds them)."""
        f = self.fields[k]
        if "ints" in f:
            raise DescriptionError("field %d: WGDOS packs reals, not ints" % k)
        values = np.empty(int(self.npts[k]), dtype=np.float32)
        self._fill_field(k, None, values, False)
        bmdi = float(np.float32(f.get("bmdi", DEFAULT_BMDI)))
        shape = (int(f.get("rows", 3)), int(f.get("cols", 4)))
        return wgdos.pack(values.astype(np.float64).reshape(shape), int(f.get("accuracy", DEFAULT_ACCURACY)), bmdi,
                          zero_bitmaps=bool(f.get("wgdos_zero", False)), min_bitmaps=bool(f.get("wgdos_min", False)))

    def _extra_vectors(self, k):
        """The PP extra data of field k as (kind, values) vectors."""
        f = self.fields[k]
        return [(kind, list(f[key])) for kind, key in ((EXTRA_X, "extra_x"), (EXTRA_Y, "extra_y")) if f.get(key)]

    def _fill_field(self, k, out_i, out_f, wide):
        """Writes the values of field k into out_i/out_f (integer/real views of its words; wide:
        the integer words have 64 bits)."""
        f = self.fields[k]
        n = int(self.npts[k])
        if "ints" in f:
            arr = (np.asarray(f["ints"], dtype=np.int64) if wide else wrap32(f["ints"])).ravel()
            if arr.size != n:
                raise DescriptionError("field %d: %d ints for %d points" % (k, arr.size, n))
            out_i[:n] = arr
            return
        bmdi = float(f.get("bmdi", DEFAULT_BMDI))
        if "data" in f:
            data = f["data"]
            if not isinstance(data, np.ndarray):
                data = [bmdi if v is None else v for v in data]
            arr = np.asarray(data, dtype=np.float64).ravel()
            if arr.size != n:
                raise DescriptionError("field %d: %d values for %d points" % (k, arr.size, n))
            out_f[:n] = arr
            return
        if "fill" in f:
            v = f["fill"]
            out_f[:n] = bmdi if v is None else float(v)
            return
        pattern = f.get("pattern", "ramp")
        if pattern == "smooth":
            rows, cols = int(f.get("rows", 3)), int(f.get("cols", 4))
            base = float(f.get("base", 0.0))
            amp = float(f.get("amplitude", 1.0))
            lat = float(f.get("bzy", -90.0)) + float(f.get("bdy", 2.5)) * np.arange(1, rows + 1)
            lon = float(f.get("bzx", 0.0)) + float(f.get("bdx", 3.75)) * np.arange(1, cols + 1)
            vals = base + amp * np.cos(np.radians(lat))[:, None] * \
                (1.0 + 0.1 * np.sin(np.radians(lon)))[None, :]
            out_f[:n] = vals.ravel()
        elif pattern == "ramp":
            out_f[:n] = 1000.0 * k + np.arange(n, dtype=np.float64)
        else:
            raise DescriptionError("field %d: unknown pattern %r" % (k, pattern))

    def _fill_record(self, k, out_i, out_f, out_b):
        """Writes the record of field k (its values as its packing says, then in a PP file its
        extra data) into the integer, real and byte views of its words."""
        kind = self.kinds[k]
        if kind == "wgdos":
            stream = np.frombuffer(self.packed[k], dtype=np.uint8)
            out_b[:stream.size] = stream
        elif kind == "ieee32":
            # 4-byte values, two to a word, each in the file's byte order.
            n, order = int(self.npts[k]), self.words.order
            self._fill_field(k, out_b[:4 * n].view(order + "i4"), out_b[:4 * n].view(order + "f4"), False)
        else:
            self._fill_field(k, out_i, out_f, self.words.size == 8)
        pos = int(self.rec_words[k])
        for vector_kind, values in self.extra[k]:
            out_i[pos] = len(values) * 1000 + vector_kind
            out_f[pos + 1:pos + 1 + len(values)] = values
            pos += 1 + len(values)

    def _data_blocks(self):
        """The data section as arrays of words in the file's order, each holding whole records,
        at most BLOCK_WORDS words unless one record is larger."""
        nf, words = len(self.fields), self.words
        k = 0
        while k < nf:
            end = k + 1
            total = int(self.rec_words[k])
            while end < nf and total + int(self.rec_words[end]) <= BLOCK_WORDS:
                total += int(self.rec_words[end])
                end += 1
            block = np.zeros(total, dtype=words.dtype)
            block_f = block.view(words.real_dtype)
            block_b = block.view(np.uint8)
            pos = 0
            for j in range(k, end):
                w = int(self.rec_words[j])
                self._fill_record(j, block[pos:pos + w], block_f[pos:pos + w],
                                  block_b[pos * words.size:(pos + w) * words.size])
                pos += w
            yield block
            k = end

    def _pp_fields(self):
        """The PP file field by field: header record and data record, each between two
        record-length markers (the record's bytes)."""
        words = self.words
        ws = words.size
        head = marker(UM_LOOKUP_WORDS * ws, words, self.marker)
        for k in range(len(self.fields)):
            n = int(self.rec_words[k] + self.extra_words[k])
            record = np.zeros(n, dtype=words.dtype)
            self._fill_record(k, record, record.view(words.real_dtype), record.view(np.uint8))
            yield np.concatenate([head, words.encode(self.lookup[k]), head, marker(n * ws, words, self.marker),
                                  record.view(np.uint8), marker(n * ws, words, self.marker)])

