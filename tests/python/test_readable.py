"""Readable results on request: to_compact (a prefix for the first unit) and as_preferred (a short
product of given units). Both are exact conversions; printing is unchanged by them."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

from tarvel import Tarvel

PREFIXABLE = ["m", "g", "kg", "s", "J", "W", "Pa", "km", "mm", "m2", "1/s", "kg.m/s2", "N.m", "ms", "eV"]
magnitudes = st.floats(min_value=1e-24, max_value=1e24) | st.floats(min_value=-1e24, max_value=-1e-24)


def assert_exact_conversion(q, result):
    # The result is as_unit into its own units, bit for bit, and converting back is within rounding.
    assert result.as_number() == q.as_unit(result.units()).as_number()
    assert result.dimensions() == q.dimensions()
    assert math.isclose(result.as_number(q.units()), q.as_number(), rel_tol=1e-15)


@given(unit=st.sampled_from(PREFIXABLE), value=magnitudes)
def test_to_compact_puts_the_magnitude_between_1_and_1000(unit, value):
    q = Tarvel.unit(unit) * value
    result = q.to_compact()
    assert_exact_conversion(q, result)
    first_exponent = 2 if unit == "m2" else (-1 if unit == "1/s" else 1)
    assert 1 <= abs(result.as_number()) < 1000 ** abs(first_exponent), (q, result)


@pytest.mark.parametrize("q, text", [
    (Tarvel.unit("m") * 12000, "12 [km]"),
    (Tarvel.unit("kg") * 0.005, "5 [g]"),
    (Tarvel.unit("kg.m/s2") * 0.02, "20 [g.m/s2]"),
    (Tarvel.unit("1/s") * 5000, "5 [1/ms]"),
    (Tarvel.unit("m2") * 3e6, "3 [km2]"),
    (Tarvel.unit("km") * 0.5, "500 [m]"),
])
def test_to_compact_examples(q, text):
    assert str(q.to_compact()) == text


@pytest.mark.parametrize("q", [
    Tarvel.unit("hr") * 12000, Tarvel.unit("ft") * 5e6, Tarvel.unit("°C") * 2000, Tarvel.unit("m") * 0,
    Tarvel.unit("m") * math.inf, Tarvel.empty() * 12345,
])
def test_to_compact_leaves_units_without_prefixes_and_non_finite_values_alone(q):
    result = q.to_compact()
    assert result.unit_text() == q.unit_text()
    assert result.as_number() == q.as_number() or math.isnan(q.as_number())


def test_printing_is_not_made_compact():
    assert str(Tarvel.unit("m") * 12000) == "12000 [m]"


@pytest.mark.parametrize("q, preferred, units", [
    ("kg.m2/s2", ["J", "W", "s"], "J"),
    ("W.hr", ["J", "W", "s"], "J"),
    ("kg.m2/s3", ["J", "W", "s"], "W"),
    ("1/s", ["J", "W", "s"], "1/s"),
    ("m/s", ["km", "hr"], "km/hr"),
    ("N.m", ["N", "m"], "N.m"),
    ("kg.m2", ["J", "s"], "J.s2"),
    ("km/m", ["J"], ""),
])
def test_as_preferred_picks_the_shortest_product(q, preferred, units):
    quantity = Tarvel.unit(q) * 7.5
    result = quantity.as_preferred(preferred)
    assert result.unit_text() == f"[{units}]"
    assert_exact_conversion(quantity, result)


@given(value=magnitudes, preferred=st.permutations(["J", "W", "s", "N", "m", "kg"]),
       units=st.sampled_from(["kg.m2/s2", "W.hr", "N/m", "kg.m/s", "Pa.m3", "kW", "m.s", "1/s"]))
def test_as_preferred_is_an_exact_conversion(value, preferred, units):
    q = Tarvel.unit(units) * value
    assert_exact_conversion(q, q.as_preferred(preferred))


@pytest.mark.parametrize("preferred, error", [
    (["J", "W"], r"\[K\] is no short product of \[J\], \[W\]"),
    ([], r"\[K\] is no short product of no units"),
    ("K", "list of units"),
    (["K", "zorp"], "Unit zorp not found"),
])
def test_as_preferred_refuses_lists_without_an_answer(preferred, error):
    with pytest.raises((TypeError, LookupError), match=error):
        Tarvel.unit("K").as_preferred(preferred)
