"""Columns of quantities in pandas: units survive every operation, or the operation refuses loudly."""

import io
import operator

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

pd = pytest.importorskip("pandas")

from tarvel import Tarvel, TarvelArray  # noqa: E402
from tarvel.pandas import TarvelDtype, read_csv, to_csv  # noqa: E402

SPEED = [1.0, 2.5, np.nan, 4.0]


def column(values=SPEED, units="km/hr"):
    return pd.Series(values, dtype=f"tarvel[{units}]")


def same(series, magnitudes, units):
    assert series.dtype == (units if isinstance(units, TarvelDtype) else TarvelDtype(units))
    np.testing.assert_array_equal(series.tarvel.as_number(), magnitudes)


@pytest.mark.parametrize("text, name", [("tarvel[km/hr]", "tarvel[km/hr]"), ("tarvel[1/s]", "tarvel[1/s]"),
                                        ("tarvel[]", "tarvel[]"), ("tarvel", "tarvel")])
def test_dtype_names_are_canonical_unit_text(text, name):
    assert pd.api.types.pandas_dtype(text).name == name


@pytest.mark.parametrize("text, error", [("tarvel[zz]", LookupError), ("tarvel[in/m]", ValueError)])
def test_dtype_with_bad_units_says_why(text, error):
    with pytest.raises(error):
        pd.Series([1.0], dtype=text)


@pytest.mark.parametrize("op, units", [(operator.add, "km/hr"), (operator.sub, "km/hr"),
                                       (operator.mul, "km.m/hr.s"), (operator.truediv, "")])
def test_column_arithmetic_is_the_array_arithmetic(op, units):
    left, right = column(), column([2.0, 1.0, 3.0, np.nan], "m/s")
    expected = op(left.array.quantity, right.array.quantity)
    same(op(left, right), expected.as_number(expected.units()), units)


@pytest.mark.parametrize("op", [operator.add, operator.mul, operator.truediv])
def test_arithmetic_with_object_column(op):
    # A column of Tarvel objects counts as quantities, element by element.
    left = column()
    other = pd.Series([Tarvel.unit("m/s")] * len(left))
    result = op(left, other)
    expected = op(left.array.quantity, Tarvel.unit("m/s"))
    same(result, expected.as_number(expected.units()), TarvelDtype(expected.units()).units)


@pytest.mark.parametrize("other, units", [(Tarvel.unit("hr"), "km"), (2, "km/hr"), (np.arange(4.0), "km/hr")])
def test_arithmetic_with_quantities_and_numbers(other, units):
    assert (column() * other).dtype == TarvelDtype(units)


@pytest.mark.parametrize("op", [operator.add, operator.sub, operator.lt, operator.floordiv, operator.mod])
def test_incompatible_or_unitless_operands_are_refused(op):
    with pytest.raises(TypeError):
        op(column(), column(units="kg"))


def test_comparisons_convert_and_give_bools():
    result = column() > Tarvel.unit("m/s")  # 1 m/s is 3.6 km/hr
    assert result.dtype == bool and result.tolist() == [False, False, False, True]


@pytest.mark.parametrize("name", ["sum", "mean", "median", "std", "min", "max", "var", "sem"])
def test_reductions_keep_units(name):
    series = column()
    result = getattr(series, name)()
    units = series.tarvel.units() ** 2 if name == "var" else series.tarvel.units()
    assert result.as_number(units) == pytest.approx(getattr(series.tarvel.as_number(), name)())


def test_reductions_without_meaning_are_refused():
    with pytest.raises(TypeError, match="km/hr"):
        column().prod()


@pytest.mark.parametrize("name", ["cumsum", "cummin", "cummax"])
def test_accumulations_keep_units_and_gaps(name):
    series = column()
    same(getattr(series, name)(), getattr(series.tarvel.as_number(), name)(), "km/hr")


@pytest.mark.parametrize("how", ["sum", "mean", "median", "std", "min", "max", "first", "last", "var"])
def test_groupby_aggregations_keep_units(how):
    frame = pd.DataFrame({"g": [1, 1, 2, 2], "v": column()})
    result = frame.groupby("g")["v"].agg(how)
    plain = frame.assign(v=frame["v"].tarvel.as_number()).groupby("g")["v"].agg(how)
    same(result, plain.to_numpy(), "km2/hr2" if how == "var" else "km/hr")


def test_concat_joins_compatible_units_in_the_first_ones():
    one_m_s = TarvelArray([1.0], "m/s").as_number("km/hr")[0]
    same(pd.concat([column([1.0]), column([1.0], "m/s")], ignore_index=True), [1.0, one_m_s], "km/hr")
    # Incompatible columns join as objects: each value keeps its own units.
    mixed = pd.concat([column([1.0]), column([2.0], "kg")], ignore_index=True)
    assert mixed.dtype == object and str(mixed[1]) == "2 [kg]"


def test_sort_unique_isna():
    series = column([3.0, 1.0, np.nan, 3.0])
    same(series.sort_values(ignore_index=True), [1.0, 3.0, 3.0, np.nan], "km/hr")
    assert series.unique().dtype == TarvelDtype("km/hr") and len(series.unique()) == 3
    assert series.isna().tolist() == [False, False, True, False]


def test_astype_converts_between_compatible_dtypes_and_refuses_floats_with_units():
    same(column([3.6]).astype("tarvel[m/s]"), [1.0], "m/s")
    with pytest.raises(TypeError):
        column().astype("tarvel[kg]")
    with pytest.raises(TypeError, match="as_number"):
        column().astype(float)
    assert pd.Series([0.5], dtype="tarvel[]").astype(float).tolist() == [0.5]


def test_accessor():
    series = column()
    assert str(series.tarvel.units()) == "1 [km/hr]"
    same(series.tarvel.as_unit("m/s"), series.tarvel.as_number("m/s"), "m/s")
    assert isinstance(series.tarvel.quantity, TarvelArray)
    with pytest.raises(AttributeError):
        pd.Series([1.0]).tarvel  # noqa: B018


def test_setitem_converts_and_refuses_without_change():
    series = column()
    series[0] = Tarvel.unit("m/s")
    assert series.tarvel.as_number()[0] == Tarvel.unit("m/s").as_number("km/hr")
    with pytest.raises(TypeError):
        series[1] = Tarvel.unit("kg")
    assert series.tarvel.as_number()[1] == 2.5


def test_read_csv_parses_numbers_into_the_dtype_units():
    frame = pd.read_csv(io.StringIO("v\n1\n2.5\n\n3 [km]\n"), dtype={"v": "tarvel[m]"})
    same(frame["v"], [1.0, 2.5, 3000.0], "m")


@pytest.mark.parametrize("units", ["km/hr", "°F", "kg.m2/s2", ""])
def test_csv_round_trip_keeps_units_in_the_header(units):
    frame = pd.DataFrame({"n": [1, 2, 3], "v": column(SPEED[:3], units)})
    text = to_csv(frame, index=False)
    assert text.splitlines()[0] == f"n,v [{units}]"
    pd.testing.assert_frame_equal(read_csv(text), frame)


def test_default_csv_and_json_cells_carry_units():
    series = column()
    back = pd.read_csv(io.StringIO(series.to_csv()), index_col=0, dtype={"0": "tarvel[m/s]"})["0"]
    np.testing.assert_allclose(back.tarvel.as_number("km/hr"), SPEED)
    assert '"2.5 [km\\/hr]"' in series.to_json()


def test_notebook_display():
    formatters = pytest.importorskip("IPython.core.formatters")
    array = column().array
    latex = formatters.LatexFormatter()(array)
    assert latex.startswith("$") and "\\mathrm{\\frac{km}{hr}}" in latex and "NaN" in latex
    assert "[km/hr]" in formatters.HTMLFormatter()(array)


finite = st.floats(-1e6, 1e6, allow_nan=False)


@settings(deadline=None)  # the first example pays for pandas' own warm-up
@given(st.lists(st.one_of(finite, st.just(np.nan)), min_size=1, max_size=20),
       st.sampled_from(["km/hr", "m/s", "mi/hr", "°C", "K"]))
def test_columns_hold_the_array_values_exactly(values, units):
    # Bit for bit what the TarvelArray gives: construction, conversion and the Series round trip.
    array = TarvelArray(values, units)
    series = pd.Series(values, dtype=f"tarvel[{units}]")
    np.testing.assert_array_equal(series.tarvel.as_number(), array.as_number(array.units()))
    target = "K" if units in ("°C", "K") else "km/hr"
    np.testing.assert_array_equal(series.tarvel.as_unit(target).tarvel.as_number(), array.as_number(target))
    np.testing.assert_array_equal(series.cumsum().tarvel.as_number(),
                                  pd.Series(array.as_number(array.units())).cumsum().to_numpy())


@pytest.mark.parametrize("ufunc", [np.sqrt, np.square, np.negative, np.absolute])
def test_ufuncs_follow_the_array_rules(ufunc):
    # Units such as km0.5/hr0.5 need not be unit text the parser reads back.
    series = column()
    expected = ufunc(series.array.quantity)
    result = ufunc(series)
    same(result, expected.as_number(expected.units()), TarvelDtype(expected.units()))
    assert isinstance(result[0], Tarvel)


def test_ufuncs_without_a_unit_rule_and_interpolation():
    with pytest.raises(TypeError):
        np.sin(column())
    same(column().interpolate(), [1.0, 2.5, 3.25, 4.0], "km/hr")
