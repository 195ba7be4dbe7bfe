"""Arithmetic of quantities: the binary operators both ways round, the unary ones and __div__/__rdiv__."""

import math
import re
import sys

import pytest

from tarvel import LogTarvel, Tarvel
from support import q, raised


# --- results ------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "make, value, printed",
    [
        # + and - keep the left instance's units; only factors take part.
        (lambda: q(1, "km") + q(500), 1.5, "1.5 [km]"),
        (lambda: q(500) + q(1, "km"), 1500.0, "1500 [m]"),
        (lambda: q(1, "ft") + q(12, "in"), 1 + 0.0254 * 12 / 0.3048, None),
        (lambda: q(2, "km") - q(500), 1.5, "1.5 [km]"),
        (lambda: q(20, "°C") + q(10, "K"), 30.0, "30 [°C]"),
        (lambda: q(10, "K") + q(20, "°C"), 30.0, "30 [K]"),
        # Reflected: the instance on the right is s, and the result is in its units.
        (lambda: "km" - q(500), 500.0, "500 [m]"),
        (lambda: "km" + q(500), 1500.0, "1500 [m]"),
        (lambda: 5 - Tarvel.empty() * 2, 3.0, "3 []"),
        (lambda: 5 + Tarvel.empty() * 2, 7.0, "7 []"),
        # 5.5 in km/m is 5.5 / 1000 of it; the result is then normalised to a plain number.
        (lambda: 5.5 - Tarvel.unit("km/m"), (1.0 * 5.5 / 1000.0 - 1.0) * 1000.0, None),
        (lambda: Tarvel.empty() * 2 - 5, -3.0, "-3 []"),
        (lambda: True + Tarvel.empty(), 2.0, "2 []"),
        # * and /
        (lambda: q(2) * q(3), 6.0, "6 [m2]"),
        (lambda: "m" * q(2, "s"), 2.0, "2 [m.s]"),
        (lambda: q(2, "s") * "m", 2.0, "2 [m.s]"),
        (lambda: 3 * q(2), 6.0, "6 [m]"),
        (lambda: q(2) * 3_000_000_000, 6e9, "6000000000 [m]"),
        (lambda: q(1) * 2**80, float(2**80), None),
        (lambda: 1 / q(2, "s"), 0.5, "0.5 [1/s]"),
        (lambda: q(6) / q(2, "s"), 3.0, "3 [m/s]"),
        (lambda: q(1, "km") / q(1), 1000.0, "1000 []"),
        (lambda: q(2) / 0, math.inf, "inf [m]"),
        (lambda: q(-2) / 0.0, -math.inf, "-inf [m]"),
        (lambda: "km" / q(1), 1000.0, "1000 []"),
        (lambda: Tarvel.unit("km") / Tarvel.unit("hr"), 1.0, "1 [km/hr]"),
        # **
        (lambda: q(3) ** 2, 9.0, "9 [m2]"),
        (lambda: q(4) ** 0.5, 2.0, "2 [m0.5]"),
        (lambda: q(3) ** 0, 1.0, "1 []"),
        (lambda: 2 ** (Tarvel.empty() * 3), 8.0, "8 []"),
        (lambda: pow(q(3), 2, 5), 9.0, "9 [m2]"),
        (lambda: pow(q(3), 2, None), 9.0, "9 [m2]"),
        (lambda: pow(q(3), 2, 2.5), 9.0, "9 [m2]"),
        (lambda: pow(q(3), 2, 2**100), 9.0, "9 [m2]"),
        # A dimensionless exponent in scaled units is a plain number first: km/m is 1000.
        (lambda: Tarvel.unit("m") ** Tarvel.unit("km/m"), 1.0, "1 [m1000]"),
        (lambda: 2 ** Tarvel.unit("km/m"), 2.0**1000, None),
        # A unitless base takes any power with the IEEE result.
        (lambda: (Tarvel.empty() * 2) ** math.inf, math.inf, "inf []"),
        (lambda: (Tarvel.empty() * 0.5) ** math.inf, 0.0, "0 []"),
        (lambda: Tarvel.empty() ** math.inf, 1.0, "1 []"),
        (lambda: (Tarvel.empty() * 2) ** (Tarvel.empty() * math.nan), math.nan, "NaN []"),
        # Unary: - and + normalise, abs does not.
        (lambda: -q(2), -2.0, "-2 [m]"),
        (lambda: +q(2), 2.0, "2 [m]"),
        (lambda: abs(q(-2)), 2.0, "2 [m]"),
        (lambda: -Tarvel.unit("km/m"), -1000.0, "-1000 []"),
        (lambda: +Tarvel.unit("km/m"), 1000.0, "1000 []"),
        (lambda: abs(Tarvel.unit("km/m")), 1.0, "1000 []"),
        # Normalising a one-unit collection into itself leaves the magnitude alone.
        (lambda: Tarvel.unit("°F") * 212, 212.0, "212 [°F]"),
        (lambda: Tarvel.unit("°C") * 0.1, 0.1, "0.1 [°C]"),
        # Named division.
        (lambda: q(6).__div__(2), 3.0, "3 [m]"),
        (lambda: q(6).__div__("s"), 6.0, "6 [m/s]"),
        (lambda: q(2, "s").__rdiv__(1), 0.5, "0.5 [1/s]"),
        (lambda: q(1).__rdiv__("km"), 1000.0, "1000 []"),
    ],
)
def test_result(make, value, printed):
    result = make()
    assert type(result) is Tarvel
    if value is not None:
        magnitude = result.as_number()
        assert magnitude == value or (math.isnan(value) and math.isnan(magnitude))
    if printed is not None:
        assert str(result) == printed


def test_ints_of_any_size_are_numbers():
    assert (Tarvel.empty() + 3_000_000_000).as_number() == 3_000_000_001.0
    assert (3_000_000_000 - Tarvel.empty()).as_number() == 2_999_999_999.0
    assert (Tarvel.empty() * 2**1023).as_number() == 2.0**1023


def test_abs_clears_the_sign_only():
    assert math.copysign(1.0, abs(q(-0.0)).as_number()) == 1.0
    assert math.isnan(abs(q(math.nan)).as_number())


def test_quantity_with_itself():
    x = q(3)
    assert str(x + x) == "6 [m]"
    assert str(x - x) == "0 [m]"
    assert str(x * x) == "9 [m2]"
    assert str(x / x) == "1 []"
    assert str((Tarvel.empty() * 2) ** (Tarvel.empty() * 2)) == "4 []"


def test_log_quantity_is_its_plain_value():
    level = LogTarvel.unit("dB")
    ratio = float(level)
    assert (q(2) * level).as_number() == 2 * ratio
    assert (Tarvel.empty() + level).as_number() == 1 + ratio
    assert (q(2).__div__(level)).as_number() == 2 / ratio


# --- errors ------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: q(1) + q(1, "s"), "[m] and [s] are not compatible"),
        (lambda: q(1, "s") - q(1), "[s] and [m] are not compatible"),
        (lambda: "s" + q(1), "[m] and [s] are not compatible"),
        (lambda: "s" - q(1), "[m] and [s] are not compatible"),
        (lambda: 5 - q(1), "[m] and [] are not compatible"),
        (lambda: q(1) + 5, "[m] and [] are not compatible"),
        (lambda: q(3) ** "m", "[m] and [] are not compatible"),
        (lambda: q(3) ** q(1, "s"), "[s] and [] are not compatible"),
        (lambda: 2 ** q(3), "[m] and [] are not compatible"),
        (lambda: q(3, "s") ** q(3), "[m] and [] are not compatible"),
    ],
)
def test_incompatible_units(call, message):
    error = raised(call)
    assert type(error) is TypeError
    assert error.args == (message,)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Tarvel.unit("m") ** math.inf, "[m] cannot be raised to the power inf"),
        (lambda: Tarvel.unit("m") ** -math.inf, "[m] cannot be raised to the power -inf"),
        (lambda: Tarvel.unit("m") ** math.nan, "[m] cannot be raised to the power NaN"),
        (lambda: Tarvel.unit("rad") ** math.inf, "[rad] cannot be raised to the power inf"),
        (lambda: q(2, "m/s") ** (Tarvel.empty() * math.nan), "[m/s] cannot be raised to the power NaN"),
        # Finite, but the exponent of m2 overflows.
        (lambda: Tarvel.unit("m2") ** 1e308, "[m2] cannot be raised to the power 1" + "0" * 308),
    ],
)
def test_non_finite_power_of_units(call, message):
    error = raised(call)
    assert type(error) is ValueError
    assert error.args == (message,)


NOT_OPERANDS = ["xyz", "m/m", None, [1], {}, 10**400, -(10**400), object()]
BINARY = [
    pytest.param(lambda a, b: a + b, id="+"),
    pytest.param(lambda a, b: a - b, id="-"),
    pytest.param(lambda a, b: a * b, id="*"),
    pytest.param(lambda a, b: a / b, id="/"),
    pytest.param(lambda a, b: a**b, id="**"),
]


@pytest.mark.parametrize("operation", BINARY)
@pytest.mark.parametrize("other", NOT_OPERANDS, ids=repr)
def test_operands_that_are_not_unit_like(operation, other):
    x = q(2)
    with pytest.raises(TypeError):
        operation(x, other)
    with pytest.raises(TypeError):
        operation(other, x)


@pytest.mark.parametrize("symbol, operation", [("+", lambda a, b: a + b), ("/", lambda a, b: a / b)])
def test_unsupported_operand_message(symbol, operation):
    expected = rf"^unsupported operand type\(s\) for {re.escape(symbol)}: 'tarvel\.Tarvel' and 'str'$"
    with pytest.raises(TypeError, match=expected):
        operation(q(2), "xyz")


@pytest.mark.parametrize("modulus", ["x", [1], q(5), Tarvel.empty(), 10**400])
def test_power_modulus_must_be_a_number(modulus):
    with pytest.raises(TypeError, match=r"unsupported operand type\(s\) for \*\* or pow\(\)"):
        pow(q(3), 2, modulus)
    with pytest.raises(TypeError):
        pow(2, Tarvel.empty() * 3, modulus)


@pytest.mark.parametrize(
    "method, argument, error_type, message",
    [
        ("__div__", "xyz", LookupError, "Unit xyz not found"),
        ("__rdiv__", "xyz", LookupError, "Unit xyz not found"),
        ("__div__", [1, 2], TypeError, "[1, 2] cannot be coerced into a unit"),
        ("__rdiv__", None, TypeError, "None cannot be coerced into a unit"),
        ("__div__", 10**400, OverflowError, "int too large to convert to float"),
    ],
)
def test_named_division_raises_extraction_errors(method, argument, error_type, message):
    error = raised(lambda: getattr(q(2), method)(argument))
    assert type(error) is error_type
    assert error.args == (message,)
    assert error.__notes__ == ["while processing 'other'"]


# --- operands are never changed ----------------------------------------------------------------------


@pytest.mark.parametrize(
    "operation",
    [
        lambda x: x + 1,
        lambda x: 1 + x,
        lambda x: x - x,
        lambda x: x * x,
        lambda x: 2 / x,
        lambda x: x**2,
        lambda x: 2**x,
        lambda x: pow(x, 2, 3),
        lambda x: -x,
        lambda x: +x,
        lambda x: abs(x),
        lambda x: x.__div__(x),
        lambda x: x.__rdiv__(4),
    ],
)
def test_operands_unchanged(operation):
    # km/m is not normalised: anything that normalised it in place would turn 1 into 1000.
    x = Tarvel.unit("km/m")
    operation(x)
    assert x.as_number() == 1.0
    assert x.latex() == "1000~\\mathrm{}"


def test_operand_unchanged_when_the_operation_fails():
    x = Tarvel.unit("km/m")
    with pytest.raises(TypeError):
        x + Tarvel.unit("s")
    with pytest.raises(TypeError):
        Tarvel.unit("s") - x
    with pytest.raises(TypeError):
        x + "m"
    with pytest.raises(ValueError):
        x**math.inf
    assert x.as_number() == 1.0


def test_in_place_operators_rebind():
    x = Tarvel.empty()
    before = x
    x += 1
    assert x is not before
    assert before.as_number() == 1.0
    assert x.as_number() == 2.0
    x **= 3
    assert x.as_number() == 8.0
    x /= "m"
    assert str(x) == "8 [1/m]"


class Text(str):
    pass


@pytest.mark.parametrize(
    "make_operand",
    [
        lambda: 2.5,
        lambda: Text("km"),
        lambda: "xyz",
        lambda: 10**400,
        lambda: [1],
        lambda: q(3),
        lambda: Tarvel.empty(),
    ],
)
def test_operand_reference_counts_are_unchanged(make_operand):
    x = Tarvel.empty() * 2
    operand = make_operand()
    before = sys.getrefcount(operand), sys.getrefcount(x)
    for operation in (
        lambda: x + operand,
        lambda: operand - x,
        lambda: x * operand,
        lambda: operand / x,
        lambda: x**operand,
        lambda: pow(x, 2, operand),
        lambda: x == operand,
        lambda: x < operand,
        lambda: x.__div__(operand),
        lambda: x.as_unit(operand),
        lambda: x.as_number(operand, True),
    ):
        try:
            operation()
        except (TypeError, LookupError, OverflowError):
            pass
    assert (sys.getrefcount(operand), sys.getrefcount(x)) == before
