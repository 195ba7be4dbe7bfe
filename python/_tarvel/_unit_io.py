"""Unit text as every storage format writes and reads it (Arrow, netCDF, JSON, pydantic).

A format stores magnitudes untouched plus a *unit record*: the canonical unit text (what ``str()`` shows
between the brackets) and, only when that text does not read back to the same units (a custom unit, an
exponent the reader does not take, units whose shortest form is a plain number such as "in/m"), the
exact definition of the units as well. Reading a record gives back units in which the stored magnitudes
mean what they meant when written, so a round trip is bit for bit.

`read_unit` and `write_cf` are the two places where unit notation is read and written in a foreign
convention; each is one function so that another reader or writer can be put in its place.
"""

from __future__ import annotations

import importlib
from typing import Any

_tarvel = importlib.import_module("tarvel")
Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray

__all__ = ["read_unit", "unit_text", "unit_record", "units_from_record", "write_cf", "parts"]

# Units whose factors differ by at most this much relatively are the same units reached by two roads
# ("km2/hr2" against km/hr squared): magnitudes are never changed for such a difference.
_SAME_FACTOR = 4 * 2.0**-52


def read_unit(text: str) -> Tarvel:
    """The quantity that `text` names: unit text, optionally with a number ("0.001 m", "9.81 m/s2").

    Every format reads unit text through this one function.
    """
    if not isinstance(text, str):
        raise TypeError(f"unit text is a str, not {type(text).__name__}")
    stripped = text.strip()
    if not stripped or stripped == "1":
        return Tarvel.empty()
    return Tarvel.parse(stripped)


def unit_text(units: Any) -> str:
    """The canonical text of the units of `units` (a Tarvel or TarvelArray): str()'s text in brackets."""
    text = units.units().unit_text()
    return text[1:-1] if text.startswith("[") and text.endswith("]") else text


def _definition(units: Tarvel) -> list[Any]:
    """The exact state of a quantity of magnitude 1 in `units`, as JSON-friendly nested lists."""
    state = units.units().__reduce__()[1][0]

    def listed(value: Any) -> Any:
        return [listed(v) for v in value] if isinstance(value, tuple) else value

    return listed(state)


def _rebuild(definition: Any) -> Tarvel:
    def tupled(value: Any) -> Any:
        return tuple(tupled(v) for v in value) if isinstance(value, list) else value

    try:
        return Tarvel._from_state(tupled(definition))
    except (TypeError, ValueError) as error:
        raise ValueError(f"the stored unit definition {definition!r} is not one of a quantity: {error}") from None


def _reads_back(text: str, units: Tarvel) -> bool:
    try:
        read = read_unit(text)
        ratio = units.units().as_number(read)
    except (LookupError, TypeError, ValueError):
        return False
    return abs(ratio - 1.0) <= _SAME_FACTOR and unit_text(read) == text


def unit_record(units: Any) -> dict[str, Any]:
    """{"unit": canonical text}, with "definition" added when the text alone would not give the units back."""
    units = units.units()
    text = unit_text(units)
    record: dict[str, Any] = {"unit": text}
    if not _reads_back(text, units):
        record["definition"] = _definition(units)
    return record


def units_from_record(record: dict[str, Any]) -> Tarvel:
    """The quantity of magnitude 1 in the units a record names (its definition when it has one)."""
    if record.get("definition") is not None:
        return _rebuild(record["definition"]).units()
    text = record.get("unit")
    if not isinstance(text, str):
        raise ValueError(f"a unit record has the unit text under 'unit', not {record!r}")
    read = read_unit(text)
    if read.as_number(read.units()) != 1.0:
        raise ValueError(f"the unit text {text!r} is the quantity {read}, not units that magnitudes are in")
    return read.units()


def quantity(magnitude: float, units: Tarvel) -> Tarvel:
    """`magnitude` in exactly `units` (no simplification on the way, unlike `magnitude * units`)."""
    state = units.__reduce__()[1][0]
    return Tarvel._from_state((state[0], float(magnitude), *state[2:]))


def array(magnitudes: Any, units: Tarvel) -> Any:
    """A TarvelArray over `magnitudes` (not copied) in exactly `units`."""
    return TarvelArray._from_parts(magnitudes, units)


def parts(array: Any) -> tuple[Any, Tarvel]:
    """The magnitudes (not copied: an ndarray or a dask array) and the unit of a TarvelArray."""
    magnitudes, unit = array.__reduce__()[1]
    return magnitudes, unit


def write_cf(units: Any) -> str:
    """The units in the notation of netCDF files (UDUNITS): "kg m s-2" for kg.m/s2, "1" for none.

    Terms keep tarvel's symbols, in the order of the shortest form ``str()`` shows; units whose shortest
    form carries a number (in/m is 0.0254) are written as that scaled unit ("0.0254").
    """
    simplest = units.units().simplify()
    _, magnitude, terms, _, _ = simplest.__reduce__()[1][0]
    words = [_number(magnitude)] if magnitude != 1.0 else []
    words += [symbol if exponent == 1 else f"{symbol}{_number(exponent)}" for _, symbol, _, _, _, exponent in terms if exponent != 0]
    return " ".join(words) if words else "1"


def _number(value: float) -> str:
    return str(int(value)) if value == int(value) and abs(value) < 2**53 else repr(value)
