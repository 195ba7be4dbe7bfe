#include "module/boundary.hpp"

#include <string>

namespace tarvel::py {

PyObject* panic_exception_type() {
    // One class for the life of the process, like the two quantity classes.
    static PyObject* type = nullptr;
    if (!type) {
        type = PyErr_NewExceptionWithDoc("tarvel.PanicException",
                                         "An internal invariant of tarvel was broken; the operation was "
                                         "abandoned and its operands are unchanged.",
                                         PyExc_BaseException, nullptr);
    }
    return type;
}

std::nullptr_t raise_panic(std::string_view message) {
    PyObject* type = panic_exception_type();
    if (!type) return nullptr;  // the creation error stays set
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (!text) return nullptr;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
    return nullptr;
}

std::nullptr_t raise_error(const TarvelError& error) {
    PyObject* type = PyExc_TypeError;
    switch (error.kind) {
        case ErrorKind::UnitNotFound:
        case ErrorKind::LogUnitNotFound:
        case ErrorKind::ConstantNotFound: type = PyExc_LookupError; break;
        case ErrorKind::IncompatibleUnits:
        case ErrorKind::NotCoercibleToUnit:
        case ErrorKind::NotCoercibleToNumber: type = PyExc_TypeError; break;
        case ErrorKind::UnsupportedNumpy:
        case ErrorKind::UnitsWouldBeDropped:
        case ErrorKind::UnsupportedDtype: type = PyExc_TypeError; break;
        case ErrorKind::InvalidPower:
        case ErrorKind::NonUniformPower:
        case ErrorKind::CopyRequired: type = PyExc_ValueError; break;
    }
    const std::string message = error.message();
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (!text) return nullptr;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
    return nullptr;
}

PyObject* to_py_str(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* to_py_float(double value) { return PyFloat_FromDouble(value); }

PyObject* to_py_int(double value) { return PyLong_FromDouble(value); }

}  // namespace tarvel::py
