"""Making quantities: unit, constant, empty, custom, and unit-like arguments with their errors."""

import sys

import pytest

from tarvel import LogTarvel, Tarvel

CONSTANTS = [
    ("light speed", 299792458, "m/s"),
    ("planck's constant", 6.62607015e-34, "J.s"),
    ("reduced planck's constant", 1.054571817e-34, "J.s"),
    ("boltzmann's constant", 1.380649e-23, "J/K"),
    ("electron charge", 1.602176634e-19, "coulomb"),
    ("electron mass", 9.1093837015e-31, "kg"),
    ("proton mass", 1.67262192369e-27, "kg"),
    ("neutron mass", 1.67492749804e-27, "kg"),
    ("avogadro's constant", 6.02214076e23, "1/mol"),
    ("gravitational constant", 6.6743e-11, "N.m2/kg2"),
    ("earth gravity", 9.80665, "m/s2"),
    ("stefan-boltzmann constant", 5.670374419e-08, "W/m2.K4"),
    ("ideal gas constant", 8.31446261815324, "J/K.mol"),
    ("faraday constant", 96485.33212331001, "coulomb/mol"),
    ("vacuum permittivity", 8.8541878188e-12, "farad/m"),
    ("vacuum permeability", 1.25663706127e-06, "N/A2"),
]

CONSTANT_ALIASES = [
    ("c", "light speed"),
    ("speed of light", "light speed"),
    ("lightspeed", "light speed"),
    ("planck", "planck's constant"),
    ("boltzmann", "boltzmann's constant"),
    ("elementary charge", "electron charge"),
    ("avogadro", "avogadro's constant"),
    ("avogadro's number", "avogadro's constant"),
    ("N_A", "avogadro's constant"),
    ("stefan-boltzmann", "stefan-boltzmann constant"),
    ("stefan boltzmann", "stefan-boltzmann constant"),
    ("gas constant", "ideal gas constant"),
    ("molar gas constant", "ideal gas constant"),
    ("faraday", "faraday constant"),
    ("faraday's constant", "faraday constant"),
]


def raised(call):
    """The exception a call raises (fails the test when it raises nothing)."""
    with pytest.raises(BaseException) as info:
        call()
    return info.value


def notes(error):
    return getattr(error, "__notes__", [])


# --- unit ---------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "text, printed, in_meters",
    [
        ("m", "1 [m]", 1.0),
        ("metre", "1 [m]", 1.0),
        ("km", "1 [km]", 1000.0),
        ("kilometer", "1 [km]", 1000.0),
        ("ft", "1 [ft]", 0.3048),
        (" m/s ", "1 [m/s]", None),
        ("kg.m/s2", "1 [kg.m/s2]", None),
        ("1/s", "1 [1/s]", None),
        ("°C", "1 [°C]", None),
        ("fl oz (food)", "1 [fl oz (food)]", None),
    ],
)
def test_unit(text, printed, in_meters):
    q = Tarvel.unit(text)
    assert q.as_number() == 1.0
    if in_meters is not None:
        assert q.as_number("m") == in_meters
    assert str(q) == printed


@pytest.mark.parametrize(
    "text",
    ["nosuchunit", "", "furlongs", "m/m", "a/b/c", "m0", "kg . m", "Unit", "m.zz/s", "kg.m/s10", "N.m.2"],
)
def test_unit_not_found(text):
    error = raised(lambda: Tarvel.unit(text))
    assert type(error) is LookupError
    assert error.args == (f"Unit {text} not found",)


class Text(str):
    pass


def test_unit_takes_a_str_subclass():
    assert Tarvel.unit(Text("km")).as_number("m") == 1000.0


@pytest.mark.parametrize(
    "method, parameter",
    [(Tarvel.unit, "unit_name_or_symbol"), (Tarvel.constant, "constant_name")],
)
@pytest.mark.parametrize(
    "value, message",
    [
        (5, "'int' object is not an instance of 'str'"),
        (None, "'None' is not an instance of 'str'"),
        (b"m", "'bytes' object is not an instance of 'str'"),
        (Tarvel.empty(), "'Tarvel' object is not an instance of 'str'"),
    ],
)
def test_text_parameters_refuse_other_types(method, parameter, value, message):
    error = raised(lambda: method(value))
    assert type(error) is TypeError
    assert error.args == (message,)
    assert notes(error) == [f"while processing '{parameter}'"]


# --- constant -----------------------------------------------------------------------------------


@pytest.mark.parametrize("name, value, unit_text", CONSTANTS)
def test_constant(name, value, unit_text):
    q = Tarvel.constant(name)
    assert q.as_number() == value
    # Same units as the text: the conversion leaves the magnitude exactly as it is.
    assert q.as_number(unit_text) == value


@pytest.mark.parametrize("alias, name", CONSTANT_ALIASES)
def test_constant_alias(alias, name):
    via_alias = Tarvel.constant(alias)
    direct = Tarvel.constant(name)
    assert via_alias.as_number() == direct.as_number()
    assert str(via_alias) == str(direct)


def test_gravitational_constant_dimensions():
    g = Tarvel.constant("gravitational constant")
    assert str(g.as_base_units()) == "0.000000000066743 [m3/kg.s2]"


@pytest.mark.parametrize("name", ["nope", "planck constant", "Avogadro", " c", "c ", "", "light"])
def test_constant_not_found(name):
    error = raised(lambda: Tarvel.constant(name))
    assert type(error) is LookupError
    assert error.args == (f"Constant {name} not found",)


# --- empty --------------------------------------------------------------------------------------


def test_empty():
    q = Tarvel.empty()
    assert q.as_number() == 1.0
    assert q.as_unitless() == 1.0
    assert str(q) == "1 []"
    assert Tarvel.empty() is not Tarvel.empty()


# --- custom -------------------------------------------------------------------------------------


def test_custom_dimensionless():
    dozen = Tarvel.custom("dozen", "dz", 12)
    assert dozen.as_number() == 1.0
    assert dozen.as_unitless() == 12.0
    assert str(dozen) == "1 [dz]"
    assert dozen.descriptive() == "1 [dozen]"


def test_custom_from_a_quantity():
    bigfoot = Tarvel.custom("bigfoot", "bf", Tarvel.unit("ft") * 3)
    assert bigfoot.as_number() == 1.0
    assert bigfoot.as_number("m") == 0.3048 * 3
    assert (bigfoot * 2).as_number("ft") == 2 * (0.3048 * 3) / 0.3048
    with pytest.raises(TypeError, match=r"^\[bf\] and \[s\] are not compatible$"):
        bigfoot.as_unit("s")


@pytest.mark.parametrize("definition", ["degree Celsius", "°C", Tarvel.unit("°C")])
def test_custom_drops_offsets(definition):
    x = Tarvel.custom("x", "x", definition)
    # Offsets of two single absolute units would apply here; the new unit has none.
    assert x.as_number("K") == 1.0


@pytest.mark.parametrize(
    "definition, unitless",
    [
        (True, 1.0),
        (False, 0.0),
        (2.5, 2.5),
        (3_000_000_000, 3e9),
        (2**70, float(2**70)),
        (-(2**80), float(-(2**80))),
        ("km/m", 1000.0),
    ],
)
def test_custom_unit_like_definitions(definition, unitless):
    assert Tarvel.custom("x", "x", definition).as_unitless() == unitless


def test_custom_takes_a_log_quantity_as_its_plain_value():
    level = LogTarvel.unit("dB")
    assert Tarvel.custom("x", "x", level).as_unitless() == float(level)


def test_custom_unit_is_not_added_to_the_catalogue():
    Tarvel.custom("dozen", "dz", 12)
    with pytest.raises(LookupError, match="^Unit dz not found$"):
        Tarvel.unit("dz")


def test_custom_units_of_one_name_are_unrelated():
    two = Tarvel.custom("u", "u", 2)
    three = Tarvel.custom("u", "u", 3)
    # Kept apart by their factors: 1 u(2) + 1 u(3) is 2.5 u(2), that is 5.
    assert (two + three).as_unitless() == 5.0
    assert (three + two).as_unitless() == 5.0


@pytest.mark.parametrize(
    "arguments, error_type, message, parameter",
    [
        ((1, "x", 1), TypeError, "'int' object is not an instance of 'str'", "name"),
        ((1, 2, [1]), TypeError, "'int' object is not an instance of 'str'", "name"),
        (("x", None, [1]), TypeError, "'None' is not an instance of 'str'", "abbr"),
        (("x", "x", [1, 2]), TypeError, "[1, 2] cannot be coerced into a unit", "definition"),
        (("x", "x", None), TypeError, "None cannot be coerced into a unit", "definition"),
        (("x", "x", {"a": 1}), TypeError, "{'a': 1} cannot be coerced into a unit", "definition"),
        (("x", "x", "xyz"), LookupError, "Unit xyz not found", "definition"),
        (("x", "x", "m/m"), LookupError, "Unit m/m not found", "definition"),
        (("x", "x", 10**400), OverflowError, "int too large to convert to float", "definition"),
    ],
)
def test_custom_argument_errors(arguments, error_type, message, parameter):
    error = raised(lambda: Tarvel.custom(*arguments))
    assert type(error) is error_type
    assert error.args == (message,)
    assert notes(error) == [f"while processing '{parameter}'"]


class Unprintable:
    def __str__(self):
        raise ValueError("no text")


def test_unprintable_argument(monkeypatch):
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    error = raised(lambda: Tarvel.custom("x", "x", Unprintable()))
    assert type(error) is TypeError
    assert error.args == ("<unprintable Unprintable object> cannot be coerced into a unit",)
    assert len(reported) == 1
    assert type(reported[0].exc_value) is ValueError


# --- the errors as Python sees them ----------------------------------------------------------------


@pytest.mark.parametrize(
    "call, error_type, message",
    [
        (lambda: Tarvel.unit("furlongs"), LookupError, "Unit furlongs not found"),
        (lambda: Tarvel.constant("planck constant"), LookupError, "Constant planck constant not found"),
        (lambda: Tarvel.unit("m").as_unit("s"), TypeError, "[m] and [s] are not compatible"),
        (lambda: Tarvel.unit("m").as_unit([1, 2]), TypeError, "[1, 2] cannot be coerced into a unit"),
        (lambda: Tarvel.unit("m").as_unit("xyz"), LookupError, "Unit xyz not found"),
    ],
)
def test_error_classes_and_messages(call, error_type, message):
    error = raised(call)
    assert type(error) is error_type
    assert str(error) == message
    assert error.args == (message,)
