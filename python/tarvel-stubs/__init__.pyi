"""Physical quantities: numbers that carry units of measure, arrays of them, and logarithmic ratio
quantities."""

from collections.abc import Iterator
from typing import Any, ClassVar, SupportsFloat, SupportsIndex, TypeAlias, final, overload

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

# No class can be subclassed; instances come from the class methods and from operations. An ndarray
# converts with float() too, so it also matches _Number: the array overload of each Tarvel operator comes
# first.
@final
class Tarvel:
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
    def parse(cls, text: str) -> Tarvel:
        """A quantity from text: an optional number (Python's float syntax) and a unit expression.

        The printed form reads back as it is; an unknown unit raises LookupError, other text ValueError.

        >>> Tarvel.parse("9.81 m/s2"), Tarvel.parse("9.81 [m/s2]"), Tarvel.parse("km")
        (9.81 [m/s2], 9.81 [m/s2], 1 [km])
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
    def as_unitless(self) -> float:
        """The value of a dimensionless quantity as a plain number; TypeError otherwise.

        >>> (Tarvel.unit("km") / Tarvel.unit("m")).as_unitless()
        1000.0
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
    def __array_ufunc__(self, ufunc: np.ufunc, method: str, /, *inputs: Any, **kwargs: Any) -> Any: ...
    def __array_function__(
        self, func: Any, types: Any, args: tuple[Any, ...], kwargs: dict[str, Any]
    ) -> Any: ...
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
class TarvelArray:
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __new__(
        cls, values: Any, unit: _UnitCoercible | None = None, *, dtype: npt.DTypeLike | None = None, copy: bool = True
    ) -> TarvelArray: ...
    @property
    def shape(self) -> tuple[int, ...]: ...
    @property
    def ndim(self) -> int: ...
    @property
    def size(self) -> int: ...
    @property
    def dtype(self) -> np.dtype[np.floating[Any]]: ...
    @property
    def T(self) -> TarvelArray: ...
    def units(self) -> Tarvel: ...
    def as_unit(self, other: _UnitCoercible) -> TarvelArray: ...
    def as_number(self, other: _UnitCoercible | None = None, scale: bool = False) -> _Floating: ...
    def as_unitless(self) -> _Floating: ...
    def as_base_units(self) -> TarvelArray: ...
    def simplify(self) -> TarvelArray: ...
    def round_sfig(self, n_sig_figs: SupportsIndex) -> TarvelArray: ...
    def round(self, ndigits: SupportsIndex | None = None) -> TarvelArray: ...
    def __round__(self, ndigits: SupportsIndex | None = None) -> TarvelArray: ...
    # The text of each element, as nested lists of the array's shape (like tolist()).
    def latex(self) -> Any: ...
    def descriptive(self) -> Any: ...
    # The ndarray methods below take NumPy's arguments and keep the array's units (var: squared).
    def reshape(self, *shape: _Shape, order: str = "C") -> TarvelArray: ...
    def transpose(self, *axes: _Shape) -> TarvelArray: ...
    def squeeze(self, axis: _Axis = None) -> TarvelArray: ...
    def ravel(self) -> TarvelArray: ...
    def flatten(self) -> TarvelArray: ...
    def copy(self) -> TarvelArray: ...
    def astype(self, dtype: npt.DTypeLike) -> TarvelArray: ...
    # Nested lists of Tarvel.
    def tolist(self) -> Any: ...
    @overload
    def sum(self, axis: None = None, **kwargs: Any) -> Tarvel: ...
    @overload
    def sum(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def mean(self, axis: None = None, **kwargs: Any) -> Tarvel: ...
    @overload
    def mean(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def std(self, axis: None = None, ddof: float = 0, **kwargs: Any) -> Tarvel: ...
    @overload
    def std(self, axis: _Axis, ddof: float = 0, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def var(self, axis: None = None, ddof: float = 0, **kwargs: Any) -> Tarvel: ...
    @overload
    def var(self, axis: _Axis, ddof: float = 0, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def min(self, axis: None = None, **kwargs: Any) -> Tarvel: ...
    @overload
    def min(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    @overload
    def max(self, axis: None = None, **kwargs: Any) -> Tarvel: ...
    @overload
    def max(self, axis: _Axis, **kwargs: Any) -> Tarvel | TarvelArray: ...
    def cumsum(self, axis: SupportsIndex | None = None, **kwargs: Any) -> TarvelArray: ...
    @overload
    def argmin(self, axis: None = None) -> np.intp: ...
    @overload
    def argmin(self, axis: SupportsIndex) -> np.intp | npt.NDArray[np.intp]: ...
    @overload
    def argmax(self, axis: None = None) -> np.intp: ...
    @overload
    def argmax(self, axis: SupportsIndex) -> np.intp | npt.NDArray[np.intp]: ...
    # NumPy protocols: ufuncs and array functions keep the units by their table of rules (or raise
    # TypeError naming the function); a plain array of the values exists only for unitless arrays.
    def __array_ufunc__(self, ufunc: np.ufunc, method: str, /, *inputs: Any, **kwargs: Any) -> Any: ...
    def __array_function__(
        self, func: Any, types: Any, args: tuple[Any, ...], kwargs: dict[str, Any]
    ) -> Any: ...
    def __array__(self, dtype: npt.DTypeLike | None = None, copy: bool | None = None) -> _Floating: ...
    def __bool__(self) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Any]: ...
    @overload
    def __getitem__(self, key: SupportsIndex | tuple[SupportsIndex, ...], /) -> Any: ...
    @overload
    def __getitem__(self, key: Any, /) -> TarvelArray: ...
    def __setitem__(self, key: Any, value: _ArrayOperand, /) -> None: ...
    def __copy__(self) -> TarvelArray: ...
    def __deepcopy__(self, memo: Any) -> TarvelArray: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    @classmethod
    def _from_parts(cls, magnitudes: Any, unit: Tarvel) -> TarvelArray: ...
    def __pos__(self) -> TarvelArray: ...
    def __neg__(self) -> TarvelArray: ...
    def __abs__(self) -> TarvelArray: ...
    def __add__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __radd__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __sub__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __rsub__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __mul__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __rmul__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __truediv__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __rtruediv__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __pow__(self, other: _ArrayOperand, mod: None = None, /) -> TarvelArray: ...
    def __matmul__(self, other: _ArrayLike, /) -> Tarvel | TarvelArray: ...
    def __rmatmul__(self, other: _ArrayLike, /) -> Tarvel | TarvelArray: ...  # type: ignore[misc]
    # In place: the result is stored into the same magnitudes, in the array's own units.
    def __iadd__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __isub__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __imul__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __itruediv__(self, other: _ArrayOperand, /) -> TarvelArray: ...
    def __rpow__(self, other: _ArrayOperand, mod: None = None, /) -> TarvelArray: ...
    def __lt__(self, other: _ArrayOperand, /) -> _Bools: ...
    def __le__(self, other: _ArrayOperand, /) -> _Bools: ...
    def __gt__(self, other: _ArrayOperand, /) -> _Bools: ...
    def __ge__(self, other: _ArrayOperand, /) -> _Bools: ...
    def __eq__(self, other: object, /) -> _Bools: ...  # type: ignore[override]
    def __ne__(self, other: object, /) -> _Bools: ...  # type: ignore[override]
