"""format() and f-strings: the spec formats the number, the unit text follows as str() (or, with a trailing
"L" or "D", as latex() or descriptive()) shows it."""

import pytest

from tarvel import LogTarvel, Tarvel


def state(q):
    # Everything an instance holds, exactly (the pickled state; repr, so that NaN equals NaN).
    return repr(q.__reduce__()[1])


@pytest.mark.parametrize(
    "make",
    [
        lambda: Tarvel.unit("km") * 1.23456,
        lambda: Tarvel.unit("km/m"),
        lambda: Tarvel.unit("mi.N/J") * 1.5,
        lambda: Tarvel.empty() * -0.0,
        lambda: Tarvel.unit("m") * float("nan"),
        lambda: Tarvel.unit("°F") * 212,
    ],
)
def test_empty_spec_is_str_and_tidies_the_instance_the_same_way(make):
    by_str, by_format, by_fstring = make(), make(), make()
    text = str(by_str)
    assert format(by_format, "") == text
    assert f"{by_fstring}" == text
    assert state(by_format) == state(by_str) == state(by_fstring)


@pytest.mark.parametrize(
    "value, spec, text",
    [
        (1.23456, ".2f", "1.23 [km]"),
        (1.23456, ".2e", "1.23e+00 [km]"),
        (1234567.891, ",.1f", "1,234,567.9 [km]"),
        (1234567.891, "_.0f", "1_234_568 [km]"),
        (0.000012345, "g", "1.2345e-05 [km]"),
        (1.5, ">8.2f", "    1.50 [km]"),
        (1.5, "*<+8.1f", "+1.5**** [km]"),
        (1.5, "\ud800>6.1f", "\ud800\ud800\ud8001.5 [km]"),  # a fill with no UTF-8 form
        (0.25, ".0%", "25% [km]"),
        (1e21, ".3G", "1E+21 [km]"),
        (-0.0, ".1f", "-0.0 [km]"),
        (float("inf"), "08.2f", "00000inf [km]"),
        (float("nan"), "f", "nan [km]"),
    ],
)
def test_float_specs_format_the_number(value, spec, text):
    q = Tarvel.unit("km") * value
    assert format(q, spec) == text == format(value, spec) + " [km]"


def test_the_number_and_units_are_those_str_shows():
    # Fully simplified for display: the magnitude changes with the units.
    q = Tarvel.unit("mi.N/J") * 1.5
    assert str(Tarvel.unit("mi.N/J") * 1.5) == "2414.016 []"
    assert f"{q:.1f}" == "2414.0 []"


@pytest.mark.parametrize(
    "spec, text",
    [
        (".1fL", r"1.2~\mathrm{km}"),
        (".3eL", r"1.235e+00~\mathrm{km}"),
        (".1fD", "1.2 [kilometer]"),
        ("+.2fD", "+1.23 [kilometer]"),
        ("L", r"1.23456~\mathrm{km}"),
        ("D", "1.23456 [kilometer]"),
    ],
)
def test_latex_and_descriptive_forms(spec, text):
    assert format(Tarvel.unit("km") * 1.23456, spec) == text


@pytest.mark.parametrize(
    "spec, method",
    [("L", Tarvel.latex), ("D", Tarvel.descriptive)],
)
@pytest.mark.parametrize("units", ["mi.N/J", "km/m", "kg.m/s2", "°F"])
def test_a_lone_form_letter_is_the_method(spec, method, units):
    # Quick-simplified units only, like the methods: N.mi/J stays as it is.
    by_method, by_format = Tarvel.unit(units) * 3, Tarvel.unit(units) * 3
    assert format(by_format, spec) == method(by_method)
    assert state(by_format) == state(by_method)


def test_latex_form_keeps_the_quick_simplified_units():
    q = Tarvel.unit("mi.N/J") * 1.5
    assert f"{q:.2fL}" == r"1.50~\mathrm{\frac{N~mi}{J}}"
    assert f"{q:.2fD}" == "1.50 [mile.newton/joule]"


@pytest.mark.parametrize("spec", ["bad", "d", "x", ".2fX", ".2fLL", "LD", "5.2s", ".2f L", ".f"])
def test_bad_spec_raises_like_float_and_leaves_the_instance_alone(spec):
    q = Tarvel.unit("km/m")  # not simplified yet: a change would show in its state
    before = state(q)
    number_spec = spec[:-1] if spec[-1] in "LD" else spec
    with pytest.raises(ValueError) as expected:
        format(1.0, number_spec)
    with pytest.raises(ValueError) as info:
        format(q, spec)
    assert info.value.args == expected.value.args
    assert state(q) == before


@pytest.mark.parametrize(
    "make, spec, text",
    [
        (lambda: LogTarvel.unit("dB") * 3, ".2f", "3.00 [dB]"),
        (lambda: LogTarvel.unit("B") + LogTarvel.unit("dB"), ".3f", "1.100 [B]"),
        (lambda: -LogTarvel.unit("stn"), "+.1e", "-1.0e+00 [stn]"),
        (lambda: LogTarvel.unit("Np") / 0, "6.1f", "   inf [Np]"),
        (lambda: LogTarvel.unit("B"), "\udc00^5.1f", "\udc001.0\udc00 [B]"),
        (lambda: LogTarvel.unit("B").as_unit(LogTarvel.unit("dB")), "", "9.999999999999998 [dB]"),
    ],
)
def test_log_tarvel_formats_its_number_of_scale_units(make, spec, text):
    x = make()
    assert format(x, spec) == text
    if not spec:
        assert f"{x}" == str(x) == text


@pytest.mark.parametrize("spec", ["L", ".2fL", "D", "bad"])
def test_log_tarvel_has_no_other_text_forms(spec):
    with pytest.raises(ValueError):
        format(LogTarvel.unit("dB"), spec)


@pytest.mark.parametrize("x", [Tarvel.unit("m"), LogTarvel.unit("dB")], ids=["Tarvel", "LogTarvel"])
def test_spec_must_be_text(x):
    with pytest.raises(TypeError) as info:
        x.__format__(5)
    assert info.value.args == ("'int' object is not an instance of 'str'",)
    assert info.value.__notes__ == ["while processing 'format_spec'"]
    assert x.__format__(format_spec="") == str(x)


def test_format_inside_the_conversion_of_an_argument():
    q = Tarvel.unit("km/m")
    seen = []

    class Printable:
        def __str__(self):
            # No access to q is held while the argument is converted.
            seen.append(format(q, ".1f"))
            return "odd"

    with pytest.raises(TypeError) as info:
        q.as_unit(Printable())
    assert info.value.args == ("odd cannot be coerced into a unit",)
    assert seen == ["1000.0 []"]
    assert q.as_number() == 1000.0
