"""Buffers for the array tests, made with the standard library: numbers
packed by `array` and shaped by `memoryview.cast`, so that the buffer forms
the arrays read (float32 and float64 rows, int32, bool masks, strided and
reversed views) are tested on every interpreter, numpy or not. Where numpy
is installed it is `numpy` here, for the checks that concern numpy itself
(zero-copy views, dtypes, shared memory); `needs_numpy` marks those."""
import array

import pytest

try:
    import numpy
except ImportError:  # Debian builds numpy for its newest interpreters only (not 3.13)
    numpy = None

needs_numpy = pytest.mark.skipif(numpy is None, reason="numpy is not installed for this interpreter")

# The struct format of each buffer format in `array`'s codes ('?' has none:
# bools are packed as bytes and cast).
STORE = {"f": "f", "d": "d", "i": "i", "q": "q", "B": "B", "?": "B"}


def packed(values, fmt="d"):
    """values, numbers or rows of numbers of one length, as a writable,
    C-contiguous memoryview of format fmt ('f', 'd', 'i', 'q', 'B' or '?'),
    shaped (n,) or (n, k) as numpy.array(values, dtype) would be. A slice
    of it (`packed(...)[::2]`, `[::-1]`) is a strided view of the rows.
    memoryview cannot shape an empty buffer in two dimensions; an empty list
    of rows is refused."""
    items = list(values)
    if items and isinstance(items[0], (tuple, list)):
        shape = (len(items), len(items[0]))
        if any(len(r) != shape[1] for r in items):
            raise ValueError("rows of different lengths")
        flat = [x for r in items for x in r]
    else:
        shape, flat = (len(items),), items
    if not flat and len(shape) == 2:
        raise ValueError("memoryview cannot shape an empty buffer in two dimensions")
    view = memoryview(array.array(STORE[fmt], flat)).cast("B")
    # cast refuses a shape with a zero even in one dimension, where it needs none.
    return view.cast(fmt, shape) if len(shape) == 2 else view.cast(fmt)


def zeros(shape, fmt="d"):
    """A buffer of zeros shaped `shape` (an int or a pair), of format fmt:
    numpy.zeros(shape, dtype) from the standard library."""
    if isinstance(shape, int):
        return packed([0] * shape, fmt)
    n, k = shape
    return packed([[0] * k for _ in range(n)], fmt)
