"""Chunked, lazy quantities: a `TarvelArray` may hold a `dask.array` (or any array NumPy dispatches
ufuncs and functions to) in place of an ndarray:

    import dask.array as da
    distances = TarvelArray(da.random.random(10**8, chunks=10**6), "km")
    total = (distances.as_unit("m") * 2).sum()   # lazy; units are checked now
    total.compute()                              # a Tarvel in [m]

Operators, conversions, comparisons, reductions, indexing and most ufuncs build the graph; the units of
the result are computed, and incompatible units raise TypeError, at once. `compute()`, `persist()`,
`dask.compute(...)` and `dask.persist(...)` work on such arrays (the collection protocol below), and
give NumPy-backed TarvelArrays (a Tarvel for a 0-d result) in the same units.

`lazy(array, unit)` wraps a dask array; `from_tarvel_array(array, chunks)` chunks an in-memory one.
"""

import importlib
import pickle
from typing import Any, Callable

from . import _lazy

_dask = _lazy.require("dask", "dask")
_da = _lazy.require("dask.array", "dask")
_tarvel = importlib.import_module("tarvel")

TarvelArray = _tarvel.TarvelArray

__all__ = ["lazy", "from_tarvel_array", "is_lazy"]


def _parts(array: "TarvelArray") -> tuple[Any, Any]:
    # The magnitudes and the unit (a Tarvel of magnitude 1), without copying: the pickled form.
    return array.__reduce__()[1]


def _payload(array: "TarvelArray") -> Any:
    return _parts(array)[0]


def _collection(array: "TarvelArray") -> Any:
    magnitudes = _payload(array)
    if not _dask.is_dask_collection(magnitudes):
        return None
    return magnitudes


def is_lazy(array: "TarvelArray") -> bool:
    """True when the array's magnitudes are a dask collection (computed only on request)."""
    return _collection(array) is not None


def lazy(values: Any, unit: Any = None) -> "TarvelArray":
    """A TarvelArray over the dask array `values` in `unit` (no computation)."""
    if not _dask.is_dask_collection(values):
        raise TypeError(f"lazy() takes a dask array, not {type(values).__name__}")
    return TarvelArray(values, unit)


def from_tarvel_array(array: "TarvelArray", chunks: Any = "auto") -> "TarvelArray":
    """The in-memory `array` as a chunked, lazy one in the same units."""
    magnitudes, unit = _parts(array)
    return TarvelArray._from_parts(_da.from_array(magnitudes, chunks=chunks), unit)


def _np() -> Any:
    return importlib.import_module("numpy")


def _wrap(value: Any, unit: Any) -> Any:
    # A computed block in the units: an array becomes a TarvelArray, a 0-d result a Tarvel.
    result = TarvelArray._from_parts(_np().asarray(value), unit)
    return result[()] if result.ndim == 0 else result


def _finalize(results: Any, inner: Callable[..., Any], inner_args: tuple[Any, ...], unit: Any) -> Any:
    return _wrap(inner(results, *inner_args), unit)


def _rebuild(dsk: Any, inner: Callable[..., Any], inner_args: tuple[Any, ...], unit: Any,
             rename: Any = None) -> "TarvelArray":
    return TarvelArray._from_parts(inner(dsk, *inner_args, rename=rename), unit)


def _cbrt_block(block: Any) -> Any:
    return _np().cbrt(TarvelArray(block, copy=False)).as_number()


def _cbrt(magnitudes: Any) -> Any:
    # The cube root by the element loop on each block, so its bits are the scalar's.
    return magnitudes.map_blocks(_cbrt_block, dtype=magnitudes.dtype)


# The collection protocol, forwarded to by TarvelArray's methods of the same names. An in-memory array
# has no graph, so the scheduler's functions treat it as a plain value.

def __dask_graph__(array: "TarvelArray") -> Any:
    collection = _collection(array)
    return None if collection is None else collection.__dask_graph__()


def _required(array: "TarvelArray") -> Any:
    collection = _collection(array)
    if collection is None:
        raise TypeError("this TarvelArray holds its magnitudes in memory, not in a dask collection")
    return collection


def __dask_keys__(array: "TarvelArray") -> Any:
    return _required(array).__dask_keys__()


def __dask_layers__(array: "TarvelArray") -> Any:
    return _required(array).__dask_layers__()


def __dask_tokenize__(array: "TarvelArray") -> Any:
    magnitudes, unit = _parts(array)
    # The units' full identity (a custom unit's factor, offset and dimensions, not only its printed
    # name), so that two units printed alike never share a token and a cached result.
    return ("TarvelArray", _dask.base.tokenize(magnitudes), pickle.dumps(unit, protocol=4))


def _handles(function: Any) -> bool:
    """True when dask computes the NumPy `function` lazily; False when it would compute its inputs first."""
    import dask.array as da
    from dask.array import core
    if function in getattr(core, "_HANDLED_FUNCTIONS", {}):
        return True
    module: Any = da
    for submodule in function.__module__.split(".")[1:]:
        module = getattr(module, submodule, None)
        if module is None:
            return False
    own = getattr(module, function.__name__, None)
    return own is not None and own is not function


def __dask_postcompute__(array: "TarvelArray") -> Any:
    magnitudes, unit = _parts(array)
    inner, inner_args = _required(array).__dask_postcompute__()
    return _finalize, (inner, tuple(inner_args), unit)


def __dask_postpersist__(array: "TarvelArray") -> Any:
    magnitudes, unit = _parts(array)
    inner, inner_args = _required(array).__dask_postpersist__()
    return _rebuild, (inner, tuple(inner_args), unit)


def compute(array: "TarvelArray", **kwargs: Any) -> Any:
    if _collection(array) is None:
        return array
    return _dask.compute(array, **kwargs)[0]


def persist(array: "TarvelArray", **kwargs: Any) -> Any:
    if _collection(array) is None:
        return array
    return _dask.persist(array, **kwargs)[0]
