#pragma once
// Methods for readable results and unit annotations: to_compact, as_preferred, and the subscription
// Tarvel["m/s"] / TarvelArray["m"] that makes an annotation. METH_FASTCALL | METH_KEYWORDS except the
// subscription (METH_O | METH_CLASS) and to_compact (a body for no_arguments, class_kit.hpp).

#include <Python.h>

namespace tarvel::py {

// to_compact($self): the first unit re-prefixed so that the magnitude lies in [1, 1000).
PyObject* tarvel_to_compact(PyObject* self);
// as_preferred($self, units): in the shortest product of the given units with the same dimensions.
PyObject* tarvel_as_preferred(PyObject* self, PyObject* argument);
// __class_getitem__($cls, units): typing.Annotated[cls, tarvel.Unit(units)] (tarvel.annotations builds it).
PyObject* class_getitem(PyObject* cls, PyObject* item);
// The module's __getattr__(name): Unit, Dim and checked, imported from tarvel.annotations on first use.
PyObject* module_getattr(PyObject* module, PyObject* name);

}  // namespace tarvel::py
