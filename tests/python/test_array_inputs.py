"""TarvelArray inputs: what a value, an operand or the constructor accepts, and what it refuses rather
than reading wrongly."""

import math
import warnings

import pytest

from tarvel import LogTarvel, Tarvel, TarvelArray

np = pytest.importorskip("numpy")


@pytest.mark.parametrize("key", [0, slice(1, 3), [0, 2], (np.array([True, False, True]),)])
@pytest.mark.parametrize("nan", [math.nan, np.nan, np.float64("nan")])
def test_nan_is_the_missing_value_in_any_units(key, nan):
    a = TarvelArray([1.0, 2.0, 3.0], "km")
    a[key] = nan
    expected = np.array([1.0, 2.0, 3.0])
    expected[key] = math.nan
    np.testing.assert_array_equal(a.as_number("km"), expected)
    assert a.units() == TarvelArray([1.0], "km").units()


@pytest.mark.parametrize("unit, number, stored", [("km", 1.0, None), ("km", math.inf, None), (None, 4.0, 4.0)])
def test_other_numbers_need_a_unitless_array(unit, number, stored):
    a = TarvelArray([1.0, 2.0], unit)
    if stored is None:
        with pytest.raises(TypeError):
            a[0] = number
        assert a.as_number("km")[0] == 1.0
    else:
        a[0] = number
        assert float(a[0]) == stored


MASKED = np.ma.masked_array([1.0, 2.0], mask=[False, True])
M = Tarvel.unit("m")
REFUSED_INPUTS = [
    (lambda x: TarvelArray(x, "m"), MASKED, "MaskedArray"),
    (lambda x: TarvelArray([1.0, 2.0], "m") * x, MASKED, "MaskedArray"),
    # The masked array's own operator asks for plain values, which an array with units has none of.
    (lambda x: x * TarvelArray([1.0, 2.0], "m"), MASKED, "plain values"),
    (lambda x: TarvelArray([1.0, 2.0]) + x, MASKED, "MaskedArray"),
    (lambda x: np.add(TarvelArray([1.0, 2.0]), x), MASKED, "MaskedArray"),
    (lambda x: TarvelArray([1.0, 2.0], "m").__setitem__(slice(None), x), MASKED, "MaskedArray"),
    (lambda x: TarvelArray([1.0, 2.0]).__setitem__(slice(None), x), MASKED, "MaskedArray"),
    (lambda x: TarvelArray([1.0, 2.0], "m") * x, np.complex128(1 + 2j), "complex128"),
    (lambda x: x * TarvelArray([1.0, 2.0], "m"), np.complex64(1 + 2j), "complex64"),
    (lambda x: TarvelArray([1.0, 2.0], "m") * x, np.array(1 + 2j), "complex128"),
    (lambda x: x * M, np.complex128(1 + 2j), "complex128"),
    (lambda x: M + x, np.clongdouble(1j), "clongdouble"),
    (lambda x: LogTarvel.unit("dB") * x, np.complex128(2j), "complex128"),
    (lambda x: TarvelArray(x, "m"), np.array([1 + 2j]), "complex128"),
    (lambda x: TarvelArray([1.0, 2.0]).__setitem__(0, x), np.complex128(1j), "complex128"),
]


@pytest.mark.parametrize("call, value, name", REFUSED_INPUTS)
def test_masks_and_imaginary_parts_are_refused_not_dropped(call, value, name):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(TypeError, match=name):
            call(value)


LEVELS = [2.0, -1.0, 0.0, 0.5, -0.0, 3.25, math.nan, math.inf, -math.inf, 1e-300]


@pytest.mark.parametrize("scale", ["B", "dB", "Np", LogTarvel.unit("dB") * 3.0])
@pytest.mark.parametrize("dtype", [np.float64, np.float32, np.int64])
def test_a_log_unit_scales_each_level_as_the_scalar_product(scale, dtype):
    unit = LogTarvel.unit(scale) if isinstance(scale, str) else scale
    values = np.array(LEVELS if dtype is not np.int64 else [2, -1, 0, 7], dtype=dtype)
    array = TarvelArray(values, unit)
    # float32 magnitudes stay float32, as every element loop stores them.
    expected = np.array([float(float(v) * unit) for v in values]).astype(array.dtype)
    np.testing.assert_array_equal(array.as_number(), expected)
    assert array.units() == TarvelArray([1.0]).units()


def test_a_log_unit_over_lazy_values_is_refused_not_misread():
    dask_array = pytest.importorskip("dask.array")
    with pytest.raises(TypeError, match="logarithmic unit.*call .compute"):
        TarvelArray(dask_array.ones(4, chunks=2) * 2.0, LogTarvel.unit("B"))


def unaligned(values, dtype):
    """A read-only view of `values` one byte past an aligned start."""
    data = np.asarray(values, dtype=dtype)
    view = np.frombuffer(b"\0" + data.tobytes(), dtype=dtype, offset=1)
    assert not view.flags.aligned
    return view


@pytest.mark.parametrize("dtype", [np.float64, np.float32])
@pytest.mark.parametrize("operation", [
    lambda x: TarvelArray(x, "km").as_number("m"),
    lambda x: (TarvelArray(x, "m") * TarvelArray(x, "m")).as_number("m2"),
    lambda x: (TarvelArray(x, "m") + Tarvel.unit("km")).as_number("m"),
    lambda x: (TarvelArray(x, "°C") < Tarvel.unit("K") * 300.0),
])
def test_unaligned_magnitudes_give_the_aligned_results(dtype, operation):
    values = np.linspace(-3.0, 40.0, 11)
    expected = operation(np.asarray(values, dtype=dtype))
    np.testing.assert_array_equal(operation(unaligned(values, dtype)), expected)
