#pragma once
// Reading quantities from text and asking what a quantity is: parse, dimensions, compatibility, the
// units alone and their text forms, and the notebook display. METH_FASTCALL | METH_KEYWORDS, the parse
// methods class methods; those of no parameters are bodies taking the instance (registered through
// no_arguments, class_kit.hpp).

#include <Python.h>

namespace tarvel::py {

// Tarvel.parse($cls, text) and LogTarvel.parse($cls, text)
PyObject* tarvel_parse(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* log_tarvel_parse(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// dimensions($self): {base unit symbol: exponent}, non-zero exponents in base-dimension order.
PyObject* tarvel_dimensions(PyObject* self);
// is_compatible($self, other): same dimensions as anything unit-like.
PyObject* tarvel_is_compatible(PyObject* self, PyObject* argument);
// units($self): magnitude 1 in exactly the instance's units.
PyObject* tarvel_units(PyObject* self);
// unit_text($self), unit_latex($self), unit_descriptive($self): the unit part of str(), latex() and
// descriptive(); the instance is not changed.
PyObject* tarvel_unit_text(PyObject* self);
PyObject* tarvel_unit_latex(PyObject* self);
PyObject* tarvel_unit_descriptive(PyObject* self);
// _repr_latex_($self): latex() between "$" signs, for notebooks; changes the instance as latex() does.
PyObject* tarvel_repr_latex(PyObject* self);

}  // namespace tarvel::py
