#pragma once
// Calls through the rule registry (array/registry.hpp, array/ufunc_rules.hpp): the rows are the core's,
// the reading of Python arguments into their roles is array_functions.cpp.

#include <Python.h>

#include <string_view>

namespace tarvel::py {

// Calls the registry row `name` ("ndarray.sum", "add.reduce") with the arguments as NumPy would take
// them. `found` is false (and nothing raised) when there is no such row.
PyObject* call_registered(std::string_view name, PyObject* args, PyObject* kwargs, bool& found);
// self.<name>(*args) through the row "ndarray.<name>".
PyObject* call_array_method(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames);

// tarvel._numpy_registry(): {name: ("rule", signature) or ("refused", reason)} for every classified name.
PyObject* numpy_registry(PyObject* module, PyObject* unused);

}  // namespace tarvel::py
