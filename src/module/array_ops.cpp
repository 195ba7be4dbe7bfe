// Operations on array operands: each asks the core's operation planner once for the result units and the
// magnitude plans, then runs the scalar formula over the elements.

#include <cmath>
#include <utility>

#include "array/planned_loops.hpp"
#include "module/array_internal.hpp"
#include "module/array_loops.hpp"
#include "module/boundary.hpp"
#include "module/coerce.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "quantity/operation_plan.hpp"

namespace tarvel::py {

bool is_zero_dimensional(PyObject* ndarray) noexcept;

namespace {

LoopInput loop_input(const ArrayOperand& operand) noexcept {
    if (operand_is_array(operand)) return LoopInput{operand.magnitudes.get(), 0.0};
    return LoopInput{nullptr, PyFloat_AS_DOUBLE(operand.magnitudes.get())};
}

double scalar_of(const ArrayOperand& operand) noexcept { return PyFloat_AS_DOUBLE(operand.magnitudes.get()); }

Quantity quantity_of(const ArrayOperand& operand) { return Quantity{operand.units, scalar_of(operand)}; }

PyObject* tarvel_or_raise(Result<Quantity>&& result) {
    if (!result) return raise_error(result.error());
    return new_tarvel(std::move(*result));
}

// Runs a core loop over (s, o) and wraps the magnitudes in `units`.
template <class Loop>
PyObject* binary_loop(const ArrayOperand& s, const ArrayOperand& o, const SharedUnits& units, Loop loop) {
    const std::array<LoopInput, 2> inputs{loop_input(s), loop_input(o)};
    PyObject* magnitudes = run_prepared(inputs, LoopOutput::Float64, loop);
    if (!magnitudes) return nullptr;
    PyObject* result = new_tarvel_array(magnitudes, units);
    Py_DECREF(magnitudes);
    return result;
}

Result<Quantity> scalar_binary(ArrayBinary op, const Quantity& s, const Quantity& o) {
    switch (op) {
        case ArrayBinary::Add:
            return add(s, o);
        case ArrayBinary::Subtract:
            return subtract(s, o);
        case ArrayBinary::SubtractFrom:
            return subtract_from(s, o);
        case ArrayBinary::Multiply:
            return multiply(s, o);
        case ArrayBinary::Divide:
            return divide(s, o);
        case ArrayBinary::DivideInto:
            return divide_into(s, o);
        case ArrayBinary::Power:
            return power(s, o);
        case ArrayBinary::PowerOf:
            return power_of(s, o);
    }
    throw InternalError("unknown binary operation");
}

// The single exponent of a power whose base has units; the exponent is already a plain ratio.
Result<double> uniform_exponent(const ArrayOperand& exponent, const MagnitudePlan& ratio,
                                const UnitCollection& base, bool& failed) {
    failed = false;
    if (!operand_is_array(exponent)) return ratio.apply(scalar_of(exponent));
    // Exponent arrays are small in practice: read them as a list.
    PyRef flat = PyRef::steal(PyObject_CallMethod(exponent.magnitudes.get(), "ravel", nullptr));
    if (!flat) {
        failed = true;
        return 1.0;
    }
    PyRef values = PyRef::steal(PyObject_CallMethod(flat.get(), "tolist", nullptr));
    if (!values || !PyList_Check(values.get())) {
        failed = true;
        return 1.0;
    }
    const Py_ssize_t n = PyList_GET_SIZE(values.get());
    if (n == 0) return 1.0;
    const double first = ratio.apply(PyFloat_AsDouble(PyList_GET_ITEM(values.get(), 0)));
    for (Py_ssize_t i = 1; i < n; ++i) {
        const double p = ratio.apply(PyFloat_AsDouble(PyList_GET_ITEM(values.get(), i)));
        if (!(p == first) && !(std::isnan(p) && std::isnan(first))) {
            return fail(TarvelError::non_uniform_power(as_string(base)));
        }
    }
    return first;
}

// The plan of an operation, copied out of the planner's memo (the next plan may take its slot); false
// with the error raised when the operation is refused.
bool plan_or_raise(Result<const OperationPlan*>&& planned, OperationPlan& out) {
    if (!planned) {
        raise_error(planned.error());
        return false;
    }
    out = **planned;
    return true;
}

// base ** exponent, with kernel arguments in the order (s, o).
PyObject* power_loop(const ArrayOperand& s, const ArrayOperand& o, bool s_is_base) {
    const ArrayOperand& base = s_is_base ? s : o;
    const ArrayOperand& exponent = s_is_base ? o : s;
    OperationPlan ratio;
    if (!plan_or_raise(plan_operation(Operation::Ratio, exponent.units), ratio)) return nullptr;
    const MagnitudePlan r = ratio.result;
    // A base without any unit takes any exponent, element by element; with units the exponent is one.
    double p = 1.0;
    if (base.units->unit_map.size() != 0 || has_units(base.units)) {
        bool failed = false;
        Result<double> uniform = uniform_exponent(exponent, r, base.units, failed);
        if (failed) return nullptr;
        if (!uniform) return raise_error(uniform.error());
        p = *uniform;
    }
    OperationPlan plan;
    if (!plan_or_raise(plan_power(base.units, p), plan)) return nullptr;
    const MagnitudePlan n = plan.result;
    return binary_loop(s, o, plan.units,
                       [&](const arrays::LoopLayout& layout) { arrays::power_loop(r, n, s_is_base, layout); });
}

// The planned binary operation over the elements: result(formula(left(a), right(b))). `swap` hands the
// planner (o, s).
PyObject* planned_loop(Operation op, const ArrayOperand& s, const ArrayOperand& o, arrays::Formula formula,
                       bool swap = false) {
    OperationPlan plan;
    if (!plan_or_raise(swap ? plan_operation(op, o.units, s.units) : plan_operation(op, s.units, o.units), plan)) {
        return nullptr;
    }
    const MagnitudePlan& on_s = swap ? plan.right : plan.left;
    const MagnitudePlan& on_o = swap ? plan.left : plan.right;
    return binary_loop(s, o, plan.units, [&](const arrays::LoopLayout& layout) {
        arrays::planned_binary_loop(formula, on_s, on_o, plan.result, layout);
    });
}

bool extract_operand(PyObject* object, ArrayOperand& out, bool for_slot) {
    // Refused even by a slot: a masked array's own operators would otherwise read it without its mask.
    if (is_masked_array(object)) return raise_error(TarvelError::masked_values(value_type_name(object))), false;
    // Plain numbers in an array: magnitudes without units.
    auto unitless = [&] {
        PyRef magnitudes = PyRef::steal(float_array(object, false));
        if (!magnitudes) {
            if (for_slot) PyErr_Clear();
            return false;
        }
        out.magnitudes = std::move(magnitudes);
        out.units = SharedUnits();
        return true;
    };
    if (is_duck_array(object)) return unitless();
    if (is_tarvel_array(object)) {
        auto* array = reinterpret_cast<TarvelArrayObject*>(object);
        out.magnitudes = PyRef::borrow(array->magnitudes);
        out.units = array->units;
        return true;
    }
    if ((is_ndarray(object) && !is_zero_dimensional(object)) || PyList_Check(object) ||
        PyTuple_Check(object)) {
        return unitless();
    }
    QuantityOperand operand;
    if (extract_unit_coercible(object, operand, for_slot) != Extraction::Ok) return false;
    PyRef value = PyRef::steal(PyFloat_FromDouble(operand.get().value));
    if (!value) {
        if (for_slot) PyErr_Clear();
        return false;
    }
    out.magnitudes = std::move(value);
    out.units = operand.get().units;
    return true;
}

bool is_quantity(PyObject* object) noexcept { return is_tarvel_array(object) || is_tarvel(object); }

}  // namespace

bool extract_array_operand(PyObject* object, ArrayOperand& out) {
    return extract_operand(object, out, false);
}
bool extract_array_operand_for_slot(PyObject* object, ArrayOperand& out) {
    return extract_operand(object, out, true);
}

PyObject* float_array(PyObject* object, bool copy) {
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return nullptr;
    // A lazy array keeps its kind: its dtype is checked (and cast) without computing it.
    if (is_masked_array(object)) return raise_error(TarvelError::masked_values(value_type_name(object)));
    const bool lazy = is_duck_array(object);
    PyRef array = lazy ? PyRef::borrow(object)
                       : PyRef::steal(PyObject_CallOneArg(copy ? numpy->array : numpy->asarray, object));
    if (!array) return nullptr;
    PyRef dtype = PyRef::steal(PyObject_GetAttrString(array.get(), "dtype"));
    if (!dtype) return nullptr;
    const std::optional<DtypeKind> kind = dtype_kind(dtype.get());
    if (!kind) return nullptr;
    if (is_float_kind(*kind)) {
        PyRef native = PyRef::steal(PyObject_GetAttrString(dtype.get(), "isnative"));
        if (!native) return nullptr;
        if (native.get() == Py_True) {
            if (lazy && copy) return PyObject_CallMethod(array.get(), "copy", nullptr);
            return array.release();
        }
        return PyObject_CallMethod(array.get(), "astype", "s", *kind == DtypeKind::Float64 ? "=f8" : "=f4");
    }
    if (*kind == DtypeKind::Integer || *kind == DtypeKind::Bool) {
        return PyObject_CallMethod(array.get(), "astype", "O", numpy->float64);
    }
    PyRef name = PyRef::steal(PyObject_Str(dtype.get()));
    const char* dtype_text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (!dtype_text) return nullptr;
    return raise_error(TarvelError::unsupported_dtype(dtype_text));
}

namespace {

PyObject* magnitudes_through(const ArrayOperand& operand, const MagnitudePlan& plan) {
    if (plan.kind == MagnitudePlan::Kind::Identity) return Py_NewRef(operand.magnitudes.get());
    if (!operand_is_array(operand)) return PyFloat_FromDouble(plan.apply(scalar_of(operand)));
    if (operand_is_duck(operand)) return duck_apply(plan, operand.magnitudes.get());
    const std::array<LoopInput, 1> inputs{loop_input(operand)};
    return run_prepared(inputs, LoopOutput::Float64,
                        [&](const arrays::LoopLayout& layout) { arrays::plan_loop(plan, layout); });
}

}  // namespace

PyObject* magnitudes_in(const ArrayOperand& operand, const SharedUnits& target) {
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(Operation::Conversion, operand.units, target), plan)) return nullptr;
    return magnitudes_through(operand, plan.result);
}

PyObject* interval_magnitudes_in(const ArrayOperand& operand, const SharedUnits& target) {
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(Operation::Tolerance, target, operand.units), plan)) return nullptr;
    return magnitudes_through(operand, plan.right);
}

PyObject* wrap_magnitudes(PyObject* magnitudes, const SharedUnits& units) {
    if (!magnitudes) return nullptr;
    PyRef owned = PyRef::steal(magnitudes);
    // An element of a float64 array (a float subclass) is read at once: a[i] is this path.
    if (PyFloat_Check(magnitudes)) return new_tarvel(Quantity{units, PyFloat_AS_DOUBLE(magnitudes)});
    if (is_ndarray(magnitudes) || is_duck_array(magnitudes)) return new_tarvel_array(magnitudes, units);
    const double value = PyFloat_AsDouble(magnitudes);
    if (value == -1.0 && PyErr_Occurred()) return nullptr;
    return new_tarvel(Quantity{units, value});
}

PyObject* array_binary(ArrayBinary op, const ArrayOperand& s, const ArrayOperand& o) {
    if (!operand_is_array(s) && !operand_is_array(o)) {
        return tarvel_or_raise(scalar_binary(op, quantity_of(s), quantity_of(o)));
    }
    if (operand_is_duck(s) || operand_is_duck(o)) return duck_binary(op, s, o);
    switch (op) {
        case ArrayBinary::Add: return planned_loop(Operation::Sum, s, o, arrays::Formula::Add);
        case ArrayBinary::Subtract: return planned_loop(Operation::Difference, s, o, arrays::Formula::Subtract);
        case ArrayBinary::SubtractFrom:
            return planned_loop(Operation::Difference, s, o, arrays::Formula::SubtractFrom);
        case ArrayBinary::Multiply: return planned_loop(Operation::Product, s, o, arrays::Formula::Multiply);
        case ArrayBinary::Divide: return planned_loop(Operation::Quotient, s, o, arrays::Formula::Divide);
        case ArrayBinary::DivideInto:
            return planned_loop(Operation::Quotient, s, o, arrays::Formula::DivideInto, true);
        case ArrayBinary::Power:
            return power_loop(s, o, true);
        case ArrayBinary::PowerOf:
            return power_loop(s, o, false);
    }
    throw InternalError("unknown binary operation");
}

PyObject* array_compare(const ArrayOperand& s, const ArrayOperand& o, CompareOp op) {
    if (!operand_is_array(s) && !operand_is_array(o)) {
        Result<bool> result = compare(quantity_of(s), quantity_of(o), op);
        if (!result) return raise_error(result.error());
        return PyBool_FromLong(*result ? 1 : 0);
    }
    if (operand_is_duck(s) || operand_is_duck(o)) return duck_compare(s, o, op);
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(Operation::Comparison, s.units, o.units), plan)) return nullptr;
    const std::array<LoopInput, 2> inputs{loop_input(s), loop_input(o)};
    return run_prepared(inputs, LoopOutput::Bool,
                        [&](const arrays::LoopLayout& layout) { arrays::compare_loop(op, plan.right, layout); });
}

PyObject* array_unary(ArrayUnary op, const ArrayOperand& s) {
    if (!operand_is_array(s)) {
        const Quantity q = quantity_of(s);
        switch (op) {
            case ArrayUnary::Negate:
                return tarvel_or_raise(negate(q));
            case ArrayUnary::Positive:
                return tarvel_or_raise(positive(q));
            case ArrayUnary::Absolute:
                return new_tarvel(absolute(q));
        }
    }
    if (operand_is_duck(s)) return duck_unary(op, s);
    const std::array<LoopInput, 1> inputs{loop_input(s)};
    if (op == ArrayUnary::Absolute) {
        PyObject* magnitudes =
            run_prepared(inputs, LoopOutput::Float64, [](const arrays::LoopLayout& layout) { arrays::absolute_loop(layout); });
        return magnitudes ? wrap_magnitudes(magnitudes, s.units) : nullptr;
    }
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(Operation::Normalise, s.units), plan)) return nullptr;
    const bool negate_it = op == ArrayUnary::Negate;
    PyObject* magnitudes = run_prepared(inputs, LoopOutput::Float64, [&](const arrays::LoopLayout& layout) {
        arrays::sign_loop(negate_it, plan.result, layout);
    });
    return magnitudes ? wrap_magnitudes(magnitudes, plan.units) : nullptr;
}

// A 0-d ndarray is a NumPy scalar here, as it is to the scalar operations.
bool is_zero_dimensional(PyObject* ndarray) noexcept {
    PyRef ndim = PyRef::steal(PyObject_GetAttrString(ndarray, "ndim"));
    if (!ndim) {
        PyErr_Clear();
        return false;
    }
    return PyLong_Check(ndim.get()) && PyLong_AsLong(ndim.get()) == 0;
}

bool is_array_like(PyObject* object) noexcept {
    return is_tarvel_array(object) || (is_ndarray(object) && !is_zero_dimensional(object)) ||
           is_duck_array(object);
}

PyObject* array_binary_slot(ArrayBinary forward, ArrayBinary reflected, PyObject* left, PyObject* right) {
    const bool left_is_instance = is_quantity(left);
    PyObject* instance = left_is_instance ? left : right;
    PyObject* other = left_is_instance ? right : left;
    ArrayOperand s;
    ArrayOperand o;
    if (!extract_array_operand_for_slot(instance, s) || !extract_array_operand_for_slot(other, o)) {
        if (PyErr_Occurred()) return nullptr;
        Py_RETURN_NOTIMPLEMENTED;
    }
    return array_binary(left_is_instance ? forward : reflected, s, o);
}

PyObject* array_richcompare(PyObject* self, PyObject* other, int op) {
    if (op < Py_LT || op > Py_GE) return raise_panic("unknown comparison operator");
    ArrayOperand s;
    ArrayOperand o;
    if (!extract_array_operand_for_slot(self, s) || !extract_array_operand_for_slot(other, o)) {
        if (PyErr_Occurred()) return nullptr;
        Py_RETURN_NOTIMPLEMENTED;
    }
    return array_compare(s, o, static_cast<CompareOp>(op));
}

}  // namespace tarvel::py
