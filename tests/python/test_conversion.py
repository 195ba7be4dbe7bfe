"""Conversion and rounding: as_unit, as_number, as_unitless, as_base_units, simplify, int, float, round."""

import math

import numpy as np
import pytest

from tarvel import Tarvel
from support import q, raised


FAHRENHEIT_OFFSET = -255.3722222222222
FAHRENHEIT_FACTOR = 0.5555555555555556


# --- as_unit -------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "quantity, target, expected",
    [
        (lambda: q(5, "km"), "m", 5000.0),
        (lambda: q(5, "km"), q(3), 5000.0),  # only the target's units count, not its magnitude
        (lambda: q(1), "ft2/m", 10.763910416709722),  # factors only: the target has two entries
        # Offsets between two absolute temperatures.
        (lambda: q(20, "°C"), "K", 293.15),
        (lambda: q(20, "°C"), "K.m/m", 293.15),  # parses to kelvin alone
        (lambda: q(32, "°F"), "K", 273.15),
        (lambda: q(212, "°F"), "°C", 100.0),
        (lambda: q(100, "°C"), "°F", (FAHRENHEIT_OFFSET + (100.0 - -273.15)) / FAHRENHEIT_FACTOR),
        # No offsets as soon as either side is more than one absolute unit.
        (lambda: q(20, "°C"), "K.m/ft", 20 / (1 / 0.3048)),
        (lambda: q(20, "°C.m"), "K.m", 20.0),
        (lambda: q(2e-5, "1/°C"), "1/K", 2e-5),
        (lambda: Tarvel.unit("°C") ** 2, "K2", 1.0),
        (lambda: Tarvel.unit("°C") ** 0.5, Tarvel.unit("K") ** 0.5, 1.0),
        # Equal factors and offsets leave the magnitude untouched.
        (lambda: q(212, "°F"), "°F", 212.0),
        (lambda: q(0.1, "°C"), "°C", 0.1),
        (lambda: Tarvel.empty() * 7, 5, 7.0),
        (lambda: Tarvel.unit("km/m"), 2.5, 1000.0),
    ],
)
def test_as_unit(quantity, target, expected):
    result = quantity().as_unit(target)
    assert type(result) is Tarvel
    assert result.as_number() == expected


def test_as_unit_result_holds_the_target_units():
    assert str(q(5, "km").as_unit("m")) == "5000 [m]"
    assert str(q(1).as_unit("km.s/s")) == "0.001 [km]"


@pytest.mark.parametrize(
    "quantity, target, message",
    [
        (lambda: q(1), "s", "[m] and [s] are not compatible"),
        (lambda: q(1, "kg.m/s2"), "J", "[kg.m/s2] and [J] are not compatible"),
        (lambda: q(1, "°C"), 1, "[°C] and [] are not compatible"),
        (lambda: Tarvel.empty(), q(1, "m/s"), "[] and [m/s] are not compatible"),
    ],
)
def test_as_unit_incompatible(quantity, target, message):
    error = raised(lambda: quantity().as_unit(target))
    assert type(error) is TypeError
    assert error.args == (message,)


@pytest.mark.parametrize(
    "other, error_type, message",
    [
        ("xyz", LookupError, "Unit xyz not found"),
        ([1, 2], TypeError, "[1, 2] cannot be coerced into a unit"),
        (None, TypeError, "None cannot be coerced into a unit"),
        (10**400, OverflowError, "int too large to convert to float"),
    ],
)
def test_as_unit_bad_other(other, error_type, message):
    error = raised(lambda: q(1).as_unit(other))
    assert type(error) is error_type
    assert error.args == (message,)
    assert error.__notes__ == ["while processing 'other'"]


# --- as_number -----------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda x: x.as_number(), 2.0),
        (lambda x: x.as_number(None), 2.0),
        (lambda x: x.as_number(scale=True), 2.0),  # no other: the raw magnitude
        (lambda x: x.as_number("km"), 2.0),
        (lambda x: x.as_number("m"), 2000.0),
        (lambda x: x.as_number(q(500), False), 2000.0),
        (lambda x: x.as_number(q(500), True), 4.0),
        (lambda x: x.as_number(q(500), np.bool_(True)), 4.0),
        (lambda x: x.as_number(q(500), np.bool_(False)), 2000.0),
        (lambda x: x.as_number(q(0), True), math.inf),
        (lambda x: x.as_number(Tarvel.unit("km"), True), 2.0),
    ],
)
def test_as_number(call, expected):
    result = call(q(2, "km"))
    assert type(result) is float
    assert result == expected


def test_as_number_is_the_raw_magnitude():
    assert Tarvel.unit("km/m").as_number() == 1.0
    assert Tarvel.unit("km/m").as_number(1) == 1000.0


def make_fake_numpy_bool(name, truth):
    return type(name, (), {"__module__": "numpy", "__bool__": lambda self: truth})()


@pytest.mark.parametrize("name", ["bool_", "bool"])
def test_as_number_scale_takes_any_numpy_named_bool(name):
    assert q(2, "km").as_number(q(500), make_fake_numpy_bool(name, True)) == 4.0
    assert q(2, "km").as_number(q(500), make_fake_numpy_bool(name, False)) == 2000.0


@pytest.mark.parametrize(
    "scale, message",
    [
        (1, "'int' object is not an instance of 'bool'"),
        (0, "'int' object is not an instance of 'bool'"),
        (1.0, "'float' object is not an instance of 'bool'"),
        (None, "'None' is not an instance of 'bool'"),
        ("yes", "'str' object is not an instance of 'bool'"),
        (np.int64(1), "'int64' object is not an instance of 'bool'"),
        (np.array([True]), "'ndarray' object is not an instance of 'bool'"),
    ],
    ids=repr,
)
@pytest.mark.parametrize("other", [None, "m"])
def test_as_number_scale_must_be_a_bool(scale, message, other):
    error = raised(lambda: q(2, "km").as_number(other, scale))
    assert type(error) is TypeError
    assert error.args == (message,)
    assert error.__notes__ == ["while processing 'scale'"]


def test_as_number_scale_type_named_bool_outside_numpy_is_refused():
    fake = type("bool_", (), {"__module__": "notnumpy", "__bool__": lambda self: True})()
    error = raised(lambda: q(2).as_number("m", fake))
    assert error.args == ("'bool_' object is not an instance of 'bool'",)


def test_as_number_scale_truth_failure_keeps_its_exception():
    def fail(self):
        raise ZeroDivisionError("no truth")

    fake = type("bool_", (), {"__module__": "numpy", "__bool__": fail})()
    error = raised(lambda: q(2).as_number("m", fake))
    assert type(error) is ZeroDivisionError
    assert error.__notes__ == ["while processing 'scale'"]


def test_as_number_takes_other_before_scale():
    error = raised(lambda: q(2).as_number("xyz", 1))
    assert type(error) is LookupError
    assert error.__notes__ == ["while processing 'other'"]


def test_as_number_incompatible():
    error = raised(lambda: q(2, "km").as_number("s", True))
    assert type(error) is TypeError
    assert error.args == ("[km] and [s] are not compatible",)


# --- as_unitless / as_base_units ------------------------------------------------------------------


@pytest.mark.parametrize(
    "quantity, expected",
    [
        (lambda: Tarvel.empty() * 3, 3.0),
        (lambda: Tarvel.unit("km/m"), 1000.0),
        (lambda: Tarvel.custom("dozen", "dz", 12) * 2, 24.0),
        (lambda: Tarvel.unit("rad") * 2, 2.0),
        (lambda: Tarvel.unit("deg") * 180, 180 * 0.017453292519943295),
    ],
)
def test_as_unitless(quantity, expected):
    result = quantity().as_unitless()
    assert type(result) is float
    assert result == expected


@pytest.mark.parametrize("units", ["m", "°C", "m/s"])
def test_as_unitless_needs_no_dimensions(units):
    error = raised(lambda: Tarvel.unit(units).as_unitless())
    assert type(error) is TypeError
    assert error.args == (f"[{units}] and [] are not compatible",)


@pytest.mark.parametrize(
    "quantity, value, printed",
    [
        (lambda: q(20, "°C"), 20.0, "20 [K]"),  # eight entries on the target side: no offsets
        (lambda: Tarvel.unit("N"), 1.0, "1 [kg.m/s2]"),
        (lambda: q(2, "km"), 2000.0, "2000 [m]"),
        (lambda: Tarvel.unit("ft/s"), 0.3048, "0.3048 [m/s]"),
        (lambda: Tarvel.unit("km/m"), 1000.0, "1000 []"),
        (lambda: Tarvel.empty(), 1.0, "1 []"),
    ],
)
def test_as_base_units(quantity, value, printed):
    result = quantity().as_base_units()
    assert result.as_number() == value
    assert str(result) == printed


# --- simplify -------------------------------------------------------------------------------------


def test_simplify_returns_a_new_quantity():
    x = Tarvel.unit("kW.s.N/J")
    result = x.simplify()
    assert result.as_number() == 1000.0
    assert str(result) == "1000 [N]"
    assert x.as_number() == 1.0
    assert x.latex() == "1~\\mathrm{\\frac{N~kW~s}{J}}"


def test_simplify_inplace_changes_the_instance():
    x = Tarvel.unit("kW.s.N/J")
    assert x.simplify_inplace() is None
    assert x.as_number() == 1000.0
    assert x.latex() == "1000~\\mathrm{N}"


@pytest.mark.parametrize("method", ["simplify", "simplify_inplace"])
def test_simplify_of_a_plain_unit_is_unchanged(method):
    x = q(2.5, "°C")
    result = getattr(x, method)()
    assert (x if result is None else result).as_number() == 2.5
    assert str(x if result is None else result) == "2.5 [°C]"


# --- int / float ------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "quantity, expected",
    [
        (lambda: q(3e9), 3000000000),
        (lambda: q(-2.7), -2),
        (lambda: q(2.9999), 2),
        (lambda: q(5, "km"), 5),  # no conversion of units
        (lambda: Tarvel.unit("km/m"), 1),
        (lambda: q(1e300), int(1e300)),
        (lambda: q(-0.0), 0),
    ],
)
def test_int(quantity, expected):
    result = int(quantity())
    assert type(result) is int
    assert result == expected


@pytest.mark.parametrize(
    "value, error_type, message",
    [
        (math.nan, ValueError, "cannot convert float NaN to integer"),
        (math.inf, OverflowError, "cannot convert float infinity to integer"),
        (-math.inf, OverflowError, "cannot convert float infinity to integer"),
    ],
)
def test_int_of_non_finite(value, error_type, message):
    error = raised(lambda: int(q(value)))
    assert type(error) is error_type
    assert error.args == (message,)


@pytest.mark.parametrize(
    "quantity, expected",
    [(lambda: q(5, "km"), 5.0), (lambda: Tarvel.unit("km/m"), 1.0), (lambda: q(-0.0), -0.0)],
)
def test_float(quantity, expected):
    result = float(quantity())
    assert type(result) is float
    assert result == expected
    assert math.copysign(1.0, result) == math.copysign(1.0, expected)


# --- round / round_sfig ----------------------------------------------------------------------------


@pytest.mark.parametrize(
    "value, ndigits, expected",
    [
        (2.5, None, 3.0),
        (-2.5, None, -3.0),
        (0.5, None, 1.0),
        (2.4, None, 2.0),
        (2.675, 2, 2.68),
        (1234.5, -2, 1200.0),
        (1.25, 1, 1.3),
        (-1.25, 1, -1.3),
        (math.inf, None, math.inf),
        (math.inf, 3, math.inf),
    ],
)
def test_round(value, ndigits, expected):
    result = round(q(value), ndigits) if ndigits is not None else round(q(value))
    assert type(result) is Tarvel
    assert result.as_number() == expected
    assert str(result.as_unit("m")) == str(q(expected))


def test_round_of_nan():
    assert math.isnan(round(q(math.nan)).as_number())


def test_round_simplifies_the_instance_in_place():
    x = Tarvel.unit("km/m")
    result = round(x, None)
    assert str(result) == "1000 []"
    assert x.as_number() == 1000.0


@pytest.mark.parametrize(
    "ndigits, error_type, message",
    [
        ("1", TypeError, "'str' object cannot be interpreted as an integer"),
        (1.5, TypeError, "'float' object cannot be interpreted as an integer"),
        (2**31, OverflowError, "Python int too large to convert to C int"),
        (-(2**31) - 1, OverflowError, "Python int too large to convert to C int"),
    ],
)
def test_round_bad_ndigits_leaves_the_instance_alone(ndigits, error_type, message):
    x = Tarvel.unit("km/m")
    error = raised(lambda: round(x, ndigits))
    assert type(error) is error_type
    assert error.args == (message,)
    assert error.__notes__ == ["while processing 'ndigits'"]
    assert x.as_number() == 1.0


@pytest.mark.parametrize("ndigits", [2**31 - 1, -(2**31), True])
def test_round_ndigits_takes_any_int32(ndigits):
    assert type(round(q(2.5), ndigits)) is Tarvel


@pytest.mark.parametrize(
    "quantity, figures, expected",
    [
        (lambda: q(0.012345), 3, 0.0123),
        (lambda: q(98765.4), 2, 99000.0),
        (lambda: q(-98765.4), 2, -99000.0),
        (lambda: q(2.5), 1, 3.0),
        # Figures of the value that is rounded, after the in-place simplification.
        (lambda: Tarvel.unit("in/m"), 2, 0.025),
        (lambda: Tarvel.unit("ft/m"), 2, 0.3),
        (lambda: Tarvel.unit("km/m"), 1, 1000.0),
        (lambda: q(0.0), 3, 0.0),
        (lambda: q(math.inf), 3, math.inf),
        (lambda: q(-math.inf), 3, -math.inf),
    ],
)
def test_round_sfig(quantity, figures, expected):
    result = quantity().round_sfig(figures)
    assert type(result) is Tarvel
    assert result.as_number() == expected


def test_round_sfig_keeps_nan_and_negative_zero():
    assert math.isnan(q(math.nan).round_sfig(2).as_number())
    assert math.copysign(1.0, q(-0.0).round_sfig(2).as_number()) == -1.0


def test_round_sfig_simplifies_the_instance_in_place():
    x = Tarvel.unit("in/m")
    assert str(x.round_sfig(2)) == "0.025 []"
    assert x.as_number() == 0.0254


@pytest.mark.parametrize(
    "figures, error_type, message",
    [
        ("2", TypeError, "'str' object cannot be interpreted as an integer"),
        (None, TypeError, "'NoneType' object cannot be interpreted as an integer"),
        (2**31, OverflowError, "Python int too large to convert to C int"),
    ],
)
def test_round_sfig_bad_count_leaves_the_instance_alone(figures, error_type, message):
    x = Tarvel.unit("km/m")
    error = raised(lambda: x.round_sfig(figures))
    assert type(error) is error_type
    assert error.args == (message,)
    assert error.__notes__ == ["while processing 'n_sig_figs'"]
    assert x.as_number() == 1.0
