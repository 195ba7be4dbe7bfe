"""Typed use of tarvel, checked twice by tests/python/test_typing.py.

A type checker must accept every line except the one marked "expected error" and must infer exactly the
types given to assert_type. Run as a program, assert_type checks instead that the module really returns
values of those types, so the declared types cannot drift from what the module does.
"""

import copy
import decimal
import fractions
import pickle
from typing import TYPE_CHECKING

import numpy
import numpy.typing

from tarvel import LogTarvel, Tarvel, TarvelArray

if TYPE_CHECKING:
    from typing import assert_type
else:

    def assert_type(value, expected):
        if expected is None:
            assert value is None, value
        else:
            # A generic alias such as NDArray[bool_] checks its class (ndarray); NumPy spells NDArray as a
            # type alias on newer Pythons, whose value is the generic ndarray.
            runtime = expected
            while hasattr(runtime, "__origin__") or hasattr(runtime, "__value__"):
                runtime = getattr(runtime, "__origin__", None) or runtime.__value__
            assert type(value) is runtime, (value, expected)
        return value


km = Tarvel.unit("km")
hour = Tarvel.unit(unit_name_or_symbol="hr")
db = LogTarvel.unit("dB")
bel = LogTarvel.unit("B")

# Class methods and conversions, with keyword arguments under their real names.
assert_type(Tarvel.constant(constant_name="speed of light"), Tarvel)
assert_type(Tarvel.empty(), Tarvel)
assert_type(Tarvel.custom(name="dozen", abbr="dz", definition=12), Tarvel)
assert_type(km.as_unit("m"), Tarvel)
assert_type(km.as_unit(other=Tarvel.unit("mi")), Tarvel)
assert_type(km.as_number(), float)
assert_type(km.as_number(other="m", scale=True), float)
assert_type(Tarvel.empty().as_unitless(), float)
assert_type(km.as_base_units(), Tarvel)
assert_type(km.round_sfig(n_sig_figs=2), Tarvel)
assert_type(km.simplify(), Tarvel)
assert_type(km.simplify_inplace(), None)
assert_type(km.__div__(other=2), Tarvel)
assert_type(km.__rdiv__(2), Tarvel)
assert_type(Tarvel.empty().exp(), float)
assert_type(Tarvel.empty().log10(), float)
assert_type(km.latex(), str)
assert_type(km.descriptive(), str)
assert_type(Tarvel.parse(text="9.81 m/s2"), Tarvel)
assert_type(LogTarvel.parse("3 dB"), LogTarvel)
assert_type(km.is_compatible(other="m"), bool)
assert_type(km.units(), Tarvel)
assert_type(km.unit_text(), str)
assert_type(km.unit_latex(), str)
assert_type(km.unit_descriptive(), str)
assert_type(km._repr_latex_(), str)
dimensions: dict[str, float] = km.dimensions()

# Operators: quantities, numbers, unit text and logarithmic quantities on either side.
speed = km / hour
assert_type(speed, Tarvel)
assert_type(km * 2, Tarvel)
assert_type(2.5 * km, Tarvel)
assert_type("m" * km, Tarvel)
assert_type(km + "m", Tarvel)
assert_type(1 - Tarvel.empty(), Tarvel)
assert_type(km**2, Tarvel)
assert_type(2 ** Tarvel.empty(), Tarvel)
assert_type(pow(km, 2, None), Tarvel)
assert_type(-km, Tarvel)
assert_type(+km, Tarvel)
assert_type(abs(km), Tarvel)
assert_type(km * db, Tarvel)
assert_type(db * km, Tarvel)
assert_type(km > "m", bool)
assert_type(km == "m", bool)
assert_type(float(km), float)
assert_type(int(km), int)
assert_type(round(km), Tarvel)
assert_type(round(km, 2), Tarvel)

# Scalars of NumPy and of the numbers tower are numbers.
assert_type(km * numpy.float32(2), Tarvel)
assert_type(numpy.int64(3) * km, Tarvel)
assert_type(km * fractions.Fraction(1, 3), Tarvel)
assert_type(decimal.Decimal("1.5") * km, Tarvel)
assert_type(db * numpy.int64(2), LogTarvel)

# Arrays: operations and conversions give arrays of quantities, comparisons plain arrays of bools.
distances = TarvelArray([1.0, 2.5], "km")
bools = numpy.typing.NDArray[numpy.bool_]
assert_type(TarvelArray(values=numpy.arange(3.0), unit=km, copy=False), TarvelArray)
assert_type(TarvelArray([1, 2], "m", dtype=numpy.float32), TarvelArray)
assert_type(distances / hour, TarvelArray)
plain: numpy.typing.NDArray[numpy.float64] = numpy.zeros(2)
assert_type(km * plain, TarvelArray)
assert_type(2 * distances + "m", TarvelArray)
assert_type(distances**2, TarvelArray)
assert_type(-distances, TarvelArray)
assert_type(distances.as_unit("mi"), TarvelArray)
assert_type(distances.simplify(), TarvelArray)
assert_type(round(distances, 1), TarvelArray)
assert_type(distances[0:1], TarvelArray)
assert_type(distances.sum(), Tarvel)
assert_type(distances.units(), Tarvel)
assert_type(distances > km, bools)
assert_type(km < distances, bools)
assert_type(distances == distances, bools)
assert_type(distances.shape, tuple[int, ...])
assert_type(len(distances), int)
assert_type(copy.deepcopy(distances), TarvelArray)
moved = copy.copy(distances)
moved += km
assert_type(moved, TarvelArray)
assert_type(bool(distances[0:1]), bool)

# LogTarvel: same-scale results stay logarithmic, everything else is a plain float.
assert_type(db + bel, LogTarvel)
assert_type(db - bel, LogTarvel)
assert_type(db + 1, float)
assert_type(1 - db, float)
assert_type(db * 3, LogTarvel)
assert_type(3 * db, LogTarvel)
assert_type(db / 2, LogTarvel)
assert_type(db * bel, float)
assert_type(db / bel, float)
assert_type(2 / db, float)
assert_type(db**2, float)
assert_type(2**db, float)
assert_type(-db, LogTarvel)
assert_type(abs(db), float)
assert_type(db.__div__(2), LogTarvel)
assert_type(db.__div__(bel), float)
assert_type(db.__rdiv__(2), float)
assert_type(db.as_unit(other=bel), LogTarvel)
assert_type(db.as_number(bel), float)
assert_type(db.round_sfig(2), float)
assert_type(round(db), float)
assert_type(db < 2, bool)
assert_type(float(db), float)

# format(), copying and pickling.
assert_type(f"{km:.2f}", str)
assert_type(format(km, ".1fL"), str)
assert_type(format(db, ".2f"), str)
assert_type(copy.copy(km), Tarvel)
assert_type(copy.deepcopy(db), LogTarvel)
restored: Tarvel = pickle.loads(pickle.dumps(speed))
assert_type(restored.as_number("m/s"), float)


def never_called() -> None:
    Tarvel.unit(1000)  # expected error: arg-type
