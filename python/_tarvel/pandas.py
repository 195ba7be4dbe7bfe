"""pandas columns of quantities: the dtype ``"tarvel[unit text]"`` and its array, backed by a TarvelArray.

Importing this module registers the dtype (so ``pd.Series(values, dtype="tarvel[km/hr]")`` and
``pd.read_csv(..., dtype={"v": "tarvel[m]"})`` work) and the ``.tarvel`` accessor of Series. Every unit
rule is the TarvelArray's and the rule registry's: this module moves magnitudes between pandas and the
array class, runs pandas' own kernels (groupby, windows, row statistics) on magnitudes where the registry
says the same NumPy function keeps them, and wraps the few pandas functions that have no extension hook
(windows, row statistics, nlargest, corr/cov/dot, describe, construction from a TarvelArray, read_csv).
"""

from __future__ import annotations

import copy
import functools
import html
import io
import numbers
import re
import warnings
from typing import Any

from tarvel import Tarvel, TarvelArray
from tarvel import _access
from tarvel._lazy import require

np = require("numpy", "pandas")
pd = require("pandas", "pandas")

from pandas._libs import lib  # noqa: E402
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


@functools.lru_cache(maxsize=512)
def _parse_units(text: str) -> tuple[str, Tarvel]:
    """The canonical unit text of `text` and the quantity of magnitude 1 in those units."""
    probe = TarvelArray([1.0], text if text.strip() else None)
    magnitude = float(probe.as_number(probe.units())[0])
    if magnitude != 1.0:
        # A dtype names the units its magnitudes are in; "in/m" is the plain number 0.0254.
        raise ValueError(f"the unit text {text!r} is the number {magnitude!r} times "
                         f"[{_access.unit_text(probe.units())}], not a unit a column can hold its values in")
    units = probe.units()
    return _access.unit_text(units), units


def _magnitudes_in(quantity: TarvelArray, dtype: TarvelDtype) -> np.ndarray:
    """The magnitudes of `quantity` in the units of `dtype`; untouched when it already has them."""
    own = quantity.units()
    if _access.unit_text(own) == dtype.units:
        # The same units reached by another road (km/hr squared, "km2/hr2") may differ in the last bit of
        # their factor; a column's magnitudes never change for that.
        return quantity.as_number(own)
    return quantity.as_number(dtype.quantity)


def _is_missing(value: Any) -> bool:
    """None, pd.NA, NaN, and a NaN quantity (what a missing cell of a column reads as)."""
    if value is None or value is pd.NA:
        return True
    return isinstance(value, float | np.floating | Tarvel) and value != value


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


# Each reduction, accumulation and window kernel of pandas as the NumPy function that computes it on a
# TarvelArray (skipping missing values, and not), with its extra arguments: the rule registry says what
# units its result has. pandas runs its own kernels on the magnitudes; `_kernel_units` checks that the
# registry's result is that same computation before it lends its units.
_NUMPY: dict[str, tuple[str, str, dict[str, Any]]] = {
    "sum": ("nansum", "sum", {}), "prod": ("nanprod", "prod", {}),
    "mean": ("nanmean", "mean", {}), "median": ("nanmedian", "median", {}),
    "min": ("nanmin", "min", {}), "max": ("nanmax", "max", {}),
    "std": ("nanstd", "std", {"ddof": 1}), "var": ("nanvar", "var", {"ddof": 1}),
    "sem": ("nanstd", "std", {"ddof": 1}), "quantile": ("nanquantile", "quantile", {"q": 0.5}),
    "cumsum": ("nancumsum", "cumsum", {}), "cumprod": ("nancumprod", "cumprod", {}),
    "cummin": ("fmin.accumulate", "minimum.accumulate", {}), "cummax": ("fmax.accumulate", "maximum.accumulate", {}),
    "sqrt": ("sqrt", "sqrt", {}),
}
# Pure numbers in any units: counts, ranks and positions, and the ratios of moments (skew, kurt), which
# no change of units (a positive scale and an offset) alters.
_PLAIN = frozenset({"count", "rank", "skew", "kurt", "nunique", "idxmin", "idxmax", "argmin", "argmax"})
# Products whose units would follow the count of factors: the registry refuses them, but a column without
# units has a product without units, which pandas computes on the magnitudes.
_UNITLESS_ONLY = frozenset({"prod", "cumprod"})
# Probes of two lengths: a result whose units depend on the count of values (a product) has no units a
# column could hold.
_PROBES = (np.array([1.0, 2.0, 4.0]), np.array([1.0, 2.0, 4.0, 8.0, 0.5]))


def _numpy_function(name: str, *, skipna: bool = True, ddof: Any = None) -> tuple[Any, dict[str, Any]]:
    skipping, keeping, extra = _NUMPY[name]
    function: Any = np
    for part in (skipping if skipna else keeping).split("."):
        function = getattr(function, part)
    if ddof is not None and "ddof" in extra:
        extra = {**extra, "ddof": ddof}
    return function, extra


@functools.lru_cache(maxsize=1024)
def _kernel_units(name: str, dtype: TarvelDtype) -> Tarvel | None:
    """The units of pandas' kernel `name` run on the magnitudes of a column of `dtype` (None: a pure
    number), as the rule registry gives them for the same NumPy function on a TarvelArray."""
    if name in _PLAIN:
        return None
    if name in _UNITLESS_ONLY and _access.unit_text(dtype.quantity) == "":
        return dtype.quantity.units()
    if name not in _NUMPY:
        raise TypeError(f"Cannot perform '{name}' with dtype {dtype}: it has no meaning for quantities in "
                        f"[{dtype.units}]; use .tarvel.as_number(unit) for plain numbers")
    function, extra = _numpy_function(name)
    found = []
    for probe in _PROBES:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", RuntimeWarning)
            try:
                result = function(_access.from_parts(probe.copy(), dtype.quantity), **extra)
            except TypeError as error:
                raise TypeError(f"Cannot perform '{name}' with dtype {dtype}: {error}") from error
            expected = function(probe, **extra)
        if not isinstance(result, Tarvel | TarvelArray):
            return None
        units = result.units()
        if not np.array_equal(result.as_number(units), expected, equal_nan=True):
            raise TypeError(f"Cannot perform '{name}' with dtype {dtype} on its magnitudes: in [{dtype.units}] "
                            f"the result is not the same computation; convert the column first "
                            f"(.tarvel.as_unit(...))")
        found.append(units)
    if _access.unit_text(found[0]) != _access.unit_text(found[1]):
        raise TypeError(f"Cannot perform '{name}' with dtype {dtype}: the units of the result depend on how "
                        f"many values there are ([{_access.unit_text(found[0])}] for {len(_PROBES[0])}, "
                        f"[{_access.unit_text(found[1])}] for {len(_PROBES[1])}); use .tarvel.as_number(unit)")
    return found[0]


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
            units = _access.unit_text(self._quantity)
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
        # Arrow columns of quantities (tarvel.arrow): a tarvel.quantity column brings its own units.
        from tarvel import arrow

        units = None if isinstance(array.type, arrow.TarvelType) else self.quantity
        return TarvelExtensionArray(arrow.to_tarvel_array(array, units))


class TarvelExtensionArray(OpsMixin, ExtensionArray):
    """A pandas array of quantities: a one-dimensional float64 TarvelArray in the units of its dtype, NaN
    where missing."""

    __array_priority__ = 1000

    def __init__(self, values: TarvelArray, copy: bool = False) -> None:
        if not isinstance(values, TarvelArray):
            raise TypeError(f"TarvelExtensionArray wraps a TarvelArray, not {type(values).__name__}; "
                            "use pd.array(values, dtype='tarvel[...]')")
        if values.ndim != 1:
            raise ValueError(f"a TarvelExtensionArray is one-dimensional, not of shape {values.shape}")
        magnitudes, units = _access.parts(values)
        if not isinstance(magnitudes, np.ndarray) or magnitudes.dtype != np.float64:
            magnitudes = np.array(values.as_number(units), dtype=np.float64)
        elif copy:
            magnitudes = magnitudes.copy()
        self._set(magnitudes, TarvelDtype(units))

    def _set(self, magnitudes: np.ndarray, dtype: TarvelDtype) -> None:
        # The array held, and its buffer (shared, not a copy: pandas writes cells through it).
        self._data: TarvelArray = _access.from_parts(magnitudes, dtype.quantity)
        self._mag: np.ndarray = magnitudes
        self._dtype = dtype

    @classmethod
    def _simple_new(cls, magnitudes: np.ndarray, dtype: TarvelDtype) -> TarvelExtensionArray:
        # Wraps float64 magnitudes already in `dtype`'s units, without a copy.
        array = cls.__new__(cls)
        array._set(magnitudes, dtype)
        return array

    @classmethod
    def _from_magnitudes(cls, magnitudes: np.ndarray, units: Tarvel) -> TarvelExtensionArray:
        return cls._simple_new(np.asarray(magnitudes, dtype=np.float64), TarvelDtype(units))

    # -- views ---------------------------------------------------------------------------------
    def __arrow_array__(self, type: Any = None) -> Any:
        from tarvel import arrow

        return arrow.to_arrow(self.quantity, type)

    @property
    def quantity(self) -> TarvelArray:
        """The TarvelArray this array holds (its magnitudes are the column's)."""
        return self._data

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
                return cls(scalars, copy=copy)
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
        strings = np.asarray(strings, dtype=object)
        # Numbers are read as numbers, at the parser's speed; only the cells that are not (quantities,
        # missing-value markers, words) are read one by one.
        magnitudes = pd.to_numeric(strings, errors="coerce")
        magnitudes = np.asarray(magnitudes, dtype=np.float64)
        unread = np.isnan(magnitudes)
        if dtype.units is not None and not unread.any():
            return cls._simple_new(magnitudes, dtype)
        if dtype.units is not None:
            cells = cls._from_sequence([_parse_text(text) for text in strings[unread]], dtype=dtype)
            magnitudes[unread] = cells._mag
            return cls._simple_new(magnitudes, dtype)
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
            # Many values follow the rule of one: quantities are converted, plain numbers refused unless
            # the column is unitless, NaN is missing.
            values = self._from_sequence(value)
            if values.isna().all():
                return np.full(len(values), np.nan)
            return _magnitudes_in(values.quantity, self._dtype)
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
        # A missing value is a NaN quantity in the column's units, so a function handed each value
        # (map, apply, iteration) always gets a quantity.
        unit = self._dtype.quantity
        for magnitude in self._mag.tolist():
            yield magnitude * unit

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

    def value_counts(self, dropna: bool = True) -> pd.Series:
        from pandas.core.algorithms import value_counts_internal

        # Counted on the magnitudes, where pandas knows a missing value when it sees one.
        result = value_counts_internal(self._mag, sort=False, dropna=dropna)
        result.index = pd.Index(self._from_magnitudes(np.asarray(result.index, dtype=np.float64),
                                                      self._dtype.quantity))
        return result

    def map(self, mapper: Any, na_action: Any = None) -> Any:
        from pandas.core.algorithms import map_array

        # The mapper is handed quantities, a missing value as a NaN quantity unless it is to be skipped.
        values = self.astype(object) if na_action == "ignore" else self.to_numpy()
        result = map_array(values, mapper, na_action=na_action)
        if isinstance(result, np.ndarray):
            return self._cast_pointwise_result(result)
        return result

    def _values_for_factorize(self) -> tuple[np.ndarray, float]:
        return self._mag.copy(), np.nan

    def _values_for_argsort(self) -> np.ndarray:
        return self._mag

    def _values_for_json(self) -> np.ndarray:
        # Each cell as str() shows it ("1.5 [km/hr]"), so the units travel with the values.
        return np.array([None if v != v else str(float(v) * self._dtype.quantity) for v in self._mag],
                        dtype=object)

    def to_numpy(self, dtype: Any = None, copy: bool = False, na_value: Any = lib.no_default) -> np.ndarray:
        # Missing values are NaN quantities (objects) or NaN (numbers) unless `na_value` says otherwise.
        given = na_value is not lib.no_default and na_value is not None
        if dtype is None or np.dtype(dtype) == object:
            result = np.empty(len(self), dtype=object)
            result[:] = list(iter(self))
        else:
            result = np.array(self.quantity, dtype=dtype)
        if given and self.isna().any():
            result[self.isna()] = na_value
        return result

    # -- conversions ---------------------------------------------------------------------------
    def __array__(self, dtype: Any = None, copy: bool | None = None) -> np.ndarray:
        if copy is False:
            raise ValueError("a column of quantities has no plain array to share: np.array(..., copy=False)")
        if dtype is None or np.dtype(dtype) == object:
            result = np.empty(len(self), dtype=object)
            result[:] = list(iter(self))
            return result
        # Plain numbers only from a unitless column; TarvelArray says so otherwise.
        return np.asarray(self.quantity, dtype=dtype)

    def astype(self, dtype: Any, copy: bool = True) -> Any:
        dtype = pandas_dtype(dtype)
        if isinstance(dtype, TarvelDtype):
            if dtype.units is None or dtype == self._dtype:
                return self.copy() if copy else self
            return type(self)(self.quantity.as_unit(dtype.units))
        if dtype == object:
            # pandas' own machinery finds missing objects by the dtype's na_value, so astype keeps it;
            # np.asarray, to_numpy() and iteration give NaN quantities instead.
            result = np.empty(len(self), dtype=object)
            result[:] = [self._dtype.na_value if v != v else v * self._dtype.quantity for v in self._mag.tolist()]
            return result
        if isinstance(dtype, np.dtype) and dtype.kind in "fiucb":
            return astype_array(np.asarray(self.quantity), dtype, copy=False)
        if isinstance(dtype, pd.StringDtype) or dtype == str:
            return super().astype(dtype, copy=copy)
        if isinstance(dtype, ExtensionDtype) and dtype._is_numeric:
            return pd.array(np.asarray(self.quantity), dtype=dtype)
        return super().astype(dtype, copy=copy)

    def interpolate(self, **kwargs: Any) -> TarvelExtensionArray:
        # Interpolation is linear in the magnitudes, so it happens in the column's units. A frame's
        # blocks pass axis 1 (along the rows of a 2-D block); this array is its one row.
        from pandas.core.arrays import NumpyExtensionArray

        kwargs["copy"] = True
        kwargs["axis"] = 0
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
        count = int((~self.isna()).sum())
        if name == "count":
            return count
        units = _kernel_units(name, self._dtype)
        if units is None:
            # Pure numbers whatever the units: computed by pandas on the magnitudes.
            return getattr(pd.Series(self._mag), name)(skipna=skipna)
        if name in _UNITLESS_ONLY:
            return getattr(pd.Series(self._mag), name)(skipna=skipna, **kwargs) * units
        function, extra = _numpy_function(name, skipna=skipna, ddof=kwargs.get("ddof"))
        if count == 0 and name in ("min", "max"):
            return np.nan * units
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", RuntimeWarning)  # an all-missing column gives NaN, as in pandas
            result = function(self._data, **extra)
        if name == "sem":
            result = result / np.sqrt(count if skipna else len(self))
        if count < kwargs.get("min_count", 0):
            result = result * np.nan
        return result

    def _accumulate(self, name: str, *, skipna: bool = True, **kwargs: Any) -> TarvelExtensionArray:
        if name not in _NUMPY:
            raise TypeError(f"Accumulation {name} is not supported for dtype {self._dtype}")
        if name in _UNITLESS_ONLY and _kernel_units(name, self._dtype) is not None:
            return type(self)(TarvelArray(getattr(pd.Series(self._mag), name)(skipna=skipna).to_numpy()))
        function, extra = _numpy_function(name, skipna=skipna)
        result = type(self)(function(self._data, **extra))
        if skipna:
            result._mag[self.isna()] = np.nan
        return result

    def _groupby_op(self, *, how: str, has_dropped_na: bool, min_count: int, ngroups: int, ids: Any,
                    **kwargs: Any) -> Any:
        if how in ("first", "last"):
            return super()._groupby_op(how=how, has_dropped_na=has_dropped_na, min_count=min_count,
                                       ngroups=ngroups, ids=ids, **kwargs)
        units = _kernel_units(how, self._dtype)
        from pandas.core.groupby.ops import WrappedCythonOp

        op = WrappedCythonOp(how=how, has_dropped_na=has_dropped_na)
        result = op._cython_op_ndim_compat(self._mag, min_count=min_count, ngroups=ngroups, comp_ids=ids,
                                           mask=None, **kwargs)
        if units is None:
            return result
        return self._from_magnitudes(np.ascontiguousarray(result, dtype=np.float64), units)

    def _groupby_quantile(self, *, qs: Any, **kwargs: Any) -> Any:
        from pandas.core.arrays import NumpyExtensionArray

        units = _kernel_units("quantile", self._dtype)
        result = NumpyExtensionArray(self._mag)._groupby_quantile(qs=qs, **kwargs)
        return self._from_magnitudes(np.asarray(result, dtype=np.float64).ravel(), units)

    def _hash_pandas_object(self, *, encoding: str, hash_key: str, categorize: bool) -> np.ndarray:
        from pandas.core.util.hashing import hash_array

        # Equal magnitudes in different units are different values: the dtype is part of the key. It is
        # hashed as pandas hashes text, never with Python's hash(), which changes from process to process.
        units = hash_array(np.array([self._dtype.name], dtype=object), encoding=encoding, hash_key=hash_key,
                           categorize=False)[0]
        return hash_array(self._mag, encoding=encoding, hash_key=hash_key, categorize=categorize) ^ units


# -- pandas functions that cannot see units ------------------------------------------------------------
# pandas has no extension hook for these: each is wrapped once, on import (_access.wraps), and hands
# anything without a tarvel column to pandas' own function unchanged.

def _tarvel_columns(obj: Any) -> dict[Any, TarvelDtype]:
    """The tarvel columns of a Series (key None) or DataFrame, with their dtypes."""
    if isinstance(obj, pd.Series):
        return {None: obj.dtype} if isinstance(obj.dtype, TarvelDtype) else {}
    if isinstance(obj, pd.DataFrame):
        return {name: dtype for name, dtype in obj.dtypes.items() if isinstance(dtype, TarvelDtype)}
    return {}


def _as_magnitudes(obj: Any) -> Any:
    """`obj` with each tarvel column replaced by its float64 magnitudes (shared, not copied)."""
    if isinstance(obj, pd.Series):
        if not isinstance(obj.dtype, TarvelDtype):
            return obj
        return pd.Series(obj.array._mag, index=obj.index, name=obj.name, copy=False)
    columns = _tarvel_columns(obj)
    if not columns:
        return obj
    frame = obj.copy(deep=False)
    for name in columns:
        frame[name] = obj[name].array._mag
    return frame


def _with_units(result: Any, name: str, columns: dict[Any, TarvelDtype]) -> Any:
    """Puts units back on the columns of a kernel's result computed on magnitudes."""
    def column(values: pd.Series, dtype: TarvelDtype) -> pd.Series:
        units = _kernel_units(name, dtype)
        if units is None:
            return values
        magnitudes = np.ascontiguousarray(values.to_numpy(dtype=np.float64), dtype=np.float64)
        return pd.Series(TarvelExtensionArray._from_magnitudes(magnitudes, units), index=values.index,
                         name=values.name)

    if isinstance(result, pd.Series):
        return column(result, columns[None] if None in columns else next(iter(columns.values())))
    result = result.copy(deep=False)
    for key, dtype in columns.items():
        if key in result.columns:
            result[key] = column(result[key], dtype)
    return result


def _on_magnitudes(window: Any, obj: Any) -> Any:
    plain = copy.copy(window)
    plain.obj = obj
    vars(plain).pop("_cache", None)
    return plain


def _install_window_rules() -> None:
    from pandas.core.window import ewm, expanding, rolling

    @_access.wraps(rolling.BaseWindow, "_apply")
    def _apply(original: Any, self: Any, func: Any, name: str, *args: Any, **kwargs: Any) -> Any:
        # Window kernels (rolling, expanding, ewm) run on the magnitudes; the registry gives the units.
        columns = _tarvel_columns(self.obj)
        if not columns:
            return original(self, func, name, *args, **kwargs)
        for dtype in columns.values():
            _kernel_units(name, dtype)  # refuses before any work
        result = original(_on_magnitudes(self, _as_magnitudes(self.obj)), func, name, *args, **kwargs)
        return _with_units(result, name, columns)

    def on_magnitudes(original: Any, self: Any, other: Any = None, *args: Any, **kwargs: Any) -> Any:
        # A correlation is a pure number that no change of units (a positive scale and an offset) alters.
        if not (_tarvel_columns(self.obj) or _tarvel_columns(other)):
            return original(self, other, *args, **kwargs)
        return original(_on_magnitudes(self, _as_magnitudes(self.obj)),
                        None if other is None else _as_magnitudes(other), *args, **kwargs)

    def cov(original: Any, self: Any, other: Any = None, *args: Any, **kwargs: Any) -> Any:
        if not (_tarvel_columns(self.obj) or _tarvel_columns(other)):
            return original(self, other, *args, **kwargs)
        target = self._selected_obj
        if not isinstance(target, pd.Series) or not (other is None or isinstance(other, pd.Series)):
            raise TypeError("a moving covariance of quantities is computed between two Series; a frame's "
                            "columns may each have other units")
        units = _covariance_units(target, target if other is None else other)
        result = on_magnitudes(original, self, other, *args, **kwargs)
        magnitudes = np.ascontiguousarray(result.to_numpy(dtype=np.float64), dtype=np.float64)
        return pd.Series(TarvelExtensionArray._from_magnitudes(magnitudes, units), index=result.index,
                         name=result.name)

    for window in (rolling.Rolling, expanding.Expanding, ewm.ExponentialMovingWindow):
        _access.wraps(window, "corr")(on_magnitudes)
        _access.wraps(window, "cov")(cov)

    def zsqrt(original: Any, x: Any) -> Any:
        columns = _tarvel_columns(x)
        if not columns:
            return original(x)
        return _with_units(original(_as_magnitudes(x)), "sqrt", columns)

    for module in (ewm, rolling):
        _access.wraps(module, "zsqrt")(zsqrt)


def _install_frame_rules() -> None:
    @_access.wraps(pd.DataFrame, "_reduce")
    def _reduce(original: Any, self: pd.DataFrame, op: Any, name: str, *, axis: Any = 0, **kwargs: Any) -> Any:
        if axis is not None and self._get_axis_number(axis) == 1 and name not in ("count", "any", "all"):
            _check_row_units(self, name)
        return original(self, op, name, axis=axis, **kwargs)


def _check_row_units(frame: pd.DataFrame, name: str) -> None:
    """A statistic along a row joins its columns: their units must be compatible (each is converted into
    the first column's), and plain numbers join only unitless columns."""
    dtypes = list(frame.dtypes)
    tarvel = [dtype for dtype in dtypes if isinstance(dtype, TarvelDtype)]
    if not tarvel:
        return
    first = tarvel[0]
    for dtype in dtypes:
        if not isinstance(dtype, TarvelDtype):
            if first.units == "":
                continue
            raise TypeError(f"Cannot compute the row {name} of columns in [{first.units}] and plain numbers "
                            f"({dtype}): give the plain column units (astype('tarvel[...]'))")
        try:
            dtype.quantity.as_unit(first.quantity)
        except TypeError as error:
            raise TypeError(f"Cannot compute the row {name} of columns in [{first.units}] and "
                            f"[{dtype.units}]: {error}") from error


def _install_series_rules() -> None:
    from pandas.core.methods import selectn

    @_access.wraps(selectn.SelectNSeries, "compute")
    def compute(original: Any, self: Any, method: str) -> Any:
        # nlargest/nsmallest: a column's order is its magnitudes' order.
        if not isinstance(self.obj.dtype, TarvelDtype):
            return original(self, method)
        plain = copy.copy(self)
        plain.obj = pd.Series(self.obj.array._mag, copy=False)
        return self.obj.iloc[np.asarray(original(plain, method).index)]

    @_access.wraps(pd.Series, "corr")
    def corr(original: Any, self: pd.Series, other: pd.Series, *args: Any, **kwargs: Any) -> Any:
        # A correlation is a pure number that no change of units (a positive scale and an offset) alters.
        return original(_as_magnitudes(self), _as_magnitudes(other), *args, **kwargs)

    @_access.wraps(pd.DataFrame, "corr")
    def frame_corr(original: Any, self: pd.DataFrame, *args: Any, **kwargs: Any) -> Any:
        return original(_as_magnitudes(self), *args, **kwargs)

    @_access.wraps(pd.Series, "cov")
    def cov(original: Any, self: pd.Series, other: pd.Series, min_periods: int | None = None,
            ddof: int = 1) -> Any:
        if not (_tarvel_columns(self) or _tarvel_columns(other)):
            return original(self, other, min_periods=min_periods, ddof=ddof)
        left, right = self.align(other, join="inner")
        left, right = _quantity_of(left), _quantity_of(right)
        valid = ~(np.isnan(_access.magnitudes(left)) | np.isnan(_access.magnitudes(right)))
        left, right = left[valid], right[valid]
        # Deviations from the means, multiplied: the registry and the operation planner give the units
        # (an interval's for temperatures).
        deviations = (left - np.mean(left)) * (right - np.mean(right))
        result = np.sum(deviations) / max(len(deviations) - ddof, 0)
        return result * np.nan if len(deviations) < max(min_periods or 1, ddof + 1) else result

    @_access.wraps(pd.Series, "dot")
    def dot(original: Any, self: pd.Series, other: Any) -> Any:
        if not isinstance(other, pd.Series) or not (_tarvel_columns(self) or _tarvel_columns(other)):
            return original(self, other)
        common = self.index.union(other.index)
        if len(common) > len(self.index) or len(common) > len(other.index):
            raise ValueError("matrices are not aligned")
        return np.dot(_quantity_of(self.reindex(common)), _quantity_of(other.reindex(common)))


def _install_describe_rules() -> None:
    from pandas.core.methods import describe

    @_access.wraps(describe, "describe_numeric_1d")
    def describe_numeric_1d(original: Any, series: pd.Series, percentiles: Any) -> pd.Series:
        # pandas casts the statistics to Float64, which would keep the numbers and lose their units: the
        # count is a number and the others are quantities, so the summary holds objects.
        if not isinstance(series.dtype, TarvelDtype):
            return original(series, percentiles)
        summary = original(_as_magnitudes(series), percentiles)
        values = [series.count(), series.mean(), series.std(), series.min(),
                  *(series.quantile(list(percentiles)).tolist() if len(percentiles) else []), series.max()]
        return pd.Series(values, index=summary.index, name=series.name, dtype=object)


def _covariance_units(left: pd.Series, right: pd.Series) -> Tarvel:
    """The units of a covariance: those of a product of deviations from the means, as the registry and
    the operation planner give them (an interval's for temperatures)."""
    left, right = (_quantity_of(series.iloc[:0]) for series in (left, right))
    probe_left, probe_right = (_access.from_parts(np.array([1.0, 2.0]), _access.parts(q)[1]) for q in (left, right))
    return ((probe_left - np.mean(probe_left)) * (probe_right - np.mean(probe_right))).units()


def _quantity_of(series: pd.Series) -> TarvelArray:
    """A column as a TarvelArray: its own, or plain numbers as unitless quantities."""
    if isinstance(series.dtype, TarvelDtype):
        return series.array.quantity
    return TarvelArray(series.to_numpy(dtype=np.float64, na_value=np.nan))


def _install_construction_rules() -> None:
    import sys

    from pandas.core import construction

    # pd.Series(TarvelArray(...)) and DataFrame columns given as TarvelArrays take the tarvel dtype.
    def sanitize_array(original: Any, data: Any, *args: Any, **kwargs: Any) -> Any:
        if isinstance(data, TarvelArray) and data.ndim == 1:
            data = TarvelExtensionArray(data)
        return original(data, *args, **kwargs)

    original = getattr(construction.sanitize_array, "_tarvel_original", construction.sanitize_array)
    for module in list(sys.modules.values()):
        if getattr(module, "__name__", "").startswith("pandas.") and \
                getattr(module, "sanitize_array", None) in (original, construction.sanitize_array):
            _access.wraps(module, "sanitize_array")(sanitize_array)


def _install_reading_rules() -> None:
    from pandas.io.parsers import readers

    @_access.wraps(readers, "_read")
    def _read(original: Any, source: Any, kwds: dict[str, Any]) -> Any:
        # read_csv(dtype={"c": "tarvel[°C]"}): the parser reads the column as float64 at its own speed and
        # the magnitudes become the column; only a file whose cells are not all numbers ("3 [km]") is read
        # again, cell by cell.
        dtype = kwds.get("dtype")
        if not isinstance(dtype, dict) or any(kwds.get(k) for k in ("iterator", "chunksize", "converters")):
            return original(source, kwds)
        tarvel = {name: pandas_dtype(value) for name, value in dtype.items() if _names_tarvel(value)}
        by_name = isinstance(source, str | bytes) or hasattr(source, "__fspath__")
        if not tarvel or not (by_name or (hasattr(source, "seekable") and source.seekable())):
            return original(source, kwds)
        start = None if by_name else source.tell()
        try:
            frame = original(source, {**kwds, "dtype": {**dtype, **dict.fromkeys(tarvel, "float64")}})
        except (ValueError, TypeError):
            frame = None
        if frame is None or not all(name in frame.columns for name in tarvel):
            if start is not None:
                source.seek(start)
            return original(source, kwds)
        for name, column_dtype in tarvel.items():
            frame[name] = pd.array(frame[name].to_numpy(dtype=np.float64), dtype=column_dtype)
        return frame


def _names_tarvel(dtype: Any) -> bool:
    return isinstance(dtype, TarvelDtype) or (isinstance(dtype, str) and _NAME.match(dtype) is not None)


_install_window_rules()
_install_reading_rules()
_install_describe_rules()
_install_frame_rules()
_install_series_rules()
_install_construction_rules()


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


# Parquet, Feather and Arrow keep the units of these columns through the Arrow extension type.
try:
    from tarvel import arrow as _arrow  # noqa: E402, F401
except ImportError:  # pyarrow is optional
    pass

# dask dataframes sample each column's dtype; this is the sample of a tarvel column.
from tarvel import _dask_frames  # noqa: E402

_dask_frames.register(TarvelDtype, lambda dtype: pd.array([1.0, np.nan], dtype=dtype))
