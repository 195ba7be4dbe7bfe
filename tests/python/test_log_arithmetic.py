"""LogTarvel operators, comparisons, the named divisions and the hand-over to Tarvel."""

import math
import sys

import pytest

import tarvel
from tarvel import LogTarvel

NAN, INF = float("nan"), float("inf")
B, DB, STN, NP = (LogTarvel.unit(s) for s in ("B", "dB", "stn", "Np"))
DB_BASE = 1.2589254117941673


class F(float):
    pass


class I(int):
    pass


def raised(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.value


# Each case: the operation, then either a float or the text of the LogTarvel it must give.
OPERATIONS = [
    # + and - with plain numbers work on the ratio
    (lambda: B + 1, 11.0), (lambda: 1 + B, 11.0), (lambda: B + 1.5, 11.5), (lambda: 1.5 + B, 11.5),
    (lambda: B - 1, 9.0), (lambda: 1 - B, -9.0), (lambda: B - 2.5, 7.5), (lambda: 2.5 - B, -7.5),
    (lambda: B + True, 11.0), (lambda: F(0.5) + B, 10.5), (lambda: B - I(4), 6.0),
    (lambda: B + 10**20, 1e20 + 10), (lambda: 10**20 - B, 1e20 - 10),
    # + and - of two LogTarvels stay on the left operand's scale
    (lambda: B + DB, "1.1 [B]"), (lambda: DB + B, "10.999999999999998 [dB]"),
    (lambda: B - DB, "0.9 [B]"), (lambda: DB - B, "-8.999999999999998 [dB]"),
    (lambda: STN + STN, "2 [stn]"), (lambda: STN - STN, "0 [stn]"),
    # scaling by a plain number stays on the scale
    (lambda: DB * 3, "3 [dB]"), (lambda: 3 * DB, "3 [dB]"), (lambda: DB * 2.5, "2.5 [dB]"),
    (lambda: 2.5 * DB, "2.5 [dB]"), (lambda: DB * F(-2.0), "-2 [dB]"), (lambda: I(4) * DB, "4 [dB]"),
    (lambda: B * True, "1 [B]"), (lambda: B * 3_000_000_000, "3000000000 [B]"),
    (lambda: DB / 2, "0.5 [dB]"), (lambda: DB / 0.5, "2 [dB]"), (lambda: DB / I(4), "0.25 [dB]"),
    (lambda: B / 0, "inf [B]"), (lambda: B / 0.0, "inf [B]"), (lambda: (B * 0) / 0, "NaN [B]"),
    # everything else works on the ratios
    (lambda: 2 / B, 0.2), (lambda: 2.0 / B, 0.2), (lambda: 1 / (B * -400), INF),
    (lambda: B * B, 100.0), (lambda: B * DB, 10 * DB_BASE), (lambda: DB * B, 10 * DB_BASE),
    (lambda: B / DB, 7.943282347242815), (lambda: DB / B, DB_BASE / 10),
    (lambda: B ** 2, 100.0), (lambda: 2 ** B, 1024.0), (lambda: B ** 0.5, math.pow(10, 0.5)),
    (lambda: 0.5 ** B, math.pow(0.5, 10)), (lambda: B ** DB, math.pow(10, DB_BASE)), (lambda: B ** B, 1e10),
    (lambda: pow(B, 2, None), 100.0), (lambda: pow(B, 2, 5), 100.0), (lambda: pow(B, 2, B), 100.0),
    (lambda: pow(2, B, 7.5), 1024.0), (lambda: pow(3, B), 59049.0),
    # unary
    (lambda: -STN, "-1 [stn]"), (lambda: +STN, "1 [stn]"), (lambda: -(-B), "1 [B]"),
    (lambda: abs(-STN), 0.9438743126816934), (lambda: abs(B), 10.0),
]


@pytest.mark.parametrize("index", range(len(OPERATIONS)))
def test_operation(index):
    operation, expected = OPERATIONS[index]
    result = operation()
    if isinstance(expected, str):
        assert type(result) is LogTarvel and str(result) == expected
    else:
        assert type(result) is float and result == expected


def test_operations_leave_operands_unchanged_and_make_new_objects():
    x = LogTarvel.unit("B")
    assert +x is not x
    for result in (x + 1, x + x, x * 2, x / 2, -x, x ** 2, 2 - x, x - DB):
        assert result is not x
    assert str(x) == "1 [B]" and str(DB) == "1 [dB]"


BINARY = [
    ("+", lambda a, b: a + b), ("-", lambda a, b: a - b), ("*", lambda a, b: a * b),
    ("/", lambda a, b: a / b), ("** or pow()", lambda a, b: a ** b),
]


@pytest.mark.parametrize("other, symbol, operation", [
    (other, symbol, operation)
    for other in (None, "x", 1j, object(), 10**400)
    for symbol, operation in BINARY
    if not (isinstance(other, str) and symbol in ("+", "*"))  # str handles those itself
])
def test_operands_that_are_not_numbers_are_declined(other, symbol, operation):
    name = type(other).__name__
    for left, right, names in ((B, other, ("tarvel.LogTarvel", name)), (other, B, (name, "tarvel.LogTarvel"))):
        error = raised(lambda: operation(left, right))
        assert type(error) is TypeError
        assert str(error) == "unsupported operand type(s) for %s: '%s' and '%s'" % (symbol, *names)


def test_pow_with_a_modulus_that_is_not_a_number_is_declined():
    error = raised(lambda: pow(B, 2, "x"))
    assert type(error) is TypeError
    assert str(error) == "unsupported operand type(s) for ** or pow(): 'tarvel.LogTarvel', 'int', 'str'"


def test_declined_operands_keep_their_reference_counts():
    other = object()
    before = sys.getrefcount(other)
    for _ in range(50):
        with pytest.raises(TypeError):
            B * other
        assert (B == other) is False
    assert sys.getrefcount(other) == before


# --- __div__ and __rdiv__ ------------------------------------------------------------------------------------

@pytest.mark.parametrize("call, expected", [
    (lambda: B.__div__(2), "0.5 [B]"), (lambda: B.__div__(other=2.0), "0.5 [B]"),
    (lambda: B.__div__(0), "inf [B]"), (lambda: B.__div__(DB), 7.943282347242815),
    (lambda: B.__rdiv__(2), 0.2), (lambda: B.__rdiv__(other=DB), DB_BASE / 10),
    (lambda: B.__rdiv__(10**20), 1e19),
])
def test_named_divisions(call, expected):
    result = call()
    if isinstance(expected, str):
        assert type(result) is LogTarvel and str(result) == expected
    else:
        assert type(result) is float and result == expected


@pytest.mark.parametrize("method", ["__div__", "__rdiv__"])
@pytest.mark.parametrize("value, error_type, message", [
    ("abc", TypeError, "abc cannot be coerced into a number"),
    (None, TypeError, "None cannot be coerced into a number"),
    ([1, 2], TypeError, "[1, 2] cannot be coerced into a number"),
    (1j, TypeError, "1j cannot be coerced into a number"),
    (10**400, OverflowError, "int too large to convert to float"),
])
def test_named_divisions_raise_what_they_cannot_take(method, value, error_type, message):
    error = raised(lambda: getattr(B, method)(value))
    assert type(error) is error_type and str(error) == message
    assert error.__notes__ == ["while processing 'other'"]


def test_named_division_reads_the_argument_before_the_instance(monkeypatch):
    x = LogTarvel.unit("B")
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: unraisable.append(report.exc_value))

    class Rounds:
        def __str__(self):
            return str(x.round_sfig(2))  # no access to x is held while the argument is read

    class Reads:
        def __str__(self):
            return str(float(x))

    assert str(raised(lambda: x.__div__(Rounds()))) == "10.0 cannot be coerced into a number"
    assert unraisable == []
    assert str(raised(lambda: x.__rdiv__(Reads()))) == "10.0 cannot be coerced into a number"


# --- comparisons ---------------------------------------------------------------------------------------------

@pytest.mark.parametrize("expression, expected", [
    (lambda: B == 10, True), (lambda: B == 10.0, True), (lambda: 10 == B, True), (lambda: B != 10, False),
    (lambda: B == DB * 10, False),  # 10.000000000000005
    (lambda: B > DB, True), (lambda: DB < B, True), (lambda: B >= B * 1, True), (lambda: B <= DB * 10, True),
    (lambda: B < 11, True), (lambda: B <= 10, True), (lambda: B > 10, False), (lambda: B >= 10.5, False),
    (lambda: 2.0 < B, True), (lambda: 2 > B, False), (lambda: 10 <= B, True), (lambda: F(9.5) < B, True),
    (lambda: B < 10**20, True), (lambda: B == True, False), (lambda: B * 0 == True, True),
    (lambda: NP == math.e, True),
    (lambda: B == "x", False), (lambda: B != "x", True), (lambda: B == None, False),  # noqa: E711
    (lambda: B == 10**400, False), (lambda: B != 10**400, True),
])
def test_comparison(expression, expected):
    assert expression() is expected


@pytest.mark.parametrize("left, right", [(B * NAN, 1.0), (B * NAN, B * NAN), (B, NAN), (NAN, B)])
def test_comparisons_with_nan_are_false_except_not_equal(left, right):
    assert [left < right, left <= right, left == right, left > right, left >= right] == [False] * 5
    assert (left != right) is True


@pytest.mark.parametrize("operation, symbol", [
    (lambda a, b: a < b, "<"), (lambda a, b: a <= b, "<="),
    (lambda a, b: a > b, ">"), (lambda a, b: a >= b, ">="),
])
@pytest.mark.parametrize("other", ["x", None, 10**400])
def test_ordering_with_non_numbers_is_refused(operation, symbol, other):
    error = raised(lambda: operation(B, other))
    assert type(error) is TypeError
    names = f"'tarvel.LogTarvel' and '{type(other).__name__}'"
    assert str(error) == f"'{symbol}' not supported between instances of {names}"


# --- the hand-over to Tarvel ----------------------------------------------------------------------------------

@pytest.fixture
def Tarvel():
    cls = getattr(tarvel, "Tarvel", None)
    if cls is None:
        pytest.skip("no Tarvel class")
    return cls


def test_tarvel_handles_log_tarvel_as_its_ratio(Tarvel):
    for result in (Tarvel.empty() * B, B * Tarvel.empty()):
        assert type(result) is Tarvel and result.as_number() == 10.0
    assert (Tarvel.empty() + B).as_number() == 11.0
    assert (B - Tarvel.empty()).as_number() == 9.0
    assert (B == Tarvel.empty() * 10) is True
    assert (Tarvel.empty() * 10 == B) is True
    assert (Tarvel.unit("m") * B).as_number() == 10.0


def test_named_division_rejects_a_tarvel(Tarvel):
    q = Tarvel.empty()
    error = raised(lambda: B.__div__(q))
    assert type(error) is TypeError and str(error) == f"{q} cannot be coerced into a number"
    assert error.__notes__ == ["while processing 'other'"]
