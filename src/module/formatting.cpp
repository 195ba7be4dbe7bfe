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

enum class Form { Display, Latex, Descriptive };

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

            Form form = Form::Display;
            const Py_UCS4 last = PyUnicode_READ_CHAR(spec, length - 1);
            if (last == 'L') form = Form::Latex;
            if (last == 'D') form = Form::Descriptive;
            PyRef number_spec =
                form == Form::Display ? PyRef::borrow(spec) : PyRef::steal(PyUnicode_Substring(spec, 0, length - 1));
            if (!number_spec) return nullptr;

            Result<Quantity> simple = normalise(q);
            if (!simple) return raise_error(simple.error());

            // The display form shows a fully simplified copy; the other two the quick-simplified units.
            double value = simple->value;
            std::string units;
            const char* separator = " ";
            switch (form) {
                case Form::Display: {
                    Result<Quantity> shown = simplified(*simple);
                    if (!shown) return raise_error(shown.error());
                    value = shown->value;
                    units = as_string(shown->units);
                    break;
                }
                case Form::Latex:
                    separator = "~";
                    units = as_latex(simple->units);
                    break;
                case Form::Descriptive: units = as_descriptive_string(simple->units); break;
            }

            std::string tail = separator + units;
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
