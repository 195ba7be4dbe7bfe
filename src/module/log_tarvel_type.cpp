// The LogTarvel class: a number on a logarithmic ratio scale, as Python sees it.
//
// Records never change after creation, so every method reads the instance under shared access;
// round_sfig alone asks for exclusive access (it is declared as changing the instance, like its Tarvel
// counterpart) without touching the record.

#include <Python.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <string_view>

#include "module/class_kit.hpp"
#include "module/coerce.hpp"
#include "module/ecosystem.hpp"
#include "module/inspection.hpp"
#include "module/objects.hpp"
#include "quantity/log_quantity.hpp"

namespace tarvel::py {
namespace {

PyType_Spec& spec();
ClassObject the_class{spec};

bool is_instance(PyObject* object) noexcept { return the_class.is_instance(object); }

const LogQuantity& record_of(PyObject* self) noexcept { return as_log_tarvel(self)->log; }
AccessFlag& access_of(PyObject* self) noexcept { return as_log_tarvel(self)->access; }

PyObject* result_object(const LogResult& result) {
    if (result.log) return new_log_tarvel(*result.log);
    return to_py_float(result.number);
}

// --- Deallocation ----------------------------------------------------------------------------------

void log_tarvel_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    LogTarvelObject* object = as_log_tarvel(self);
    object->log.~LogQuantity();
    object->access.~AccessFlag();
    type->tp_free(self);
    Py_DECREF(type);
}

// --- Methods ----------------------------------------------------------------------------------------

PyObject* method_unit(PyObject* /*cls*/, PyObject* argument) {
    std::string_view text;
    if (!extract_lookup_text(argument, "unit_name_or_symbol", "Logarithmic ratio unit ", " not found", text)) {
        return nullptr;
    }
    Result<LogQuantity> log = log_quantity_from_unit_text(text);
    if (!log) return raise_error(log.error());
    return new_log_tarvel(*log);
}

// The scale of a LogTarvel argument; the wrong-type TypeError (with the note) for anything else.
const LogUnit* scale_argument(PyObject* value) {
    if (!is_instance(value)) {
        raise_wrong_type(value, "LogTarvel", "other");
        return nullptr;
    }
    SharedAccess access(access_of(value));
    if (!access) {
        raise_already_mutably_borrowed();
        add_argument_note("other");
        return nullptr;
    }
    return record_of(value).scale;  // a row of a static table: valid after the access ends
}

PyObject* method_as_unit(PyObject* self, PyObject* other) {
    return with_shared<LogTarvelObject>(self, [&](const LogQuantity& log) -> PyObject* {
        const LogUnit* scale = scale_argument(other);
        if (!scale) return nullptr;
        return new_log_tarvel(log_as_unit(log, *scale));
    });
}

PyObject* method_as_number(PyObject* self, PyObject* other) {
    return with_shared<LogTarvelObject>(self, [&](const LogQuantity& log) -> PyObject* {
        if (!other || other == Py_None) return to_py_float(log.power);
        const LogUnit* scale = scale_argument(other);
        if (!scale) return nullptr;
        return to_py_float(in_scale(log, *scale));
    });
}

PyObject* method_as_unitless(PyObject* self) {
    return with_shared<LogTarvelObject>(self, [](const LogQuantity& log) { return to_py_float(log.ratio()); });
}

PyObject* method_round_sfig(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        // Converted before access is taken: no Python code runs while it is held.
        int n_sig_figs = 0;
        if (!parse_n_sig_figs(args, nargsf, kwnames, n_sig_figs)) return nullptr;
        return with_exclusive<LogTarvelObject>(
            self, [&](const LogQuantity& log) { return to_py_float(log_round_sfig(log, n_sig_figs)); });
    });
}

using LogBinary = LogResult (*)(const LogQuantity&, const LogOperand&);

// __div__ / __rdiv__: the division of the operator, but a bad argument is raised, not declined.
template <LogBinary Operation>
PyObject* named_division(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                         PyObject* kwnames) {
    const Parameters<1> parameters{name, {"other"}, 1};
    std::array<PyObject*, 1> values{};
    if (!parse_arguments(parameters, args, nargsf, kwnames, values)) return nullptr;
    LogOperand operand{};
    const Extraction extraction = extract_py_number(values[0], operand, false);
    if (extraction == Extraction::Raised) return nullptr;
    if (extraction != Extraction::Ok) return add_argument_note("other");
    return with_shared<LogTarvelObject>(self,
                       [&](const LogQuantity& log) -> PyObject* { return result_object(Operation(log, operand)); });
}

PyObject* method_div(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return named_division<log_divide>("__div__", self, args, nargsf, kwnames);
}

PyObject* method_rdiv(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return named_division<log_divide_into>("__rdiv__", self, args, nargsf, kwnames);
}

PyObject* method_round(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    std::optional<std::int32_t> ndigits;
    if (!parse_ndigits("__round__", args, nargsf, kwnames, ndigits)) return nullptr;
    return with_shared<LogTarvelObject>(self, [&](const LogQuantity& log) -> PyObject* {
        return to_py_float(log_round(log, ndigits));
    });
}

// exp, log and log10 act on the ratio; each is registered under two names.
template <double (*Function)(double)>
PyObject* ratio_function(PyObject* self) {
    return with_shared<LogTarvelObject>(
        self, [](const LogQuantity& log) { return to_py_float(Function(log.ratio())); });
}

double exp_of(double x) { return std::exp(x); }
double log_of(double x) { return std::log(x); }
double log10_of(double x) { return std::log10(x); }

// --- Slots ------------------------------------------------------------------------------------------

PyObject* slot_str(PyObject* self) {
    return with_shared<LogTarvelObject>(
        self, [](const LogQuantity& log) { return to_py_str(log_display(log)); });
}

PyObject* slot_positive(PyObject* self) {
    return with_shared<LogTarvelObject>(self, [](const LogQuantity& log) { return new_log_tarvel(log); });
}

PyObject* slot_negative(PyObject* self) {
    return with_shared<LogTarvelObject>(
        self, [](const LogQuantity& log) { return new_log_tarvel(log_negate(log)); });
}

PyObject* slot_absolute(PyObject* self) {
    return with_shared<LogTarvelObject>(
        self, [](const LogQuantity& log) { return to_py_float(std::fabs(log.ratio())); });
}

PyObject* slot_int(PyObject* self) {
    return with_shared<LogTarvelObject>(self, [](const LogQuantity& log) { return to_py_int(log.ratio()); });
}

PyObject* slot_float(PyObject* self) {
    return with_shared<LogTarvelObject>(
        self, [](const LogQuantity& log) { return to_py_float(log.ratio()); });
}

// An operand of a slot as a number: Ok, Failed (no exception left set) or Raised (its exception set).
Extraction slot_operand(PyObject* object, LogOperand& out) {
    const Extraction extraction = extract_py_number(object, out, true);
    if (extraction == Extraction::Failed) PyErr_Clear();
    return extraction;
}

// The two attempts of every binary slot: the instance on the left, then on the right. An operand that is
// not a number is declined, so that the other operand's type (a Tarvel, say) may handle the operation.
// `modulus` (of three-argument pow) is ignored, but it too must be a number when given.
PyObject* binary_slot(PyObject* left, PyObject* right, LogBinary forward, LogBinary reflected,
                      PyObject* modulus = Py_None) {
    return guarded(FAILED, [&]() -> PyObject* {
        // Operands are converted before access is taken: no Python code runs while it is held.
        LogOperand operand{};
        if (modulus != Py_None) {
            const Extraction extraction = slot_operand(modulus, operand);
            if (extraction == Extraction::Raised) return nullptr;
            if (extraction != Extraction::Ok) Py_RETURN_NOTIMPLEMENTED;
        }
        // One attempt with `instance` as the record; false when the other operand is no number.
        PyObject* result = nullptr;
        auto attempt = [&](PyObject* instance, PyObject* other, LogBinary operation) {
            if (!is_instance(instance)) return false;
            const Extraction extraction = slot_operand(other, operand);
            if (extraction == Extraction::Failed) return false;
            if (extraction == Extraction::Ok) {
                result = with_shared<LogTarvelObject>(
                    instance, [&](const LogQuantity& log) { return result_object(operation(log, operand)); });
            }
            return true;
        };
        if (attempt(left, right, forward) || attempt(right, left, reflected)) return result;
        Py_RETURN_NOTIMPLEMENTED;
    });
}

PyObject* slot_add(PyObject* left, PyObject* right) { return binary_slot(left, right, log_add, log_add); }
PyObject* slot_subtract(PyObject* left, PyObject* right) {
    return binary_slot(left, right, log_subtract, log_subtract_from);
}
PyObject* slot_multiply(PyObject* left, PyObject* right) {
    return binary_slot(left, right, log_multiply, log_multiply);
}
PyObject* slot_true_divide(PyObject* left, PyObject* right) {
    return binary_slot(left, right, log_divide, log_divide_into);
}
PyObject* slot_power(PyObject* left, PyObject* right, PyObject* modulus) {
    return binary_slot(left, right, log_power, log_power_of, modulus);
}

// The interpreter reflects the operator itself, so the instance is always `self`.
PyObject* slot_richcompare(PyObject* self, PyObject* other, int op) {
    return guarded(FAILED, [&]() -> PyObject* {
        std::optional<CompareOp> compare = compare_op(op);
        if (!compare || !is_instance(self)) Py_RETURN_NOTIMPLEMENTED;
        LogOperand operand{};
        const Extraction extraction = slot_operand(other, operand);
        if (extraction == Extraction::Raised) return nullptr;
        if (extraction != Extraction::Ok) Py_RETURN_NOTIMPLEMENTED;
        return with_shared<LogTarvelObject>(self, [&](const LogQuantity& log) {
            return PyBool_FromLong(log_compare(log, operand.linear, *compare));
        });
    });
}

// --- The class ----------------------------------------------------------------------------------------

PyMethodDef METHODS[] = {
    {"unit", as_method(one_argument<"unit", "unit_name_or_symbol", true, method_unit>), CLASS, "unit($cls, unit_name_or_symbol)\n--\n\n"},
    {"as_unit", as_method(one_argument<"as_unit", "other", true, method_as_unit>), INSTANCE, "as_unit($self, other)\n--\n\n"},
    {"as_number", as_method(one_argument<"as_number", "other", false, method_as_number>), INSTANCE, "as_number($self, other=None)\n--\n\n"},
    {"as_unitless", as_method(no_arguments<"as_unitless", method_as_unitless>), INSTANCE, "as_unitless($self)\n--\n\n"},
    {"round_sfig", as_method(method_round_sfig), INSTANCE, "round_sfig($self, n_sig_figs)\n--\n\n"},
    {"__div__", as_method(method_div), INSTANCE, "__div__($self, other)\n--\n\n"},
    {"__rdiv__", as_method(method_rdiv), INSTANCE, "__rdiv__($self, other)\n--\n\n"},
    {"__round__", as_method(method_round), INSTANCE, "__round__($self, ndigits=None)\n--\n\n"},
    {"__exp__", as_method(no_arguments<"__exp__", ratio_function<exp_of>>), INSTANCE, "__exp__($self)\n--\n\n"},
    {"exp", as_method(no_arguments<"exp", ratio_function<exp_of>>), INSTANCE, "exp($self)\n--\n\n"},
    {"__log__", as_method(no_arguments<"__log__", ratio_function<log_of>>), INSTANCE, "__log__($self)\n--\n\n"},
    {"log", as_method(no_arguments<"log", ratio_function<log_of>>), INSTANCE, "log($self)\n--\n\n"},
    {"__log10__", as_method(no_arguments<"__log10__", ratio_function<log10_of>>), INSTANCE, "__log10__($self)\n--\n\n"},
    {"log10", as_method(no_arguments<"log10", ratio_function<log10_of>>), INSTANCE, "log10($self)\n--\n\n"},
    // Python protocols beyond the class's own methods: format(), copy and pickle.
    {"__format__", as_method(log_tarvel_format), INSTANCE, "__format__($self, format_spec)\n--\n\n"},
    {"__copy__", as_method(copy_method<LogTarvelObject>), INSTANCE, "__copy__($self)\n--\n\n"},
    {"__deepcopy__", as_method(deepcopy_method<LogTarvelObject>), INSTANCE, "__deepcopy__($self, memo)\n--\n\n"},
    {"__reduce__", as_method(reduce_method<LogTarvelObject>), INSTANCE, "__reduce__($self)\n--\n\n"},
    {"_from_state", as_method(from_state_method<LogTarvelObject>), CLASS, "_from_state($cls, state)\n--\n\n"},
    // Reading from text (inspection.cpp).
    {"parse", as_method(log_tarvel_parse), CLASS, "parse($cls, text)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot SLOTS[] = {
    {Py_tp_dealloc, as_slot(log_tarvel_dealloc)},
    {Py_tp_methods, METHODS},
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

PyType_Spec SPEC = class_spec<LogTarvelObject>(
    "tarvel.LogTarvel", Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, SLOTS);

PyType_Spec& spec() { return SPEC; }

}  // namespace

PyTypeObject* log_tarvel_type() { return the_class.get(); }

PyObject* new_log_tarvel(const LogQuantity& log) {
    PyTypeObject* type = log_tarvel_type();
    if (!type) return nullptr;
    // PyObject_New takes the reference to the (heap) type that the deallocator gives back.
    LogTarvelObject* object = PyObject_New(LogTarvelObject, type);
    if (!object) return nullptr;
    new (&object->access) AccessFlag{};
    new (&object->log) LogQuantity(log);
    return reinterpret_cast<PyObject*>(object);
}

}  // namespace tarvel::py
