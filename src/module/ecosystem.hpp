#pragma once
// The methods that let both classes take part in Python's own protocols beyond arithmetic: format() and
// f-strings (formatting.cpp), copy, deepcopy and pickle (pickling.cpp). They are registered after each
// class's own methods. All use METH_FASTCALL | METH_KEYWORDS; _from_state is a class method.

#include <Python.h>

namespace tarvel::py {

// __format__($self, format_spec)
PyObject* tarvel_format(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_format(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// __copy__($self) and __deepcopy__($self, memo): an instance holds no Python objects, so both make the
// same independent instance.
PyObject* tarvel_copy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* tarvel_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_copy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// __reduce__($self): (Class._from_state, (state,)). The module holds no reconstructor of its own, so pickle
// reaches it as an attribute of the class.
PyObject* tarvel_reduce(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_reduce(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// _from_state($cls, state): rebuilds an instance from the state __reduce__ gave, after checking all of it
// (TypeError for a value of the wrong type, ValueError for a wrong value).
PyObject* tarvel_from_state(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_from_state(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// Methods written in Python (python_methods.cpp), forwarded with the class or instance first:
// __get_pydantic_core_schema__($cls, source, handler) of both quantity classes -> tarvel.pydantic, and
// __arrow_array__($self, type=None) of TarvelArray -> tarvel.arrow.
PyObject* pydantic_core_schema(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* tarvel_array_arrow_array(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace tarvel::py
