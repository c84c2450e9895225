# SPDX-License-Identifier: GPL-3.0-or-later
"""The scale value the wizard must write, from the calibration rules alone.

scale x ((measured x 100 / test) x 0.01), each step rounded to extended precision (64-bit
mantissa, ties to even), the sizes typed in millimetres read and multiplied by 40 in
extended precision and kept as doubles, 0.01 the extended value nearest to it, truncated at
the end.

usage: scale_oracle.py <scale> <test size mm> <measured mm>
"""

import sys
from fractions import Fraction


def extended(x):
    """x > 0 rounded to a 64-bit mantissa, ties to even."""
    exponent = x.numerator.bit_length() - x.denominator.bit_length() - 63
    while x / Fraction(2) ** exponent >= 2 ** 64:
        exponent += 1
    while x / Fraction(2) ** exponent < 2 ** 63:
        exponent -= 1
    scaled = x / Fraction(2) ** exponent
    whole, rest = divmod(scaled.numerator, scaled.denominator)
    if 2 * rest > scaled.denominator or (2 * rest == scaled.denominator and whole % 2):
        whole += 1
    return whole * Fraction(2) ** exponent


def units(millimetres):
    # float() of a Fraction is the nearest double.
    return Fraction(float(extended(extended(Fraction(millimetres)) * 40)))


def oracle_scale(scale, test_mm, measured_mm):
    test, measured = units(test_mm), units(measured_mm)
    ratio = extended(extended(extended(measured * 100) / test) * extended(Fraction(1, 100)))
    return int(extended(int(scale) * ratio))


if __name__ == "__main__":
    print(oracle_scale(*sys.argv[1:4]))
