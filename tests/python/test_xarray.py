"""xarray DataArrays that wrap a TarvelArray keep their units; the .tarvel accessor and its plot."""

import numpy as np
import pytest
from hypothesis import Phase, given, settings, strategies as st
from hypothesis.extra import numpy as hnp

xr = pytest.importorskip("xarray")

import tarvel.xarray  # noqa: E402,F401
from tarvel import Tarvel, TarvelArray  # noqa: E402


def missing_for_xarray():
    """What TarvelArray lacks that xarray's reductions and joins call (empty once it has everything)."""
    missing = [f"the attribute {name}" for name in ("real", "imag") if not hasattr(TarvelArray, name)]
    try:
        np.result_type(TarvelArray([1.0], "m"))
    except TypeError:
        missing.append("a rule for numpy.result_type")
    return missing


# Expected to fail, strictly, for as long as the array lacks what xarray needs; they run as plain tests
# once it has it.
needs_duck_array = pytest.mark.xfail(bool(missing_for_xarray()), strict=True,
                                     reason="TarvelArray lacks " + ", ".join(missing_for_xarray()))


def assert_quantity(actual, magnitudes, unit):
    """`actual` is a TarvelArray in exactly `unit` holding exactly `magnitudes`."""
    assert isinstance(actual, TarvelArray), type(actual)
    assert str(actual.units()) == str(Tarvel.unit(unit))
    np.testing.assert_array_equal(actual.as_number(unit), magnitudes)


def minutes(values, dims=("x", "y")):
    values = np.asarray(values, dtype=float)
    coords = {dims[-1]: np.arange(values.shape[-1]) * 10}
    return xr.DataArray(TarvelArray(values, "min"), dims=dims[: values.ndim], coords=coords)


# xarray's failure reports run deep; explaining a failing example would take minutes.
quick = settings(max_examples=15, deadline=None, phases=[p for p in Phase if p != Phase.explain])

grids = hnp.arrays(np.float64, hnp.array_shapes(min_dims=2, max_dims=2, min_side=1, max_side=4),
                   elements=st.floats(-1e6, 1e6, allow_nan=False))


@pytest.mark.parametrize("operation, unit, expected", [
    (lambda da: da + da, "min", lambda v: v + v),
    (lambda da: da - Tarvel.unit("s") * 30, "min", lambda v: v - 0.5),
    (lambda da: da * Tarvel.unit("km"), "min.km", lambda v: v * 1.0),
    (lambda da: -da, "min", lambda v: -v),
    (lambda da: abs(da), "min", np.abs),
    (lambda da: np.sqrt(da * da), "min", lambda v: np.sqrt(v * v)),
])
@quick
@given(values=grids)
def test_arithmetic_keeps_units(operation, unit, expected, values):
    result = operation(minutes(values))
    assert result.dims == ("x", "y")
    assert_quantity(result.data, expected(values), unit)


def test_mixed_units_convert_and_incompatible_ones_raise():
    assert_quantity((minutes([[1.0]]) + xr.DataArray(TarvelArray([[30.0]], "s"), dims=("x", "y"))).data,
                    [[1.5]], "min")
    with pytest.raises(TypeError, match="not compatible"):
        minutes([[1.0]]) + xr.DataArray(TarvelArray([[1.0]], "kg"), dims=("x", "y"))


@pytest.mark.parametrize("select, expected", [
    (lambda da: da.isel(x=1), [4.0, 5.0, 6.0]),
    (lambda da: da.isel(y=slice(0, 2)), [[1.0, 2.0], [4.0, 5.0]]),
    (lambda da: da.sel(y=20), [3.0, 6.0]),
    (lambda da: da.sel(y=[0, 20]), [[1.0, 3.0], [4.0, 6.0]]),
    (lambda da: da.T, [[1.0, 4.0], [2.0, 5.0], [3.0, 6.0]]),
    pytest.param(lambda da: da.where(da > Tarvel.unit("s") * 150, other=TarvelArray(0.0, "s")),
                 [[0, 0, 3], [4, 5, 6]], marks=needs_duck_array),
    pytest.param(lambda da: da.roll(y=1), [[3, 1, 2], [6, 4, 5]], marks=needs_duck_array),
])
def test_selection_keeps_units(select, expected):
    assert_quantity(select(minutes([[1, 2, 3], [4, 5, 6]])).data, expected, "min")


def test_comparisons_give_plain_booleans():
    result = minutes([[1.0, 2.0]]) > Tarvel.unit("s") * 90
    np.testing.assert_array_equal(result.data, [[False, True]])


# Reductions along a named dimension: the same numbers NumPy gives on the magnitudes, in the data's units.
REDUCTIONS = [("sum", np.sum, "min"), ("mean", np.mean, "min"), ("max", np.max, "min"),
              ("min", np.min, "min"), ("std", np.std, "min"), ("var", np.var, "min2"),
              ("median", np.median, "min"), ("cumsum", np.cumsum, "min")]


@needs_duck_array
@pytest.mark.parametrize("name, reference, unit", REDUCTIONS)
@pytest.mark.parametrize("dim, axis", [("x", 0), ("y", 1)])
@quick
@given(values=grids)
def test_reductions_along_named_dimensions_keep_units(name, reference, unit, dim, axis, values):
    result = getattr(minutes(values), name)(dim)
    assert_quantity(result.data, reference(values, axis=axis), unit)


@pytest.mark.parametrize("name", [pytest.param("sum", marks=needs_duck_array), "mean", "max"])
def test_a_full_reduction_holds_a_tarvel(name):
    result = getattr(minutes([[1.0, 2.0], [3.0, 6.0]]), name)().item()
    assert isinstance(result, Tarvel)
    assert result == Tarvel.unit("min") * getattr(np, name)([1.0, 2.0, 3.0, 6.0])


@needs_duck_array
def test_concat_converts_into_the_first_units_and_refuses_incompatible_ones():
    seconds = xr.DataArray(TarvelArray([[30.0, 60.0]], "s"), dims=("x", "y"), coords={"y": [0, 10]})
    assert_quantity(xr.concat([minutes([[1.0, 2.0]]), seconds], "x").data, [[1.0, 2.0], [0.5, 1.0]], "min")
    with pytest.raises(TypeError, match="not compatible"):
        xr.concat([minutes([[1.0, 2.0]]), seconds.copy(data=TarvelArray([[1.0, 2.0]], "kg"))], "x")


@needs_duck_array
def test_groupby_and_dataset_reductions_keep_units():
    da = minutes([[1.0, 2.0], [3.0, 6.0]]).assign_coords(x=["a", "a"])
    assert_quantity(da.groupby("x").mean().data, [[2.0, 4.0]], "min")
    assert_quantity(xr.Dataset({"v": da}).sum("y")["v"].data, [3.0, 9.0], "min")


def test_the_accessor_converts_and_strips_units_explicitly():
    da = minutes([[1.0, 2.0]])
    assert da.tarvel.units == Tarvel.unit("min")
    assert_quantity(da.tarvel.as_unit("s").data, [[60.0, 120.0]], "s")
    plain = da.tarvel.as_number("s")
    assert isinstance(plain.data, np.ndarray) and plain.attrs["units"] == "s"
    np.testing.assert_array_equal(plain.data, [[60.0, 120.0]])
    with pytest.raises(TypeError, match="not a TarvelArray"):
        xr.DataArray(np.ones(2)).tarvel.units


def test_plain_values_are_refused_rather_than_stripped():
    with pytest.raises(TypeError, match="as_number"):
        minutes([[1.0]]).values


def test_plot_puts_every_series_on_the_first_series_scale():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    plt = pytest.importorskip("matplotlib.pyplot")
    fig, ax = plt.subplots()
    try:
        minutes([1.0, 2.0, 3.0], dims=("t",)).rename("v").tarvel.plot(ax=ax)
        xr.DataArray(TarvelArray([30.0, 90.0], "s"), dims="t", coords={"t": [0, 10]}).tarvel.plot(ax=ax)
        np.testing.assert_array_equal(ax.lines[1].get_xydata(), [[0, 0.5], [10, 1.5]])
        assert "[min]" in ax.get_ylabel()
        with pytest.raises(TypeError):
            xr.DataArray(TarvelArray([1.0], "kg"), dims="t").tarvel.plot(ax=ax)
        mesh = minutes([[1.0, 2.0], [3.0, 4.0]]).tarvel.plot()
        np.testing.assert_array_equal(mesh.get_array().ravel(), [1.0, 2.0, 3.0, 4.0])
    finally:
        plt.close("all")
