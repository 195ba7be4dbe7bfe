"""LogTarvel: creation, scale conversion, plain numbers, rounding, exp/log, text form and the class shape."""

import importlib
import inspect
import math
import sys
import weakref

import pytest

from tarvel import LogTarvel

BASES = {"B": 10.0, "dB": 1.2589254117941673, "Np": 2.718281828459045, "stn": 1.0594630943592953}
NAMES = {"bel": "B", "decibel": "dB", "neper": "Np", "semitone": "stn"}
NAN, INF = float("nan"), float("inf")


def lt(symbol, power=1.0):
    # Scaling by a plain number multiplies the number of scale units exactly.
    return LogTarvel.unit(symbol) * power


def power_of(x):
    return x.as_number()


def raised(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.value


# --- creation ---------------------------------------------------------------------------------------------

@pytest.mark.parametrize("name, symbol", NAMES.items())
def test_unit_by_name_and_symbol_is_one_unit_of_the_scale(name, symbol):
    for text in (name, symbol):
        x = LogTarvel.unit(text)
        assert type(x) is LogTarvel
        assert str(x) == f"1 [{symbol}]"
        assert power_of(x) == 1.0
        assert float(x) == BASES[symbol]
    assert str(LogTarvel.unit(unit_name_or_symbol=name)) == f"1 [{symbol}]"
    assert str(LogTarvel.unit("B").unit(name)) == f"1 [{symbol}]"  # a class method, also on instances


@pytest.mark.parametrize("text", ["db", "DB", "Bel", "Neper", "nepers", "decibels", "dBm", "cB", "", " dB", "m"])
def test_unknown_scale_is_lookup_error_with_the_text(text):
    error = raised(lambda: LogTarvel.unit(text))
    assert type(error) is LookupError
    assert error.args == (f"Logarithmic ratio unit {text} not found",)


@pytest.mark.parametrize("value, message", [
    (5, "'int' object is not an instance of 'str'"),
    (None, "'None' is not an instance of 'str'"),
    (b"dB", "'bytes' object is not an instance of 'str'"),
    (LogTarvel.unit("dB"), "'LogTarvel' object is not an instance of 'str'"),
])
def test_unit_requires_str(value, message):
    error = raised(lambda: LogTarvel.unit(value))
    assert type(error) is TypeError and str(error) == message
    assert error.__notes__ == ["while processing 'unit_name_or_symbol'"]


@pytest.mark.parametrize("call, message", [
    (lambda: LogTarvel.unit(), "unit() missing required argument 'unit_name_or_symbol' (pos 1)"),
    (lambda: LogTarvel.unit("B", "dB"), "unit() takes exactly 1 positional argument (2 given)"),
    (lambda: LogTarvel.unit(name="B"), "'name' is an invalid keyword argument for unit()"),
    (lambda: lt("B").as_unit(), "as_unit() missing required argument 'other' (pos 1)"),
    (lambda: lt("B").as_number(None, None), "as_number() takes at most 1 positional argument (2 given)"),
    (lambda: lt("B").round_sfig(), "round_sfig() missing required argument 'n_sig_figs' (pos 1)"),
    (lambda: lt("B").as_unitless(1), "as_unitless() takes no arguments (1 given)"),
    (lambda: lt("B").log10(x=1), "log10() takes no keyword arguments"),
])
def test_argument_count_errors(call, message):
    error = raised(call)
    assert type(error) is TypeError and str(error) == message


# --- scale conversion --------------------------------------------------------------------------------------

@pytest.mark.parametrize("source", BASES)
@pytest.mark.parametrize("target", BASES)
def test_conversion_between_scales(source, target):
    x = lt(source, 2.5)
    expected = math.log(math.pow(BASES[source], 2.5)) / math.log(BASES[target])
    # Only the scale of the argument counts, not its number of units.
    for other in (LogTarvel.unit(target), lt(target, -7.0)):
        converted = x.as_unit(other)
        assert type(converted) is LogTarvel
        assert str(converted).endswith(f" [{target}]")
        assert power_of(converted) == expected
        assert x.as_number(other) == expected
        assert x.as_number(other=other) == expected
    assert float(x.as_unit(LogTarvel.unit(target))) == pytest.approx(float(x), rel=1e-13)
    assert power_of(x) == 2.5  # the instance is unchanged


def test_bel_in_decibels_carries_the_rounding_of_the_logarithms():
    bel, decibel = LogTarvel.unit("B"), LogTarvel.unit("dB")
    assert bel.as_number(decibel) == 9.999999999999998
    assert str(bel.as_unit(decibel)) == "9.999999999999998 [dB]"


def test_as_number_without_scale_is_the_number_of_units():
    assert LogTarvel.unit("stn").as_number() == 1.0
    assert lt("dB", -3.5).as_number(None) == -3.5
    assert lt("dB", -3.5).as_number(other=None) == -3.5


@pytest.mark.parametrize("method", ["as_unit", "as_number"])
@pytest.mark.parametrize("value, message", [
    (2.0, "'float' object is not an instance of 'LogTarvel'"),
    (10, "'int' object is not an instance of 'LogTarvel'"),
    ("dB", "'str' object is not an instance of 'LogTarvel'"),
    ([1], "'list' object is not an instance of 'LogTarvel'"),
])
def test_conversion_takes_only_a_log_tarvel(method, value, message):
    error = raised(lambda: getattr(lt("B"), method)(value))
    assert type(error) is TypeError and str(error) == message
    assert error.__notes__ == ["while processing 'other'"]


def test_as_unit_rejects_none():
    error = raised(lambda: lt("B").as_unit(None))
    assert type(error) is TypeError and str(error) == "'None' is not an instance of 'LogTarvel'"
    assert error.__notes__ == ["while processing 'other'"]


# --- plain numbers ------------------------------------------------------------------------------------------

@pytest.mark.parametrize("symbol, power, ratio", [
    ("B", 1.0, 10.0), ("Np", 1.0, math.e), ("B", -1.0, 0.1), ("dB", 3.0, 1.99526231496888),
    ("B", 400.0, INF), ("B", -400.0, 0.0),
])
def test_float_and_as_unitless_are_the_ratio(symbol, power, ratio):
    x = lt(symbol, power)
    assert float(x) == ratio and type(float(x)) is float
    assert x.as_unitless() == ratio


def test_ratio_of_nan_power_is_nan():
    assert math.isnan(float(lt("B", NAN)))


@pytest.mark.parametrize("symbol, power, expected", [
    ("Np", 1.0, 2),
    ("B", 10.0, 10_000_000_000),  # far beyond 32 bits
    ("B", 20.0, 100_000_000_000_000_000_000),
    ("B", 0.3979400086720376, 2),  # ratio 2.5 truncates
    ("B", -1.0, 0),
    ("Np", 50.0, int(math.pow(math.e, 50.0))),
])
def test_int_is_the_exact_int_of_the_ratio(symbol, power, expected):
    assert int(lt(symbol, power)) == expected


@pytest.mark.parametrize("power", [NAN, 400.0])
def test_int_of_non_finite_ratio_raises_like_float(power):
    x = lt("B", power)
    expected = raised(lambda: int(float(x)))
    error = raised(lambda: int(x))
    assert type(error) is type(expected) and str(error) == str(expected)
    assert type(error) in (ValueError, OverflowError)


# --- rounding -------------------------------------------------------------------------------------------------

@pytest.mark.parametrize("symbol, power, args, expected", [
    ("B", 1.0, (), 10.0),
    ("B", 1.0, (None,), 10.0),
    ("B", 1.0, (-1,), 10.0),
    ("B", 2.0, (-3,), 0.0),
    ("dB", 3.0, (1,), 2.0),
    ("dB", 3.0, (2,), 2.0),  # 199.53 rounds to 200
    ("dB", 3.0, (3,), 1.995),
    ("B", 0.3979400086720376, (), 3.0),  # ratio exactly 2.5: halves go away from zero
    ("B", -0.6020599913279624, (1,), 0.3),  # ratio exactly 0.25
    ("B", 0.17609125905568124, (), 2.0),  # ratio exactly 1.5
])
def test_round(symbol, power, args, expected):
    result = round(lt(symbol, power), *args)
    assert type(result) is float and result == expected


@pytest.mark.parametrize("symbol, power, figures, expected", [
    ("dB", 0.01, 2, 1.0),  # counts figures of the ratio 1.0023, not of the power
    ("dB", 0.01, 4, 1.002),
    ("B", 0.0, 3, 1.0),  # power 0 is ratio 1, not NaN
    ("B", 1.0, 1, 10.0),
    ("dB", 3.0, 3, 2.0),
    ("dB", 3.0, 4, 1.995),
    ("B", -2.0, 2, 0.01),
    ("B", 2.5, 2, 320.0),  # 316.2...
    ("B", 0.3979400086720376, 1, 3.0),  # 2.5, away from zero
    ("B", -0.6020599913279624, 1, 0.3),  # 0.25
    ("B", -400.0, 3, 0.0),  # ratio 0, inf unchanged
    ("B", 400.0, 3, INF),
])
def test_round_sfig_counts_figures_of_the_ratio(symbol, power, figures, expected):
    result = lt(symbol, power).round_sfig(figures)
    assert type(result) is float and result == expected
    assert lt(symbol, power).round_sfig(n_sig_figs=figures) == expected


def test_round_sfig_of_nan_ratio_is_nan():
    assert math.isnan(lt("B", NAN).round_sfig(2))


@pytest.mark.parametrize("call, parameter, error_type, message", [
    (lambda x: round(x, 2.0), "ndigits", TypeError, "'float' object cannot be interpreted as an integer"),
    (lambda x: round(x, "2"), "ndigits", TypeError, "'str' object cannot be interpreted as an integer"),
    (lambda x: round(x, 2**31), "ndigits", OverflowError, "Python int too large to convert to C int"),
    (lambda x: x.round_sfig(2.0), "n_sig_figs", TypeError, "'float' object cannot be interpreted as an integer"),
    (lambda x: x.round_sfig(None), "n_sig_figs", TypeError,
     "'NoneType' object cannot be interpreted as an integer"),
    (lambda x: x.round_sfig(-2**31 - 1), "n_sig_figs", OverflowError, "Python int too large to convert to C int"),
])
def test_rounding_counts_must_be_32_bit_integers(call, parameter, error_type, message):
    error = raised(lambda: call(lt("B")))
    assert type(error) is error_type and str(error) == message
    assert error.__notes__ == [f"while processing '{parameter}'"]


def test_round_sfig_reads_its_count_before_taking_the_instance():
    x = lt("B")

    class Figures:
        def __index__(self):
            return int(float(x))  # reading x: round_sfig holds no access yet

    assert x.round_sfig(Figures()) == 10.0

    class Refuses:
        def __index__(self):
            float(x)
            raise RuntimeError("refused")

    error = raised(lambda: x.round_sfig(Refuses()))
    assert type(error) is RuntimeError and str(error) == "refused"
    assert error.__notes__ == ["while processing 'n_sig_figs'"]
    assert x.round_sfig(2) == 10.0


def test_round_reads_with_shared_access():
    x = lt("dB", 3.0)

    class Digits:
        def __index__(self):
            return int(float(x))

    assert round(x, Digits()) == 2.0


# --- exp / log --------------------------------------------------------------------------------------------------

@pytest.mark.parametrize("names, function", [
    (("exp", "__exp__"), math.exp),
    (("log", "__log__"), math.log),
    (("log10", "__log10__"), math.log10),
])
@pytest.mark.parametrize("symbol, power", [("B", 1.0), ("Np", 1.0), ("dB", -3.0), ("stn", 12.0)])
def test_exp_and_logarithms_of_the_ratio(names, function, symbol, power):
    x = lt(symbol, power)
    for name in names:
        result = getattr(x, name)()
        assert type(result) is float and result == function(float(x))


def test_logarithm_of_zero_ratio_is_minus_infinity():
    zero = lt("B", -400.0)
    assert zero.log() == -INF and zero.__log10__() == -INF
    assert lt("B", 400.0).exp() == INF


# --- text -----------------------------------------------------------------------------------------------------

@pytest.mark.parametrize("x, text", [
    (LogTarvel.unit("decibel"), "1 [dB]"),
    (lt("stn", 2.5), "2.5 [stn]"),
    (lt("Np", 10), "10 [Np]"),
    (lt("B", 0.1), "0.1 [B]"),
    (lt("B", 1e21), "1000000000000000000000 [B]"),
    (lt("B", 1e-7), "0.0000001 [B]"),
    (-lt("B", 0.0), "-0 [B]"),
    (lt("B", NAN), "NaN [B]"),
    (lt("B") / 0, "inf [B]"),
    (-(lt("B") / 0), "-inf [B]"),
])
def test_text_form(x, text):
    assert str(x) == text and repr(x) == text


# --- the class ------------------------------------------------------------------------------------------------

SIGNATURES = [
    ("unit", "($cls, unit_name_or_symbol)"),
    ("as_unit", "($self, other)"),
    ("as_number", "($self, other=None)"),
    ("as_unitless", "($self)"),
    ("round_sfig", "($self, n_sig_figs)"),
    ("__div__", "($self, other)"),
    ("__rdiv__", "($self, other)"),
    ("__round__", "($self, ndigits=None)"),
    ("__exp__", "($self)"),
    ("exp", "($self)"),
    ("__log__", "($self)"),
    ("log", "($self)"),
    ("__log10__", "($self)"),
    ("log10", "($self)"),
]


def test_methods_are_registered_in_order_with_text_signatures():
    names = [name for name, _ in SIGNATURES]
    assert [name for name in LogTarvel.__dict__ if name in names] == names
    for name, signature in SIGNATURES:
        method = getattr(LogTarvel, name)
        assert method.__text_signature__ == signature
        assert method.__doc__ is None


def test_inspect_signatures():
    assert str(inspect.signature(lt("B").as_number)) == "(other=None)"
    parameters = inspect.signature(LogTarvel.as_number).parameters.values()
    assert [(p.name, p.default) for p in parameters] == [("self", inspect.Parameter.empty), ("other", None)]
    assert str(inspect.signature(LogTarvel.unit)) == "(unit_name_or_symbol)"


def test_class_shape():
    assert LogTarvel.__doc__ is None
    assert LogTarvel.__module__ == "tarvel" and LogTarvel.__qualname__ == "LogTarvel"
    assert LogTarvel.__bases__ == (object,)
    assert LogTarvel.__hash__ is None


@pytest.mark.parametrize("call, message", [
    (lambda: LogTarvel(), "cannot create 'tarvel.LogTarvel' instances"),
    (lambda: type("Sub", (LogTarvel,), {}), "type 'tarvel.LogTarvel' is not an acceptable base type"),
    (lambda: hash(lt("B")), "unhashable type: 'tarvel.LogTarvel'"),
    (lambda: {lt("B")}, "unhashable type: 'tarvel.LogTarvel'" if sys.version_info < (3, 14) else
     "cannot use 'tarvel.LogTarvel' as a set element (unhashable type: 'tarvel.LogTarvel')"),
    (lambda: weakref.ref(lt("B")), "cannot create weak reference to 'tarvel.LogTarvel' object"),
    (lambda: lt("B") // 2, "unsupported operand type(s) for //: 'tarvel.LogTarvel' and 'int'"),
    (lambda: 2.0 // lt("B"), "unsupported operand type(s) for //: 'float' and 'tarvel.LogTarvel'"),
    (lambda: lt("B") % lt("B"), "unsupported operand type(s) for %: 'tarvel.LogTarvel' and 'tarvel.LogTarvel'"),
    (lambda: 7 % lt("B"), "unsupported operand type(s) for %: 'int' and 'tarvel.LogTarvel'"),
])
def test_what_the_class_refuses(call, message):
    error = raised(call)
    assert type(error) is TypeError and str(error) == message


def test_instances_have_no_attribute_dict():
    x = lt("B")
    assert not hasattr(x, "__dict__")
    with pytest.raises(AttributeError):
        x.anything = 1


@pytest.mark.parametrize("power", [1.0, 0.0, -400.0, NAN])
def test_every_instance_is_true(power):
    assert bool(lt("B", power)) is True


def test_class_object_survives_reimport():
    original = sys.modules["tarvel"]
    try:
        del sys.modules["tarvel"]
        again = importlib.import_module("tarvel")
        assert again is not original
        assert again.LogTarvel is original.LogTarvel
    finally:
        sys.modules["tarvel"] = original


def test_instances_release_their_class_reference():
    before = sys.getrefcount(LogTarvel)
    values = [lt("dB", float(i)) for i in range(100)] + [LogTarvel.unit("B") + LogTarvel.unit("Np")]
    assert sys.getrefcount(LogTarvel) == before + 101
    del values
    assert sys.getrefcount(LogTarvel) == before
