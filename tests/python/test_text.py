"""Text forms: str/repr (fully simplified copy), latex and descriptive, and the in-place tidying they do."""

import math

import pytest

from tarvel import Tarvel


def q(value, units="m"):
    return Tarvel.unit(units) * value


@pytest.mark.parametrize(
    "make, plain, latex, descriptive",
    [
        (lambda: Tarvel.empty(), "1 []", "1~\\mathrm{}", "1 []"),
        (lambda: q(2.5), "2.5 [m]", "2.5~\\mathrm{m}", "2.5 [meter]"),
        (
            lambda: Tarvel.unit("kg.m/s2"),
            "1 [kg.m/s2]",
            "1~\\mathrm{\\frac{kg~m}{s^2}}",
            "1 [kilogram.meter/second2]",
        ),
        (lambda: Tarvel.unit("1/s"), "1 [1/s]", "1~\\mathrm{\\frac{1}{s}}", "1 [1/second]"),
        (lambda: Tarvel.unit("m2"), "1 [m2]", "1~\\mathrm{m^2}", "1 [meter2]"),
        (lambda: Tarvel.unit("m") ** 0.5, "1 [m0.5]", "1~\\mathrm{m^0.5}", "1 [meter0.5]"),
        (
            lambda: Tarvel.unit("m") / Tarvel.unit("s") ** 1.5,
            "1 [m/s1.5]",
            "1~\\mathrm{\\frac{m}{s^1.5}}",
            "1 [meter/second1.5]",
        ),
        (lambda: Tarvel.unit("N.m"), "1 [N.m]", "1~\\mathrm{N~m}", "1 [meter.newton]"),
        (lambda: Tarvel.unit("m2.mol"), "1 [m2.mol]", "1~\\mathrm{m^2~mol}", "1 [meter2.mole]"),
        # Byte order: terms that start with a non-ASCII character sort last.
        (lambda: Tarvel.unit("°C.m"), "1 [m.°C]", "1~\\mathrm{m~°C}", "1 [degree Celsius.meter]"),
        (
            lambda: Tarvel.unit("fl oz (food)"),
            "1 [fl oz (food)]",
            "1~\\mathrm{fl oz (food)}",
            "1 [fluid ounce (food)]",
        ),
        (lambda: Tarvel.custom("dozen", "dz", 12) * 3, "3 [dz]", "3~\\mathrm{dz}", "3 [dozen]"),
        (
            lambda: Tarvel.unit("km") / Tarvel.unit("hr"),
            "1 [km/hr]",
            "1~\\mathrm{\\frac{km}{hr}}",
            "1 [kilometer/hour]",
        ),
        (lambda: Tarvel.unit("°F") * 212, "212 [°F]", "212~\\mathrm{°F}", "212 [degree Fahrenheit]"),
        # The quick simplification cancels km against m and converts the magnitude.
        (lambda: Tarvel.unit("km/m"), "1000 []", "1000~\\mathrm{}", "1000 []"),
    ],
)
def test_text_forms(make, plain, latex, descriptive):
    assert str(make()) == plain
    assert repr(make()) == plain
    assert make().latex() == latex
    assert make().descriptive() == descriptive


@pytest.mark.parametrize(
    "value, text",
    [
        (1e21, "1000000000000000000000"),
        (1e23, "100000000000000000000000"),
        (1e-7, "0.0000001"),
        (0.1 + 0.2, "0.30000000000000004"),
        (300, "300"),
        (2.0, "2"),
        (-1.5, "-1.5"),
        (-0.0, "-0"),
        (math.nan, "NaN"),
        (math.inf, "inf"),
        (-math.inf, "-inf"),
        (5e-324, "0." + "0" * 323 + "5"),
    ],
)
def test_number_format(value, text):
    x = Tarvel.empty() * value
    assert str(x) == f"{text} []"
    assert x.latex() == f"{text}~\\mathrm{{}}"
    assert x.descriptive() == f"{text} []"


def test_display_simplifies_a_copy_fully_and_the_instance_quickly():
    x = Tarvel.unit("W.s.N/J")
    assert str(x) == "1 [N]"
    # The instance keeps its four units: the quick simplification has nothing to cancel here.
    assert x.latex() == "1~\\mathrm{\\frac{N~W~s}{J}}"
    assert x.descriptive() == "1 [newton.second.watt/joule]"
    assert repr(x) == "1 [N]"


@pytest.mark.parametrize("form", [str, repr, Tarvel.latex, Tarvel.descriptive])
def test_text_forms_simplify_the_instance_in_place(form):
    x = Tarvel.unit("km/m")
    form(x)
    assert x.as_number() == 1000.0
    assert x.as_number(1) == 1000.0


@pytest.mark.parametrize("form", [str, repr, Tarvel.latex, Tarvel.descriptive])
def test_text_forms_are_stable(form):
    x = Tarvel.unit("ft/m") * 3
    first = form(x)
    assert form(x) == first
    assert x.as_number() == 3 * 0.3048
