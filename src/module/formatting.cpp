// format() and f-strings. The spec formats the number with Python's float formatting and the unit text
// follows as str() shows it; a trailing "L" or "D" on a Tarvel spec picks the LaTeX or the descriptive
// form instead. An empty spec is exactly str().
//
// Tarvel: like str(), formatting takes exclusive access and leaves the instance quick-simplified. The
// simplified copy is committed only once the text is made, so a bad spec leaves the instance untouched.

#include <Python.h>

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "module/class_kit.hpp"
#include "module/ecosystem.hpp"
#include "quantity/quantity_text.hpp"
#include "unit/number_format.hpp"

namespace tarvel::py {

namespace {

// The spec argument, which must be a str.
bool take_spec(PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, PyObject*& spec) {
    static const Parameters<1> parameters{"__format__", {"format_spec"}, 1};
    std::array<PyObject*, 1> arguments{};
    if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return false;
    if (!PyUnicode_Check(arguments[0])) {
        raise_wrong_type(arguments[0], "str", "format_spec");
        return false;
    }
    spec = arguments[0];
    return true;
}

// format(value, spec) followed by `tail`. Joined as Python text: a fill character of the spec may be any
// code point, even one with no UTF-8 form. Python's ValueError when the spec is no float spec.
PyObject* formatted_number(double value, PyObject* spec, std::string_view tail) {
    PyRef number = PyRef::steal(PyFloat_FromDouble(value));
    if (!number) return nullptr;
    PyRef text = PyRef::steal(PyObject_Format(number.get(), spec));
    if (!text) return nullptr;
    PyRef rest = PyRef::steal(to_py_str(tail));
    if (!rest) return nullptr;
    return PyUnicode_Concat(text.get(), rest.get());
}

}  // namespace

PyObject* tarvel_format(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyObject* spec = nullptr;
        if (!take_spec(args, nargsf, kwnames, spec)) return nullptr;
        return with_exclusive<TarvelObject>(self, [&](Quantity& q) -> PyObject* {
            const Py_ssize_t length = PyUnicode_GET_LENGTH(spec);
            if (length == 0) {
                Result<std::string> text = display_in_place(q);
                if (!text) return raise_error(text.error());
                return to_py_str(*text);
            }

            const TextForm form = text_form_of(PyUnicode_READ_CHAR(spec, length - 1));
            PyRef number_spec = form == TextForm::Display ? PyRef::borrow(spec)
                                                          : PyRef::steal(PyUnicode_Substring(spec, 0, length - 1));
            if (!number_spec) return nullptr;

            Result<Quantity> simple = normalise(q);
            if (!simple) return raise_error(simple.error());
            Result<FormattedParts> parts = formatted_parts(*simple, form);
            if (!parts) return raise_error(parts.error());
            const double value = parts->value;
            const std::string& tail = parts->tail;
            PyObject* result = nullptr;
            if (PyUnicode_GET_LENGTH(number_spec.get()) == 0) {
                // "L" or "D" alone: the number as latex() and descriptive() write it.
                std::string out;
                append_number(out, value);
                result = to_py_str(out + tail);
            } else {
                result = formatted_number(value, number_spec.get(), tail);
            }
            if (result) q = std::move(*simple);
            return result;
        });
    });
}

PyObject* log_tarvel_format(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyObject* spec = nullptr;
        if (!take_spec(args, nargsf, kwnames, spec)) return nullptr;
        return with_shared<LogTarvelObject>(self, [&](const LogQuantity& log) -> PyObject* {
            if (PyUnicode_GET_LENGTH(spec) == 0) return to_py_str(log_display(log));
            // A logarithmic quantity has one text form: every spec is a float spec (so "L" is refused).
            return formatted_number(log.power, spec, " [" + std::string(log.scale->symbol) + "]");
        });
    });
}

}  // namespace tarvel::py
