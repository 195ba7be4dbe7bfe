// __array_ufunc__ of both quantity classes through the ufunc rows of the registry (array/ufunc_rules.hpp).
// A name without a row raises TypeError naming it.

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "array/planned_loops.hpp"
#include "array/registry.hpp"
#include "array/ufunc_rules.hpp"
#include "module/array_internal.hpp"
#include "module/array_loops.hpp"
#include "module/array_registry.hpp"
#include "module/boundary.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "quantity/operation_plan.hpp"

namespace tarvel::py {

namespace {

using arrays::NamedUfuncRule;
using arrays::UfuncKind;
using arrays::UfuncRule;
using arrays::UnitAlgebra;
using Kind = UfuncKind;
using Row = UfuncRule;
using Algebra = UnitAlgebra;

// The row of a ufunc object, found by its name once and then by the object itself (ufuncs live for the
// whole process; the NumPy state keeps a reference so that an address is never reused). `entry` stays null for
// a ufunc without a row, whose name is then given in `name`. False with an exception set on failure.
bool row_of(PyObject* ufunc, const NamedUfuncRule*& entry, std::string& name) {
    if (const void* known = known_ufunc_row(ufunc)) {
        entry = static_cast<const NamedUfuncRule*>(known);
        return true;
    }
    static PyObject* name_key = PyUnicode_InternFromString("__name__");
    if (!name_key) return false;
    PyRef name_object = PyRef::steal(PyObject_GetAttr(ufunc, name_key));
    if (!name_object) return false;
    const char* text = PyUnicode_Check(name_object.get()) ? PyUnicode_AsUTF8(name_object.get()) : nullptr;
    if (!text) {
        if (!PyErr_Occurred()) raise_error(TarvelError::malformed_ufunc_call("a ufunc's __name__ must be text"));
        return false;
    }
    const NamedUfuncRule* found = arrays::find_ufunc_rule(std::string_view(text));
    // A row is NumPy's own ufunc of that name, not any object that calls itself so.
    PyObject* numpy = numpy_module();
    if (!numpy) return false;
    PyRef own = PyRef::steal(PyObject_GetAttrString(numpy, text));
    if (!own) PyErr_Clear();
    if (!found || own.get() != ufunc) {
        name = text;
        return true;
    }
    entry = found;
    remember_ufunc_row(ufunc, entry);
    return true;
}

// One plan of the planner, as a Result of the plan itself (copied out of the memo).
Result<OperationPlan> plan_of(Result<const OperationPlan*>&& planned) {
    if (!planned) return fail(std::move(planned.error()));
    return **planned;
}

std::nullptr_t unsupported(std::string_view name, std::string_view method) {
    auto [text, reason] = arrays::ufunc_refusal(name, method);
    return raise_error(TarvelError::unsupported_numpy(std::move(text), reason));
}

// float32 magnitudes as float64 (new references in place), so that a ufunc of NumPy's runs in double and
// its result is rounded to float32 once, as the element loops and the scalar operation do. True when any
// input was float32.
bool widen_float32(std::vector<PyRef>& magnitudes) {
    bool widened = false;
    for (PyRef& magnitude : magnitudes) {
        if (!is_ndarray(magnitude.get())) continue;
        PyRef dtype = PyRef::steal(PyObject_GetAttrString(magnitude.get(), "dtype"));
        PyRef code = dtype ? PyRef::steal(PyObject_GetAttrString(dtype.get(), "char")) : PyRef();
        if (!code) return PyErr_Clear(), widened;
        if (PyUnicode_CompareWithASCIIString(code.get(), "f") != 0) continue;
        PyRef wide = PyRef::steal(PyObject_CallMethod(magnitude.get(), "astype", "s", "float64"));
        if (!wide) return PyErr_Clear(), widened;
        magnitude = std::move(wide);
        widened = true;
    }
    return widened;
}

// The result of a ufunc run in double rounded back to float32 (steals `result`).
PyObject* narrowed(PyObject* result, bool narrow) {
    if (!result || !narrow || !is_ndarray(result)) return result;
    PyRef owned = PyRef::steal(result);
    PyRef dtype = PyRef::steal(PyObject_GetAttrString(result, "dtype"));
    PyRef code = dtype ? PyRef::steal(PyObject_GetAttrString(dtype.get(), "char")) : PyRef();
    if (!code) return nullptr;
    if (PyUnicode_CompareWithASCIIString(code.get(), "d") != 0) return owned.release();
    return PyObject_CallMethod(result, "astype", "s", "float32");
}

// A plain result of scalar operands as a Python float or bool.
PyObject* plain_scalar(PyObject* result) {
    if (!result) return nullptr;
    PyRef owned = PyRef::steal(result);
    if (is_ndarray(result)) return owned.release();
    if (PyBool_Check(result)) return owned.release();
    PyRef type_name = PyRef::steal(PyType_GetName(Py_TYPE(result)));
    if (type_name && PyUnicode_Check(type_name.get()) &&
        PyUnicode_CompareWithASCIIString(type_name.get(), "bool") == 0) {
        const int truth = PyObject_IsTrue(result);
        if (truth < 0) return nullptr;
        return PyBool_FromLong(truth);
    }
    PyErr_Clear();
    const double value = PyFloat_AsDouble(result);
    if (value == -1.0 && PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(value);
}

// The operand's magnitudes through `plan` (a new reference; the same object for the identity).
PyObject* through_plan(const ArrayOperand& operand, const MagnitudePlan& plan) {
    if (plan.kind == MagnitudePlan::Kind::Identity) return Py_NewRef(operand.magnitudes.get());
    if (!operand_is_array(operand))
        return PyFloat_FromDouble(plan.apply(PyFloat_AS_DOUBLE(operand.magnitudes.get())));
    if (operand_is_duck(operand)) return duck_apply(plan, operand.magnitudes.get());
    const std::array<LoopInput, 1> inputs{LoopInput{operand.magnitudes.get(), 0.0}};
    return run_prepared(inputs, LoopOutput::Float64,
                        [&](const arrays::LoopLayout& layout) { arrays::plan_loop(plan, layout); });
}

// Calls ufunc (or its method) on the given magnitudes with the remaining keyword arguments.
PyObject* call_numpy(PyObject* ufunc, std::string_view method, std::vector<PyRef>& magnitudes,
                     PyObject* kwargs) {
    PyRef callable = method == "__call__"
                         ? PyRef::borrow(ufunc)
                         : PyRef::steal(PyObject_GetAttrString(ufunc, std::string(method).c_str()));
    if (!callable) return nullptr;
    PyRef args = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(magnitudes.size())));
    if (!args) return nullptr;
    for (std::size_t i = 0; i < magnitudes.size(); ++i) {
        PyTuple_SET_ITEM(args.get(), static_cast<Py_ssize_t>(i), magnitudes[i].release());
    }
    return PyObject_Call(callable.get(), args.get(), kwargs);
}

// Writes `result` into the out= target: a TarvelArray takes it converted into its units, a plain array
// only a result without dimensions (never silently dropping units).
PyObject* store_in_out(PyObject* result, PyObject* out, PyObject* where) {
    PyRef owned = PyRef::steal(result);
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return nullptr;
    PyRef copyto = PyRef::steal(PyObject_GetAttrString(numpy->module, "copyto"));
    if (!copyto) return nullptr;
    ArrayOperand value;
    if (!extract_array_operand(result, value)) return nullptr;
    PyRef target;
    PyRef magnitudes;
    if (is_tarvel_array(out)) {
        target = PyRef::borrow(reinterpret_cast<TarvelArrayObject*>(out)->magnitudes);
        magnitudes = PyRef::steal(magnitudes_in(value, reinterpret_cast<TarvelArrayObject*>(out)->units));
    } else {
        target = PyRef::borrow(out);
        if (is_tarvel_array(result) || is_tarvel(result)) {
            Result<MagnitudePlan> ratio = planned_magnitudes(Operation::Ratio, value.units);
            if (!ratio) return raise_error(TarvelError::units_would_be_dropped(as_string(value.units)));
            magnitudes = PyRef::steal(through_plan(value, *ratio));
        } else {
            magnitudes = PyRef::borrow(result);
        }
    }
    if (!magnitudes) return nullptr;
    PyRef kwargs = PyRef::steal(PyDict_New());
    if (!kwargs) return nullptr;
    if (where && PyDict_SetItemString(kwargs.get(), "where", where) < 0) return nullptr;
    PyRef args = PyRef::steal(PyTuple_Pack(2, target.get(), magnitudes.get()));
    if (!args) return nullptr;
    PyRef done = PyRef::steal(PyObject_Call(copyto.get(), args.get(), kwargs.get()));
    if (!done) return nullptr;
    return Py_NewRef(out);
}

PyObject* algebra_result(Algebra which, const ArrayOperand& s) {
    Result<OperationPlan> normalised = arrays::algebra_plan(which, s.units);
    if (!normalised) return raise_error(normalised.error());
    const SharedUnits& result_units = normalised->units;
    if (!operand_is_array(s)) {
        const double v = arrays::algebra_value(which, PyFloat_AS_DOUBLE(s.magnitudes.get()));
        return new_tarvel(Quantity{result_units, normalised->result.apply(v)});
    }
    if (operand_is_duck(s)) {
        static constexpr const char* NAMES[] = {"sqrt", "cbrt", "square", "reciprocal"};
        return wrap_magnitudes(duck_algebra(NAMES[static_cast<int>(which)], normalised->result, s.magnitudes.get()),
                               result_units);
    }
    const std::array<LoopInput, 1> inputs{LoopInput{s.magnitudes.get(), 0.0}};
    PyObject* magnitudes = run_prepared(inputs, LoopOutput::Float64, [&](const arrays::LoopLayout& layout) {
        arrays::algebra_loop(which, normalised->result, layout);
    });
    return wrap_magnitudes(magnitudes, result_units);
}

// The result stored in the dtype asked for: float64 or float32 magnitudes, any other dtype refused.
PyObject* with_dtype(PyObject* result, PyObject* dtype) {
    PyRef owned = PyRef::steal(result);
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return nullptr;
    PyRef dtype_type = PyRef::steal(PyObject_GetAttrString(numpy->module, "dtype"));
    PyRef wanted = dtype_type ? PyRef::steal(PyObject_CallOneArg(dtype_type.get(), dtype)) : PyRef();
    PyRef code = wanted ? PyRef::steal(PyObject_GetAttrString(wanted.get(), "char")) : PyRef();
    if (!code) return nullptr;
    const bool f64 = PyUnicode_CompareWithASCIIString(code.get(), "d") == 0;
    const bool f32 = PyUnicode_CompareWithASCIIString(code.get(), "f") == 0;
    if (!f64 && !f32) {
        PyRef text = PyRef::steal(PyObject_Str(wanted.get()));
        const char* name = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (!name) return nullptr;
        return raise_error(TarvelError::unsupported_dtype(name));
    }
    if (!is_tarvel_array(result)) return owned.release();
    auto* array = reinterpret_cast<TarvelArrayObject*>(result);
    PyRef cast = PyRef::steal(PyObject_CallMethod(array->magnitudes, "astype", "O", wanted.get()));
    if (!cast) return nullptr;
    return new_tarvel_array(cast.get(), array->units);
}

bool is_quantity_object(PyObject* object) noexcept { return is_tarvel(object) || is_tarvel_array(object); }

// Every operand through `conversion_of(units)`; false with the error raised when a plan fails.
template <class PlanOf>
bool converted_all(const std::vector<ArrayOperand>& operands, std::vector<PyRef>& out, PlanOf conversion_of) {
    for (const ArrayOperand& operand : operands) {
        Result<MagnitudePlan> plan = conversion_of(operand.units);
        if (!plan) {
            raise_error(plan.error());
            return false;
        }
        PyRef magnitudes = PyRef::steal(through_plan(operand, *plan));
        if (!magnitudes) return false;
        out.push_back(std::move(magnitudes));
    }
    return true;
}

// NumPy's ufunc on the operands converted as `conversion` says, with its units on the result.
PyObject* converted_call(const arrays::UfuncConversion& conversion, PyObject* ufunc, std::string_view method,
                         const std::vector<ArrayOperand>& operands, PyObject* rest, bool any_array) {
    const SharedUnits& first = operands[0].units;
    std::vector<PyRef> magnitudes;
    auto plan = [&](const SharedUnits& units) { return arrays::operand_plan(conversion, first, units); };
    if (!converted_all(operands, magnitudes, plan)) return nullptr;
    const bool narrow = conversion.in_double && widen_float32(magnitudes);
    PyObject* result = narrowed(call_numpy(ufunc, method, magnitudes, rest), narrow);
    if (const SharedUnits* units = arrays::result_units(conversion, first)) return wrap_magnitudes(result, *units);
    return any_array ? result : plain_scalar(result);
}

PyObject* compute(const Row& row, PyObject* ufunc, std::string_view name, std::string_view method,
                  PyObject* const* inputs, const std::vector<ArrayOperand>& operands, PyObject* rest) {
    const bool call = method == "__call__";
    const std::size_t n = operands.size();
    bool any_array = false;
    for (const ArrayOperand& operand : operands) any_array = any_array || operand_is_array(operand);
    const bool extra_kwargs = rest && PyDict_GET_SIZE(rest) > 0;
    std::vector<PyRef> magnitudes;
    auto raw = [](const SharedUnits&) -> Result<MagnitudePlan> { return MagnitudePlan{}; };
    switch (row.kind) {
        case Kind::Operator:
            if (call && n == 2 && !extra_kwargs) {
                // The operand that is a quantity is s, as with the operators.
                if (is_quantity_object(inputs[0])) return array_binary(row.forward, operands[0], operands[1]);
                return array_binary(row.reflected, operands[1], operands[0]);
            }
            if (!call && n == 1 && row.reduces) {
                return converted_call(arrays::ufunc_conversion(Kind::Keeping), ufunc, method, operands, rest,
                                      any_array);
            }
            break;
        case Kind::Compare:
            if (call && n == 2 && !extra_kwargs) {
                if (is_quantity_object(inputs[0]))
                    return array_compare(operands[0], operands[1], row.compare);
                return array_compare(operands[1], operands[0], arrays::swapped(row.compare));
            }
            break;
        case Kind::Unary:
            if (call && n == 1 && !extra_kwargs) return array_unary(row.unary, operands[0]);
            break;
        case Kind::Algebra:
            if (call && n == 1 && !extra_kwargs) return algebra_result(row.algebra, operands[0]);
            break;
        case Kind::SameUnits:
        case Kind::Extremum:
        case Kind::Keeping:
        case Kind::PureNumber:
        case Kind::Predicate:
        case Kind::Angle:
        case Kind::Arctan2:
            return converted_call(arrays::ufunc_conversion(row.kind), ufunc, method, operands, rest, any_array);
        case Kind::Product: {
            if (!call || n != 2) break;
            if (!converted_all(operands, magnitudes, raw)) return nullptr;
            Result<OperationPlan> normalised =
                plan_of(plan_operation(Operation::Product, operands[0].units, operands[1].units));
            if (!normalised) return raise_error(normalised.error());
            PyObject* product = call_numpy(ufunc, method, magnitudes, rest);
            if (!product) return nullptr;
            ArrayOperand plain{PyRef::steal(product), SharedUnits()};
            if (!is_ndarray(product) && !is_duck_array(product)) {
                const double value = PyFloat_AsDouble(product);
                if (value == -1.0 && PyErr_Occurred()) return nullptr;
                return new_tarvel(Quantity{normalised->units, normalised->result.apply(value)});
            }
            PyRef plain_array = PyRef::steal(float_array(product, false));
            if (!plain_array) return nullptr;
            plain.magnitudes = std::move(plain_array);
            return wrap_magnitudes(through_plan(plain, normalised->result), normalised->units);
        }
    }
    return unsupported(name, method);
}

// A ufunc's method (reduce, accumulate, reduceat, outer, at) through its registry row.
PyObject* ufunc_method(std::string_view name, std::string_view method, PyObject* args, PyObject* kwargs) {
    PyRef inputs = PyRef::steal(PyTuple_GetSlice(args, 2, PyTuple_GET_SIZE(args)));
    if (!inputs) return nullptr;
    PyRef keywords;
    if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
        keywords = PyRef::steal(PyDict_Copy(kwargs));
        if (!keywords) return nullptr;
        // NumPy hands out= over as a tuple; the rows take the one array.
        PyObject* out = PyDict_GetItemString(keywords.get(), "out");
        if (out && PyTuple_Check(out)) {
            if (PyTuple_GET_SIZE(out) != 1) return unsupported(name, method);
            if (PyDict_SetItemString(keywords.get(), "out", PyTuple_GET_ITEM(out, 0)) < 0) return nullptr;
        }
    }
    std::string key(name);
    key += '.';
    key += method;
    bool found = false;
    PyObject* result = call_registered(key, inputs.get(), keywords.get(), found);
    if (!found && !PyErr_Occurred()) return unsupported(name, method);
    return result;
}

}  // namespace

PyObject* quantity_array_ufunc(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded(static_cast<PyObject*>(nullptr), [&]() -> PyObject* {
        const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
        if (nargs < 2) {
            return raise_error(
                TarvelError::malformed_ufunc_call("__array_ufunc__ takes the ufunc, the method and the inputs"));
        }
        PyObject* ufunc = PyTuple_GET_ITEM(args, 0);
        PyObject* method_object = PyTuple_GET_ITEM(args, 1);
        const char* method_text = PyUnicode_Check(method_object) ? PyUnicode_AsUTF8(method_object) : nullptr;
        if (!method_text) return nullptr;
        const std::string_view method(method_text);
        const NamedUfuncRule* entry = nullptr;
        std::string unknown_name;
        if (!row_of(ufunc, entry, unknown_name)) return nullptr;
        if (!entry) return unsupported(unknown_name, method);
        const std::string_view name = entry->name;
        const Row& row = entry->rule;
        const bool call = method == "__call__";
        (void)self;
        if (!call) return ufunc_method(name, method, args, kwargs);
        // out= and where= are applied to the finished result, so no other rule needs to know them.
        const bool any_kwargs = kwargs && PyDict_GET_SIZE(kwargs) > 0;
        PyRef rest = any_kwargs ? PyRef::steal(PyDict_Copy(kwargs)) : PyRef();
        if (any_kwargs && !rest) return nullptr;
        PyObject* out = nullptr;
        PyRef out_holder;
        if (PyObject* given = any_kwargs ? PyDict_GetItemString(rest.get(), "out") : nullptr) {
            out_holder = PyRef::borrow(given);
            if (PyTuple_Check(given)) {
                if (PyTuple_GET_SIZE(given) != 1) return unsupported(name, method);
                out = PyTuple_GET_ITEM(given, 0);
            } else {
                out = given;
            }
            if (out == Py_None) out = nullptr;
            if (PyDict_DelItemString(rest.get(), "out") < 0) return nullptr;
        }
        PyRef where;
        if (call) {
            if (PyObject* given = any_kwargs ? PyDict_GetItemString(rest.get(), "where") : nullptr) {
                where = PyRef::borrow(given);
                if (PyDict_DelItemString(rest.get(), "where") < 0) return nullptr;
            }
        }
        PyObject* const* inputs = &PyTuple_GET_ITEM(args, 2);
        std::vector<ArrayOperand> operands(static_cast<std::size_t>(nargs - 2));
        for (Py_ssize_t i = 2; i < nargs; ++i) {
            if (!extract_array_operand(PyTuple_GET_ITEM(args, i),
                                       operands[static_cast<std::size_t>(i - 2)])) {
                return nullptr;
            }
        }
        if (operands.empty()) return unsupported(name, method);
        // dtype= names the magnitudes' precision: computed as always, stored as float64 or float32.
        PyRef dtype;
        if (PyObject* given = any_kwargs ? PyDict_GetItemString(rest.get(), "dtype") : nullptr) {
            dtype = PyRef::borrow(given);
            if (PyDict_DelItemString(rest.get(), "dtype") < 0) return nullptr;
            if (dtype.get() == Py_None) dtype = PyRef();
        }
        PyObject* result = compute(row, ufunc, name, method, inputs, operands, rest.get());
        if (result && dtype) result = with_dtype(result, dtype.get());
        if (!result || !out) return result;
        return store_in_out(result, out, where.get());
    });
}

}  // namespace tarvel::py
