"""Arrow columns of quantities: the extension type ``tarvel.quantity``.

Storage is the magnitudes, float64 or float32, exactly as the array holds them (a NaN stays a NaN, with
its bits; an Arrow null written by another tool reads as NaN). The type's serialized metadata is the
unit record as JSON, ``{"unit": "km/hr"}`` (plus "definition" for units whose text does not read back:
see tarvel._unit_io). Importing this module (which ``tarvel.pandas`` does when pyarrow is installed)
registers the type, so Parquet and Feather files and IPC streams read back as quantities; a reader
without tarvel sees the plain float column and the unit in the field metadata
(``ARROW:extension:metadata``).

    pa.array(TarvelArray([1.5, 2.0], "km"))     # a tarvel.quantity array
    to_tarvel_array(table["speed"])             # back to a TarvelArray
"""

from __future__ import annotations

import builtins
import importlib
import json
from typing import Any

from . import _lazy, _unit_io

pa = _lazy.require("pyarrow", "arrow")
np = _lazy.require("numpy", "arrow")
_tarvel = importlib.import_module("tarvel")
Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray

__all__ = ["EXTENSION_NAME", "TarvelType", "TarvelScalar", "to_arrow", "to_tarvel_array"]

EXTENSION_NAME = "tarvel.quantity"
_STORAGE = {np.dtype(np.float64): pa.float64(), np.dtype(np.float32): pa.float32()}


class TarvelScalar(pa.ExtensionScalar):
    """One element of a tarvel.quantity array; ``as_py()`` gives a Tarvel (None for a null)."""

    def as_py(self, **kwargs: Any) -> Tarvel | None:
        value = self.value
        magnitude = None if value is None else value.as_py(**kwargs)
        return None if magnitude is None else magnitude * self.type.units


class TarvelType(pa.ExtensionType):
    """The Arrow type of quantities in one set of units, stored as float64 or float32 magnitudes."""

    def __init__(self, units: Tarvel | str, storage_type: Any = None) -> None:
        storage_type = pa.float64() if storage_type is None else storage_type
        if storage_type not in (pa.float64(), pa.float32()):
            raise TypeError(f"a tarvel.quantity column stores float64 or float32 magnitudes, not {storage_type}")
        if isinstance(units, str):
            units = _unit_io.units_from_record({"unit": units})
        if not isinstance(units, Tarvel):
            raise TypeError(f"TarvelType takes a Tarvel or unit text, not {type(units).__name__}")
        self._units = units.units()
        self._record = _unit_io.unit_record(self._units)
        super().__init__(storage_type, EXTENSION_NAME)

    @property
    def units(self) -> Tarvel:
        """The quantity of magnitude 1 in the column's units."""
        return self._units

    @property
    def unit_text(self) -> str:
        """The canonical unit text of the column."""
        return self._record["unit"]

    def __arrow_ext_serialize__(self) -> bytes:
        return json.dumps(self._record, ensure_ascii=False, separators=(",", ":")).encode()

    @classmethod
    def __arrow_ext_deserialize__(cls, storage_type: Any, serialized: bytes) -> TarvelType:
        try:
            record = json.loads(serialized.decode())
        except (UnicodeDecodeError, ValueError):
            raise ValueError(f"the metadata of a tarvel.quantity column is not a unit record: {serialized!r}") from None
        if not isinstance(record, dict):
            raise ValueError(f"the metadata of a tarvel.quantity column is not a unit record: {serialized!r}")
        return cls(_unit_io.units_from_record(record), storage_type)

    def __arrow_ext_scalar_class__(self) -> type:
        return TarvelScalar

    def __hash__(self) -> int:
        return hash((EXTENSION_NAME, self.__arrow_ext_serialize__(), str(self.storage_type)))

    def __reduce__(self) -> tuple[Any, ...]:
        return _rebuild_type, (self.__arrow_ext_serialize__(), str(self.storage_type))

    def to_pandas_dtype(self) -> Any:
        return importlib.import_module("tarvel.pandas").TarvelDtype(self._units)

    def __repr__(self) -> str:
        return f"TarvelType({self.unit_text!r}, {self.storage_type})"


def _rebuild_type(serialized: bytes, storage: str) -> TarvelType:
    return TarvelType.__arrow_ext_deserialize__(pa.type_for_alias(storage), serialized)


def to_arrow(array: TarvelArray, type: Any = None) -> Any:
    """A one-dimensional TarvelArray as a tarvel.quantity Arrow array, magnitudes untouched.

    `type` may name other units or the other float width (the magnitudes are then converted, as
    ``as_unit`` and ``astype`` would). ``pa.array(values, type=...)`` hands an extension type's storage
    type on: a float type keeps the array's units and takes that width.
    """
    if not isinstance(array, TarvelArray):
        raise TypeError(f"to_arrow takes a TarvelArray, not {builtins.type(array).__name__}")
    if array.ndim != 1:
        raise ValueError(f"an Arrow array is one-dimensional; this TarvelArray has shape {array.shape}: "
                         "ravel() it first")
    if type is not None:
        if isinstance(type, TarvelType):
            if _unit_io.unit_text(array) != type.unit_text:
                array = array.as_unit(type.units)
            type = type.storage_type
        if type not in (pa.float64(), pa.float32()):
            raise TypeError(f"a TarvelArray in [{_unit_io.unit_text(array)}] cannot become an Arrow {type} "
                            "column: its magnitudes are float64 or float32")
        array = array.astype(type.to_pandas_dtype())
    magnitudes, unit = _unit_io.parts(array)
    if _lazy_payload(magnitudes):
        magnitudes = magnitudes.compute()
    magnitudes = np.asarray(magnitudes)
    storage = pa.array(magnitudes, type=_STORAGE[magnitudes.dtype], from_pandas=False)
    return pa.ExtensionArray.from_storage(TarvelType(unit, storage.type), storage)


def _lazy_payload(magnitudes: Any) -> bool:
    return not isinstance(magnitudes, np.ndarray) and hasattr(magnitudes, "compute")


def to_tarvel_array(data: Any, units: Tarvel | None = None) -> TarvelArray:
    """A tarvel.quantity Array or ChunkedArray (or a plain float one with `units` given) as a TarvelArray.

    Magnitudes keep their width and bits; nulls become NaN.
    """
    arrow_type = data.type
    if isinstance(arrow_type, TarvelType):
        units = arrow_type.units if units is None else units
        storage_type = arrow_type.storage_type
    elif units is None:
        raise TypeError(f"an Arrow {arrow_type} column has no units: pass units=... for its magnitudes")
    else:
        storage_type = arrow_type
    if storage_type not in (pa.float64(), pa.float32()):
        raise TypeError(f"magnitudes are float64 or float32, not Arrow {storage_type}")
    dtype = storage_type.to_pandas_dtype()
    chunks = data.chunks if isinstance(data, pa.ChunkedArray) else [data]
    pieces = [_magnitudes(chunk, dtype) for chunk in chunks]
    magnitudes = pieces[0] if len(pieces) == 1 else np.concatenate(pieces) if pieces else np.empty(0, dtype)
    return _unit_io.array(magnitudes, units)


def _magnitudes(chunk: Any, dtype: Any) -> Any:
    storage = chunk.storage if isinstance(chunk, pa.ExtensionArray) else chunk
    if storage.null_count == 0:
        return storage.to_numpy(zero_copy_only=False, writable=True)
    return np.asarray(storage.fill_null(np.nan).to_numpy(zero_copy_only=False), dtype=dtype)


def _register() -> None:
    try:
        pa.register_extension_type(TarvelType(Tarvel.empty()))
    except pa.ArrowKeyError:
        pass  # registered already (this module was imported afresh, e.g. after a reload)


_register()
