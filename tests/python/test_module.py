"""The shape of the module and of the Tarvel class as Python code sees it."""

import copy
import copyreg
import importlib
import inspect
import pathlib
import pickle
import sys
import types
import weakref

import pytest

import tarvel
from tarvel import Tarvel

STANDARD_MODULE_ATTRIBUTES = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}

# (name, is a class method, signature as bound)
METHODS = [
    ("unit", True, "(unit_name_or_symbol)"),
    ("constant", True, "(constant_name)"),
    ("empty", True, "()"),
    ("custom", True, "(name, abbr, definition)"),
    ("as_unit", False, "(other)"),
    ("as_number", False, "(other=None, scale=False)"),
    ("as_unitless", False, "()"),
    ("as_base_units", False, "()"),
    ("__sizeof__", False, "()"),
    ("round_sfig", False, "(n_sig_figs)"),
    ("simplify", False, "()"),
    ("simplify_inplace", False, "()"),
    ("__div__", False, "(other)"),
    ("__rdiv__", False, "(other)"),
    ("__round__", False, "(ndigits=None)"),
    ("__exp__", False, "()"),
    ("exp", False, "()"),
    ("__log__", False, "()"),
    ("log", False, "()"),
    ("__log10__", False, "()"),
    ("log10", False, "()"),
    ("descriptive", False, "()"),
    ("latex", False, "()"),
]

# Registered after the class's own methods: format(), copy and pickle.
PROTOCOL_METHODS = [
    ("__format__", False, "(format_spec)"),
    ("__copy__", False, "()"),
    ("__deepcopy__", False, "(memo)"),
    ("__reduce__", False, "()"),
    ("_from_state", True, "(state)"),
    # pydantic's schema hook, written in Python (tarvel.pydantic).
    ("__get_pydantic_core_schema__", True, "(source, handler)"),
    # Reading from text, introspection and the notebook display.
    ("parse", True, "(text)"),
    ("dimensions", False, "()"),
    ("is_compatible", False, "(other)"),
    ("units", False, "()"),
    ("unit_text", False, "()"),
    ("unit_latex", False, "()"),
    ("unit_descriptive", False, "()"),
    ("_repr_latex_", False, "()"),
    ("to_compact", False, "()"),
    ("as_preferred", False, "(units)"),
    ("__class_getitem__", True, "(units, /)"),
    ("__array_ufunc__", False, "(ufunc, method, /, *inputs, **kwargs)"),
    ("__array_function__", False, "(func, types, args, kwargs)"),
]

# The slot wrappers the thirteen slots produce; nothing else may be defined on the class.
SLOT_WRAPPERS = {
    "__str__", "__repr__", "__pos__", "__neg__", "__abs__", "__int__", "__float__",
    "__add__", "__radd__", "__sub__", "__rsub__", "__mul__", "__rmul__", "__truediv__", "__rtruediv__",
    "__pow__", "__rpow__", "__lt__", "__le__", "__eq__", "__ne__", "__gt__", "__ge__",
}


@pytest.fixture
def q():
    return Tarvel.unit("m") * 2


def test_all_lists_the_classes_in_order():
    assert tarvel.__all__ == ["Tarvel", "LogTarvel", "TarvelArray"]


def test_module_holds_only_the_classes_all_its_submodule_path_and_a_diagnostic():
    # Importing a submodule (tarvel.matplotlib in another test) binds it here; nothing else may appear.
    submodules = {name for name, value in vars(tarvel).items()
                  if isinstance(value, types.ModuleType) and value.__name__ == f"tarvel.{name}"}
    # Unit, Dim and checked are bound by the module's __getattr__ once asked for, from tarvel.annotations.
    lazy = {name for name in ("Unit", "Dim", "checked") if name in vars(tarvel)}
    assert all(vars(tarvel)[name] is getattr(sys.modules["tarvel.annotations"], name) for name in lazy)
    assert set(vars(tarvel)) - STANDARD_MODULE_ATTRIBUTES - submodules - lazy == {
        "Tarvel", "LogTarvel", "TarvelArray", "__all__", "__path__", "_search_budget_exhaustions", "__getattr__",
        "_numpy_registry"}
    assert isinstance(tarvel.__doc__, str) and tarvel.__doc__


def test_submodules_are_found_beside_the_extension():
    (folder,) = tarvel.__path__
    assert pathlib.Path(folder) == pathlib.Path(tarvel.__file__).parent / "_tarvel"
    assert (pathlib.Path(folder) / "_lazy.py").is_file()


def test_reimport_yields_the_same_class_objects():
    first = sys.modules.pop("tarvel")
    try:
        second = importlib.import_module("tarvel")
        assert second is not first
        assert second.Tarvel is first.Tarvel
        assert second.LogTarvel is first.LogTarvel
        assert second.__all__ == ["Tarvel", "LogTarvel", "TarvelArray"]
        # Instances made through either module are of the one class.
        assert type(second.Tarvel.unit("m")) is Tarvel
    finally:
        sys.modules["tarvel"] = first


def test_class_identity():
    assert Tarvel.__name__ == "Tarvel"
    assert Tarvel.__qualname__ == "Tarvel"
    assert Tarvel.__module__ == "tarvel"
    assert Tarvel.__doc__ == "Unit! yippee"
    assert Tarvel.__bases__ == (object,)


def test_class_dictionary_holds_exactly_the_methods_and_slots():
    names = set(vars(Tarvel))
    methods = {name for name, _, _ in METHODS + PROTOCOL_METHODS}
    assert names == methods | SLOT_WRAPPERS | {"__doc__", "__module__", "__hash__"}


def test_methods_are_registered_in_order():
    registered = [
        name
        for name, value in vars(Tarvel).items()
        if isinstance(value, (types.MethodDescriptorType, types.ClassMethodDescriptorType))
    ]
    assert registered == [name for name, _, _ in METHODS + PROTOCOL_METHODS]


@pytest.mark.parametrize("name, is_class_method, signature", METHODS + PROTOCOL_METHODS)
def test_method_signature_and_docstring(q, name, is_class_method, signature):
    descriptor = vars(Tarvel)[name]
    expected_kind = types.ClassMethodDescriptorType if is_class_method else types.MethodDescriptorType
    assert type(descriptor) is expected_kind
    first = "$cls" if is_class_method else "$self"
    parameters = signature[1:-1]
    assert descriptor.__text_signature__ == f"({first}, {parameters})" if parameters else f"({first})"
    bound = getattr(Tarvel if is_class_method else q, name)
    assert str(inspect.signature(bound)) == signature
    assert bound.__doc__ is None


def test_class_methods_work_on_an_instance(q):
    assert str(q.unit("km")) == "1 [km]"
    assert str(q.empty()) == "1 []"
    assert q.as_number() == 2.0


@pytest.mark.parametrize(
    "make",
    [
        lambda: Tarvel(),
        lambda: Tarvel("m"),
        lambda: Tarvel.__new__(Tarvel),
        lambda: object.__new__(Tarvel),
    ],
    ids=["call", "call-with-argument", "dunder-new", "object-new"],
)
def test_no_construction(make):
    # The host refuses before any instance memory exists (an instance without a record would crash).
    with pytest.raises(TypeError, match="Tarvel"):
        make()


def test_call_message():
    with pytest.raises(TypeError, match=r"^cannot create 'tarvel\.Tarvel' instances$"):
        Tarvel()


@pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy, lambda x: pickle.loads(pickle.dumps(x))])
def test_instances_are_copied_through_the_library(q, copier):
    duplicate = copier(q)
    assert type(duplicate) is Tarvel and duplicate is not q
    assert str(duplicate) == str(q)


@pytest.mark.parametrize(
    "make",
    [lambda: copyreg.__newobj__(Tarvel), lambda: copyreg._reconstructor(Tarvel, object, None)],
    ids=["newobj", "reconstructor"],
)
def test_instances_cannot_be_copied_behind_the_library(make):
    # The host's own reconstructors would make an instance without a record.
    with pytest.raises(TypeError):
        make()


def test_no_subclassing():
    with pytest.raises(TypeError, match=r"^type 'tarvel\.Tarvel' is not an acceptable base type$"):
        type("Sub", (Tarvel,), {})


@pytest.mark.parametrize("cls", [tarvel.Tarvel, tarvel.LogTarvel])
def test_classes_are_immutable(cls):
    # The class objects are shared by every import in the process; nobody may patch them.
    with pytest.raises(TypeError, match="immutable type"):
        cls.as_unit = None


def test_no_instance_dict_or_weak_references(q):
    assert not hasattr(q, "__dict__")
    with pytest.raises(AttributeError):
        q.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(q)


def test_unhashable(q):
    assert Tarvel.__hash__ is None
    with pytest.raises(TypeError, match=r"^unhashable type: 'tarvel\.Tarvel'$"):
        hash(q)
    with pytest.raises(TypeError):
        {q}
    with pytest.raises(TypeError):
        {q: 1}


@pytest.mark.parametrize(
    "make",
    [
        lambda: Tarvel.unit("m") * 0,
        lambda: Tarvel.empty() * 0,
        lambda: Tarvel.empty() * -0.0,
        lambda: Tarvel.empty() * float("nan"),
        lambda: Tarvel.unit("m") * 5,
    ],
)
def test_every_instance_is_true(make):
    assert bool(make()) is True


@pytest.mark.parametrize(
    "operation",
    [
        lambda a, b: a // b,
        lambda a, b: a % b,
        lambda a, b: divmod(a, b),
        lambda a, b: a @ b,
        lambda a, b: a << b,
        lambda a, b: a & b,
    ],
    ids=["floordiv", "mod", "divmod", "matmul", "lshift", "and"],
)
@pytest.mark.parametrize("left, right", [("q", "q"), ("q", 2), (2, "q")])
def test_unsupported_operators(q, operation, left, right):
    left = q if left == "q" else left
    right = q if right == "q" else right
    with pytest.raises(TypeError, match="unsupported operand type"):
        operation(left, right)


def test_no_index_or_container_protocols(q):
    with pytest.raises(TypeError):
        [1, 2][q]
    with pytest.raises(TypeError):
        len(q)
    with pytest.raises(TypeError):
        iter(q)
    with pytest.raises(TypeError):
        q[0]
    with pytest.raises(TypeError):
        ~q


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Tarvel.unit(), r"^unit\(\) missing required argument 'unit_name_or_symbol' \(pos 1\)$"),
        (lambda: Tarvel.unit("m", "s"), r"^unit\(\) takes exactly 1 positional argument \(2 given\)$"),
        (lambda: Tarvel.unit(name="m"), r"^'name' is an invalid keyword argument for unit\(\)$"),
        (lambda: Tarvel.custom("a", "b"), r"^custom\(\) missing required argument 'definition' \(pos 3\)$"),
        (lambda: Tarvel.empty(1), r"^empty\(\) takes no arguments \(1 given\)$"),
        (lambda: Tarvel.empty(x=1), r"^empty\(\) takes no keyword arguments$"),
        (
            lambda: Tarvel.unit("m").as_number(None, other=None),
            r"^argument for as_number\(\) given by name \('other'\) and position \(1\)$",
        ),
        (
            lambda: Tarvel.unit("m").as_number(None, False, 1),
            r"^as_number\(\) takes at most 2 positional arguments \(3 given\)$",
        ),
        (lambda: Tarvel.unit("m").round_sfig(), r"^round_sfig\(\) missing required argument 'n_sig_figs'"),
        (lambda: Tarvel.unit("m").latex(1), r"^latex\(\) takes no arguments \(1 given\)$"),
        (lambda: Tarvel.unit("m").__div__(), r"^__div__\(\) missing required argument 'other' \(pos 1\)$"),
    ],
)
def test_argument_parsing_messages(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize(
    "call",
    [
        lambda: Tarvel.unit(unit_name_or_symbol="km"),
        lambda: Tarvel.custom(definition="km", abbr="x", name="x").as_unit("km"),
        lambda: (Tarvel.unit("m") * 1000).as_unit(other="km"),
        lambda: Tarvel.unit("km").__div__(other=1),
        lambda: Tarvel.unit("km").__round__(ndigits=None),
        lambda: Tarvel.unit("km").round_sfig(n_sig_figs=3),
    ],
)
def test_keyword_arguments(call):
    assert str(call()) == "1 [km]"


def test_keyword_arguments_of_as_number():
    assert (Tarvel.unit("km") * 2).as_number(scale=True, other=Tarvel.unit("m") * 500) == 4.0


def test_instance_methods_require_an_instance():
    with pytest.raises(TypeError):
        Tarvel.as_unit(5, "m")
    with pytest.raises(TypeError):
        Tarvel.latex(tarvel.LogTarvel.unit("dB"))


def test_instances_hold_and_release_one_class_reference():
    before = sys.getrefcount(Tarvel)
    instances = [Tarvel.unit("m") * i for i in range(1000)]
    assert sys.getrefcount(Tarvel) == before + 1000
    del instances
    assert sys.getrefcount(Tarvel) == before
