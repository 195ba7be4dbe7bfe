// Arrays whose magnitudes are a foreign array NumPy dispatches to (a chunked, lazy array, say): the
// element loops cannot read their buffers, so each formula runs as the same steps through NumPy's ufuncs,
// which hand the work to the array's own __array_ufunc__. The units and plans come from the core's planner
// when the expression is built; the steps are those of the scalar formula, in its order, so the bits agree.

#include <cmath>
#include <string_view>
#include <utility>

#include "module/array_internal.hpp"
#include "module/boundary.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "quantity/operation_plan.hpp"

namespace tarvel::py {

namespace {

bool type_has(PyTypeObject* type, const char* name) {
    PyRef attribute = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), name));
    if (!attribute) PyErr_Clear();
    return static_cast<bool>(attribute);
}

// numpy.<name>(a) or numpy.<name>(a, b): a new reference.
PyObject* ufunc_call(const char* name, PyObject* a, PyObject* b = nullptr) {
    PyObject* numpy = numpy_module();
    if (!numpy) return nullptr;
    PyRef ufunc = PyRef::steal(PyObject_GetAttrString(numpy, name));
    if (!ufunc) return nullptr;
    return b ? PyObject_CallFunctionObjArgs(ufunc.get(), a, b, nullptr)
             : PyObject_CallFunctionObjArgs(ufunc.get(), a, nullptr);
}

PyObject* with_float(const char* name, PyObject* a, double value, bool value_first = false) {
    PyRef number = PyRef::steal(PyFloat_FromDouble(value));
    if (!number) return nullptr;
    return value_first ? ufunc_call(name, number.get(), a) : ufunc_call(name, a, number.get());
}

// Magnitudes as the element loops read them: float32 widened to float64 first, so every step runs in
// double as the scalar formula does.
PyObject* as_double(PyObject* magnitudes) {
    if (PyFloat_CheckExact(magnitudes)) return Py_NewRef(magnitudes);
    const std::optional<DtypeKind> kind = array_dtype_kind(magnitudes);
    if (!kind) return nullptr;
    if (*kind != DtypeKind::Float32) return Py_NewRef(magnitudes);
    return PyObject_CallMethod(magnitudes, "astype", "s", "float64");
}

bool is_float32(PyObject* magnitudes) {
    if (PyFloat_CheckExact(magnitudes)) return false;
    const std::optional<DtypeKind> kind = array_dtype_kind(magnitudes);
    if (!kind) PyErr_Clear();
    return kind == DtypeKind::Float32;
}

PyObject* plan_steps(const MagnitudePlan& plan, PyObject* x);
PyObject* stored(PyObject* result, bool f32);

// A binary formula step on two values, either of which may be a float.
PyObject* step(const char* name, PyObject* a, PyObject* b) {
    if (PyFloat_CheckExact(a) && PyFloat_CheckExact(b)) {
        return PyFloat_FromDouble(arrays::formula_value(name, PyFloat_AS_DOUBLE(a), PyFloat_AS_DOUBLE(b)));
    }
    return ufunc_call(name, a, b);
}

PyObject* wrap_or_raise(PyObject* magnitudes, const SharedUnits& units) {
    if (!magnitudes) return nullptr;
    PyObject* result = new_tarvel_array(magnitudes, units);
    Py_DECREF(magnitudes);
    return result;
}

// The plan of an operation copied out of the planner's memo; false with the error raised.
bool plan_or_raise(Result<const OperationPlan*>&& planned, OperationPlan& out) {
    if (!planned) {
        raise_error(planned.error());
        return false;
    }
    out = **planned;
    return true;
}

// result(formula(left(a), right(b))) as ufunc steps; `name` is the formula's ufunc.
PyObject* planned_steps(const OperationPlan& plan, const char* name, PyObject* a, PyObject* b) {
    PyRef x = PyRef::steal(plan_steps(plan.left, a));
    PyRef y = x ? PyRef::steal(plan_steps(plan.right, b)) : PyRef();
    PyRef raw = y ? PyRef::steal(step(name, x.get(), y.get())) : PyRef();
    if (!raw) return nullptr;
    return wrap_or_raise(plan_steps(plan.result, raw.get()), plan.units);
}

// base ** exponent. With units on the base, the exponent has to be one number known now: reading a
// lazy exponent would mean computing it.
PyObject* power(const ArrayOperand& base, PyObject* b, const ArrayOperand& exponent, PyObject* e) {
    OperationPlan ratio;
    if (!plan_or_raise(plan_operation(Operation::Ratio, exponent.units), ratio)) return nullptr;
    PyRef p = PyRef::steal(plan_steps(ratio.result, e));
    if (!p) return nullptr;
    double uniform = 1.0;
    if (base.units->unit_map.size() != 0 || has_units(base.units)) {
        if (!PyFloat_CheckExact(p.get())) {
            return raise_error(TarvelError::non_uniform_power(as_string(base.units)));
        }
        uniform = PyFloat_AS_DOUBLE(p.get());
    }
    OperationPlan plan;
    if (!plan_or_raise(plan_power(base.units, uniform), plan)) return nullptr;
    return planned_steps(plan, "power", b, p.get());
}

}  // namespace

bool is_duck_array(PyObject* object) noexcept {
    if (!object || PyFloat_CheckExact(object) || PyLong_CheckExact(object) || is_tarvel_array(object) ||
        is_tarvel(object)) {
        return false;
    }
    const NumpyApi* numpy = numpy_api_if_loaded();
    if (!numpy || PyObject_TypeCheck(object, numpy->ndarray)) return false;
    return is_duck_array_type(Py_TYPE(object));
}

bool is_duck_array_type(PyTypeObject* type) noexcept {
    const NumpyApi* numpy = numpy_api_if_loaded();
    if (!numpy || PyType_IsSubtype(type, numpy->ndarray) || type == tarvel_array_type()) return false;
    // The last few answers, by type: NumPy's scalar types come here on every element read, and a failed
    // attribute look-up costs an exception. A type is held while it is remembered, so its address stays
    // its own.
    struct Known {
        PyTypeObject* type;
        bool duck;
    };
    static Known known[8] = {};
    static std::size_t next = 0;
    for (const Known& entry : known) {
        if (entry.type == type) return entry.duck;
    }
    const bool duck = type_has(type, "__array_ufunc__") && type_has(type, "__array_function__") &&
                      type_has(type, "dtype") && type_has(type, "shape");
    Known& slot = known[next++ % std::size(known)];
    Py_XDECREF(reinterpret_cast<PyObject*>(slot.type));
    slot = Known{reinterpret_cast<PyTypeObject*>(Py_NewRef(reinterpret_cast<PyObject*>(type))), duck};
    return duck;
}

namespace {

// The plan's steps on double magnitudes (no rounding to float32 yet).
PyObject* plan_steps(const MagnitudePlan& plan, PyObject* x) {
    if (PyFloat_CheckExact(x)) return PyFloat_FromDouble(plan.apply(PyFloat_AS_DOUBLE(x)));
    if (plan.kind == MagnitudePlan::Kind::Identity) return Py_NewRef(x);
    PyRef value = PyRef::borrow(x);
    // The steps the fixed-kind forms keep: v * 1 and a division by 1 change no value.
    if (plan.fs != 1.0) {
        value = PyRef::steal(with_float("multiply", value.get(), plan.fs));
        if (!value) return nullptr;
    }
    if (plan.kind == MagnitudePlan::Kind::Offset) {
        value = PyRef::steal(with_float("subtract", value.get(), plan.os));
        if (!value) return nullptr;
        value = PyRef::steal(with_float("add", value.get(), plan.ot, true));
        if (!value) return nullptr;
    }
    if (plan.ft != 1.0) value = PyRef::steal(with_float("divide", value.get(), plan.ft));
    return value.release();
}

// As the element loops store a result: float32 when every array input is float32, rounded once from
// the double result. Steals `result`.
PyObject* stored(PyObject* result, bool f32) {
    if (!result || !f32 || PyFloat_CheckExact(result)) return result;
    PyRef owned = PyRef::steal(result);
    return PyObject_CallMethod(result, "astype", "s", "float32");
}

}  // namespace

PyObject* duck_apply(const MagnitudePlan& plan, PyObject* x, double pre_scale, double post_divisor) {
    if (plan.kind == MagnitudePlan::Kind::Identity && pre_scale == 1.0 && post_divisor == 1.0) {
        return Py_NewRef(x);
    }
    const bool f32 = is_float32(x);
    PyRef value = PyRef::steal(as_double(x));
    if (value && pre_scale != 1.0) value = PyRef::steal(with_float("multiply", value.get(), pre_scale));
    if (value) value = PyRef::steal(plan_steps(plan, value.get()));
    if (value && post_divisor != 1.0) value = PyRef::steal(with_float("divide", value.get(), post_divisor));
    return value ? stored(value.release(), f32) : nullptr;
}

PyObject* duck_binary(ArrayBinary op, const ArrayOperand& s, const ArrayOperand& o) {
    const bool f32 = (PyFloat_CheckExact(s.magnitudes.get()) || is_float32(s.magnitudes.get())) &&
                     (PyFloat_CheckExact(o.magnitudes.get()) || is_float32(o.magnitudes.get()));
    PyObject* result = duck_binary_steps(op, s, o);
    if (!result || !f32 || !is_tarvel_array(result)) return result;
    auto* array = reinterpret_cast<TarvelArrayObject*>(result);
    PyRef owned = PyRef::steal(result);
    return wrap_or_raise(stored(Py_NewRef(array->magnitudes), true), array->units);
}

PyObject* duck_binary_steps(ArrayBinary op, const ArrayOperand& s, const ArrayOperand& o) {
    PyRef a = PyRef::steal(as_double(s.magnitudes.get()));
    PyRef b = a ? PyRef::steal(as_double(o.magnitudes.get())) : PyRef();
    if (!b) return nullptr;
    const arrays::BinaryFormula formula = arrays::binary_formula(op);
    if (formula.power) return formula.reversed ? power(o, b.get(), s, a.get()) : power(s, a.get(), o, b.get());
    const bool plans_reversed = formula.reversed && !formula.swap_plans;
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(formula.op, plans_reversed ? o.units : s.units,
                                      plans_reversed ? s.units : o.units),
                       plan)) {
        return nullptr;
    }
    if (formula.swap_plans) std::swap(plan.left, plan.right);
    if (formula.reversed) return planned_steps(plan, formula.ufunc, b.get(), a.get());
    return planned_steps(plan, formula.ufunc, a.get(), b.get());
}

PyObject* duck_compare(const ArrayOperand& s, const ArrayOperand& o, CompareOp op) {
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(Operation::Comparison, s.units, o.units), plan)) return nullptr;
    PyRef a = PyRef::steal(as_double(s.magnitudes.get()));
    PyRef wide = a ? PyRef::steal(as_double(o.magnitudes.get())) : PyRef();
    PyRef b = wide ? PyRef::steal(plan_steps(plan.right, wide.get())) : PyRef();
    if (!b) return nullptr;
    static constexpr const char* NAMES[] = {"less", "less_equal", "equal", "not_equal", "greater",
                                            "greater_equal"};
    return ufunc_call(NAMES[static_cast<int>(op)], a.get(), b.get());
}

PyObject* duck_unary(ArrayUnary op, const ArrayOperand& s) {
    const bool f32 = is_float32(s.magnitudes.get());
    PyRef a = PyRef::steal(as_double(s.magnitudes.get()));
    if (!a) return nullptr;
    if (op == ArrayUnary::Absolute) return wrap_or_raise(stored(ufunc_call("absolute", a.get()), f32), s.units);
    OperationPlan plan;
    if (!plan_or_raise(plan_operation(Operation::Normalise, s.units), plan)) return nullptr;
    PyRef value = op == ArrayUnary::Negate ? PyRef::steal(ufunc_call("negative", a.get())) : std::move(a);
    if (!value) return nullptr;
    return wrap_or_raise(stored(plan_steps(plan.result, value.get()), f32), plan.units);
}

bool refuse_lazy(PyObject* magnitudes) {
    if (!is_duck_array(magnitudes)) return false;
    raise_error(TarvelError::lazy_magnitudes(Py_TYPE(magnitudes)->tp_name));
    return true;
}

namespace {

PyObject* function_steps(const char* name, PyObject* value) {
    // NumPy's cube root is not the C library's to the last bit: a chunked array runs the element loop on
    // each block instead (tarvel.dask maps it), any other lazy array is refused.
    if (std::string_view(name) == "cbrt") {
        if (!PyObject_HasAttrString(value, "map_blocks")) {
            refuse_lazy(value);
            return nullptr;
        }
        PyRef module = PyRef::steal(PyImport_ImportModule("tarvel.dask"));
        return module ? PyObject_CallMethod(module.get(), "_cbrt", "O", value) : nullptr;
    }
    return ufunc_call(name, value);
}

}  // namespace

PyObject* duck_algebra(const char* name, const MagnitudePlan& plan, PyObject* x) {
    PyRef value = PyRef::steal(as_double(x));
    PyRef raw = value ? PyRef::steal(function_steps(name, value.get())) : PyRef();
    if (!raw) return nullptr;
    return stored(plan_steps(plan, raw.get()), is_float32(x));
}

}  // namespace tarvel::py
