"""Absolute temperatures and their intervals: a difference of two temperatures is an interval in the
offset-free unit of the left operand's degree size, for quantities, arrays and lazy arrays alike."""

import struct
import sys

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tarvel import Tarvel, TarvelArray

INTERVAL = {"°C": "K", "°F": "°R"}
EPS = sys.float_info.epsilon

temperatures = st.floats(min_value=-500.0, max_value=5000.0, allow_nan=False)
units = st.sampled_from(sorted(INTERVAL))


def q(value, unit):
    return value * Tarvel.unit(unit)


def bits(x):
    return struct.pack("<d", x)


@settings(max_examples=300)
@given(temperatures, units, temperatures, units)
def test_a_difference_of_temperatures_is_the_difference_in_kelvin(a, ua, b, ub):
    difference = q(a, ua) - q(b, ub)
    assert difference.units() == Tarvel.unit(INTERVAL[ua])
    a_kelvin = q(a, ua).as_number("K")
    b_kelvin = q(b, ub).as_number("K")
    in_kelvin = difference.as_number("K")
    if ua == ub:
        assert bits(difference.as_number()) == bits(a - b)  # the magnitudes, untouched
    else:
        # Both taken to the interval unit as absolute temperatures first, then subtracted once.
        interval = INTERVAL[ua]
        expected = q(a, ua).as_number(interval) - q(b, ub).as_number(interval)
        assert bits(difference.as_number()) == bits(expected)
    assert abs(in_kelvin - (a_kelvin - b_kelvin)) <= 4 * EPS * (abs(a_kelvin) + abs(b_kelvin))


@settings(max_examples=50)
@given(st.lists(st.tuples(temperatures, temperatures), min_size=1, max_size=8), units, units)
def test_arrays_subtract_temperatures_element_by_element_as_the_scalar(pairs, ua, ub):
    left = np.array([p[0] for p in pairs])
    right = np.array([p[1] for p in pairs])
    arrays = {
        "array - array": TarvelArray(left, ua) - TarvelArray(right, ub),
        "array - scalar": TarvelArray(left, ua) - q(float(right[0]), ub),
    }
    for name, result in arrays.items():
        assert result.units() == Tarvel.unit(INTERVAL[ua]), name
        for i, element in enumerate(result.as_number()):
            b = float(right[i]) if name == "array - array" else float(right[0])
            scalar = q(float(left[i]), ua) - q(b, ub)
            assert bits(float(element)) == bits(scalar.as_number()), name
    reflected = q(float(left[0]), ua) - TarvelArray(right, ub)
    assert reflected.units() == Tarvel.unit(INTERVAL[ua])
    for i, element in enumerate(reflected.as_number()):
        assert bits(float(element)) == bits((q(float(left[0]), ua) - q(float(right[i]), ub)).as_number())


def test_a_lazy_difference_is_the_in_memory_one():
    da = pytest.importorskip("dask.array")
    left, right = np.array([25.0, -40.0, 100.0]), np.array([68.0, -40.0, 0.5])
    lazy = TarvelArray(da.from_array(left, chunks=2), "°C") - TarvelArray(right, "°F")
    computed = lazy.compute()
    in_memory = TarvelArray(left, "°C") - TarvelArray(right, "°F")
    assert computed.units() == in_memory.units() == Tarvel.unit("K")
    assert [bits(x) for x in computed.as_number()] == [bits(x) for x in in_memory.as_number()]


@pytest.mark.parametrize(
    "expression, value, unit",
    [
        (lambda: q(25, "°C") - q(20, "°C"), 5.0, "K"),
        (lambda: (q(25, "°C") - q(20, "°C")).as_unit("K"), 5.0, "K"),
        (lambda: q(50, "°F") - q(32, "°F"), 18.0, "°R"),
        (lambda: q(20, "°C") - q(68, "°F"), 0.0, "K"),
        (lambda: q(68, "°F") - q(20, "°C"), 0.0, "°R"),
        # Everything else about offsets stays as it was.
        (lambda: q(20, "°C") + q(10, "K"), 30.0, "°C"),
        (lambda: q(20, "°C") - q(10, "K"), 10.0, "°C"),
        (lambda: q(300, "K") - q(20, "K"), 280.0, "K"),
        (lambda: q(20, "°C") + q(20, "°C"), 40.0, "°C"),
        (lambda: q(20, "°C") - q(3, "°C.m") / q(1, "m"), 17.0, "K"),  # the quotient is 3 °C once normalised
        (lambda: q(20, "°C.m") - q(3, "°C.m"), 17.0, "°C.m"),  # not an absolute temperature
    ],
)
def test_temperature_rules(expression, value, unit):
    result = expression()
    assert result.units() == Tarvel.unit(unit)
    assert result.as_number() == pytest.approx(value, abs=1e-12)


@pytest.mark.parametrize("ufunc", [np.maximum, np.minimum, np.fmax, np.fmin])
@pytest.mark.parametrize("array", [False, True])
def test_extrema_convert_the_second_operand_as_comparisons_do(ufunc, array):
    first = TarvelArray([20.0, 30.0], "°C") if array else q(20, "°C")
    result = ufunc(first, q(300, "K"))
    in_kelvin = ufunc(np.atleast_1d(first.as_number("K")), 300.0)
    assert result.units() == Tarvel.unit("°C")
    assert np.allclose(np.atleast_1d(result.as_number("K")), in_kelvin, rtol=0, atol=1e-12)


@pytest.mark.parametrize("function", [np.isclose, np.allclose])
def test_an_absolute_tolerance_is_an_interval(function):
    assert function(q(20, "°C"), q(20.1, "°C"), atol=q(0.5, "K"))
    assert np.all(function(TarvelArray([20.0, 30.0], "°C"), TarvelArray([20.4, 30.4], "°C"), atol=q(0.9, "°R")))
    assert not function(q(20, "°C"), q(20.6, "°C"), atol=q(0.5, "K"), rtol=0)
    with pytest.raises(TypeError, match="not compatible"):
        function(q(20, "°C"), q(20.1, "°C"), atol=q(0.5, "m"))


@pytest.mark.parametrize("value", [0.0, 1.0, -0.0, float("nan")])
@pytest.mark.parametrize("unit", ["°C", "m", ""])
def test_one_truth_rule_for_quantities_and_arrays(value, unit):
    scalar = Tarvel.unit(unit) * value if unit else Tarvel.empty() * value
    assert bool(scalar) is True
    make = (lambda values: TarvelArray(values, unit)) if unit else TarvelArray
    assert bool(make([value])) is bool(scalar)
    with pytest.raises(ValueError, match="ambiguous"):
        bool(make([value, value]))
