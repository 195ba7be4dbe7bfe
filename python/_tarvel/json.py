"""Quantities in JSON, exactly.

The forms (unit text is the canonical text ``str()`` shows between the brackets):

    Tarvel       {"value": 9.81, "unit": "m/s2"}
    TarvelArray  {"values": [[1.0, 2.5], [3.0, "NaN"]], "shape": [2, 2], "dtype": "float64", "unit": "km"}
    LogTarvel    {"kind": "log", "value": 3.0, "unit": "dB"}

Numbers are written with the shortest digits that read back to the same 64-bit float (a float32 array's
values widened to float64 first, which is exact); NaN and the infinities, which JSON has no numbers for,
are the strings "NaN", "Infinity" and "-Infinity". Units whose text does not read back to the same units
(a custom unit, units whose shortest form is a plain number) carry their exact "definition" as well.

    json.dumps(q, default=tarvel.json.default)          json.loads(text, object_hook=tarvel.json.object_hook)
    tarvel.json.dumps(q)                                tarvel.json.loads(text)
"""

from __future__ import annotations

import importlib
import json as _json
import math
from typing import Any

from . import _unit_io

_tarvel = importlib.import_module("tarvel")
Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray
LogTarvel = _tarvel.LogTarvel

__all__ = ["default", "object_hook", "dumps", "loads", "encode", "decode"]

_NON_FINITE = {"NaN": math.nan, "Infinity": math.inf, "-Infinity": -math.inf}
_DTYPES = ("float64", "float32")


def _number(value: float) -> float | str:
    if math.isfinite(value):
        return value
    return "NaN" if value != value else ("Infinity" if value > 0 else "-Infinity")


def _read_number(value: Any, where: str) -> float:
    if isinstance(value, str):
        if value not in _NON_FINITE:
            raise ValueError(f"{where}: {value!r} is not a number (non-finite ones are 'NaN', 'Infinity', "
                             "'-Infinity')")
        return _NON_FINITE[value]
    if isinstance(value, bool) or not isinstance(value, int | float):
        raise ValueError(f"{where}: {value!r} is not a number")
    return float(value)


def _with_unit(form: dict[str, Any], units: Any) -> dict[str, Any]:
    form.update(_unit_io.unit_record(units))
    return form


def encode(value: Any) -> dict[str, Any]:
    """The JSON form (a dict of JSON values) of a Tarvel, TarvelArray or LogTarvel."""
    if isinstance(value, Tarvel):
        return _with_unit({"value": _number(float(value))}, value)
    if isinstance(value, TarvelArray):
        magnitudes, _ = _unit_io.parts(value)
        np = importlib.import_module("numpy")
        magnitudes = np.asarray(magnitudes.compute() if hasattr(magnitudes, "compute") else magnitudes)
        values = magnitudes.astype(np.float64).tolist()
        if not np.isfinite(magnitudes).all():
            values = _map_nested(values, _number)
        form = {"values": values, "shape": list(magnitudes.shape), "dtype": magnitudes.dtype.name}
        return _with_unit(form, value)
    if isinstance(value, LogTarvel):
        _, _, power = value.__reduce__()[1][0]
        text = str(value)
        return {"kind": "log", "value": _number(power), "unit": text[text.rindex("[") + 1 : -1]}
    raise TypeError(f"Object of type {type(value).__name__} is not JSON serializable")


def default(value: Any) -> dict[str, Any]:
    """The hook for ``json.dumps(..., default=default)``: quantities become their JSON form."""
    return encode(value)


def _map_nested(values: Any, function: Any) -> Any:
    if isinstance(values, list):
        return [_map_nested(v, function) for v in values]
    return function(values)


def _units(form: dict[str, Any]) -> Tarvel:
    return _unit_io.units_from_record(form)


def decode(form: dict[str, Any]) -> Any:
    """The quantity a JSON form describes; a dict of another shape comes back unchanged."""
    if "unit" not in form:
        return form
    if form.get("kind") == "log":
        power = _read_number(form.get("value"), "the value of a LogTarvel")
        return LogTarvel.unit(form["unit"]) * power
    if "values" in form:
        return _decode_array(form)
    if "value" in form and form.get("kind", "quantity") == "quantity":
        return _unit_io.quantity(_read_number(form["value"], "the value of a Tarvel"), _units(form))
    return form


def _decode_array(form: dict[str, Any]) -> TarvelArray:
    np = importlib.import_module("numpy")
    dtype = form.get("dtype", "float64")
    if dtype not in _DTYPES:
        raise ValueError(f"the dtype of a TarvelArray is 'float64' or 'float32', not {dtype!r}")
    shape = form.get("shape")
    if not isinstance(shape, list) or not all(isinstance(n, int) and n >= 0 for n in shape):
        raise ValueError(f"the shape of a TarvelArray is a list of lengths, not {shape!r}")
    numbers = _map_nested(form["values"], lambda v: _read_number(v, "a value of a TarvelArray"))
    magnitudes = np.array(numbers, dtype=np.float64)
    if magnitudes.size == 0 and math.prod(shape) == 0:
        magnitudes = magnitudes.reshape(shape)  # [] is every empty shape's list
    if magnitudes.shape != tuple(shape):
        raise ValueError(f"the values of a TarvelArray have shape {list(magnitudes.shape)}, "
                         f"not the shape {shape} it gives")
    return _unit_io.array(magnitudes.astype(dtype), _units(form))


def object_hook(form: dict[str, Any]) -> Any:
    """The hook for ``json.loads(..., object_hook=object_hook)``: JSON forms become quantities."""
    return decode(form)


def dumps(value: Any, **kwargs: Any) -> str:
    """``json.dumps`` with quantities written in their JSON form."""
    kwargs.setdefault("default", default)
    return _json.dumps(value, **kwargs)


def loads(text: str | bytes, **kwargs: Any) -> Any:
    """``json.loads`` with JSON forms read back as quantities."""
    kwargs.setdefault("object_hook", object_hook)
    return _json.loads(text, **kwargs)
