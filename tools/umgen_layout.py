"""Words and records of every layout umgen writes: 4- or 8-byte words in either byte order, how a
field's LBPACK decides the way its values are stored, and where the records of a PP file lie.

A PP file is a run of sequential records, each between two record-length markers (the record's
bytes, in marker_size bytes and the file's byte order); every field is a header record of 64
words followed by a data record: the values, then the extra data (vectors of an integer word
length*1000+kind and length reals).
"""

import numpy as np

UM_LOOKUP_WORDS = 64
DEFAULT_BMDI = -1073741824.0
DEFAULT_ACCURACY = -12
# Upper bound of one data chunk (in words) when fields are generated block by block.
BLOCK_WORDS = 1 << 22
# Kinds of extra-data vector in a PP data record.
EXTRA_X, EXTRA_Y = 1, 2


class DescriptionError(ValueError):
    """The description cannot be turned into a file."""


def wrap32(values):
    """Integers (any size) to int32 words, keeping the low 32 bits (so 0xFFFFFFFF is -1)."""
    arr = np.asarray(values, dtype=np.int64)
    return (arr & 0xFFFFFFFF).astype(np.uint32).view(np.int32)


def real_bits(values):
    """Reals to the int32 words holding their float32 bits."""
    return np.asarray(values, dtype=np.float64).astype("<f4").view("<i4")


class Words:
    """The words of one layout: 4 or 8 bytes, little- or big-endian. Values are built as native
    integer arrays (int32 or int64, reals as the bits of float32 or float64) and put into the
    file's byte order only when written."""

    def __init__(self, size, order):
        self.size = size
        self.order = "<" if order == "little" else ">"
        self.native = np.int32 if size == 4 else np.int64
        self.dtype = np.dtype(self.order + "i%d" % size)
        self.real_dtype = np.dtype(self.order + "f%d" % size)

    def ints(self, values):
        """Integers as words: 32-bit words keep the low 32 bits, 64-bit words the value."""
        return wrap32(values) if self.size == 4 else np.asarray(values, dtype=np.int64)

    def reals(self, values):
        """Reals as the bits of float32 or float64 words."""
        if self.size == 4:
            return real_bits(values)
        return np.asarray(values, dtype=np.float64).view(np.int64)

    def encode(self, words):
        """Native words in the file's byte order, as bytes (numpy uint8)."""
        return np.ascontiguousarray(words).astype(self.dtype, copy=False).view(np.uint8)


def packing(lbpack, word_size):
    """How a field with this LBPACK is written: "wgdos" (units 1), "ieee32" (units 2 in 64-bit
    words) when no compression digit is set, otherwise "plain" (the values as words, whatever
    LBPACK says)."""
    lbpack = int(lbpack)
    if 0 <= lbpack < 10000 and lbpack // 10 % 100 == 0:
        if lbpack % 10 == 1:
            return "wgdos"
        if lbpack % 10 == 2 and word_size == 8:
            return "ieee32"
    return "plain"



def pp_places(rec_words, extra_words, word_size, marker_size):
    """Byte ranges of a PP file's fields for records of rec_words value words and extra_words
    extra words each: a dict with "entries" (the header records), "records" (the data records,
    extra data included), "extra" (null where none) and "size" (of the whole file)."""
    header_bytes = UM_LOOKUP_WORDS * word_size
    data_bytes = (rec_words + extra_words) * word_size
    begin = np.concatenate([[0], np.cumsum(4 * marker_size + header_bytes + data_bytes)]).astype(np.int64)
    head = begin[:-1] + marker_size
    data = head + header_bytes + 2 * marker_size
    extra_at = data + rec_words * word_size
    return {"entries": np.stack([head, head + header_bytes], axis=1).tolist(),
            "records": np.stack([data, data + data_bytes], axis=1).tolist(),
            "extra": [[int(a), int(a + e * word_size)] if e else None for a, e in zip(extra_at, extra_words)],
            "size": int(begin[-1])}


def marker(nbytes, words, marker_size):
    """A PP record-length marker for a record of nbytes, as bytes (numpy uint8)."""
    return np.array([nbytes], dtype=words.order + "i%d" % marker_size).view(np.uint8)
