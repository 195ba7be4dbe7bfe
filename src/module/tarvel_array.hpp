#pragma once
#include <Python.h>
#include "unit/shared_units.hpp"
#include "unit/unit_collection.hpp"
#include "module/py_ref.hpp"
namespace tarvel::py {
struct TarvelArrayObject {
    PyObject_HEAD
    PyObject* magnitudes;   // owned: an ndarray (float64 or float32) -- later any NumPy-dispatching array
    SharedUnits units;      // fixed for the object's lifetime; shared with the quantities it gives
};
PyTypeObject* tarvel_array_type();          // created once; nullptr with exception on failure
bool is_tarvel_array(PyObject* object) noexcept;
// New TarvelArray holding a new reference to `magnitudes` in `units` (no copy, no normalisation).
PyObject* new_tarvel_array(PyObject* magnitudes, SharedUnits units);
// A quantity-like operand for the array protocols: a TarvelArray, a Tarvel, a number, a plain array or
// unit text, read as magnitudes (array or float) plus units.
struct ArrayOperand { PyRef magnitudes; SharedUnits units; };
// Extracts any operand; false with TypeError set when it is not one.
bool extract_array_operand(PyObject* object, ArrayOperand& out);
// `operand`'s magnitudes re-expressed in `target` with the scalar conversion rule (new reference), or
// nullptr with the scalar's TypeError ("[km] and [s] are not compatible") set.
PyObject* magnitudes_in(const ArrayOperand& operand, const SharedUnits& target);
// The same for a difference of values (a tolerance): by factors alone, offsets never apply.
PyObject* interval_magnitudes_in(const ArrayOperand& operand, const SharedUnits& target);
// The method TarvelArray.__array_function__, defined in array_functions.cpp [array-functions helper]:
PyObject* tarvel_array_function(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
}
