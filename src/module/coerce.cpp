#include "module/coerce.hpp"

#include "module/args.hpp"
#include "module/boundary.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"
#include "quantity/operation_plan.hpp"

namespace tarvel::py {

namespace {

Extraction failed(bool for_slot) {
    if (for_slot) PyErr_Clear();
    return Extraction::Failed;
}

// A Python int of any size, converted as float(int) does (OverflowError beyond the float range).
bool int_value(PyObject* object, double& out) {
    out = PyLong_AsDouble(object);
    return !(out == -1.0 && PyErr_Occurred());
}

// The current exception, taken out of the error indicator.
PyRef take_exception() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value && traceback) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return PyRef::steal(value);
}

// Shows `context` as what led to the exception now set (its __context__).
void chain_context(PyRef context) {
    if (!context) return;
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value) PyException_SetContext(value, context.release());
    PyErr_Restore(type, value, traceback);
}

enum class Scalar { Taken, Failed, NotANumber, Raised };

// Only a TypeError says that an object does not convert; anything else is a real failure to pass on.
bool conversion_refused() { return PyErr_ExceptionMatches(PyExc_TypeError) != 0; }

// Scalars of other libraries (NumPy, fractions, decimal): an object whose type has __index__ is read as
// an int, one with __float__ as a float. A conversion that raises makes the object no number; for a named
// method its exception is kept in `refusal` to explain the refusal. Failed: the int does not fit a float.
Scalar other_scalar(PyObject* object, double& out, PyRef& refusal, bool for_slot) {
    // NumPy's complex scalars convert with a mere warning, dropping the imaginary part: refused outright
    // (slots too, so that the refusal names the type). Python's complex has no __float__: slots decline it.
    if (!PyComplex_CheckExact(object) && is_complex_number(object)) {
        raise_error(TarvelError::complex_values(value_type_name(object)));
        return Scalar::Raised;
    }
    const PyNumberMethods* methods = Py_TYPE(object)->tp_as_number;
    if (!methods) return Scalar::NotANumber;
    auto refused = [&] {
        if (for_slot) {
            PyErr_Clear();
        } else {
            refusal = take_exception();
        }
    };
    if (methods->nb_index) {
        PyRef index = PyRef::steal(PyNumber_Index(object));
        if (index) {
            if (int_value(index.get(), out)) return Scalar::Taken;
            return PyErr_ExceptionMatches(PyExc_OverflowError) ? Scalar::Failed : Scalar::Raised;
        }
        if (!conversion_refused()) return Scalar::Raised;
        refused();
    }
    if (methods->nb_float) {
        PyRef number = PyRef::steal(PyNumber_Float(object));
        if (number) {
            out = PyFloat_AS_DOUBLE(number.get());
            return Scalar::Taken;
        }
        if (!conversion_refused()) return Scalar::Raised;
        refused();
    }
    return Scalar::NotANumber;
}

}  // namespace

std::string value_type_name(PyObject* object) {
    if (is_ndarray(object) && !is_masked_array(object)) {
        PyRef dtype = PyRef::steal(PyObject_GetAttrString(object, "dtype"));
        if (dtype) return text_of_object(dtype.get());
        PyErr_Clear();
    }
    return type_name_of(object);
}

std::string text_of_object(PyObject* object) {
    PyRef text = PyRef::steal(PyObject_Str(object));
    if (text) {
        Py_ssize_t size = 0;
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size)) {
            return std::string(utf8, static_cast<std::size_t>(size));
        }
    }
    PyErr_WriteUnraisable(object);
    PyRef type_name = PyRef::steal(PyType_GetName(Py_TYPE(object)));
    if (type_name) {
        if (const char* name = PyUnicode_AsUTF8(type_name.get())) {
            return std::string("<unprintable ") + name + " object>";
        }
    }
    PyErr_Clear();
    return "<unprintable object>";
}

Extraction extract_unit_coercible(PyObject* object, QuantityOperand& out, bool for_slot) {
    if (is_tarvel(object)) {
        TarvelObject* tarvel = as_tarvel(object);
        SharedAccess access(tarvel->access);
        if (!access) {
            if (!for_slot) raise_already_mutably_borrowed();
            return Extraction::Failed;
        }
        out.read_in_place(tarvel->quantity, std::move(access));
        return Extraction::Ok;
    }
    if (is_log_tarvel(object)) {
        out.hold(unitless_quantity(as_log_tarvel(object)->log.ratio()));
        return Extraction::Ok;
    }
    if (PyFloat_Check(object)) {
        out.hold(unitless_quantity(PyFloat_AS_DOUBLE(object)));
        return Extraction::Ok;
    }
    if (PyLong_Check(object)) {
        double value = 0.0;
        if (!int_value(object, value)) return failed(for_slot);
        out.hold(unitless_quantity(value));
        return Extraction::Ok;
    }
    if (PyUnicode_Check(object)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(object, &size);
        if (!text) {
            // A str with no UTF-8 form (a lone surrogate) is no unit expression either.
            if (for_slot || !PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return failed(for_slot);
            PyErr_Clear();
            raise_not_found_text(object, "Unit ", " not found");
            return Extraction::Failed;
        }
        const std::string_view view(text, static_cast<std::size_t>(size));
        std::optional<SharedUnits> units = shared_units_from_text(view);
        if (!units) {
            if (!for_slot) raise_error(TarvelError::unit_not_found(std::string(view)));
            return Extraction::Failed;
        }
        out.hold(Quantity{std::move(*units), 1.0});
        return Extraction::Ok;
    }
    double number = 0.0;
    PyRef refusal;
    switch (other_scalar(object, number, refusal, for_slot)) {
        case Scalar::Taken: out.hold(unitless_quantity(number)); return Extraction::Ok;
        case Scalar::Failed: return failed(for_slot);
        case Scalar::Raised: return Extraction::Raised;
        case Scalar::NotANumber: break;
    }
    if (!for_slot) {
        raise_error(TarvelError::not_coercible_to_unit(text_of_object(object)));
        chain_context(std::move(refusal));
    }
    return Extraction::Failed;
}

Extraction extract_py_number(PyObject* object, LogOperand& out, bool for_slot) {
    if (PyFloat_Check(object)) {
        out = LogOperand{PyFloat_AS_DOUBLE(object), std::nullopt};
        return Extraction::Ok;
    }
    if (PyLong_Check(object)) {
        double value = 0.0;
        if (!int_value(object, value)) return failed(for_slot);
        out = LogOperand{value, std::nullopt};
        return Extraction::Ok;
    }
    if (is_log_tarvel(object)) {
        const LogQuantity& log = as_log_tarvel(object)->log;
        out = LogOperand{log.ratio(), log};
        return Extraction::Ok;
    }
    PyRef refusal;
    // A Tarvel converts with float() but is no number.
    if (!is_tarvel(object)) {
        double number = 0.0;
        switch (other_scalar(object, number, refusal, for_slot)) {
            case Scalar::Taken: out = LogOperand{number, std::nullopt}; return Extraction::Ok;
            case Scalar::Failed: return failed(for_slot);
            case Scalar::Raised: return Extraction::Raised;
            case Scalar::NotANumber: break;
        }
    }
    if (!for_slot) {
        raise_error(TarvelError::not_coercible_to_number(text_of_object(object)));
        chain_context(std::move(refusal));
    }
    return Extraction::Failed;
}

}  // namespace tarvel::py
