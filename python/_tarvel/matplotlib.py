"""Plotting quantities with matplotlib: a unit converter for `Tarvel`, `TarvelArray` and lists of `Tarvel`.

    import tarvel.matplotlib
    tarvel.matplotlib.support()          # registers for good
    with tarvel.matplotlib.support():    # or only inside the block
        ax.plot(minutes, distance)

An axis takes the units of the first quantity plotted on it (or the ones given with
`axis.set_units(Tarvel.unit("s"))` or `axis.set_units("s")`); every later series is converted into
them, and a series in incompatible units fails with TypeError. Plain numbers on an axis with units
(limits, `axhline(0)`) are read as already being in the axis' units, as matplotlib does for every unit
system. The axis label is the unit text, unless the label has been set by hand.
"""

import importlib

from . import _lazy

_units = _lazy.require("matplotlib.units", "matplotlib")
_tarvel = importlib.import_module("tarvel")

Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray

__all__ = ["TarvelConverter", "support"]


def _is_quantity(value: object) -> bool:
    return isinstance(value, (Tarvel, TarvelArray))


def _first_element(value: object) -> object:
    # The first leaf of a (nested) sequence; the value itself when it is no sequence.
    while isinstance(value, (list, tuple)) or (hasattr(value, "dtype") and getattr(value, "dtype") == object):
        if len(value) == 0:  # type: ignore[arg-type]
            return None
        value = value[0]  # type: ignore[index]
    return value


def _as_array(value: object) -> "TarvelArray":
    """Any plottable quantity as one TarvelArray (a sequence of Tarvel in its first element's units)."""
    if isinstance(value, TarvelArray):
        return value
    if isinstance(value, Tarvel):
        return TarvelArray([value])
    if hasattr(value, "tolist"):  # object arrays of Tarvel
        value = value.tolist()  # type: ignore[union-attr]
    return TarvelArray(value)


def _as_unit(unit: object) -> "Tarvel":
    return Tarvel.unit(unit) if isinstance(unit, str) else unit  # type: ignore[return-value]


def unit_text(unit: object) -> str:
    """The unit text of a unit tag (a Tarvel of magnitude 1, or unit text): "min", "m/s2", "" if unitless."""
    # unit_text() is the bracketed form str() shows: "[min]", "[]".
    return _as_unit(unit).unit_text()[1:-1]


class TarvelConverter(_units.ConversionInterface):
    """Converts quantities into the axis' units (a `Tarvel` of magnitude 1) and labels the axis."""

    @staticmethod
    def default_units(x, axis):
        return _as_array(x).units()

    @staticmethod
    def axisinfo(unit, axis):
        if unit is None:
            return None
        text = unit_text(unit)
        return _units.AxisInfo(label=text or None)

    @staticmethod
    def convert(value, unit, axis):
        if not _is_quantity(value) and not _is_quantity(_first_element(value)):
            return value  # plain numbers are in the axis' units already
        if unit is None:
            unit = TarvelConverter.default_units(value, axis)
        unit = _as_unit(unit)
        if isinstance(value, Tarvel):
            return value.as_number(unit)
        return _as_array(value).as_number(unit)


_CONVERTED_TYPES = (Tarvel, TarvelArray)


class support:
    """Registers the converter with matplotlib.

    Called alone it stays registered; used as a context manager it restores on exit whatever the
    registry held for these types before (`restore()` does the same by hand).
    """

    def __init__(self, converter: "TarvelConverter | None" = None) -> None:
        registry = _units.registry
        self._saved = {kind: registry.get(kind) for kind in _CONVERTED_TYPES}
        converter = converter if converter is not None else TarvelConverter()
        for kind in _CONVERTED_TYPES:
            registry[kind] = converter

    def restore(self) -> None:
        registry = _units.registry
        for kind, previous in self._saved.items():
            if previous is None:
                registry.pop(kind, None)
            else:
                registry[kind] = previous

    def __enter__(self) -> "support":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.restore()

    def __repr__(self) -> str:
        return "tarvel.matplotlib.support()"
