"""NumPy ufuncs on quantities follow one table of unit rules; a ufunc without a rule raises TypeError
naming it, and none drops units silently."""

import math

import pytest

from tarvel import Tarvel, TarvelArray

np = pytest.importorskip("numpy")

X = np.array([0.5, 1.0, 2.0, 4.0])
Y = np.array([3.0, 0.25, 1.5, 8.0])


def units_of(q):
    return str(q.units()) if isinstance(q, TarvelArray) else None


# ufunc, inputs (as TarvelArrays), expected units of the result ("plain" for an ndarray without units),
# and the magnitudes NumPy computes for it.
UNIT_RULES = [
    (np.add, [(X, "km"), (Y, "m")], "1 [km]", X + Y / 1000),
    (np.subtract, [(X, "km"), (Y, "m")], "1 [km]", X - Y / 1000),
    (np.maximum, [(X, "m"), (Y, "cm")], "1 [m]", np.maximum(X, Y / 100)),
    (np.minimum, [(X, "m"), (Y, "cm")], "1 [m]", np.minimum(X, Y / 100)),
    (np.fmax, [(X, "m"), (Y, "m")], "1 [m]", np.fmax(X, Y)),
    (np.fmin, [(X, "m"), (Y, "m")], "1 [m]", np.fmin(X, Y)),
    (np.hypot, [(X, "m"), (Y, "m")], "1 [m]", np.hypot(X, Y)),
    (np.remainder, [(Y, "s"), (X, "s")], "1 [s]", np.remainder(Y, X)),
    (np.fmod, [(Y, "s"), (X, "s")], "1 [s]", np.fmod(Y, X)),
    (np.multiply, [(X, "m"), (Y, "s")], "1 [m.s]", X * Y),
    (np.divide, [(X, "m"), (Y, "s")], "1 [m/s]", X / Y),
    (np.reciprocal, [(X, "s")], "1 [1/s]", 1 / X),
    (np.square, [(X, "m")], "1 [m2]", X * X),
    (np.sqrt, [(X, "m2")], "1 [m]", np.sqrt(X)),
    (np.cbrt, [(X, "m3")], "1 [m]", np.cbrt(X)),
    (np.negative, [(X, "K")], "1 [K]", -X),
    (np.positive, [(X, "K")], "1 [K]", X),
    (np.absolute, [(-X, "K")], "1 [K]", X),
    (np.rint, [(X, "m")], "1 [m]", np.rint(X)),
    (np.floor, [(X, "m")], "1 [m]", np.floor(X)),
    (np.ceil, [(X, "m")], "1 [m]", np.ceil(X)),
    (np.trunc, [(X, "m")], "1 [m]", np.trunc(X)),
    (np.exp, [(X, "in/m")], "plain", np.exp(X * 0.0254)),
    (np.log, [(X, None)], "plain", np.log(X)),
    (np.log10, [(X, None)], "plain", np.log10(X)),
    (np.sin, [(X, "°")], "plain", np.sin(X * math.pi / 180)),
    (np.cos, [(X, "rad")], "plain", np.cos(X)),
    (np.tanh, [(X, None)], "plain", np.tanh(X)),
    (np.arcsin, [(X / 4, None)], "1 [rad]", np.arcsin(X / 4)),
    (np.arctan, [(X, None)], "1 [rad]", np.arctan(X)),
    (np.arctan2, [(X, "km"), (Y, "m")], "1 [rad]", np.arctan2(X, Y / 1000)),
    (np.isfinite, [(X, "m")], "plain", np.isfinite(X)),
    (np.signbit, [(-X, "m")], "plain", np.signbit(-X)),
    (np.less, [(X, "km"), (Y, "m")], "plain", X < Y / 1000),
    (np.equal, [(X, "m"), (X * 100, "cm")], "plain", np.ones(4, bool)),
    (np.matmul, [(np.eye(2), "m"), (np.ones((2, 2)), "N")], "1 [N.m]", np.ones((2, 2))),
]


@pytest.mark.parametrize("ufunc, inputs, units, expected", UNIT_RULES, ids=[r[0].__name__ for r in UNIT_RULES])
def test_ufunc_unit_rules(ufunc, inputs, units, expected):
    result = ufunc(*[TarvelArray(v, u) for v, u in inputs])
    if units == "plain":
        assert type(result) is np.ndarray
        got = result
    else:
        assert units_of(result) == units
        got = result.as_number()
    np.testing.assert_allclose(got, expected, rtol=1e-15)


@pytest.mark.parametrize(
    "ufunc, inputs, message",
    [
        (np.add, [(X, "m"), (X, "s")], r"^\[m\] and \[s\] are not compatible$"),
        (np.maximum, [(X, "m"), (X, "s")], r"^\[m\] and \[s\] are not compatible$"),
        (np.exp, [(X, "m")], r"^\[m\] and \[\] are not compatible$"),
        (np.arcsin, [(X, "s")], r"^\[s\] and \[\] are not compatible$"),
        (np.frexp, [(X, "m")], "no unit rule for numpy.frexp"),
        (np.gcd, [(X, "m"), (X, "m")], "no unit rule for numpy.gcd"),
        (np.logaddexp, [(X, None), (X, None)], "no unit rule for numpy.logaddexp"),
    ],
)
def test_ufunc_errors_name_the_problem(ufunc, inputs, message):
    with pytest.raises(TypeError, match=message):
        ufunc(*[TarvelArray(v, u) for v, u in inputs])


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda a: np.add.reduce(a), X.sum()),
        (lambda a: np.add.accumulate(a), np.cumsum(X)),
        (lambda a: np.maximum.reduce(a), X.max()),
        (lambda a: np.fmin.accumulate(a), np.fmin.accumulate(X)),
    ],
)
def test_reduce_and_accumulate_keep_units(call, expected):
    result = call(TarvelArray(X, "m"))
    np.testing.assert_array_equal(result.as_number("m"), expected)
    with pytest.raises(TypeError, match="not compatible"):
        result.as_number("s")


@pytest.mark.parametrize("method", ["reduce", "accumulate"])
@pytest.mark.parametrize("ufunc", [np.multiply, np.divide, np.less, np.power])
def test_reductions_without_a_unit_rule_raise(ufunc, method):
    if (ufunc, method) == (np.multiply, "reduce"):
        method = "accumulate"  # a product over a static count has a rule (units to the count)
    with pytest.raises(TypeError, match=f"no unit rule for numpy.{ufunc.__name__}.{method}"):
        getattr(ufunc, method)(TarvelArray(X, "m"))


def test_out_and_where():
    out = TarvelArray(np.zeros(4), "km")
    assert np.multiply(TarvelArray(X, "m"), 2, out=out) is out
    np.testing.assert_allclose(out.as_number(), X * 2 / 1000)
    np.add(TarvelArray(X, "km"), TarvelArray(X, "km"), out=out, where=X > 1)
    np.testing.assert_allclose(out.as_number(), np.where(X > 1, 2 * X, X * 2 / 1000))
    plain = np.zeros(4)
    np.sin(TarvelArray(X, "rad"), out=plain)
    np.testing.assert_array_equal(plain, np.sin(X))
    with pytest.raises(TypeError, match="no plain values"):
        np.add(TarvelArray(X, "m"), TarvelArray(X, "m"), out=plain)
    with pytest.raises(TypeError, match=r"\[s\] and \[km\] are not compatible"):
        np.add(TarvelArray(X, "s"), TarvelArray(X, "s"), out=out)


def test_scalar_operands_give_scalars():
    m = Tarvel.unit("m")
    for product in (np.int64(3) * m, np.multiply(m, 3), np.float32(3) * m):
        assert type(product) is Tarvel and str(product) == "3 [m]"
    assert type(np.sqrt(m * 4)) is Tarvel and (np.sqrt(m * 4)).as_number() == 2.0
    assert np.sin(Tarvel.unit("°") * 30) == pytest.approx(0.5, abs=1e-15)
    assert type(np.sin(Tarvel.unit("°") * 30)) is float
    assert np.isnan(m * math.nan) is True and np.less(m, m * 2) is True
    assert str(np.arcsin(Tarvel.empty() * 0.5)) == str(Tarvel.unit("rad") * math.asin(0.5))


@pytest.mark.parametrize(
    "expression",
    [
        lambda m, x: x * m,
        lambda m, x: m * x,
        lambda m, x: x + Tarvel.empty() * 2,
        lambda m, x: m / x,
        lambda m, x: x / m,
        lambda m, x: x - Tarvel.empty(),
    ],
)
def test_plain_arrays_with_a_tarvel_give_the_elementwise_scalars(expression):
    m = Tarvel.unit("km")
    result = expression(m, X)
    assert isinstance(result, TarvelArray)
    for i, v in enumerate(X):
        scalar = expression(m, float(v))
        assert str(result[i]) == str(scalar) and result[i].as_number() == scalar.as_number()
    comparisons = [np.less(X, Tarvel.empty() * 1.5), X < Tarvel.empty() * 1.5, Tarvel.empty() * 1.5 > X]
    for c in comparisons:
        assert type(c) is np.ndarray and c.tolist() == (X < 1.5).tolist()
