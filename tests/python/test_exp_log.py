"""exp, log and log10 of dimensionless quantities (and their double-underscore twins)."""

import math

import pytest

from tarvel import Tarvel

PAIRS = [("exp", "__exp__", math.exp), ("log", "__log__", math.log), ("log10", "__log10__", math.log10)]
NAMES = [name for pair in PAIRS for name in pair[:2]]


@pytest.mark.parametrize(
    "make, plain",
    [
        (lambda: Tarvel.empty(), 1.0),
        (lambda: Tarvel.empty() * 2.5, 2.5),
        (lambda: Tarvel.unit("m/km"), 1 / 1000),  # scaled to a plain number first
        (lambda: Tarvel.custom("dozen", "dz", 12), 12.0),
        (lambda: Tarvel.unit("rad") * 0.5, 0.5),
    ],
)
@pytest.mark.parametrize("name, twin, function", PAIRS)
def test_functions_of_the_plain_value(make, plain, name, twin, function):
    x = make()
    result = getattr(x, name)()
    assert type(result) is float
    assert result == function(plain)
    assert getattr(x, twin)() == result


def test_known_values():
    assert Tarvel.empty().exp() == 2.718281828459045
    assert Tarvel.empty().log() == 0.0
    assert Tarvel.unit("km/m").log10() == 3.0


@pytest.mark.parametrize(
    "value, name, expected",
    [
        (0.0, "log", -math.inf),
        (0.0, "__log10__", -math.inf),
        (-1.0, "log10", math.nan),
        (-1.0, "__log__", math.nan),
        (math.nan, "exp", math.nan),
        (1000.0, "exp", math.inf),
        (-math.inf, "__exp__", 0.0),
    ],
)
def test_no_range_checks(value, name, expected):
    result = getattr(Tarvel.empty() * value, name)()
    assert result == expected or (math.isnan(expected) and math.isnan(result))


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("units", ["m", "°C", "m/s"])
def test_dimensions_are_refused(name, units):
    with pytest.raises(TypeError) as info:
        getattr(Tarvel.unit(units), name)()
    assert type(info.value) is TypeError
    assert info.value.args == (f"[{units}] and [] are not compatible",)


@pytest.mark.parametrize("name", NAMES)
def test_instance_unchanged(name):
    x = Tarvel.unit("km/m")
    getattr(x, name)()
    assert x.as_number() == 1.0


@pytest.mark.parametrize("name", NAMES)
def test_no_arguments(name):
    with pytest.raises(TypeError, match=rf"^{name}\(\) takes no arguments \(1 given\)$"):
        getattr(Tarvel.empty(), name)(1)
