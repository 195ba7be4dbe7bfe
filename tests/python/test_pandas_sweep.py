"""Every pandas operation on columns of quantities against the same operation on float64 columns
converted by hand: same numbers, and the units the rule registry gives. Missing values, temperatures and
columns in different (compatible) units are part of the table."""

import os
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

pd = pytest.importorskip("pandas")

from tarvel import Tarvel, TarvelArray  # noqa: E402
from tarvel.pandas import TarvelDtype  # noqa: E402

KM = [1.0, 2.5, np.nan, 4.0, 3.0, 7.5]
METRES = [500.0, np.nan, 1500.0, 2500.0, 800.0, 100.0]
CELSIUS = [20.0, 21.5, np.nan, 25.0, 19.0, 30.5]
SECONDS = [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]


def quantities():
    return pd.DataFrame({"d": pd.Series(KM, dtype="tarvel[km]"), "m": pd.Series(METRES, dtype="tarvel[m]"),
                         "t": pd.Series(CELSIUS, dtype="tarvel[°C]"), "s": pd.Series(SECONDS, dtype="tarvel[s]"),
                         "p": [1.0, np.nan, np.nan, 4.0, 5.0, 6.0]})


def plain():
    """The same frame as float64, every column converted by hand into its expected result units' base:
    m in km."""
    return pd.DataFrame({"d": KM, "m": np.array(METRES) / 1000.0, "t": CELSIUS, "s": SECONDS,
                         "p": [1.0, np.nan, np.nan, 4.0, 5.0, 6.0]})


def _difference_is_interval():
    return str((TarvelArray([25.0], "°C") - TarvelArray([20.0], "°C")).units()) == "1 [K]"


def _spread_is_interval():
    return str(np.nanstd(TarvelArray([25.0, 20.0], "°C")).units()) == "1 [K]"


# Temperature differences and spreads are intervals in kelvin once the operation planner and the rule
# registry say so; until then these rows are expected to fail, strictly.
interval = pytest.mark.xfail(not _difference_is_interval(), strict=True,
                             reason="°C − °C is not yet an interval in K")
spread = pytest.mark.xfail(not _spread_is_interval(), strict=True,
                           reason="the spread of °C values is not yet an interval in K")

# (id, operation on a frame, result units or None for a plain number)
SWEEP = [
    *[(f"series-{name}", lambda f, name=name: getattr(f["d"], name)(), units)
      for name, units in [("sum", "km"), ("mean", "km"), ("median", "km"), ("min", "km"), ("max", "km"),
                          ("std", "km"), ("var", "km2"), ("sem", "km"), ("skew", None), ("kurt", None),
                          ("count", None)]],
    ("temperature-mean", lambda f: f["t"].mean(), "°C"),
    pytest.param("temperature-cov", lambda f: f["t"].cov(f["t"]), "K2", marks=interval),
    ("temperature-row-mean", lambda f: f[["t"]].assign(k=f["t"].astype("tarvel[K]")).mean(axis=1), "°C"),
    ("temperature-max", lambda f: f["t"].max(), "°C"),
    pytest.param("temperature-diff", lambda f: f["t"].diff(), "K", marks=interval),
    pytest.param("temperature-std", lambda f: f["t"].std(), "K", marks=spread),
    pytest.param("temperature-var", lambda f: f["t"].var(), "K2", marks=spread),
    pytest.param("temperature-sem", lambda f: f["t"].sem(), "K", marks=spread),
    pytest.param("temperature-rolling-std", lambda f: f["t"].rolling(3, min_periods=2).std(), "K", marks=spread),
    ("temperature-rolling-mean", lambda f: f["t"].rolling(2).mean(), "°C"),
    ("temperature-groupby-mean", lambda f: f.groupby([0, 0, 1, 1, 2, 2])["t"].mean(), "°C"),
    ("mixed-add", lambda f: f["d"] + f["m"], "km"),
    ("diff", lambda f: f["d"].diff(), "km"),
    ("cumsum", lambda f: f["d"].cumsum(), "km"),
    ("cummax", lambda f: f["d"].cummax(), "km"),
    *[(f"rolling-{name}", lambda f, name=name: getattr(f["d"].rolling(3, min_periods=1), name)(), units)
      for name, units in [("mean", "km"), ("sum", "km"), ("min", "km"), ("max", "km"), ("median", "km"),
                          ("std", "km"), ("var", "km2"), ("count", None)]],
    *[(f"expanding-{name}", lambda f, name=name: getattr(f["d"].expanding(), name)(), units)
      for name, units in [("mean", "km"), ("sum", "km"), ("min", "km"), ("max", "km"), ("median", "km"),
                          ("std", "km"), ("var", "km2")]],
    *[(f"ewm-{name}", lambda f, name=name: getattr(f["d"].ewm(alpha=0.5), name)(), units)
      for name, units in [("mean", "km"), ("sum", "km"), ("std", "km"), ("var", "km2")]],
    ("rolling-frame", lambda f: f[["d", "p"]].rolling(2).mean(), {"d": "km", "p": None}),
    ("rolling-groupby", lambda f: f.assign(g=[0, 0, 0, 1, 1, 1]).groupby("g")["d"].rolling(2).sum(), "km"),
    *[(f"row-{name}", lambda f, name=name: getattr(f[["d", "m"]], name)(axis=1), units)
      for name, units in [("mean", "km"), ("median", "km"), ("std", "km"), ("var", "km2"), ("sem", "km"),
                          ("sum", "km"), ("min", "km"), ("max", "km")]],
    ("row-sum-min-count", lambda f: f[["d", "m"]].sum(axis=1, min_count=2), "km"),
    ("row-mean-no-skipna", lambda f: f[["d", "m"]].mean(axis=1, skipna=False), "km"),
    ("row-max-missing-row", lambda f: (f[["d", "m"]].iloc[[1, 2]] * np.nan).max(axis=1), "km"),
    pytest.param("temperature-row-std", lambda f: f[["t"]].assign(k=f["t"].astype("tarvel[K]") + Tarvel.unit("K"))
                 .std(axis=1), "K", marks=spread),
    ("nlargest", lambda f: f["d"].nlargest(2), "km"),
    ("nsmallest", lambda f: f["d"].nsmallest(3), "km"),
    ("corr", lambda f: f["d"].corr(f["m"]), None),
    ("corr-with-plain", lambda f: f["d"].corr(f["p"]), None),
    ("autocorr", lambda f: f["d"].autocorr(), None),
    ("cov", lambda f: f["d"].cov(f["m"]), "km.m"),
    ("cov-self", lambda f: f["d"].cov(f["d"]), "km2"),
    ("rolling-corr", lambda f: f["d"].rolling(3).corr(f["s"]), None),
    ("rolling-cov", lambda f: f["d"].rolling(3).cov(f["s"]), "km.s"),
    ("expanding-cov-self", lambda f: f["d"].expanding().cov(), "km2"),
    ("ewm-corr", lambda f: f["d"].ewm(alpha=0.5).corr(f["m"]), None),
    ("ewm-cov-plain", lambda f: f["d"].ewm(alpha=0.5).cov(f["p"]), "km"),
    ("frame-corr", lambda f: f[["d", "m", "p"]].corr(), {"d": None, "m": None, "p": None}),
    ("dot-missing", lambda f: f["d"].dot(f["s"]), "km.s"),
    ("dot", lambda f: f["d"].fillna(Tarvel.unit("km")).dot(f["s"]), "km.s"),
    ("interpolate", lambda f: f[["d", "p"]].interpolate(), {"d": "km", "p": None}),
    ("where-nan", lambda f: f["d"].where(f["d"] > Tarvel.unit("km") * 2, [np.nan] * 6), "km"),
    ("where-quantity", lambda f: f["d"].where(f["d"] > Tarvel.unit("km") * 2, Tarvel.unit("m") * 0.0), "km"),
    ("fillna-quantity", lambda f: f["d"].fillna(Tarvel.unit("m") * 500.0), "km"),
]


def hand(operation_id):
    """The same computation on the float64 frame."""
    f = plain()
    g = [0, 0, 1, 1, 2, 2]
    hand_made = {
        "temperature-diff": lambda: f["t"].diff(), "temperature-std": lambda: f["t"].std(),
        "temperature-var": lambda: f["t"].var(), "temperature-sem": lambda: f["t"].sem(),
        "temperature-rolling-std": lambda: f["t"].rolling(3, min_periods=2).std(),
        "temperature-rolling-mean": lambda: f["t"].rolling(2).mean(),
        "temperature-groupby-mean": lambda: f.groupby(g)["t"].mean(),
        "temperature-mean": lambda: f["t"].mean(), "temperature-max": lambda: f["t"].max(),
        "temperature-cov": lambda: f["t"].cov(f["t"]), "temperature-row-mean": lambda: f["t"],
        "temperature-row-std": lambda: f[["t"]].assign(k=f["t"] + 1.0).std(axis=1),
        "row-max-missing-row": lambda: pd.Series([np.nan, np.nan], index=[1, 2]),
        "mixed-add": lambda: f["d"] + f["m"],
        "cov": lambda: f["d"].cov(f["m"] * 1000.0), "cov-self": lambda: f["d"].cov(f["d"]),
        "dot-missing": lambda: np.nan, "dot": lambda: f["d"].fillna(1.0).dot(f["s"]),
        "where-nan": lambda: f["d"].where(f["d"] > 2),
        "where-quantity": lambda: f["d"].where(f["d"] > 2, 0.0),
        "fillna-quantity": lambda: f["d"].fillna(0.5),
    }
    if operation_id in hand_made:
        return hand_made[operation_id]()
    operation = next(row for row in SWEEP if _id(row) == operation_id)
    return _operation(operation)(f)


def _id(row):
    return row.values[0] if hasattr(row, "values") else row[0]


def _operation(row):
    return row.values[1] if hasattr(row, "values") else row[1]


def _ids(rows):
    return [_id(row) for row in rows]


def assert_result(result, expected, units):
    if isinstance(units, dict):
        for name, column_units in units.items():
            assert_result(result[name], expected[name], column_units)
        return
    if units is None:
        assert not isinstance(result, Tarvel) and not isinstance(getattr(result, "dtype", None), TarvelDtype)
        np.testing.assert_allclose(np.asarray(result, dtype=float), np.asarray(expected, dtype=float),
                                   rtol=1e-12, equal_nan=True)
        return
    wanted = TarvelDtype(units)
    if isinstance(result, pd.Series):
        assert result.dtype == wanted, (result.dtype, wanted)
        pd.testing.assert_index_equal(result.index, expected.index, exact=False)
        actual = result.tarvel.as_number()
    else:
        assert isinstance(result, Tarvel), type(result)
        assert TarvelDtype(result.units()) == wanted, (str(result), units)
        actual = result.as_number(result.units())
    np.testing.assert_allclose(np.asarray(actual, dtype=float), np.asarray(expected, dtype=float),
                               rtol=1e-12, atol=1e-12, equal_nan=True)


@pytest.mark.parametrize("identifier, operation, units", SWEEP, ids=_ids(SWEEP))
def test_operation_matches_float64_columns_converted_by_hand(identifier, operation, units):
    assert_result(operation(quantities()), hand(identifier), units)


# (id, operation that must refuse, text the message must hold)
REFUSED = [
    ("row-mean-incompatible", lambda f: f[["d", "s"]].mean(axis=1), "[km] and [s]"),
    ("row-std-incompatible", lambda f: f[["d", "s"]].std(axis=1), "[km] and [s]"),
    ("row-mean-plain", lambda f: f[["d", "p"]].mean(axis=1), "plain numbers"),
    ("where-plain-numbers", lambda f: f["d"].where(f["d"] > Tarvel.unit("km") * 2, [1.0] * 6), "km"),
    ("mask-plain-array", lambda f: f["d"].mask(f["d"] > Tarvel.unit("km") * 2, np.ones(6)), "km"),
    ("fillna-plain", lambda f: f["d"].fillna(0.5), "km"),
    ("prod", lambda f: f["d"].prod(), "km"),
    ("rolling-prod-like", lambda f: f["d"].rolling(2).apply(np.prod), "km"),
    ("sum-incompatible", lambda f: f["d"] + f["s"], "not compatible"),
]


@pytest.mark.parametrize("identifier, operation, text", REFUSED, ids=[row[0] for row in REFUSED])
def test_operation_refuses_naming_the_units(identifier, operation, text):
    frame = quantities()
    before = frame.copy()
    with pytest.raises(TypeError) as raised:
        operation(frame)
    assert text in str(raised.value) or text in str(raised.value.__cause__)
    pd.testing.assert_frame_equal(frame, before)


@pytest.mark.parametrize("setter", [
    lambda s: s.__setitem__(0, 5.0),
    lambda s: s.__setitem__(slice(0, 2), [5.0, 6.0]),
    lambda s: s.__setitem__(slice(0, 2), np.array([5.0, 6.0])),
])
def test_plain_numbers_single_or_in_bulk_follow_one_rule(setter):
    series = quantities()["d"]
    with pytest.raises(TypeError, match="km"):
        setter(series)
    series[0:2] = [np.nan, np.nan]  # NaN is a missing value, alone or in bulk
    series[3] = np.nan
    assert series.isna().tolist() == [True, True, True, True, False, False]
    unitless = pd.Series([1.0, 2.0], dtype="tarvel[]")
    unitless[0:2] = [3.0, 4.0]
    assert unitless.tarvel.as_number().tolist() == [3.0, 4.0]


def test_missing_values_are_nan_quantities_where_values_are_handed_out():
    series = quantities()["t"]
    cells = series.to_numpy()
    assert all(isinstance(cell, Tarvel) for cell in cells)
    assert str(np.asarray(series.array)[2]) == str(list(series)[2]) == "NaN [°C]"
    assert str(cells[2]) == "NaN [°C]"
    seen = series.map(lambda value: str(value.units()))
    assert seen.tolist() == ["1 [°C]"] * 6
    assert series.apply(lambda value: value != value).tolist() == [False, False, True, False, False, False]
    assert series.map(str, na_action="ignore").isna().tolist() == [False, False, True, False, False, False]
    unitless = pd.Series([1.0, np.nan], dtype="tarvel[]")
    np.testing.assert_array_equal(unitless.to_numpy(dtype=float), [1.0, np.nan])
    np.testing.assert_array_equal(unitless.to_numpy(dtype=float, na_value=0.0), [1.0, 0.0])


@pytest.mark.parametrize("make", [lambda a: pd.Series(a), lambda a: pd.DataFrame({"v": a})["v"],
                                  lambda a: pd.Series(a, index=list("abc"), name="v")])
def test_a_tarvel_array_makes_a_tarvel_column(make):
    array = TarvelArray([1.0, np.nan, 3.0], "km/hr")
    series = make(array)
    assert series.dtype == TarvelDtype("km/hr")
    np.testing.assert_array_equal(series.tarvel.as_number(), [1.0, np.nan, 3.0])


def test_hash_is_the_same_in_every_process():
    program = ("import pandas as pd, tarvel.pandas; "
               "print(pd.util.hash_pandas_object(pd.Series([1.0, None], dtype='tarvel[km]')).tolist())")
    outputs = set()
    for seed in ("1", "2"):
        environment = {**os.environ, "PYTHONHASHSEED": seed}
        outputs.add(subprocess.run([sys.executable, "-c", program], env=environment, check=True,
                                   capture_output=True, text=True).stdout)
    assert len(outputs) == 1
    hashes = pd.util.hash_pandas_object(pd.Series([1.0], dtype="tarvel[km]"))
    assert hashes[0] != pd.util.hash_pandas_object(pd.Series([1.0], dtype="tarvel[m]"))[0]


def test_read_csv_reads_numbers_fast_and_quantity_text_cell_by_cell(tmp_path):
    path = tmp_path / "sensor.csv"
    path.write_text("n,c\n1,20.5\n2,\n3,NaN\n4,-3\n")
    frame = pd.read_csv(path, dtype={"c": "tarvel[°C]"})
    assert frame["c"].dtype == TarvelDtype("°C")
    np.testing.assert_array_equal(frame["c"].tarvel.as_number(), [20.5, np.nan, np.nan, -3.0])
    path.write_text("n,c\n1,20.5\n2,300 [K]\n")
    with open(path) as handle:
        handle.readline()
        handle.seek(0)
        frame = pd.read_csv(handle, dtype={"c": TarvelDtype("°C")})
    np.testing.assert_allclose(frame["c"].tarvel.as_number(), [20.5, 26.85])



def test_describe_keeps_the_units_of_each_statistic():
    summary = quantities()["d"].describe()
    hand = plain()["d"].describe()
    assert summary["count"] == hand["count"]
    for statistic in ("mean", "std", "min", "25%", "50%", "75%", "max"):
        assert isinstance(summary[statistic], Tarvel)
        assert summary[statistic].as_number("km") == pytest.approx(hand[statistic], rel=1e-12)


finite = st.floats(-1e6, 1e6, allow_nan=False)
KERNELS = [
    lambda s: s.rolling(3, min_periods=1).mean(), lambda s: s.rolling(2).std(), lambda s: s.expanding().var(),
    lambda s: s.ewm(alpha=0.3).mean(), lambda s: s.groupby(np.arange(len(s)) % 3).sum(),
    lambda s: s.groupby(np.arange(len(s)) % 2).median(), lambda s: s.cummax(),
]


@settings(deadline=None, max_examples=25)
@given(st.lists(st.one_of(finite, st.just(np.nan)), min_size=1, max_size=12),
       st.sampled_from(["km/hr", "°F", "m2", ""]), st.sampled_from(range(len(KERNELS))))
def test_kernels_on_unit_columns_are_the_float64_kernels_bit_for_bit(values, units, kernel):
    result = KERNELS[kernel](pd.Series(values, dtype=f"tarvel[{units}]"))
    expected = KERNELS[kernel](pd.Series(values, dtype="float64"))
    assert isinstance(result.dtype, TarvelDtype)
    np.testing.assert_array_equal(result.tarvel.as_number(), expected.to_numpy())
