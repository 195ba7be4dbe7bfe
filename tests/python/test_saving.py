"""Saving quantities: Parquet, Feather, Arrow, netCDF, JSON, pydantic and HDF5 give back the same
magnitudes bit for bit, the same units and the same dtypes."""

import json
import os
import subprocess
import sys
import warnings
from typing import Annotated

import numpy as np
import pytest
from hypothesis import HealthCheck, assume, given, settings, strategies as st
from hypothesis.extra import numpy as hnp

from tarvel import LogTarvel, Tarvel, TarvelArray

SMOOT = Tarvel.custom("smoot", "smt", Tarvel.unit("m") * 1.7018)
# Prefixed, custom, temperature and plain units; powers include fractional ones.
BASES = [Tarvel.unit(t) for t in ("km", "mK", "us", "kg.m/s2", "°C", "°F", "hPa", "hr", "in/m")] + [SMOOT]
POWERS = [1, 1, -1, 2, 0.5, -1.5]
SLOW = settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@st.composite
def units(draw):
    terms = draw(st.lists(st.tuples(st.sampled_from(BASES), st.sampled_from(POWERS)), min_size=1, max_size=3))
    result = Tarvel.empty()
    try:
        for base, power in terms:
            result = result * base**power
    except (TypeError, ValueError):
        assume(False)
    return result.units()


def magnitudes(dtype, ndim=1):
    # Missing values are NaN; -0.0, infinities and subnormals are values like any other.
    return hnp.arrays(dtype, hnp.array_shapes(min_dims=ndim, max_dims=ndim, max_side=6),
                      elements=st.floats(width=np.dtype(dtype).itemsize * 8))


def text(units_):
    return units_.units().unit_text()


def canonical_nan(values):
    """JSON has one NaN: every NaN reads back as the standard one."""
    values = np.array(values)
    values[np.isnan(values)] = np.nan
    return values


def same_float(a, b):
    return np.float64(a).tobytes() == np.float64(b).tobytes() or (a != a and b != b)


def assert_same(actual, expected, nan_payloads=True):
    """Same class, units, dtype and bits (NaN payloads aside when `nan_payloads` is False)."""
    assert isinstance(actual, TarvelArray), type(actual)
    assert text(actual) == text(expected)
    a, b = actual.__reduce__()[1][0], expected.__reduce__()[1][0]
    a, b = np.asarray(a), np.asarray(b)
    assert a.dtype == b.dtype and a.shape == b.shape
    if not nan_payloads:
        a, b = canonical_nan(a), canonical_nan(b)
    assert a.tobytes() == b.tobytes()


# -- Arrow: Parquet, Feather, tables -----------------------------------------------------------------
pa = pytest.importorskip("pyarrow")
pq = pytest.importorskip("pyarrow.parquet")
pd = pytest.importorskip("pandas")
import tarvel.arrow  # noqa: E402
import tarvel.pandas  # noqa: E402


def frame(values, units_):
    column = pd.array(TarvelArray(values, units_, copy=False), dtype=tarvel.pandas.TarvelDtype(units_))
    return pd.DataFrame({"q": column, "n": np.arange(len(values))})


@SLOW
@given(units(), magnitudes(np.float64), st.sampled_from(["parquet", "feather"]))
def test_pandas_files_round_trip(tmp_path_factory, units_, values, kind):
    path = tmp_path_factory.mktemp("f") / f"data.{kind}"
    original = frame(values, units_)
    getattr(original, f"to_{kind}")(path)
    back = getattr(pd, f"read_{kind}")(path)
    assert back["q"].dtype == original["q"].dtype
    assert_same(back["q"].array.quantity, original["q"].array.quantity)


@SLOW
@given(units(), st.sampled_from([np.float64, np.float32]).flatmap(magnitudes))
def test_arrow_arrays_keep_width_and_bits_through_parquet(tmp_path_factory, units_, values):
    original = TarvelArray(values, units_, copy=False)
    table = pa.table({"q": pa.array(original)})
    path = tmp_path_factory.mktemp("p") / "t.parquet"
    pq.write_table(table, path)
    assert_same(tarvel.arrow.to_tarvel_array(pq.read_table(path)["q"]), original)


def test_tables_convert_both_ways_and_refuse_plain_or_multidimensional_requests():
    df = frame(np.array([1.5, np.nan]), Tarvel.unit("km/hr"))
    table = pa.Table.from_pandas(df)
    assert isinstance(table.schema.field("q").type, tarvel.arrow.TarvelType)
    assert table.to_pandas()["q"].dtype == df["q"].dtype
    assert pa.Table.from_pandas(df, schema=table.schema).schema.equals(table.schema)
    assert pa.array(TarvelArray([1.0], "m"))[0].as_py() == Tarvel.unit("m")
    with pytest.raises(TypeError, match="float64 or float32"):
        tarvel.arrow.to_arrow(TarvelArray([1.0], "m"), pa.int64())
    with pytest.raises(ValueError, match="one-dimensional"):
        pa.array(TarvelArray([[1.0]], "m"))
    with pytest.raises(TypeError, match="no units"):
        tarvel.arrow.to_tarvel_array(pa.array([1.0]))


def test_nulls_written_by_other_tools_read_as_missing():
    storage = pa.array([1.0, None])
    column = pa.ExtensionArray.from_storage(tarvel.arrow.TarvelType("m"), storage)
    result = tarvel.arrow.to_tarvel_array(column).as_number("m")
    assert result[0] == 1.0 and np.isnan(result[1])


def test_a_reader_without_tarvel_sees_plain_floats_and_the_unit(tmp_path):
    path = tmp_path / "plain.parquet"
    frame(np.array([2.5, np.nan]), Tarvel.unit("km/hr")).to_parquet(path)
    script = (
        "import json, sys, pyarrow.parquet as pq\n"
        f"table = pq.read_table({str(path)!r})\n"
        "field = table.schema.field('q')\n"
        "assert str(field.type) == 'double', field.type\n"
        "assert 'tarvel' not in ' '.join(sys.modules)\n"
        "print(json.loads(field.metadata[b'ARROW:extension:metadata'])['unit'], table['q'].to_pylist()[0])\n"
    )
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env, check=True)
    assert result.stdout.split() == ["km/hr", "2.5"]


def test_dask_dataframes_write_and_read_parquet_lazily(tmp_path):
    dd = pytest.importorskip("dask.dataframe")
    df = frame(np.array([1.5, np.nan, -0.0, 3.0]), Tarvel.unit("°F"))
    dd.from_pandas(df, npartitions=2).to_parquet(tmp_path / "d")
    lazy = dd.read_parquet(tmp_path / "d")
    assert lazy.dtypes["q"] == df["q"].dtype
    assert_same(lazy.compute()["q"].array.quantity, df["q"].array.quantity)


# -- netCDF -------------------------------------------------------------------------------------------
xr = pytest.importorskip("xarray")
import tarvel.xarray  # noqa: E402


@SLOW
@given(units(), st.sampled_from([np.float64, np.float32]).flatmap(lambda d: magnitudes(d, 2)))
def test_netcdf_round_trip(tmp_path_factory, units_, values):
    pytest.importorskip("scipy")
    original = xr.Dataset({"q": (("t", "x"), TarvelArray(values, units_, copy=False), {"long_name": "q"})},
                          coords={"lat": ("x", TarvelArray(np.arange(values.shape[1], dtype=float), "°"))})
    path = tmp_path_factory.mktemp("n") / "d.nc"
    original.tarvel.dequantify().to_netcdf(path, engine="scipy")
    with xr.open_dataset(path, engine="scipy") as opened:
        back = opened.load().tarvel.quantify()
    assert_same(back["q"].data, original["q"].data)
    assert_same(back["lat"].data, original["lat"].data)
    assert back["q"].attrs == {"long_name": "q"}


def test_quantify_reports_what_it_leaves_and_stays_lazy(tmp_path):
    pytest.importorskip("dask")
    import tarvel.dask

    ds = xr.Dataset(
        {"t": ("x", np.array([1.0, 2.0]), {"units": "°C"}), "bad": ("x", np.ones(2), {"units": "zz"}),
         "days": ("x", np.ones(2), {"units": "days since 2000-01-01"})},
        coords={"x": ("x", [0.0, 1.0], {"units": "km"})})
    with pytest.warns(tarvel.xarray_units.UnitsLeftAlone, match=r"'bad'.*zz.*'days'.*time.*'x'.*index"):
        quantified = ds.tarvel.quantify()
    assert isinstance(quantified["t"].data, TarvelArray)
    assert quantified["bad"].attrs["units"] == "zz" and not isinstance(quantified["x"].data, TarvelArray)
    ds[["t"]].to_netcdf(tmp_path / "t.nc", engine="scipy")
    with xr.open_dataset(tmp_path / "t.nc", engine="scipy", chunks={"x": 1}) as opened:
        lazy = opened.tarvel.quantify()
        assert tarvel.dask.is_lazy(lazy["t"].data)
        assert lazy["t"].tarvel.dequantify(cf=True).attrs["units"] == "°C"
        single = opened["t"].tarvel.quantify()
        assert tarvel.dask.is_lazy(single.data)


@pytest.mark.parametrize("unit, cf", [("kg.m/s2", "kg m s-2"), ("km/hr", "km hr-1"), ("W.s.N/J", "N"),
                                      ("", "1")])
def test_cf_unit_text(unit, cf):
    quantity = TarvelArray([1.0], unit or None)
    assert xr.DataArray(quantity).tarvel.dequantify(cf=True).attrs["units"] == cf


# -- JSON ---------------------------------------------------------------------------------------------
import tarvel.json  # noqa: E402


@given(units(), st.floats(), st.sampled_from([np.float64, np.float32]).flatmap(lambda d: magnitudes(d, 2)))
def test_json_round_trip(units_, value, values):
    scalar = tarvel.json.loads(tarvel.json.dumps(Tarvel._from_state((1, value) + units_.__reduce__()[1][0][2:])))
    assert text(scalar) == text(units_)
    assert same_float(float(scalar), value)
    array = TarvelArray(values, units_, copy=False)
    assert_same(tarvel.json.loads(json.dumps({"a": array}, default=tarvel.json.default))["a"], array, False)


def test_json_forms():
    assert json.loads(tarvel.json.dumps(Tarvel.unit("m/s2") * 9.81)) == {"value": 9.81, "unit": "m/s2"}
    form = json.loads(tarvel.json.dumps(TarvelArray([[1.0, np.nan], [-np.inf, np.inf]], "km", dtype="float32")))
    assert form == {"values": [[1.0, "NaN"], ["-Infinity", "Infinity"]], "shape": [2, 2], "dtype": "float32",
                    "unit": "km"}
    level = LogTarvel.unit("dB") * 3.1
    assert json.loads(tarvel.json.dumps(level)) == {"kind": "log", "value": 3.1, "unit": "dB"}
    assert tarvel.json.loads(tarvel.json.dumps(level)).__reduce__() == level.__reduce__()
    assert tarvel.json.loads('{"name": "x", "unit": 1}') == {"name": "x", "unit": 1}


@pytest.mark.parametrize("form, message", [
    ({"values": [1, 2], "shape": [3], "dtype": "float64", "unit": "m"}, "shape"),
    ({"values": [1], "shape": [1], "dtype": "int8", "unit": "m"}, "dtype"),
    ({"value": "nan", "unit": "m"}, "not a number"),
    ({"value": 1, "unit": "2 m"}, "not units"),
])
def test_json_refuses_malformed_forms(form, message):
    with pytest.raises(ValueError, match=message):
        tarvel.json.decode(form)


def test_dataframe_table_json_keeps_the_dtype():
    import io

    df = frame(np.array([0.1, np.nan, -0.0, 1e300, np.inf]), Tarvel.unit("km/hr"))
    back = pd.read_json(io.StringIO(df.to_json(orient="table")), orient="table")
    assert back["q"].dtype == df["q"].dtype
    assert_same(back["q"].array.quantity, df["q"].array.quantity)


# -- HDF5 ---------------------------------------------------------------------------------------------
@pytest.mark.parametrize("layout", ["fixed", "table"])
def test_hdf5_round_trip(tmp_path, layout):
    pytest.importorskip("tables")
    import tarvel.hdf

    df = frame(np.array([1.5, np.nan, -0.0]), SMOOT / Tarvel.unit("s"))
    tarvel.hdf.to_hdf(df, tmp_path / "d.h5", key="d", format=layout)
    back = tarvel.hdf.read_hdf(tmp_path / "d.h5", key="d")
    assert back["q"].dtype == df["q"].dtype
    assert_same(back["q"].array.quantity, df["q"].array.quantity)


# -- pydantic -----------------------------------------------------------------------------------------
pydantic = pytest.importorskip("pydantic")
import tarvel.pydantic  # noqa: E402


class Marker:
    """A stand-in for tarvel's annotation markers: the attribute and the schema hook they carry."""

    def __init__(self, **attributes):
        for name, value in attributes.items():
            setattr(self, f"__tarvel_{name}__", value)

    def __get_pydantic_core_schema__(self, source, handler):
        return tarvel.pydantic.annotated_schema(self, source, handler)


class Drop(pydantic.BaseModel):
    g: Annotated[Tarvel, Marker(unit="m/s2")]
    height: Annotated[Tarvel, Marker(dimension="length")]
    times: Annotated[TarvelArray, Marker(unit="s")] | None = None
    any_: Tarvel = Tarvel.empty()


@SLOW
@given(units(), st.floats(), st.sampled_from([np.float64, np.float32]).flatmap(magnitudes))
def test_pydantic_round_trip(units_, value, values):
    class Free(pydantic.BaseModel):
        q: Tarvel
        a: TarvelArray

    scalar = Tarvel._from_state((1, value) + units_.__reduce__()[1][0][2:])
    model = Free(q=scalar, a=TarvelArray(values, units_, copy=False))
    back = Free.model_validate_json(model.model_dump_json())
    assert text(back.q) == text(scalar) and same_float(float(back.q), value)
    assert_same(back.a, model.a, False)


def test_pydantic_converts_checks_and_refuses_with_the_library_message():
    drop = Drop(g="32.174 ft/s2", height={"value": 3, "unit": "km"}, times=[Tarvel.unit("min")])
    assert drop.g == Tarvel.unit("ft/s2") * 32.174 and text(drop.g) == "[m/s2]"
    assert text(drop.height) == "[km]" and drop.times.as_number("s")[0] == 60
    exact = Tarvel.unit("m/s2") * 0.1
    assert Drop(g=exact, height="1 m").g.__reduce__() == exact.__reduce__()
    for bad, message in [({"g": "3 s"}, r"\[s\] and \[m/s2\]"), ({"height": "2 kg"}, "length"),
                         ({"g": 9.81}, r"\[\] and \[m/s2\]"), ({"g": "3 zz"}, "zz not found")]:
        with pytest.raises(pydantic.ValidationError, match=message):
            Drop(**{"g": "1 m/s2", "height": "1 m", **bad})
    schema = Drop.model_json_schema()
    assert "9.81 m/s2" in json.dumps(schema) and schema["properties"]["g"]["description"].startswith("A quantity")


def test_unreadable_annotations_are_refused_when_the_model_is_made():
    with pytest.raises(TypeError, match="does not read"):
        class Broken(pydantic.BaseModel):
            x: Annotated[Tarvel, Marker(unit="zz")]


def test_import_tarvel_loads_none_of_the_storage_libraries():
    script = "import sys, tarvel; print(sorted({'pyarrow', 'pydantic', 'tables', 'xarray', 'pandas'} & set(sys.modules)))"
    assert subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          check=True).stdout.strip() == "[]"
