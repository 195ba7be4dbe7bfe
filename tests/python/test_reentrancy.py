"""Python code that runs inside an operation (an argument's __index__, __str__, __bool__) and touches the
same instance. Arguments are converted before any access to the instance is taken, so the touch works as
if it ran just before the operation: never a refusal, never a crash, never a half-changed instance."""

import gc

import pytest

from tarvel import LogTarvel, Tarvel

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


@pytest.mark.parametrize("outer", ["round_sfig", "round"])
@pytest.mark.parametrize("touch", EXCLUSIVE + SHARED)
def test_inside_an_exclusive_operation(outer, touch):
    hook = Count(touch)
    x, call = call_with_exclusive_access(outer, hook)
    result = call()
    assert hook.seen == [None]
    # The operation itself went ahead once the argument was taken.
    assert str(result) == "1000 []"
    assert x.as_number() == 1000.0


@pytest.mark.parametrize("outer", ["round_sfig", "round"])
@pytest.mark.parametrize("touch", BINARY)
def test_binary_operator_inside_an_exclusive_operation(outer, touch):
    hook = Count(touch)
    _, call = call_with_exclusive_access(outer, hook)
    assert str(call()) == "1000 []"
    assert hook.seen == [None]


@pytest.mark.parametrize(
    "outer, parameter",
    [("round_sfig", "n_sig_figs"), ("round", "ndigits")],
)
@pytest.mark.parametrize("touch", [float, lambda x: x.as_unit(x)], ids=["float", "as_unit"])
def test_refusal_propagates_and_leaves_the_instance_alone(outer, parameter, touch):
    def refuse(x):
        touch(x)
        raise RuntimeError("refused")

    hook = Count(refuse, swallow=False)
    x, call = call_with_exclusive_access(outer, hook)
    with pytest.raises(RuntimeError) as info:
        call()
    assert info.value.args == ("refused",)
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
    # Every exclusive touch quick-simplifies the instance in place.
    assert hook.seen == [None]
    assert str(x) == "1000 []"


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
    def refuse(x):
        str(x)
        raise RuntimeError("refused")

    hook = Printable(refuse, swallow=False)
    x = fresh()
    hook.instance = x
    with pytest.raises(TypeError) as info:
        x.as_unit(hook)
    assert info.value.args == ("<unprintable Printable object> cannot be coerced into a unit",)
    assert len(reported) == 1
    assert type(reported[0].exc_value) is RuntimeError
    assert str(reported[0].exc_value) == "refused"
    assert x.as_number() == 1000.0


@pytest.mark.parametrize(
    "touch, expected",
    [
        pytest.param(lambda x: x.simplify_inplace(), 1000.0, id="simplify_inplace"),
        pytest.param(lambda x: x.as_number(), 1.0, id="as_number"),
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
    assert seen == [None]
    assert x.as_number() == expected


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


# --- Every argument hook, in every method that holds access while it runs ----------------------------


class HookError(Exception):
    pass


# What a hook hands back after it ran: a value of the right type, or one of the wrong type.
GOOD = {"__index__": 2, "__float__": 2.0, "__str__": "odd", "__bool__": True}
WRONG = {"__index__": "two", "__float__": "two", "__str__": 2, "__bool__": "yes"}


def make_hook(kind, behaviour, touch, target):
    """An argument with one special method, which first runs `touch(target)` and records the outcome."""
    seen = []

    def method(self):
        try:
            touch(target())
        except Exception as error:
            seen.append(error)
        else:
            seen.append(None)
        if behaviour == "raise":
            raise HookError(kind)
        return (WRONG if behaviour == "wrong" else GOOD)[kind]

    # A __bool__ is consulted only for a NumPy boolean (the `scale` of as_number).
    name, module = ("bool_", "numpy") if kind == "__bool__" else ("Hook", __name__)
    return type(name, (), {kind: method, "__module__": module})(), seen


# (id, access the outer call holds on the instance while the hook runs, hooks it consults, call). None: no
# access is held while the argument is taken, which is now so for every call (arguments are converted
# before the instance is read). Unit-like
# and number-like arguments are read through __index__ or __float__ (NumPy scalars and the like); a named
# method builds its refusal message with __str__.
COUNT = {"__index__"}
NUMBER = {"__index__", "__float__"}
NAMED = NUMBER | {"__str__"}
TARVEL_OUTER = [
    ("round_sfig", None, COUNT, lambda x, a: x.round_sfig(a)),
    ("round", None, COUNT, lambda x, a: round(x, a)),
    ("as_unit", None, NAMED, lambda x, a: x.as_unit(a)),
    ("as_number", None, NAMED, lambda x, a: x.as_number(a)),
    ("as_number-scale", None, {"__bool__"}, lambda x, a: x.as_number(x, a)),
    ("__div__", None, NAMED, lambda x, a: x.__div__(a)),
    ("__rdiv__", None, NAMED, lambda x, a: x.__rdiv__(a)),
    ("mul", None, NUMBER, lambda x, a: x * a),
    ("rsub", None, NUMBER, lambda x, a: a - x),
    ("eq", None, NUMBER, lambda x, a: x == a),
    ("lt", None, NUMBER, lambda x, a: x < a),
    ("pow-modulus", None, NUMBER, lambda x, a: pow(x, 2, a)),
]
LOG_OUTER = [
    ("log-round_sfig", None, COUNT, lambda x, a: x.round_sfig(a)),
    ("log-round", None, COUNT, lambda x, a: round(x, a)),
    ("log-__div__", None, NAMED, lambda x, a: x.__div__(a)),
    ("log-__rdiv__", None, NAMED, lambda x, a: x.__rdiv__(a)),
    ("log-mul", None, NUMBER, lambda x, a: x * a),
    ("log-radd", None, NUMBER, lambda x, a: a + x),
    ("log-lt", None, NUMBER, lambda x, a: x < a),
    ("log-pow-modulus", None, NUMBER, lambda x, a: pow(x, 2, a)),
]
# (id, access the touch asks for, touch).
TARVEL_TOUCH = [
    ("str", "exclusive", str),
    ("simplify_inplace", "exclusive", lambda x: x.simplify_inplace()),
    ("round_sfig", "exclusive", lambda x: x.round_sfig(2)),
    ("float", "shared", float),
    ("as_unit", "shared", lambda x: x.as_unit(x)),
    ("add", "operator", lambda x: x + x),
]
LOG_TOUCH = [
    ("round_sfig", "exclusive", lambda x: x.round_sfig(2)),
    ("str", "shared", str),
    ("as_number", "shared", lambda x: x.as_number(x)),
    ("add", "operator", lambda x: x + x),
]


def expected_touch(outer_access, touch_access):
    """The outcome a touch must have inside the outer call: None (allowed) or the refusal."""
    if outer_access is None or (outer_access == "shared" and touch_access != "exclusive"):
        return None
    if touch_access == "exclusive":
        return (RuntimeError, "Already borrowed")
    if touch_access == "shared":
        return (RuntimeError, "Already mutably borrowed")
    # An operator whose only quantity is held declines (TypeError); the LogTarvel slots say why.
    return (TypeError, RuntimeError)


def cases(outers, touches, make):
    for outer_id, outer_access, consulted, outer in outers:
        for touch_id, touch_access, touch in touches:
            for kind in GOOD:
                for behaviour in ("good", "wrong", "raise"):
                    yield pytest.param(
                        make, outer_access, kind in consulted, outer, touch_access, touch, kind, behaviour,
                        id=f"{outer_id}-{touch_id}-{kind}-{behaviour}",
                    )


def state(x):
    # Read-only views of the instance: magnitude and units (through base units, which changes nothing).
    return x.as_number(), str(x.as_base_units())


@pytest.mark.parametrize(
    "make, outer_access, consulted, outer, touch_access, touch, kind, behaviour",
    list(cases(TARVEL_OUTER, TARVEL_TOUCH, fresh))
    + list(cases(LOG_OUTER, LOG_TOUCH, lambda: LogTarvel.unit("dB") * 3)),
)
def test_every_hook_during_every_access(
    monkeypatch, make, outer_access, consulted, outer, touch_access, touch, kind, behaviour
):
    # A __str__ that fails is reported through the unraisable hook; that is tested above.
    monkeypatch.setattr("sys.unraisablehook", lambda unraisable: None)
    x = make()
    hook, seen = make_hook(kind, behaviour, touch, lambda: x)
    before = state(x) if isinstance(x, Tarvel) else str(x)
    try:
        outer(x, hook)
    except HookError:
        # The hook's own exception comes through unchanged.
        assert behaviour == "raise"
        failed = True
    except (TypeError, RuntimeError, OverflowError, LookupError):
        failed = True
    else:
        failed = False
    # The hook ran once where the argument is read through it, and a touch inside the call gets the
    # documented answer.
    assert len(seen) == (1 if consulted else 0)
    if seen:
        expected = expected_touch(outer_access, touch_access)
        if expected is None:
            assert seen[0] is None or outer_access is None
        elif expected[0] is TypeError:
            assert type(seen[0]) in expected
        else:
            assert type(seen[0]) is expected[0] and seen[0].args == (expected[1],)
    # The instance is left as it was, unless an exclusive call went through (its quick simplification)
    # or the touch itself was allowed to change it.
    if isinstance(x, Tarvel):
        allowed_change = (outer_access == "exclusive" and not failed) or (seen and seen[0] is None)
        if not allowed_change:
            assert state(x) == before
        assert str(x) in ("1000 []", "1 [km/m]")
    else:
        assert str(x) == before
