"""Properties of TarvelArray on generated inputs (hypothesis).

An array applies the scalar core's unit rules once and leaves the element loop to NumPy, so element i of
every operation must be the scalar operation on element i: the same units with every field and bit for
bit the same magnitude (NaN equal to NaN), or the same error. And no ufunc or array function may hand
back plain numbers where its input carried units.
"""

import math
import operator
import struct

import pytest

np = pytest.importorskip("numpy")
from hypothesis import HealthCheck, given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402
from hypothesis.extra import numpy as hnp  # noqa: E402

from tarvel import Tarvel, TarvelArray  # noqa: E402

PROPERTY = settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.too_slow])

DOZEN = Tarvel.custom("dozen", "dz", 12)
# Prefixed, compound, temperature (absolute and not), custom and fractional-exponent units, and unitless
# ones (None; "in/m" normalises to a plain 0.0254).
UNITS = [None, "in/m", "1/s", "km", "mm", "us", "kPa", "GHz", "m", "ft", "km/hr", "N.m", "K", "°C", "°F", "°R",
         Tarvel.unit("°C") ** 2, "°C/s", DOZEN, DOZEN / Tarvel.unit("s"), Tarvel.unit("km") ** 0.5,
         Tarvel.unit("m") ** 1.5 / Tarvel.unit("s") ** 0.5, Tarvel.unit("rad"), "°"]
units = st.sampled_from(UNITS)
values = st.floats(allow_nan=True, allow_infinity=True)
shapes = hnp.array_shapes(min_dims=1, max_dims=2, max_side=3)
pair_shapes = hnp.mutually_broadcastable_shapes(num_shapes=2, min_dims=1, max_dims=2, max_side=3)


def scalar_unit(unit):
    if unit is None:
        return Tarvel.empty()
    return Tarvel.unit(unit) if isinstance(unit, str) else unit


def bits(value):
    value = float(value)
    return "nan" if math.isnan(value) else struct.pack("<d", value).hex()


def exact(state):
    # Every float of a pickled state by its bits: units with all their fields, dimensions, factor.
    if isinstance(state, tuple):
        return tuple(exact(item) for item in state)
    return bits(state) if isinstance(state, float) else state


def fingerprint(result):
    if isinstance(result, Tarvel):
        return "Tarvel", exact(result.__reduce__()[1])
    if isinstance(result, (bool, np.bool_)):
        return "bool", bool(result)
    return "float", bits(result)


def outcome(call):
    try:
        return fingerprint(call())
    except (TypeError, ValueError, ArithmeticError) as error:
        return type(error), error.args


def assert_elementwise(array_call, scalar_call, shape):
    """array_call() against scalar_call(index) at every index of the broadcast shape."""
    expected = {index: outcome(lambda: scalar_call(index)) for index in np.ndindex(*shape)}
    errors = {value for value in expected.values() if isinstance(value[0], type)}
    try:
        result = array_call()
    except (TypeError, ValueError, ArithmeticError) as error:
        assert (type(error), error.args) in errors, (error, expected)
        return
    assert not errors, (result, errors)
    assert result.shape == tuple(shape)
    if isinstance(result, np.ndarray):
        assert result.dtype in (np.bool_, np.float64), result.dtype
    else:
        assert isinstance(result, TarvelArray), type(result)
    for index, want in expected.items():
        assert outcome(lambda: result[index]) == want, (index, result, want)


@st.composite
def quantity_arrays(draw, shape=None):
    shape = draw(shapes) if shape is None else shape
    magnitudes = draw(hnp.arrays(np.float64, shape, elements=values))
    return magnitudes, draw(units)


def element(magnitudes, unit, shape, index):
    """Element `index` of TarvelArray(magnitudes, unit) broadcast to `shape`, built as a scalar."""
    return scalar_unit(unit) * float(np.broadcast_to(magnitudes, shape)[index])


@PROPERTY
@given(quantity_arrays())
def test_construction_is_the_scalar_product(data):
    magnitudes, unit = data
    for source in (magnitudes, magnitudes.tolist()):
        assert_elementwise(lambda: TarvelArray(source, unit), lambda i: element(magnitudes, unit, magnitudes.shape, i),
                           magnitudes.shape)


BINARY = [operator.add, operator.sub, operator.mul, operator.truediv, operator.lt, operator.le, operator.gt,
          operator.ge, operator.eq, operator.ne]


@PROPERTY
@given(st.sampled_from(BINARY), pair_shapes, st.data(), st.booleans())
def test_binary_operators_between_arrays(op, broadcast, data, swapped):
    (shape_a, shape_b), shape = broadcast.input_shapes, broadcast.result_shape
    a, unit_a = data.draw(quantity_arrays(shape_a))
    b, unit_b = data.draw(quantity_arrays(shape_b))
    # The other operand: a TarvelArray, or a plain ndarray (a unitless operand).
    plain = data.draw(st.booleans())
    left = TarvelArray(a, unit_a)
    right = b if plain else TarvelArray(b, unit_b)

    def scalar(i):
        x = element(a, unit_a, shape, i)
        y = float(np.broadcast_to(b, shape)[i]) if plain else element(b, unit_b, shape, i)
        return op(y, x) if swapped else op(x, y)

    assert_elementwise(lambda: op(right, left) if swapped else op(left, right), scalar, shape)


# Scalar operands: a Tarvel (NaN and inf included), a number or unit text, on either side.
scalar_operands = (st.builds(lambda v, u: scalar_unit(u) * v, values, units) | values
                   | st.sampled_from(["m", "km", "°C", "K", "s"]))


@PROPERTY
@given(st.sampled_from(BINARY), quantity_arrays(), scalar_operands, st.booleans())
def test_binary_operators_with_scalars(op, data, other, swapped):
    a, unit = data
    array = TarvelArray(a, unit)

    def scalar(i):
        x = element(a, unit, a.shape, i)
        return op(other, x) if swapped else op(x, other)

    assert_elementwise(lambda: op(other, array) if swapped else op(array, other), scalar, a.shape)


EXPONENTS = [0, 1, 2, 3, -1, -2, 0.5, 1.5, -2.5, 1 / 3, 0.0, math.nan, math.inf, -math.inf]


@PROPERTY
@given(quantity_arrays(), st.sampled_from(EXPONENTS), st.booleans())
def test_power_with_a_uniform_exponent(data, exponent, as_quantity):
    a, unit = data
    power = Tarvel.empty() * exponent if as_quantity else exponent
    assert_elementwise(lambda: TarvelArray(a, unit) ** power, lambda i: element(a, unit, a.shape, i) ** power,
                       a.shape)


UNARY = [operator.neg, operator.pos, abs]
CONVERSIONS = [
    *((f"as_unit {target}", lambda q, t=target: q.as_unit(t)) for target in UNITS[1:]),
    *((f"as_number {target}", lambda q, t=target: q.as_number(t)) for target in UNITS[1:]),
    ("as_number", lambda q: q.as_number()),
    ("as_unitless", lambda q: q.as_unitless()),
    ("as_base_units", lambda q: q.as_base_units()),
    ("simplify", lambda q: q.simplify()),
    *((f"round {n}", lambda q, n=n: round(q, n)) for n in (0, 1, 3, -2)),
    *((f"round_sfig {n}", lambda q, n=n: q.round_sfig(n)) for n in (1, 2, 6)),
    *((op.__name__, op) for op in UNARY),
]


@PROPERTY
@given(st.sampled_from(CONVERSIONS), quantity_arrays())
def test_unary_operations_and_conversions(conversion, data):
    _, convert = conversion
    a, unit = data
    assert_elementwise(lambda: convert(TarvelArray(a, unit)), lambda i: convert(element(a, unit, a.shape, i)),
                       a.shape)


# --- No silent unit loss -------------------------------------------------------------------------------

def plain_numbers(result):
    """Whether a result holds numbers without units: floats or complex values outside any quantity."""
    if isinstance(result, (tuple, list)):
        return any(plain_numbers(item) for item in result)
    if isinstance(result, np.ndarray):
        return result.dtype.kind in "fcO"
    return isinstance(result, (float, complex, np.floating, np.complexfloating))


UFUNCS = sorted((obj for obj in vars(np).values() if isinstance(obj, np.ufunc)), key=lambda u: u.__name__)
# The ufuncs whose result is a plain number by nature: the angle of a same-unit ratio.
DIMENSIONLESS_BY_NATURE = {"arctan2", "sign"}


def quantity_operands(unit):
    yield TarvelArray([[1.5, -2.0, 4.0], [0.25, 8.0, 3.0]], unit)
    yield Tarvel.unit(unit) * 2.5


@pytest.mark.parametrize("unit", ["km", "°C", "kg.m/s2"])
@pytest.mark.parametrize("ufunc", UFUNCS, ids=lambda u: u.__name__)
def test_no_ufunc_drops_units(ufunc, unit):
    plain = np.array([2.0, 3.0, 4.0])
    calls = []  # (whether every operand is the same quantity, the call)
    for q in quantity_operands(unit):
        if ufunc.nin == 1:
            calls.append((True, lambda q=q: ufunc(q)))
        else:
            calls += [(True, lambda q=q: ufunc(q, q)), (False, lambda q=q: ufunc(q, plain)),
                      (False, lambda q=q: ufunc(plain, q))]
            if isinstance(q, TarvelArray):
                calls += [(True, lambda q=q: ufunc.reduce(q)), (True, lambda q=q: ufunc.accumulate(q)),
                          (True, lambda q=q: ufunc.outer(q[0], q[1]))]
    for same, call in calls:
        try:
            result = call()
        except (TypeError, ValueError, ArithmeticError, RuntimeError):
            continue  # a refusal (no rule, incompatible operands, NumPy's own) is never silent
        unitless_allowed = same and ufunc.__name__ in DIMENSIONLESS_BY_NATURE
        assert unitless_allowed or not plain_numbers(result), (ufunc, result)


def dispatched(namespace):
    return {f"{prefix}{name}": obj for prefix, module in namespace for name, obj in vars(module).items()
            if type(obj).__name__ == "_ArrayFunctionDispatcher" and not name.startswith("_")}


FUNCTIONS = dispatched([("", np), ("linalg.", np.linalg), ("fft.", np.fft)])
# Array functions whose result is a plain number by nature (a correlation of the values with themselves).
UNITLESS_FUNCTIONS = {"corrcoef", "linalg.cond", "linalg.qr", "linalg.svd"}


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
def test_no_array_function_drops_units(name):
    function = FUNCTIONS[name]
    a = TarvelArray([[1.5, -2.0, 4.0], [0.25, 8.0, 3.0]], "km")
    for arguments in ((a,), (a, a), ([a, a],), (a, 1), (a[0], a[1]), (a, Tarvel.unit("km"))):
        try:
            result = function(*arguments)
        except Exception:  # noqa: BLE001 -- any refusal is loud, and so keeps the units
            continue
        assert name in UNITLESS_FUNCTIONS or not plain_numbers(result), (name, arguments, result)
