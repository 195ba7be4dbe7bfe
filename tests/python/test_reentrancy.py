"""Python code that runs inside an operation (an argument's __index__, __str__, __bool__) and touches the
same instance: refused with RuntimeError, never a crash, and the instance is left as it was."""

import gc

import pytest

from tarvel import Tarvel

# Operations that change the instance (exclusive access).
EXCLUSIVE = [
    pytest.param(str, id="str"),
    pytest.param(repr, id="repr"),
    pytest.param(lambda x: x.latex(), id="latex"),
    pytest.param(lambda x: x.descriptive(), id="descriptive"),
    pytest.param(lambda x: x.simplify_inplace(), id="simplify_inplace"),
    pytest.param(lambda x: round(x), id="round"),
    pytest.param(lambda x: x.round_sfig(2), id="round_sfig"),
]

# Operations that only read it (shared access).
SHARED = [
    pytest.param(float, id="float"),
    pytest.param(int, id="int"),
    pytest.param(lambda x: -x, id="neg"),
    pytest.param(lambda x: +x, id="pos"),
    pytest.param(abs, id="abs"),
    pytest.param(lambda x: x == 1000, id="eq"),
    pytest.param(lambda x: x < 1, id="lt"),
    pytest.param(lambda x: x.as_number(), id="as_number"),
    pytest.param(lambda x: x.as_unit(1), id="as_unit"),
    pytest.param(lambda x: x.as_unitless(), id="as_unitless"),
    pytest.param(lambda x: x.as_base_units(), id="as_base_units"),
    pytest.param(lambda x: x.simplify(), id="simplify"),
    pytest.param(lambda x: x.exp(), id="exp"),
    pytest.param(lambda x: x.__log10__(), id="__log10__"),
    pytest.param(lambda x: x.__div__(2), id="__div__"),
    pytest.param(lambda x: Tarvel.empty().as_unit(x), id="as-argument"),
    pytest.param(lambda x: Tarvel.custom("a", "a", x), id="as-definition"),
]

# Binary operators do not raise when the instance cannot be read: that side does not apply.
BINARY = [
    pytest.param(lambda x: x + 1, id="add"),
    pytest.param(lambda x: 2 * x, id="rmul"),
    pytest.param(lambda x: x**2, id="pow"),
]


def fresh():
    # km/m is not simplified yet: an in-place simplification would turn its magnitude 1 into 1000.
    return Tarvel.unit("km/m")


class Hook:
    """Runs `touch` on the instance once, from inside a special method, and records what happened."""

    def __init__(self, touch, swallow=True):
        self.instance = None
        self.touch = touch
        self.swallow = swallow
        self.seen = []

    def run(self):
        try:
            self.touch(self.instance)
        except Exception as error:
            self.seen.append(error)
            if not self.swallow:
                raise
        else:
            self.seen.append(None)


class Count(Hook):
    def __index__(self):
        self.run()
        return 2


class Printable(Hook):
    def __str__(self):
        self.run()
        return "odd"


def call_with_exclusive_access(name, hook):
    x = fresh()
    hook.instance = x
    if name == "round_sfig":
        return x, lambda: x.round_sfig(hook)
    return x, lambda: round(x, hook)


def check_seen(hook, error_type, message):
    assert len(hook.seen) == 1
    error = hook.seen[0]
    assert type(error) is error_type
    if message is not None:
        assert error.args[0] == message


@pytest.mark.parametrize("outer", ["round_sfig", "round"])
@pytest.mark.parametrize(
    "touch, message",
    [pytest.param(p.values[0], "Already borrowed", id=p.id) for p in EXCLUSIVE]
    + [pytest.param(p.values[0], "Already mutably borrowed", id=p.id) for p in SHARED],
)
def test_inside_an_exclusive_operation(outer, touch, message):
    hook = Count(touch)
    x, call = call_with_exclusive_access(outer, hook)
    result = call()
    check_seen(hook, RuntimeError, message)
    # The operation itself went ahead once the argument was taken.
    assert str(result) == "1000 []"
    assert x.as_number() == 1000.0


@pytest.mark.parametrize("outer", ["round_sfig", "round"])
@pytest.mark.parametrize("touch", BINARY)
def test_binary_operator_inside_an_exclusive_operation(outer, touch):
    hook = Count(touch)
    _, call = call_with_exclusive_access(outer, hook)
    call()
    check_seen(hook, TypeError, None)
    assert "unsupported operand type" in str(hook.seen[0])


@pytest.mark.parametrize(
    "outer, parameter",
    [("round_sfig", "n_sig_figs"), ("round", "ndigits")],
)
@pytest.mark.parametrize(
    "touch, message",
    [
        pytest.param(str, "Already borrowed", id="str"),
        pytest.param(float, "Already mutably borrowed", id="float"),
    ],
)
def test_refusal_propagates_and_leaves_the_instance_alone(outer, parameter, touch, message):
    hook = Count(touch, swallow=False)
    x, call = call_with_exclusive_access(outer, hook)
    with pytest.raises(RuntimeError) as info:
        call()
    assert info.value.args == (message,)
    assert info.value.__notes__ == [f"while processing '{parameter}'"]
    assert x.as_number() == 1.0
    # Access is released: the instance works normally afterwards.
    assert str(x) == "1000 []"


SHARED_OUTER = [
    pytest.param(lambda x, arg: x.as_unit(arg), id="as_unit"),
    pytest.param(lambda x, arg: x.as_number(arg), id="as_number"),
    pytest.param(lambda x, arg: x.__div__(arg), id="__div__"),
    pytest.param(lambda x, arg: x.__rdiv__(arg), id="__rdiv__"),
]


@pytest.mark.parametrize("outer", SHARED_OUTER)
@pytest.mark.parametrize("touch", EXCLUSIVE)
def test_exclusive_access_inside_a_shared_operation(outer, touch):
    hook = Printable(touch)
    x = fresh()
    hook.instance = x
    with pytest.raises(TypeError) as info:
        outer(x, hook)
    assert info.value.args == ("odd cannot be coerced into a unit",)
    assert info.value.__notes__ == ["while processing 'other'"]
    check_seen(hook, RuntimeError, "Already borrowed")
    assert x.as_number() == 1.0


@pytest.mark.parametrize("outer", SHARED_OUTER)
@pytest.mark.parametrize("touch", SHARED)
def test_shared_access_inside_a_shared_operation(outer, touch):
    hook = Printable(touch)
    x = fresh()
    hook.instance = x
    with pytest.raises(TypeError) as info:
        outer(x, hook)
    assert info.value.args == ("odd cannot be coerced into a unit",)
    assert hook.seen == [None]
    assert x.as_number() == 1.0


def test_unprintable_refusal_inside_a_shared_operation(monkeypatch):
    reported = []
    monkeypatch.setattr("sys.unraisablehook", reported.append)
    hook = Printable(str, swallow=False)
    x = fresh()
    hook.instance = x
    with pytest.raises(TypeError) as info:
        x.as_unit(hook)
    assert info.value.args == ("<unprintable Printable object> cannot be coerced into a unit",)
    assert len(reported) == 1
    assert type(reported[0].exc_value) is RuntimeError
    assert str(reported[0].exc_value) == "Already borrowed"
    assert x.as_number() == 1.0


@pytest.mark.parametrize(
    "touch, expected",
    [
        pytest.param(lambda x: x.simplify_inplace(), RuntimeError, id="simplify_inplace"),
        pytest.param(lambda x: x.as_number(), None, id="as_number"),
    ],
)
def test_scale_truth_inside_as_number(touch, expected):
    x = fresh()

    def truth(self):
        try:
            touch(x)
        except Exception as error:
            seen.append(type(error))
        else:
            seen.append(None)
        return True

    seen = []
    fake_numpy_bool = type("bool_", (), {"__module__": "numpy", "__bool__": truth})()
    assert x.as_number(x, fake_numpy_bool) == 1.0
    assert seen == [expected]
    assert x.as_number() == 1.0


def test_number_hooks_of_int_and_float_subclasses_are_not_consulted():
    x = fresh()
    calls = []

    def meddle(self):
        calls.append(self)
        x.simplify_inplace()
        return 99

    Int = type("Int", (int,), {"__index__": meddle, "__float__": meddle, "__int__": meddle})
    Float = type("Float", (float,), {"__float__": meddle})
    assert (x * Int(3)).as_number() == 3000.0
    assert (x * Float(2.0)).as_number() == 2000.0
    assert x.as_number(Int(3)) == 1000.0
    assert calls == []
    assert x.as_number() == 1.0


def test_one_instance_on_both_sides():
    x = fresh()
    assert (x + x).as_number() == 2000.0
    assert (x * x).as_number() == 1000000.0
    assert x == x
    assert x.as_unit(x).as_number() == 1.0
    assert x.as_number(x, True) == 1.0
    assert x.__div__(x).as_number() == 1.0
    assert x.as_number() == 1.0


def test_argument_that_collects_garbage_while_the_instance_is_held():
    class Collect:
        def __index__(self):
            gc.collect()
            return 2

    assert str(Tarvel.unit("in/m").round_sfig(Collect())) == "0.025 []"
    assert str(round(Tarvel.unit("km/m") * 1.25, Collect())) == "1250 []"
