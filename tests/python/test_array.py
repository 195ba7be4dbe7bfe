"""TarvelArray: every element equals the scalar operation on the elements, bit for bit and unit for unit;
the ndarray surface, construction, protocols and errors."""

import copy
import math
import operator
import pickle
import struct

import pytest

from tarvel import Tarvel, TarvelArray

np = pytest.importorskip("numpy")

VALUES = [1.5, -0.0, math.nan, math.inf, -math.inf, 1e-300, 3e300, 7.0, -2.25]
OTHER = [2.0, 5.0, 0.0, 1.0, math.nan, -3.0, 1e10, -0.0, 4.0]
SMOOT = Tarvel.custom("smoot", "smt", Tarvel.unit("m") * 1.7018)
UNITS = ["km", "m", "s", "°C", "K", "°F", "1/°C", "in/m", "km/hr", "m2", SMOOT, None]


def state(q):
    version, value, *rest = q.__reduce__()[1][0]
    return version, struct.pack("<d", value), rest


def assert_same(array_element, scalar):
    if isinstance(scalar, bool) or isinstance(array_element, (bool, np.bool_)):
        assert bool(array_element) is scalar
    elif isinstance(scalar, str):
        assert array_element == scalar
    elif isinstance(scalar, float):
        assert struct.pack("<d", float(array_element)) == struct.pack("<d", scalar)
    else:
        assert state(array_element) == state(scalar)


def outcome(call):
    try:
        return call()
    except (TypeError, ValueError) as error:
        return error


def assert_elementwise(array_call, scalar_call, n):
    """array_call() against scalar_call(i) for every i: same result or the same error."""
    expected = [outcome(lambda i=i: scalar_call(i)) for i in range(n)]
    errors = [e for e in expected if isinstance(e, Exception)]
    if errors:
        with pytest.raises(type(errors[0])) as info:
            array_call()
        assert str(info.value) == str(errors[0])
        return
    result = array_call()
    for i in range(n):
        assert_same(result[i], expected[i])


def arr(unit, values=VALUES):
    return TarvelArray(values, unit)


BINARY = [operator.add, operator.sub, operator.mul, operator.truediv]
COMPARE = [operator.lt, operator.le, operator.eq, operator.ne, operator.gt, operator.ge]
PAIRS = [(a, b) for a in UNITS for b in UNITS if a is not None or b is not None][::3]


@pytest.mark.parametrize("op", BINARY + COMPARE, ids=lambda f: f.__name__)
@pytest.mark.parametrize("left, right", PAIRS, ids=str)
def test_operators_are_the_scalar_operation_on_each_element(op, left, right):
    a, b = arr(left), arr(right, OTHER)
    n = len(VALUES)
    assert_elementwise(lambda: op(a, b), lambda i: op(a[i], b[i]), n)
    q = b[1]
    assert_elementwise(lambda: op(a, q), lambda i: op(a[i], q), n)
    assert_elementwise(lambda: op(q, a), lambda i: op(q, a[i]), n)
    plain = np.array(OTHER)
    assert_elementwise(lambda: op(a, plain), lambda i: op(a[i], float(plain[i])), n)
    assert_elementwise(lambda: op(plain, a), lambda i: op(float(plain[i]), a[i]), n)


@pytest.mark.parametrize("unit", UNITS, ids=str)
@pytest.mark.parametrize("exponent", [2, -1, 0.5, 1 / 3, 0, math.nan, math.inf, Tarvel.unit("in/m") * 100])
def test_powers_are_the_scalar_power_on_each_element(unit, exponent):
    a = arr(unit)
    assert_elementwise(lambda: a**exponent, lambda i: a[i] ** exponent, len(VALUES))


def test_unitless_powers_take_an_exponent_per_element_and_units_only_one():
    a = arr(None)
    e = TarvelArray(OTHER)
    assert_elementwise(lambda: a**e, lambda i: a[i] ** e[i], len(VALUES))
    assert_elementwise(lambda: 2.0**e, lambda i: 2.0 ** e[i], len(VALUES))
    assert str((arr("m") ** np.full(len(VALUES), 2.0)).units()) == "1 [m2]"
    with pytest.raises(ValueError, match=r"^an array in \[m\] can only be raised to a single exponent$"):
        arr("m") ** np.arange(len(VALUES))


@pytest.mark.parametrize("op", [operator.neg, operator.pos, abs], ids=lambda f: f.__name__)
@pytest.mark.parametrize("unit", UNITS, ids=str)
def test_unary_operators_are_the_scalar_ones(op, unit):
    a = arr(unit)
    assert_elementwise(lambda: op(a), lambda i: op(a[i]), len(VALUES))


CONVERSIONS = [
    ("as_unit", ("mi",)),
    ("as_unit", ("°F",)),
    ("as_unit", ("K",)),
    ("as_unit", (Tarvel.unit("m") * 3,)),
    ("as_number", ("m",)),
    ("as_number", ("°F",)),
    ("as_number", (Tarvel.unit("m") * 3, True)),
    ("as_unitless", ()),
    ("as_base_units", ()),
    ("simplify", ()),
    ("round", ()),
    ("round", (2,)),
    ("round", (-1,)),
    ("round_sfig", (3,)),
    ("latex", ()),
    ("descriptive", ()),
]


@pytest.mark.parametrize("method, args", CONVERSIONS, ids=lambda x: str(x))
@pytest.mark.parametrize("unit", ["km", "°C", "km/hr", "in/m", "kg.m/s2", SMOOT, "1/°C", None], ids=str)
def test_conversions_are_the_scalar_methods_on_each_element(method, args, unit):
    a = arr(unit)
    scalar_name = "__round__" if method == "round" else method
    assert_elementwise(
        lambda: getattr(a, method)(*args), lambda i: getattr(a[i], scalar_name)(*args), len(VALUES)
    )


@pytest.mark.parametrize(
    "values, unit, expected, dtype",
    [
        ([1, 2], "in/m", [0.0254, 0.0508], "float64"),
        ([[1, 2], [3, 4]], "km", [[1, 2], [3, 4]], "float64"),
        (np.array([True, False]), None, [1.0, 0.0], "float64"),
        (np.arange(3, dtype=np.int16), Tarvel.unit("m") * 2, [0, 2, 4], "float64"),
        (np.array([0.1], dtype=np.float32), "m", [np.float32(0.1)], "float32"),
        ([Tarvel.unit("m") * 5, Tarvel.unit("km") * 2], None, [5, 2000], "float64"),
        ((1.5,), 3, [4.5], "float64"),
    ],
)
def test_construction(values, unit, expected, dtype):
    a = TarvelArray(values, unit)
    assert a.dtype == np.dtype(dtype)
    assert a.as_number().tolist() == np.asarray(expected, dtype=dtype).tolist()


@pytest.mark.parametrize(
    "values, unit, error, message",
    [
        (np.array(["a"]), None, TypeError, "float64 or float32 magnitudes"),
        (np.array([1j]), None, TypeError, "not complex128"),
        ([Tarvel.unit("m"), Tarvel.unit("s")], None, TypeError, r"^\[s\] and \[m\] are not compatible$"),
        ([1.0], "parsec_of_cheese", LookupError, "not found"),
    ],
)
def test_construction_errors(values, unit, error, message):
    with pytest.raises(error, match=message):
        TarvelArray(values, unit)


def test_copy_false_wraps_and_copy_true_copies():
    x = np.arange(3.0)
    wrapped, copied = TarvelArray(x, "m", copy=False), TarvelArray(x, "m")
    x[0] = 9
    assert wrapped[0].as_number() == 9 and copied[0].as_number() == 0
    for values, unit in [(np.arange(3), "m"), ([1.0], "m"), (x, "in/m"), (x, Tarvel.unit("m") * 2)]:
        with pytest.raises(ValueError, match="copy=False"):
            TarvelArray(values, unit, copy=False)


def test_indexing_views_and_assignment():
    a = TarvelArray(np.arange(6.0).reshape(2, 3), "km")
    assert type(a[1, 2]) is Tarvel and str(a[1, 2]) == "5 [km]"
    row = a[0]
    row[1] = Tarvel.unit("m") * 250
    assert a.as_number()[0, 1] == 0.25  # basic slices are views
    assert a[a.as_number() > 2].as_number().tolist() == [3, 4, 5]
    assert a[[1, 0], 0].as_number().tolist() == [3, 0]
    before = a.as_number()
    for value, error in [(Tarvel.unit("s"), TypeError), (5.0, TypeError), ("kg", TypeError)]:
        with pytest.raises(error):
            a[0, 0] = value
    assert (a.as_number() == before).all()
    unitless = TarvelArray([1.0, 2.0])
    unitless[0] = 7
    unitless[1] = Tarvel.unit("in/m")
    assert unitless.as_number().tolist() == [7.0, 0.0254]


def test_ndarray_surface():
    a = TarvelArray(np.arange(6.0).reshape(2, 3), "m")
    assert (len(a), a.shape, a.ndim, a.size, a.dtype) == (2, (2, 3), 2, 6, np.float64)
    assert [type(r) for r in a] == [TarvelArray, TarvelArray]
    assert a.T.shape == (3, 2) and a.reshape(3, 2).shape == (3, 2)
    assert a.ravel().shape == a.flatten().shape == (6,)
    assert str(a.copy().units()) == str(a.units()) == "1 [m]"
    assert a.astype(np.float32).dtype == np.float32
    with pytest.raises(TypeError):
        a.astype(np.int32)
    assert [[str(x) for x in r] for r in a.tolist()] == [["0 [m]", "1 [m]", "2 [m]"], ["3 [m]", "4 [m]", "5 [m]"]]


@pytest.mark.parametrize(
    "method, units, value",
    [
        ("sum", "m", 15.0),
        ("mean", "m", 2.5),
        ("std", "m", np.arange(6.0).std()),
        ("var", "m2", np.arange(6.0).var()),
        ("min", "m", 0.0),
        ("max", "m", 5.0),
        ("argmin", None, 0),
        ("argmax", None, 5),
    ],
)
def test_reductions_are_numpys_on_the_magnitudes(method, units, value):
    result = getattr(TarvelArray(np.arange(6.0), "m"), method)()
    if units is None:
        assert result == value and not isinstance(result, Tarvel)
    else:
        # as_number(units) raises for other dimensions, so this also checks the units.
        assert type(result) is Tarvel and result.as_number(units) == result.as_number() == value
    per_axis = TarvelArray(np.arange(6.0).reshape(2, 3), "m").cumsum(axis=1)
    assert per_axis.as_number().tolist() == [[0, 1, 3], [3, 7, 12]]


def test_text_forms_and_repr_rebuilds():
    a = TarvelArray([1.5, 2], "km/hr")
    assert str(a) == "[1.5 2. ] [km/hr]"
    assert repr(a) == "TarvelArray([1.5, 2. ], 'km/hr')"
    assert_same(eval(repr(a), {"TarvelArray": TarvelArray})[0], a[0])
    assert repr(TarvelArray([1.0])) == "TarvelArray([1.])"
    assert "..." in repr(TarvelArray(np.zeros(5000), "m"))
    assert repr(TarvelArray([[1, 2], [3, 4]], "m")) == "TarvelArray([[1., 2.],\n             [3., 4.]], 'm')"
    f32 = TarvelArray([0.1, 2], "km", dtype=np.float32)
    rebuilt = eval(repr(f32), {"TarvelArray": TarvelArray})
    assert rebuilt.dtype == np.float32 and rebuilt.as_number().tolist() == f32.as_number().tolist()
    with pytest.raises(TypeError, match="not int64"):
        TarvelArray([1], dtype=np.int64)


@pytest.mark.parametrize("unit", ["km", "°C", SMOOT, None], ids=str)
@pytest.mark.parametrize("dtype", [np.float64, np.float32])
def test_copy_deepcopy_and_pickle_are_exact(unit, dtype):
    with np.errstate(over="ignore"):
        a = TarvelArray(np.array(VALUES).astype(dtype), unit)
    for b in (copy.copy(a), copy.deepcopy(a), pickle.loads(pickle.dumps(a))):
        assert b.dtype == a.dtype and b.shape == a.shape
        for i in range(len(a)):
            assert_same(b[i], a[i])
        b[0] = b[1]
        assert a.as_number()[0] != b.as_number()[0] or math.isnan(a.as_number()[1])


def test_array_protocol_gives_plain_values_only_without_dimensions():
    assert np.asarray(TarvelArray([1, 2], "in/m")).tolist() == [0.0254, 0.0508]
    assert np.asarray(TarvelArray([1.0, 2.0])).tolist() == [1.0, 2.0]
    with pytest.raises(TypeError, match=r"as_number\(unit\)"):
        np.asarray(TarvelArray([1.0], "m"))
    objects = np.asarray(TarvelArray([[1.0, 2.0]], "hr"), dtype=object)
    assert objects.shape == (1, 2) and [str(q) for q in objects.flat] == ["1 [hr]", "2 [hr]"]
    a = TarvelArray([1.0, 2.0], "hr")
    assert str(a.real) == str(a) and a.imag.as_number("hr").tolist() == [0.0, 0.0]


def test_in_place_operators_keep_the_units_and_the_object():
    a = TarvelArray([1.0, 2.0], "km")
    view, same = a[:], a
    a += Tarvel.unit("m") * 500
    a *= 2
    assert a is same and str(a.units()) == "1 [km]" and view.as_number().tolist() == [3.0, 5.0]
    for bad in (Tarvel.unit("s"), TarvelArray([1.0, 1.0], "m")):
        with pytest.raises(TypeError, match="not compatible"):
            a *= bad
    assert a.as_number().tolist() == [3.0, 5.0]
    assert TarvelArray([0.0], "m") and TarvelArray([2.0], "m")  # a quantity is true, as the scalar is
    with pytest.raises(ValueError, match="ambiguous"):
        bool(a)
    with pytest.raises(TypeError, match="unhashable"):
        hash(a)


def test_broadcasting_and_its_error():
    a = TarvelArray(np.arange(3.0), "m")
    col = TarvelArray(np.arange(2.0).reshape(2, 1), "km")
    assert (a + col).shape == (2, 3) and (col + a).as_number()[1].tolist() == [1.0, 1.001, 1.002]
    with pytest.raises(ValueError, match=r"could not be broadcast together with shapes \(3,\) \(2,\)"):
        a + TarvelArray([1.0, 2.0], "m")


@pytest.mark.parametrize("dtype", [np.float64, np.float32])
def test_large_and_strided_loops_match_the_small_ones(dtype):
    x = (np.arange(70_000, dtype=dtype) - 3.5) * dtype(1.1)
    a = TarvelArray(x, "km")
    strided = TarvelArray(x[::-7], "mi")
    whole = (a[::-7] + strided).as_number()
    for i in (0, 1, 5000, len(whole) - 1):
        assert_same(float(whole[i]), float(dtype((a[::-7][i] + strided[i]).as_number())))
    assert (a * a).dtype == dtype


@pytest.mark.parametrize(
    "unit, call",
    [
        ("km", lambda a: a.as_unit("mi")),
        ("°C", lambda a: a.as_unit("K")),
        ("°F", lambda a: a.as_unit("°C")),
        ("km", lambda a: a.as_unit("m")),
        ("m2", lambda a: np.sqrt(a)),
        ("km", lambda a: a / (Tarvel.unit("hr") * 3)),
        ("km", lambda a: a > Tarvel.unit("mi")),
    ],
)
def test_vectorised_loops_give_the_scalar_bits(unit, call):
    rng = np.random.default_rng(7)
    x = np.concatenate([rng.normal(0, 1e3, 997), [math.nan, -0.0, math.inf]])
    a = TarvelArray(x, unit)
    result = call(a)
    for i in range(len(x)):
        assert_same(result[i] if isinstance(result, TarvelArray) else bool(result[i]), call(a[i]))


def test_float32_elements_are_the_float64_result_rounded_once():
    x = np.array([0.1, 3.3, 7e-20], dtype=np.float32)
    result = TarvelArray(x, "km").as_unit("mi").as_number()
    expected = [np.float32((Tarvel.unit("km") * float(v)).as_unit("mi").as_number()) for v in x]
    assert result.dtype == np.float32 and result.tolist() == [float(e) for e in expected]


def test_without_numpy_arrays_raise_import_error():
    import subprocess
    import sys

    code = (
        "import sys; sys.modules['numpy'] = None\n"
        "import tarvel\n"
        "try:\n    tarvel.TarvelArray([1.0])\nexcept ImportError as e:\n    print('ImportError', e)\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.startswith("ImportError TarvelArray needs NumPy")


def test_import_does_not_import_numpy():
    import subprocess
    import sys

    code = "import sys, tarvel; print('numpy' in sys.modules)"
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True).stdout.strip() == "False"
