#include <Python.h>

#include "module/access.hpp"

namespace tarvel::py {

std::nullptr_t raise_already_mutably_borrowed() {
    PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    return nullptr;
}

std::nullptr_t raise_already_borrowed() {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    return nullptr;
}

}  // namespace tarvel::py
