"""Asking what a quantity is: dimensions, compatibility, its units alone, and the notebook display."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

from tarvel import LogTarvel, Tarvel
from test_properties import ALL_UNITS, GROUPS, PROPERTY

BASE_ORDER = ["USD", "A", "cd", "K", "kg", "m", "mol", "s"]


@pytest.mark.parametrize(
    ("text", "expected"),
    [
        ("m/s2", {"m": 1, "s": -2}),
        ("N", {"kg": 1, "m": 1, "s": -2}),
        ("V", {"A": -1, "kg": 1, "m": 2, "s": -3}),
        ("USD/kWh", {"USD": 1, "kg": -1, "m": -2, "s": 2}),
        ("J/K.mol", {"K": -1, "kg": 1, "m": 2, "mol": -1, "s": -2}),
        ("lx", {"cd": 1, "m": -2}),
        ("rad", {}),
        ("°", {}),
        ("m/km", {}),
    ],
)
def test_dimensions(text, expected):
    dimensions = Tarvel.unit(text).dimensions()
    assert dimensions == expected
    assert list(dimensions) == [b for b in BASE_ORDER if b in expected]
    assert all(type(e) is int for e in dimensions.values())


def test_fractional_dimensions_are_floats():
    assert (Tarvel.unit("m") ** 0.5).dimensions() == {"m": 0.5}
    assert type((Tarvel.unit("m") ** 0.5).dimensions()["m"]) is float
    assert (Tarvel.empty() * 3).dimensions() == {}


@PROPERTY
@given(st.lists(st.tuples(st.sampled_from(ALL_UNITS), st.integers(-3, 3)), max_size=4))
def test_dimensions_add_up_over_a_product(factors):
    q = Tarvel.empty()
    expected = dict.fromkeys(BASE_ORDER, 0)
    for text, power in factors:
        q = q * Tarvel.unit(text) ** power
        for base, exponent in Tarvel.unit(text).dimensions().items():
            expected[base] += exponent * power
    assert q.dimensions() == {base: e for base, e in expected.items() if e != 0}
    assert q.dimensions() == q.as_base_units().dimensions() == q.simplify().dimensions()


@pytest.mark.parametrize(
    ("left", "right", "expected"),
    [(a, b, True) for texts in GROUPS.values() for a, b in zip(texts, texts[1:])]
    + [("m", "s", False), ("m/s", "km/hr", True), ("J", "N.m", True), ("J", "W", False), ("rad", 2.5, True),
       ("m", 1, False), ("°C", "K", True), ("N", "kg.m/s2", True)],
)
def test_is_compatible(left, right, expected):
    q = Tarvel.unit(left)
    other = Tarvel.unit(right) if isinstance(right, str) else right
    assert q.is_compatible(right) is expected
    assert q.is_compatible(other) is expected
    # Never the conversion's error: compatible is exactly "converts".
    try:
        q.as_unit(other)
    except TypeError:
        assert not expected
    else:
        assert expected


def test_is_compatible_takes_what_as_unit_takes():
    q = Tarvel.unit("m")
    assert q.is_compatible(LogTarvel.unit("dB")) is False
    assert Tarvel.empty().is_compatible(LogTarvel.unit("dB")) is True
    for bad, error in [([1, 2], TypeError), ("hourr", LookupError), (None, TypeError)]:
        with pytest.raises(error) as info:
            q.is_compatible(bad)
        with pytest.raises(error) as reference:
            q.as_unit(bad)
        assert str(info.value) == str(reference.value)
        assert info.value.__notes__[-1] == "while processing 'other'"


@pytest.mark.parametrize("text", ["km/hr", "W.s.N/J", "in/m", "°C", "kg.m2/s2", "1/s", "m"])
def test_units_is_magnitude_one_in_the_same_units(text):
    q = Tarvel.parse(f"7.25 {text}")
    units = q.units()
    assert float(units) == 1.0
    assert units.dimensions() == q.dimensions()
    # The very same collection: the magnitude converts into it untouched.
    assert q.as_number(units) == 7.25
    assert str(units * 7.25) == str(q)


def test_units_keeps_the_units_before_any_simplification():
    q = Tarvel.unit("W") * Tarvel.unit("s")
    assert str(q.units()) == str(Tarvel.unit("W.s"))
    assert q.units().descriptive() == "1 [second.watt]"


@PROPERTY
@given(st.floats(allow_nan=False, allow_infinity=False, min_value=-1e9, max_value=1e9),
       st.lists(st.tuples(st.sampled_from(ALL_UNITS), st.sampled_from([1, 2, -1])), max_size=4))
def test_unit_forms_are_what_the_text_forms_show(value, factors):
    q = Tarvel.empty() * value
    for text, power in factors:
        q = q * Tarvel.unit(text) ** power
    texts = (q.unit_text(), q.unit_latex(), q.unit_descriptive())
    # The unit forms do not change the instance; the text forms show the same unit part.
    assert (q.unit_text(), q.unit_latex(), q.unit_descriptive()) == texts
    number, shown = str(q).split(" ", 1)
    assert shown == texts[0]
    assert q.latex() == f"{number_of(q.latex(), '~')}~{texts[1]}"
    assert q.descriptive().split(" ", 1)[1] == texts[2]


def number_of(text, separator):
    return text.split(separator, 1)[0]


@pytest.mark.parametrize(
    ("text", "plain", "latex", "descriptive"),
    [
        ("m/s2", "[m/s2]", "\\mathrm{\\frac{m}{s^2}}", "[meter/second2]"),
        ("W.s.N/J", "[N]", "\\mathrm{\\frac{N~W~s}{J}}", "[newton.second.watt/joule]"),
        ("1/s", "[1/s]", "\\mathrm{\\frac{1}{s}}", "[1/second]"),
    ],
)
def test_unit_forms(text, plain, latex, descriptive):
    q = Tarvel.unit(text)
    assert (q.unit_text(), q.unit_latex(), q.unit_descriptive()) == (plain, latex, descriptive)
    assert (Tarvel.empty() * 2).unit_text() == "[]"


def test_notebook_display_shows_latex():
    formatters = pytest.importorskip("IPython.core.formatters")
    q = Tarvel.constant("earth gravity")
    data, _ = formatters.DisplayFormatter().format(q)
    assert data["text/latex"] == "$9.80665~\\mathrm{\\frac{m}{s^2}}$"
    assert data["text/plain"] == "9.80665 [m/s2]"
    assert q._repr_latex_() == f"${q.latex()}$"
    # A logarithmic quantity has one text form.
    data, _ = formatters.DisplayFormatter().format(LogTarvel.unit("dB") * 3)
    assert data == {"text/plain": "3 [dB]"}
