"""An independent model of IEEE-754 arithmetic for the property tests.

Python floats are doubles, so double arithmetic is modelled by itself.
Single arithmetic is modelled as the double operation rounded once to 32 bits
(`f32`, by struct narrowing): for +, -, *, / and the square root of 32-bit
operands that is exactly the 32-bit result, since a double carries more than
twice a float's 24 bits plus two. Python raises where IEEE arithmetic gives
infinities or NaN; the helpers here give the IEEE results instead.
"""
import math
import struct

from conftest import f32

inf, nan = math.inf, math.nan


def spacing32(x):
    """The step from the 32-bit float x >= 0 to the next one up (inf past the
    largest), as numpy's spacing gives it."""
    bits = struct.unpack("<I", struct.pack("<f", x))[0]
    return struct.unpack("<f", struct.pack("<I", bits + 1))[0] - x


def div(a, b):
    """a / b, with the IEEE results for a zero divisor."""
    if b == 0:
        if a == 0 or math.isnan(a):
            return nan
        return math.copysign(inf, a) * math.copysign(1.0, b)
    return a / b


def floor(x):
    """C's floor: infinities, NaN and signed zeros pass through."""
    if x == 0 or not math.isfinite(x):
        return x
    return float(math.floor(x))


def round_half_away(x):
    """C's round: to the nearest integer, halves away from zero."""
    if not math.isfinite(x):
        return x
    a = abs(x)
    r = math.floor(a)
    if a - r >= 0.5:            # exact: a and its floor share their exponent range
        r += 1
    return math.copysign(float(r), x)


def single_sum_of_products(xs, ys):
    """x0*y0 + x1*y1 + ... in single precision, left to right, no fused steps."""
    s = f32(xs[0] * ys[0])
    for x, y in zip(xs[1:], ys[1:]):
        s = f32(s + f32(x * y))
    return s


def double_sum_of_products(xs, ys):
    s = xs[0] * ys[0]
    for x, y in zip(xs[1:], ys[1:]):
        s = s + x * y
    return s


def same(a, b):
    """Equal sequences of floats: NaN matches NaN, and zeros match in sign."""
    a, b = tuple(a), tuple(b)
    return len(a) == len(b) and all(
        (math.isnan(x) and math.isnan(y))
        or (x == y and math.copysign(1, x) == math.copysign(1, y)) for x, y in zip(a, b))
