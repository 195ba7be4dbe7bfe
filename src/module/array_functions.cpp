// TarvelArray.__array_function__: placeholder until the rule table lands.

#include "module/boundary.hpp"
#include "module/tarvel_array.hpp"

namespace tarvel::py {

PyObject* tarvel_array_function(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) {
    return guarded(static_cast<PyObject*>(nullptr), []() -> PyObject* {
        PyErr_SetString(PyExc_TypeError, "no NumPy function is supported on TarvelArray yet");
        return nullptr;
    });
}

}  // namespace tarvel::py
