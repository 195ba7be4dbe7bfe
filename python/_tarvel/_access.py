"""What every integration needs from a quantity, in one place: its unit text, and its magnitudes and
units without a copy. Also the table of protocols the array class forwards to the integrations.

Only the standard library and the extension are imported here; each integration brings its own library.
"""

import functools
import importlib
from typing import Any, Callable

_tarvel = importlib.import_module("tarvel")
Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray

__all__ = ["unit_of", "unit_text", "parts", "magnitudes", "from_parts", "forward", "FORWARDED", "wraps"]


def unit_of(unit: Any) -> "Tarvel":
    """A unit tag as the quantity of magnitude 1 in it: a Tarvel is taken as it is, text is read, and a
    TarvelArray gives its own units."""
    if isinstance(unit, str):
        return Tarvel.unit(unit)
    if isinstance(unit, TarvelArray):
        return unit.units()
    if isinstance(unit, Tarvel):
        return unit
    raise TypeError(f"a unit is unit text, a Tarvel or a TarvelArray, not {type(unit).__name__}")


def unit_text(unit: Any) -> str:
    """The unit text of a unit tag without its brackets: "km/hr", "m/s2", "" when unitless."""
    # unit_text() is the bracketed form str() shows: "[km/hr]", "[]".
    return unit_of(unit).unit_text()[1:-1]


def parts(array: "TarvelArray") -> tuple[Any, "Tarvel"]:
    """The magnitudes the array holds (its own buffer, or its dask collection: no copy) and its units as
    a Tarvel of magnitude 1."""
    # The pickled form is exactly the pair, built without copying the buffer.
    return array.__reduce__()[1]


def magnitudes(array: "TarvelArray") -> Any:
    """The array's own magnitudes, shared (writing into them writes into the array)."""
    return parts(array)[0]


def from_parts(values: Any, unit: "Tarvel") -> "TarvelArray":
    """A TarvelArray over `values` (kept, not copied) in the units of the Tarvel `unit`, taken whole."""
    return TarvelArray._from_parts(values, unit)


# The protocols TarvelArray hands to an integration: protocol name -> (module, function). Each function
# takes the array first, then the call's own arguments.
FORWARDED: dict[str, tuple[str, str]] = {
    name: ("tarvel.dask", name)
    for name in ("__dask_graph__", "__dask_keys__", "__dask_layers__", "__dask_tokenize__",
                 "__dask_postcompute__", "__dask_postpersist__", "compute", "persist")
}


def forward(name: str, array: "TarvelArray", /, *args: Any, **kwargs: Any) -> Any:
    """Calls the integration that implements the protocol `name` for `array`."""
    try:
        module, function = FORWARDED[name]
    except KeyError:
        raise AttributeError(f"TarvelArray forwards no protocol named {name!r}") from None
    return getattr(importlib.import_module(module), function)(array, *args, **kwargs)


def wraps(owner: Any, name: str) -> Callable[[Any], Any]:
    """Decorator: replaces the function `name` of a library's module or class by the decorated one, which
    is called with the library's own function first. Where a library gives no hook for units, an
    integration wraps what it must, once: a second wrapping replaces the first, never stacks on it."""
    def install(wrapper: Any) -> Any:
        original = getattr(owner, name)
        original = getattr(original, "_tarvel_original", original)

        @functools.wraps(original)
        def patched(*args: Any, **kwargs: Any) -> Any:
            return wrapper(original, *args, **kwargs)

        patched._tarvel_original = original  # type: ignore[attr-defined]
        setattr(owner, name, patched)
        return wrapper

    return install
