from types import TracebackType
from typing import Any

from matplotlib.axis import Axis
from matplotlib.units import AxisInfo, ConversionInterface

from . import Tarvel, TarvelArray

__all__ = ["TarvelConverter", "support"]

def unit_text(unit: Tarvel | TarvelArray | str) -> str: ...

class TarvelConverter(ConversionInterface):
    @staticmethod
    def default_units(x: Any, axis: Axis | None) -> Tarvel: ...
    @staticmethod
    def axisinfo(unit: Tarvel | str | None, axis: Axis | None) -> AxisInfo | None: ...
    @staticmethod
    def convert(value: Any, unit: Tarvel | str | None, axis: Axis | None) -> Any: ...

class support:
    def __init__(self, converter: TarvelConverter | None = None) -> None: ...
    def restore(self) -> None: ...
    def __enter__(self) -> support: ...
    def __exit__(
        self, exc_type: type[BaseException] | None, exc: BaseException | None, tb: TracebackType | None
    ) -> None: ...
