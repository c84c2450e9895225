# SPDX-License-Identifier: GPL-3.0-or-later
"""The scale value the wizard must write, modelled exactly with fractions.

new scale = trunc(scale x ((measured x 100 / test) x 0.01)), each step rounded to x87
extended precision (64-bit mantissa, ties to even); the sizes typed in millimetres are read
to extended precision, multiplied by 40 in extended precision and kept as doubles; 0.01 is
the extended value nearest to it.

As a program: scale_oracle.py <scale> <test size mm> <measured mm> prints the new value.
"""

import sys
from fractions import Fraction

UNITS_PER_MILLIMETRE = 40


def extended(x):
    """x rounded to a 64-bit mantissa, ties to even (x may be of either sign)."""
    x = Fraction(x)
    if x == 0:
        return x
    if x < 0:
        return -extended(-x)
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


def units(millimetre_text):
    """The plotter units a typed size becomes (a double, as an exact fraction)."""
    # float() of a Fraction is the nearest double.
    return Fraction(float(extended(extended(Fraction(millimetre_text.strip())) *
                                   UNITS_PER_MILLIMETRE)))


def new_scale(scale, test_text, measured_text):
    """The value written for a cutter holding `scale`, test size and measurement as typed."""
    test, measured = units(test_text), units(measured_text)
    ratio = extended(extended(extended(measured * 100) / test) * extended(Fraction(1, 100)))
    return int(extended(scale * ratio))


if __name__ == "__main__":
    print(new_scale(int(sys.argv[1]), sys.argv[2], sys.argv[3]))
