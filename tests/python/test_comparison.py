"""Rich comparison: the other operand is converted into the instance's units, then compared exactly."""

import math
import operator

import pytest

from tarvel import LogTarvel, Tarvel
from support import q, raised


OPERATORS = [operator.lt, operator.le, operator.eq, operator.ne, operator.gt, operator.ge]


@pytest.mark.parametrize(
    "left, right, expected",
    [
        # lt, le, eq, ne, gt, ge
        (lambda: q(1), lambda: q(2), [True, True, False, True, False, False]),
        (lambda: q(2), lambda: q(1), [False, False, False, True, True, True]),
        (lambda: q(1, "km"), lambda: q(1000), [False, True, True, False, False, True]),
        (lambda: q(1000), lambda: q(1, "km"), [False, True, True, False, False, True]),
        # Exact: 12 in is 0.9999999999999998 ft, and 1 ft is 12.000000000000002 in.
        (lambda: q(1, "ft"), lambda: q(12, "in"), [False, False, False, True, True, True]),
        (lambda: q(12, "in"), lambda: q(1, "ft"), [True, True, False, True, False, False]),
        # Two absolute temperatures: offsets apply.
        (lambda: q(20, "°C"), lambda: q(293.15, "K"), [False, True, True, False, False, True]),
        (lambda: q(293.15, "K"), lambda: q(20, "°C"), [False, True, True, False, False, True]),
        (lambda: q(0, "°C"), lambda: q(32, "°F"), [False, True, True, False, False, True]),
        # 0 °C in °F is 31.999999999999986.
        (lambda: q(32, "°F"), lambda: q(0, "°C"), [False, False, False, True, True, True]),
        # Numbers and texts on the other side.
        (lambda: Tarvel.empty() * 5, lambda: 5, [False, True, True, False, False, True]),
        (lambda: Tarvel.empty() * 5, lambda: 5.0, [False, True, True, False, False, True]),
        (lambda: Tarvel.empty() * 5, lambda: 3_000_000_000, [True, True, False, True, False, False]),
        (lambda: Tarvel.empty(), lambda: True, [False, True, True, False, False, True]),
        (lambda: Tarvel.unit("km/m"), lambda: 1000, [False, True, True, False, False, True]),
        (lambda: Tarvel.unit("m"), lambda: "m", [False, True, True, False, False, True]),
        (lambda: Tarvel.unit("m"), lambda: "km", [True, True, False, True, False, False]),
        # Reflected: Python swaps the operator, so 5 < x is x > 5.
        (lambda: 5, lambda: Tarvel.empty() * 6, [True, True, False, True, False, False]),
        (lambda: "km", lambda: Tarvel.unit("m"), [False, False, False, True, True, True]),
        # NaN is unequal to everything.
        (lambda: q(math.nan), lambda: q(math.nan), [False, False, False, True, False, False]),
        (lambda: q(1), lambda: q(math.nan), [False, False, False, True, False, False]),
    ],
)
def test_comparison(left, right, expected):
    a, b = left(), right()
    assert [op(a, b) for op in OPERATORS] == expected


def test_results_are_bools():
    assert (q(1) == q(1)) is True
    assert (q(1) < q(1)) is False


def test_nan_quantity_is_unequal_to_itself():
    x = q(math.nan)
    assert (x == x) is False
    assert (x != x) is True


def test_quantity_equals_itself():
    x = q(2.5, "°F")
    assert x == x
    assert x <= x


def test_log_quantity_compares_by_its_plain_value():
    level = LogTarvel.unit("dB")
    assert Tarvel.empty() * float(level) == level
    assert Tarvel.empty() < level


@pytest.mark.parametrize("op", OPERATORS)
@pytest.mark.parametrize(
    "left, right, message",
    [
        (lambda: q(1), lambda: 5, "[] and [m] are not compatible"),
        (lambda: 5, lambda: q(1), "[] and [m] are not compatible"),
        (lambda: q(1), lambda: q(1, "s"), "[s] and [m] are not compatible"),
        (lambda: q(1, "s"), lambda: q(1), "[m] and [s] are not compatible"),
        (lambda: q(1, "°C"), lambda: "K.m", "[K.m] and [°C] are not compatible"),
    ],
)
def test_different_dimensions_raise_even_for_equality(op, left, right, message):
    error = raised(lambda: op(left(), right()))
    assert type(error) is TypeError
    assert error.args == (message,)


@pytest.mark.parametrize("other", ["xyz", "m/m", None, [1], 10**400, object()], ids=repr)
def test_operands_that_are_not_unit_like(other):
    x = q(1)
    assert (x == other) is False
    assert (x != other) is True
    assert (other == x) is False
    for op in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError, match="not supported between instances of"):
            op(x, other)
        with pytest.raises(TypeError, match="not supported between instances of"):
            op(other, x)


def test_comparison_leaves_the_operands_alone():
    x = Tarvel.unit("km/m")
    y = Tarvel.unit("km/m")
    assert x == 1000
    assert x == y
    assert 1000 <= x
    with pytest.raises(TypeError):
        x == Tarvel.unit("s")
    assert x.as_number() == 1.0
    assert y.as_number() == 1.0
