"""Units in xarray objects read from and written to files (netCDF keeps them in ``attrs["units"]``).

    ds = xr.open_dataset("air.nc").tarvel.quantify()     # variables with readable units -> TarvelArray
    ds.tarvel.dequantify().to_netcdf("out.nc")            # magnitudes, canonical unit text in attrs
    ds.tarvel.dequantify(cf=True)                         # unit text in netCDF's (UDUNITS) notation

`quantify` wraps the magnitudes, untouched (a dask array stays lazy), with the units its attribute
names; a variable whose units text carries a number ("0.001 m") gets that factor applied. It leaves
alone, and reports in one `UnitsLeftAlone` warning, time variables (datetime values, or units such as
"days since 2000-01-01"), index coordinates (an xarray index holds plain values) and units it cannot
read. `dequantify` is the inverse; units whose text does not read back carry their exact definition in
``attrs["tarvel_units_definition"]``, which `quantify` uses.

Importing this module (``tarvel.xarray`` does) adds ``quantify``/``dequantify`` to the ``.tarvel``
accessor of DataArray and registers the ``.tarvel`` accessor of Dataset.
"""

from __future__ import annotations

import importlib
import json
import re
import warnings
from typing import Any

from . import _lazy, _unit_io

xr = _lazy.require("xarray", "xarray")
_tarvel = importlib.import_module("tarvel")
TarvelArray = _tarvel.TarvelArray

__all__ = ["quantify", "dequantify", "UnitsLeftAlone", "TarvelDatasetAccessor"]

DEFINITION = "tarvel_units_definition"
_TIME_UNITS = re.compile(r"\bsince\b", re.IGNORECASE)


class UnitsLeftAlone(UserWarning):
    """`quantify` left variables as they were: time variables, index coordinates, unreadable units."""


def _quantified(variable: Any, name: Any, is_index: bool, reasons: dict[Any, str], override: Any) -> Any:
    """`variable` with TarvelArray data, or unchanged (with the reason noted) when it cannot be."""
    data = variable.data
    if isinstance(data, TarvelArray):
        return variable
    text = override if override is not None else variable.attrs.get("units")
    if text is None:
        return variable
    if variable.dtype.kind in "mM" or (isinstance(text, str) and _TIME_UNITS.search(text)):
        reasons[name] = f"a time variable (units {text!r})"
        return variable
    if is_index:
        reasons[name] = f"an index coordinate: an xarray index holds plain values (units {text!r})"
        return variable
    if variable.dtype.kind not in "fiu":
        reasons[name] = f"its values are {variable.dtype}, not numbers"
        return variable
    try:
        definition = variable.attrs.get(DEFINITION) if override is None else None
        if definition is not None:
            quantity = _unit_io.units_from_record({"unit": text, "definition": json.loads(definition)})
        else:
            quantity = _unit_io.read_unit(text)
    except (LookupError, TypeError, ValueError) as error:
        reasons[name] = f"its units {text!r} do not read ({error})"
        return variable
    if variable.dtype.kind != "f":
        data = data.astype("float64")
    units = quantity.units()
    magnitude = quantity.as_number(units)
    wrapped = _unit_io.array(data, units) if magnitude == 1.0 else _unit_io.array(data, units) * magnitude
    attrs = {k: v for k, v in variable.attrs.items() if k not in ("units", DEFINITION)}
    return _rebuilt(variable, wrapped, attrs)


def _rebuilt(variable: Any, data: Any, attrs: dict[str, Any]) -> Any:
    return xr.Variable(variable.dims, data, attrs, encoding=dict(variable.encoding), fastpath=True)


def _dequantified(variable: Any, cf: bool) -> Any:
    data = variable.data
    if not isinstance(data, TarvelArray):
        return variable
    magnitudes, unit = _unit_io.parts(data)
    record = _unit_io.unit_record(unit)
    attrs = dict(variable.attrs)
    attrs["units"] = _unit_io.write_cf(unit) if cf else record["unit"]
    if "definition" in record:
        attrs[DEFINITION] = json.dumps(record["definition"])
    return _rebuilt(variable, magnitudes, attrs)


def _report(reasons: dict[Any, str]) -> None:
    if reasons:
        listed = "; ".join(f"{name!r}: {why}" for name, why in reasons.items())
        warnings.warn(f"quantify left these variables as they were: {listed}", UnitsLeftAlone, stacklevel=3)


def quantify(obj: Any, units: dict[Any, str] | None = None) -> Any:
    """`obj` (a DataArray or Dataset) with every variable and coordinate whose ``attrs["units"]`` reads
    (or whose name `units` maps to unit text) holding a TarvelArray; the others reported."""
    units = dict(units or {})
    reasons: dict[Any, str] = {}
    if isinstance(obj, xr.DataArray):
        data_name = obj.name
        variable = _quantified(obj.variable, data_name if data_name is not None else "<data>", False, reasons,
                               units.pop(data_name, None) if data_name is not None else units.pop(None, None))
        coords = _quantified_coords(obj, units, reasons)
        result = xr.DataArray(variable.data, dims=variable.dims, coords=coords, name=obj.name,
                              attrs=variable.attrs)
        result.encoding = dict(obj.encoding)
    elif isinstance(obj, xr.Dataset):
        variables = {name: _quantified(var, name, False, reasons, units.pop(name, None))
                     for name, var in obj.data_vars.variables.items() if name in obj.data_vars}
        coords = _quantified_coords(obj, units, reasons)
        result = xr.Dataset({name: xr.DataArray(v.data, dims=v.dims, attrs=v.attrs) for name, v in variables.items()},
                            coords=coords, attrs=obj.attrs)
        for name, v in variables.items():
            result[name].encoding = dict(v.encoding)
        result.encoding = dict(obj.encoding)
    else:
        raise TypeError(f"quantify takes an xarray DataArray or Dataset, not {type(obj).__name__}")
    if units:
        raise KeyError(f"quantify was given units for {sorted(map(str, units))}, which are not variables here")
    _report(reasons)
    return result


def _quantified_coords(obj: Any, units: dict[Any, str], reasons: dict[Any, str]) -> dict[Any, Any]:
    coords = {}
    for name, coordinate in obj.coords.items():
        variable = _quantified(coordinate.variable, name, name in obj.xindexes, reasons, units.pop(name, None))
        coords[name] = variable
    return coords


def dequantify(obj: Any, cf: bool = False) -> Any:
    """`obj` with every TarvelArray variable back to plain magnitudes and its unit text in
    ``attrs["units"]``: the canonical text, or netCDF's (UDUNITS) notation with ``cf=True``."""
    if isinstance(obj, xr.DataArray):
        variable = _dequantified(obj.variable, cf)
        coords = {name: _dequantified(c.variable, cf) for name, c in obj.coords.items()}
        result = xr.DataArray(variable.data, dims=variable.dims, coords=coords, name=obj.name, attrs=variable.attrs)
        result.encoding = dict(obj.encoding)
        return result
    if isinstance(obj, xr.Dataset):
        data_vars = {name: _dequantified(obj[name].variable, cf) for name in obj.data_vars}
        coords = {name: _dequantified(c.variable, cf) for name, c in obj.coords.items()}
        result = xr.Dataset({name: xr.DataArray(v.data, dims=v.dims, attrs=v.attrs) for name, v in data_vars.items()},
                            coords=coords, attrs=obj.attrs)
        for name, v in data_vars.items():
            result[name].encoding = dict(v.encoding)
        result.encoding = dict(obj.encoding)
        return result
    raise TypeError(f"dequantify takes an xarray DataArray or Dataset, not {type(obj).__name__}")


@xr.register_dataset_accessor("tarvel")
class TarvelDatasetAccessor:
    """``ds.tarvel``: `quantify` and `dequantify` of a whole Dataset."""

    def __init__(self, dataset: Any) -> None:
        self._ds = dataset

    def quantify(self, units: dict[Any, str] | None = None) -> Any:
        """The Dataset with readable ``attrs["units"]`` turned into TarvelArray data (see tarvel.xarray_units)."""
        return quantify(self._ds, units)

    def dequantify(self, cf: bool = False) -> Any:
        """The Dataset with plain magnitudes and unit text in ``attrs["units"]``."""
        return dequantify(self._ds, cf)


def _data_array(accessor: Any) -> Any:
    for value in vars(accessor).values():
        if isinstance(value, xr.DataArray):
            return value
    raise TypeError("the .tarvel accessor holds no DataArray")


def _data_array_quantify(self: Any, units: dict[Any, str] | None = None) -> Any:
    """The DataArray (and its coordinates) with readable ``attrs["units"]`` turned into TarvelArray data."""
    return quantify(_data_array(self), units)


def _data_array_dequantify(self: Any, cf: bool = False) -> Any:
    """The DataArray with plain magnitudes and unit text in ``attrs["units"]``."""
    return dequantify(_data_array(self), cf)


def _extend_data_array_accessor() -> None:
    # The DataArray accessor is tarvel.xarray's; these two methods join it.
    importlib.import_module("tarvel.xarray")
    accessor = xr.DataArray.tarvel
    accessor.quantify = _data_array_quantify
    accessor.dequantify = _data_array_dequantify


_extend_data_array_accessor()
