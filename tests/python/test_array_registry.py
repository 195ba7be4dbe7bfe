"""The rule registry: every public NumPy callable is a rule or a refusal with a reason; the rules added
for products, linear algebra, norms, transforms and polynomials equal NumPy on hand-converted
magnitudes; functions, array methods and ufunc methods agree on keywords; temperature changes are
intervals."""

import types

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import tarvel
from tarvel import Tarvel, TarvelArray

NAMESPACES = [(np, ""), (np.linalg, "linalg."), (np.fft, "fft.")]


def public_callables():
    for module, prefix in NAMESPACES:
        for name in dir(module):
            if name.startswith("_"):
                continue
            value = getattr(module, name)
            if isinstance(value, (type, types.ModuleType)) or not callable(value):
                continue
            # A ufunc is classified by its own name (np.abs is np.absolute).
            yield (value.__name__ if isinstance(value, np.ufunc) else prefix + name), value


def test_every_public_numpy_callable_is_a_rule_or_a_refusal():
    registry = tarvel._numpy_registry()
    missing = sorted({name for name, _ in public_callables() if name not in registry})
    assert missing == []
    refusals = [text for kind, text in registry.values() if kind == "refused"]
    assert all(len(reason) > 10 for reason in refusals)
    both = [n for n, (kind, _) in registry.items() if kind == "rule" and n in refusals]
    assert both == []


@pytest.mark.parametrize(
    "call, name",
    [
        (lambda a: np.bitwise_count(a), "bitwise_count: integer bit operations"),
        (lambda a: np.cumprod(a), "cumprod: the elements of its result"),
        (lambda a: np.fft.fft(a), "fft.fft: its values are complex"),
        (lambda a: np.linalg.slogdet(a.reshape(2, 3)[:, :2]), "linalg.slogdet"),
        (lambda a: np.multiply.accumulate(a), "multiply.accumulate: the elements"),
        (lambda a: np.gcd(a, a), "gcd: divisors and multiples"),
    ],
)
def test_refusals_name_the_function_and_the_reason(call, name):
    with pytest.raises(TypeError, match="^no unit rule for numpy." + name):
        call(TarvelArray(np.arange(1.0, 7.0), "m"))


def units(q):
    text = str((q.units() if isinstance(q, TarvelArray) else q / q.as_number())).split(" ", 1)[1]
    return text.strip("[]")


def same(got, want, unit):
    """got carries `unit` (None: plain) and magnitudes equal to `want` in it, to rounding."""
    if unit is None:
        assert not isinstance(got, (Tarvel, TarvelArray))
        np.testing.assert_allclose(got, want, rtol=1e-12)
        return
    assert isinstance(got, (Tarvel, TarvelArray)), type(got)
    expected = unit if isinstance(unit, Tarvel) else Tarvel.unit(unit) if unit else Tarvel.empty()
    scale = np.max(np.abs(want)) if np.size(want) else 0.0
    np.testing.assert_allclose(got.as_number(expected), want, rtol=1e-12, atol=1e-12 * scale)


SQUARE = np.array([[4.0, 1.0, 0.5], [1.0, 3.0, -1.0], [0.5, -1.0, 2.0]])
VECTOR = np.array([1.5, -2.0, 4.0])

# (call on quantities, call on magnitudes in kg, m, s, result unit)
RULES = {
    "prod": (lambda a, b, t: np.prod(a), lambda a, b, t: np.prod(a), "kg9"),
    "prod axis": (lambda a, b, t: np.prod(a, axis=0), lambda a, b, t: np.prod(a, axis=0), "kg3"),
    "prod method": (lambda a, b, t: a.prod(axis=1), lambda a, b, t: a.prod(axis=1), "kg3"),
    "multiply.reduce": (lambda a, b, t: np.multiply.reduce(a), lambda a, b, t: np.multiply.reduce(a), "kg3"),
    "multiply.outer": (lambda a, b, t: np.multiply.outer(b, t), lambda a, b, t: np.multiply.outer(b, t), "m.s"),
    "add.outer": (lambda a, b, t: np.add.outer(b, b), lambda a, b, t: np.add.outer(b, b), "m"),
    "det": (lambda a, b, t: np.linalg.det(a), lambda a, b, t: np.linalg.det(a), "kg3"),
    "inv": (lambda a, b, t: np.linalg.inv(a), lambda a, b, t: np.linalg.inv(a), "1/kg"),
    "pinv": (lambda a, b, t: np.linalg.pinv(a), lambda a, b, t: np.linalg.pinv(a), "1/kg"),
    "matrix_power": (lambda a, b, t: np.linalg.matrix_power(a, 2), lambda a, b, t: a @ a, "kg2"),
    "cholesky": (lambda a, b, t: np.linalg.cholesky(a), lambda a, b, t: np.linalg.cholesky(a), Tarvel.unit("kg") ** 0.5),
    "solve": (lambda a, b, t: np.linalg.solve(a, b), lambda a, b, t: np.linalg.solve(a, b), "m/kg"),
    "lstsq": (lambda a, b, t: np.linalg.lstsq(a, b)[0], lambda a, b, t: np.linalg.lstsq(a, b)[0], "m/kg"),
    "linalg.matmul": (lambda a, b, t: np.linalg.matmul(a, b), lambda a, b, t: a @ b, "kg.m"),
    "linalg.vecdot": (lambda a, b, t: np.linalg.vecdot(b, t), lambda a, b, t: b @ t, "m.s"),
    "linalg.outer": (lambda a, b, t: np.linalg.outer(b, t), lambda a, b, t: np.outer(b, t), "m.s"),
    "linalg.cross": (lambda a, b, t: np.linalg.cross(b, t), lambda a, b, t: np.cross(b, t), "m.s"),
    "multi_dot": (lambda a, b, t: np.linalg.multi_dot([a, a, b]), lambda a, b, t: a @ a @ b, "kg2.m"),
    "correlate": (lambda a, b, t: np.correlate(b, t, "full"), lambda a, b, t: np.correlate(b, t, "full"), "m.s"),
    "norm": (lambda a, b, t: np.linalg.norm(b), lambda a, b, t: np.linalg.norm(b), "m"),
    "norm ord=0": (lambda a, b, t: np.linalg.norm(b, ord=0), lambda a, b, t: np.linalg.norm(b, ord=0), None),
    "vector_norm": (lambda a, b, t: np.linalg.vector_norm(b, ord=1), lambda a, b, t: np.abs(b).sum(), "m"),
    "matrix_norm": (lambda a, b, t: np.linalg.matrix_norm(a), lambda a, b, t: np.linalg.matrix_norm(a), "kg"),
    "eigvalsh": (lambda a, b, t: np.linalg.eigvalsh(a), lambda a, b, t: np.linalg.eigvalsh(a), "kg"),
    "svd S": (lambda a, b, t: np.linalg.svd(a).S, lambda a, b, t: np.linalg.svd(a).S, "kg"),
    "cond": (lambda a, b, t: np.linalg.cond(a), lambda a, b, t: np.linalg.cond(a), None),
    "irfft": (lambda a, b, t: np.fft.irfft(b), lambda a, b, t: np.fft.irfft(b), "m"),
    "fftshift": (lambda a, b, t: np.fft.fftshift(b), lambda a, b, t: np.fft.fftshift(b), "m"),
    "fftfreq": (lambda a, b, t: np.fft.fftfreq(8, t[0]), lambda a, b, t: np.fft.fftfreq(8, t[0]), "1/s"),
    "rfftfreq": (lambda a, b, t: np.fft.rfftfreq(8, t[1]), lambda a, b, t: np.fft.rfftfreq(8, t[1]), "Hz"),
    "sign": (lambda a, b, t: np.sign(b), lambda a, b, t: np.sign(b), None),
    "real": (lambda a, b, t: np.real(b), lambda a, b, t: b, "m"),
    "imag": (lambda a, b, t: np.imag(b), lambda a, b, t: np.zeros(3), "m"),
    "unique_values": (lambda a, b, t: np.unique_values(a), lambda a, b, t: np.unique_values(a), "kg"),
    "unique_counts": (lambda a, b, t: np.unique_counts(a).values, lambda a, b, t: np.unique(a), "kg"),
    "histogram_bin_edges": (
        lambda a, b, t: np.histogram_bin_edges(b, 4), lambda a, b, t: np.histogram_bin_edges(b, 4), "m"),
    "bincount": (
        lambda a, b, t: np.bincount([0, 2, 2], weights=b), lambda a, b, t: np.bincount([0, 2, 2], b), "m"),
    "interp": (lambda a, b, t: np.interp(t[0], t, b), lambda a, b, t: np.interp(t[0], t, b), "m"),
    "diff": (lambda a, b, t: np.diff(b), lambda a, b, t: np.diff(b), "m"),
    "nanmax": (lambda a, b, t: np.nanmax(b), lambda a, b, t: np.nanmax(b), "m"),
    "concat": (lambda a, b, t: np.concat([b, b]), lambda a, b, t: np.concat([b, b]), "m"),
    "polyval": (
        lambda a, b, t: np.polyval(np.polyfit(t, b, 2), t),
        lambda a, b, t: np.polyval(np.polyfit(t, b, 2), t), "m"),
}


@settings(max_examples=25, deadline=None)
@given(
    hnp.arrays(np.float64, 3, elements=st.floats(0.5, 20.0)),
    hnp.arrays(np.float64, 3, elements=st.floats(-50.0, 50.0)),
    st.sampled_from([("kg", "g", 1e3), ("m", "cm", 1e2), ("s", "ms", 1e3)]),
)
def test_new_rules_equal_numpy_on_converted_magnitudes(diagonal, values, scaled):
    a_mag = SQUARE + np.diag(diagonal)
    # Distinct values: NumPy's bins around a single repeated value are a fixed width in any unit.
    b_mag, t_mag = values + np.array([0.0, 60.0, 120.0]), np.array([0.5, 1.5, 4.0])
    # One operand in a scaled unit, so the rule's conversion takes part.
    base, other, factor = scaled
    given_units = {"kg": "kg", "m": "m", "s": "s"}
    given_units[base] = other
    a = TarvelArray(a_mag * (factor if base == "kg" else 1), given_units["kg"])
    b = TarvelArray(b_mag * (factor if base == "m" else 1), given_units["m"])
    t = TarvelArray(t_mag * (factor if base == "s" else 1), given_units["s"])
    failures = []
    for name, (call, reference, unit) in RULES.items():
        try:
            same(call(a, b, t), reference(a_mag, b_mag, t_mag), unit)
        except (AssertionError, TypeError, ValueError) as error:
            failures.append(f"{name}: {error}")
    assert failures == []


def test_polyfit_gives_each_coefficient_its_units():
    x = TarvelArray([0.0, 1.0, 2.0, 3.0], "s")
    y = TarvelArray([1.0, 3.0, 9.0, 19.0], "m")
    coefficients = np.polyfit(x, y, 2)
    assert [units(c) for c in coefficients] == ["m/s2", "m/s", "m"]
    np.testing.assert_allclose([c.as_number() for c in coefficients], np.polyfit([0, 1, 2, 3], [1, 3, 9, 19], 2))
    with pytest.raises(TypeError, match="polyfit"):
        np.polyfit(x, y, 1, full=True)


# --- Functions, methods and ufunc methods share their rows ---------------------------------------------

KM = TarvelArray([1.0, 2.0, 3.0], "km")
INITIAL = Tarvel.unit("m") * 500


@pytest.mark.parametrize(
    "call",
    [
        lambda a: np.sum(a, initial=INITIAL),
        lambda a: a.sum(initial=INITIAL),
        lambda a: np.add.reduce(a, initial=INITIAL),
    ],
)
def test_initial_converts_into_the_array_units(call):
    assert call(KM).as_number("m") == pytest.approx(6500.0)


@pytest.mark.parametrize(
    "call",
    [lambda a: a.sum(initial=5.0), lambda a: np.add.reduce(a, initial=5.0), lambda a: a.max(initial=5.0)],
)
def test_plain_initial_is_refused_unless_unitless(call):
    with pytest.raises(TypeError, match="not compatible"):
        call(KM)
    assert call(TarvelArray([1.0, 2.0])) == call(np.array([1.0, 2.0]))


@pytest.mark.parametrize("method", ["cumsum", "sum", "mean", "std", "var", "min", "max"])
def test_methods_refuse_a_plain_out_as_the_functions_do(method):
    out = np.zeros(3) if method == "cumsum" else np.zeros(())
    with pytest.raises(TypeError, match="not compatible"):
        getattr(KM, method)(out=out)
    with pytest.raises(TypeError, match="not compatible"):
        getattr(np, method)(KM, out=out)


def test_reduceat_reads_its_indices_as_indices():
    got = np.add.reduceat(TarvelArray([1.0, 2.0, 3.0, 4.0], "m"), [0, 2])
    same(got, [3.0, 7.0], "m")


def test_ufunc_dtype_keyword_stores_the_asked_precision():
    got = np.add(KM, KM, dtype=np.float32)
    assert got.dtype == np.float32
    same(got, [2.0, 4.0, 6.0], "km")
    with pytest.raises(TypeError, match="float16"):
        np.add(KM, KM, dtype=np.float16)


@pytest.mark.parametrize("dtype", [">f8", "<f4", np.float64])
def test_astype_gives_arrays_the_loops_read(dtype):
    converted = KM.astype(dtype)
    assert converted.dtype.isnative
    same(converted * 2 + KM, [3.0, 6.0, 9.0], "km")


def test_astype_float16_is_refused():
    with pytest.raises(TypeError, match="float16"):
        KM.astype(np.float16)


FLOAT32_UFUNCS = [np.exp, np.log10, np.sin, np.tan, np.arcsin, np.arctan, np.log1p, np.tanh, np.cos]


@settings(max_examples=40, deadline=None)
@given(hnp.arrays(np.float32, 8, elements=st.floats(-0.875, 0.875, width=32)))
def test_float32_pure_number_ufuncs_equal_the_scalar_bit_for_bit(values):
    array = TarvelArray(values)
    for ufunc in FLOAT32_UFUNCS:
        got = ufunc(array)
        got = got.as_number() if isinstance(got, TarvelArray) else got
        want = np.array([np.float32(ufunc(np.float64(v))) for v in values])
        assert got.dtype == np.float32
        np.testing.assert_array_equal(got, want, err_msg=ufunc.__name__)


# --- Temperatures: changes and spreads are intervals -----------------------------------------------------

INTERVALS = {
    "diff": (lambda a: np.diff(a), "K"),
    "ediff1d": (lambda a: np.ediff1d(a), "K"),
    "gradient": (lambda a: np.gradient(a), "K"),
    "ptp": (lambda a: np.ptp(a), "K"),
    "std": (lambda a: np.std(a), "K"),
    "nanstd": (lambda a: np.nanstd(a), "K"),
    "std method": (lambda a: a.std(), "K"),
    "var": (lambda a: np.var(a), "K2"),
    "var method": (lambda a: a.var(), "K2"),
    "subtract.outer": (lambda a: np.subtract.outer(a, a), "K"),
}


@settings(max_examples=30, deadline=None)
@given(
    hnp.arrays(np.float64, 6, elements=st.floats(-200.0, 500.0)),
    st.sampled_from(["°C", "°F"]),
)
def test_temperature_changes_equal_those_of_kelvin(values, unit):
    absolute = TarvelArray(values, unit)
    kelvin = absolute.as_unit("K")
    for name, (call, result_unit) in INTERVALS.items():
        got, want = call(absolute), call(kelvin)
        assert units(want) == result_unit, name
        if unit == "°C":
            assert units(got) == result_unit, name
        np.testing.assert_allclose(got.as_number(result_unit), want.as_number(result_unit),
                                   rtol=1e-9, atol=1e-6, err_msg=name)


def test_fahrenheit_changes_are_in_rankine():
    assert units(np.diff(TarvelArray([32.0, 50.0], "°F"))) == "°R"


def test_repr_latex_checks_the_size_before_reading_elements():
    huge = TarvelArray(np.zeros((2000, 2000)), "m")
    assert huge._repr_latex_() is None
    assert TarvelArray([[1.0, 2.0]], "m")._repr_latex_().startswith("$\\begin{bmatrix}")
