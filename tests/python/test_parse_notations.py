"""Unit text in common notations: Tarvel.parse, Tarvel.parse_unit, TarvelArray text, pandas headers and
dtypes, CF strings, the traps that must never be misread, and Tarvel.unit left as it was."""

import io
import os
import pathlib
import subprocess
import sys

import pytest
from hypothesis import given
from hypothesis import strategies as st

from tarvel import Tarvel, TarvelArray

# Units of many dimensions, prefixed and named forms; none of them runs into another when written with a
# space between ("deg C" is a name of its own, so "deg" is left out).
UNITS = ["m", "km", "cm", "mm", "ft", "in", "mi", "kg", "g", "lb", "s", "min", "hr", "ms", "A", "mA", "K",
         "mol", "cd", "N", "J", "W", "Pa", "kPa", "bar", "V", "ohm", "C", "F", "T", "Wb", "H", "Hz", "L",
         "rad", "sr", "eV", "cal", "meter", "kilogram", "second", "newton", "USD", "fl oz", "hPa", "kWh"]
SUPERSCRIPT = str.maketrans("0123456789-", "⁰¹²³⁴⁵⁶⁷⁸⁹⁻")


def same_units(read: Tarvel, canonical: Tarvel) -> bool:
    return str(read) == str(canonical) and read == canonical and read.dimensions() == canonical.dimensions()


terms = st.lists(st.tuples(st.sampled_from(UNITS), st.integers(1, 4)), min_size=1, max_size=4)


@given(terms, terms, st.sampled_from(["*", "·", "⋅", " * ", " "]),
       st.sampled_from(["{}^{}", "{}**{}", "{}{}", "{}^({})", "sup"]), st.sampled_from(["slashes", "brackets", "cf", "per"]))
def test_respelt_expressions_read_as_their_canonical_spelling(numerator, denominator, times, power, division):
    """An expression of the library's grammar means the same in every other notation the reader takes."""
    def term(name, exponent, sign=1):
        if exponent == 1 and sign == 1:
            return name
        e = exponent * sign
        return f"{name}{str(e).translate(SUPERSCRIPT)}" if power == "sup" else power.format(name, e)

    canonical_text = ".".join(f"{n}{e if e > 1 else ''}" for n, e in numerator) + "/" + ".".join(
        f"{n}{e if e > 1 else ''}" for n, e in denominator)
    try:
        canonical = Tarvel.unit(canonical_text)
    except LookupError:
        return  # the terms cancel to nothing
    top = times.join(term(n, e) for n, e in numerator)
    if division == "slashes":
        text = top + "".join(f"/{term(n, e)}" for n, e in denominator)
    elif division == "brackets":
        text = f"{top}/({times.join(term(n, e) for n, e in denominator)})"
    elif division == "per":
        text = top + "".join(f" per {term(n, e)}" for n, e in denominator)
    else:
        # CF: signed exponents, no "/".
        text = times.join([top] + [term(n, e, -1) if power != "{}{}" else f"{n}-{e}" for n, e in denominator])
    assert same_units(Tarvel.parse_unit(text), canonical), (canonical_text, text)


@given(st.sampled_from(UNITS + ["kg.m/s2", "W/m2.K4", "J/K.mol", "N.m", "km/hr", "ft.lb/s2", "m/s2.kg"]))
def test_own_grammar_reads_exactly_as_tarvel_unit(text):
    assert same_units(Tarvel.parse_unit(text), Tarvel.unit(text))
    assert repr(Tarvel.parse_unit(text)) == repr(Tarvel.unit(text))


@given(terms, terms)
def test_cf_text_reads_back_to_the_same_units(numerator, denominator):
    q = Tarvel.parse_unit(".".join(f"{n}{e}" for n, e in numerator)) / Tarvel.parse_unit(
        ".".join(f"{n}{e}" for n, e in denominator))
    cf = q.cf_unit_text()
    assert "/" not in cf
    back = Tarvel.parse_unit(cf)
    # The same units; the factor is multiplied up in another order, so it may differ in the last bit.
    assert back.dimensions() == q.dimensions()
    assert back.as_number(q.units()) == pytest.approx(1.0, rel=4e-16)


# Known traps, each with its sound answer: (text, the units it must mean or None for a refusal).
TRAPS = [
    ("3m 20cm", None),  # two quantities, not m·cm
    ("AU", "ua"),  # the astronomical unit, not absorbance
    ("au", "ua"),
    ("gal", "gal"),  # the US gallon
    ("Pa", "Pa"),  # the pascal, not peta-annum
    ("min", "min"),  # the minute, not milli-inch
    ("ft", "ft"),  # the foot, not femto-tonne
    ("cd", "cd"),  # the candela, not centi-day
    ("mm", "mm"),
    ("Gy", "Gy"),  # the gray, not a gigayear
    ("Gyr", None),
    ("h", "hr"),  # alone, the hour
    ("hPa", "hPa"),  # inside a name, hecto
    ("kWh", "kWh"),
    ("kW h", "kW.hr"),
    ("mAh", "mA.hr"),
    ("ms", "ms"),  # the millisecond, not metre·second
    ("m s", "m.s"),
    ("mHz", "mHz"),
    ("MHz", "MHz"),
    ("ppt", None),  # parts per thousand or per trillion; Tarvel.unit reads the picopint
    ("kt", None),  # knot or kilotonne
    ("mb", None),  # millibar or millibarn
    ("a", None),  # year, are or atto
    ("J/kg*K", None),  # after a "/", "*" could go either way
    ("J/kg/K", "J/kg.K"),
    ("days since 2000-01-01", None),
    ("deg C", "°C"),
    ("degree C", "°C"),
    ("m^x", None),
    ("J/(kg.K", None),
    ("10 m", None),
    ("1e-3", None),
    ("mins", "min"),
    ("kms", None),  # a plural of a symbol is not read
]


@pytest.mark.parametrize("text, meaning", TRAPS)
def test_traps(text, meaning):
    if meaning is None:
        with pytest.raises(LookupError):
            Tarvel.parse_unit(text)
    else:
        read, sound = Tarvel.parse_unit(text), Tarvel.unit(meaning)
        assert read == sound and read.dimensions() == sound.dimensions()


@pytest.mark.parametrize(
    "text, reason",
    [("days since 2000-01-01", "time reference"), ("hours since 1970-01-01 00:00:00", "time reference"),
     ("J/kg*K", "brackets"), ("ppt", "per thousand .* or per trillion"), ("3m 20cm", "number '3'")],
)
def test_refusals_say_why(text, reason):
    with pytest.raises(LookupError, match=reason):
        Tarvel.parse_unit(text)


# Unit strings of netCDF files (CF conventions) and what they mean.
CF = [
    ("m s-1", "m/s", 1), ("kg m-2 s-1", "kg/m2.s", 1), ("W m-2", "W/m2", 1), ("degrees_north", "°", 1),
    ("degrees_east", "°", 1), ("degree_Celsius", "°C", 1), ("mm day-1", "mm/d", 1), ("hPa", "hPa", 1),
    ("%", "", 0.01), ("1", "", 1), ("psu", "", 1), ("kg kg-1", "", 1), ("m2 s-2", "m2/s2", 1), ("K", "K", 1),
    ("Pa s-1", "Pa/s", 1), ("mol m-3", "mol/m3", 1), ("m-1", "1/m", 1), ("degC", "°C", 1), ("s-1", "1/s", 1),
]


@pytest.mark.parametrize("text, meaning, factor", CF)
def test_cf_strings(text, meaning, factor):
    q = Tarvel.parse_unit(text)
    if meaning:
        assert same_units(q, Tarvel.unit(meaning))
    else:
        assert q.is_compatible(Tarvel.empty()) and q.as_unitless() == factor
        assert q.cf_unit_text() in ("1", "%")


@pytest.mark.parametrize("text, cf", [("kg.m/s2", "kg m s-2"), ("°C", "degree_Celsius"), ("km/hr", "km h-1"),
                                      ("m", "m")])
def test_cf_unit_text(text, cf):
    q = Tarvel.unit(text)
    assert q.cf_unit_text() == cf
    assert Tarvel.unit("m").cf_unit_text() == "m" and Tarvel.empty().cf_unit_text() == "1"
    assert (Tarvel.unit("m") ** 0.5).cf_unit_text() == "m^0.5"


def test_tarvel_unit_is_unchanged_and_points_to_the_reader():
    for text in ["m s-1", "m/s^2", "h", "µm", "meters"]:
        with pytest.raises(LookupError) as info:
            Tarvel.unit(text)
        assert any("Tarvel.parse reads this text as" in n for n in info.value.__notes__)
    with pytest.raises(LookupError) as info:
        Tarvel.unit("days since 2000-01-01")
    assert not any("Tarvel.parse" in n for n in getattr(info.value, "__notes__", []))


def test_entry_points_read_common_notations():
    assert str(Tarvel.parse("9.81 m s-2")) == "9.81 [m/s2]"
    assert str(Tarvel.parse("2 kg·m²/s³")) == "2 [kg.m2/s3]"
    assert Tarvel.parse("2 m/m").as_unitless() == 2.0  # cancels to a number, as "kg kg-1" does
    assert str(TarvelArray([1.0, 2.0], "m s-1").units()) == "1 [m/s]"
    pd = pytest.importorskip("pandas")
    import tarvel.pandas as tpd

    assert str(pd.Series([1.0], dtype="tarvel[m s-1]").dtype) == "tarvel[m/s]"
    frame = tpd.read_csv(io.StringIO("v [m s^-1],T [degree_Celsius]\n1,20\n"))
    assert [str(d) for d in frame.dtypes] == ["tarvel[m/s]", "tarvel[°C]"]


def test_command_line_target_in_common_notation():
    path = [str(pathlib.Path(__file__).parents[2] / "python"), *sys.path]
    out = subprocess.run([sys.executable, "-m", "tarvel_cli", "36 km h-1", "m s^-1"], capture_output=True,
                         text=True, env={**os.environ, "PYTHONPATH": os.pathsep.join(path)})
    if out.returncode != 0 and "No module named" in out.stderr:
        pytest.skip("the command-line package is not on the path")
    assert out.stdout.strip() == "10 [m/s]"
