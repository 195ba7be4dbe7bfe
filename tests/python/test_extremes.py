"""Extreme exponents and magnitudes: a quantity's dimensions are what its units carry, or it is refused."""

import math
import pickle
from fractions import Fraction

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tarvel import Tarvel

U = Tarvel.unit


def carried_dimensions(q):
    """The cached vector, and the exact sum of the map's terms with the size of those terms."""
    _, units, cached, _ = q.__reduce__()[1][0][1:]
    exact = [Fraction(0)] * 8
    for _name, _symbol, _offset, _factor, dimensions, exponent in units:
        for k, d in enumerate(dimensions):
            exact[k] += Fraction(exponent) * Fraction(d)
    return cached, exact


def check_invariant(q):
    cached, exact = carried_dimensions(q)
    for k in range(8):
        assert math.isfinite(cached[k])
        # Rounding of sums taken in another order, and nothing more.
        assert abs(Fraction(cached[k]) - exact[k]) <= Fraction(2e-13) * abs(exact[k]) + Fraction(5e-324)
    restored = pickle.loads(pickle.dumps(q))
    assert restored.__reduce__() == q.__reduce__() or math.isnan(q.as_number())
    simplified = q.simplify()
    # Same dimensions: the conversion into the simplified units is allowed.
    q.as_unit(simplified)
    for show in (str, repr, lambda x: format(x, ".2f"), lambda x: x.latex(), lambda x: x.descriptive()):
        show(q)


@pytest.mark.parametrize(
    "make, message",
    [
        # 1 + 1e-300 == 1: the gray's tiny exponent would vanish from the map.
        (lambda: U("Gy/Sv") * U("Gy") ** 1e-300, r"^\[Gy/Sv\] cannot be multiplied by \[Gy0\.0+1\]"),
        (lambda: U("m/ft") * U("m") ** 1e-300, r"^\[m/ft\] cannot be multiplied by \[m0\.0+1\]"),
        (lambda: U("°F/°C") * U("°F") ** 1e-300, r"^\[°F/°C\] cannot be multiplied by"),
        (lambda: U("m") ** 2**54 / U("m"), r"^\[m18014398509481984\] cannot be divided by \[m\]"),
        (lambda: U("shed/m") ** 1e308 * U("ft/m"), r"cannot be multiplied by \[ft/m\]"),
        # 1e308 + 1e308 overflows.
        (lambda: U("m") ** 1e308 * U("m") ** 1e308, r"^\[m10+\] cannot be multiplied by \[m10+\]"),
        (lambda: U("m") ** 1e308 / U("m") ** -1e308, r"cannot be divided by"),
        (lambda: U("m") ** 1e308 * U("ft") ** 1e308, r"cannot be multiplied by"),
        # An exponent that underflows to 0.
        (lambda: (U("m") ** 1e-300) ** 1e-300, r"cannot be raised to the power 0\.0+1$"),
    ],
)
def test_exponents_that_cannot_be_represented_are_refused(make, message):
    with pytest.raises(ValueError, match=message):
        make()


def test_refused_operands_stay_usable():
    q = U("m/ft")
    with pytest.raises(ValueError):
        (q * U("m") ** 1e-300) ** 1e308
    assert str(q) == "3.280839895013123 []"


def test_cancelled_huge_exponent_leaves_the_units_it_shows():
    m, ft = U("m"), U("ft")
    z = m**2**53 * ft / m**2**53
    assert str(z) == "1 [ft]"
    assert z.as_unit("ft").as_number() == 1.0
    assert z.as_unit("in").as_number() == pytest.approx(12.0)
    assert str(z / U("in")) == "12.000000000000002 []"
    assert str(z / ft) == "1 []"
    with pytest.raises(TypeError, match=r"\[ft\] and \[\] are not compatible"):
        z + 1
    joule = U("J")
    w = joule**2**53 * U("N.m") / joule**2**53
    assert w.as_unit("J").as_number() == 1.0
    assert w.descriptive() == "1 [meter.newton]"
    assert str(w) in ("1 [J]", "1 [N.m]", "1 [m.N]")
    for q in (z, w):
        check_invariant(q)


UNITS = ["m", "ft", "Gy", "Sv", "J", "N.m", "shed", "s", "km/hr", "m/ft", "°F", "kg", "mi"]
EXPONENTS = [1e-300, -1e-300, 2.0**53, -(2.0**53), 2.0**53 + 2, 1e308, -1e308, 4e307, 5e299, 0.5, 2.0, -1.0, 3.0]
step = st.tuples(st.sampled_from(["*", "/", "**"]), st.sampled_from(UNITS), st.sampled_from(EXPONENTS))


@settings(max_examples=120, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.sampled_from(UNITS), st.lists(step, min_size=1, max_size=6))
def test_chains_of_extreme_powers_keep_dimensions_and_units_together(start, steps):
    q = U(start)
    for op, text, exponent in steps:
        try:
            if op == "**":
                q = q**exponent
            else:
                other = U(text) ** exponent
                q = q * other if op == "*" else q / other
        except ValueError as error:
            # Refusals name the units; the operands are left as they were.
            assert str(error).startswith("[")
        check_invariant(q)


@pytest.mark.parametrize("units", ["m.ft.mi", "m.ft", "ft.mi.in", "Gy.Sv.m"])
@pytest.mark.parametrize("power", [2, 3, -2, 0.5])
def test_printing_leaves_a_magnitude_that_needs_no_change(units, power):
    r = U(units) ** power
    value = float(r)
    text = repr(r)
    assert float(r) == value
    assert text.startswith(f"{value:.17g}".rstrip("0").rstrip(".") if value != 1.0 else "1 ")
    assert float(r.simplify()) == value


@pytest.mark.parametrize(
    "value, figures, expected",
    [
        (1.2345678901234e-300, 10, 1.234567890e-300),
        (2.7959342459509e-310, 1, 3e-310),
        (-2.7959342459509e-310, 2, -2.8e-310),
        (4.9e-324, 1, 5e-324),
        (0.012345, 3, 0.0123),
        (98765.4, 2, 99000.0),
    ],
)
def test_round_sfig_at_the_ends_of_the_range(value, figures, expected):
    assert float((U("m") * value).round_sfig(figures)) == expected


@given(
    st.floats(allow_nan=False, allow_infinity=False, min_value=-1e-280, max_value=1e-280),
    st.integers(min_value=309, max_value=1100),
)
def test_round_to_many_digits_is_what_round_gives_for_the_float(value, ndigits):
    assert float(round(U("m") * value, ndigits)) == round(value, ndigits)
