"""xarray and quantities: a `DataArray` may wrap a `TarvelArray` directly (arithmetic, reductions along
named dimensions, `sel`/`isel`, `xr.concat` keep the units). Importing this module adds what xarray
itself cannot do with units, as the `.tarvel` accessor of DataArray:

    da.tarvel.units                 # the Tarvel of magnitude 1 in the data's units
    da.tarvel.as_unit("s")          # the data converted, as a DataArray
    da.tarvel.as_number("s")        # plain magnitudes in "s", attrs["units"] = "s"
    da.tarvel.plot()                # plotted through the matplotlib converter

xarray's own `.plot` and `.values` need plain numbers and refuse a TarvelArray with units (NumPy
conversion raises TypeError); `.tarvel.plot` converts into the axis' units first.
"""

import importlib

from . import _lazy

_xr = _lazy.require("xarray", "xarray")
_tarvel = importlib.import_module("tarvel")

TarvelArray = _tarvel.TarvelArray

__all__ = ["TarvelAccessor"]


def _unit_text(unit: object) -> str:
    return importlib.import_module("tarvel.matplotlib").unit_text(unit)


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
        plain.attrs["units"] = _unit_text(unit)
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


# quantify()/dequantify() of attrs["units"] (files), and the Dataset accessor.
from . import xarray_units as _xarray_units  # noqa: E402, F401
