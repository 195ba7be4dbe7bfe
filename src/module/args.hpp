#pragma once
// Argument parsing for METH_FASTCALL | METH_KEYWORDS methods, with the interpreter's usual messages, and
// the helpers that report a bad argument.

#include <Python.h>

#include <array>
#include <cstdint>
#include <optional>
#include <cstddef>
#include <string_view>

namespace tarvel::py {

// A method's parameters: all positional-or-keyword; the first `required` ones are required.
template <std::size_t N>
struct Parameters {
    const char* function_name;  // for messages: "as_number"
    std::array<const char*, N> names;
    std::size_t required;
};

// Fills out[i] with a borrowed reference to argument i, or nullptr when it was not given. Returns false
// with TypeError set for a missing required argument, an unknown keyword, an argument given twice or
// too many positional arguments.
bool parse_arguments_internal(const char* function_name, const char* const* names, std::size_t count,
                              std::size_t required, PyObject* const* args, Py_ssize_t nargsf,
                              PyObject* kwnames, PyObject** out);

template <std::size_t N>
bool parse_arguments(const Parameters<N>& parameters, PyObject* const* args, Py_ssize_t nargsf,
                     PyObject* kwnames, std::array<PyObject*, N>& out) {
    return parse_arguments_internal(parameters.function_name, parameters.names.data(), N, parameters.required,
                                    args, nargsf, kwnames, out.data());
}

// The one parameter of a method: its argument (borrowed; nullptr when an optional one was not given).
// False with TypeError set as parse_arguments sets it.
bool parse_one_argument(const char* function_name, const char* parameter, bool required, PyObject* const* args,
                        Py_ssize_t nargsf, PyObject* kwnames, PyObject*& out);
// The rounding arguments every class reads alike: round_sfig(n_sig_figs) and round(ndigits=None).
bool parse_n_sig_figs(PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, int& out);
bool parse_ndigits(const char* function_name, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                   std::optional<std::int32_t>& out);

// For methods without parameters: false with TypeError set when anything was passed.
bool parse_no_arguments(const char* function_name, Py_ssize_t nargsf, PyObject* kwnames);

// Attaches "while processing '<parameter>'" to the current exception (add_note). Returns nullptr.
std::nullptr_t add_argument_note(const char* parameter);

// TypeError "'<type>' object is not an instance of '<required>'" ("'None' is not an instance of ..."
// for None), with the argument note. Returns nullptr.
std::nullptr_t raise_wrong_type(PyObject* value, const char* required_type, const char* parameter);

// The UTF-8 text of a str argument (borrowed from the object); false with the wrong-type TypeError and
// the note set otherwise.
bool extract_text(PyObject* value, const char* parameter, std::string_view& out);

// extract_text for text that names something to look up (a unit, a constant, a scale). A str with no
// UTF-8 form (it holds a lone surrogate) names nothing: false with LookupError "<prefix><text><suffix>",
// the caller's own not-found message, set.
bool extract_lookup_text(PyObject* value, const char* parameter, const char* prefix, const char* suffix,
                         std::string_view& out);
// LookupError "<prefix><text><suffix>" with the str object itself (kept whole, surrogates included).
// Returns nullptr.
std::nullptr_t raise_not_found_text(PyObject* text, const char* prefix, const char* suffix);

// A signed 32-bit integer argument (ndigits, n_sig_figs): false with the interpreter's TypeError or
// OverflowError and the note set otherwise.
bool extract_int32(PyObject* value, const char* parameter, int& out);

}  // namespace tarvel::py
