"""Units and dimensions in annotations, and the decorator that enforces them when a function is called.

``Tarvel["m/s"]`` is ``Annotated[Tarvel, Unit("m/s")]``: a quantity in metres per second.
``Annotated[Tarvel, Dim("length/time")]`` is any speed, left in its own units. ``@checked`` reads both
kinds of marker from a function's annotations, converts or checks the arguments and the result, and
leaves every other parameter alone. Only the standard library is imported here.
"""

import functools
import inspect
import re
import sys
import typing
from typing import Any, Callable, TypeVar

from tarvel import Tarvel, TarvelArray

__all__ = ["Unit", "Dim", "checked"]

_F = TypeVar("_F", bound=Callable[..., Any])

# Dimension names and what each stands for, in unit text the library reads.
DIMENSION_NAMES: dict[str, str] = {
    "dimensionless": "",
    "length": "m",
    "mass": "kg",
    "time": "s",
    "current": "A",
    "temperature": "K",
    "amount": "mol",
    "luminous_intensity": "cd",
    "currency": "USD",
    "area": "m2",
    "volume": "m3",
    "speed": "m/s",
    "velocity": "m/s",
    "acceleration": "m/s2",
    "frequency": "Hz",
    "force": "N",
    "energy": "J",
    "power": "W",
    "pressure": "Pa",
    "charge": "C",
    "voltage": "V",
    "density": "kg/m3",
}

# One term of a dimension text: a name or unit, then an optional exponent ("time2", "length-1").
_TERM = re.compile(r"^(?P<name>.*?)(?P<power>-?\d+(?:\.\d+)?)?$")


class Unit:
    """An annotation marker: the value is a quantity in these units (``Annotated[Tarvel, Unit("m/s")]``).

    ``@checked`` converts a compatible argument into the units and refuses any other with TypeError.
    """

    __slots__ = ("__tarvel_unit__", "quantity")

    def __init__(self, units: "str | Tarvel") -> None:
        quantity = units.units() if isinstance(units, Tarvel) else Tarvel.unit(units)
        object.__setattr__(self, "quantity", quantity)
        object.__setattr__(self, "__tarvel_unit__", units.unit_text() if isinstance(units, Tarvel) else units)

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError(f"{type(self).__name__} is read-only")

    def __repr__(self) -> str:
        return f"tarvel.Unit({self.__tarvel_unit__!r})"

    def __eq__(self, other: object) -> bool:
        return type(other) is type(self) and other.__tarvel_unit__ == self.__tarvel_unit__  # type: ignore[attr-defined]

    def __hash__(self) -> int:
        return hash((type(self).__name__, self.__tarvel_unit__))

    def __get_pydantic_core_schema__(self, source: Any, handler: Any) -> Any:
        from tarvel import pydantic as _p

        return _p.annotated_schema(self, source, handler)


class Dim:
    """An annotation marker: the value is a quantity of these dimensions, in any units.

    The text joins dimension names (``length``, ``mass``, ``time``, ``speed``, ``energy``, ... see
    ``DIMENSION_NAMES``) or units with "." and one "/", each with an optional exponent:
    ``Dim("length/time2")``, ``Dim("energy/temperature")``, ``Dim("m/s")``.
    """

    __slots__ = ("__tarvel_dimension__", "quantity")

    def __init__(self, dimensions: str) -> None:
        object.__setattr__(self, "quantity", _dimension_quantity(dimensions))
        object.__setattr__(self, "__tarvel_dimension__", dimensions)

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError(f"{type(self).__name__} is read-only")

    def __repr__(self) -> str:
        return f"tarvel.Dim({self.__tarvel_dimension__!r})"

    def __eq__(self, other: object) -> bool:
        return type(other) is type(self) and other.quantity.dimensions() == self.quantity.dimensions()  # type: ignore[attr-defined]

    def __hash__(self) -> int:
        return hash((type(self).__name__, tuple(sorted(self.quantity.dimensions().items()))))

    def __get_pydantic_core_schema__(self, source: Any, handler: Any) -> Any:
        from tarvel import pydantic as _p

        return _p.annotated_schema(self, source, handler)


def _dimension_quantity(text: str) -> Tarvel:
    """A quantity of the dimensions `text` names (its units are the names' stand-ins)."""
    if not isinstance(text, str):
        raise TypeError(f"Dim takes dimension text such as 'length/time', not {type(text).__name__}")
    numerator, slash, denominator = text.partition("/")
    if "/" in denominator:
        raise ValueError(f"dimension text {text!r} has more than one '/'")
    result = Tarvel.empty()
    for part, sign in ((numerator, 1), (denominator, -1)):
        for term in part.split("."):
            term = term.strip()
            if not term or term == "1":
                continue
            match = _TERM.match(term)
            assert match is not None
            name, power = match.group("name"), float(match.group("power") or 1)
            units = DIMENSION_NAMES.get(name)
            if units == "":
                continue
            try:
                factor = Tarvel.unit(units if units is not None else name)
            except LookupError:
                raise LookupError(f"{name!r} is neither a dimension ({', '.join(DIMENSION_NAMES)}) nor a unit") from None
            result = result * factor ** (sign * power)
    return result.as_base_units()


def _class_getitem(cls: type, item: Any) -> Any:
    """``Tarvel[units]``: ``Annotated[cls, marker]`` for unit text, a Literal of it, a Unit or a Dim."""
    if typing.get_origin(item) is typing.Literal and len(typing.get_args(item)) == 1:
        (item,) = typing.get_args(item)
    if isinstance(item, str):
        item = Unit(item)
    elif not isinstance(item, (Unit, Dim)):
        raise TypeError(f"{cls.__name__}[...] takes unit text, a tarvel.Unit or a tarvel.Dim, not {type(item).__name__}")
    return typing.Annotated[cls, item]


# --- @checked ----------------------------------------------------------------------------------------


def _marker_of(annotation: Any) -> "tuple[Unit | Dim, bool] | None":
    """The marker of an annotation and whether None is allowed too (``Tarvel["m"] | None``)."""
    if typing.get_origin(annotation) is typing.Annotated:
        for extra in annotation.__metadata__:
            if isinstance(extra, (Unit, Dim)):
                return extra, False
        return None
    arguments = typing.get_args(annotation)
    if arguments and type(None) in arguments:
        for argument in arguments:
            found = _marker_of(argument)
            if found is not None:
                return found[0], True
    return None


def _refuse(error: BaseException, what: str) -> typing.NoReturn:
    error.add_note(f"while processing {what}")
    raise error


def _converter(marker: "Unit | Dim", allows_none: bool, what: str) -> Callable[[Any], Any]:
    """The conversion (or check) of one value of any kind; the generated wrapper inlines the common case."""
    target = marker.quantity
    converts = isinstance(marker, Unit)

    def convert(value: Any) -> Any:
        if value is None and allows_none:
            return None
        kind = type(value)
        if kind is Tarvel or kind is TarvelArray:
            if converts:
                return value.as_unit(target)
            if value.is_compatible(target):
                return value
            # The library's own message for the mismatch.
            value.as_unit(target)
        accessor = getattr(value, "tarvel", None) if "pandas" in sys.modules else None
        if accessor is not None:
            if converts:
                return accessor.as_unit(target)
            if accessor.units().is_compatible(target):
                return value
            accessor.units().as_unit(target)
        if isinstance(value, (int, float)) and not isinstance(value, bool):
            # A plain number is a dimensionless quantity: accepted where no dimensions are asked for.
            quantity = Tarvel.empty() * value
            result = quantity.as_unit(target)
            return result if converts else quantity
        units = f"units {marker.__tarvel_unit__!r}" if converts else f"dimensions {marker.__tarvel_dimension__!r}"
        raise TypeError(f"a quantity in {units} was expected, not {type(value).__name__!r}")

    convert.__qualname__ = f"convert {what}"
    return convert


def _build(function: Callable[..., Any]) -> Callable[..., Any]:
    """A wrapper made for `function`: conversions precomputed, the common case inlined in generated code."""
    hints = typing.get_type_hints(function, include_extras=True)
    signature = inspect.signature(function)
    name = getattr(function, "__qualname__", getattr(function, "__name__", "function"))
    namespace: dict[str, Any] = {"_f": function, "_type": type, "_T": Tarvel, "_refuse": _refuse, "_D": None}
    header: list[str] = []
    call: list[str] = []
    body: list[str] = []
    seen_keyword_only = False
    for index, parameter in enumerate(signature.parameters.values()):
        p = parameter.name
        kind = parameter.kind
        default = "=_D" if parameter.default is not parameter.empty else ""
        if kind is parameter.VAR_POSITIONAL:
            header.append(f"*{p}")
            call.append(f"*{p}")
            seen_keyword_only = True
        elif kind is parameter.VAR_KEYWORD:
            header.append(f"**{p}")
            call.append(f"**{p}")
        elif kind is parameter.KEYWORD_ONLY:
            if not seen_keyword_only:
                header.append("*")
                seen_keyword_only = True
            header.append(p + default)
            call.append(f"{p}={p}")
        else:
            header.append(p + default)
            call.append(p)
            if kind is parameter.POSITIONAL_ONLY and (
                index + 1 == len(signature.parameters)
                or list(signature.parameters.values())[index + 1].kind is not parameter.POSITIONAL_ONLY
            ):
                header.append("/")
        found = _marker_of(hints.get(p))
        if found is None:
            continue
        marker, allows_none = found
        what = f"{p!r} of {name}()"
        namespace[f"_c{index}"] = _converter(marker, allows_none, what)
        namespace[f"_u{index}"] = marker.quantity
        namespace[f"_w{index}"] = what
        if kind is parameter.VAR_POSITIONAL:
            step = f"{p} = tuple(map(_c{index}, {p}))"
        elif kind is parameter.VAR_KEYWORD:
            step = f"{p} = {{k: _c{index}(v) for k, v in {p}.items()}}"
        elif isinstance(marker, Unit):
            step = f"{p} = {p}.as_unit(_u{index}) if _type({p}) is _T else _c{index}({p})"
        else:
            step = f"{p} = {p} if _type({p}) is _T and {p}.is_compatible(_u{index}) else _c{index}({p})"
        body.append(f"    try:\n        {step}\n    except (TypeError, LookupError) as e:\n        _refuse(e, _w{index})")
    returned = _marker_of(hints.get("return"))
    if returned is None:
        body.append(f"    return _f({', '.join(call)})")
    else:
        marker, allows_none = returned
        namespace["_cr"] = _converter(marker, allows_none, f"the result of {name}()")
        namespace["_ur"] = marker.quantity
        namespace["_wr"] = f"the result of {name}()"
        if isinstance(marker, Unit):
            step = "return r.as_unit(_ur) if _type(r) is _T else _cr(r)"
        else:
            step = "return r if _type(r) is _T and r.is_compatible(_ur) else _cr(r)"
        body.append(f"    r = _f({', '.join(call)})\n    try:\n        {step}\n    except (TypeError, LookupError) as e:\n        _refuse(e, _wr)")
    source = f"def checked_call({', '.join(header)}):\n" + "\n".join(body) + "\n"
    exec(compile(source, f"<tarvel.checked {name}>", "exec"), namespace)
    wrapper = namespace["checked_call"]
    wrapper.__defaults__ = function.__defaults__
    wrapper.__kwdefaults__ = function.__kwdefaults__
    return wrapper


def checked(function: _F) -> _F:
    """Converts arguments annotated with units (``Tarvel["m"]``, ``Annotated[Tarvel, Unit("m")]``) into those
    units and checks those annotated with dimensions (``Dim("length")``); the result likewise. A value that
    does not fit raises the library's TypeError with a note naming the parameter. Parameters without such
    annotations are passed through untouched; everything is worked out once, when the annotations can
    first be read.

    >>> @checked
    ... def speed(distance: Tarvel["m"], time: Tarvel["s"]) -> Tarvel["m/s"]:
    ...     return distance / time
    >>> speed(Tarvel.unit("km") * 3, Tarvel.unit("min"))
    50 [m/s]
    """
    if not callable(function):
        raise TypeError(f"checked decorates a function, not {type(function).__name__}")
    try:
        fast: "Callable[..., Any] | None" = _build(function)
    except NameError:
        # An annotation names something defined later: read the annotations at the first call.
        fast = None

    if fast is not None:
        functools.update_wrapper(fast, function)
        return typing.cast(_F, fast)

    @functools.wraps(function)
    def deferred(*args: Any, **kwargs: Any) -> Any:
        nonlocal fast
        if fast is None:
            fast = _build(function)
        return fast(*args, **kwargs)

    return typing.cast(_F, deferred)
