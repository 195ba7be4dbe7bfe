"""Physical quantities: numbers that carry units of measure, arrays of them, and logarithmic ratio
quantities."""

from collections.abc import Callable, Iterable, Iterator
from typing import Any, ClassVar, Generic, SupportsFloat, SupportsIndex, TypeAlias, final, overload

from typing_extensions import TypeVar

import numpy as np
import numpy.typing as npt

__all__ = ["Tarvel", "TarvelArray", "LogTarvel"]

# A plain number: Python's own, or any scalar that converts through __index__ or __float__ (NumPy
# scalars, fractions.Fraction, decimal.Decimal).
_Number: TypeAlias = float | int | SupportsIndex | SupportsFloat
# Where a number is taken (the operands of LogTarvel, the modulus of pow()).
_PyNumber: TypeAlias = _Number | LogTarvel
# Where a unit-like value is taken: a quantity, a logarithmic quantity (its ratio), a number, or unit
# text such as "kg.m/s2".
_UnitCoercible: TypeAlias = Tarvel | LogTarvel | str | _Number
# What an array operation takes besides a unit-like value: a TarvelArray, or anything NumPy reads as an
# array of numbers (an ndarray, nested lists).
_ArrayLike: TypeAlias = TarvelArray | npt.NDArray[Any]
_ArrayOperand: TypeAlias = _ArrayLike | _UnitCoercible
_Floating: TypeAlias = np.ndarray[Any, np.dtype[np.floating[Any]]]
_Bools: TypeAlias = npt.NDArray[np.bool_]
_Axis: TypeAlias = SupportsIndex | tuple[SupportsIndex, ...] | None
_Shape: TypeAlias = SupportsIndex | tuple[SupportsIndex, ...]
# The user's own units for reading text (tarvel.vocabulary.Vocabulary).
_Vocabulary: TypeAlias = Any

from .annotations import Dim as Dim
from .annotations import Unit as Unit
from .annotations import checked as checked

# The dimensions a quantity's type carries: Tarvel["m/s"] (with the mypy plugin tarvel.mypy) or
# Tarvel[Literal["m/s"]]. Plain Tarvel is Tarvel[str]: any units. (The plugin makes plain Tarvel a
# Tarvel[Any], which also fits where units are annotated; Any as the default here would make the overloads
# that take a Tarvel or a number ambiguous to checkers without the plugin.)
_Units = TypeVar("_Units", bound=str, covariant=True, default=str)

# No class can be subclassed; instances come from the class methods and from operations. An ndarray
# converts with float() too, so it also matches _Number: the array overload of each Tarvel operator comes
# first.
@final
class Tarvel(Generic[_Units]):
    """Unit! yippee

    A physical quantity: a 64-bit magnitude and a unit expression. Make one with ``Tarvel.unit``,
    ``Tarvel.parse``, ``Tarvel.constant``, ``Tarvel.custom`` or ``Tarvel.empty``.

    >>> Tarvel.unit("km") * 36 / Tarvel.unit("hr")
    36 [km/hr]
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]
    @classmethod
    def unit(cls, unit_name_or_symbol: str) -> Tarvel:
        """One of a unit expression (names, symbols, prefixes, aliases joined by "." and one "/").

        >>> Tarvel.unit("kg.m/s2")
        1 [kg.m/s2]
        """
    @classmethod
    def constant(cls, constant_name: str) -> Tarvel:
        """A named physical constant, by name or alias.

        >>> Tarvel.constant("speed of light")
        299792458 [m/s]
        """
    @classmethod
    def empty(cls) -> Tarvel:
        """The unitless quantity 1.

        >>> Tarvel.empty() * 3
        3 []
        """
    @classmethod
    def custom(cls, name: str, abbr: str, definition: _UnitCoercible) -> Tarvel:
        """One of a new unit named ``name`` with symbol ``abbr``, worth ``definition``.

        >>> (Tarvel.custom("dozen", "dz", 12) * 3).as_unitless()
        36.0
        """
    @classmethod
    def parse(cls, text: str, vocabulary: _Vocabulary | None = None) -> Tarvel:
        """A quantity from text: an optional number (Python's float syntax) and units in common notations.

        The printed form reads back as it is; an unknown unit raises LookupError, other text ValueError.

        >>> Tarvel.parse("9.81 m/s2"), Tarvel.parse("9.81 [m/s2]"), Tarvel.parse("km")
        (9.81 [m/s2], 9.81 [m/s2], 1 [km])
        """
    @classmethod
    def parse_unit(cls, text: str, vocabulary: _Vocabulary | None = None) -> Tarvel:
        """One of the units a text names, in common notations ("m s-1", "m/s^2", "J/(kg K)", "µm").

        >>> Tarvel.parse_unit("kg m-2 s-1")
        1 [kg/m2.s]
        """
    def cf_unit_text(self) -> str:
        """The units the quantity holds its value in, in CF notation.

        >>> Tarvel.unit("kg.m/s2").cf_unit_text()
        'kg m s-2'
        """
    def as_unit(self, other: _UnitCoercible) -> Tarvel:
        """The same quantity in the units of ``other``; TypeError when the dimensions differ.

        >>> (Tarvel.unit("km") * 36 / Tarvel.unit("hr")).as_unit("m/s")
        10 [m/s]
        """
    def as_number(self, other: _UnitCoercible | None = None, scale: bool = False) -> float:
        """The magnitude, in the units of ``other`` when given (divided by its magnitude with ``scale``).

        >>> (Tarvel.unit("km") * 5).as_number("mi")
        3.1068559611866697
        """
    def __class_getitem__(cls, units: str | Unit | Dim, /) -> Any:
        """``Tarvel["m/s"]``: the annotation ``Annotated[Tarvel, tarvel.Unit("m/s")]`` at run time, a
        quantity type with those dimensions for mypy with the plugin ``tarvel.mypy``.

        >>> Tarvel["m/s"]
        typing.Annotated[tarvel.Tarvel, tarvel.Unit('m/s')]
        """
    def to_compact(self) -> Tarvel[_Units]:
        """The same quantity with the prefix of its first unit chosen so that the magnitude lies in
        [1, 1000) (for a unit to the power n, in [1, 1000^n)); an exact conversion, as ``as_unit``.
        Quantities whose first unit takes no prefix (hr, ft, degC, ...) come back unchanged, as do 0,
        inf and NaN. Printing never does this by itself.

        >>> (Tarvel.unit("m") * 12000).to_compact()
        12 [km]
        >>> (Tarvel.unit("kg.m/s2") * 0.02).to_compact()
        20 [g.m/s2]
        """
    def as_preferred(self, units: Iterable[_UnitCoercible]) -> Tarvel[_Units]:
        """The same quantity in the product of ``units`` (each to a whole power) that has its dimensions
        and the fewest unit powers; ties go to fewer distinct units, then to earlier ones in the list.
        An exact conversion, as ``as_unit``; TypeError when no such product exists (up to six powers).

        >>> Tarvel.unit("kg.m2/s2").as_preferred(["J", "W", "s"])
        1 [J]
        >>> (Tarvel.unit("kg.m2/s3") * 3600).as_preferred(["kW", "hr"])
        3.6 [kW]
        """
    def as_unitless(self) -> float:
        """The value of a dimensionless quantity as a plain number; TypeError otherwise.

        >>> (Tarvel.unit("km") / Tarvel.unit("m")).as_unitless()
        1000.0
        """
    def __sizeof__(self) -> int:
        """Bytes of this object, with its unit collection when this object is the collection's only
        holder; a collection shared with other quantities (or kept by the operation memo) counts only as
        the handle held here.

        >>> import sys
        >>> q = Tarvel.unit("km")
        >>> sys.getsizeof(q) == sys.getsizeof(q * 2)
        True
        """
    def as_base_units(self) -> Tarvel:
        """The same quantity in base units (no offsets applied).

        >>> Tarvel.unit("N.m").as_base_units()
        1 [kg.m2/s2]
        """
    def round_sfig(self, n_sig_figs: SupportsIndex) -> Tarvel:
        """Rounded to ``n_sig_figs`` significant figures, halves away from zero.

        >>> (Tarvel.unit("m") * 98765.4).round_sfig(2)
        99000 [m]
        """
    def simplify(self) -> Tarvel:
        """The same quantity in a shortest product of its own units.

        >>> Tarvel.unit("in/m").simplify()
        0.0254 []
        """
    def simplify_inplace(self) -> None:
        """Simplifies the quantity itself, as ``simplify`` would.

        >>> q = Tarvel.unit("W") * Tarvel.unit("s") * Tarvel.unit("N") / Tarvel.unit("J")
        >>> q.simplify_inplace(); q
        1 [N]
        """
    def __div__(self, other: _UnitCoercible) -> Tarvel:
        """``self / other``, raising the error of an operand that is not unit-like.

        >>> Tarvel.unit("km").__div__("hr")
        1 [km/hr]
        """
    def __rdiv__(self, other: _UnitCoercible) -> Tarvel:
        """``other / self``, raising the error of an operand that is not unit-like.

        >>> Tarvel.unit("km").__rdiv__(3)
        3 [1/km]
        """
    def __round__(self, ndigits: SupportsIndex | None = None) -> Tarvel:
        """``round(q, ndigits)``: rounded to decimal places, halves away from zero.

        >>> round(Tarvel.unit("m") * 2.675, 2)
        2.68 [m]
        """
    def __exp__(self) -> float:
        """e to the power of a dimensionless quantity (as ``exp``).

        >>> (Tarvel.empty() * 2).__exp__()
        7.38905609893065
        """
    def exp(self) -> float:
        """e to the power of a dimensionless quantity; TypeError for one with dimensions.

        >>> (Tarvel.empty() * 2).exp()
        7.38905609893065
        """
    def __log__(self) -> float:
        """The natural logarithm of a dimensionless quantity (as ``log``).

        >>> (Tarvel.empty() * 1).__log__()
        0.0
        """
    def log(self) -> float:
        """The natural logarithm of a dimensionless quantity; TypeError for one with dimensions.

        >>> (Tarvel.unit("km") / Tarvel.unit("m")).log()
        6.907755278982137
        """
    def __log10__(self) -> float:
        """The base-10 logarithm of a dimensionless quantity (as ``log10``).

        >>> (Tarvel.empty() * 100).__log10__()
        2.0
        """
    def log10(self) -> float:
        """The base-10 logarithm of a dimensionless quantity; TypeError for one with dimensions.

        >>> (Tarvel.unit("km") / Tarvel.unit("m")).log10()
        3.0
        """
    def descriptive(self) -> str:
        """The text form with unit names spelled out (tidies the units in place, like ``str``).

        >>> Tarvel.unit("J/K.mol").descriptive()
        '1 [joule/kelvin.mole]'
        """
    def latex(self) -> str:
        r"""The LaTeX form (tidies the units in place, like ``str``).

        >>> Tarvel.constant("earth gravity").latex()
        '9.80665~\\mathrm{\\frac{m}{s^2}}'
        """
    def dimensions(self) -> dict[str, float]:
        """Base unit symbol to exponent, non-zero ones only, in the order USD A cd K kg m mol s.

        >>> Tarvel.unit("N").dimensions(), Tarvel.unit("rad").dimensions()
        ({'kg': 1, 'm': 1, 's': -2}, {})
        """
    def is_compatible(self, other: _UnitCoercible) -> bool:
        """Whether ``other`` has the same dimensions (so that ``as_unit(other)`` works).

        >>> Tarvel.unit("J").is_compatible("N.m"), Tarvel.unit("J").is_compatible("W")
        (True, False)
        """
    def units(self) -> Tarvel:
        """Magnitude 1 in exactly this quantity's units.

        >>> (Tarvel.unit("km") * 36 / Tarvel.unit("hr")).units()
        1 [km/hr]
        """
    def unit_text(self) -> str:
        """The unit part of ``str()``, as it shows it (simplified, in brackets): for axis labels.

        >>> Tarvel.constant("earth gravity").unit_text()
        '[m/s2]'
        """
    def unit_latex(self) -> str:
        r"""The unit part of ``latex()``, as it shows it.

        >>> Tarvel.constant("earth gravity").unit_latex()
        '\\mathrm{\\frac{m}{s^2}}'
        """
    def unit_descriptive(self) -> str:
        """The unit part of ``descriptive()``, as it shows it.

        >>> Tarvel.constant("earth gravity").unit_descriptive()
        '[meter/second2]'
        """
    def _repr_latex_(self) -> str:
        r"""The LaTeX form between "$" signs: how notebooks display a quantity.

        >>> Tarvel.unit("m/s")._repr_latex_()
        '$1~\\mathrm{\\frac{m}{s}}$'
        """
    def __format__(self, format_spec: str) -> str:
        """``format()`` and f-strings: a float spec for the number; a trailing L or D picks LaTeX or names.

        >>> f"{Tarvel.unit('km') * 1.23456:.2f}"
        '1.23 [km]'
        """
    def __copy__(self) -> Tarvel:
        """``copy.copy``: an independent, exact copy.

        >>> Tarvel.unit("km").__copy__()
        1 [km]
        """
    def __deepcopy__(self, memo: Any) -> Tarvel:
        """``copy.deepcopy``: an independent, exact copy.

        >>> Tarvel.unit("km").__deepcopy__({})
        1 [km]
        """
    def __reduce__(self) -> tuple[Any, ...]:
        """Pickling: the class's ``_from_state`` and the exact state.

        >>> Tarvel.unit("km").__reduce__()[0] == Tarvel._from_state
        True
        """
    @classmethod
    def _from_state(cls, state: tuple[Any, ...]) -> Tarvel:
        """Rebuilds a quantity from the state ``__reduce__`` gave, after checking all of it.

        >>> Tarvel._from_state(Tarvel.unit("km").__reduce__()[1][0])
        1 [km]
        """
    @classmethod
    def __get_pydantic_core_schema__(cls, source: Any, handler: Any) -> Any:
        """The schema of a ``Tarvel`` field of a pydantic model: an instance, the JSON form or text.

        >>> import pydantic
        >>> pydantic.TypeAdapter(Tarvel).validate_python("9.81 m/s2")
        9.81 [m/s2]
        """
    def __pos__(self) -> Tarvel:
        """``+q``: the same quantity.

        >>> +Tarvel.unit("km")
        1 [km]
        """
    def __neg__(self) -> Tarvel:
        """``-q``: the magnitude negated.

        >>> -Tarvel.unit("km")
        -1 [km]
        """
    def __abs__(self) -> Tarvel:
        """``abs(q)``: the magnitude's absolute value.

        >>> abs(-Tarvel.unit("km"))
        1 [km]
        """
    def __int__(self) -> int:
        """``int(q)``: the exact integer part of the magnitude in the quantity's own units.

        >>> int(Tarvel.unit("m") * 3.7)
        3
        """
    def __float__(self) -> float:
        """``float(q)``: the magnitude in the quantity's own units.

        >>> float(Tarvel.unit("km") * 2)
        2.0
        """
    @overload
    def __add__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __add__(self, other: _UnitCoercible, /) -> Tarvel:
        """``q + other``, in q's units.

        >>> Tarvel.unit("km") + "m"
        1.001 [km]
        """
    @overload
    def __radd__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __radd__(self, other: _UnitCoercible, /) -> Tarvel:
        """``other + q``, in q's units.

        >>> 5 + Tarvel.empty()
        6 []
        """
    @overload
    def __sub__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __sub__(self, other: _UnitCoercible, /) -> Tarvel:
        """``q - other``, in q's units.

        >>> Tarvel.unit("km") - "m"
        0.999 [km]
        """
    @overload
    def __rsub__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __rsub__(self, other: _UnitCoercible, /) -> Tarvel:
        """``other - q``, in q's units.

        >>> 1 - Tarvel.empty() * 3
        -2 []
        """
    @overload
    def __mul__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __mul__(self, other: _UnitCoercible, /) -> Tarvel:
        """``q * other``: magnitudes and units multiply.

        >>> Tarvel.unit("km") * "hr"
        1 [hr.km]
        """
    @overload
    def __rmul__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __rmul__(self, other: _UnitCoercible, /) -> Tarvel:
        """``other * q``: magnitudes and units multiply.

        >>> 2 * Tarvel.unit("ft")
        2 [ft]
        """
    @overload
    def __truediv__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __truediv__(self, other: _UnitCoercible, /) -> Tarvel:
        """``q / other``: magnitudes and units divide.

        >>> Tarvel.unit("km") / "hr"
        1 [km/hr]
        """
    @overload
    def __rtruediv__(self, other: _ArrayLike, /) -> TarvelArray: ...  # type: ignore[overload-overlap]
    @overload
    def __rtruediv__(self, other: _UnitCoercible, /) -> Tarvel:
        """``other / q``: magnitudes and units divide.

        >>> 3 / Tarvel.unit("s")
        3 [1/s]
        """
    def __pow__(self, other: _UnitCoercible, mod: _PyNumber | None = None, /) -> Tarvel:
        """``q ** other`` for a dimensionless exponent.

        >>> (Tarvel.unit("m") * 3) ** 2
        9 [m2]
        """
    def __rpow__(self, other: _UnitCoercible, mod: _PyNumber | None = None, /) -> Tarvel:
        """``other ** q`` for a dimensionless q.

        >>> 2 ** (Tarvel.empty() * 3)
        8 []
        """
    # NumPy hands its ufuncs (np.sqrt(q), q * ndarray) and array functions (np.clip) to the quantity: a
    # plain Tarvel for scalar operands, a TarvelArray or a plain array for array operands, as the unit rule
    # of the ufunc or function says.
    def __array_ufunc__(self, ufunc: np.ufunc, method: str, /, *inputs: Any, **kwargs: Any) -> Any:
        """NumPy ufuncs on the quantity, with the units their rule gives.

        >>> import numpy as np
        >>> np.sqrt(Tarvel.unit("m2") * 9)
        3 [m]
        """
    def __array_function__(
        self, func: Any, types: Any, args: tuple[Any, ...], kwargs: dict[str, Any]
    ) -> Any:
        """NumPy array functions on the quantity, with the units their rule gives.

        >>> import numpy as np
        >>> np.clip(Tarvel.unit("m") * 5000, Tarvel.unit("m"), Tarvel.unit("km"))
        1000 [m]
        """
    @overload
    def __lt__(self, other: _ArrayLike, /) -> _Bools: ...  # type: ignore[overload-overlap]
    @overload
    def __lt__(self, other: _UnitCoercible, /) -> bool:
        """``q < other``, with other converted to q's units.

        >>> Tarvel.unit("m") < Tarvel.unit("km")
        True
        """
    @overload
    def __le__(self, other: _ArrayLike, /) -> _Bools: ...  # type: ignore[overload-overlap]
    @overload
    def __le__(self, other: _UnitCoercible, /) -> bool:
        """``q <= other``, with other converted to q's units.

        >>> Tarvel.unit("km") <= "m"
        False
        """
    @overload
    def __gt__(self, other: _ArrayLike, /) -> _Bools: ...  # type: ignore[overload-overlap]
    @overload
    def __gt__(self, other: _UnitCoercible, /) -> bool:
        """``q > other``, with other converted to q's units.

        >>> Tarvel.unit("km") > Tarvel.unit("m") * 500
        True
        """
    @overload
    def __ge__(self, other: _ArrayLike, /) -> _Bools: ...  # type: ignore[overload-overlap]
    @overload
    def __ge__(self, other: _UnitCoercible, /) -> bool:
        """``q >= other``, with other converted to q's units.

        >>> Tarvel.unit("km") >= "m"
        True
        """
    def __eq__(self, other: object, /) -> bool:
        """``q == other``: equal after converting other to q's units, exactly.

        >>> Tarvel.unit("km") == Tarvel.unit("m") * 1000
        True
        """
    def __ne__(self, other: object, /) -> bool:
        """``q != other``.

        >>> Tarvel.unit("km") != "m"
        True
        """


# With a Tarvel on the right, every LogTarvel operator declines and the Tarvel's reflected operator
# answers; the first overload of each operator says so. Both classes convert with float(), so they also
# match _Number: the overloads are ordered so that the first match is the real result.
@final
class LogTarvel:
    """A number on a logarithmic ratio scale (bel, decibel, neper, semitone); its ratio is the scale's
    base to the power of that number.

    >>> LogTarvel.unit("dB") * 3, float(LogTarvel.unit("dB") * 3)
    (3 [dB], 1.99526231496888)
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]
    @classmethod
    def unit(cls, unit_name_or_symbol: str) -> LogTarvel:
        """One unit of a logarithmic scale: bel ("B"), decibel ("dB"), neper ("Np") or semitone ("stn").

        >>> LogTarvel.unit("dB") * 3
        3 [dB]
        """
    @classmethod
    def parse(cls, text: str) -> LogTarvel:
        """A logarithmic quantity from text: an optional number and a scale name or symbol.

        >>> LogTarvel.parse("3 dB"), LogTarvel.parse("3 [dB]")
        (3 [dB], 3 [dB])
        """
    def as_unit(self, other: LogTarvel) -> LogTarvel:
        """The same ratio on the scale of ``other``.

        >>> (LogTarvel.unit("dB") * 3).as_unit(LogTarvel.unit("B"))
        0.30000000000000004 [B]
        """
    def as_number(self, other: LogTarvel | None = None) -> float:
        """The number of scale units, on the scale of ``other`` when given.

        >>> LogTarvel.unit("B").as_number(LogTarvel.unit("dB"))
        9.999999999999998
        """
    def as_unitless(self) -> float:
        """The plain ratio, as ``float()``.

        >>> (LogTarvel.unit("dB") * 10).as_unitless()
        10.000000000000005
        """
    def round_sfig(self, n_sig_figs: SupportsIndex) -> float:
        """The ratio rounded to ``n_sig_figs`` significant figures.

        >>> (LogTarvel.unit("dB") * 3).round_sfig(3)
        2.0
        """
    @overload
    def __div__(self, other: LogTarvel) -> float:  # type: ignore[overload-overlap]
        """``x / other``, raising the error of an operand that is not number-like.

        >>> (LogTarvel.unit("B") * 2).__div__(2)
        1 [B]
        """
    @overload
    def __div__(self, other: _Number) -> LogTarvel:
        """``x / other``, raising the error of an operand that is not number-like.

        >>> (LogTarvel.unit("B") * 2).__div__(2)
        1 [B]
        """
    def __rdiv__(self, other: _PyNumber) -> float:
        """``other / x``: divides the ratio.

        >>> LogTarvel.unit("B").__rdiv__(20)
        2.0
        """
    def __round__(self, ndigits: SupportsIndex | None = None) -> float:
        """``round(x, ndigits)``: the ratio rounded to decimal places.

        >>> round(LogTarvel.unit("dB") * 10, 2)
        10.0
        """
    def __exp__(self) -> float:
        """e to the power of the ratio (as ``exp``).

        >>> LogTarvel.unit("B").__exp__()
        22026.465794806718
        """
    def exp(self) -> float:
        """e to the power of the ratio.

        >>> LogTarvel.unit("B").exp()
        22026.465794806718
        """
    def __log__(self) -> float:
        """The natural logarithm of the ratio (as ``log``).

        >>> LogTarvel.unit("B").__log__()
        2.302585092994046
        """
    def log(self) -> float:
        """The natural logarithm of the ratio.

        >>> LogTarvel.unit("B").log()
        2.302585092994046
        """
    def __log10__(self) -> float:
        """The base-10 logarithm of the ratio (as ``log10``).

        >>> LogTarvel.unit("B").__log10__()
        1.0
        """
    def log10(self) -> float:
        """The base-10 logarithm of the ratio.

        >>> LogTarvel.unit("B").log10()
        1.0
        """
    def __format__(self, format_spec: str) -> str:
        """``format()`` and f-strings: a float spec for the number of scale units.

        >>> f"{LogTarvel.unit('dB') * 3:.2f}"
        '3.00 [dB]'
        """
    def __copy__(self) -> LogTarvel:
        """``copy.copy``: an equal, independent instance.

        >>> LogTarvel.unit("dB").__copy__()
        1 [dB]
        """
    def __deepcopy__(self, memo: Any) -> LogTarvel:
        """``copy.deepcopy``: an equal, independent instance.

        >>> LogTarvel.unit("dB").__deepcopy__({})
        1 [dB]
        """
    def __reduce__(self) -> tuple[Any, ...]:
        """Pickling: the class's ``_from_state`` and the exact state.

        >>> LogTarvel.unit("dB").__reduce__()[0] == LogTarvel._from_state
        True
        """
    @classmethod
    def _from_state(cls, state: tuple[Any, ...]) -> LogTarvel:
        """Rebuilds an instance from the state ``__reduce__`` gave, after checking all of it.

        >>> LogTarvel._from_state(LogTarvel.unit("dB").__reduce__()[1][0])
        1 [dB]
        """
    def __pos__(self) -> LogTarvel:
        """``+x``: the same quantity.

        >>> +LogTarvel.unit("dB")
        1 [dB]
        """
    def __neg__(self) -> LogTarvel:
        """``-x``: the number of scale units negated (the reciprocal ratio).

        >>> -LogTarvel.unit("dB")
        -1 [dB]
        """
    def __abs__(self) -> float:
        """``abs(x)``: the absolute value of the ratio.

        >>> abs(LogTarvel.unit("B"))
        10.0
        """
    def __int__(self) -> int:
        """``int(x)``: the integer part of the ratio.

        >>> int(LogTarvel.unit("B"))
        10
        """
    def __float__(self) -> float:
        """``float(x)``: the ratio.

        >>> float(LogTarvel.unit("B"))
        10.0
        """
    @overload
    def __add__(self, other: Tarvel, /) -> Tarvel:  # type: ignore[overload-overlap]
        """``x + other``: on the scale with another logarithmic quantity, else a plain sum of ratios.

        >>> LogTarvel.unit("B") + LogTarvel.unit("dB"), LogTarvel.unit("B") + 1
        (1.1 [B], 11.0)
        """
    @overload
    def __add__(self, other: LogTarvel, /) -> LogTarvel:  # type: ignore[overload-overlap]
        """``x + other``: on the scale with another logarithmic quantity, else a plain sum of ratios.

        >>> LogTarvel.unit("B") + LogTarvel.unit("dB"), LogTarvel.unit("B") + 1
        (1.1 [B], 11.0)
        """
    @overload
    def __add__(self, other: _Number, /) -> float:
        """``x + other``: on the scale with another logarithmic quantity, else a plain sum of ratios.

        >>> LogTarvel.unit("B") + LogTarvel.unit("dB"), LogTarvel.unit("B") + 1
        (1.1 [B], 11.0)
        """
    def __radd__(self, other: _Number, /) -> float:
        """``other + x``: a plain sum of ratios.

        >>> 1 + LogTarvel.unit("B")
        11.0
        """
    @overload
    def __sub__(self, other: Tarvel, /) -> Tarvel:  # type: ignore[overload-overlap]
        """``x - other``: on the scale with another logarithmic quantity, else a plain difference.

        >>> LogTarvel.unit("B") - LogTarvel.unit("dB"), LogTarvel.unit("B") - 1
        (0.9 [B], 9.0)
        """
    @overload
    def __sub__(self, other: LogTarvel, /) -> LogTarvel:  # type: ignore[overload-overlap]
        """``x - other``: on the scale with another logarithmic quantity, else a plain difference.

        >>> LogTarvel.unit("B") - LogTarvel.unit("dB"), LogTarvel.unit("B") - 1
        (0.9 [B], 9.0)
        """
    @overload
    def __sub__(self, other: _Number, /) -> float:
        """``x - other``: on the scale with another logarithmic quantity, else a plain difference.

        >>> LogTarvel.unit("B") - LogTarvel.unit("dB"), LogTarvel.unit("B") - 1
        (0.9 [B], 9.0)
        """
    def __rsub__(self, other: _Number, /) -> float:
        """``other - x``: a plain difference of ratios.

        >>> 11 - LogTarvel.unit("B")
        1.0
        """
    @overload
    def __mul__(self, other: Tarvel, /) -> Tarvel:  # type: ignore[overload-overlap]
        """``x * other``: a number scales the quantity on its scale; a quantity multiplies ratios.

        >>> LogTarvel.unit("dB") * 3, LogTarvel.unit("B") * LogTarvel.unit("B")
        (3 [dB], 100.0)
        """
    @overload
    def __mul__(self, other: LogTarvel, /) -> float:  # type: ignore[overload-overlap]
        """``x * other``: a number scales the quantity on its scale; a quantity multiplies ratios.

        >>> LogTarvel.unit("dB") * 3, LogTarvel.unit("B") * LogTarvel.unit("B")
        (3 [dB], 100.0)
        """
    @overload
    def __mul__(self, other: _Number, /) -> LogTarvel:
        """``x * other``: a number scales the quantity on its scale; a quantity multiplies ratios.

        >>> LogTarvel.unit("dB") * 3, LogTarvel.unit("B") * LogTarvel.unit("B")
        (3 [dB], 100.0)
        """
    def __rmul__(self, other: _Number, /) -> LogTarvel:
        """``other * x``: a number scales the quantity on its scale.

        >>> 3 * LogTarvel.unit("dB")
        3 [dB]
        """
    @overload
    def __truediv__(self, other: Tarvel, /) -> Tarvel:  # type: ignore[overload-overlap]
        """``x / other``: a number divides the quantity on its scale; a quantity divides ratios.

        >>> LogTarvel.unit("dB") / 2, LogTarvel.unit("B") / LogTarvel.unit("B")
        (0.5 [dB], 1.0)
        """
    @overload
    def __truediv__(self, other: LogTarvel, /) -> float:  # type: ignore[overload-overlap]
        """``x / other``: a number divides the quantity on its scale; a quantity divides ratios.

        >>> LogTarvel.unit("dB") / 2, LogTarvel.unit("B") / LogTarvel.unit("B")
        (0.5 [dB], 1.0)
        """
    @overload
    def __truediv__(self, other: _Number, /) -> LogTarvel:
        """``x / other``: a number divides the quantity on its scale; a quantity divides ratios.

        >>> LogTarvel.unit("dB") / 2, LogTarvel.unit("B") / LogTarvel.unit("B")
        (0.5 [dB], 1.0)
        """
    def __rtruediv__(self, other: _Number, /) -> float:
        """``other / x``: divides by the ratio.

        >>> 20 / LogTarvel.unit("B")
        2.0
        """
    @overload
    def __pow__(self, other: Tarvel, mod: None = None, /) -> Tarvel:  # type: ignore[overload-overlap]
        """``x ** other``: the ratio raised to a power.

        >>> LogTarvel.unit("B") ** 2
        100.0
        """
    @overload
    def __pow__(self, other: _PyNumber, mod: _PyNumber | None = None, /) -> float:
        """``x ** other``: the ratio raised to a power.

        >>> LogTarvel.unit("B") ** 2
        100.0
        """
    def __rpow__(self, other: _Number, mod: _PyNumber | None = None, /) -> float:
        """``other ** x``: a number raised to the ratio.

        >>> 2 ** LogTarvel.unit("B")
        1024.0
        """
    def __lt__(self, other: _PyNumber | Tarvel, /) -> bool:
        """``x < other``, comparing ratios.

        >>> LogTarvel.unit("B") < 20
        True
        """
    def __le__(self, other: _PyNumber | Tarvel, /) -> bool:
        """``x <= other``, comparing ratios.

        >>> LogTarvel.unit("B") <= 10
        True
        """
    def __gt__(self, other: _PyNumber | Tarvel, /) -> bool:
        """``x > other``, comparing ratios.

        >>> LogTarvel.unit("B") > 5
        True
        """
    def __ge__(self, other: _PyNumber | Tarvel, /) -> bool:
        """``x >= other``, comparing ratios.

        >>> LogTarvel.unit("B") >= 11
        False
        """
    def __eq__(self, other: object, /) -> bool:
        """``x == other``, comparing ratios exactly.

        >>> LogTarvel.unit("B") == 10
        True
        """
    def __ne__(self, other: object, /) -> bool:
        """``x != other``, comparing ratios.

        >>> LogTarvel.unit("B") != 10
        False
        """


# An N-dimensional array of magnitudes (float64 or float32) in one unit collection. Element i of every
# operation is what the Tarvel operation gives on element i; an index that selects one element gives a
# Tarvel, anything else a TarvelArray.
@final
class TarvelArray(Generic[_Units]):
    """An N-dimensional NumPy array of magnitudes in one set of units.

    >>> TarvelArray([1.0, 2.5], "km") / Tarvel.unit("hr")
    TarvelArray([1. , 2.5], 'km/hr')
    """

    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __class_getitem__(cls, units: str | Unit | Dim, /) -> Any:
        """``TarvelArray["m"]``: ``Annotated[TarvelArray, tarvel.Unit("m")]`` at run time, an array type with
        those dimensions for mypy with the plugin ``tarvel.mypy``.

        >>> TarvelArray["m"]
        typing.Annotated[tarvel.TarvelArray, tarvel.Unit('m')]
        """
    def __new__(
        cls, values: Any, unit: _UnitCoercible | None = None, *, dtype: npt.DTypeLike | None = None, copy: bool = True,
        vocabulary: _Vocabulary | None = None,
    ) -> TarvelArray:
        """An array of ``values`` times ``unit``; a sequence of Tarvel is taken in the first one's units.

        >>> TarvelArray([1, 2], "m"), TarvelArray([Tarvel.unit("km"), Tarvel.unit("m") * 500])
        (TarvelArray([1., 2.], 'm'), TarvelArray([1. , 0.5], 'km'))
        """
    @property
    def shape(self) -> tuple[int, ...]:
        """The length of each dimension.

        >>> TarvelArray([[1, 2, 3], [4, 5, 6]], "m").shape
        (2, 3)
        """
    @property
    def ndim(self) -> int:
        """The number of dimensions.

        >>> TarvelArray([[1, 2, 3], [4, 5, 6]], "m").ndim
        2
        """
    @property
    def size(self) -> int:
        """The number of elements.

        >>> TarvelArray([[1, 2, 3], [4, 5, 6]], "m").size
        6
        """
    @property
    def dtype(self) -> np.dtype[np.floating[Any]]:
        """The dtype of the magnitudes (float64 or float32).

        >>> TarvelArray([1, 2], "m").dtype
        dtype('float64')
        """
    @property
    def T(self) -> TarvelArray:
        """The transposed array, in the same units.

        >>> TarvelArray([[1, 2], [3, 4]], "m").T
        TarvelArray([[1., 3.],
                     [2., 4.]], 'm')
        """
    @property
    def real(self) -> TarvelArray:
        """The real parts, in the array's units: the magnitudes themselves.

        >>> TarvelArray([1, 2], "m").real
        TarvelArray([1., 2.], 'm')
        """
    @property
    def imag(self) -> TarvelArray:
        """The imaginary parts, in the array's units: zeros.

        >>> TarvelArray([1, 2], "m").imag
        TarvelArray([0., 0.], 'm')
        """
    def units(self) -> Tarvel:
        """Magnitude 1 in exactly the array's units.

        >>> TarvelArray([1, 2], "km/hr").units()
        1 [km/hr]
        """
    def as_unit(self, other: _UnitCoercible) -> TarvelArray:
        """The same array in the units of ``other``; TypeError when the dimensions differ.

        >>> TarvelArray([1, 2], "km").as_unit("m")
        TarvelArray([1000., 2000.], 'm')
        """
    def as_number(self, other: _UnitCoercible | None = None, scale: bool = False) -> _Floating:
        """The magnitudes as an ndarray, in the units of ``other`` when given.

        >>> TarvelArray([1, 2], "km").as_number("m")
        array([1000., 2000.])
        """
    def as_unitless(self) -> _Floating:
        """The values of a dimensionless array as an ndarray; TypeError otherwise.

        >>> TarvelArray([1, 2], "km/m").as_unitless()
        array([1000., 2000.])
        """
    def __sizeof__(self) -> int:
        """Bytes of this object, with its unit collection when this object is the collection's only
        holder (a shared collection counts only as the handle); the magnitude array is an object of its
        own and is not included.

        >>> import sys
        >>> a = TarvelArray([1.0, 2.0], "km")
        >>> sys.getsizeof(a) == sys.getsizeof(a * 2)
        True
        """
    def as_base_units(self) -> TarvelArray:
        """The same array in base units (no offsets applied).

        >>> TarvelArray([1, 2], "N").as_base_units()
        TarvelArray([1., 2.], 'kg.m/s2')
        """
    def simplify(self) -> TarvelArray:
        """The same array in a shortest product of its own units.

        >>> TarvelArray([1, 2], "W.s/J").simplify()
        TarvelArray([1., 2.], '')
        """
    def round_sfig(self, n_sig_figs: SupportsIndex) -> TarvelArray:
        """Each element rounded to ``n_sig_figs`` significant figures, halves away from zero.

        >>> TarvelArray([98765.4, 1.23456], "m").round_sfig(2)
        TarvelArray([9.9e+04, 1.2e+00], 'm')
        """
    def round(self, ndigits: SupportsIndex | None = None) -> TarvelArray:
        """Each element rounded to decimal places, halves away from zero.

        >>> TarvelArray([2.675, -0.125], "m").round(2)
        TarvelArray([ 2.68, -0.13], 'm')
        """
    def __round__(self, ndigits: SupportsIndex | None = None) -> TarvelArray:
        """``round(a, ndigits)``: as ``a.round(ndigits)``.

        >>> round(TarvelArray([2.5, -0.5], "m"))
        TarvelArray([ 3., -1.], 'm')
        """
    # The text of each element, as nested lists of the array's shape (like tolist()).
    def latex(self) -> Any:
        r"""The LaTeX form of each element, as nested lists of the array's shape.

        >>> TarvelArray([1, 2], "m/s").latex()
        ['1~\\mathrm{\\frac{m}{s}}', '2~\\mathrm{\\frac{m}{s}}']
        """
    def _repr_latex_(self) -> str | None:
        r"""The notebook form of a vector or a matrix: the magnitudes, then the units once; None beyond.

        >>> TarvelArray([1.5, 2], "m/s2")._repr_latex_()
        '$\\left[1.5,\\ 2\\right]~\\mathrm{\\frac{m}{s^2}}$'
        """
    def descriptive(self) -> Any:
        """The text form of each element with unit names spelled out, as nested lists.

        >>> TarvelArray([1, 2], "m/s").descriptive()
        ['1 [meter/second]', '2 [meter/second]']
        """
    # The ndarray methods below take NumPy's arguments and keep the array's units (var: squared).
    def reshape(self, *shape: _Shape, order: str = "C") -> TarvelArray:
        """The same elements in a new shape.

        >>> TarvelArray([1, 2, 3, 4], "m").reshape(2, 2)
        TarvelArray([[1., 2.],
                     [3., 4.]], 'm')
        """
    def transpose(self, *axes: _Shape) -> TarvelArray:
        """The axes permuted (reversed when none are given).

        >>> TarvelArray([[1, 2], [3, 4]], "m").transpose()
        TarvelArray([[1., 3.],
                     [2., 4.]], 'm')
        """
    def squeeze(self, axis: _Axis = None) -> TarvelArray:
        """The axes of length one removed.

        >>> TarvelArray([[1, 2]], "m").squeeze()
        TarvelArray([1., 2.], 'm')
        """
    def ravel(self) -> TarvelArray:
        """The elements in one dimension (a view where NumPy can make one).

        >>> TarvelArray([[1, 2], [3, 4]], "m").ravel()
        TarvelArray([1., 2., 3., 4.], 'm')
        """
    def flatten(self) -> TarvelArray:
        """A copy of the elements in one dimension.

        >>> TarvelArray([[1, 2], [3, 4]], "m").flatten()
        TarvelArray([1., 2., 3., 4.], 'm')
        """
    def copy(self) -> TarvelArray:
        """An independent copy.

        >>> TarvelArray([1, 2], "m").copy()
        TarvelArray([1., 2.], 'm')
        """
    def astype(self, dtype: npt.DTypeLike) -> TarvelArray:
        """A copy with magnitudes of a floating ``dtype``.

        >>> TarvelArray([1, 2], "m").astype("float32")
        TarvelArray([1., 2.], 'm', dtype='float32')
        """
    # Nested lists of Tarvel.
    def tolist(self) -> Any:
        """The elements as nested lists of Tarvel.

        >>> TarvelArray([[1, 2], [3, 4]], "m").tolist()
        [[1 [m], 2 [m]], [3 [m], 4 [m]]]
        """
    @overload
    def sum(self, axis: None = None, **kwargs: Any) -> Tarvel:
        """The sum of the elements (along ``axis`` when given), in the array's units.

        >>> a = TarvelArray([[1, 2], [3, 4]], "m")
        >>> a.sum(), a.sum(axis=0)
        (10 [m], TarvelArray([4., 6.], 'm'))
        """
    @overload
    def sum(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def mean(self, axis: None = None, **kwargs: Any) -> Tarvel:
        """The mean of the elements (along ``axis`` when given), in the array's units.

        >>> TarvelArray([1, 2, 6], "m").mean()
        3 [m]
        """
    @overload
    def mean(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def std(self, axis: None = None, ddof: float = 0, **kwargs: Any) -> Tarvel:
        """The standard deviation of the elements (along ``axis`` when given), in the array's units.

        >>> TarvelArray([1, 3], "m").std()
        1 [m]
        """
    @overload
    def std(self, axis: _Axis, ddof: float = 0, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def var(self, axis: None = None, ddof: float = 0, **kwargs: Any) -> Tarvel:
        """The variance of the elements (along ``axis`` when given), in the array's units squared.

        >>> TarvelArray([1, 3], "m").var()
        1 [m2]
        """
    @overload
    def var(self, axis: _Axis, ddof: float = 0, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def min(self, axis: None = None, **kwargs: Any) -> Tarvel:
        """The smallest element (along ``axis`` when given).

        >>> TarvelArray([3, 1, 2], "m").min()
        1 [m]
        """
    @overload
    def min(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def max(self, axis: None = None, **kwargs: Any) -> Tarvel:
        """The largest element (along ``axis`` when given).

        >>> TarvelArray([3, 1, 2], "m").max()
        3 [m]
        """
    @overload
    def max(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    def cumsum(self, axis: SupportsIndex | None = None, **kwargs: Any) -> TarvelArray:
        """The running sums (of the flattened array when no ``axis`` is given), in the array's units.

        >>> TarvelArray([1, 2, 3], "m").cumsum()
        TarvelArray([1., 3., 6.], 'm')
        """
    def prod(self, axis: _Axis = None, **kwargs: Any) -> Tarvel | TarvelArray:
        """The product of the elements (along ``axis`` when given), in the units to the number of factors.

        >>> TarvelArray([1, 2, 3], "m").prod()
        6 [m3]
        """
    def clip(self, min: Any = None, max: Any = None, **kwargs: Any) -> TarvelArray:
        """The elements limited to [min, max], the bounds converted into the array's units.

        >>> TarvelArray([1, 2, 3], "m").clip(Tarvel.unit("cm") * 150, Tarvel.unit("m") * 2.5)
        TarvelArray([1.5, 2. , 2.5], 'm')
        """
    def __arrow_array__(self, type: Any = None) -> Any:
        """The array as an Arrow extension array that keeps its units (``pa.array(a)``).

        >>> import pyarrow as pa
        >>> pa.array(TarvelArray([1.5, 2.0], "km")).type
        TarvelType('km', double)
        """
    @classmethod
    def __get_pydantic_core_schema__(cls, source: Any, handler: Any) -> Any:
        """The schema of a ``TarvelArray`` field of a pydantic model: an array, the JSON form or values.

        >>> import pydantic
        >>> form = {"values": [1.0, 2.0], "shape": [2], "dtype": "float64", "unit": "km"}
        >>> pydantic.TypeAdapter(TarvelArray).validate_python(form)
        TarvelArray([1., 2.], 'km')
        """
    @overload
    def argmin(self, axis: None = None) -> np.intp:
        """The index of the smallest element (along ``axis`` when given).

        >>> int(TarvelArray([3, 1, 2], "m").argmin())
        1
        """
    @overload
    def argmin(self, axis: SupportsIndex) -> np.intp | npt.NDArray[np.intp]: ...
    @overload
    def argmax(self, axis: None = None) -> np.intp:
        """The index of the largest element (along ``axis`` when given).

        >>> int(TarvelArray([3, 1, 2], "m").argmax())
        0
        """
    @overload
    def argmax(self, axis: SupportsIndex) -> np.intp | npt.NDArray[np.intp]: ...
    # NumPy protocols: ufuncs and array functions keep the units by their table of rules (or raise
    # TypeError naming the function); a plain array of the values exists only for unitless arrays.
    def __array_ufunc__(self, ufunc: np.ufunc, method: str, /, *inputs: Any, **kwargs: Any) -> Any:
        """NumPy ufuncs on the array, with the units their rule gives.

        >>> import numpy as np
        >>> np.sqrt(TarvelArray([4, 9], "m2"))
        TarvelArray([2., 3.], 'm')
        """
    def __array_function__(
        self, func: Any, types: Any, args: tuple[Any, ...], kwargs: dict[str, Any]
    ) -> Any:
        """NumPy array functions on the array, with the units their rule gives.

        >>> import numpy as np
        >>> np.concatenate([TarvelArray([1], "km"), TarvelArray([500], "m")])
        TarvelArray([1. , 0.5], 'km')
        """
    def __array__(self, dtype: npt.DTypeLike | None = None, copy: bool | None = None) -> _Floating:
        """``np.asarray(a)``: the plain values of a unitless array; TypeError for one with units.

        >>> import numpy as np
        >>> np.asarray(TarvelArray([1, 2], "km/m"))
        array([1000., 2000.])
        """
    def __bool__(self) -> bool:
        """``bool(a)``: true for one element, as every quantity is (0 °C is no zero); ValueError for several.

        >>> bool(TarvelArray([1], "m")), bool(TarvelArray([0], "°C"))
        (True, True)
        """
    def __len__(self) -> int:
        """``len(a)``: the length of the first dimension.

        >>> len(TarvelArray([[1, 2], [3, 4]], "m"))
        2
        """
    def __iter__(self) -> Iterator[Any]:
        """``iter(a)``: along the first dimension, Tarvel elements or TarvelArray rows.

        >>> list(TarvelArray([1, 2], "m"))
        [1 [m], 2 [m]]
        """
    @overload
    def __getitem__(self, key: SupportsIndex | tuple[SupportsIndex, ...], /) -> Any:
        """``a[key]``: a Tarvel for one element, else a TarvelArray (a view for basic slices).

        >>> a = TarvelArray([1, 2, 3], "km")
        >>> a[0], a[1:]
        (1 [km], TarvelArray([2., 3.], 'km'))
        """
    @overload
    def __getitem__(self, key: Any, /) -> TarvelArray: ...
    def __setitem__(self, key: Any, value: _ArrayOperand, /) -> None:
        """``a[key] = value``, with value converted into the array's units.

        >>> a = TarvelArray([1, 2, 3], "km")
        >>> a[0] = Tarvel.unit("m") * 500
        >>> a
        TarvelArray([0.5, 2. , 3. ], 'km')
        """
    def __copy__(self) -> TarvelArray:
        """``copy.copy``: an independent, exact copy.

        >>> TarvelArray([1, 2], "km").__copy__()
        TarvelArray([1., 2.], 'km')
        """
    def __deepcopy__(self, memo: Any) -> TarvelArray:
        """``copy.deepcopy``: an independent, exact copy.

        >>> TarvelArray([1, 2], "km").__deepcopy__({})
        TarvelArray([1., 2.], 'km')
        """
    def __reduce__(self) -> tuple[Any, ...]:
        """Pickling: the class's ``_from_parts``, the magnitudes and the units.

        >>> TarvelArray([1, 2], "km").__reduce__()[1]
        (array([1., 2.]), 1 [km])
        """
    @classmethod
    def _from_parts(cls, magnitudes: Any, unit: Tarvel) -> TarvelArray:
        """Rebuilds an array from the parts ``__reduce__`` gave, after checking them.

        >>> TarvelArray._from_parts(*TarvelArray([1, 2], "km").__reduce__()[1])
        TarvelArray([1., 2.], 'km')
        """
    def compute(self, **kwargs: Any) -> TarvelArray | Tarvel:
        """Over a dask array: the computed array in the same units (a Tarvel for a 0-d result), with
        dask.compute's keyword arguments. An array in memory is returned as it is.

        >>> a = TarvelArray([1, 2], "km")
        >>> a.compute() is a
        True
        """
    def persist(self, **kwargs: Any) -> TarvelArray:
        """Over a dask array: the same lazy array with its chunks computed and kept (dask.persist).
        An array in memory is returned as it is.

        >>> a = TarvelArray([1, 2], "km")
        >>> a.persist() is a
        True
        """
    # The dask collection protocol, implemented in tarvel.dask for an array over a dask array; an array
    # in memory has no graph (__dask_graph__() is None), so dask treats it as a plain value.
    __dask_graph__: Callable[[], Any]
    __dask_keys__: Callable[[], Any]
    __dask_layers__: Callable[[], Any]
    __dask_tokenize__: Callable[[], Any]
    __dask_postcompute__: Callable[[], tuple[Any, tuple[Any, ...]]]
    __dask_postpersist__: Callable[[], tuple[Any, tuple[Any, ...]]]
    __dask_optimize__: Any
    __dask_scheduler__: Any
    def __pos__(self) -> TarvelArray:
        """``+a``: the same array.

        >>> +TarvelArray([1, -2], "m")
        TarvelArray([ 1., -2.], 'm')
        """
    def __neg__(self) -> TarvelArray:
        """``-a``: the magnitudes negated.

        >>> -TarvelArray([1, -2], "m")
        TarvelArray([-1.,  2.], 'm')
        """
    def __abs__(self) -> TarvelArray:
        """``abs(a)``: the magnitudes' absolute values.

        >>> abs(TarvelArray([1, -2], "m"))
        TarvelArray([1., 2.], 'm')
        """
    def __add__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a + other``, in a's units.

        >>> TarvelArray([1, 2], "km") + Tarvel.unit("m") * 500
        TarvelArray([1.5, 2.5], 'km')
        """
    def __radd__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``other + a``, in the units of other.

        >>> [1, 2] + TarvelArray([1, 2])
        TarvelArray([2., 4.])
        """
    def __sub__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a - other``, in a's units.

        >>> TarvelArray([1, 2], "km") - TarvelArray([500, 500], "m")
        TarvelArray([0.5, 1.5], 'km')
        """
    def __rsub__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``other - a``, in the units of other.

        >>> Tarvel.unit("km") - TarvelArray([500, 1500], "m")
        TarvelArray([ 0.5, -0.5], 'km')
        """
    def __mul__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a * other``: magnitudes and units multiply.

        >>> TarvelArray([1, 2], "km") * Tarvel.unit("hr")
        TarvelArray([1., 2.], 'hr.km')
        """
    def __rmul__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``other * a``: magnitudes and units multiply.

        >>> 3 * TarvelArray([1, 2], "km")
        TarvelArray([3., 6.], 'km')
        """
    def __truediv__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a / other``: magnitudes and units divide.

        >>> TarvelArray([1, 2], "km") / TarvelArray([2, 4], "hr")
        TarvelArray([0.5, 0.5], 'km/hr')
        """
    def __rtruediv__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``other / a``: magnitudes and units divide.

        >>> 1 / TarvelArray([2, 4], "s")
        TarvelArray([0.5 , 0.25], '1/s')
        """
    def __pow__(self, other: _ArrayOperand, mod: None = None, /) -> TarvelArray:
        """``a ** other`` for a dimensionless exponent.

        >>> TarvelArray([2, 3], "m") ** 2
        TarvelArray([4., 9.], 'm2')
        """
    def __matmul__(self, other: _ArrayLike, /) -> Tarvel | TarvelArray:
        """``a @ other``: the matrix product, units multiplied.

        >>> TarvelArray([1, 2], "m") @ TarvelArray([3, 4], "N")
        11 [N.m]
        """
    def __rmatmul__(self, other: _ArrayLike, /) -> Tarvel | TarvelArray:  # type: ignore[misc]
        """``other @ a``: the matrix product, units multiplied.

        >>> [[1, 0], [0, 2]] @ TarvelArray([1, 2], "m")
        TarvelArray([1., 4.], 'm')
        """
    # In place: the result is stored into the same magnitudes, in the array's own units.
    def __iadd__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a += other``, stored in a's units.

        >>> a = TarvelArray([1, 2], "km")
        >>> a += Tarvel.unit("m") * 500
        >>> a
        TarvelArray([1.5, 2.5], 'km')
        """
    def __isub__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a -= other``, stored in a's units.

        >>> a = TarvelArray([1, 2], "km")
        >>> a -= Tarvel.unit("m") * 500
        >>> a
        TarvelArray([0.5, 1.5], 'km')
        """
    def __imul__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a *= other``, stored in a's units (so other must be dimensionless).

        >>> a = TarvelArray([1, 2], "km")
        >>> a *= 2
        >>> a
        TarvelArray([2., 4.], 'km')
        """
    def __itruediv__(self, other: _ArrayOperand, /) -> TarvelArray:
        """``a /= other``, stored in a's units (so other must be dimensionless).

        >>> a = TarvelArray([1, 2], "km")
        >>> a /= 4
        >>> a
        TarvelArray([0.25, 0.5 ], 'km')
        """
    def __rpow__(self, other: _ArrayOperand, mod: None = None, /) -> TarvelArray:
        """``other ** a`` for a dimensionless array.

        >>> 2 ** TarvelArray([1, 3])
        TarvelArray([2., 8.])
        """
    def __lt__(self, other: _ArrayOperand, /) -> _Bools:
        """``a < other``, with other converted to a's units: an ndarray of bools.

        >>> TarvelArray([1, 2], "km") < Tarvel.unit("m") * 1500
        array([ True, False])
        """
    def __le__(self, other: _ArrayOperand, /) -> _Bools:
        """``a <= other``, with other converted to a's units: an ndarray of bools.

        >>> TarvelArray([1, 2], "km") <= Tarvel.unit("m") * 1000
        array([ True, False])
        """
    def __gt__(self, other: _ArrayOperand, /) -> _Bools:
        """``a > other``, with other converted to a's units: an ndarray of bools.

        >>> TarvelArray([1, 2], "km") > Tarvel.unit("m") * 1500
        array([False,  True])
        """
    def __ge__(self, other: _ArrayOperand, /) -> _Bools:
        """``a >= other``, with other converted to a's units: an ndarray of bools.

        >>> TarvelArray([1, 2], "km") >= Tarvel.unit("m") * 2000
        array([False,  True])
        """
    def __eq__(self, other: object, /) -> _Bools:  # type: ignore[override]
        """``a == other``, with other converted to a's units: an ndarray of bools.

        >>> TarvelArray([1, 2], "km") == TarvelArray([1000, 3], "m")
        array([ True, False])
        """
    def __ne__(self, other: object, /) -> _Bools:  # type: ignore[override]
        """``a != other``, with other converted to a's units: an ndarray of bools.

        >>> TarvelArray([1, 2], "km") != Tarvel.unit("m") * 1000
        array([False,  True])
        """
