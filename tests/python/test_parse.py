"""Quantities read from text: Tarvel.parse and LogTarvel.parse."""

import math
import re

import pytest
from hypothesis import given
from hypothesis import strategies as st

from tarvel import LogTarvel, Tarvel
from test_properties import ALL_UNITS, PROPERTY


@pytest.mark.parametrize(
    ("text", "expected"),
    [
        ("9.81 m/s2", "9.81 [m/s2]"),
        ("3 km", "3 [km]"),
        ("-2.5e3 kg", "-2500 [kg]"),
        ("km", "1 [km]"),
        # The form the library prints.
        ("9.81 [m/s2]", "9.81 [m/s2]"),
        ("[m/s2]", "1 [m/s2]"),
        ("5 []", "5 []"),
        ("[]", "1 []"),
        ("5", "5 []"),
        # Python's float syntax, white space of any kind and amount.
        ("+.5 hr", "0.5 [hr]"),
        ("1_000 m", "1000 [m]"),
        ("1E-3\tm", "0.001 [m]"),
        ("  36 \u00a0 km/hr  ", "36 [km/hr]"),
        ("inf m", "inf [m]"),
        ("-Infinity s", "-inf [s]"),
        ("NaN", "NaN []"),
        ("1e400 m", "inf [m]"),
        ("-1e-400 m", "-0 [m]"),
        # A numeral written right before its unit; "nan" and "inf" only as words of their own.
        ("36km/hr", "36 [km/hr]"),
        ("2.5e3m", "2500 [m]"),
        ("nanometer", "1 [nm]"),
        ("inch", "1 [in]"),
        ("1/s", "1 [1/s]"),
        ("2 1/s", "2 [1/s]"),
        # Names with spaces, whole or as a term.
        ("5 fl oz", "5 [fl oz]"),
        ("2 degree Celsius", "2 [°C]"),
        ("3 fl oz/hr", "3 [fl oz/hr]"),
    ],
)
def test_parse_reads_number_and_unit(text, expected):
    assert str(Tarvel.parse(text)) == expected


@pytest.mark.parametrize(
    ("text", "expected"),
    [("3 dB", "3 [dB]"), ("dB", "1 [dB]"), ("3 [dB]", "3 [dB]"), ("-2 neper", "-2 [Np]"), ("0.5stn", "0.5 [stn]")],
)
def test_log_parse_reads_number_and_scale(text, expected):
    assert str(LogTarvel.parse(text)) == expected


@pytest.mark.parametrize(
    ("parse", "text", "error", "message"),
    [
        (Tarvel.parse, "3 hourr", LookupError, "Unit hourr not found"),
        (Tarvel.parse, "[m.zz]", LookupError, "Unit m.zz not found"),
        (Tarvel.parse, "1.2.3 m", ValueError, "could not read a quantity from '1.2.3 m'"),
        (Tarvel.parse, "", ValueError, "could not read a quantity from ''"),
        (Tarvel.parse, " \t", ValueError, "could not read a quantity from ' \\x09'"),
        (Tarvel.parse, "3 [m", ValueError, "could not read a quantity from '3 [m'"),
        (Tarvel.parse, "3 [m] s", ValueError, "could not read a quantity from '3 [m] s'"),
        (Tarvel.parse, "3 [[m]]", ValueError, "could not read a quantity from '3 [[m]]'"),
        (Tarvel.parse, "it's", LookupError, "Unit it's not found"),
        (LogTarvel.parse, "3 decibels", LookupError, "Logarithmic ratio unit decibels not found"),
        (LogTarvel.parse, "3 [m]", LookupError, "Logarithmic ratio unit m not found"),
        (LogTarvel.parse, "3", ValueError, "could not read a quantity from '3'"),
        (LogTarvel.parse, "3 []", ValueError, "could not read a quantity from '3 []'"),
    ],
)
def test_parse_errors(parse, text, error, message):
    with pytest.raises(error) as info:
        parse(text)
    assert type(info.value) is error and str(info.value) == message


@pytest.mark.parametrize("parse", [Tarvel.parse, LogTarvel.parse])
def test_parse_takes_only_text(parse):
    with pytest.raises(TypeError, match="'int' object is not an instance of 'str'") as info:
        parse(3)
    assert info.value.__notes__ == ["while processing 'text'"]


def test_parse_is_the_number_times_the_unit():
    for text in ALL_UNITS:
        assert Tarvel.parse(f"2.5 {text}") == Tarvel.unit(text) * 2.5
        assert Tarvel.parse(f"2.5 {text}").as_number(text) == 2.5


numbers = st.floats(allow_nan=True, allow_infinity=True) | st.sampled_from([0.0, -0.0, 1e21, 1e-7, 12.5])
terms = st.lists(st.tuples(st.sampled_from(ALL_UNITS), st.sampled_from([1, 2, 3, -1, -2])), max_size=4)


@PROPERTY
@given(numbers, terms)
def test_printed_form_reads_back_as_it_prints(value, factors):
    q = Tarvel.empty() * value
    for text, power in factors:
        q = q * Tarvel.unit(text) ** power
    printed = str(q)
    try:
        parsed = Tarvel.parse(printed)
    except LookupError:
        # Units without a text form that parses (an exponent of 10 or more).
        assert any(int(e) >= 10 for e in re.findall(r"\D(\d+)(?=[./\]])", printed))
        return
    assert str(parsed) == printed
    number = float(printed.split(" ", 1)[0])
    assert math.isnan(number) or math.copysign(1, float(parsed)) == math.copysign(1, number)


@PROPERTY
@given(st.floats(allow_nan=False), st.sampled_from(["B", "dB", "Np", "stn"]))
def test_printed_log_form_reads_back(value, scale):
    x = LogTarvel.unit(scale) * value
    assert str(LogTarvel.parse(str(x))) == str(x)
