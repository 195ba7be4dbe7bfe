// TarvelArray.__array_function__: NumPy functions on quantity arrays, driven by a table with one row per
// function. A row says what each parameter carries (a value in the row's units, a coordinate, a factor
// that keeps its own units, a pure number, ...) and how the result's units follow from the arguments'.
// The handler converts the quantity arguments with the core conversion, calls NumPy's own
// implementation on the magnitudes and attaches the units to what comes back, so every result is what
// NumPy computes on the converted magnitudes.

#include <Python.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "module/args.hpp"
#include "module/boundary.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"
#include "module/array_internal.hpp"
#include "module/array_registry.hpp"
#include "array/registry.hpp"
#include "array/result_units.hpp"
#include "array/ufunc_rules.hpp"
#include "module/tarvel_array.hpp"
#include "quantity/quantity.hpp"

namespace tarvel::py {

namespace {

using arrays::ResultPart;
using arrays::ResultPlan;
using arrays::ResultUnits;
using arrays::Role;
using arrays::Rule;

// --- Messages ----------------------------------------------------------------------------------------

std::nullptr_t raise_no_rule_named(std::string_view name, std::string_view fallback_reason) {
    const char* reason = arrays::refusal_reason(name);
    return raise_error(TarvelError::unsupported_numpy(std::string(name), reason ? reason : std::string(fallback_reason)));
}

// The function's name under numpy ("linalg.norm"), or its repr for an object that is not NumPy's.
std::nullptr_t raise_no_rule(PyObject* function) {
    PyRef module = PyRef::steal(PyObject_GetAttrString(function, "__module__"));
    PyRef name = module ? PyRef::steal(PyObject_GetAttrString(function, "__name__")) : PyRef();
    const char* module_text = module && PyUnicode_Check(module.get()) ? PyUnicode_AsUTF8(module.get()) : nullptr;
    const char* name_text = name && PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (!module_text || !name_text) {
        PyErr_Clear();
        PyRef text = PyRef::steal(PyObject_Repr(function));
        const char* repr = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (!repr) return nullptr;
        return raise_error(TarvelError::unsupported_numpy(repr, "it is not a NumPy function tarvel knows"));
    }
    std::string qualified = module_text;
    qualified = qualified == "numpy" ? std::string() : qualified.starts_with("numpy.") ? qualified.substr(6) + "." : qualified + ".";
    return raise_no_rule_named(qualified + name_text, "it is not classified yet");
}

std::nullptr_t raise_quantity_not_allowed(const char* function, const char* parameter) {
    return raise_error(TarvelError::unsupported_numpy_argument(function, parameter));
}

std::nullptr_t raise_positional_quantity_not_allowed(const char* function, Py_ssize_t position) {
    return raise_error(TarvelError::unsupported_numpy_argument(function, std::to_string(position + 1)));
}

std::nullptr_t raise_unattachable(const char* function, PyObject* result) {
    PyErr_Format(PyExc_TypeError, "numpy.%s returned a %.200s, which cannot carry units", function,
                 Py_TYPE(result)->tp_name);
    return nullptr;
}

std::nullptr_t raise_bad_dtype(const char* function, PyObject* dtype) {
    PyErr_Format(PyExc_TypeError, "numpy.%s returned values of dtype %S, which a TarvelArray cannot hold",
                 function, dtype);
    return nullptr;
}

// --- The compiled table ------------------------------------------------------------------------------

constexpr std::size_t MAX_PARAMETERS = arrays::MAX_PARAMETERS;

struct Parameter {
    std::string name;
    PyRef key;  // the name as an interned str, for keyword look-ups
    Role role = Role::Pass;
};

struct CompiledRule {
    const Rule* rule = nullptr;
    std::vector<Parameter> parameters;     // as in `signature`, with their interned names
    arrays::Signature signature;
    std::size_t positional = 0;            // parameters that may be given by position
    std::optional<std::size_t> variadic;   // the parameter taking the remaining positional arguments
    PyRef implementation;                  // NumPy's function without the dispatch step
    PyRef dispatching;                     // the public function, for lazy magnitudes
    PyRef method_name;                     // an array method: its name, called on the first argument
    bool lazy_refused = false;             // the lazy library's version would not be exact
};

// Where a row's name lives: "sum" in numpy, "linalg.det" and "fft.fft" in the submodules, "ndarray.sum"
// an array method, "add.reduce" a method of a ufunc. Nothing (no exception) when this NumPy lacks it.
PyRef resolve_row(PyObject* numpy, std::string_view name) {
    const std::size_t dot = name.find('.');
    PyRef owner = PyRef::borrow(numpy);
    if (dot != std::string_view::npos) {
        owner = PyRef::steal(PyObject_GetAttrString(numpy, std::string(name.substr(0, dot)).c_str()));
        if (!owner) {
            PyErr_Clear();
            return {};
        }
    }
    PyRef found = PyRef::steal(PyObject_GetAttrString(owner.get(), std::string(name.substr(dot + 1)).c_str()));
    if (!found) PyErr_Clear();
    return found;
}

// True when an argument (or an element of a list or tuple argument) is a lazy array: NumPy's own
// implementation would read it into memory, the public function hands it to the array's library.
bool has_lazy_argument(PyObject* args, PyObject* kwargs) {
    auto lazy = [](PyObject* value) {
        if (is_duck_array(value)) return true;
        if (!PyList_CheckExact(value) && !PyTuple_CheckExact(value)) return false;
        const Py_ssize_t n = PySequence_Fast_GET_SIZE(value);
        for (Py_ssize_t i = 0; i < n; ++i) {
            if (is_duck_array(PySequence_Fast_ITEMS(value)[i])) return true;
        }
        return false;
    };
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(args); ++i) {
        if (lazy(PyTuple_GET_ITEM(args, i))) return true;
    }
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t cursor = 0;
    while (kwargs && PyDict_Next(kwargs, &cursor, &key, &value)) {
        if (lazy(value)) return true;
    }
    return false;
}

// false with an exception set when an interned name cannot be made.
bool compile_signature(const Rule& rule, CompiledRule& out) {
    out.rule = &rule;
    out.signature = arrays::parse_signature(rule.signature);
    out.positional = out.signature.positional;
    out.variadic = out.signature.variadic;
    for (const arrays::ParameterSpec& spec : out.signature.parameters) {
        Parameter parameter{spec.name, PyRef::steal(PyUnicode_InternFromString(spec.name.c_str())), spec.role};
        if (!parameter.key) return false;
        out.parameters.push_back(std::move(parameter));
    }
    return true;
}

// NumPy objects the handler needs, looked up once.
struct NumpyObjects {
    PyRef ndarray;      // the type
    PyRef no_value;     // numpy._NoValue, the "not given" default of many parameters
    PyRef float64;      // dtypes
    PyRef float32;
    PyRef dtype_name;   // "dtype", interned
    std::vector<CompiledRule> rules;
    std::unordered_map<PyObject*, const CompiledRule*> by_function;  // keys held by `functions`
    std::unordered_map<std::string_view, const CompiledRule*> by_name;  // methods of arrays and ufuncs
    std::vector<PyRef> functions;
};

// nullptr with an exception set on failure; retried on the next call then.
const NumpyObjects* numpy_objects() {
    static NumpyObjects* objects = nullptr;
    if (objects) return objects;
    auto made = std::make_unique<NumpyObjects>();
    const NumpyApi* api = numpy_api();  // the NumPy objects themselves are the one NumPy state's
    if (!api) return nullptr;
    PyRef numpy = PyRef::borrow(api->module);
    made->ndarray = PyRef::borrow(reinterpret_cast<PyObject*>(api->ndarray));
    made->no_value = PyRef::borrow(api->no_value);
    made->float64 = PyRef::borrow(api->float64);
    made->float32 = PyRef::borrow(api->float32);
    made->dtype_name = PyRef::borrow(api->dtype_name);
    const std::span<const Rule> rows = arrays::function_rules();
    made->rules.reserve(rows.size());
    for (const Rule& rule : rows) {
        const std::string_view name = rule.function;
        PyRef function = resolve_row(numpy.get(), name);
        if (!function) continue;  // not in this NumPy version
        CompiledRule compiled;
        if (!compile_signature(rule, compiled)) return nullptr;
        if (name.starts_with("ndarray.")) {
            compiled.method_name = PyRef::steal(PyUnicode_InternFromString(rule.function + 8));
            if (!compiled.method_name) return nullptr;
        }
        compiled.lazy_refused = arrays::lazy_inexact(name);
        compiled.dispatching = PyRef::borrow(function.get());
        compiled.implementation = PyRef::steal(PyObject_GetAttrString(function.get(), "_implementation"));
        if (!compiled.implementation) {
            PyErr_Clear();  // older NumPy: the public function, which dispatches on plain arrays at once
            compiled.implementation = PyRef::borrow(function.get());
        }
        made->rules.push_back(std::move(compiled));
        made->functions.push_back(std::move(function));
    }
    // Pointers into `rules` are taken once it no longer grows.
    for (std::size_t i = 0; i < made->rules.size(); ++i) {
        const std::string_view name = made->rules[i].rule->function;
        const std::size_t dot = name.find('.');
        const bool method = dot != std::string_view::npos && name.substr(0, dot) != "linalg" &&
                            name.substr(0, dot) != "fft";
        if (method) {
            made->by_name.emplace(name, &made->rules[i]);
        } else {
            made->by_function.emplace(made->functions[i].get(), &made->rules[i]);
        }
    }
    objects = made.release();  // kept for the life of the process, like the classes
    return objects;
}

// --- Converting the arguments ----------------------------------------------------------------------

bool is_quantity(PyObject* value) noexcept { return is_tarvel_array(value) || is_tarvel(value); }

bool is_plain_unitless(const UnitCollection& units) noexcept {
    return units.unit_map.size() == 0 && units.factor == 1.0;
}

// The state of one call: the units each kind of argument brought.
struct Binding {
    const CompiledRule& rule;
    const NumpyObjects& numpy;
    std::optional<UnitCollection> value_units;
    std::optional<UnitCollection> coordinate_units;
    std::vector<UnitCollection> own_units;
    PyRef value_magnitudes;  // the first value's magnitudes, whose shape counts a product's factors
    // Held, since converting an argument may run Python code that could drop the caller's references.
    PyRef out;
    std::array<PyRef, MAX_PARAMETERS> given;  // by parameter; empty when not given

    const char* function() const noexcept { return rule.rule->function; }
    bool absent(PyObject* value) const noexcept { return value == Py_None || value == numpy.no_value.get(); }
};

// An ndarray, or a lazy array NumPy dispatched the call to (its result stays lazy).
bool is_ndarray(PyObject* value, const Binding& binding) {
    return PyObject_TypeCheck(value, reinterpret_cast<PyTypeObject*>(binding.numpy.ndarray.get())) ||
           is_duck_array(value);
}

// A plain NaN scalar is the missing value in any units (the fill of where, pad, full_like, interp's
// left and right), so it joins any domain as it is and sets none.
bool is_plain_nan(PyObject* value) noexcept {
    return PyFloat_Check(value) && std::isnan(PyFloat_AS_DOUBLE(value));
}

// A quantity in a domain whose units the first one given sets; later ones are converted into them.
// A plain number or array is unitless, so it joins only a unitless domain.
PyRef in_domain(PyObject* value, std::optional<UnitCollection>& domain, const Binding& binding,
                bool interval = false) {
    if (binding.absent(value) || is_plain_nan(value)) return PyRef::borrow(value);
    if (!is_quantity(value) && !PyUnicode_Check(value)) {
        if (!domain) domain = UnitCollection::empty();
        if (is_plain_unitless(*domain)) return PyRef::borrow(value);
    }
    ArrayOperand operand;
    if (!extract_array_operand(value, operand)) return {};
    if (!domain) {
        domain = operand.units;
        return std::move(operand.magnitudes);
    }
    return PyRef::steal(interval ? interval_magnitudes_in(operand, *domain) : magnitudes_in(operand, *domain));
}

PyRef own_units(PyObject* value, Binding& binding) {
    if (binding.absent(value)) return PyRef::borrow(value);
    if (!is_quantity(value)) {
        binding.own_units.push_back(UnitCollection::empty());
        return PyRef::borrow(value);
    }
    ArrayOperand operand;
    if (!extract_array_operand(value, operand)) return {};
    binding.own_units.push_back(std::move(operand.units));
    return std::move(operand.magnitudes);
}

// A sequence whose elements keep their own units: a list of their magnitudes.
PyRef own_each(PyObject* value, Binding& binding) {
    if (is_quantity(value) || binding.absent(value)) return own_units(value, binding);
    PyRef sequence = PyRef::steal(PySequence_Fast(value, "expected a sequence of arrays"));
    if (!sequence) return {};
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(sequence.get());
    PyRef converted = PyRef::steal(PyList_New(size));
    if (!converted) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyRef element = own_units(PySequence_Fast_GET_ITEM(sequence.get(), i), binding);
        if (!element) return {};
        PyList_SET_ITEM(converted.get(), i, element.release());
    }
    return converted;
}

PyRef plain_number(PyObject* value) {
    if (!is_quantity(value)) return PyRef::borrow(value);
    ArrayOperand operand;
    if (!extract_array_operand(value, operand)) return {};
    return PyRef::steal(magnitudes_in(operand, UnitCollection::empty()));
}

// A list or tuple of values, element by element (nested ones too, to a bounded depth); anything else is
// one value.
PyRef values(PyObject* value, Binding& binding, int depth = 0) {
    constexpr int MAX_DEPTH = 32;
    const bool list = PyList_CheckExact(value);
    if ((!list && !PyTuple_CheckExact(value)) || depth == MAX_DEPTH) {
        return in_domain(value, binding.value_units, binding);
    }
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(value);
    PyRef converted = PyRef::steal(list ? PyList_New(size) : PyTuple_New(size));
    if (!converted) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        // A list may change under the element's own conversion; the length was read once.
        PyRef item = PyRef::borrow(list ? PyList_GetItem(value, i) : PyTuple_GET_ITEM(value, i));
        if (!item) return {};
        PyRef element = values(item.get(), binding, depth + 1);
        if (!element) return {};
        if (list) {
            PyList_SET_ITEM(converted.get(), i, element.release());
        } else {
            PyTuple_SET_ITEM(converted.get(), i, element.release());
        }
    }
    return converted;
}

// The replacement of one argument; `parameter` is nullptr for an argument no row parameter names.
PyRef convert(PyObject* value, const Parameter* parameter, Py_ssize_t position, Binding& binding) {
    const Role role = parameter ? parameter->role : Role::Pass;
    switch (role) {
        case Role::Value: {
            const bool first = !binding.value_units;
            PyRef converted = in_domain(value, binding.value_units, binding);
            if (first && converted && binding.value_units) binding.value_magnitudes = PyRef::borrow(converted.get());
            return converted;
        }
        case Role::OwnEach: return own_each(value, binding);
        case Role::Coefficients: return PyRef::borrow(value);  // converted once x's units are known
        case Role::Interval: return in_domain(value, binding.value_units, binding, true);
        case Role::Values: return values(value, binding);
        case Role::Coordinate: return in_domain(value, binding.coordinate_units, binding);
        case Role::Own: return own_units(value, binding);
        case Role::Plain: return plain_number(value);
        case Role::Bins:
            // A count (an int or a NumPy integer scalar) or a method name; arrays are edges.
            if (!is_quantity(value) && !is_ndarray(value, binding) &&
                (PyUnicode_Check(value) || PyIndex_Check(value))) {
                return PyRef::borrow(value);
            }
            return in_domain(value, binding.value_units, binding);
        case Role::Out:
            if (binding.rule.rule->units != ResultUnits::Plain) {
                // Written after the call, converted into its own units; NumPy computes without it.
                if (!binding.absent(value)) binding.out = PyRef::borrow(value);
                return PyRef::borrow(Py_None);
            }
            break;
        case Role::Pass: break;
    }
    if (is_quantity(value)) {
        const char* function = binding.function();
        if (!parameter) return PyRef::steal(raise_positional_quantity_not_allowed(function, position));
        return PyRef::steal(raise_quantity_not_allowed(function, parameter->name.c_str()));
    }
    return PyRef::borrow(value);
}

// --- Attaching units to the result -------------------------------------------------------------------

// An ndarray of magnitudes a TarvelArray can hold: float64 and float32 as they are, integers and
// booleans as float64.
PyRef float_magnitudes(PyObject* array, const Binding& binding) {
    PyRef dtype = PyRef::steal(PyObject_GetAttr(array, binding.numpy.dtype_name.get()));
    if (!dtype) return {};
    if (dtype.get() == binding.numpy.float64.get() || dtype.get() == binding.numpy.float32.get()) {
        return PyRef::borrow(array);
    }
    const std::optional<DtypeKind> kind = dtype_kind(dtype.get());
    if (!kind) return {};
    if (*kind != DtypeKind::Complex && *kind != DtypeKind::Object && *kind != DtypeKind::Other) {
        return PyRef::steal(PyObject_CallMethod(array, "astype", "O", binding.numpy.float64.get()));
    }
    return PyRef::steal(raise_bad_dtype(binding.function(), dtype.get()));
}

// One array or number of the result in the part's units (from its raw units when it is normalised).
PyRef attach_one(PyObject* result, const ResultPart& part, const Binding& binding) {
    const bool array = is_ndarray(result, binding);
    if (!array && !PyFloat_Check(result) && !PyLong_Check(result) && !PyNumber_Check(result)) {
        return PyRef::steal(raise_unattachable(binding.function(), result));
    }
    PyRef magnitudes = array ? float_magnitudes(result, binding) : PyRef::borrow(result);
    if (!magnitudes) return {};
    if (part.normalised) {
        const ArrayOperand operand{std::move(magnitudes), part.raw()};
        magnitudes = PyRef::steal(magnitudes_in(operand, *part.normalised));
        if (!magnitudes) return {};
    }
    if (is_ndarray(magnitudes.get(), binding)) {
        return PyRef::steal(new_tarvel_array(magnitudes.get(), part.units()));
    }
    const double value = PyFloat_AsDouble(magnitudes.get());
    if (value == -1.0 && PyErr_Occurred()) return {};
    return PyRef::steal(new_tarvel(Quantity{part.units(), value}));
}

PyRef attach_part(PyObject* item, const std::optional<ResultPart>& part, const Binding& binding) {
    return part ? attach_one(item, *part, binding) : PyRef::borrow(item);
}

// A list or tuple like `result` (a list, or a tuple of its exact type) with item(i, element) in place of
// each element; `named` keeps a tuple subclass NumPy returns (unique_counts, eig, svd) as that type.
template <class Item>
PyRef rebuilt(PyObject* result, Item&& item, bool named) {
    const bool list = PyList_CheckExact(result);
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(result);
    PyRef attached = PyRef::steal(list ? PyList_New(size) : PyTuple_New(size));
    if (!attached) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyObject* element = list ? PyList_GET_ITEM(result, i) : PyTuple_GET_ITEM(result, i);
        PyRef done = item(static_cast<std::size_t>(i), element);
        if (!done) return {};
        if (list) {
            PyList_SET_ITEM(attached.get(), i, done.release());
        } else {
            PyTuple_SET_ITEM(attached.get(), i, done.release());
        }
    }
    if (list || !named || PyTuple_CheckExact(result)) return attached;
    return PyRef::steal(PyObject_Call(reinterpret_cast<PyObject*>(Py_TYPE(result)), attached.get(), nullptr));
}

// What NumPy returned with the plan's units attached.
PyRef attached_as_planned(PyObject* result, const ResultPlan& plan, const Binding& binding) {
    using Layout = ResultPlan::Layout;
    const bool sequence = PyList_CheckExact(result) || PyTuple_CheckExact(result);
    const auto count = static_cast<Py_ssize_t>(plan.count());
    switch (plan.layout) {
        case Layout::Plain: return PyRef::borrow(result);
        case Layout::Every:
        case Layout::Each:
            if (!sequence) return attach_part(result, plan.part(0), binding);
            return rebuilt(result, [&](std::size_t i, PyObject* item) { return attach_part(item, plan.part(i), binding); },
                           false);
        case Layout::Item:
            if (!PyTuple_Check(result)) return attach_part(result, plan.part(0), binding);
            return rebuilt(result, [&](std::size_t i, PyObject* item) {
                return i == plan.index ? attach_part(item, plan.part(0), binding) : PyRef::borrow(item);
            }, true);
        case Layout::Fields:
            if (!PyTuple_Check(result) || PyTuple_GET_SIZE(result) != count) {
                return PyRef::steal(raise_unattachable(binding.function(), result));
            }
            return rebuilt(result, [&](std::size_t i, PyObject* item) { return attach_part(item, plan.part(i), binding); },
                           false);
        case Layout::Sequence: {
            const Py_ssize_t size = PySequence_Size(result);
            if (size < 0) return {};
            if (size != count) return PyRef::steal(raise_unattachable(binding.function(), result));
            PyRef items = PyRef::steal(PyList_New(size));
            if (!items) return {};
            for (Py_ssize_t i = 0; i < size; ++i) {
                PyRef item = PyRef::steal(PySequence_GetItem(result, i));
                PyRef done = item ? attach_part(item.get(), plan.part(static_cast<std::size_t>(i)), binding) : PyRef();
                if (!done) return {};
                PyList_SET_ITEM(items.get(), i, done.release());
            }
            return items;
        }
    }
    throw InternalError("unknown result layout");
}

// The argument given for `name`, or nullptr when it was not given (or given as None / NumPy's no-value).
PyObject* given_named(const Binding& binding, std::string_view name) {
    const std::optional<std::size_t> index = binding.rule.signature.index_of(name);
    if (!index) return nullptr;
    PyObject* value = binding.given[*index].get();
    return value && !binding.absent(value) ? value : nullptr;
}

// An integer argument (deg, n), or nothing with an exception set.
std::optional<long long> integer_named(const Binding& binding, std::string_view name) {
    PyObject* value = given_named(binding, name);
    if (!value) {
        PyErr_Format(PyExc_TypeError, "numpy.%s needs its argument '%s'", binding.function(),
                     std::string(name).c_str());
        return std::nullopt;
    }
    const long long n = PyLong_AsLongLong(value);
    if (n == -1 && PyErr_Occurred()) return std::nullopt;
    return n;
}

// The shape of the first value's magnitudes as sizes (empty for a scalar).
std::optional<std::vector<std::ptrdiff_t>> value_shape(const Binding& binding) {
    std::vector<std::ptrdiff_t> sizes;
    if (!binding.value_magnitudes || PyFloat_Check(binding.value_magnitudes.get())) return sizes;
    PyRef shape = PyRef::steal(PyObject_GetAttrString(binding.value_magnitudes.get(), "shape"));
    if (!shape) return std::nullopt;
    PyRef items = PyRef::steal(PySequence_Fast(shape.get(), "shape must be a sequence"));
    if (!items) return std::nullopt;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        const Py_ssize_t size = PyNumber_AsSsize_t(PySequence_Fast_GET_ITEM(items.get(), i), PyExc_OverflowError);
        if (size == -1 && PyErr_Occurred()) return std::nullopt;
        sizes.push_back(size);
    }
    return sizes;
}

// How many factors a product over axis= multiplies into each result element.
std::optional<double> reduced_count(const Binding& binding) {
    const std::optional<std::vector<std::ptrdiff_t>> shape = value_shape(binding);
    if (!shape) return std::nullopt;
    PyObject* axis = given_named(binding, "axis");
    std::vector<long long> axes;
    if (axis) {
        const Py_ssize_t n = PyTuple_Check(axis) ? PyTuple_GET_SIZE(axis) : 1;
        for (Py_ssize_t i = 0; i < n; ++i) {
            const long long index = PyLong_AsLongLong(PyTuple_Check(axis) ? PyTuple_GET_ITEM(axis, i) : axis);
            if (index == -1 && PyErr_Occurred()) return std::nullopt;
            axes.push_back(index);
        }
    }
    // A ufunc's reduce runs along axis 0 unless told otherwise (None: every axis).
    const std::optional<std::size_t> axis_index = binding.rule.signature.index_of("axis");
    const bool axis_given = axis_index && binding.given[*axis_index];
    const bool reduce_default = !axis_given && std::string_view(binding.function()).ends_with(".reduce");
    long long bad_axis = 0;
    const std::optional<double> count = arrays::factors_reduced(
        *shape, axis ? std::optional<std::span<const long long>>(axes) : std::nullopt, reduce_default, bad_axis);
    if (!count) PyErr_Format(PyExc_ValueError, "axis %lld is out of bounds for numpy.%s", bad_axis, binding.function());
    return count;
}

// polyval's coefficients converted: the constant one sets the result's units R, coefficient i of N in
// R / x**(N-1-i). Returns the list of magnitudes; `units` receives R.
PyRef polynomial_coefficients(PyObject* coefficients, const Binding& binding, UnitCollection& units) {
    PyRef items = PyRef::steal(PySequence_Fast(coefficients, "polynomial coefficients must be a sequence"));
    if (!items) return {};
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(items.get());
    const UnitCollection x = binding.coordinate_units ? *binding.coordinate_units : UnitCollection::empty();
    units = UnitCollection::empty();
    if (size > 0) {
        ArrayOperand constant;
        if (!extract_array_operand(PySequence_Fast_GET_ITEM(items.get(), size - 1), constant)) return {};
        units = constant.units;
    }
    Result<std::vector<UnitCollection>> targets =
        arrays::polynomial_coefficient_units(units, x, static_cast<std::size_t>(size));
    if (!targets) return PyRef::steal(raise_error(targets.error()));
    PyRef converted = PyRef::steal(PyList_New(size));
    if (!converted) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        ArrayOperand operand;
        if (!extract_array_operand(PySequence_Fast_GET_ITEM(items.get(), i), operand)) return {};
        PyRef magnitudes = PyRef::steal(magnitudes_in(operand, (*targets)[static_cast<std::size_t>(i)]));
        if (!magnitudes) return {};
        PyList_SET_ITEM(converted.get(), i, magnitudes.release());
    }
    return converted;
}

// The counts and flags the row's result rule reads from the arguments; false with an exception set.
bool read_counts(PyObject* result, const Binding& binding, arrays::ResultOperands& in) {
    switch (binding.rule.rule->units) {
        case ResultUnits::PowerOfCount: {
            in.where_given = given_named(binding, "where") != nullptr;
            if (in.where_given) return true;  // refused by the rule when the values have units
            const std::optional<double> count = reduced_count(binding);
            if (!count) return false;
            in.count = *count;
            return true;
        }
        case ResultUnits::PowerOfLastAxis: {
            const std::optional<std::vector<std::ptrdiff_t>> shape = value_shape(binding);
            if (!shape) return false;
            in.count = shape->empty() ? 1.0 : static_cast<double>(shape->back());
            return true;
        }
        case ResultUnits::MatrixPower: {
            const std::optional<long long> n = integer_named(binding, "n");
            if (!n) return false;
            in.count = static_cast<double>(*n);
            return true;
        }
        case ResultUnits::Polynomial: {
            if (PyTuple_Check(result)) {
                raise_error(TarvelError::unsupported_numpy(
                    binding.function(), "full= and cov= give diagnostics in mixed units: fit the magnitudes"));
                return false;
            }
            const std::optional<long long> degree = integer_named(binding, "deg");
            if (!degree) return false;
            in.degree = *degree;
            return true;
        }
        case ResultUnits::Histogram: {
            PyObject* flag = binding.rule.signature.density ? binding.given[*binding.rule.signature.density].get() : nullptr;
            if (!flag) return true;
            const int truth = PyObject_IsTrue(flag);
            if (truth < 0) return false;
            in.density = truth != 0;
            return true;
        }
        case ResultUnits::Norm: {
            PyObject* order = given_named(binding, "ord");
            if (order && (PyLong_Check(order) || PyFloat_Check(order))) {
                const double value = PyFloat_AsDouble(order);
                if (value == -1.0 && PyErr_Occurred()) return false;
                in.counts_nonzero = value == 0.0;
            }
            return true;
        }
        default: return true;
    }
}

// The result of NumPy's call with the row's units attached.
PyRef result_with_units(PyObject* result, const Binding& binding) {
    if (binding.rule.rule->units == ResultUnits::Plain) return PyRef::borrow(result);
    arrays::ResultOperands in;
    in.function = binding.function();
    in.value = binding.value_units ? &*binding.value_units : nullptr;
    in.coordinate = binding.coordinate_units ? &*binding.coordinate_units : nullptr;
    in.own = binding.own_units;
    if (!read_counts(result, binding, in)) return {};
    Result<ResultPlan> plan = arrays::result_plan(binding.rule.rule->units, in);
    if (!plan) return PyRef::steal(raise_error(plan.error()));
    return attached_as_planned(result, *plan, binding);
}

// Writes the result into `out` converted into out's units (a plain array is unitless) and returns out.
PyRef write_out(PyObject* result, PyObject* out) {
    ArrayOperand computed;
    if (!extract_array_operand(result, computed)) return {};
    PyObject* target = out;
    UnitCollection target_units = UnitCollection::empty();
    if (is_tarvel_array(out)) {
        auto* array = reinterpret_cast<TarvelArrayObject*>(out);
        target = array->magnitudes;
        target_units = array->units;
    }
    PyRef converted = PyRef::steal(magnitudes_in(computed, target_units));
    if (!converted) return {};
    if (PyObject_SetItem(target, Py_Ellipsis, converted.get()) < 0) return {};
    return PyRef::borrow(out);
}

// Every type taking part must be one whose values this table understands; others get their own turn.
bool all_types_known(PyObject* types, const NumpyObjects& numpy) {
    PyRef sequence = PyRef::steal(PySequence_Fast(types, "types must be a sequence"));
    if (!sequence) return false;
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(sequence.get());
    PyObject** items = PySequence_Fast_ITEMS(sequence.get());
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyObject* type = items[i];
        if (type == reinterpret_cast<PyObject*>(tarvel_array_type())) continue;
        if (type == reinterpret_cast<PyObject*>(tarvel_type())) continue;
        if (PyType_Check(type) && is_duck_array_type(reinterpret_cast<PyTypeObject*>(type))) continue;
        if (PyType_Check(type) && PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(type),
                                                   reinterpret_cast<PyTypeObject*>(numpy.ndarray.get()))) {
            continue;
        }
        return false;
    }
    return true;
}

const Parameter* parameter_named(const CompiledRule& rule, PyObject* key) {
    for (const Parameter& parameter : rule.parameters) {
        if (parameter.key.get() == key) return &parameter;
    }
    for (const Parameter& parameter : rule.parameters) {
        if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, parameter.name.c_str()) == 0) {
            return &parameter;
        }
    }
    return nullptr;
}

std::optional<std::size_t> coefficients_parameter(const CompiledRule& rule) {
    for (std::size_t i = 0; i < rule.parameters.size(); ++i) {
        if (rule.parameters[i].role == Role::Coefficients) return i;
    }
    return std::nullopt;
}

// 1 when the lazy array library computes `function` lazily itself, 0 when it would read the arrays into
// memory first, -1 with an exception set.
int lazy_library_handles(PyObject* function) {
    PyRef module = PyRef::steal(PyImport_ImportModule("tarvel.dask"));
    if (!module) return -1;
    PyRef answer = PyRef::steal(PyObject_CallMethod(module.get(), "_handles", "O", function));
    if (!answer) return -1;
    return PyObject_IsTrue(answer.get());
}

PyObject* call_with_rule(const CompiledRule& rule, const NumpyObjects& numpy, PyObject* args,
                         PyObject* kwargs) {
    Binding binding{rule, numpy, {}, {}, {}, {}, {}, {}};
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const bool has_keywords = kwargs && PyDict_GET_SIZE(kwargs) > 0;

    // Parameter of each positional argument, and the keyword arguments by parameter.
    const auto positional_parameter = [&](Py_ssize_t i) -> const Parameter* {
        const auto index = static_cast<std::size_t>(i);
        if (index < rule.positional) return &rule.parameters[index];
        if (rule.variadic) return &rule.parameters[*rule.variadic];
        return nullptr;
    };
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index < rule.positional) binding.given[index] = PyRef::borrow(PyTuple_GET_ITEM(args, i));
    }
    if (has_keywords) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t cursor = 0;
        while (PyDict_Next(kwargs, &cursor, &key, &value)) {
            if (const Parameter* parameter = parameter_named(rule, key)) {
                const auto index = static_cast<std::size_t>(parameter - rule.parameters.data());
                binding.given[index] = PyRef::borrow(value);
            }
        }
    }

    // Converted in the parameters' order, so the first value sets the units however it was passed.
    PyRef new_args = PyRef::steal(PyTuple_New(nargs));
    if (!new_args) return nullptr;
    PyRef new_kwargs;
    if (has_keywords) {
        new_kwargs = PyRef::steal(PyDict_Copy(kwargs));
        if (!new_kwargs) return nullptr;
    }
    const auto convert_positional = [&](Py_ssize_t i) -> bool {
        PyRef converted = convert(PyTuple_GET_ITEM(args, i), positional_parameter(i), i, binding);
        if (!converted) return false;
        PyTuple_SET_ITEM(new_args.get(), i, converted.release());
        return true;
    };
    for (std::size_t p = 0; p < rule.parameters.size(); ++p) {
        const Parameter& parameter = rule.parameters[p];
        if (rule.variadic && p == *rule.variadic) {
            for (auto i = static_cast<Py_ssize_t>(rule.positional); i < nargs; ++i) {
                if (!convert_positional(i)) return nullptr;
            }
            continue;
        }
        if (p < rule.positional && static_cast<Py_ssize_t>(p) < nargs) {
            if (!convert_positional(static_cast<Py_ssize_t>(p))) return nullptr;
            continue;
        }
        if (!has_keywords || !binding.given[p]) continue;
        PyRef converted = convert(binding.given[p].get(), &parameter, -1, binding);
        if (!converted) return nullptr;
        if (parameter.role == Role::Out && converted.get() == Py_None) {
            if (PyDict_DelItem(new_kwargs.get(), parameter.key.get()) < 0) return nullptr;
        } else if (PyDict_SetItem(new_kwargs.get(), parameter.key.get(), converted.get()) < 0) {
            return nullptr;
        }
    }
    // Arguments no parameter names: passed on, as long as they are not quantities.
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        if (!PyTuple_GET_ITEM(new_args.get(), i) && !convert_positional(i)) return nullptr;
    }
    if (has_keywords) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t cursor = 0;
        while (PyDict_Next(kwargs, &cursor, &key, &value)) {
            if (!parameter_named(rule, key) && is_quantity(value)) {
                Py_ssize_t size = 0;
                const char* name = PyUnicode_AsUTF8AndSize(key, &size);
                if (!name) return nullptr;
                return raise_quantity_not_allowed(rule.rule->function, name);
            }
        }
    }

    if (const std::optional<std::size_t> index = coefficients_parameter(rule)) {
        PyObject* given = binding.given[*index].get();
        if (given) {
            UnitCollection units = UnitCollection::empty();
            PyRef converted = polynomial_coefficients(given, binding, units);
            if (!converted) return nullptr;
            binding.value_units = std::move(units);
            if (*index < static_cast<std::size_t>(nargs)) {
                if (PyTuple_SetItem(new_args.get(), static_cast<Py_ssize_t>(*index), converted.release()) < 0) {
                    return nullptr;
                }
            } else if (PyDict_SetItem(new_kwargs.get(), rule.parameters[*index].key.get(), converted.get()) < 0) {
                return nullptr;
            }
        }
    }

    PyRef result;
    if (rule.method_name) {
        // An array method: called on the first argument's magnitudes, which may be lazy.
        if (nargs == 0) return raise_no_rule_named(rule.rule->function, "");
        PyObject* self = PyTuple_GET_ITEM(new_args.get(), 0);
        if (is_duck_array(self) && arrays::lazy_needs_axis(rule.rule->function) && !given_named(binding, "axis")) {
            return raise_error(TarvelError::needs_compute("cumsum() without axis="));
        }
        PyRef bound = PyRef::steal(PyObject_GetAttr(self, rule.method_name.get()));
        PyRef rest = PyRef::steal(PyTuple_GetSlice(new_args.get(), 1, nargs));
        if (!bound || !rest) return nullptr;
        result = PyRef::steal(PyObject_Call(bound.get(), rest.get(), new_kwargs.get()));
    } else if (has_lazy_argument(new_args.get(), new_kwargs.get())) {
        // The lazy library needs an axis for these; without one they would flatten in memory.
        if (arrays::lazy_needs_axis(rule.rule->function) && !given_named(binding, "axis")) {
            return raise_error(TarvelError::needs_compute(std::string("numpy.") + rule.rule->function + " without axis="));
        }
        if (rule.lazy_refused) {
            return raise_error(TarvelError::needs_compute(
                std::string("numpy.") + rule.rule->function + " (the lazy version is an approximation)"));
        }
        const int handled = lazy_library_handles(rule.dispatching.get());
        if (handled < 0) return nullptr;
        if (handled == 0) return raise_error(TarvelError::needs_compute(std::string("numpy.") + rule.rule->function));
        result = PyRef::steal(PyObject_Call(rule.dispatching.get(), new_args.get(), new_kwargs.get()));
    } else {
        result = PyRef::steal(PyObject_Call(rule.implementation.get(), new_args.get(), new_kwargs.get()));
    }
    if (!result) return nullptr;
    PyRef attached = result_with_units(result.get(), binding);
    if (!attached || !binding.out) return attached.release();
    return write_out(attached.get(), binding.out.get()).release();
}

}  // namespace

PyObject* tarvel_array_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(static_cast<PyObject*>(nullptr), [&]() -> PyObject* {
        static const Parameters<4> parameters{"__array_function__", {"func", "types", "args", "kwargs"}, 4};
        std::array<PyObject*, 4> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        const NumpyObjects* numpy = numpy_objects();
        if (!numpy) return nullptr;
        if (!PyTuple_Check(arguments[2])) return raise_wrong_type(arguments[2], "tuple", "args");
        if (arguments[3] != Py_None && !PyDict_Check(arguments[3])) {
            return raise_wrong_type(arguments[3], "dict", "kwargs");
        }
        if (!all_types_known(arguments[1], *numpy)) {
            if (PyErr_Occurred()) return nullptr;
            Py_RETURN_NOTIMPLEMENTED;
        }
        const auto found = numpy->by_function.find(arguments[0]);
        if (found == numpy->by_function.end()) return raise_no_rule(arguments[0]);
        PyObject* kwargs = arguments[3] == Py_None ? nullptr : arguments[3];
        return call_with_rule(*found->second, *numpy, arguments[2], kwargs);
    });
}

PyObject* call_registered(std::string_view name, PyObject* args, PyObject* kwargs, bool& found) {
    found = false;
    const NumpyObjects* numpy = numpy_objects();
    if (!numpy) return nullptr;
    const auto row = numpy->by_name.find(name);
    if (row == numpy->by_name.end()) return nullptr;
    found = true;
    return call_with_rule(*row->second, *numpy, args, kwargs);
}

PyObject* call_array_method(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyRef positional = PyRef::steal(PyTuple_New(nargs + 1));
    if (!positional) return nullptr;
    PyTuple_SET_ITEM(positional.get(), 0, Py_NewRef(self));
    for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(positional.get(), i + 1, Py_NewRef(args[i]));
    PyRef keywords;
    if (kwnames && PyTuple_GET_SIZE(kwnames) > 0) {
        keywords = PyRef::steal(PyDict_New());
        if (!keywords) return nullptr;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
            if (PyDict_SetItem(keywords.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]) < 0) return nullptr;
        }
    }
    const std::string key = std::string("ndarray.") + name;
    bool found = false;
    PyObject* result = call_registered(key, positional.get(), keywords.get(), found);
    if (!found && !PyErr_Occurred()) return raise_no_rule_named(key, "");
    return result;
}

PyObject* numpy_registry(PyObject*, PyObject*) {
    return guarded(static_cast<PyObject*>(nullptr), [&]() -> PyObject* {
        PyRef listing = PyRef::steal(PyDict_New());
        if (!listing) return nullptr;
        const auto add = [&](std::string_view name, const char* kind, std::string_view text) {
            PyObject* text_object = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
            PyRef value = PyRef::steal(text_object ? Py_BuildValue("(sN)", kind, text_object) : nullptr);
            PyRef key = PyRef::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
            return value && key && PyDict_SetItem(listing.get(), key.get(), value.get()) == 0;
        };
        for (const Rule& rule : arrays::function_rules()) {
            if (!add(rule.function, "rule", rule.signature)) return nullptr;
        }
        for (const std::string_view name : arrays::ufunc_rule_names()) {
            if (!add(name, "rule", "ufunc")) return nullptr;
        }
        for (const arrays::Refusal& refusal : arrays::refusals()) {
            if (!add(refusal.name, "refused", refusal.reason)) return nullptr;
        }
        return listing.release();
    });
}

}  // namespace tarvel::py
