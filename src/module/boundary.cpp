#include "module/boundary.hpp"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "module/py_ref.hpp"
#include "error/notes.hpp"
#include "unit/common_notation.hpp"
#include "unit/suggestions.hpp"

namespace tarvel::py {

PyObject* panic_exception_type() {
    // One class for the life of the process, like the quantity classes, published once (a thread that
    // loses the race to make it drops its own).
    static std::atomic<PyObject*> published{nullptr};
    if (PyObject* type = published.load(std::memory_order_acquire)) return type;
    PyObject* made = PyErr_NewExceptionWithDoc("tarvel.PanicException",
                                               "An internal invariant of tarvel was broken; the operation was "
                                               "abandoned and its operands are unchanged.",
                                               PyExc_BaseException, nullptr);
    if (!made) return nullptr;
    PyObject* expected = nullptr;
    if (published.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
    Py_DECREF(made);
    return expected;
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

namespace {

// A text that the common-notation reader reads gains a note saying so.
std::vector<std::string> with_reader_note(std::vector<std::string> notes, std::string_view text) {
    if (std::optional<std::string> reading = common_notation_reading(text)) {
        notes.push_back(note_common_notation(*reading));
    }
    return notes;
}

// What a failed lookup probably meant; computed only here, on the failure path.
std::vector<std::string> lookup_notes(const TarvelError& error) {
    switch (error.kind) {
        case ErrorKind::UnitNotFound: return with_reader_note(unit_lookup_notes(error.first), error.first);
        case ErrorKind::LogUnitNotFound: return log_unit_lookup_notes(error.first);
        case ErrorKind::ConstantNotFound: return constant_lookup_notes(error.first);
        default: return {};
    }
}

// Adds the notes to the exception being raised. A note that cannot be added is dropped: the error
// itself matters more.
void add_notes(const std::vector<std::string>& notes) {
    if (notes.empty()) return;
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value) {
        for (const std::string& note : notes) {
            PyRef text = PyRef::steal(to_py_str(note));
            PyRef result =
                text ? PyRef::steal(PyObject_CallMethod(value, "add_note", "O", text.get())) : PyRef();
            if (!result) PyErr_Clear();
        }
    }
    PyErr_Restore(type, value, traceback);
}

}  // namespace

std::nullptr_t raise_error(const TarvelError& error) {
    PyObject* type = PyExc_TypeError;
    switch (error.kind) {
        case ErrorKind::UnitNotFound:
        case ErrorKind::LogUnitNotFound:
        case ErrorKind::ConstantNotFound:
        case ErrorKind::UnitNotRead: type = PyExc_LookupError; break;
        case ErrorKind::IncompatibleUnits:
        case ErrorKind::NotCoercibleToUnit:
        case ErrorKind::NotCoercibleToNumber: type = PyExc_TypeError; break;
        case ErrorKind::UnsupportedNumpy:
        case ErrorKind::UnsupportedNumpyArgument:
        case ErrorKind::NeedsCompute:
        case ErrorKind::UnitsWouldBeDropped:
        case ErrorKind::UnsupportedDtype:
        case ErrorKind::MaskedValues:
        case ErrorKind::ComplexValues:
        case ErrorKind::NoPreferredProduct: type = PyExc_TypeError; break;
        case ErrorKind::LazyMagnitudes:
        case ErrorKind::ElementDeletion:
        case ErrorKind::MalformedUfuncCall: type = PyExc_TypeError; break;
        case ErrorKind::NoInMemoryAttribute: type = PyExc_AttributeError; break;
        case ErrorKind::NotBroadcastable:
        case ErrorKind::InvalidPower:
        case ErrorKind::ProductOutOfRange:
        case ErrorKind::QuotientOutOfRange:
        case ErrorKind::UnreadableQuantity:
        case ErrorKind::NonUniformPower:
        case ErrorKind::CopyRequired:
        case ErrorKind::CustomUnitClash: type = PyExc_ValueError; break;
    }
    const std::string message = error.message();
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (!text) return nullptr;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
    add_notes(lookup_notes(error));
    return nullptr;
}

PyObject* to_py_str(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* to_py_float(double value) { return PyFloat_FromDouble(value); }

PyObject* to_py_int(double value) { return PyLong_FromDouble(value); }

}  // namespace tarvel::py
