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

from . import _access, _lazy

_units = _lazy.require("matplotlib.units", "matplotlib")
_tarvel = importlib.import_module("tarvel")

Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray

__all__ = ["TarvelConverter", "support"]


def _is_quantity(value: object) -> bool:
    return isinstance(value, (Tarvel, TarvelArray))


def _leaves(value: object) -> list:
    """The elements of a (nested) sequence or object array, flattened; [value] when it is no sequence."""
    if isinstance(value, (list, tuple)):
        return [leaf for item in value for leaf in _leaves(item)]
    if hasattr(value, "filled") and hasattr(value, "mask"):  # a masked array: masked cells are missing
        data = value.data.astype(object)  # type: ignore[union-attr]
        data[value.mask] = None  # type: ignore[union-attr]
        value = data
    if hasattr(value, "dtype") and getattr(value, "dtype") == object:
        return list(value.ravel()) if hasattr(value, "ravel") else list(value)  # type: ignore[union-attr]
    return [value]


def _first_element(value: object) -> object:
    """The first quantity of a sequence (missing cells may come first); its first element otherwise."""
    leaves = _leaves(value)
    return next((leaf for leaf in leaves if _is_quantity(leaf)), leaves[0] if leaves else None)


def _is_missing(value: object) -> bool:
    return value is None or (isinstance(value, float) and value != value) or type(value).__name__ == "NAType"


def _as_array(value: object) -> "TarvelArray":
    """Any plottable quantity as one TarvelArray (a sequence of Tarvel in its first quantity's units;
    missing cells, as pandas hands them, are NaN)."""
    if isinstance(value, TarvelArray):
        return value
    if isinstance(value, Tarvel):
        return TarvelArray([value])
    leaves = _leaves(value)
    first = next((leaf for leaf in leaves if _is_quantity(leaf)), None)
    if first is not None and any(_is_missing(leaf) for leaf in leaves):
        nan = float("nan") * _access.unit_of(first)
        filled = [nan if _is_missing(leaf) else leaf for leaf in leaves]
        shape = getattr(value, "shape", (len(filled),))
        return TarvelArray(filled).reshape(shape)
    if hasattr(value, "tolist"):  # object arrays of Tarvel
        value = value.tolist()  # type: ignore[union-attr]
    return TarvelArray(value)


_as_unit = _access.unit_of
unit_text = _access.unit_text


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
