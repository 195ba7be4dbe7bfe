// The class tarvel.Tarvel: a quantity record behind a Python object, its methods and its number,
// comparison and text slots.

#include <Python.h>

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "module/class_kit.hpp"
#include "module/search_lock.hpp"
#include "unit/custom_names.hpp"
#include "module/args.hpp"
#include "module/unit_reading.hpp"
#include "module/array_internal.hpp"
#include "module/tarvel_array.hpp"
#include "module/boundary.hpp"
#include "module/coerce.hpp"
#include "module/instance_memory.hpp"
#include "module/ecosystem.hpp"
#include "module/inspection.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"
#include "module/readable_methods.hpp"

namespace tarvel::py {

namespace {

// new_tarvel constructs the record after the object is initialised; nothing may throw in between.
static_assert(std::is_nothrow_move_constructible_v<Quantity>);

PyType_Spec& spec();
ClassObject the_class{spec};

inline bool is_instance(PyObject* object) noexcept { return the_class.is_instance(object); }

// A unit-like argument of a named method: its extraction error is raised with the argument note.
bool take_unit_like(PyObject* value, const char* parameter, QuantityOperand& out) {
    const Extraction extraction = extract_unit_coercible(value, out, false);
    if (extraction == Extraction::Ok) return true;
    if (extraction == Extraction::Failed) add_argument_note(parameter);
    return false;
}

// NumPy's boolean scalar type is "numpy.bool_" (NumPy 1) or "numpy.bool" (NumPy 2).
bool is_numpy_bool(PyObject* value) {
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(value)));
    PyRef module = name ? PyRef::steal(PyObject_GetAttrString(type, "__module__")) : PyRef();
    if (!name || !module) {
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
        return false;
    }
    return PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
           PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0;
}

// `scale` of as_number: a bool, or a NumPy bool read through its truth slot. Integers are refused.
bool take_scale(PyObject* value, bool& out) {
    if (PyBool_Check(value)) {
        out = value == Py_True;
        return true;
    }
    if (is_numpy_bool(value)) {
        PyNumberMethods* number = Py_TYPE(value)->tp_as_number;
        if (number && number->nb_bool) {
            const int truth = number->nb_bool(value);
            if (truth < 0) {
                add_argument_note("scale");
                return false;
            }
            out = truth != 0;
            return true;
        }
    }
    raise_wrong_type(value, "bool", "scale");
    return false;
}

// --- Class methods ---------------------------------------------------------------------------------

PyObject* method_unit(PyObject*, PyObject* argument) {
    std::string_view text;
    if (!extract_lookup_text(argument, "unit_name_or_symbol", "Unit ", " not found", text)) {
        return nullptr;
    }
    return tarvel_or_raise(quantity_from_unit_text(text));
}

PyObject* method_constant(PyObject*, PyObject* argument) {
    std::string_view name;
    if (!extract_lookup_text(argument, "constant_name", "Constant ", " not found", name)) {
        return nullptr;
    }
    return tarvel_or_raise(quantity_from_constant(name));
}

PyObject* method_empty(PyObject*) {
    return new_tarvel(unitless_quantity(1.0));
}

PyObject* method_custom(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<3> parameters{"custom", {"name", "abbr", "definition"}, 3};
        std::array<PyObject*, 3> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        std::string_view name;
        std::string_view abbr;
        if (!extract_text(arguments[0], "name", name)) return nullptr;
        if (!extract_text(arguments[1], "abbr", abbr)) return nullptr;
        if (Result<void> names = check_custom_unit_names(name, abbr); !names) return raise_error(names.error());
        QuantityOperand definition;
        if (!take_unit_like(arguments[2], "definition", definition)) return nullptr;
        return new_tarvel(custom_quantity(std::string(name), std::string(abbr), definition.get()));
    });
}

// --- Conversion ------------------------------------------------------------------------------------

PyObject* method_as_unit(PyObject* self, PyObject* argument) {
    QuantityOperand other;
    if (!take_unit_like(argument, "other", other)) return nullptr;
    return with_shared<TarvelObject>(self, [&](const Quantity& q) -> PyObject* {
        return tarvel_or_raise(as_unit_internal(q, other.get().units));
    });
}

PyObject* method_as_number(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<2> parameters{"as_number", {"other", "scale"}, 0};
        std::array<PyObject*, 2> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        // `other` is checked before `scale`, but a Tarvel `other` is taken (and held) only after the scale's
        // truth, which may run Python code, has been read.
        const bool has_other = arguments[0] != nullptr && arguments[0] != Py_None;
        const bool other_is_tarvel = has_other && is_instance(arguments[0]);
        QuantityOperand other;
        if (has_other && !other_is_tarvel && !take_unit_like(arguments[0], "other", other)) return nullptr;
        bool scale = false;
        if (arguments[1] != nullptr && !take_scale(arguments[1], scale)) return nullptr;
        if (other_is_tarvel && !take_unit_like(arguments[0], "other", other)) return nullptr;
        return with_shared<TarvelObject>(self, [&](const Quantity& q) -> PyObject* {
            if (!has_other) return PyFloat_FromDouble(q.value);
            const Quantity& target = other.get();
            Result<Quantity> converted = as_unit_internal(q, target.units);
            if (!converted) return raise_error(converted.error());
            return PyFloat_FromDouble(scale ? converted->value / target.value : converted->value);
        });
    });
}

PyObject* method_as_unitless(PyObject* self) {
    return with_shared<TarvelObject>(
        self, [](const Quantity& q) { return float_or_raise(as_unitless(q)); });
}

PyObject* method_sizeof(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) {
        return PyLong_FromSize_t(sizeof(TarvelObject) + q.units.owned_bytes());
    });
}

PyObject* method_as_base_units(PyObject* self) {
    return with_shared<TarvelObject>(
        self, [](const Quantity& q) { return tarvel_or_raise(as_base_units(q)); });
}

// Arguments are converted before access to the instance is taken: their conversion may run Python code
// (a thread switch, or code that uses the instance), and none runs while access is held.
PyObject* method_round_sfig(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        int n_sig_figs = 0;
        if (!parse_n_sig_figs(args, nargsf, kwnames, n_sig_figs)) return nullptr;
        return with_exclusive<TarvelObject>(self, [&](Quantity& q) -> PyObject* {
            return tarvel_or_raise(round_sfig_in_place(q, n_sig_figs));
        });
    });
}

PyObject* method_simplify(PyObject* self) {
    std::optional<Quantity> snapshot;
    {
        SharedAccess access(as_tarvel(self)->access);
        if (!access) return raise_already_mutably_borrowed();
        const Quantity& q = as_tarvel(self)->quantity;
        if (!may_search_long(q)) return tarvel_or_raise(simplified(q));
        snapshot = q;
    }
    // A long search runs on the snapshot, with the lock released and the instance free.
    const SearchPauseScope scope(interpreter_pause_hooks());
    Result<Quantity> result = simplified(*snapshot);
    return tarvel_or_raise(std::move(result));
}

PyObject* method_simplify_inplace(PyObject* self) {
    TarvelObject* object = as_tarvel(self);
    std::optional<Quantity> before;
    {
        ExclusiveAccess access(object->access);
        if (!access) return raise_already_borrowed();
        if (!may_search_long(object->quantity)) {
            Result<void> result = simplify_in_place(object->quantity);
            if (!result) return raise_error(result.error());
            Py_RETURN_NONE;
        }
        before = object->quantity;
    }
    // A long search runs on a copy, with the lock released and the instance free; the result is
    // stored with access taken again.
    Quantity work = *before;
    Result<void> result = [&] {
        const SearchPauseScope scope(interpreter_pause_hooks());
        return simplify_in_place(work);
    }();
    if (!result) return raise_error(result.error());
    ExclusiveAccess access(object->access);
    if (!access) return raise_already_borrowed();
    if (same_quantity(object->quantity, *before)) {
        object->quantity = std::move(work);
    } else {
        // Another thread changed the quantity meanwhile: what it holds now is simplified.
        Result<void> again = simplify_in_place(object->quantity);
        if (!again) return raise_error(again.error());
    }
    Py_RETURN_NONE;
}

// __div__ and __rdiv__: the named forms of / that raise a bad argument instead of answering NotImplemented.
template <Result<Quantity> (*Operation)(const Quantity&, const Quantity&)>
PyObject* named_division(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                         PyObject* kwnames) {
    const Parameters<1> parameters{name, {"other"}, 1};
    std::array<PyObject*, 1> arguments{};
    if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
    QuantityOperand other;
    if (!take_unit_like(arguments[0], "other", other)) return nullptr;
    return with_shared<TarvelObject>(self,
                       [&](const Quantity& q) -> PyObject* { return tarvel_or_raise(Operation(q, other.get())); });
}

PyObject* method_div(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&] { return named_division<divide>("__div__", self, args, nargsf, kwnames); });
}

PyObject* method_rdiv(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED,
                   [&] { return named_division<divide_into>("__rdiv__", self, args, nargsf, kwnames); });
}

PyObject* method_round(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        std::optional<std::int32_t> ndigits;
        if (!parse_ndigits("__round__", args, nargsf, kwnames, ndigits)) return nullptr;
        return with_exclusive<TarvelObject>(self, [&](Quantity& q) -> PyObject* {
            return tarvel_or_raise(round_in_place(q, ndigits));
        });
    });
}

// --- exp / log ---------------------------------------------------------------------------------------

template <Result<double> (*Function)(const Quantity&)>
PyObject* plain_function(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return float_or_raise(Function(q)); });
}

// --- Text ----------------------------------------------------------------------------------------------

PyObject* method_descriptive(PyObject* self) {
    return with_exclusive<TarvelObject>(
        self, [](Quantity& q) { return str_or_raise(descriptive_in_place(q)); });
}

PyObject* method_latex(PyObject* self) {
    return with_exclusive<TarvelObject>(
        self, [](Quantity& q) { return str_or_raise(latex_in_place(q)); });
}

PyObject* slot_str(PyObject* self) {
    return guarded(FAILED, [&]() -> PyObject* {
        TarvelObject* object = as_tarvel(self);
        std::optional<Quantity> before;
        {
            ExclusiveAccess access(object->access);
            if (!access) return raise_already_borrowed();
            if (!may_search_long(object->quantity)) return str_or_raise(display_in_place(object->quantity));
            before = object->quantity;
        }
        // A long search runs on a copy, with the lock released and the instance free. The copy's quick
        // simplification is kept, as display_in_place keeps it, unless another thread changed the
        // quantity meanwhile.
        Quantity work = *before;
        Result<std::string> text = [&] {
            const SearchPauseScope scope(interpreter_pause_hooks());
            return display_in_place(work);
        }();
        if (text) {
            ExclusiveAccess access(object->access);
            if (access && same_quantity(object->quantity, *before)) object->quantity = std::move(work);
        }
        return str_or_raise(text);
    });
}

// --- Number slots ---------------------------------------------------------------------------------------

PyObject* slot_positive(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return tarvel_or_raise(positive(q)); });
}

PyObject* slot_negative(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return tarvel_or_raise(negate(q)); });
}

PyObject* slot_absolute(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return new_tarvel(absolute(q)); });
}

PyObject* slot_int(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return to_py_int(q.value); });
}

PyObject* slot_float(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return PyFloat_FromDouble(q.value); });
}

using BinaryOperation = Result<Quantity> (*)(const Quantity&, const Quantity&);

// One attempt of a binary slot with `instance` as s: the other operand must be unit-like and the
// instance readable, else the attempt does not apply (false, no exception set).
// The operand is converted first: no Python code runs once access to the instance is held. An operand
// whose conversion raised something other than TypeError ends the call with that exception (result
// nullptr, true).
template <BinaryOperation Operation>
bool try_binary(PyObject* instance, PyObject* other, PyObject*& result) {
    QuantityOperand operand;
    const Extraction extraction = extract_unit_coercible(other, operand, true);
    if (extraction == Extraction::Raised) {
        result = nullptr;
        return true;
    }
    if (extraction != Extraction::Ok) return false;
    TarvelObject* object = as_tarvel(instance);
    SharedAccess access(object->access);
    if (!access) return false;
    result = tarvel_or_raise(Operation(object->quantity, operand.get()));
    return true;
}

// An operand of neither of the plain number types nor a Tarvel that is an array: the operation is an
// array one (an ndarray converts with float() and must not be taken as a scalar).
inline bool array_operation(PyObject* operand) {
    return !PyFloat_CheckExact(operand) && !PyLong_CheckExact(operand) && !is_instance(operand) &&
           !PyUnicode_CheckExact(operand) && is_array_like(operand);
}

// Forward with the left operand as s, else reflected with the right one, else NotImplemented.
template <BinaryOperation Forward, BinaryOperation Reflected, ArrayBinary ArrayForward = ArrayBinary::Add,
          ArrayBinary ArrayReflected = ArrayBinary::Add>
PyObject* dispatch_binary(PyObject* left, PyObject* right) {
    if (array_operation(left) || array_operation(right)) {
        return array_binary_slot(ArrayForward, ArrayReflected, left, right);
    }
    PyObject* result = nullptr;
    if (is_instance(left) && try_binary<Forward>(left, right, result)) return result;
    if (is_instance(right) && try_binary<Reflected>(right, left, result)) return result;
    Py_RETURN_NOTIMPLEMENTED;
}

template <BinaryOperation Forward, BinaryOperation Reflected, ArrayBinary ArrayForward, ArrayBinary ArrayReflected>
PyObject* binary_slot(PyObject* left, PyObject* right) {
    return guarded(FAILED,
                   [&] { return dispatch_binary<Forward, Reflected, ArrayForward, ArrayReflected>(left, right); });
}

PyObject* slot_add(PyObject* left, PyObject* right) {
    return binary_slot<add, add, ArrayBinary::Add, ArrayBinary::Add>(left, right);
}
PyObject* slot_subtract(PyObject* left, PyObject* right) {
    return binary_slot<subtract, subtract_from, ArrayBinary::Subtract, ArrayBinary::SubtractFrom>(left, right);
}
PyObject* slot_multiply(PyObject* left, PyObject* right) {
    return binary_slot<multiply, multiply, ArrayBinary::Multiply, ArrayBinary::Multiply>(left, right);
}
PyObject* slot_true_divide(PyObject* left, PyObject* right) {
    return binary_slot<divide, divide_into, ArrayBinary::Divide, ArrayBinary::DivideInto>(left, right);
}

// The modulus of pow() must be a number when given; its value is not used.
PyObject* slot_power(PyObject* left, PyObject* right, PyObject* modulus) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (modulus != Py_None) {
            LogOperand ignored{};
            const Extraction extraction = extract_py_number(modulus, ignored, true);
            if (extraction == Extraction::Raised) return nullptr;
            if (extraction != Extraction::Ok) Py_RETURN_NOTIMPLEMENTED;
        }
        return dispatch_binary<power, power_of, ArrayBinary::Power, ArrayBinary::PowerOf>(left, right);
    });
}

PyObject* slot_richcompare(PyObject* self, PyObject* other, int op) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (!is_instance(self)) Py_RETURN_NOTIMPLEMENTED;
        const std::optional<CompareOp> compare = compare_op(op);
        if (!compare) return raise_panic("unknown comparison operator");
        // Against an array the Tarvel stays s, as in the comparison of each element.
        if (array_operation(other)) return array_richcompare(self, other, op);
        QuantityOperand operand;
        const Extraction extraction = extract_unit_coercible(other, operand, true);
        if (extraction == Extraction::Raised) return nullptr;
        if (extraction != Extraction::Ok) Py_RETURN_NOTIMPLEMENTED;
        return with_shared<TarvelObject>(self, [&](const Quantity& q) -> PyObject* {
            Result<bool> result = tarvel::compare(q, operand.get(), *compare);
            if (!result) return raise_error(result.error());
            return PyBool_FromLong(*result ? 1 : 0);
        });
    });
}

void slot_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_tarvel(self)->quantity);
    InstanceMemory<TarvelObject>::release(self);
    Py_DECREF(type);
}

// --- Registration -----------------------------------------------------------------------------------------

PyType_Spec& spec() {
    static PyMethodDef methods[] = {
        {"unit", as_method(one_argument<"unit", "unit_name_or_symbol", true, method_unit>), CLASS, "unit($cls, unit_name_or_symbol)\n--\n\n"},
        {"constant", as_method(one_argument<"constant", "constant_name", true, method_constant>), CLASS, "constant($cls, constant_name)\n--\n\n"},
        {"empty", as_method(no_arguments<"empty", method_empty>), CLASS, "empty($cls)\n--\n\n"},
        {"custom", as_method(method_custom), CLASS, "custom($cls, name, abbr, definition)\n--\n\n"},
        {"as_unit", as_method(one_argument<"as_unit", "other", true, method_as_unit>), INSTANCE, "as_unit($self, other)\n--\n\n"},
        {"as_number", as_method(method_as_number), INSTANCE,
         "as_number($self, other=None, scale=False)\n--\n\n"},
        {"as_unitless", as_method(no_arguments<"as_unitless", method_as_unitless>), INSTANCE, "as_unitless($self)\n--\n\n"},
        {"as_base_units", as_method(no_arguments<"as_base_units", method_as_base_units>), INSTANCE, "as_base_units($self)\n--\n\n"},
        {"__sizeof__", as_method(no_arguments<"__sizeof__", method_sizeof>), INSTANCE,
         "__sizeof__($self)\n--\n\n"},
        {"round_sfig", as_method(method_round_sfig), INSTANCE, "round_sfig($self, n_sig_figs)\n--\n\n"},
        {"simplify", as_method(no_arguments<"simplify", method_simplify>), INSTANCE, "simplify($self)\n--\n\n"},
        {"simplify_inplace", as_method(no_arguments<"simplify_inplace", method_simplify_inplace>), INSTANCE, "simplify_inplace($self)\n--\n\n"},
        {"__div__", as_method(method_div), INSTANCE, "__div__($self, other)\n--\n\n"},
        {"__rdiv__", as_method(method_rdiv), INSTANCE, "__rdiv__($self, other)\n--\n\n"},
        {"__round__", as_method(method_round), INSTANCE, "__round__($self, ndigits=None)\n--\n\n"},
        {"__exp__", as_method(no_arguments<"__exp__", plain_function<quantity_exp>>), INSTANCE, "__exp__($self)\n--\n\n"},
        {"exp", as_method(no_arguments<"exp", plain_function<quantity_exp>>), INSTANCE, "exp($self)\n--\n\n"},
        {"__log__", as_method(no_arguments<"__log__", plain_function<quantity_log>>), INSTANCE, "__log__($self)\n--\n\n"},
        {"log", as_method(no_arguments<"log", plain_function<quantity_log>>), INSTANCE, "log($self)\n--\n\n"},
        {"__log10__", as_method(no_arguments<"__log10__", plain_function<quantity_log10>>), INSTANCE, "__log10__($self)\n--\n\n"},
        {"log10", as_method(no_arguments<"log10", plain_function<quantity_log10>>), INSTANCE, "log10($self)\n--\n\n"},
        {"descriptive", as_method(no_arguments<"descriptive", method_descriptive>), INSTANCE, "descriptive($self)\n--\n\n"},
        {"latex", as_method(no_arguments<"latex", method_latex>), INSTANCE, "latex($self)\n--\n\n"},
        // Python protocols beyond the class's own methods: format(), copy and pickle.
        {"__format__", as_method(tarvel_format), INSTANCE, "__format__($self, format_spec)\n--\n\n"},
        {"__copy__", as_method(copy_method<TarvelObject>), INSTANCE, "__copy__($self)\n--\n\n"},
        {"__deepcopy__", as_method(deepcopy_method<TarvelObject>), INSTANCE, "__deepcopy__($self, memo)\n--\n\n"},
        {"__reduce__", as_method(reduce_method<TarvelObject>), INSTANCE, "__reduce__($self)\n--\n\n"},
        {"_from_state", as_method(from_state_method<TarvelObject>), CLASS, "_from_state($cls, state)\n--\n\n"},
        {"__get_pydantic_core_schema__", as_method(pydantic_core_schema), CLASS,
         "__get_pydantic_core_schema__($cls, source, handler)\n--\n\n"},
        // Reading from text, introspection and the notebook display (inspection.cpp).
        {"parse", as_method(tarvel_parse), CLASS, "parse($cls, text, vocabulary=None)\n--\n\n"},
        {"parse_unit", as_method(tarvel_parse_unit), CLASS, "parse_unit($cls, text, vocabulary=None)\n--\n\n"},
        {"cf_unit_text", as_method(no_arguments<"cf_unit_text", tarvel_cf_unit_text>), INSTANCE, "cf_unit_text($self)\n--\n\n"},
        {"dimensions", as_method(no_arguments<"dimensions", tarvel_dimensions>), INSTANCE, "dimensions($self)\n--\n\n"},
        {"is_compatible", as_method(one_argument<"is_compatible", "other", true, tarvel_is_compatible>), INSTANCE, "is_compatible($self, other)\n--\n\n"},
        {"units", as_method(no_arguments<"units", tarvel_units>), INSTANCE, "units($self)\n--\n\n"},
        {"unit_text", as_method(no_arguments<"unit_text", tarvel_unit_text>), INSTANCE, "unit_text($self)\n--\n\n"},
        {"unit_latex", as_method(no_arguments<"unit_latex", tarvel_unit_latex>), INSTANCE, "unit_latex($self)\n--\n\n"},
        {"unit_descriptive", as_method(no_arguments<"unit_descriptive", tarvel_unit_descriptive>), INSTANCE, "unit_descriptive($self)\n--\n\n"},
        {"_repr_latex_", as_method(no_arguments<"_repr_latex_", tarvel_repr_latex>), INSTANCE, "_repr_latex_($self)\n--\n\n"},
        // Readable results and unit annotations (readable_methods.cpp).
        {"to_compact", as_method(no_arguments<"to_compact", tarvel_to_compact>), INSTANCE, "to_compact($self)\n--\n\n"},
        {"as_preferred", as_method(one_argument<"as_preferred", "units", true, tarvel_as_preferred>), INSTANCE, "as_preferred($self, units)\n--\n\n"},
        {"__class_getitem__", class_getitem, METH_O | METH_CLASS, "__class_getitem__($cls, units, /)\n--\n\n"},
        {"__array_ufunc__", as_method(quantity_array_ufunc),
         METH_VARARGS | METH_KEYWORDS, "__array_ufunc__($self, ufunc, method, /, *inputs, **kwargs)\n--\n\n"},
        {"__array_function__", as_method(tarvel_array_function), INSTANCE,
         "__array_function__($self, func, types, args, kwargs)\n--\n\n"},
        {nullptr, nullptr, 0, nullptr},
    };
    static PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>("Unit! yippee")},
        {Py_tp_dealloc, as_slot(slot_dealloc)},
        {Py_tp_methods, methods},
        {Py_tp_str, as_slot(slot_str)},
        {Py_tp_repr, as_slot(slot_str)},
        {Py_nb_positive, as_slot(slot_positive)},
        {Py_nb_negative, as_slot(slot_negative)},
        {Py_nb_absolute, as_slot(slot_absolute)},
        {Py_nb_int, as_slot(slot_int)},
        {Py_nb_float, as_slot(slot_float)},
        {Py_nb_add, as_slot(slot_add)},
        {Py_nb_subtract, as_slot(slot_subtract)},
        {Py_nb_multiply, as_slot(slot_multiply)},
        {Py_nb_true_divide, as_slot(slot_true_divide)},
        {Py_nb_power, as_slot(slot_power)},
        {Py_tp_richcompare, as_slot(slot_richcompare)},
        {0, nullptr},
    };
    // No base-type flag (no subclasses), no constructor, no GC (an instance refers to no Python object).
    // Rich comparison without a hash makes instances unhashable.
    static PyType_Spec type_spec = class_spec<TarvelObject>(
        "tarvel.Tarvel", Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, slots);
    return type_spec;
}

}  // namespace

PyTypeObject* tarvel_type() { return the_class.get(); }

PyObject* new_tarvel(Quantity&& quantity) {
    PyTypeObject* type = tarvel_type();
    if (!type) return nullptr;
    auto* object = static_cast<TarvelObject*>(InstanceMemory<TarvelObject>::allocate());
    if (!object) return PyErr_NoMemory();
    // Takes a reference to the (heap) type, returned by slot_dealloc.
    PyObject_Init(reinterpret_cast<PyObject*>(object), type);
    new (&object->access) AccessFlag{};
    new (&object->quantity) Quantity(std::move(quantity));
    return reinterpret_cast<PyObject*>(object);
}

}  // namespace tarvel::py
