#include "module/array_loops.hpp"

#include "module/boundary.hpp"

#include <string>

namespace tarvel::py::loops {

PyObject* shape_tuple(const Py_ssize_t* shape, int ndim) {
    PyObject* tuple = PyTuple_New(ndim);
    if (!tuple) return nullptr;
    for (int d = 0; d < ndim; ++d) {
        PyObject* extent = PyLong_FromSsize_t(shape[d]);
        if (!extent) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, d, extent);
    }
    return tuple;
}

bool raise_broadcast_error(const Py_buffer* const* views, std::size_t count) {
    std::string text;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) text += ' ';
        text += '(';
        for (int d = 0; d < views[k]->ndim; ++d) {
            text += std::to_string(views[k]->shape[d]);
            text += ',';
        }
        if (views[k]->ndim > 1) text.pop_back();
        text += ')';
    }
    raise_error(TarvelError::not_broadcastable(std::move(text)));
    return false;
}

}  // namespace tarvel::py::loops
