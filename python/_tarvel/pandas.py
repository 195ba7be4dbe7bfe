"""pandas columns of quantities: the dtype ``"tarvel[unit text]"`` and its array, backed by a TarvelArray.

Importing this module registers the dtype (so ``pd.Series(values, dtype="tarvel[km/hr]")`` and
``pd.read_csv(..., dtype={"v": "tarvel[m]"})`` work) and the ``.tarvel`` accessor of Series. Every unit
rule is the TarvelArray's: this module only moves magnitudes between pandas and the array class.
"""

from __future__ import annotations

import functools
import html
import io
import numbers
import re
from typing import Any

from tarvel import Tarvel, TarvelArray
from tarvel._lazy import require

np = require("numpy", "pandas")
pd = require("pandas", "pandas")

from pandas.api.extensions import (  # noqa: E402  (pandas is checked for above)
    ExtensionArray,
    ExtensionDtype,
    register_extension_dtype,
    register_series_accessor,
    take,
)
from pandas.api.indexers import check_array_indexer  # noqa: E402
from pandas.api.types import is_list_like, pandas_dtype  # noqa: E402
from pandas.core.arraylike import OpsMixin  # noqa: E402
from pandas.core.dtypes.astype import astype_array  # noqa: E402

__all__ = ["TarvelDtype", "TarvelExtensionArray", "read_csv", "to_csv"]

_NAME = re.compile(r"^tarvel(?:\[(?P<units>[^\[\]]*)\])?$")
# "1.5 [km/hr]", the text str() gives a quantity (and so to_csv writes for a column of quantities).
_QUANTITY_TEXT = re.compile(r"^\s*(?P<number>\S+)\s*\[(?P<units>[^\[\]]*)\]\s*$")
_MISSING_TEXT = frozenset({"", "nan", "NaN", "NA", "<NA>", "None", "null"})


def _unit_text(units: Tarvel) -> str:
    """The unit text of a quantity, as its str() shows it between the brackets."""
    text = str(units)
    return text[text.index("[") + 1 : text.rindex("]")]


@functools.lru_cache(maxsize=512)
def _parse_units(text: str) -> tuple[str, Tarvel]:
    """The canonical unit text of `text` and the quantity of magnitude 1 in those units."""
    probe = TarvelArray([1.0], text if text.strip() else None)
    magnitude = float(probe.as_number(probe.units())[0])
    if magnitude != 1.0:
        # A dtype names the units its magnitudes are in; "in/m" is the plain number 0.0254.
        raise ValueError(f"the unit text {text!r} is the number {magnitude!r} times "
                         f"[{_unit_text(probe.units())}], not a unit a column can hold its values in")
    units = probe.units()
    return _unit_text(units), units


def _magnitudes_in(quantity: TarvelArray, dtype: TarvelDtype) -> np.ndarray:
    """The magnitudes of `quantity` in the units of `dtype`; untouched when it already has them."""
    own = quantity.units()
    if _unit_text(own) == dtype.units:
        # The same units reached by another road (km/hr squared, "km2/hr2") may differ in the last bit of
        # their factor; a column's magnitudes never change for that.
        return quantity.as_number(own)
    return quantity.as_number(dtype.quantity)


def _is_missing(value: Any) -> bool:
    if value is None or value is pd.NA:
        return True
    return isinstance(value, float | np.floating) and value != value


def _parse_text(text: Any) -> Any:
    """A cell of text: missing, a number (a magnitude), or a quantity as str() shows it ("1.5 [km]")."""
    if _is_missing(text) or text.strip() in _MISSING_TEXT:
        return np.nan
    match = _QUANTITY_TEXT.match(text)
    if match is None:
        try:
            return float(text)
        except ValueError:
            raise ValueError(f"{text!r} is neither a number nor a quantity such as '1.5 [km]'") from None
    return TarvelArray([float(match["number"])], match["units"] or None)[0]


@register_extension_dtype
class TarvelDtype(ExtensionDtype):
    """Quantities in one set of units, spelt ``"tarvel[km/hr]"``; ``"tarvel"`` alone takes the data's units."""

    type = Tarvel
    kind = "O"
    na_value = np.nan
    _metadata = ("units",)
    _is_numeric = True

    def __init__(self, units: str | Tarvel | None = None) -> None:
        self._quantity: Tarvel | None = None
        if isinstance(units, TarvelDtype):
            units = units._quantity if units._quantity is not None else units.units
        if isinstance(units, Tarvel):
            # Units an operation gave (km0.5/hr0.5 after a sqrt) are kept as they are, not re-read from text.
            self._quantity = TarvelArray([units]).units()
            units = _unit_text(self._quantity)
        elif units is not None and not isinstance(units, str):
            raise TypeError(f"a TarvelDtype takes unit text, not {type(units).__name__}")
        else:
            units = None if units is None else _parse_units(units)[0]
        self.units: str | None = units

    @property
    def name(self) -> str:  # type: ignore[override]
        return "tarvel" if self.units is None else f"tarvel[{self.units}]"

    def __repr__(self) -> str:
        return self.name

    @property
    def quantity(self) -> Tarvel:
        """The quantity of magnitude 1 in the dtype's units."""
        if self.units is None:
            raise TypeError("the dtype 'tarvel' has no units of its own: it takes those of the data")
        return self._quantity if self._quantity is not None else _parse_units(self.units)[1]

    @classmethod
    def construct_from_string(cls, string: str) -> TarvelDtype:
        if not isinstance(string, str):
            raise TypeError(f"'construct_from_string' expects a string, got {type(string)}")
        match = _NAME.match(string)
        if match is None:
            raise TypeError(f"Cannot construct a 'TarvelDtype' from '{string}'")
        # A name of this dtype with units that do not parse is an error of its own, not another dtype.
        return cls(match["units"])

    @classmethod
    def construct_array_type(cls) -> type[TarvelExtensionArray]:
        return TarvelExtensionArray

    def _get_common_dtype(self, dtypes: list[Any]) -> Any:
        # Columns in compatible units join in the first one's units, as `+` does; anything else is object.
        if not all(isinstance(dtype, TarvelDtype) and dtype.units is not None for dtype in dtypes):
            return None
        try:
            for dtype in dtypes:
                dtype.quantity.as_unit(self.quantity)
        except TypeError:
            return None
        return self

    def __from_arrow__(self, array: Any) -> TarvelExtensionArray:
        magnitudes = np.asarray(array.to_numpy(zero_copy_only=False), dtype=np.float64)
        return TarvelExtensionArray(TarvelArray(magnitudes, self.quantity, copy=False))


class TarvelExtensionArray(OpsMixin, ExtensionArray):
    """A pandas array of quantities: float64 magnitudes in the units of its dtype, NaN where missing."""

    __array_priority__ = 1000

    def __init__(self, values: TarvelArray, copy: bool = False) -> None:
        if not isinstance(values, TarvelArray):
            raise TypeError(f"TarvelExtensionArray wraps a TarvelArray, not {type(values).__name__}; "
                            "use pd.array(values, dtype='tarvel[...]')")
        if values.ndim != 1:
            raise ValueError(f"a TarvelExtensionArray is one-dimensional, not of shape {values.shape}")
        units = values.units()
        magnitudes = values.as_number(units)
        self._mag: np.ndarray = magnitudes.astype(np.float64) if magnitudes.dtype != np.float64 else magnitudes
        self._dtype = TarvelDtype(units)

    @classmethod
    def _simple_new(cls, magnitudes: np.ndarray, dtype: TarvelDtype) -> TarvelExtensionArray:
        # Wraps float64 magnitudes already in `dtype`'s units, without a copy.
        array = cls.__new__(cls)
        array._mag = magnitudes
        array._dtype = dtype
        return array

    @classmethod
    def _from_magnitudes(cls, magnitudes: np.ndarray, units: Tarvel) -> TarvelExtensionArray:
        return cls._simple_new(np.asarray(magnitudes, dtype=np.float64), TarvelDtype(units))

    # -- views ---------------------------------------------------------------------------------
    @property
    def quantity(self) -> TarvelArray:
        """The TarvelArray this array holds (shares its magnitudes)."""
        return TarvelArray(self._mag, self._dtype.quantity, copy=False)

    @property
    def dtype(self) -> TarvelDtype:
        return self._dtype

    @property
    def nbytes(self) -> int:
        return self._mag.nbytes

    def __len__(self) -> int:
        return len(self._mag)

    # -- construction --------------------------------------------------------------------------
    @classmethod
    def _from_sequence(cls, scalars: Any, *, dtype: Any = None, copy: bool = False) -> TarvelExtensionArray:
        if isinstance(dtype, str):
            dtype = pandas_dtype(dtype)
        units = dtype.units if isinstance(dtype, TarvelDtype) else None
        if isinstance(scalars, TarvelExtensionArray):
            scalars = scalars.quantity
        if isinstance(scalars, TarvelArray):
            scalars = scalars.ravel() if scalars.ndim != 1 else scalars
            if units is None:
                return cls(scalars.copy() if copy else scalars)
            return cls._simple_new(np.array(_magnitudes_in(scalars, dtype), dtype=np.float64), dtype)
        if isinstance(scalars, np.ndarray) and scalars.dtype.kind in "fiu":
            # Plain numbers: magnitudes in the dtype's units, or unitless with no units named.
            magnitudes = np.array(scalars, dtype=np.float64).ravel()
            if units is None:
                return cls(TarvelArray(magnitudes))
            return cls._simple_new(magnitudes, dtype)
        if isinstance(scalars, pd.Series | pd.Index):
            scalars = scalars.array
            if isinstance(scalars, TarvelExtensionArray):
                return cls._from_sequence(scalars, dtype=dtype, copy=copy)
        values = [_parse_text(v) if isinstance(v, str) else v for v in scalars]
        quantities = [(i, v) for i, v in enumerate(values) if isinstance(v, Tarvel)]
        magnitudes = np.full(len(values), np.nan)
        if quantities:
            joined = TarvelArray([v for _, v in quantities])
            target = joined.units() if units is None else dtype.quantity
            magnitudes[[i for i, _ in quantities]] = _magnitudes_in(joined, TarvelDtype(target))
        else:
            target = TarvelArray([1.0]).units() if units is None else dtype.quantity
        # Numbers are magnitudes in the dtype's units when it names them, else unitless quantities.
        plain = [(i, v) for i, v in enumerate(values) if not isinstance(v, Tarvel) and not _is_missing(v)]
        if plain:
            for _, v in plain:
                if not isinstance(v, numbers.Real) or isinstance(v, bool | np.bool_):
                    raise TypeError(f"a tarvel column holds quantities and numbers, not {v!r}")
            numbers_ = np.array([float(v) for _, v in plain])
            if units is None:
                numbers_ = TarvelArray(numbers_).as_number(target)
            magnitudes[[i for i, _ in plain]] = numbers_
        return cls._from_magnitudes(magnitudes, target)

    @classmethod
    def _from_scalars(cls, scalars: Any, *, dtype: Any) -> TarvelExtensionArray:
        # Strict: only quantities (and missing values) are values of this dtype.
        values = list(scalars)
        if not all(isinstance(v, Tarvel) or _is_missing(v) for v in values):
            raise TypeError("not all values are quantities")
        return cls._from_sequence(values, dtype=dtype)

    def _cast_pointwise_result(self, values: Any) -> Any:
        values = list(values)
        if any(isinstance(v, Tarvel) for v in values):
            try:
                # A pointwise result keeps its own units (a product of two columns is in their product).
                return self._from_scalars(values, dtype=None)
            except TypeError:
                pass
        return super()._cast_pointwise_result(values)

    @classmethod
    def _from_sequence_of_strings(cls, strings: Any, *, dtype: Any, copy: bool = False) -> TarvelExtensionArray:
        """Numbers read as magnitudes in the dtype's units; "1.5 [km]" (the str() form) is converted."""
        if isinstance(dtype, str):
            dtype = pandas_dtype(dtype)
        return cls._from_sequence([_parse_text(text) for text in strings], dtype=dtype)

    @classmethod
    def _from_factorized(cls, values: np.ndarray, original: TarvelExtensionArray) -> TarvelExtensionArray:
        return cls._from_magnitudes(values, original.dtype.quantity)

    # -- element access ------------------------------------------------------------------------
    def _magnitudes_of(self, value: Any) -> Any:
        """`value` in this array's units as magnitudes (missing values are NaN); the scalar's errors."""
        units = self._dtype.quantity
        if isinstance(value, Tarvel):
            return _magnitudes_in(TarvelArray([value]), self._dtype)[0]
        if _is_missing(value):
            return np.nan
        if isinstance(value, TarvelExtensionArray):
            return value._mag if value.dtype == self._dtype else value.quantity.as_number(units)
        if isinstance(value, TarvelArray):
            return _magnitudes_in(value, self._dtype)
        if isinstance(value, numbers.Real) and not isinstance(value, bool | np.bool_):
            return TarvelArray([value]).as_number(units)[0]
        if is_list_like(value) and not isinstance(value, str | bytes):
            if len(value) == 0:
                return np.array([], dtype=np.float64)
            return self._from_sequence(value, dtype=self._dtype)._mag
        raise TypeError(f"a column in [{self._dtype.units}] cannot hold {value!r}")

    def __getitem__(self, item: Any) -> Any:
        if isinstance(item, numbers.Integral):
            magnitude = self._mag[item]
            if magnitude != magnitude:
                return self._dtype.na_value
            return float(magnitude) * self._dtype.quantity
        if isinstance(item, tuple) and len(item) == 1:
            item = item[0]
        item = check_array_indexer(self, item) if not isinstance(item, slice) else item
        result = self._simple_new(self._mag[item], self._dtype)
        result._readonly = self._readonly
        return result

    def __setitem__(self, key: Any, value: Any) -> None:
        if not isinstance(key, numbers.Integral | slice):
            key = check_array_indexer(self, key)
        if self._readonly:
            raise ValueError("Cannot modify read-only array")
        # Converted first, so a refused value leaves the array as it was.
        self._mag[key] = self._magnitudes_of(value)

    def __iter__(self):  # noqa: ANN204
        for i in range(len(self)):
            yield self[i]

    def isna(self) -> np.ndarray:
        return np.isnan(self._mag)

    def copy(self) -> TarvelExtensionArray:
        return self._simple_new(self._mag.copy(), self._dtype)

    def take(self, indices: Any, *, allow_fill: bool = False, fill_value: Any = None) -> TarvelExtensionArray:
        fill = np.nan if fill_value is None else self._magnitudes_of(fill_value)
        taken = take(self._mag, indices, allow_fill=allow_fill, fill_value=fill)
        return self._simple_new(np.asarray(taken, dtype=np.float64), self._dtype)

    @classmethod
    def _concat_same_type(cls, to_concat: Any) -> TarvelExtensionArray:
        first = to_concat[0]
        parts = [first._magnitudes_of(array) for array in to_concat]
        return cls._from_magnitudes(np.concatenate(parts), first.dtype.quantity)

    def unique(self) -> TarvelExtensionArray:
        return self._simple_new(np.asarray(pd.unique(self._mag), dtype=np.float64), self._dtype)

    def _values_for_factorize(self) -> tuple[np.ndarray, float]:
        return self._mag.copy(), np.nan

    def _values_for_argsort(self) -> np.ndarray:
        return self._mag

    def _values_for_json(self) -> np.ndarray:
        # Each cell as str() shows it ("1.5 [km/hr]"), so the units travel with the values.
        return np.array([None if v != v else str(float(v) * self._dtype.quantity) for v in self._mag],
                        dtype=object)

    def to_numpy(self, dtype: Any = None, copy: bool = False, na_value: Any = None) -> np.ndarray:
        if dtype is None or np.dtype(dtype) == object:
            result = np.asarray(self, dtype=object)
            if na_value is not None:
                result[self.isna()] = na_value
            return result
        result = np.array(self.quantity, dtype=dtype)
        if na_value is not None:
            result[self.isna()] = na_value
        return result

    # -- conversions ---------------------------------------------------------------------------
    def __array__(self, dtype: Any = None, copy: bool | None = None) -> np.ndarray:
        if copy is False:
            raise ValueError("a column of quantities has no plain array to share: np.array(..., copy=False)")
        if dtype is None or np.dtype(dtype) == object:
            return np.array([self[i] for i in range(len(self))], dtype=object)
        # Plain numbers only from a unitless column; TarvelArray says so otherwise.
        return np.asarray(self.quantity, dtype=dtype)

    def astype(self, dtype: Any, copy: bool = True) -> Any:
        dtype = pandas_dtype(dtype)
        if isinstance(dtype, TarvelDtype):
            if dtype.units is None or dtype == self._dtype:
                return self.copy() if copy else self
            return type(self)(self.quantity.as_unit(dtype.units))
        if dtype == object:
            return np.asarray(self, dtype=object)
        if isinstance(dtype, np.dtype) and dtype.kind in "fiucb":
            return astype_array(np.asarray(self.quantity), dtype, copy=False)
        if isinstance(dtype, pd.StringDtype) or dtype == str:
            return super().astype(dtype, copy=copy)
        if isinstance(dtype, ExtensionDtype) and dtype._is_numeric:
            return pd.array(np.asarray(self.quantity), dtype=dtype)
        return super().astype(dtype, copy=copy)

    def interpolate(self, **kwargs: Any) -> TarvelExtensionArray:
        # Interpolation is linear in the magnitudes, so it happens in the column's units.
        from pandas.core.arrays import NumpyExtensionArray

        kwargs["copy"] = True
        result = NumpyExtensionArray(self._mag.copy()).interpolate(**kwargs)
        return self._simple_new(np.asarray(result, dtype=np.float64), self._dtype)

    def as_unit(self, units: Any) -> TarvelExtensionArray:
        return type(self)(self.quantity.as_unit(units))

    # -- display -------------------------------------------------------------------------------
    def _formatter(self, boxed: bool = False) -> Any:
        if boxed:
            # Inside a Series or DataFrame the dtype line shows the units once.
            return lambda value: "NaN" if _is_missing(value) else repr(value.as_number(self._dtype.quantity))
        return lambda value: "NaN" if _is_missing(value) else str(value)

    def _repr_latex_(self) -> str:
        shown = self._mag if len(self) <= 10 else np.concatenate([self._mag[:5], self._mag[-5:]])
        numbers_ = [("\\mathrm{NaN}" if v != v else repr(float(v))) for v in shown]
        if len(self) > 10:
            numbers_ = numbers_[:5] + ["\\ldots"] + numbers_[5:]
        units = self._dtype.quantity.latex()
        units = units[units.index("~") + 1 :] if "~" in units else ""
        separator = ",\\ "
        return f"$\\left[{separator.join(numbers_)}\\right]\\ {units}$"

    def _repr_html_(self) -> str:
        shown = self._mag if len(self) <= 10 else np.concatenate([self._mag[:5], self._mag[-5:]])
        cells = ["<td>NaN</td>" if v != v else f"<td>{float(v)!r}</td>" for v in shown]
        if len(self) > 10:
            cells = cells[:5] + ["<td>&hellip;</td>"] + cells[5:]
        units = html.escape(self._dtype.units or "")
        return (f"<table><caption>{len(self)} values in [{units}]</caption>"
                f"<tr>{''.join(cells)}</tr></table>")

    # -- operators -----------------------------------------------------------------------------
    def _operand(self, other: Any) -> Any:
        if isinstance(other, TarvelExtensionArray):
            return other.quantity
        if isinstance(other, Tarvel | TarvelArray | str):
            return other
        if _is_missing(other):
            return np.nan
        if isinstance(other, ExtensionArray):
            return other.to_numpy(dtype=np.float64, na_value=np.nan)
        if is_list_like(other) and not isinstance(other, np.ndarray):
            other = np.asarray(other, dtype=object) if len(other) else np.asarray(other, dtype=np.float64)
        if isinstance(other, np.ndarray) and other.dtype == object:
            if any(isinstance(v, Tarvel) for v in other):
                return self._from_sequence(other).quantity
            return other.astype(np.float64)
        return other

    def _arith_method(self, other: Any, op: Any) -> Any:
        result = op(self.quantity, self._operand(other))
        return self._wrap(result)

    def _cmp_method(self, other: Any, op: Any) -> Any:
        result = op(self.quantity, self._operand(other))
        return np.asarray(result, dtype=bool)

    def _logical_method(self, other: Any, op: Any) -> Any:
        raise TypeError(f"'{op.__name__}' is not supported on a column of quantities")

    def _wrap(self, result: Any) -> Any:
        if isinstance(result, tuple):
            return tuple(self._wrap(part) for part in result)
        if isinstance(result, TarvelArray):
            return type(self)(result)
        return result

    def __neg__(self) -> TarvelExtensionArray:
        return self._wrap(-self.quantity)

    def __pos__(self) -> TarvelExtensionArray:
        return self._wrap(+self.quantity)

    def __abs__(self) -> TarvelExtensionArray:
        return self._wrap(abs(self.quantity))

    def __invert__(self) -> Any:
        raise TypeError("bad operand type for unary ~: a column of quantities")

    def __array_ufunc__(self, ufunc: Any, method: str, *inputs: Any, **kwargs: Any) -> Any:
        if any(isinstance(x, pd.Series | pd.DataFrame | pd.Index) for x in inputs + kwargs.get("out", ())):
            return NotImplemented
        from pandas.core.arraylike import maybe_dispatch_ufunc_to_dunder_op

        result = maybe_dispatch_ufunc_to_dunder_op(self, ufunc, method, *inputs, **kwargs)
        if result is not NotImplemented:
            return result
        if "out" in kwargs:
            return NotImplemented
        arguments = [x.quantity if isinstance(x, TarvelExtensionArray) else x for x in inputs]
        return self._wrap(getattr(ufunc, method)(*arguments, **kwargs))

    # -- reductions ----------------------------------------------------------------------------
    def _reduce(self, name: str, *, skipna: bool = True, keepdims: bool = False, **kwargs: Any) -> Any:
        result = self._reduced(name, skipna=skipna, **kwargs)
        if keepdims:
            if isinstance(result, Tarvel):
                return type(self)(TarvelArray([result]))
            return pd.array([result], dtype="Float64")
        if isinstance(result, Tarvel) and result != result:
            # A missing result is missing, as an element is.
            return self._dtype.na_value
        return result

    # The array methods of the reductions, each `_reduce` under its own name.
    def sum(self, *, skipna: bool = True, min_count: int = 0) -> Tarvel:
        return self._reduce("sum", skipna=skipna, min_count=min_count)

    def mean(self, *, skipna: bool = True) -> Tarvel:
        return self._reduce("mean", skipna=skipna)

    def median(self, *, skipna: bool = True) -> Tarvel:
        return self._reduce("median", skipna=skipna)

    def min(self, *, skipna: bool = True) -> Tarvel:
        return self._reduce("min", skipna=skipna)

    def max(self, *, skipna: bool = True) -> Tarvel:
        return self._reduce("max", skipna=skipna)

    def std(self, *, skipna: bool = True, ddof: int = 1) -> Tarvel:
        return self._reduce("std", skipna=skipna, ddof=ddof)

    def var(self, *, skipna: bool = True, ddof: int = 1) -> Tarvel:
        return self._reduce("var", skipna=skipna, ddof=ddof)

    def sem(self, *, skipna: bool = True, ddof: int = 1) -> Tarvel:
        return self._reduce("sem", skipna=skipna, ddof=ddof)

    def skew(self, *, skipna: bool = True) -> float:
        return self._reduce("skew", skipna=skipna)

    def kurt(self, *, skipna: bool = True) -> float:
        return self._reduce("kurt", skipna=skipna)

    def _reduced(self, name: str, *, skipna: bool, **kwargs: Any) -> Any:
        data = self.quantity
        if name == "count":
            return int((~self.isna()).sum())
        if name in ("sum", "mean", "median", "min", "max", "std", "var"):
            if skipna:
                data = data[~self.isna()]
            if name in ("min", "max", "mean", "median") and len(data) == 0:
                return np.nan * self._dtype.quantity
            if name == "sum" and len(data) < kwargs.get("min_count", 0):
                return np.nan * self._dtype.quantity
            extra = {"ddof": kwargs.get("ddof", 1)} if name in ("std", "var") else {}
            return getattr(np, name)(data, **extra)
        if name == "sem":
            count = int((~self.isna()).sum()) if skipna else len(self)
            return self._reduced("std", skipna=skipna, **kwargs) / np.sqrt(count)
        if name in ("skew", "kurt"):
            # Ratios of moments: pure numbers whatever the units.
            return getattr(pd.Series(self._mag), name)(skipna=skipna)
        if name == "prod" and self._dtype.units == "":
            return Tarvel.empty() * float(getattr(pd.Series(self._mag), "prod")(skipna=skipna, **kwargs))
        raise TypeError(f"Cannot perform reduction '{name}' with dtype {self._dtype}: "
                        f"it has no meaning for quantities in [{self._dtype.units}]")

    def _accumulate(self, name: str, *, skipna: bool = True, **kwargs: Any) -> TarvelExtensionArray:
        if name not in ("cumsum", "cummin", "cummax"):
            raise TypeError(f"Accumulation {name} is not supported for dtype {self._dtype}")
        missing = self.isna()
        fill = {"cumsum": 0.0, "cummin": np.inf, "cummax": -np.inf}[name]
        if name == "cumsum":
            data = self.quantity.copy()
            if skipna:
                data[missing] = fill * self._dtype.quantity
            result = np.cumsum(data)
        else:
            magnitudes = np.where(missing, fill, self._mag) if skipna else self._mag
            ufunc = np.minimum if name == "cummin" else np.maximum
            result = TarvelArray(ufunc.accumulate(magnitudes), self._dtype.quantity, copy=False)
        result = type(self)(result)
        if skipna:
            result._mag[missing] = np.nan
        return result

    # Units of each groupby operation's result: the column's, their square, or a plain number.
    _GROUPBY_UNITS = {
        "sum": "same", "mean": "same", "median": "same", "min": "same", "max": "same", "std": "same",
        "sem": "same", "cumsum": "same", "cummin": "same", "cummax": "same",
        "var": "square", "rank": "plain", "skew": "plain", "kurt": "plain",
    }

    def _groupby_op(self, *, how: str, has_dropped_na: bool, min_count: int, ngroups: int, ids: Any,
                    **kwargs: Any) -> Any:
        if how in ("first", "last"):
            return super()._groupby_op(how=how, has_dropped_na=has_dropped_na, min_count=min_count,
                                       ngroups=ngroups, ids=ids, **kwargs)
        rule = self._GROUPBY_UNITS.get(how)
        if rule is None and self._dtype.units == "" and how == "prod":
            rule = "same"
        if rule is None:
            raise TypeError(f"dtype '{self._dtype}' does not support operation '{how}'")
        from pandas.core.groupby.ops import WrappedCythonOp

        op = WrappedCythonOp(how=how, has_dropped_na=has_dropped_na)
        result = op._cython_op_ndim_compat(self._mag, min_count=min_count, ngroups=ngroups, comp_ids=ids,
                                           mask=None, **kwargs)
        if rule == "plain":
            return result
        units = self._dtype.quantity if rule == "same" else self._dtype.quantity ** 2
        return type(self)(TarvelArray(np.ascontiguousarray(result, dtype=np.float64), units))

    def _groupby_quantile(self, *, qs: Any, **kwargs: Any) -> Any:
        from pandas.core.arrays import NumpyExtensionArray

        result = NumpyExtensionArray(self._mag)._groupby_quantile(qs=qs, **kwargs)
        return self._simple_new(np.asarray(np.asarray(result, dtype=np.float64).ravel(), dtype=np.float64), self._dtype)

    def _hash_pandas_object(self, *, encoding: str, hash_key: str, categorize: bool) -> np.ndarray:
        from pandas.core.util.hashing import hash_array

        # Equal magnitudes in different units are different values: the dtype is part of the key.
        return hash_array(self._mag, encoding=encoding, hash_key=hash_key, categorize=categorize) ^ np.uint64(
            hash(self._dtype.name) & 0xFFFFFFFFFFFFFFFF)


@register_series_accessor("tarvel")
class TarvelSeriesAccessor:
    """``series.tarvel``: the units of a column of quantities and conversions of it."""

    def __init__(self, series: pd.Series) -> None:
        if not isinstance(series.dtype, TarvelDtype):
            raise AttributeError(f"the .tarvel accessor needs a tarvel dtype, not {series.dtype}")
        self._series = series

    def units(self) -> Tarvel:
        """The quantity of magnitude 1 in the column's units."""
        return self._series.dtype.quantity

    def as_unit(self, units: Any) -> pd.Series:
        """The column converted into `units` (anything a Tarvel operand may be)."""
        converted = self._series.array.as_unit(units)
        return pd.Series(converted, index=self._series.index, name=self._series.name)

    def as_number(self, units: Any = None) -> pd.Series:
        """Plain float64 magnitudes in `units` (the column's own when None)."""
        quantity = self._series.array.quantity
        values = quantity.as_number(quantity.units() if units is None else units)
        return pd.Series(values, index=self._series.index, name=self._series.name)

    @property
    def quantity(self) -> TarvelArray:
        """The column's values as a TarvelArray."""
        return self._series.array.quantity.copy()


# CSV keeps the unit in the column header: "speed [km/hr]".
_HEADER = re.compile(r"^(?P<name>.*?)\s*\[(?P<units>[^\[\]]*)\]$")


def to_csv(frame: pd.DataFrame | pd.Series, path_or_buf: Any = None, **kwargs: Any) -> str | None:
    """Writes `frame` as CSV: a tarvel column's header gains its unit in brackets, its cells the magnitudes."""
    if isinstance(frame, pd.Series):
        frame = frame.to_frame()
    columns = {}
    for name, column in frame.items():
        if isinstance(column.dtype, TarvelDtype):
            columns[f"{name} [{column.dtype.units}]"] = column.tarvel.as_number()
        else:
            columns[name] = column
    return pd.DataFrame(columns, index=frame.index).to_csv(path_or_buf, **kwargs)


def read_csv(filepath_or_buffer: Any, **kwargs: Any) -> pd.DataFrame:
    """Reads CSV like pandas.read_csv; a header "name [unit]" gives the column "name" of dtype tarvel[unit].

    Units are read in common notations ("m s-1", "m/s^2"); ``vocabulary=`` adds the user's own names.
    """
    vocabulary = kwargs.pop("vocabulary", None)
    if isinstance(filepath_or_buffer, str) and "\n" in filepath_or_buffer:
        filepath_or_buffer = io.StringIO(filepath_or_buffer)
    frame = pd.read_csv(filepath_or_buffer, **kwargs)
    renamed, dtypes = {}, {}
    for header in frame.columns:
        match = _HEADER.match(str(header))
        if match is not None:
            renamed[header] = match["name"]
            dtypes[match["name"]] = match["units"]
    frame = frame.rename(columns=renamed)
    for name, units in dtypes.items():
        magnitudes = frame[name].to_numpy(dtype=np.float64)
        if vocabulary is None:
            frame[name] = pd.array(magnitudes, dtype=f"tarvel[{units}]")
        else:
            # Units of the vocabulary may fold into a number ("dz/hr" is 12/hr): the array does that.
            frame[name] = TarvelExtensionArray(TarvelArray(magnitudes, units, vocabulary=vocabulary))
    return frame

