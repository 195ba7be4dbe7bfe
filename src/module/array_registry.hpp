#pragma once
// The rule registry: how units pass through every NumPy entry point. The rows live in
// array_functions.cpp (functions, the array's methods, ufunc methods) and array_ufuncs.cpp (ufunc calls);
// what has no rule is refused by name with its reason (array_refusals.cpp).

#include <Python.h>

#include <span>
#include <string_view>
#include <vector>

namespace tarvel::py {

struct NumpyRefusal {
    const char* name;    // as under numpy: "bitwise_and", "linalg.slogdet", "cumprod", "multiply.accumulate"
    const char* reason;  // why no unit rule can exist
};

std::span<const NumpyRefusal> numpy_refusals() noexcept;
// The reason `name` is refused, or nullptr when the registry has no refusal of that name.
const char* numpy_refusal_reason(std::string_view name) noexcept;

// Calls the registry row `name` ("ndarray.sum", "add.reduce") with the arguments as NumPy would take
// them. `found` is false (and nothing raised) when there is no such row.
PyObject* call_registered(std::string_view name, PyObject* args, PyObject* kwargs, bool& found);
// self.<name>(*args) through the row "ndarray.<name>".
PyObject* call_array_method(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames);

// The ufunc names with a row in the ufunc table.
std::vector<std::string_view> ufunc_rule_names();

// tarvel._numpy_registry(): {name: ("rule", signature) or ("refused", reason)} for every classified name.
PyObject* numpy_registry(PyObject* module, PyObject* unused);

}  // namespace tarvel::py
