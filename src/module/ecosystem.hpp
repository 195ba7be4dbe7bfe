#pragma once
// Methods of the classes' Python protocols beyond arithmetic and copy/pickle (those are the kit's,
// class_kit.hpp): format() and f-strings (formatting.cpp) and the methods written in Python. All use
// METH_FASTCALL | METH_KEYWORDS.

#include <Python.h>

namespace tarvel::py {

// __format__($self, format_spec)
PyObject* tarvel_format(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_format(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// Methods written in Python (python_methods.cpp), forwarded with the class or instance first:
// __get_pydantic_core_schema__($cls, source, handler) of both quantity classes -> tarvel.pydantic, and
// __arrow_array__($self, type=None) of TarvelArray -> tarvel.arrow.
PyObject* pydantic_core_schema(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* tarvel_array_arrow_array(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace tarvel::py
