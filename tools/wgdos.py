"""WGDOS packing of UM fields, for the tests: packs fields the C++ decoder must read back.

    import wgdos
    stream = wgdos.pack(values, accuracy, mdi)          # bytes
    values = wgdos.unpack(stream, rows, cols, mdi)      # 2-D float32 array

The stream is a run of big-endian 32-bit words. Header: the total number of words (header
included), the accuracy exponent e (signed; the step is 2**e), and columns << 16 | rows. Then per
row: the base as an IBM single-precision word; a word whose high half holds the flags (128 zero
bitmap, 64 minimum bitmap, 32 missing-data bitmap) or-ed with the bits per value n (low 5 bits,
so n <= 31) and whose low half counts the words that follow for this row; the bitmaps present, in
the order missing, minimum, zero, one bit per column, high bit first. The bitmaps are written one
straight after another and only their end is padded to a whole word (a 10-column row with two
bitmaps takes 20 bits plus 12 of padding, not 2 words); the n-bit integers k of the points that
no bitmap covers follow from that word boundary, high bit first, padded to a word. A point is
missing where the missing bitmap has a 1, the base where the minimum bitmap has a 1, and 0 where
the zero bitmap has a 0; otherwise it is base + k * 2**e. Missing wins over minimum, minimum over
zero, when a stream sets more than one.
"""

import math

import numpy as np

FLAG_ZERO = 128
FLAG_MIN = 64
FLAG_MISSING = 32
MAX_BITS = 31    # the bits-per-value field has 5 bits
MAX_DIM = 0xFFFF  # rows, columns and a row's word count are stored in 16 bits


def ibm_floor(x):
    """Returns the IBM single-precision word of the largest IBM value not above the finite x.

    Raises ValueError when |x| is beyond the IBM range (about 7.2e75)."""
    if x == 0:
        return 0
    _, exp2 = math.frexp(abs(x))  # abs(x) = m * 2**exp2 with 0.5 <= m < 1
    hexp = max(-((-exp2) // 4), -64)  # |x| = f * 16**hexp with 1/16 <= f < 1 unless clamped
    scaled = math.ldexp(abs(x), 24 - 4 * hexp)  # f * 2**24, exact: a power-of-two scaling
    if x > 0:
        fraction = math.floor(scaled)
    else:
        # A negative value rounds down by rounding its magnitude up.
        fraction = math.ceil(scaled)
        if fraction == 1 << 24:
            fraction, hexp = 1 << 20, hexp + 1
    if hexp + 64 > 127:
        raise ValueError("%r is beyond the IBM single-precision range" % x)
    return (0x80000000 if x < 0 else 0) | (hexp + 64) << 24 | fraction


def ibm_value(word):
    """Returns the exact value of an IBM single-precision word."""
    value = math.ldexp(word & 0xFFFFFF, 4 * (((word >> 24) & 0x7F) - 64) - 24)
    return -value if word >> 31 else value


def _bits(ints, width):
    """The width-bit unsigned integers as a 0/1 array, high bit first."""
    if width == 0 or len(ints) == 0:
        return np.zeros(0, dtype=np.uint8)
    shifts = np.arange(width - 1, -1, -1, dtype=np.uint64)
    return ((np.asarray(ints, dtype=np.uint64)[:, None] >> shifts) & 1).astype(np.uint8).ravel()


def _words(bits):
    """0/1 bits padded to whole 32-bit words, as big-endian words (uint32)."""
    padded = np.zeros(-(-len(bits) // 32) * 32, dtype=np.uint8)
    padded[:len(bits)] = bits
    return np.frombuffer(np.packbits(padded).tobytes(), dtype=">u4").astype(np.uint32)


def _pack_row(row, step, mdi, zero_bitmaps, min_bitmaps):
    """Packs one row; returns its words (base and flag word included)."""
    missing = row == mdi
    zero = (row == 0.0) & ~missing if zero_bitmaps else np.zeros(row.shape, dtype=bool)
    carried = ~missing & ~zero
    # The base is the minimum of the values the integers carry: zeros held by the zero bitmap
    # would only widen the integers.
    base_word = ibm_floor(float(row[carried].min())) if carried.any() else 0
    base = ibm_value(base_word)
    ks = np.floor((row[carried] - base) / step + 0.5)
    at_min = np.zeros(row.shape, dtype=bool)
    if min_bitmaps:
        at_min[carried] = ks == 0
        ks = ks[~at_min[carried]]
    if len(ks) and ks.max() >= 2.0 ** MAX_BITS:
        raise ValueError("a row spans more than 2**31 steps: use a coarser accuracy")
    ks = ks.astype(np.uint64)
    width = int(ks.max()).bit_length() if len(ks) else 0
    flags, maps = 0, []
    if missing.any():
        flags, maps = flags | FLAG_MISSING, maps + [missing]
    if at_min.any():
        flags, maps = flags | FLAG_MIN, maps + [at_min]
    if zero.any():
        flags, maps = flags | FLAG_ZERO, maps + [~zero]
    bitmaps = np.concatenate(maps).astype(np.uint8) if maps else np.zeros(0, dtype=np.uint8)
    body = np.concatenate([_words(bitmaps), _words(_bits(ks, width))])
    if len(body) > MAX_DIM:
        raise ValueError("a packed row needs %d words, more than %d" % (len(body), MAX_DIM))
    head = np.array([base_word, (flags | width) << 16 | len(body)], dtype=np.uint32)
    return np.concatenate([head, body])


def pack(values, accuracy, mdi, zero_bitmaps=True, min_bitmaps=False):
    """values: 2-D numpy float array (rows x cols); accuracy: the exponent e (step 2**e); mdi: the
    missing-data value (points equal to it go into a missing bitmap). Returns the packed stream as
    bytes (big-endian 32-bit words), header included."""
    values = np.asarray(values, dtype=np.float64)
    if values.ndim != 2 or not 0 < values.shape[0] <= MAX_DIM or not 0 < values.shape[1] <= MAX_DIM:
        raise ValueError("values must be 2-D with 1 to %d rows and columns" % MAX_DIM)
    if not np.isfinite(values).all():
        raise ValueError("values must be finite")
    rows, cols = values.shape
    step = math.ldexp(1.0, accuracy)
    body = [_pack_row(row, step, mdi, zero_bitmaps, min_bitmaps) for row in values]
    total = 3 + sum(len(words) for words in body)
    header = np.array([total, accuracy & 0xFFFFFFFF, cols << 16 | rows], dtype=np.uint32)
    return np.concatenate([header] + body).astype(">u4").tobytes()


def unpack(stream, rows, cols, mdi):
    """Decodes a stream of rows x cols points; returns a 2-D float32 array. Raises ValueError when
    the stream disagrees with itself or with rows and cols."""
    words = np.frombuffer(stream[:len(stream) // 4 * 4], dtype=">u4").astype(np.uint64)
    if len(words) < 3 or not 3 <= int(words[0]) <= len(words):
        raise ValueError("stream shorter than its header or its stated length")
    words = words[:int(words[0])]
    step = math.ldexp(1.0, int(np.int32(np.uint32(words[1]))))
    if (int(words[2]) >> 16) * (int(words[2]) & 0xFFFF) != rows * cols:
        raise ValueError("header points differ from rows x cols")
    out = np.empty((rows, cols), dtype=np.float32)
    pos = 3
    for r in range(rows):
        if pos + 2 > len(words) or pos + 2 + (int(words[pos + 1]) & 0xFFFF) > len(words):
            raise ValueError("row %d runs past the stream" % (r + 1))
        base, flags = ibm_value(int(words[pos])), int(words[pos + 1]) >> 16
        width, count = flags & 0x1F, int(words[pos + 1]) & 0xFFFF
        bits = np.unpackbits(words[pos + 2:pos + 2 + count].astype(">u4").view(np.uint8))
        pos += 2 + count
        covered = np.zeros(cols, dtype=bool)
        row = np.full(cols, base)
        start = 0
        for flag in (FLAG_MISSING, FLAG_MIN, FLAG_ZERO):
            if flags & flag:
                if start + cols > len(bits):
                    raise ValueError("row %d bitmaps run past the row" % (r + 1))
                mark = bits[start:start + cols] == (0 if flag == FLAG_ZERO else 1)
                row[mark & ~covered] = {FLAG_MISSING: mdi, FLAG_MIN: base, FLAG_ZERO: 0.0}[flag]
                covered |= mark
                start += cols
        start = -(-start // 32) * 32
        todo = np.flatnonzero(~covered)
        if width:
            end = start + len(todo) * width
            if end > len(bits):
                raise ValueError("row %d values run past the row" % (r + 1))
            ks = bits[start:end].reshape(-1, width).astype(np.uint64)
            ks = ks @ (np.uint64(1) << np.arange(width - 1, -1, -1, dtype=np.uint64))
            row[todo] = base + ks.astype(np.float64) * step
        out[r] = row
    return out
