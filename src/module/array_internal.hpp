#pragma once
// What the array files share beyond the public contract: the operations on extracted operands (used by
// the operator slots of both quantity classes and by the ufunc table) and result wrapping.

#include <Python.h>

#include "array/ufunc_rules.hpp"
#include "module/tarvel_array.hpp"
#include "quantity/quantity.hpp"

namespace tarvel::py {

using arrays::ArrayBinary;
using arrays::ArrayUnary;

// True when the operand's magnitudes are an array (not a scalar float).
inline bool operand_is_array(const ArrayOperand& operand) noexcept {
    return operand.magnitudes && !PyFloat_CheckExact(operand.magnitudes.get());
}

// extract_array_operand for a slot: false with no exception set when the object is no operand.
bool extract_array_operand_for_slot(PyObject* object, ArrayOperand& out);

// Results: a TarvelArray when either operand is an array, else the scalar operation's Tarvel / bool.
PyObject* array_binary(ArrayBinary op, const ArrayOperand& s, const ArrayOperand& o);
PyObject* array_compare(const ArrayOperand& s, const ArrayOperand& o, CompareOp op);
PyObject* array_unary(ArrayUnary op, const ArrayOperand& s);

// The number slots of either class when an array takes part: the left operand is the instance s when it
// is a quantity (forward), else the right one (reflected). NotImplemented when an operand is not one.
PyObject* array_binary_slot(ArrayBinary forward, ArrayBinary reflected, PyObject* left, PyObject* right);
// Comparison with `self` (a Tarvel or a TarvelArray) as s.
PyObject* array_richcompare(PyObject* self, PyObject* other, int op);
// True for an operand that makes a scalar operation an array one (a TarvelArray or an ndarray).
bool is_array_like(PyObject* object) noexcept;

// Wraps new magnitudes: an ndarray becomes a TarvelArray in `units`, a NumPy or Python scalar a Tarvel.
// Steals `magnitudes` (nullptr passes through).
PyObject* wrap_magnitudes(PyObject* magnitudes, const SharedUnits& units);

// An ndarray of float64 or float32 for `object` (ints and bools become float64): new reference, or
// nullptr with TypeError for other dtypes. `copy`: always a fresh array.
PyObject* float_array(PyObject* object, bool copy);

// Magnitudes that are a foreign array NumPy dispatches to (not an ndarray): formulas on them run as
// NumPy ufunc calls, so they stay as lazy as the array is.
bool is_duck_array(PyObject* object) noexcept;
bool is_duck_array_type(PyTypeObject* type) noexcept;
// The plan's formula applied to a float or an array through ufuncs (new reference): plan(x * pre_scale)
// / post_divisor, stored as float32 when x is float32, as the element loops store it.
PyObject* duck_apply(const MagnitudePlan& plan, PyObject* x, double pre_scale = 1.0, double post_divisor = 1.0);
PyObject* duck_binary(ArrayBinary op, const ArrayOperand& s, const ArrayOperand& o);
PyObject* duck_binary_steps(ArrayBinary op, const ArrayOperand& s, const ArrayOperand& o);
PyObject* duck_compare(const ArrayOperand& s, const ArrayOperand& o, CompareOp op);
PyObject* duck_unary(ArrayUnary op, const ArrayOperand& s);
// plan(numpy.<name>(x)) computed in double, stored as the element loops store it.
PyObject* duck_algebra(const char* name, const MagnitudePlan& plan, PyObject* x);
inline bool operand_is_duck(const ArrayOperand& operand) noexcept {
    return operand.magnitudes && is_duck_array(operand.magnitudes.get());
}

// __array_ufunc__ of both classes.
PyObject* quantity_array_ufunc(PyObject* self, PyObject* args, PyObject* kwargs);

}  // namespace tarvel::py
