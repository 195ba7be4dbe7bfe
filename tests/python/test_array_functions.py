"""NumPy functions on TarvelArray: each row's result units, and magnitudes equal to NumPy's on the
magnitudes converted with the scalar conversion."""

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

from tarvel import Tarvel, TarvelArray

X = np.array([3.0, -1.5, 2.25, 0.5, 7.0, -4.0])
Y = np.array([250.0, 1e3, -75.5, 0.0, 12.0, 3e4])
GRID = np.arange(12.0).reshape(3, 4) - 4.5
SORTED = np.array([-2.0, 0.5, 1.0, 4.0, 9.0, 11.0])
WITH_NAN = np.array([1.0, np.nan, -3.0, 2.5, np.nan, 8.0])
MASK = np.array([True, False, True, True, False, False])


def magnitudes_in(values, unit, into):
    """Each element converted by the scalar operations."""
    flat = [(Tarvel.unit(unit) * float(v)).as_unit(into).as_number() for v in np.ravel(values)]
    return np.array(flat).reshape(np.shape(values))


def unit_text(q):
    return str(q).split(" ", 1)[1]


def check(got, want, units):
    """`units` is None for a plain result, a unit text, or a list of them for a sequence of results."""
    if isinstance(units, list):
        assert type(got) is type(want) and len(got) == len(units)
        for g, w, u in zip(got, want, units):
            check(g, w, u)
        return
    if units is None:
        assert not isinstance(got, (Tarvel, TarvelArray))
        np.testing.assert_array_equal(got, want)
        return
    array = isinstance(want, np.ndarray)
    assert isinstance(got, TarvelArray if array else Tarvel)
    expected = Tarvel.unit(units) if units else Tarvel.empty()
    assert unit_text(got.units() if array else got) == unit_text(expected)
    got_magnitudes = got.as_number()
    assert np.shape(got_magnitudes) == np.shape(want)
    assert np.array_equal(got_magnitudes, want, equal_nan=True)


# (call, inputs as (values, unit, unit NumPy sees them in), units of the result)
KM, M = (X, "km", "km"), (Y, "m", "km")
ROWS = {
    "concatenate": (lambda a, b: np.concatenate([a, b]), [KM, M], "km"),
    "stack": (lambda a, b: np.stack((a, b), axis=1), [KM, M], "km"),
    "vstack": (lambda a, b: np.vstack([a, b]), [KM, M], "km"),
    "hstack": (lambda a, b: np.hstack((a, b)), [KM, M], "km"),
    "append": (lambda a, b: np.append(a, b), [KM, M], "km"),
    "where": (lambda a, b: np.where(MASK, a, b), [KM, M], "km"),
    "clip": (lambda a, lo, hi: np.clip(a, lo[1], hi[4]), [KM, M, M], "km"),
    "clip-keywords": (lambda a, hi: np.clip(a, max=hi[1], min=None), [KM, M], "km"),
    "sort": (lambda a: np.sort(a), [KM], "km"),
    "argsort": (lambda a: np.argsort(a), [KM], None),
    "searchsorted": (lambda a, v: np.searchsorted(a, v), [(SORTED, "s", "s"), (X, "min", "s")], None),
    "median": (lambda a: np.median(np.reshape(a, (2, 3)), axis=1), [KM], "km"),
    "percentile": (lambda a: np.percentile(a, [10, 50, 90]), [KM], "km"),
    "quantile": (lambda a: np.quantile(a, 0.3), [KM], "km"),
    "mean": (lambda a: np.mean(a), [KM], "km"),
    "std": (lambda a: np.std(a, ddof=1), [KM], "km"),
    "var": (lambda a: np.var(a), [KM], "km2"),
    "sum-initial": (lambda a, b: np.sum(a, initial=b[0]), [KM, M], "km"),
    "cumsum": (lambda a: np.cumsum(a), [KM], "km"),
    "min": (lambda a: np.min(a), [KM], "km"),
    "amax": (lambda a: np.amax(a), [KM], "km"),
    "ptp": (lambda a: np.ptp(a), [KM], "km"),
    "argmin": (lambda a: np.argmin(a), [KM], None),
    "unique-counts": (lambda a: np.unique(np.tile(a, 2), return_counts=True), [KM], ["km", None]),
    "average-returned": (lambda a: np.average(a, weights=X + 5, returned=True), [KM], ["km", None]),
    "corrcoef": (lambda a, b: np.corrcoef(a, b), [KM, (Y, "s", "s")], None),
    "isin": (lambda a, b: np.isin(a, b), [KM, (X * 1000, "m", "km")], None),
    "select": (lambda a, b: np.select([MASK, ~MASK], [a, b], b[2]), [KM, M], "km"),
    "argmax": (lambda a: np.argmax(a), [KM], None),
    "diff-prepend": (lambda a, b: np.diff(a, prepend=b[:1]), [KM, M], "km"),
    "gradient": (lambda f, x: np.gradient(f, x), [KM, (SORTED, "s", "s")], "km/s"),
    "gradient-2d": (lambda f, dy: np.gradient(f, dy, 2.0), [(GRID, "m", "m"), (0.5, "s", "s")], ["m/s", "m"]),
    "trapezoid": (lambda y, x: np.trapezoid(y, x), [KM, (SORTED, "hr", "hr")], "km.hr"),
    "interp": (lambda x, xp, fp: np.interp(x, xp, fp), [(X, "min", "s"), (SORTED, "s", "s"), KM], "km"),
    "linspace": (lambda a, b: np.linspace(a[:3], b[3:], 5, axis=1), [KM, M], "km"),
    "linspace-retstep": (lambda a, b: np.linspace(a[:2], b[:2], 4, retstep=True), [KM, M], ["km", "km"]),
    "isclose": (lambda a, b, tol: np.isclose(a, b, rtol=0.5, atol=tol[0]), [KM, M, M], None),
    "allclose": (lambda a, b: np.allclose(a, b), [KM, KM], None),
    "dot": (lambda a, b: np.dot(a, b), [KM, (Y, "N", "N")], "N.km"),
    "cross": (lambda a, b: np.cross(a[:3], b[:3]), [(X, "m", "m"), (Y, "N", "N")], "N.m"),
    "histogram": (lambda a, e: np.histogram(a, bins=e[[5, 1, 2, 4]]),
                  [(SORTED, "m", "m"), (X * 100, "cm", "m")], [None, "m"]),
    "histogram-density": (lambda a: np.histogram(a, bins=3, density=True), [(SORTED, "m", "m")],
                          ["1/m", "m"]),
    "histogram-weights": (lambda a, w: np.histogram(a, 2, weights=w), [KM, (Y, "kg", "kg")], ["kg", "km"]),
    "histogram-range": (lambda a, r: np.histogram(a, 4, range=(r[3], r[4])), [KM, M], [None, "km"]),
    "round": (lambda a: np.round(a, 1), [(X / 7, "km", "km")], "km"),
    "around": (lambda a: np.around(a, -1), [(Y, "m", "m")], "m"),
    "nanmax": (lambda a: np.nanmax(a), [(WITH_NAN, "s", "s")], "s"),
    "nanmean": (lambda a: np.nanmean(a), [(WITH_NAN, "s", "s")], "s"),
    "nanvar": (lambda a: np.nanvar(a), [(WITH_NAN, "s", "s")], "s2"),
    "nanargmin": (lambda a: np.nanargmin(a), [(WITH_NAN, "s", "s")], None),
    "nanpercentile": (lambda a: np.nanpercentile(a, 25), [(WITH_NAN, "s", "s")], "s"),
    "reshape": (lambda a: np.reshape(a, (2, 3)), [KM], "km"),
    "transpose": (lambda a: np.transpose(a), [(GRID, "J", "J")], "J"),
    "squeeze": (lambda a: np.squeeze(a[None, :]), [KM], "km"),
    "expand_dims": (lambda a: np.expand_dims(a, 0), [KM], "km"),
    "broadcast_to": (lambda a: np.broadcast_to(a, (2, 6)), [KM], "km"),
    "flip": (lambda a: np.flip(a), [KM], "km"),
    "roll": (lambda a: np.roll(a, 2), [KM], "km"),
    "tile": (lambda a: np.tile(a, 2), [KM], "km"),
    "repeat": (lambda a: np.repeat(a, 2), [KM], "km"),
    "take": (lambda a: np.take(a, [4, 0, 0]), [KM], "km"),
    "choose": (lambda a, b: np.choose(MASK.astype(int), [a, b]), [KM, M], "km"),
    "block": (lambda a, b: np.block([[a[:2], b[:1]], [b[2:4], a[4:5]]]), [KM, M], "km"),
    "unstack": (lambda a: np.unstack(np.reshape(a, (3, 2))), [KM], ["km", "km", "km"]),
    "array_equal": (lambda a, b: np.array_equal(a, b), [(Y, "m", "km"), (Y / 1000, "km", "km")], None),
    "pad": (lambda a, b: np.pad(a, 2, constant_values=((b[0], b[1]),)), [KM, M], "km"),
    "pad-nan": (lambda a: np.pad(a, (1, 0), constant_values=np.nan), [KM], "km"),
    "where-nan": (lambda a: np.where(MASK, np.nan, a), [KM], "km"),
    "result_type": (lambda a: np.result_type(a, np.float32), [KM], None),
    "zeros_like": (lambda a: np.zeros_like(a), [KM], "km"),
    "ones_like": (lambda a: np.ones_like(a), [KM], "km"),
    "full_like": (lambda a, b: np.full_like(a, b[1]), [KM, M], "km"),
    "atleast_1d": (lambda a, b: np.atleast_1d(a, b), [KM, (Y, "s", "s")], ["km", "s"]),
    "temperature": (lambda a, b: np.concatenate((a, b)), [(X, "°C", "°C"), (Y, "K", "°C")], "°C"),
}


@pytest.mark.parametrize("call, inputs, units", ROWS.values(), ids=ROWS.keys())
def test_function_rows(call, inputs, units):
    arrays = [TarvelArray(values, unit) for values, unit, _ in inputs]
    plain = [magnitudes_in(values, unit, into) for values, unit, into in inputs]
    check(call(*arrays), call(*plain), units)


SAME_UNITS = [
    (lambda p, q: np.concatenate([p, q]), True),
    (lambda p, q: np.where(MASK[:5], p, q), True),
    (lambda p, q: np.clip(p, q[0], None), True),
    (lambda p, q: np.full_like(p, q[1]), True),
    (lambda p, q: np.isclose(p, q, atol=q[2]), False),
    (lambda p, q: np.searchsorted(np.sort(p), q), False),
]


@given(
    st.sampled_from([("km", "m"), ("mi", "ft"), ("°F", "°C"), ("hr", "s"), ("N.m", "J"), ("", "")]),
    hnp.arrays(np.float64, 5, elements=st.floats(allow_nan=True, allow_infinity=True, width=64)),
    hnp.arrays(np.float64, 5, elements=st.floats(-1e300, 1e300)),
)
def test_same_units_functions_equal_numpy_on_converted_magnitudes(units, x, y):
    first, second = units
    a, b = TarvelArray(x, first or None), TarvelArray(y, second or None)
    converted = magnitudes_in(y, second, first) if first else y
    for call, with_units in SAME_UNITS:
        check(call(a, b), call(x, converted), first if with_units else None)


def test_out_receives_the_result_in_its_own_units():
    out = TarvelArray(np.zeros(6), "m")
    assert np.cumsum(TarvelArray(X, "km"), out=out) is out
    assert np.array_equal(out.as_number(), magnitudes_in(np.cumsum(X), "km", "m"))


REFUSED = {
    "no rule": (lambda a: np.cumprod(a), "no unit rule for numpy.cumprod"),
    "no rule, submodule": (lambda a: np.linalg.slogdet(a), "no unit rule for numpy.linalg.slogdet"),
    "plain bounds": (lambda a: np.clip(a, 0, 1), "are not compatible"),
    "plain array joined": (lambda a: np.concatenate([a, X]), "are not compatible"),
    "plain branch": (lambda a: np.where(MASK, a, 0.0), "are not compatible"),
    "plain infinity": (lambda a: np.pad(a, 1, constant_values=np.inf), "are not compatible"),
    "plain atol": (lambda a: np.isclose(a, a, atol=1e-3), "are not compatible"),
    "plain fill": (lambda a: np.full_like(a, 5.0), "are not compatible"),
    "other dimension": (lambda a: np.append(a, TarvelArray(X, "s")), r"\[s\] and \[km\] are not compatible"),
    "dimensioned percentage": (lambda a: np.percentile(X, a), r"\[km\] and \[\] are not compatible"),
    "quantity axis": (lambda a: np.sum(a, axis=Tarvel.unit("km")), "argument 'axis' of numpy.sum"),
    "plain out": (lambda a: np.cumsum(a, out=np.zeros(6)), "are not compatible"),
}


@pytest.mark.parametrize("call, message", REFUSED.values(), ids=REFUSED.keys())
def test_refusals_raise_type_error(call, message):
    with pytest.raises(TypeError, match=message):
        call(TarvelArray(X, "km"))


def test_scalar_arguments_alone_take_the_table_too():
    m = Tarvel.unit("m")
    check(np.linspace(0 * m, Tarvel.unit("km"), 5), np.linspace(0.0, 1000.0, 5), "m")
    check(np.clip(3 * m, m, 2 * m), np.float64(2.0), "m")


def test_plain_operands_join_a_unitless_array():
    check(np.concatenate([TarvelArray(X), Y]), np.concatenate([X, Y]), "")


def test_foreign_array_types_are_left_to_numpy():
    class Foreign:
        def __array_function__(self, func, types, args, kwargs):
            return NotImplemented

    with pytest.raises(TypeError, match="no implementation found"):
        np.concatenate([TarvelArray(X, "m"), Foreign()])
