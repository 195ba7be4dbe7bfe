"""HDF5 files (PyTables) with tarvel columns. pandas' own ``to_hdf`` refuses extension columns, so
these two functions write a tarvel column as its plain float magnitudes and keep its unit record
(tarvel._unit_io) in the node's attributes, where `read_hdf` finds it:

    tarvel.hdf.to_hdf(frame, "data.h5", key="runs")            # any format pandas takes
    tarvel.hdf.read_hdf("data.h5", key="runs")                 # the same dtypes, bit for bit
"""

from __future__ import annotations

import importlib
from typing import Any

from . import _lazy, _unit_io

pd = _lazy.require("pandas", "hdf")
_lazy.require("tables", "hdf")
_pandas = importlib.import_module("tarvel.pandas")

__all__ = ["to_hdf", "read_hdf"]

_ATTRIBUTE = "tarvel_units"


def to_hdf(frame: Any, path: Any, key: str, **kwargs: Any) -> None:
    """Writes `frame` (DataFrame or Series) like ``frame.to_hdf(path, key=key, **kwargs)``, tarvel columns
    as magnitudes with their units in the node's attribute ``tarvel_units``."""
    series_name = None
    if isinstance(frame, pd.Series):
        series_name = frame.name
        frame = frame.to_frame(name=0 if frame.name is None else frame.name)
    records, columns = {}, {}
    for name, column in frame.items():
        if isinstance(column.dtype, _pandas.TarvelDtype):
            magnitudes, unit = _unit_io.parts(column.array.quantity)
            records[str(name)] = _unit_io.unit_record(unit)
            columns[name] = pd.Series(magnitudes, index=frame.index, name=name)
        else:
            columns[name] = column
    plain = pd.DataFrame(columns, index=frame.index)
    plain.columns = frame.columns
    with pd.HDFStore(path, mode=kwargs.pop("mode", "a")) as store:
        store.put(key, plain, **kwargs)
        store.get_storer(key).attrs[_ATTRIBUTE] = {"columns": records, "series": series_name is not None,
                                                  "series_name": series_name}


def read_hdf(path: Any, key: str, **kwargs: Any) -> Any:
    """Reads what `to_hdf` wrote (or any pandas HDF5 node): tarvel columns come back with their dtype."""
    with pd.HDFStore(path, mode="r") as store:
        frame = store.select(key, **kwargs)
        stored = getattr(store.get_storer(key).attrs, _ATTRIBUTE, None) or {"columns": {}}
    for name in frame.columns:
        record = stored["columns"].get(str(name))
        if record is not None:
            units = _unit_io.units_from_record(record)
            magnitudes = frame[name].to_numpy(dtype="float64", copy=True)
            column = pd.array(_unit_io.array(magnitudes, units), dtype=_pandas.TarvelDtype(units))
            frame[name] = pd.Series(column, index=frame.index, name=name)
    if stored.get("series"):
        series = frame.iloc[:, 0]
        series.name = stored.get("series_name")
        return series
    return frame
