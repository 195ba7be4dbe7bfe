"""pydantic (v2) fields of quantities.

``Tarvel`` and ``TarvelArray`` are field types of their own (their ``__get_pydantic_core_schema__``
forwards here). A field takes an instance, the JSON form of tarvel.json (``{"value": 9.81, "unit":
"m/s2"}``), or text (``"9.81 m/s2"``); a plain number (or list of numbers) is a unitless quantity. In
JSON mode the field is written in the JSON form; the JSON schema describes both forms it reads.

A marker in ``Annotated`` constrains the field (the marker classes live in tarvel; any object that
follows the protocol works): one with ``__tarvel_unit__`` (unit text) converts compatible input into
those units (input already in them is kept bit for bit) and refuses the rest with the library's
message; one with ``__tarvel_dimension__`` (a unit expression, or dimension names such as
"length/time2") only checks the dimensions. The marker's own ``__get_pydantic_core_schema__`` calls
`annotated_schema`.

    class Drop(pydantic.BaseModel):
        g: Annotated[Tarvel, tarvel.Unit("m/s2")]
    Drop(g="32.174 ft/s2").g          # 9.80665... [m/s2]
"""

from __future__ import annotations

import functools
import importlib
import re
from typing import Any

from . import _lazy, _unit_io

_lazy.require("pydantic", "pydantic")
from pydantic_core import PydanticCustomError, core_schema  # noqa: E402

_tarvel = importlib.import_module("tarvel")
Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray
_json = importlib.import_module("tarvel.json")

__all__ = ["class_schema", "annotated_schema"]

# Dimension names a dimension marker may use, each the base unit of its dimension.
_DIMENSIONS = {
    "length": "m", "mass": "kg", "time": "s", "current": "A", "temperature": "K", "amount": "mol",
    "substance": "mol", "luminosity": "cd", "luminous_intensity": "cd", "currency": "USD",
    "dimensionless": "",
}
_WORD = re.compile(r"[A-Za-z_]+")


def _refuse(message: str) -> PydanticCustomError:
    return PydanticCustomError("tarvel_units", "{message}", {"message": message})


def _read(value: Any, kind: type) -> Any:
    """`value` (instance, JSON form, text or plain numbers) as a Tarvel or TarvelArray."""
    if isinstance(value, kind):
        return value
    try:
        if isinstance(value, dict):
            result = _json.decode(value)
        elif isinstance(value, str) and kind is Tarvel:
            result = _unit_io.read_unit(value)
        elif isinstance(value, bool):
            raise _refuse(f"{value!r} is not a quantity")
        elif isinstance(value, int | float) and kind is Tarvel:
            result = _unit_io.quantity(float(value), Tarvel.empty())
        elif isinstance(value, list | tuple) and kind is TarvelArray:
            result = TarvelArray([_read(v, Tarvel) if isinstance(v, str | dict) else v for v in value])
        else:
            raise _refuse(f"a {kind.__name__} is read from an instance, its JSON form or text, not "
                          f"{type(value).__name__}")
    except (LookupError, TypeError, ValueError) as error:
        raise _refuse(str(error)) from None
    if not isinstance(result, kind):
        raise _refuse(f"{value!r} is not the JSON form of a {kind.__name__}")
    return result


def _number_schema() -> Any:
    return core_schema.union_schema(
        [core_schema.float_schema(allow_inf_nan=False), core_schema.literal_schema(["NaN", "Infinity", "-Infinity"])])


def _form_schema(kind: type) -> Any:
    unit = core_schema.typed_dict_field(core_schema.str_schema())
    # The exact units, for units whose text does not read back (tarvel._unit_io).
    definition = core_schema.typed_dict_field(core_schema.list_schema(core_schema.any_schema()), required=False)
    if kind is Tarvel:
        fields = {"value": core_schema.typed_dict_field(_number_schema()), "unit": unit, "definition": definition}
        return core_schema.typed_dict_schema(fields)
    fields = {
        "values": core_schema.typed_dict_field(core_schema.list_schema(core_schema.any_schema())),
        "shape": core_schema.typed_dict_field(core_schema.list_schema(core_schema.int_schema(ge=0))),
        "dtype": core_schema.typed_dict_field(core_schema.literal_schema(["float64", "float32"])),
        "unit": unit,
        "definition": definition,
    }
    return core_schema.typed_dict_schema(fields)


def _input_schema(kind: type) -> Any:
    if kind is Tarvel:
        text = core_schema.str_schema(metadata={"pydantic_js_updates": {"examples": ["9.81 m/s2"]}})
        return core_schema.union_schema([_form_schema(kind), text])
    return _form_schema(kind)


@functools.cache
def _base_schema(kind: type) -> Any:
    return core_schema.no_info_plain_validator_function(
        functools.partial(_read, kind=kind),
        json_schema_input_schema=_input_schema(kind),
        serialization=core_schema.plain_serializer_function_ser_schema(
            _json.encode, when_used="json", return_schema=_form_schema(kind)),
    )


def class_schema(cls: type, source: Any = None, handler: Any = None) -> Any:
    """The schema of a bare ``Tarvel`` or ``TarvelArray`` field (the classes' schema hook)."""
    if cls not in (Tarvel, TarvelArray):
        raise TypeError(f"tarvel's pydantic schemas are for Tarvel and TarvelArray, not {cls!r}")
    return _base_schema(cls)


@functools.lru_cache(maxsize=256)
def _dimension_units(text: str) -> Tarvel:
    """A quantity with the dimensions `text` names: a unit expression or dimension names ("length/time2")."""
    try:
        return _unit_io.read_unit(text)
    except (LookupError, ValueError):
        pass

    def symbol(match: re.Match[str]) -> str:
        name = match.group(0).lower()
        if name not in _DIMENSIONS:
            raise LookupError(f"{match.group(0)!r} in the dimension {text!r} is neither a unit nor one of "
                              f"the dimension names {', '.join(sorted(_DIMENSIONS))}")
        return _DIMENSIONS[name]

    return _unit_io.read_unit(_WORD.sub(symbol, text))


def _converter(unit_text: str) -> Any:
    target = _unit_io.read_unit(unit_text).units()
    canonical = _unit_io.unit_text(target)

    def convert(value: Any) -> Any:
        if _unit_io.unit_text(value) == canonical:
            return value  # already in these units: magnitudes untouched
        try:
            return value.as_unit(target)
        except (TypeError, ValueError) as error:
            raise _refuse(str(error)) from None

    return convert


def _dimension_check(dimension_text: str) -> Any:
    probe = _dimension_units(dimension_text)

    def check(value: Any) -> Any:
        if not value.units().is_compatible(probe):
            try:
                value.units().as_unit(probe)  # the library's own message for the mismatch
            except (TypeError, ValueError) as error:
                raise _refuse(f"{error} (the field's dimension is {dimension_text!r})") from None
            raise _refuse(f"{value} does not have the dimension {dimension_text!r}")
        return value

    return check


def annotated_schema(marker: Any, source: Any, handler: Any) -> Any:
    """The schema of ``Annotated[Tarvel | TarvelArray, marker]``: the inner schema, then the marker's unit
    conversion or dimension check."""
    inner = handler(source)
    unit = getattr(marker, "__tarvel_unit__", None)
    dimension = getattr(marker, "__tarvel_dimension__", None)
    if unit is not None:
        try:
            step, note = _converter(unit), f"in [{unit}] (compatible input is converted)"
        except (LookupError, TypeError, ValueError) as error:
            raise TypeError(f"the unit of the annotation {marker!r} does not read: {error}") from None
    elif dimension is not None:
        try:
            step, note = _dimension_check(dimension), f"of dimension {dimension}"
        except (LookupError, TypeError, ValueError) as error:
            raise TypeError(f"the dimension of the annotation {marker!r} does not read: {error}") from None
    else:
        raise TypeError(f"{marker!r} has neither __tarvel_unit__ nor __tarvel_dimension__")
    return core_schema.no_info_after_validator_function(
        step, inner, metadata={"pydantic_js_updates": {"description": f"A quantity {note}."}})
