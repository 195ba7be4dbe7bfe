"""The mypy plugin: ``plugins = tarvel.mypy``. Quantities whose units are known get precise types.

``Tarvel["km/hr"]`` is analysed as ``Tarvel[Literal["m/s"]]``: the type argument is the quantity's
dimensions written in base units, so quantities of the same dimensions in any units have the same type
(converting between them is the run-time decorator's job). Arithmetic between quantities of known
dimensions gives the dimensions of the result, computed by tarvel itself on sample quantities; an
operation tarvel refuses (``m + s``) is reported with tarvel's own message. Whatever is not known
(a unit held in a variable, a power that is not a literal) is plain ``Tarvel`` (``Tarvel[Any]``), which is
compatible with every annotation: the plugin never reports what it cannot prove.
"""

from collections.abc import Callable
from typing import Any

from mypy.errorcodes import ErrorCode
from mypy.nodes import ARG_POS, AssignmentStmt, Block, Decorator, FuncDef, MypyFile, OverloadedFuncDef, Statement
from mypy.plugin import AnalyzeTypeContext, MethodContext, Plugin
from mypy.types import (
    AnyType,
    Instance,
    LiteralType,
    ProperType,
    RawExpressionType,
    Type,
    TypeOfAny,
    CallableType,
    UnboundType,
    UnionType,
    get_proper_type,
)

try:
    import tarvel as _tarvel
except ImportError:  # mypy run by an interpreter without tarvel: every quantity is plain Tarvel
    _tarvel = None  # type: ignore[assignment]

__all__ = ["plugin"]

UNITS = ErrorCode("units", "Operation on quantities of incompatible units", "tarvel")

CLASSES = ("tarvel.Tarvel", "tarvel.TarvelArray")
# Operators whose result's dimensions tarvel computes from its operands': name -> how, on samples.
BINARY: dict[str, Callable[[Any, Any], Any]] = {
    "__add__": lambda a, b: a + b,
    "__radd__": lambda a, b: b + a,
    "__sub__": lambda a, b: a - b,
    "__rsub__": lambda a, b: b - a,
    "__mul__": lambda a, b: a * b,
    "__rmul__": lambda a, b: b * a,
    "__truediv__": lambda a, b: a / b,
    "__rtruediv__": lambda a, b: b / a,
    "__pow__": lambda a, b: a**b,
    "__lt__": lambda a, b: a < b,
    "__le__": lambda a, b: a <= b,
    "__gt__": lambda a, b: a > b,
    "__ge__": lambda a, b: a >= b,
    "as_unit": lambda a, b: a.as_unit(b),
}
UNARY = ("__neg__", "__pos__", "__abs__", "to_compact", "simplify", "as_base_units", "copy")
# Class methods that make a quantity from unit text.
CONSTRUCTORS = {"tarvel.Tarvel.unit": "unit", "tarvel.Tarvel.parse": "parse", "tarvel.Tarvel.constant": "constant"}


def dimension_key(quantity: Any) -> str:
    """The type argument for a quantity's dimensions: its base units as text ("kg.m2/s2"), "1" for none."""
    text = quantity.as_base_units().unit_text().strip("[]")
    return text or "1"


def sample(key: str) -> Any:
    """A quantity of the dimensions a type argument stands for."""
    return _tarvel.Tarvel.empty() if key == "1" else _tarvel.Tarvel.unit(key)


def unit_text_of(argument: Type) -> str | None:
    """The unit text written in ``Tarvel[...]``: "m" (read as a name), "m/s" (an expression), or a Literal."""
    if isinstance(argument, RawExpressionType) and isinstance(argument.literal_value, str):
        return argument.literal_value
    if isinstance(argument, UnboundType) and argument.original_str_expr is not None:
        return argument.original_str_expr
    return None


def key_of(value: Type, any_number: bool = True) -> Any:
    """What an operand stands for on a sample: a quantity's key, a literal's value, a plain number (when
    its value does not matter, `any_number`); None when not known."""
    proper = get_proper_type(value)
    if isinstance(proper, LiteralType):
        return proper.value
    if not isinstance(proper, Instance):
        return None
    if proper.type.fullname in CLASSES:
        argument = get_proper_type(proper.args[0]) if proper.args else None
        if isinstance(argument, LiteralType) and isinstance(argument.value, str):
            return sample(argument.value)
        return None
    if proper.last_known_value is not None:
        return proper.last_known_value.value
    if any_number and proper.type.fullname in ("builtins.float", "builtins.int"):
        # A number's value does not change the units of a product, a quotient or a sum.
        return 1.0
    return None


# How the classes may be written in an annotation (the last part of a dotted name).
WRITTEN_NAMES = ("Tarvel", "TarvelArray")


def _as_text_argument(t: Type) -> None:
    """Turns the unit text of Tarvel["m"] in `t` (read by the parser as a name, m) into text, in place.

    Before mypy analyses a function's annotations it looks for type variables in them, and would report
    the name m as undefined; text is not looked up.
    """
    if isinstance(t, UnboundType):
        if t.name.rpartition(".")[2] in WRITTEN_NAMES and t.args:
            t.args = tuple(
                RawExpressionType(a.original_str_expr, "builtins.str", a.line, a.column)
                if isinstance(a, UnboundType) and a.original_str_expr is not None and not a.args
                else a
                for a in t.args
            )
        for argument in t.args:
            _as_text_argument(argument)
    elif isinstance(t, UnionType):
        for item in t.items:
            _as_text_argument(item)
    elif isinstance(t, CallableType):
        for argument in t.arg_types:
            _as_text_argument(argument)
        _as_text_argument(t.ret_type)


# Where statements hold further statements (bodies of functions, classes, if, for, with, try, ...).
_NESTED = ("body", "else_body", "finally_body", "handlers", "items", "func", "defs")


def _rewrite_annotations(node: Any) -> None:
    """_as_text_argument on every annotation of functions and variables under `node`."""
    if isinstance(node, list):
        for item in node:
            _rewrite_annotations(item)
        return
    if isinstance(node, FuncDef):
        for t in (node.type, node.unanalyzed_type):
            if t is not None:
                _as_text_argument(t)
    elif isinstance(node, AssignmentStmt) and node.type is not None:
        _as_text_argument(node.type)
    for name in _NESTED:
        inner = getattr(node, name, None)
        if isinstance(inner, (list, Block, FuncDef, Decorator, OverloadedFuncDef)) or (
            isinstance(inner, Statement)
        ):
            _rewrite_annotations(inner)


class TarvelPlugin(Plugin):
    def get_additional_deps(self, file: MypyFile) -> list[tuple[int, str, int]]:
        # Called once a file is parsed and before it is analysed: the one moment to adjust annotations.
        if _tarvel is not None:
            _rewrite_annotations(file.defs)
        return []

    def get_type_analyze_hook(self, fullname: str) -> Callable[[AnalyzeTypeContext], Type] | None:
        if _tarvel is not None and fullname in CLASSES:
            return lambda ctx: analyze_subscript(ctx, fullname)
        return None

    def get_method_hook(self, fullname: str) -> Callable[[MethodContext], Type] | None:
        if _tarvel is None:
            return None
        if fullname in CONSTRUCTORS:
            return constructor(CONSTRUCTORS[fullname])
        owner, _, name = fullname.rpartition(".")
        if owner not in CLASSES:
            return None
        if name in BINARY:
            # A power's value matters: a number that is not a literal leaves the result unknown.
            return lambda ctx: binary(ctx, BINARY[name], any_number=name != "__pow__")
        if name in UNARY:
            return unary
        return None


def analyze_subscript(ctx: AnalyzeTypeContext, fullname: str) -> Type:
    api = ctx.api
    plain = api.named_type(fullname, [AnyType(TypeOfAny.special_form)])
    if not ctx.type.args:
        return plain
    if len(ctx.type.args) != 1:
        api.fail(f'"{fullname.rpartition(".")[2]}" takes one unit text, such as {fullname.rpartition(".")[2]}["m/s"]', ctx.context)
        return plain
    argument = ctx.type.args[0]
    text = unit_text_of(argument)
    if text is None:
        analysed = get_proper_type(api.analyze_type(argument))
        if isinstance(analysed, LiteralType) and isinstance(analysed.value, str):
            text = analysed.value
        else:
            # A type variable or Any: dimensions not known.
            return plain
    try:
        key = dimension_key(_tarvel.Tarvel.unit(text))
    except (LookupError, TypeError, ValueError) as error:
        api.fail(str(error), ctx.context, code=UNITS)
        return plain
    return api.named_type(fullname, [LiteralType(key, fallback=api.named_type("builtins.str", []))])


def _result(ctx: MethodContext, outcome: Any) -> Type:
    default = get_proper_type(ctx.default_return_type)
    if not isinstance(default, Instance) or default.type.fullname not in CLASSES:
        return ctx.default_return_type
    if not (isinstance(outcome, (_tarvel.Tarvel, _tarvel.TarvelArray))):
        return ctx.default_return_type
    key = dimension_key(outcome)
    fallback = ctx.api.named_generic_type("builtins.str", [])
    return default.copy_modified(args=[LiteralType(key, fallback=fallback)])


def binary(ctx: MethodContext, operation: Callable[[Any, Any], Any], any_number: bool) -> Type:
    left = key_of(ctx.type)
    if left is None or not ctx.arg_types or len(ctx.arg_types[0]) != 1 or ctx.arg_kinds[0][0] != ARG_POS:
        return ctx.default_return_type
    right = key_of(ctx.arg_types[0][0], any_number)
    if right is None:
        return ctx.default_return_type
    try:
        outcome = operation(left, right)
    except TypeError as error:
        ctx.api.fail(str(error), ctx.context, code=UNITS)
        return ctx.default_return_type
    except Exception:
        # Anything else (a literal that is no unit, a power tarvel refuses) is left to run time.
        return ctx.default_return_type
    return _result(ctx, outcome)


def unary(ctx: MethodContext) -> Type:
    operand = key_of(ctx.type)
    if operand is None:
        return ctx.default_return_type
    return _result(ctx, operand)


def constructor(name: str) -> Callable[[MethodContext], Type]:
    """Tarvel.unit("km"), Tarvel.parse("3 km"), Tarvel.constant("speed of light") with literal text."""

    def construct(ctx: MethodContext) -> Type:
        if not ctx.arg_types or len(ctx.arg_types[0]) != 1:
            return ctx.default_return_type
        text = key_of(ctx.arg_types[0][0])
        if not isinstance(text, str):
            return ctx.default_return_type
        try:
            outcome = getattr(_tarvel.Tarvel, name)(text)
        except (LookupError, TypeError, ValueError) as error:
            ctx.api.fail(str(error), ctx.context, code=UNITS)
            return ctx.default_return_type
        return _result(ctx, outcome)

    return construct


def plugin(version: str) -> type[Plugin]:
    return TarvelPlugin
