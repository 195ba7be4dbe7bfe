"""Properties of the Python API checked on generated inputs (hypothesis).

The library does plain IEEE arithmetic with no tolerance anywhere, so the properties are stated as what
IEEE arithmetic really gives: where the library's result can be predicted bit for bit from the
documented formulas it is compared exactly; where several roundings pile up, the bound says how many.
TARVEL_HYPOTHESIS_EXAMPLES sets the number of examples per property (default 150: a few seconds in all).
"""

import math
import os
import sys

import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

from tarvel import LogTarvel, Tarvel

EXAMPLES = int(os.environ.get("TARVEL_HYPOTHESIS_EXAMPLES", "150"))
settings.register_profile(
    "tarvel",
    max_examples=EXAMPLES,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much],
)
PROPERTY = settings.get_profile("tarvel")

EPS = sys.float_info.epsilon

# Unit texts by dimension. Every text here is already in simplest form (no two of its units cancel), so
# a quantity made from it keeps exactly these units through arithmetic.
GROUPS = {
    "length": ["m", "km", "ft", "in", "mi", "yd", "nmi", "cm", "mm", "um", "Å", "ly", "pc", "ua", "flg"],
    "time": ["s", "min", "hr", "d", "wk", "ms", "y", "ftnt", "sol"],
    "mass": ["kg", "g", "lb", "oz", "t", "amu", "slug", "st", "gr"],
    "energy": ["J", "eV", "cal", "BTU", "erg", "kW.hr", "Wh", "N.m", "kg.m2/s2"],
    "speed": ["m/s", "km/hr", "mi/hr", "kn", "ft/s", "c"],
    "pressure": ["Pa", "kPa", "bar", "atm", "psi", "torr", "N/m2", "mHg", "inHg"],
    "temperature": ["K", "°C", "°F", "°R"],
    "volume": ["L", "mL", "gal", "m3", "fl oz", "cup", "qt", "pt (imp)"],
    "angle": ["rad", "°", "'", "''"],
}
ABSOLUTE_TEMPERATURES = {"°C", "°F"}
# The largest offset of a temperature unit, in its own units (degree Fahrenheit: 459.67).
OFFSET_SCALE = 460.0

ALL_UNITS = sorted({text for texts in GROUPS.values() for text in texts})

non_zero = st.floats(min_value=1e-12, max_value=1e12) | st.floats(min_value=-1e12, max_value=-1e-12)
magnitudes = st.just(0.0) | non_zero
two_groups = st.lists(st.sampled_from(sorted(GROUPS)), min_size=2, max_size=2, unique=True)


@st.composite
def compatible_pair(draw):
    group = draw(st.sampled_from(sorted(GROUPS)))
    first = draw(st.sampled_from(GROUPS[group]))
    second = draw(st.sampled_from(GROUPS[group]))
    return group, first, second


def factor(text):
    """The scale factor of a unit text: one of it in base units (no offsets ever apply there)."""
    return Tarvel.unit(text).as_base_units().as_number()


def quantity(value, text):
    return Tarvel.unit(text) * value


def same_float(a, b):
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b) or (math.isnan(a) and math.isnan(b))


def unit_text(q):
    return str(q).split(" ", 1)[1]


# --- Conversion --------------------------------------------------------------------------------------


@PROPERTY
@given(compatible_pair(), magnitudes)
def test_conversion_round_trip(pair, value):
    # Each way is one multiplication and one division (plus offsets between absolute temperatures), so the
    # way back lands within a few units in the last place of the magnitude (of the offsets, for
    # temperatures).
    group, first, second = pair
    q = quantity(value, first)
    there = q.as_unit(second)
    back = there.as_unit(first)
    assert unit_text(there) == unit_text(Tarvel.unit(second))
    scale = abs(value) + (OFFSET_SCALE if group == "temperature" else 0.0)
    assert abs(back.as_number() - value) <= 8 * EPS * scale
    # Converting to the very same units changes nothing at all.
    assert same_float(q.as_unit(first).as_number(), value)


@PROPERTY
@given(two_groups, magnitudes)
def test_conversion_between_dimensions_is_refused(groups, value):
    group_a, group_b = groups
    q = quantity(value, GROUPS[group_a][0])
    target = GROUPS[group_b][0]
    with pytest.raises(TypeError) as info:
        q.as_unit(target)
    assert info.value.args == (f"{unit_text(q)} and [{target}] are not compatible",)
    assert same_float(q.as_number(), value)


# --- Arithmetic ----------------------------------------------------------------------------------------


@PROPERTY
@given(compatible_pair(), magnitudes, magnitudes)
def test_add_then_subtract(pair, a_value, b_value):
    # a + b - b is computed as (a + x) - x, x being b in a's units by factors alone (offsets play no part
    # in sums). That is exactly what the library returns, bit for bit; it differs from a by at most one
    # rounding of each step: |error| <= eps * (|a| + |x|), and it is a itself whenever a + x is exact.
    _, first, second = pair
    # Between two absolute temperatures the difference is an interval (test_temperature.py).
    assume(not (first in ABSOLUTE_TEMPERATURES and second in ABSOLUTE_TEMPERATURES))
    a = quantity(a_value, first)
    b = quantity(b_value, second)
    fa, fb = factor(first), factor(second)
    x = b_value if fa == fb else fb * b_value / fa
    result = (a + b) - b
    assert unit_text(result) == unit_text(a)
    assert same_float(result.as_number(), (a_value + x) - x)
    assert abs(result.as_number() - a_value) <= EPS * (abs(a_value) + abs(x))
    if (a_value + x) - x == a_value:
        assert result == a


@PROPERTY
@given(st.sampled_from(ALL_UNITS), st.sampled_from(ALL_UNITS), non_zero, non_zero)
def test_multiply_then_divide(first, second, a_value, b_value):
    # a * b / b has a's dimensions and comes back to a within the handful of roundings of the two
    # products, the two normalisations and the cached factors (a few eps), plus the rounding of offsets
    # when a is an absolute temperature.
    a = quantity(a_value, first)
    b = quantity(b_value, second)
    result = a * b / b
    back = result.as_unit(a).as_number()
    scale = abs(a_value) + (OFFSET_SCALE if first in GROUPS["temperature"] else 0.0)
    assert abs(back - a_value) <= 16 * EPS * scale
    assert unit_text(result.as_base_units()) == unit_text(a.as_base_units())


@PROPERTY
@given(compatible_pair(), magnitudes, magnitudes)
def test_comparison_agrees_with_conversion(pair, a_value, b_value):
    # a OP b converts b into a's units (offsets included) and compares the magnitudes exactly.
    _, first, second = pair
    a = quantity(a_value, first)
    b = quantity(b_value, second)
    left = a.as_number()
    right = b.as_unit(a).as_number()
    assert (a == b) is (left == right)
    assert (a != b) is (left != right)
    assert (a < b) is (left < right)
    assert (a <= b) is (left <= right)
    assert (a > b) is (left > right)
    assert (a >= b) is (left >= right)


@PROPERTY
@given(two_groups, magnitudes)
def test_comparison_across_dimensions_raises(groups, value):
    group, other_group = groups
    a = quantity(value, GROUPS[group][-1])
    other = Tarvel.unit(GROUPS[other_group][0])
    for compare in (
        lambda: a == other,
        lambda: a != other,
        lambda: a < other,
        lambda: a >= other,
    ):
        with pytest.raises(TypeError, match="are not compatible"):
            compare()


# --- Text forms --------------------------------------------------------------------------------------


@st.composite
def expressions(draw, max_terms=5):
    """Unit texts with several terms, read by the parser as they stand (no cancellation)."""
    terms = draw(
        st.lists(
            st.tuples(st.sampled_from(ALL_UNITS), st.sampled_from([-3, -2, -1, 1, 2, 3])),
            min_size=1,
            max_size=max_terms,
        )
    )
    # Units whose symbol has a "." or a "/" of its own cannot be written as a term.
    terms = [(text, power) for text, power in terms if "." not in text and "/" not in text]
    numerator = ".".join(text + (str(power) if power != 1 else "") for text, power in terms if power > 0)
    denominator = ".".join(text + (str(-power) if power != -1 else "") for text, power in terms if power < 0)
    text = numerator + ("/" + denominator if denominator else "")
    try:
        Tarvel.unit(text)
    except LookupError:
        assume(False)  # every term cancelled ("m/m"), or nothing was left
    return text


PRINTERS = [str, repr, lambda q: q.latex(), lambda q: q.descriptive()]


@PROPERTY
@given(expressions(), st.sampled_from(PRINTERS))
def test_printing_is_the_quick_simplification(text, printer):
    # Printing replaces the instance by its quick simplification: afterwards it is bit for bit what an
    # arithmetic result of it is (q * 1.0 is normalised the same way), with the same dimensions.
    printed = Tarvel.unit(text)
    reference = Tarvel.unit(text) * 1.0
    dimensions = unit_text(printed.as_base_units())
    printer(printed)
    assert same_float(printed.as_number(), reference.as_number())
    assert printed.latex() == reference.latex()
    assert unit_text(printed.as_base_units()) == dimensions


@PROPERTY
@given(expressions(), magnitudes, st.lists(st.sampled_from(ALL_UNITS), min_size=1, max_size=4))
def test_printing_a_result_never_changes_what_it_equals(text, value, others):
    # Arithmetic results are already quick-simplified, so printing them changes nothing at all: not the
    # magnitude, not the units, not the answer of any comparison.
    q = Tarvel.unit(text) * value
    probes = [Tarvel.unit(other) * 3.5 for other in others] + [q * 1.0, q * 2]

    def answers():
        out = []
        for probe in probes:
            try:
                out.append((q == probe, q < probe, q >= probe))
            except TypeError:
                out.append("incompatible")
        return out

    before = (answers(), q.as_number(), unit_text(q.as_base_units()))
    for printer in PRINTERS:
        printer(q)
        assert (answers(), q.as_number(), unit_text(q.as_base_units())) == before


# --- Simplification ------------------------------------------------------------------------------------


@PROPERTY
@given(expressions(), non_zero)
def test_simplification_keeps_dimensions_and_value(text, value):
    # The value in base units is (v * f) / f' * f' after simplifying: within a few eps of v * f.
    q = Tarvel.unit(text) * value
    simplified = q.simplify()
    in_place = Tarvel.unit(text) * value
    in_place.simplify_inplace()
    base = q.as_base_units()
    assert unit_text(simplified.as_base_units()) == unit_text(base)
    expected = base.as_number()
    got = simplified.as_base_units().as_number()
    if math.isfinite(expected) and expected != 0.0 and abs(expected) > 1e-290:
        assert abs(got - expected) <= 8 * EPS * abs(expected)
    # Converting back costs the same two roundings; the in-place form is the same operation.
    back = simplified.as_unit(q).as_number()
    original = q.as_number()
    if math.isfinite(back) and abs(original) > 1e-290:
        assert abs(back - original) <= 8 * EPS * abs(original)
    assert str(in_place) == str(simplified)
    assert same_float(in_place.as_number(), simplified.as_number())
    # The display shows the fully simplified units.
    assert unit_text(q) == unit_text(simplified)


@pytest.mark.parametrize(
    "make",
    [
        # The second's 1e-300 is lost in the cached vector (1 + 1e-300 - 1 is 0) but kept in the map.
        pytest.param(
            lambda: Tarvel.unit("km/hr") * Tarvel.unit("m/s") ** 1e-300 / Tarvel.unit("mi/hr"), id="cache"
        ),
        # Exponents near the largest double: the bound on their rounding overflowed.
        pytest.param(lambda: Tarvel.unit("Mm4/km3") ** 4e307, id="huge"),
        # A term of the rebuilt sum overflows (shed is an area: 2 x 1e308) while the cached sum does not.
        pytest.param(lambda: Tarvel.unit("shed/m") ** 1e308 * Tarvel.unit("ft/hr"), id="overflowing-term"),
    ],
)
def test_rounding_of_extreme_exponents_is_no_internal_error(make):
    # Found by fuzzing: these ended in PanicException (a broken invariant) in arithmetic or printing.
    q = make()
    for operation in (str, repr, lambda x: x.simplify(), lambda x: x.simplify_inplace(), round):
        operation(q)
    assert unit_text(q) == unit_text(q.simplify())


@pytest.mark.parametrize("power", [math.inf, -math.inf, math.nan])
def test_non_finite_power_of_absorbed_dimensions_is_refused(power):
    # The 1e-300 exponents vanish from the dimensions but not from the map; a non-finite power of them was
    # no ValueError but a PanicException.
    q = Tarvel.unit("km/hr") * Tarvel.unit("m/s") ** 1e-300 / Tarvel.unit("mi/hr")
    with pytest.raises(ValueError, match="cannot be raised to the power"):
        q**power


# --- Parsing -------------------------------------------------------------------------------------------

# Text close to unit expressions, so that many inputs parse, mixed with arbitrary text.
TOKENS = list("mkgsKNJWAhrftinlb/.0123456789 \t\u00a0²µ°CFΩÅ()'")
TOKENS += ["fl oz", "km", "°F", "meter", "kilo"]
unit_like_text = st.lists(st.sampled_from(TOKENS), max_size=12).map("".join) | st.text(max_size=20)


@PROPERTY
@given(unit_like_text)
def test_parsing_raises_only_lookup_error(text):
    try:
        q = Tarvel.unit(text)
    except LookupError as error:
        assert type(error) is LookupError
        assert error.args == (f"Unit {text} not found",)
    else:
        # One of those units; printing shows it simplified (m/' is metres per arc minute: 3437.7... m).
        assert q.as_number() == 1.0
        assert str(q).endswith("]")
    for call, kind in [
        (lambda: Tarvel.constant(text), LookupError),
        (lambda: LogTarvel.unit(text), LookupError),
        (lambda: Tarvel.unit("m").as_unit(text), (LookupError, TypeError)),
        (lambda: Tarvel.empty().as_number(text), (LookupError, TypeError)),
        (lambda: Tarvel.unit("s").__div__(text), LookupError),
    ]:
        try:
            call()
        except kind as error:
            assert type(error) in (LookupError, TypeError)
    # Operators answer NotImplemented for text that is no unit, which Python turns into TypeError.
    try:
        Tarvel.unit("m") * text
    except TypeError:
        pass


@PROPERTY
@given(
    st.one_of(
        st.integers(),
        st.floats(),
        st.none(),
        st.binary(max_size=5),
        st.lists(st.integers(), max_size=3),
        st.builds(object),
    )
)
def test_text_parameters_refuse_other_types_with_type_error(value):
    for call, parameter in [
        (Tarvel.unit, "unit_name_or_symbol"),
        (Tarvel.constant, "constant_name"),
        (LogTarvel.unit, "unit_name_or_symbol"),
        (lambda v: Tarvel.custom(v, "x", 1), "name"),
    ]:
        with pytest.raises(TypeError) as info:
            call(value)
        assert info.value.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize("text", ["\ud800", "m\udcff", "k\udc80m/s", "\udfff/s"])
def test_text_that_is_no_valid_unicode_names_no_unit(text):
    # A str holding a lone surrogate cannot be UTF-8; it matches nothing, like any other unknown text.
    with pytest.raises(LookupError) as info:
        Tarvel.unit(text)
    assert info.value.args == (f"Unit {text} not found",)
    with pytest.raises(LookupError) as info:
        Tarvel.constant(text)
    assert info.value.args == (f"Constant {text} not found",)
    with pytest.raises(LookupError) as info:
        LogTarvel.unit(text)
    assert info.value.args == (f"Logarithmic ratio unit {text} not found",)
    with pytest.raises(LookupError) as info:
        Tarvel.unit("m").as_unit(text)
    assert info.value.args == (f"Unit {text} not found",)
    assert info.value.__notes__ == ["while processing 'other'"]
    with pytest.raises(TypeError):
        Tarvel.unit("m") * text
    assert (Tarvel.unit("m") == text) is False
