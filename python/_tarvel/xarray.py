"""xarray and quantities: a `DataArray` may wrap a `TarvelArray` directly (arithmetic, reductions along
named dimensions, `sel`/`isel`, `xr.concat`, `where`/`fillna`, windows, `integrate` keep the units).
Importing this module adds what xarray itself cannot do with units, as the `.tarvel` accessor of
DataArray:

    da.tarvel.units                 # the Tarvel of magnitude 1 in the data's units
    da.tarvel.as_unit("s")          # the data converted, as a DataArray
    da.tarvel.as_number("s")        # plain magnitudes in "s", attrs["units"] = "s"
    da.tarvel.plot()                # plotted through the matplotlib converter

and teaches xarray's type promotion about quantities: a quantity given in compatible units is converted,
and xarray's own missing value (a plain NaN) is a missing value in the data's units.
`differentiate` along a datetime coordinate gives the data's units per second.

xarray's own `.plot` and `.values` need plain numbers and refuse a TarvelArray with units (NumPy
conversion raises TypeError); `.tarvel.plot` converts into the axis' units first.
"""

import functools
import importlib
from typing import Any

from . import _access, _lazy

_xr = _lazy.require("xarray", "xarray")
_np = _lazy.require("numpy", "xarray")
_tarvel = importlib.import_module("tarvel")

Tarvel = _tarvel.Tarvel
TarvelArray = _tarvel.TarvelArray

__all__ = ["TarvelAccessor"]


@_xr.register_dataarray_accessor("tarvel")
class TarvelAccessor:
    """Unit operations on a DataArray that wraps a TarvelArray."""

    def __init__(self, data_array: "_xr.DataArray") -> None:
        self._da = data_array

    def _quantity(self) -> "TarvelArray":
        data = self._da.data
        if not isinstance(data, TarvelArray):
            raise TypeError(f"the DataArray holds {type(data).__name__}, not a TarvelArray")
        return data

    @property
    def units(self):
        """The Tarvel of magnitude 1 in the data's units."""
        return self._quantity().units()

    def as_unit(self, unit) -> "_xr.DataArray":
        """The data converted into `unit` (anything `as_unit` takes), coordinates and attributes kept."""
        return self._da.copy(data=self._quantity().as_unit(unit))

    def as_number(self, unit) -> "_xr.DataArray":
        """Plain magnitudes in `unit`, with `attrs["units"]` its text (xarray shows it in plot labels)."""
        plain = self._da.copy(data=self._quantity().as_number(unit))
        plain.attrs["units"] = _access.unit_text(unit)
        return plain

    def plot(self, *args, ax=None, **kwargs):
        """`DataArray.plot` on the magnitudes: a 1-D line goes on the y axis in that axis' units (its
        first series' units, or the data's), so series in compatible units share one scale; other plots
        show the data's own units."""
        matplotlib = importlib.import_module("tarvel.matplotlib")
        data = self._quantity()
        if self._da.ndim != 1:
            return self.as_number(data.units()).plot(*args, ax=ax, **kwargs)
        if ax is None:
            ax = _lazy.require("matplotlib.pyplot", "xarray").gca()
        axis = ax.yaxis
        if not isinstance(axis.get_converter(), matplotlib.TarvelConverter):
            axis.set_converter(matplotlib.TarvelConverter())
        if axis.get_units() is None:
            axis.set_units(data.units())
        return self.as_number(axis.get_units()).plot(*args, ax=ax, **kwargs)


# -- what xarray cannot see in a TarvelArray ---------------------------------------------------------------
# xarray gives no hook for these: each is wrapped once, on import (_access.wraps), and passes anything
# without a quantity to xarray's own function unchanged.

def _is_quantity(value: Any) -> bool:
    return isinstance(value, (Tarvel, TarvelArray))


def _operand(value: Any, units: Any) -> Any:
    """A value joined with quantities in `units`, as the array functions take it: a quantity as it is
    (converted by the function into the data's units, or refused); a plain NaN (xarray's missing value,
    even as a 0-d array) as NaN; a plain 0 or infinity (xarray's fills before sums and extrema) as that
    value in `units`; other plain values as they are (refused unless the data is unitless)."""
    if _is_quantity(value):
        return value
    array = _np.asarray(value)
    if array.ndim == 0 and array.dtype.kind in "fiub":
        if array != array:
            return float("nan")
        if array.dtype.kind != "b" and (array == 0 or _np.isinf(array)):
            return float(array) * units
    if array.dtype.kind in "fiu":
        return array
    if array.dtype == object and array.size and all(_is_quantity(v) for v in array.ravel()):
        return TarvelArray(array.ravel().tolist()).reshape(array.shape)
    return value


def _install_promotion() -> None:
    from xarray.core import duck_array_ops

    @_access.wraps(duck_array_ops, "as_shared_dtype")
    def as_shared_dtype(original: Any, scalars_or_arrays: Any, xp: Any = None) -> Any:
        if not any(_is_quantity(x) for x in scalars_or_arrays):
            return original(scalars_or_arrays, xp=xp)
        first = next(x for x in scalars_or_arrays if _is_quantity(x))
        units = first.units()
        return [_operand(x, units) for x in scalars_or_arrays]


def _as_array(value: Any) -> Any:
    """A Tarvel, or an object array of them, as a TarvelArray of the same shape; anything else as it is."""
    if isinstance(value, Tarvel):
        units = value.units()
        return _access.from_parts(_np.array(value.as_number(units), dtype=_np.float64), units)
    if isinstance(value, _np.ndarray) and value.dtype == object and value.size and all(
            _is_quantity(v) for v in value.ravel()):
        return TarvelArray(value.ravel().tolist()).reshape(value.shape)
    return value


def _install_variables() -> None:
    try:
        from xarray.computation import ops
    except ImportError:  # xarray before 2025.3
        from xarray.core import ops  # type: ignore[no-redef]
    from xarray.core import duck_array_ops, variable

    @_access.wraps(variable, "as_compatible_data")
    def as_compatible_data(original: Any, data: Any, *args: Any, **kwargs: Any) -> Any:
        # A full reduction gives a Tarvel: kept as a 0-d TarvelArray, not an object array.
        return original(_as_array(data), *args, **kwargs)

    @_access.wraps(ops, "_call_possibly_missing_method")
    def call_method(original: Any, arg: Any, name: str, args: Any, kwargs: Any) -> Any:
        if isinstance(arg, TarvelArray) and name in _ARRAY_METHODS:
            return _ARRAY_METHODS[name](arg, *args, **kwargs)
        return original(arg, name, args, kwargs)

    @_access.wraps(duck_array_ops, "pad")
    def pad(original: Any, array: Any, pad_width: Any, **kwargs: Any) -> Any:
        # xarray pads windows with NaN and integrals with 0: in the data's units.
        if isinstance(array, TarvelArray) and "constant_values" in kwargs:
            kwargs["constant_values"] = _operand(kwargs["constant_values"], array.units())
        return original(array, pad_width, **kwargs)

    @_access.wraps(duck_array_ops, "einsum")
    def einsum(original: Any, subscripts: str, *operands: Any, **kwargs: Any) -> Any:
        # xarray's dot product (weighted means): each term multiplies one element of every operand, so
        # the result is in the product of their units.
        if not any(isinstance(x, TarvelArray) for x in operands):
            return original(subscripts, *operands, **kwargs)
        units = functools.reduce(lambda a, b: a * b, [x.units() for x in operands if isinstance(x, TarvelArray)])
        plain = [x.as_number(x.units()) if isinstance(x, TarvelArray) else x for x in operands]
        return _access.from_parts(_np.asarray(original(subscripts, *plain, **kwargs)), units)


    @_access.wraps(duck_array_ops, "sliding_window_view")
    def sliding_window_view(original: Any, array: Any, *args: Any, **kwargs: Any) -> Any:
        # A view of the array's own elements (rolling windows): the same units.
        if not isinstance(array, TarvelArray):
            return original(array, *args, **kwargs)
        magnitudes, units = _access.parts(array)
        return _access.from_parts(original(magnitudes, *args, **kwargs), units)

    @_access.wraps(duck_array_ops, "cumulative_trapezoid")
    def cumulative_trapezoid(original: Any, y: Any, x: Any, axis: int) -> Any:
        if not isinstance(y, TarvelArray):
            return original(y, x, axis)
        # xarray's own steps, with the leading zero padded in the integrand's units.
        axis = axis + y.ndim if axis < 0 else axis
        x_sl1 = (slice(1, None),) + (None,) * (y.ndim - axis - 1)
        x_sl2 = (slice(None, -1),) + (None,) * (y.ndim - axis - 1)
        slice1 = (slice(None),) * axis + (slice(1, None),)
        slice2 = (slice(None),) * axis + (slice(None, -1),)
        integrand = (x[x_sl1] - x[x_sl2]) * 0.5 * (y[slice1] + y[slice2])
        pads = [(1, 0) if i == axis else (0, 0) for i in range(y.ndim)]
        integrand = duck_array_ops.pad(integrand, pads, mode="constant", constant_values=0.0)
        return duck_array_ops.cumsum(integrand, axis=axis, skipna=False)


def _item(array: "TarvelArray", *args: Any) -> Any:
    if not args:
        if array.size != 1:
            raise ValueError("can only convert an array of size 1 to a Python scalar")
        return array.reshape(-1)[0]
    if len(args) == 1 and isinstance(args[0], int):
        return array.reshape(-1)[args[0]]
    return array[args[0] if len(args) == 1 else args]


# The ndarray methods xarray calls on its data that TarvelArray leaves to NumPy's functions.
_ARRAY_METHODS = {
    "item": _item,
    "argsort": lambda array, *args, **kwargs: _np.argsort(array, *args, **kwargs),
    "searchsorted": lambda array, *args, **kwargs: _np.searchsorted(array, *args, **kwargs),
}


def _install_datetime_derivatives() -> None:
    @_access.wraps(_xr.DataArray, "differentiate")
    def differentiate(original: Any, self: Any, coord: Any, edge_order: int = 1,
                      datetime_unit: Any = None) -> Any:
        # Along a datetime coordinate xarray divides by a count of its datetime unit (nanoseconds by
        # default) as a plain number: the quantity is divided by that unit, seconds unless one is named.
        if not isinstance(self.data, TarvelArray) or self[coord].dtype.kind not in "mM":
            return original(self, coord, edge_order=edge_order, datetime_unit=datetime_unit)
        unit = datetime_unit or "s"
        result = original(self, coord, edge_order=edge_order, datetime_unit=unit)
        return result / Tarvel.unit(_DATETIME_UNITS.get(unit, unit))


def _install_pandas_bridge() -> None:
    @_access.wraps(_xr.DataArray, "to_series")
    def to_series(original: Any, self: Any, *args: Any, **kwargs: Any) -> Any:
        # A column of the tarvel dtype, not the plain values xarray would ask the array for.
        if not isinstance(self.data, TarvelArray):
            return original(self, *args, **kwargs)
        pandas = importlib.import_module("tarvel.pandas")
        index = self.coords.to_index()
        column = pandas.TarvelExtensionArray(self.data.reshape(-1).astype("float64"))
        return pandas.pd.Series(column, index=index, name=self.name)


# xarray's datetime units as unit text.
_DATETIME_UNITS = {"D": "day", "h": "hr", "m": "min", "ms": "ms", "us": "us", "ns": "ns", "s": "s", "W": "week"}

_install_promotion()
_install_variables()
_install_datetime_derivatives()
_install_pandas_bridge()


# quantify()/dequantify() of attrs["units"] (files), and the Dataset accessor.
from . import xarray_units as _xarray_units  # noqa: E402, F401
