// The class tarvel.TarvelArray: an array of magnitudes (a NumPy array) in one unit collection.

#include <Python.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "module/class_kit.hpp"
#include "module/array_internal.hpp"
#include "module/array_loops.hpp"
#include "module/array_registry.hpp"
#include "module/unit_reading.hpp"
#include "module/boundary.hpp"
#include "module/coerce.hpp"
#include "module/ecosystem.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"
#include "module/readable_methods.hpp"
#include "quantity/quantity_text.hpp"
#include "module/tarvel_array.hpp"
#include "quantity/operation_plan.hpp"
#include "unit/number_format.hpp"
#include "unit/simplify.hpp"

namespace tarvel::py {

namespace {

PyType_Spec& spec();
ClassObject the_class{spec};

TarvelArrayObject* as_array(PyObject* object) noexcept {
    return reinterpret_cast<TarvelArrayObject*>(object);
}

PyObject* magnitudes_of(PyObject* self) noexcept { return as_array(self)->magnitudes; }
const SharedUnits& units_of(PyObject* self) noexcept { return as_array(self)->units; }

ArrayOperand operand_of(PyObject* self) {
    return ArrayOperand{PyRef::borrow(magnitudes_of(self)), units_of(self)};
}

bool is_lazy(PyObject* self) noexcept { return is_duck_array(magnitudes_of(self)); }

// Runs a one-input kernel over the instance's magnitudes (the plain ndarray result, new reference).
template <class Kernel>
PyObject* map_magnitudes(PyObject* self, Kernel kernel) {
    const std::array<LoopInput, 1> inputs{LoopInput{magnitudes_of(self), 0.0}};
    return run_elementwise(inputs, LoopOutput::Float64, kernel);
}

// The instance's magnitudes converted with `plan` into `units`, as a new TarvelArray.
PyObject* converted(PyObject* self, const MagnitudePlan& plan, const SharedUnits& units) {
    if (plan.kind == MagnitudePlan::Kind::Identity) {
        const NumpyApi* numpy = numpy_api();
        if (!numpy) return nullptr;
        return wrap_magnitudes(PyObject_CallMethod(magnitudes_of(self), "copy", nullptr), units);
    }
    if (is_lazy(self)) return wrap_magnitudes(duck_apply(plan, magnitudes_of(self)), units);
    PyObject* magnitudes = visit_plan(plan, [&](auto apply) {
        return map_magnitudes(self, [apply](double a) noexcept { return apply(a); });
    });
    return wrap_magnitudes(magnitudes, units);
}

PyObject* converted_or_raise(PyObject* self, const SharedUnits& target) {
    Result<MagnitudePlan> plan = planned_magnitudes(Operation::Conversion, units_of(self), target);
    if (!plan) return raise_error(plan.error());
    return converted(self, *plan, target);
}

// A unit-like argument of a named method.
bool take_unit_like(PyObject* value, const char* parameter, QuantityOperand& out) {
    if (extract_unit_coercible(value, out, false) == Extraction::Ok) return true;
    add_argument_note(parameter);
    return false;
}

// Replaces every float in a nested list (from ndarray.tolist()) by make(value); new reference.
template <class Make>
PyObject* map_nested(PyObject* item, Make& make) {
    if (PyList_Check(item)) {
        const Py_ssize_t n = PyList_GET_SIZE(item);
        PyRef list = PyRef::steal(PyList_New(n));
        if (!list) return nullptr;
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject* element = map_nested(PyList_GET_ITEM(item, i), make);
            if (!element) return nullptr;
            PyList_SET_ITEM(list.get(), i, element);
        }
        return list.release();
    }
    const double value = PyFloat_AsDouble(item);
    if (value == -1.0 && PyErr_Occurred()) return nullptr;
    return make(value);
}

template <class Make>
PyObject* nested_elements(PyObject* self, Make make) {
    if (is_duck_array(magnitudes_of(self))) {
        return raise_error(TarvelError::needs_compute("tolist(), latex() or descriptive()"));
    }
    PyRef list = PyRef::steal(PyObject_CallMethod(magnitudes_of(self), "tolist", nullptr));
    if (!list) return nullptr;
    return map_nested(list.get(), make);
}

// --- Construction ------------------------------------------------------------------------------------

// A list or tuple whose first element is a Tarvel: every element converted into the first one's units.
bool quantity_sequence(PyObject* values, PyRef& magnitudes, SharedUnits& units) {
    PyRef items = PyRef::steal(PySequence_Fast(values, "values must be a sequence"));
    if (!items) return false;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(items.get());
    PyObject** elements = PySequence_Fast_ITEMS(items.get());
    PyRef list = PyRef::steal(PyList_New(n));
    if (!list) return false;
    for (Py_ssize_t i = 0; i < n; ++i) {
        QuantityOperand operand;
        if (extract_unit_coercible(elements[i], operand, false) != Extraction::Ok) return false;
        if (i == 0) units = operand.get().units;
        Result<Quantity> element = as_unit_internal(operand.get(), units);
        if (!element) return raise_error(element.error()) != nullptr;
        PyObject* number = PyFloat_FromDouble(element->value);
        if (!number) return false;
        PyList_SET_ITEM(list.get(), i, number);
    }
    magnitudes = PyRef::steal(float_array(list.get(), false));
    return static_cast<bool>(magnitudes);
}

bool starts_with_tarvel(PyObject* values) {
    if (!PyList_Check(values) && !PyTuple_Check(values)) return false;
    if (PySequence_Fast_GET_SIZE(values) == 0) return false;
    return is_tarvel(PySequence_Fast_ITEMS(values)[0]);
}

// The magnitudes as float64 or float32 as `dtype` asks (anything numpy.dtype reads); other dtypes raise.
bool with_dtype(PyRef& magnitudes, PyObject* dtype, bool& fresh) {
    PyRef wanted = PyRef::steal(as_dtype(dtype));
    if (!wanted || !float_dtype_kind(wanted.get())) return false;
    PyRef current = PyRef::steal(PyObject_GetAttrString(magnitudes.get(), "dtype"));
    if (!current) return false;
    const int same = PyObject_RichCompareBool(current.get(), wanted.get(), Py_EQ);
    if (same < 0) return false;
    if (same) return true;
    PyRef cast = PyRef::steal(PyObject_CallMethod(magnitudes.get(), "astype", "O", wanted.get()));
    if (!cast) return false;
    magnitudes = std::move(cast);
    fresh = true;
    return true;
}

PyObject* slot_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const char* keywords[] = {"values", "unit", "dtype", "copy", "vocabulary", nullptr};
        PyObject* values = nullptr;
        PyObject* unit = Py_None;
        PyObject* dtype = Py_None;
        int copy = 1;
        PyObject* vocabulary = Py_None;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$OpO:TarvelArray", const_cast<char**>(keywords),
                                         &values, &unit, &dtype, &copy, &vocabulary)) {
            return nullptr;
        }
        const NumpyApi* numpy = numpy_api();
        if (!numpy) return nullptr;
        PyRef magnitudes;
        SharedUnits units;
        bool fresh = false;  // the magnitudes are a new array of our own
        if (is_tarvel_array(values)) {
            magnitudes = PyRef::borrow(magnitudes_of(values));
            units = units_of(values);
        } else if (starts_with_tarvel(values)) {
            if (!quantity_sequence(values, magnitudes, units)) return nullptr;
            fresh = true;
        } else {
            if (!copy && !is_ndarray(values) && !is_duck_array(values)) return raise_error(TarvelError::copy_required());
            magnitudes = PyRef::steal(float_array(values, false));
            if (!magnitudes) return nullptr;
            fresh = magnitudes.get() != values;
        }
        if (dtype != Py_None) {
            if (!with_dtype(magnitudes, dtype, fresh)) return nullptr;
        }
        if (!copy && fresh) return raise_error(TarvelError::copy_required());
        if (unit != Py_None && is_log_tarvel(unit) && is_duck_array(magnitudes.get()) &&
            units->unit_map.size() == 0 && !has_units(units)) {
            // The level scaling below runs the element loop, which a lazy array does not have.
            return raise_error(TarvelError::needs_compute("TarvelArray(values, a logarithmic unit)"));
        }
        if (unit != Py_None && is_log_tarvel(unit) && !is_duck_array(magnitudes.get()) &&
            units->unit_map.size() == 0 && !has_units(units)) {
            // Plain numbers times a LogTarvel scale its level, as the scalar product does: element i is
            // the ratio of (values[i] * unit).
            if (!copy) return raise_error(TarvelError::copy_required());
            const LogQuantity log = as_log_tarvel(unit)->log;
            const std::array<LoopInput, 1> inputs{LoopInput{magnitudes.get(), 0.0}};
            PyObject* product = run_elementwise(inputs, LoopOutput::Float64, [log](double a) noexcept {
                return LogQuantity{log.scale, a * log.power}.ratio();
            });
            if (!product) return nullptr;
            magnitudes = PyRef::steal(product);
            units = SharedUnits();
            fresh = true;
        } else if (unit != Py_None) {
            QuantityOperand factor;
            // Unit text is read in common notations ("m s-1", "m/s^2").
            if (!take_unit_text_or_like(unit, vocabulary, "unit", factor)) return nullptr;
            factor.detach();
            // Element i is values[i] * unit, as the scalar product normalises it.
            Result<const OperationPlan*> normalised = plan_operation(Operation::Product, units, factor.get().units);
            if (!normalised) return raise_error(normalised.error());
            const MagnitudePlan plan = (*normalised)->result;
            const double scale = factor.get().value;
            units = (*normalised)->units;
            if (plan.kind != MagnitudePlan::Kind::Identity || scale != 1.0) {
                if (!copy) return raise_error(TarvelError::copy_required());
                const std::array<LoopInput, 1> inputs{LoopInput{magnitudes.get(), 0.0}};
                PyObject* product = nullptr;
                if (is_duck_array(magnitudes.get())) {
                    product = duck_apply(plan, magnitudes.get(), scale);
                } else product = visit_plan(plan, [&](auto apply) {
                    return run_elementwise(inputs, LoopOutput::Float64,
                                           [apply, scale](double a) noexcept { return apply(a * scale); });
                });
                if (!product) return nullptr;
                magnitudes = PyRef::steal(product);
                fresh = true;
            }
        }
        if (copy && !fresh) {
            magnitudes = PyRef::steal(PyObject_CallMethod(magnitudes.get(), "copy", nullptr));
            if (!magnitudes) return nullptr;
        }
        return new_tarvel_array(magnitudes.get(), std::move(units));
    });
}

// --- Text ----------------------------------------------------------------------------------------------

// "TarvelArray(<body>, '<units>'<suffix>", the units left out when there are none.
PyObject* array_repr(PyObject* self, const PyRef& body, const char* suffix) {
    if (!body) return nullptr;
    const std::optional<std::string> units = repr_unit_text(units_of(self));
    if (!units) return PyUnicode_FromFormat("TarvelArray(%U%s", body.get(), suffix);
    PyRef text = PyRef::steal(to_py_str(*units));
    if (!text) return nullptr;
    return PyUnicode_FromFormat("TarvelArray(%U, %R%s", body.get(), text.get(), suffix);
}

PyObject* slot_repr(PyObject* self) {
    return guarded(FAILED, [&]() -> PyObject* {
        // A lazy array shows its own repr, which describes it without computing it.
        if (is_lazy(self)) return array_repr(self, PyRef::steal(PyObject_Repr(magnitudes_of(self))), ")");
        const NumpyApi* numpy = numpy_api();
        if (!numpy) return nullptr;
        // Rows after the first line up under the first, as in NumPy's own repr.
        PyRef kwargs = PyRef::steal(Py_BuildValue("{s:s,s:s}", "separator", ", ", "prefix", "TarvelArray("));
        PyRef positional = PyRef::steal(PyTuple_Pack(1, magnitudes_of(self)));
        if (!kwargs || !positional) return nullptr;
        PyRef body = PyRef::steal(PyObject_Call(numpy->array2string, positional.get(), kwargs.get()));
        if (!body) return nullptr;
        PyRef dtype = PyRef::steal(PyObject_GetAttrString(magnitudes_of(self), "dtype"));
        if (!dtype) return nullptr;
        const int is_f32 = PyObject_RichCompareBool(dtype.get(), numpy->float32, Py_EQ);
        if (is_f32 < 0) return nullptr;
        return array_repr(self, body, is_f32 ? ", dtype='float32')" : ")");
    });
}

PyObject* slot_str(PyObject* self) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyRef body = PyRef::steal(PyObject_Str(magnitudes_of(self)));
        if (!body) return nullptr;
        PyRef text = PyRef::steal(to_py_str(as_string(units_of(self))));
        if (!text) return nullptr;
        return PyUnicode_FromFormat("%U %U", body.get(), text.get());
    });
}

// --- Indexing ----------------------------------------------------------------------------------------

PyObject* slot_getitem(PyObject* self, PyObject* key) {
    return guarded(FAILED, [&]() -> PyObject* {
        return wrap_magnitudes(PyObject_GetItem(magnitudes_of(self), key), units_of(self));
    });
}

PyObject* slot_item(PyObject* self, Py_ssize_t index) {
    return guarded(FAILED, [&]() -> PyObject* {
        return wrap_magnitudes(PySequence_GetItem(magnitudes_of(self), index), units_of(self));
    });
}

int slot_setitem(PyObject* self, PyObject* key, PyObject* value) {
    return guarded(-1, [&]() -> int {
        if (!value) {
            raise_error(TarvelError::element_deletion());
            return -1;
        }
        // A plain NaN is the missing value in any units, as where() and the fills take it.
        if (PyFloat_Check(value) && std::isnan(PyFloat_AS_DOUBLE(value))) {
            return PyObject_SetItem(magnitudes_of(self), key, value);
        }
        ArrayOperand operand;
        if (!extract_array_operand(value, operand)) return -1;
        // Converted in full before anything is stored, so a failure leaves the array as it was.
        PyRef magnitudes = PyRef::steal(magnitudes_in(operand, units_of(self)));
        if (!magnitudes) return -1;
        return PyObject_SetItem(magnitudes_of(self), key, magnitudes.get());
    });
}

Py_ssize_t slot_length(PyObject* self) {
    return guarded(Py_ssize_t{-1}, [&] { return PyObject_Length(magnitudes_of(self)); });
}

PyObject* slot_iter(PyObject* self) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (PyObject_Length(magnitudes_of(self)) < 0) return nullptr;
        return PySeqIter_New(self);
    });
}

// --- Attributes ----------------------------------------------------------------------------------------

template <const char* Name>
PyObject* get_attribute(PyObject* self, void*) {
    return guarded(FAILED, [&] { return PyObject_GetAttrString(magnitudes_of(self), Name); });
}

// .real and .imag of the (real) magnitudes, in the array's units: what array libraries look for.
template <const char* Name>
PyObject* get_wrapped(PyObject* self, void*) {
    return guarded(FAILED, [&] {
        return wrap_magnitudes(PyObject_GetAttrString(magnitudes_of(self), Name), units_of(self));
    });
}

PyObject* get_transpose(PyObject* self, void*) {
    return guarded(FAILED, [&] {
        return wrap_magnitudes(PyObject_GetAttrString(magnitudes_of(self), "T"), units_of(self));
    });
}

// --- Methods on the magnitudes --------------------------------------------------------------------------

// How a method of ndarray called on the magnitudes gives the result.
enum class Rule {
    SameUnits,     // in the array's units (an array becomes a TarvelArray, a scalar a Tarvel)
    Plain,         // no units (indices)
    FloatDtype,    // astype: in the array's units, the dtype checked
    Registry,      // the registry's row "ndarray.<name>", which the NumPy function of that name shares
};

struct Delegated {
    const char* name;
    Rule rule;
};

constexpr Delegated DELEGATED[] = {
    {"reshape", Rule::SameUnits}, {"ravel", Rule::SameUnits},   {"flatten", Rule::SameUnits},
    {"copy", Rule::SameUnits},    {"astype", Rule::FloatDtype}, {"sum", Rule::Registry},
    {"mean", Rule::Registry},     {"std", Rule::Registry},      {"var", Rule::Registry},
    {"min", Rule::Registry},      {"max", Rule::Registry},      {"cumsum", Rule::Registry},
    {"argmin", Rule::Registry},   {"argmax", Rule::Registry},   {"transpose", Rule::SameUnits},
    {"squeeze", Rule::SameUnits}, {"prod", Rule::Registry},     {"clip", Rule::Registry},
};

template <std::size_t I>
PyObject* delegated_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        constexpr Delegated row = DELEGATED[I];
        if constexpr (row.rule == Rule::Registry) return call_array_method(row.name, self, args, nargsf, kwnames);
        static PyObject* name = PyUnicode_InternFromString(row.name);
        if (!name) return nullptr;
        // The magnitudes go first, in front of the caller's arguments.
        PyObject* result = with_leading({magnitudes_of(self)}, args, nargsf, kwnames,
                                        [&](PyObject* const* stack, std::size_t nargs) {
                                            return PyObject_VectorcallMethod(name, stack, nargs, kwnames);
                                        });
        if (!result) return nullptr;
        switch (row.rule) {
            case Rule::SameUnits:
                return wrap_magnitudes(result, units_of(self));
            case Rule::Plain:
            case Rule::Registry:
                return result;
            case Rule::FloatDtype: {
                PyRef owned = PyRef::steal(result);
                PyRef dtype = PyRef::steal(PyObject_GetAttrString(result, "dtype"));
                if (!dtype || !float_dtype_kind(dtype.get())) return nullptr;
                // ">f8" on a little-endian machine: the element loops read native floats only.
                PyRef native = PyRef::steal(PyObject_GetAttrString(dtype.get(), "isnative"));
                if (!native) return nullptr;
                if (native.get() == Py_False) {
                    PyRef swapped = PyRef::steal(PyObject_CallMethod(dtype.get(), "newbyteorder", "s", "="));
                    if (!swapped) return nullptr;
                    owned = PyRef::steal(PyObject_CallMethod(result, "astype", "O", swapped.get()));
                    if (!owned) return nullptr;
                }
                return wrap_magnitudes(owned.release(), units_of(self));
            }
        }
        Py_DECREF(result);
        return raise_panic("unknown method rule");
    });
}

// --- Quantity methods ------------------------------------------------------------------------------------

PyObject* method_units(PyObject* self) {
    return new_tarvel(Quantity{units_of(self), 1.0});
}

PyObject* method_as_unit(PyObject* self, PyObject* argument) {
    QuantityOperand other;
    if (!take_unit_like(argument, "other", other)) return nullptr;
    other.detach();
    return converted_or_raise(self, other.get().units);
}

bool take_scale(PyObject* value, bool& out) {
    const int truth = PyBool_Check(value) || is_ndarray(value) || PyObject_HasAttrString(value, "dtype")
                          ? PyObject_IsTrue(value)
                          : -2;
    if (truth == -2) {
        raise_wrong_type(value, "bool", "scale");
        return false;
    }
    if (truth < 0) return false;
    out = truth != 0;
    return true;
}

PyObject* method_as_number(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<2> parameters{"as_number", {"other", "scale"}, 0};
        std::array<PyObject*, 2> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        const bool has_other = arguments[0] != nullptr && arguments[0] != Py_None;
        QuantityOperand other;
        if (has_other && !take_unit_like(arguments[0], "other", other)) return nullptr;
        if (has_other) other.detach();
        bool scale = false;
        if (arguments[1] != nullptr && !take_scale(arguments[1], scale)) return nullptr;
        if (!has_other) return PyObject_CallMethod(magnitudes_of(self), "copy", nullptr);
        const Quantity& target = other.get();
        Result<MagnitudePlan> plan = planned_magnitudes(Operation::Conversion, units_of(self), target.units);
        if (!plan) return raise_error(plan.error());
        const double divisor = target.value;
        if (is_lazy(self)) {
            return duck_apply(*plan, magnitudes_of(self), 1.0, scale ? divisor : 1.0);
        }
        return visit_plan(*plan, [&](auto apply) {
            if (scale)
                return map_magnitudes(self,
                                      [apply, divisor](double a) noexcept { return apply(a) / divisor; });
            return map_magnitudes(self, [apply](double a) noexcept { return apply(a); });
        });
    });
}

PyObject* method_as_unitless(PyObject* self) {
    Result<MagnitudePlan> plan = planned_magnitudes(Operation::Ratio, units_of(self));
    if (!plan) return raise_error(plan.error());
    const MagnitudePlan p = *plan;
    if (is_lazy(self)) return duck_apply(p, magnitudes_of(self));
    return map_magnitudes(self, [p](double a) noexcept { return p.apply(a); });
}

PyObject* method_as_base_units(PyObject* self) {
    return converted_or_raise(self, get_base_units(units_of(self)));
}

// The units are simplified once; every element is then converted into them.
PyObject* method_simplify(PyObject* self) {
    return converted_or_raise(self, simplify(units_of(self)));
}

// round() and round_sfig(): quick simplification of the units, then each element rounded as the scalar.
template <class Round>
PyObject* rounded(PyObject* self, Round round) {
    Result<const OperationPlan*> normalised = plan_operation(Operation::Normalise, units_of(self));
    if (!normalised) return raise_error(normalised.error());
    const MagnitudePlan n = (*normalised)->result;
    const SharedUnits units = (*normalised)->units;
    PyObject* magnitudes = map_magnitudes(self, [n, round](double a) noexcept { return round(n.apply(a)); });
    return wrap_magnitudes(magnitudes, units);
}

PyObject* method_round(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        std::optional<std::int32_t> ndigits;
        if (!parse_ndigits("round", args, nargsf, kwnames, ndigits)) return nullptr;
        return rounded(self, [ndigits](double v) noexcept { return round_to_digits(v, ndigits); });
    });
}

PyObject* method_round_sfig(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        int n_sig_figs = 0;
        if (!parse_n_sig_figs(args, nargsf, kwnames, n_sig_figs)) return nullptr;
        return rounded(
            self, [n_sig_figs](double v) noexcept { return round_to_significant_figures(v, n_sig_figs); });
    });
}

// Text of every element, as the scalar method gives it, in nested lists of the array's shape.
template <Result<std::string> (*Text)(Quantity&)>
PyObject* element_texts(PyObject* self) {
    const UnitCollection& units = units_of(self);
    auto make = [&units](double value) -> PyObject* {
        Quantity q{units, value};
        Result<std::string> text = Text(q);
        if (!text) return raise_error(text.error());
        return to_py_str(*text);
    };
    return nested_elements(self, make);
}

// The notebook form: the magnitudes as latex() writes each element, the units once. Rows and columns
// up to the limit below; larger or higher-dimensional arrays answer None, and the notebook shows repr.
constexpr Py_ssize_t LATEX_ELEMENT_LIMIT = 400;

PyObject* method_repr_latex(PyObject* self) {
    Result<const OperationPlan*> normalised = plan_operation(Operation::Normalise, units_of(self));
    if (!normalised) return raise_error(normalised.error());
    const OperationPlan plan = **normalised;
    PyRef ndim_object = PyRef::steal(PyObject_GetAttrString(magnitudes_of(self), "ndim"));
    if (!ndim_object) return nullptr;
    const long ndim = PyLong_AsLong(ndim_object.get());
    if (ndim == -1 && PyErr_Occurred()) return nullptr;
    if (is_duck_array(magnitudes_of(self))) return raise_error(TarvelError::needs_compute("_repr_latex_()"));
    // The element count decides before any element is read (a broadcast view may be huge).
    PyRef size_object = PyRef::steal(PyObject_GetAttrString(magnitudes_of(self), "size"));
    if (!size_object) return nullptr;
    const Py_ssize_t count = PyNumber_AsSsize_t(size_object.get(), PyExc_OverflowError);
    if (count == -1 && PyErr_Occurred()) return nullptr;
    if (ndim > 2 || count > LATEX_ELEMENT_LIMIT) Py_RETURN_NONE;
    const Py_ssize_t size = ndim == 0 ? 1 : PyObject_Size(magnitudes_of(self));
    if (size < 0) return nullptr;
    PyRef list = PyRef::steal(PyObject_CallMethod(magnitudes_of(self), "tolist", nullptr));
    if (!list) return nullptr;
    std::vector<double> values;
    auto read = [&](PyObject* element) {
        const double value = PyFloat_AsDouble(element);
        values.push_back(value);
        return !(value == -1.0 && PyErr_Occurred());
    };
    Py_ssize_t rows = 0;
    Py_ssize_t columns = 0;
    if (ndim == 0) {
        if (!read(list.get())) return nullptr;
    } else if (ndim == 1) {
        if (size > LATEX_ELEMENT_LIMIT) Py_RETURN_NONE;
        for (Py_ssize_t i = 0; i < size; ++i) {
            if (!read(PyList_GET_ITEM(list.get(), i))) return nullptr;
        }
    } else {
        rows = PyList_GET_SIZE(list.get());
        columns = rows > 0 ? PyList_GET_SIZE(PyList_GET_ITEM(list.get(), 0)) : 0;
        if (rows * columns > LATEX_ELEMENT_LIMIT) Py_RETURN_NONE;
        for (Py_ssize_t r = 0; r < rows; ++r) {
            for (Py_ssize_t c = 0; c < columns; ++c) {
                if (!read(PyList_GET_ITEM(PyList_GET_ITEM(list.get(), r), c))) return nullptr;
            }
        }
    }
    return to_py_str(array_latex(values, ndim, static_cast<std::size_t>(rows), static_cast<std::size_t>(columns), plan));
}

PyObject* method_tolist(PyObject* self) {
    const SharedUnits& units = units_of(self);
    return nested_elements(self, [&units](double value) { return new_tarvel(Quantity{units, value}); });
}

// --- NumPy protocols, copy and pickle -------------------------------------------------------------------

bool is_object_dtype(PyObject* dtype) {
    PyRef wanted = PyRef::steal(as_dtype(dtype));
    const std::optional<DtypeKind> kind = wanted ? dtype_kind(wanted.get()) : std::nullopt;
    if (!kind) PyErr_Clear();
    return kind == DtypeKind::Object;
}

// An object array of the elements as Tarvel, of the array's shape: no unit is lost.
PyObject* object_array(PyObject* self) {
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return nullptr;
    PyRef flat = PyRef::steal(PyObject_CallMethod(magnitudes_of(self), "ravel", nullptr));
    PyRef values = flat ? PyRef::steal(PyObject_CallMethod(flat.get(), "tolist", nullptr)) : PyRef();
    if (!values) return nullptr;
    const Py_ssize_t n = PyList_GET_SIZE(values.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
        const double value = PyFloat_AsDouble(PyList_GET_ITEM(values.get(), i));
        if (value == -1.0 && PyErr_Occurred()) return nullptr;
        PyObject* element = new_tarvel(Quantity{units_of(self), value});
        if (!element) return nullptr;
        PyList_SetItem(values.get(), i, element);  // steals, releases the float
    }
    PyRef result = PyRef::steal(PyObject_CallFunction(numpy->empty, "ns", n, "O"));
    if (!result || PyObject_SetItem(result.get(), Py_Ellipsis, values.get()) < 0) return nullptr;
    PyRef shape = PyRef::steal(PyObject_GetAttrString(magnitudes_of(self), "shape"));
    if (!shape) return nullptr;
    return PyObject_CallMethod(result.get(), "reshape", "O", shape.get());
}

// __array__(dtype=None, copy=None): plain values only for a unitless array; dtype=object gives the
// elements as Tarvel.
PyObject* method_array(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<2> parameters{"__array__", {"dtype", "copy"}, 0};
        std::array<PyObject*, 2> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        const UnitCollection& units = units_of(self);
        PyObject* dtype = arguments[0] != nullptr ? arguments[0] : Py_None;
        if (dtype != Py_None && is_object_dtype(dtype)) return object_array(self);
        // A dimensionless collection with units (in/m) still has a plain ratio.
        if (!dimensions_equal(units.dimensions, NO_DIMENSIONS)) {
            return raise_error(TarvelError::units_would_be_dropped(as_string(units)));
        }
        Result<MagnitudePlan> plan = planned_magnitudes(Operation::Ratio, units_of(self));
        if (!plan) return raise_error(plan.error());
        PyRef plain;
        if (plan->fs == 1.0) {
            plain = PyRef::borrow(magnitudes_of(self));
        } else {
            const MagnitudePlan p = *plan;
            plain = PyRef::steal(map_magnitudes(self, [p](double a) noexcept { return p.apply(a); }));
            if (!plain) return nullptr;
        }
        if (dtype == Py_None) return plain.release();
        return PyObject_CallMethod(plain.get(), "astype", "O", dtype);
    });
}

PyObject* method_copy(PyObject* self, PyObject* const*, Py_ssize_t, PyObject*) {
    return guarded(FAILED, [&]() -> PyObject* {
        return wrap_magnitudes(PyObject_CallMethod(magnitudes_of(self), "copy", nullptr), units_of(self));
    });
}

// The magnitudes are an object of their own, which sys.getsizeof counts separately.
PyObject* method_sizeof(PyObject* self) {
    return PyLong_FromSize_t(sizeof(TarvelArrayObject) + units_of(self).owned_bytes());
}

PyObject* method_reduce(PyObject* self) {
    PyRef unit = PyRef::steal(new_tarvel(Quantity{units_of(self), 1.0}));
    if (!unit) return nullptr;
    return reduction(self, "_from_parts", PyRef::steal(PyTuple_Pack(2, magnitudes_of(self), unit.get())));
}

// _from_parts(magnitudes, unit): the pickled form, the units taken whole from the Tarvel.
PyObject* method_from_parts(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        static const Parameters<2> parameters{"_from_parts", {"magnitudes", "unit"}, 2};
        std::array<PyObject*, 2> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        if (!is_tarvel(arguments[1])) return raise_wrong_type(arguments[1], "Tarvel", "unit");
        if (!numpy_api()) return nullptr;
        if (!is_ndarray(arguments[0]) && !is_duck_array(arguments[0])) {
            return raise_wrong_type(arguments[0], "numpy.ndarray", "magnitudes");
        }
        PyRef magnitudes = PyRef::steal(float_array(arguments[0], false));
        if (!magnitudes) return nullptr;
        return new_tarvel_array(magnitudes.get(), as_tarvel(arguments[1])->quantity.units);
    });
}

// The collection protocol of the chunked-array scheduler, and compute()/persist(): written in Python by the
// integrations (tarvel.dask: the payload's graph with the units put back on each result). The table of
// which integration implements which protocol is tarvel._access.FORWARDED; its forward() is called here.
// The modules, and the scheduler's library, load only when one of these is called.
template <const char* Name>
PyObject* dask_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        // In memory there is no graph, and computing is the array itself: no need to load the library.
        if (!is_lazy(self)) {
            const std::string_view name(Name);
            if (name == "__dask_graph__") Py_RETURN_NONE;
            if (name == "compute" || name == "persist") return Py_NewRef(self);
        }
        PyRef module = PyRef::steal(PyImport_ImportModule("tarvel._access"));
        PyRef function = module ? PyRef::steal(PyObject_GetAttrString(module.get(), "forward")) : PyRef();
        PyRef name = function ? PyRef::steal(PyUnicode_FromString(Name)) : PyRef();
        if (!name) return nullptr;
        return with_leading({name.get(), self}, args, nargsf, kwnames,
                            [&](PyObject* const* stack, std::size_t nargs) {
                                return PyObject_Vectorcall(function.get(), stack, nargs, kwnames);
                            });
    });
}

constexpr char DASK_GRAPH[] = "__dask_graph__";
constexpr char DASK_KEYS[] = "__dask_keys__";
constexpr char DASK_LAYERS[] = "__dask_layers__";
constexpr char DASK_TOKENIZE[] = "__dask_tokenize__";
constexpr char DASK_POSTCOMPUTE[] = "__dask_postcompute__";
constexpr char DASK_POSTPERSIST[] = "__dask_postpersist__";
constexpr char DASK_OPTIMIZE[] = "__dask_optimize__";
constexpr char DASK_SCHEDULER[] = "__dask_scheduler__";
constexpr char COMPUTE[] = "compute";

// Attributes the scheduler compares between collections (the scheduler function): the payload's own,
// and AttributeError for magnitudes in memory.
template <const char* Name>
PyObject* dask_attribute(PyObject* self, void*) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (!is_lazy(self)) {
            raise_error(TarvelError::no_in_memory_attribute(Name));
            return nullptr;
        }
        return PyObject_GetAttrString(magnitudes_of(self), Name);
    });
}
constexpr char PERSIST[] = "persist";

PyObject* method_array_ufunc(PyObject* self, PyObject* args, PyObject* kwargs) {
    return quantity_array_ufunc(self, args, kwargs);
}

// --- Number slots -----------------------------------------------------------------------------------------

template <ArrayBinary Forward, ArrayBinary Reflected>
PyObject* binary_slot(PyObject* left, PyObject* right) {
    return guarded(FAILED, [&] { return array_binary_slot(Forward, Reflected, left, right); });
}

PyObject* slot_power(PyObject* left, PyObject* right, PyObject* modulus) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (modulus != Py_None) Py_RETURN_NOTIMPLEMENTED;
        return array_binary_slot(ArrayBinary::Power, ArrayBinary::PowerOf, left, right);
    });
}

// a op= b: the result of a op b stored back into a's magnitudes, converted into a's (fixed) units, so
// views of a see it; a result in other dimensions raises and leaves a unchanged.
template <ArrayBinary Forward, ArrayBinary Reflected>
PyObject* inplace_slot(PyObject* self, PyObject* other) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyRef result = PyRef::steal(array_binary_slot(Forward, Reflected, self, other));
        if (!result || result.get() == Py_NotImplemented) return result.release();
        if (PyObject_SetItem(self, Py_Ellipsis, result.get()) < 0) return nullptr;
        return Py_NewRef(self);
    });
}

// A quantity is true whatever its magnitude (0 °C is no zero), so an array's truth is NumPy's for an array
// of true elements: one element is true, more are ambiguous (NumPy's own error, as is an empty array's).
int slot_bool(PyObject* self) {
    return guarded(-1, [&] {
        PyRef size = PyRef::steal(PyObject_GetAttrString(magnitudes_of(self), "size"));
        if (!size) return -1;
        if (PyLong_Check(size.get()) && PyLong_AsLong(size.get()) == 1) return 1;
        if (PyErr_Occurred()) return -1;
        return PyObject_IsTrue(magnitudes_of(self));
    });
}

// @ is numpy.matmul, which comes back through the ufunc rules.
PyObject* slot_matmul(PyObject* left, PyObject* right) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyObject* numpy = numpy_module();
        if (!numpy) return nullptr;
        PyRef matmul = PyRef::steal(PyObject_GetAttrString(numpy, "matmul"));
        if (!matmul) return nullptr;
        return PyObject_CallFunctionObjArgs(matmul.get(), left, right, nullptr);
    });
}

template <ArrayUnary Op>
PyObject* unary_slot(PyObject* self) {
    return guarded(FAILED, [&] { return array_unary(Op, operand_of(self)); });
}

PyObject* slot_richcompare(PyObject* self, PyObject* other, int op) {
    return guarded(FAILED, [&] { return array_richcompare(self, other, op); });
}

// --- Type -------------------------------------------------------------------------------------------------

int slot_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_array(self)->magnitudes);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int slot_clear(PyObject* self) {
    Py_CLEAR(as_array(self)->magnitudes);
    return 0;
}

void slot_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    slot_clear(self);
    std::destroy_at(&as_array(self)->units);
    type->tp_free(self);
    Py_DECREF(type);
}

constexpr char SHAPE[] = "shape";
constexpr char NDIM[] = "ndim";
constexpr char SIZE[] = "size";
constexpr char DTYPE[] = "dtype";
constexpr char REAL[] = "real";
constexpr char IMAG[] = "imag";

template <std::size_t... I>
constexpr auto delegated_defs(std::index_sequence<I...>) {
    return std::array<PyMethodDef, sizeof...(I)>{PyMethodDef{
        DELEGATED[I].name, as_method(delegated_method<I>), METH_FASTCALL | METH_KEYWORDS, nullptr}...};
}

PyType_Spec& spec() {
    constexpr std::size_t DELEGATED_COUNT = std::size(DELEGATED);
    static const auto delegated = delegated_defs(std::make_index_sequence<DELEGATED_COUNT>{});
    static const PyMethodDef own[] = {
        {"units", as_method(no_arguments<"units", method_units>), INSTANCE, "units($self)\n--\n\n"},
        {"as_unit", as_method(one_argument<"as_unit", "other", true, method_as_unit>), INSTANCE, "as_unit($self, other)\n--\n\n"},
        {"as_number", as_method(method_as_number), INSTANCE,
         "as_number($self, other=None, scale=False)\n--\n\n"},
        {"as_unitless", as_method(no_arguments<"as_unitless", method_as_unitless>), INSTANCE, "as_unitless($self)\n--\n\n"},
        {"as_base_units", as_method(no_arguments<"as_base_units", method_as_base_units>), INSTANCE, "as_base_units($self)\n--\n\n"},
        {"simplify", as_method(no_arguments<"simplify", method_simplify>), INSTANCE, "simplify($self)\n--\n\n"},
        {"round", as_method(method_round), INSTANCE, "round($self, ndigits=None)\n--\n\n"},
        {"__round__", as_method(method_round), INSTANCE, "__round__($self, ndigits=None)\n--\n\n"},
        {"round_sfig", as_method(method_round_sfig), INSTANCE, "round_sfig($self, n_sig_figs)\n--\n\n"},
        {"latex", as_method(no_arguments<"latex", element_texts<latex_in_place>>), INSTANCE, "latex($self)\n--\n\n"},
        {"_repr_latex_", as_method(no_arguments<"_repr_latex_", method_repr_latex>), INSTANCE, "_repr_latex_($self)\n--\n\n"},
        {"descriptive", as_method(no_arguments<"descriptive", element_texts<descriptive_in_place>>), INSTANCE, "descriptive($self)\n--\n\n"},
        {"tolist", as_method(no_arguments<"tolist", method_tolist>), INSTANCE, "tolist($self)\n--\n\n"},
        {"__array__", as_method(method_array), INSTANCE, "__array__($self, dtype=None, copy=None)\n--\n\n"},
        {"__array_ufunc__", as_method(method_array_ufunc), METH_VARARGS | METH_KEYWORDS,
         "__array_ufunc__($self, ufunc, method, /, *inputs, **kwargs)\n--\n\n"},
        {"__array_function__", as_method(tarvel_array_function), INSTANCE,
         "__array_function__($self, func, types, args, kwargs)\n--\n\n"},
        {"__copy__", as_method(method_copy), INSTANCE, "__copy__($self)\n--\n\n"},
        {"__deepcopy__", as_method(method_copy), INSTANCE, "__deepcopy__($self, memo)\n--\n\n"},
        {"__reduce__", as_method(no_arguments<"__reduce__", method_reduce>), INSTANCE, "__reduce__($self)\n--\n\n"},
        {"__sizeof__", as_method(no_arguments<"__sizeof__", method_sizeof>), INSTANCE,
         "__sizeof__($self)\n--\n\n"},
        {"_from_parts", as_method(method_from_parts), CLASS, "_from_parts($cls, magnitudes, unit)\n--\n\n"},
        {"__class_getitem__", class_getitem, METH_O | METH_CLASS, "__class_getitem__($cls, units, /)\n--\n\n"},
        {"__arrow_array__", as_method(tarvel_array_arrow_array), INSTANCE,
         "__arrow_array__($self, type=None)\n--\n\n"},
        {"__get_pydantic_core_schema__", as_method(pydantic_core_schema), CLASS,
         "__get_pydantic_core_schema__($cls, source, handler)\n--\n\n"},
        {COMPUTE, as_method(dask_method<COMPUTE>), INSTANCE,
         "compute($self, /, **kwargs)\n--\n\nA lazy array computed: the same units over NumPy magnitudes."},
        {PERSIST, as_method(dask_method<PERSIST>), INSTANCE,
         "persist($self, /, **kwargs)\n--\n\nA lazy array with its chunks computed and kept."},
        {DASK_GRAPH, as_method(dask_method<DASK_GRAPH>), INSTANCE, nullptr},
        {DASK_KEYS, as_method(dask_method<DASK_KEYS>), INSTANCE, nullptr},
        {DASK_LAYERS, as_method(dask_method<DASK_LAYERS>), INSTANCE, nullptr},
        {DASK_TOKENIZE, as_method(dask_method<DASK_TOKENIZE>), INSTANCE, nullptr},
        {DASK_POSTCOMPUTE, as_method(dask_method<DASK_POSTCOMPUTE>), INSTANCE, nullptr},
        {DASK_POSTPERSIST, as_method(dask_method<DASK_POSTPERSIST>), INSTANCE, nullptr},
    };
    static PyMethodDef methods[std::size(own) + DELEGATED_COUNT + 1] = {};
    [[maybe_unused]] static const bool filled = [] {  // once, under the initialisation guard
        std::size_t next = 0;
        for (const PyMethodDef& def : own) methods[next++] = def;
        for (const PyMethodDef& def : delegated) methods[next++] = def;
        methods[next] = PyMethodDef{nullptr, nullptr, 0, nullptr};
        return true;
    }();

    static PyGetSetDef getset[] = {
        {SHAPE, get_attribute<SHAPE>, nullptr, nullptr, nullptr},
        {NDIM, get_attribute<NDIM>, nullptr, nullptr, nullptr},
        {SIZE, get_attribute<SIZE>, nullptr, nullptr, nullptr},
        {DTYPE, get_attribute<DTYPE>, nullptr, nullptr, nullptr},
        {"T", get_transpose, nullptr, nullptr, nullptr},
        {REAL, get_wrapped<REAL>, nullptr, nullptr, nullptr},
        {IMAG, get_wrapped<IMAG>, nullptr, nullptr, nullptr},
        {DASK_OPTIMIZE, dask_attribute<DASK_OPTIMIZE>, nullptr, nullptr, nullptr},
        {DASK_SCHEDULER, dask_attribute<DASK_SCHEDULER>, nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyType_Slot slots[] = {
        {Py_tp_doc,
         const_cast<char*>("TarvelArray(values, unit=None, *, dtype=None, copy=True, vocabulary=None)\n--\n\n"
                           "An N-dimensional array of magnitudes (NumPy) in one unit collection.")},
        {Py_tp_new, as_slot(slot_new)},
        {Py_tp_dealloc, as_slot(slot_dealloc)},
        {Py_tp_traverse, as_slot(slot_traverse)},
        {Py_tp_clear, as_slot(slot_clear)},
        {Py_tp_methods, methods},
        {Py_tp_getset, getset},
        {Py_tp_repr, as_slot(slot_repr)},
        {Py_tp_str, as_slot(slot_str)},
        {Py_tp_iter, as_slot(slot_iter)},
        {Py_mp_subscript, as_slot(slot_getitem)},
        {Py_mp_ass_subscript, as_slot(slot_setitem)},
        {Py_mp_length, as_slot(slot_length)},
        {Py_sq_length, as_slot(slot_length)},
        {Py_sq_item, as_slot(slot_item)},
        {Py_nb_add, as_slot(binary_slot<ArrayBinary::Add, ArrayBinary::Add>)},
        {Py_nb_subtract, as_slot(binary_slot<ArrayBinary::Subtract, ArrayBinary::SubtractFrom>)},
        {Py_nb_multiply, as_slot(binary_slot<ArrayBinary::Multiply, ArrayBinary::Multiply>)},
        {Py_nb_true_divide, as_slot(binary_slot<ArrayBinary::Divide, ArrayBinary::DivideInto>)},
        {Py_nb_power, as_slot(slot_power)},
        {Py_nb_matrix_multiply, as_slot(slot_matmul)},
        {Py_nb_inplace_add, as_slot(inplace_slot<ArrayBinary::Add, ArrayBinary::Add>)},
        {Py_nb_inplace_subtract, as_slot(inplace_slot<ArrayBinary::Subtract, ArrayBinary::SubtractFrom>)},
        {Py_nb_inplace_multiply, as_slot(inplace_slot<ArrayBinary::Multiply, ArrayBinary::Multiply>)},
        {Py_nb_inplace_true_divide, as_slot(inplace_slot<ArrayBinary::Divide, ArrayBinary::DivideInto>)},
        {Py_nb_bool, as_slot(slot_bool)},
        {Py_nb_negative, as_slot(unary_slot<ArrayUnary::Negate>)},
        {Py_nb_positive, as_slot(unary_slot<ArrayUnary::Positive>)},
        {Py_nb_absolute, as_slot(unary_slot<ArrayUnary::Absolute>)},
        {Py_tp_richcompare, as_slot(slot_richcompare)},
        {0, nullptr},
    };
    static PyType_Spec type_spec = class_spec<TarvelArrayObject>(
        "tarvel.TarvelArray", Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE, slots);
    return type_spec;
}

}  // namespace

PyTypeObject* tarvel_array_type() { return the_class.get(); }

bool is_tarvel_array(PyObject* object) noexcept { return the_class.is_instance(object); }

PyObject* new_tarvel_array(PyObject* magnitudes, SharedUnits units) {
    PyTypeObject* type = tarvel_array_type();
    if (!type) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    TarvelArrayObject* object = as_array(self);
    new (&object->units) SharedUnits(std::move(units));
    object->magnitudes = Py_NewRef(magnitudes);
    return self;
}

}  // namespace tarvel::py
