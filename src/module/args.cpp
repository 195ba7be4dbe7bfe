#include "module/args.hpp"

#include <climits>
#include <cstring>
#include <string>

#include "module/py_ref.hpp"

namespace tarvel::py {

bool parse_arguments_internal(const char* function_name, const char* const* names, std::size_t count,
                              std::size_t required, PyObject* const* args, Py_ssize_t nargsf,
                              PyObject* kwnames, PyObject** out) {
    const Py_ssize_t positional = PyVectorcall_NARGS(nargsf);
    const auto max_positional = static_cast<Py_ssize_t>(count);
    if (positional > max_positional) {
        if (count == 0) {
            PyErr_Format(PyExc_TypeError, "%.200s() takes no positional arguments", function_name);
        } else {
            PyErr_Format(PyExc_TypeError, "%.200s() takes %s %zd positional argument%s (%zd given)",
                         function_name, required < count ? "at most" : "exactly", max_positional,
                         count == 1 ? "" : "s", positional);
        }
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<Py_ssize_t>(i) < positional ? args[i] : nullptr;
    }
    if (kwnames) {
        const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < keywords; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            Py_ssize_t key_size = 0;
            const char* key_text = PyUnicode_AsUTF8AndSize(key, &key_size);
            if (!key_text) return false;
            std::size_t index = count;
            for (std::size_t i = 0; i < count; ++i) {
                if (std::strlen(names[i]) == static_cast<std::size_t>(key_size) &&
                    std::memcmp(names[i], key_text, static_cast<std::size_t>(key_size)) == 0) {
                    index = i;
                    break;
                }
            }
            if (index == count) {
                PyErr_Format(PyExc_TypeError, "'%S' is an invalid keyword argument for %.200s()", key,
                             function_name);
                return false;
            }
            if (out[index]) {
                PyErr_Format(PyExc_TypeError, "argument for %.200s() given by name ('%s') and position (%zu)",
                             function_name, names[index], index + 1);
                return false;
            }
            out[index] = args[positional + k];
        }
    }
    for (std::size_t i = 0; i < required; ++i) {
        if (!out[i]) {
            PyErr_Format(PyExc_TypeError, "%.200s() missing required argument '%s' (pos %zu)", function_name,
                         names[i], i + 1);
            return false;
        }
    }
    return true;
}

bool parse_one_argument(const char* function_name, const char* parameter, bool required, PyObject* const* args,
                        Py_ssize_t nargsf, PyObject* kwnames, PyObject*& out) {
    out = nullptr;
    return parse_arguments_internal(function_name, &parameter, 1, required ? 1 : 0, args, nargsf, kwnames,
                                    &out);
}

bool parse_n_sig_figs(PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, int& out) {
    PyObject* value = nullptr;
    return parse_one_argument("round_sfig", "n_sig_figs", true, args, nargsf, kwnames, value) &&
           extract_int32(value, "n_sig_figs", out);
}

bool parse_ndigits(const char* function_name, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                   std::optional<std::int32_t>& out) {
    PyObject* value = nullptr;
    if (!parse_one_argument(function_name, "ndigits", false, args, nargsf, kwnames, value)) return false;
    if (value == nullptr || value == Py_None) return true;
    int n = 0;
    if (!extract_int32(value, "ndigits", n)) return false;
    out = n;
    return true;
}

bool parse_no_arguments(const char* function_name, Py_ssize_t nargsf, PyObject* kwnames) {
    const Py_ssize_t positional = PyVectorcall_NARGS(nargsf);
    if (positional != 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", function_name, positional);
        return false;
    }
    if (kwnames && PyTuple_GET_SIZE(kwnames) != 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", function_name);
        return false;
    }
    return true;
}

std::nullptr_t add_argument_note(const char* parameter) {
    // An interrupt or an exit (KeyboardInterrupt, SystemExit) is about the program, not the argument.
    if (!PyErr_Occurred() || !PyErr_ExceptionMatches(PyExc_Exception)) return nullptr;
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback && value) PyException_SetTraceback(value, traceback);
    if (value) {
        const std::string note = std::string("while processing '") + parameter + "'";
        PyRef result = PyRef::steal(PyObject_CallMethod(value, "add_note", "s", note.c_str()));
        // The original error matters more than a note that could not be added.
        if (!result) PyErr_Clear();
    }
    PyErr_Restore(type, value, traceback);
    return nullptr;
}

std::nullptr_t raise_wrong_type(PyObject* value, const char* required_type, const char* parameter) {
    if (value == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", required_type);
    } else {
        PyRef type_name = PyRef::steal(PyType_GetName(Py_TYPE(value)));
        if (!type_name) return add_argument_note(parameter);
        PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", type_name.get(), required_type);
    }
    return add_argument_note(parameter);
}

bool extract_text(PyObject* value, const char* parameter, std::string_view& out) {
    if (!PyUnicode_Check(value)) {
        raise_wrong_type(value, "str", parameter);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value, &size);
    if (!text) {
        add_argument_note(parameter);
        return false;
    }
    out = std::string_view(text, static_cast<std::size_t>(size));
    return true;
}

bool extract_lookup_text(PyObject* value, const char* parameter, const char* prefix, const char* suffix,
                         std::string_view& out) {
    if (PyUnicode_Check(value)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(value, &size);
        if (text) {
            out = std::string_view(text, static_cast<std::size_t>(size));
            return true;
        }
        if (PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) {
            PyErr_Clear();
            raise_not_found_text(value, prefix, suffix);
            return false;
        }
        add_argument_note(parameter);
        return false;
    }
    return extract_text(value, parameter, out);
}

std::nullptr_t raise_not_found_text(PyObject* text, const char* prefix, const char* suffix) {
    PyErr_Format(PyExc_LookupError, "%s%U%s", prefix, text, suffix);
    return nullptr;
}

bool extract_int32(PyObject* value, const char* parameter, int& out) {
    PyRef index = PyRef::steal(PyNumber_Index(value));
    if (!index) {
        add_argument_note(parameter);
        return false;
    }
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (number == -1 && PyErr_Occurred()) {
        add_argument_note(parameter);
        return false;
    }
    if (overflow != 0 || number > INT_MAX || number < INT_MIN) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C int");
        add_argument_note(parameter);
        return false;
    }
    out = static_cast<int>(number);
    return true;
}

}  // namespace tarvel::py
