"""Units and dimensions in annotations, and the decorator that enforces them when a function is called."""

from collections.abc import Callable
from typing import Any, TypeVar

from . import Tarvel

__all__ = ["Unit", "Dim", "checked"]

_F = TypeVar("_F", bound=Callable[..., Any])

# Dimension names Dim reads, and the unit text each stands for.
DIMENSION_NAMES: dict[str, str]

class Unit:
    """An annotation marker: the value is a quantity in these units (``Annotated[Tarvel, Unit("m/s")]``).

    ``@checked`` converts a compatible argument into the units and refuses any other with TypeError.

    >>> Unit("km/hr").quantity
    1 [km/hr]
    """

    __tarvel_unit__: str
    quantity: Tarvel
    def __init__(self, units: str | Tarvel) -> None: ...
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    def __get_pydantic_core_schema__(self, source: Any, handler: Any) -> Any: ...

class Dim:
    """An annotation marker: the value is a quantity of these dimensions, in any units.

    Dimension names (``length``, ``mass``, ``time``, ``speed``, ``energy``, ...) or units, joined with
    "." and one "/", each with an optional exponent.

    >>> Dim("length/time2").quantity
    1 [m/s2]
    """

    __tarvel_dimension__: str
    quantity: Tarvel
    def __init__(self, dimensions: str) -> None: ...
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    def __get_pydantic_core_schema__(self, source: Any, handler: Any) -> Any: ...

def checked(function: _F) -> _F:
    """Converts arguments annotated with units into those units, checks those annotated with dimensions,
    and does the same for the result; TypeError (with a note naming the parameter) for a value that does
    not fit. Parameters without such annotations are untouched.

    >>> @checked
    ... def speed(distance: Tarvel["m"], time: Tarvel["s"]) -> Tarvel["m/s"]:
    ...     return distance / time
    >>> speed(Tarvel.unit("km") * 3, Tarvel.unit("min"))
    50 [m/s]
    """
