#pragma once
// Unit text in common notations at the Python boundary: Tarvel.parse, Tarvel.parse_unit, the unit text of
// a TarvelArray, vocabularies of the user's own units, and Tarvel.cf_unit_text.

#include <Python.h>

#include <string_view>
#include <vector>

#include "module/coerce.hpp"
#include "unit/common_notation.hpp"

namespace tarvel::py {

// The units of a vocabulary object (its `_entries`: tuples of text, a Tarvel of one unit, whether
// prefixes apply, whether the text is a symbol); None is no vocabulary. False with an exception set.
bool vocabulary_units(PyObject* vocabulary, std::vector<NamedUnit>& out);
// The arguments (text, vocabulary=None) of parse() and parse_unit(): the text and the vocabulary's units.
bool take_text_and_vocabulary(const char* method, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                              std::string_view& text, std::vector<NamedUnit>& named);

// A unit argument that is text, read in common notations with the vocabulary; anything else is taken as
// any unit-like argument is.
bool take_unit_text_or_like(PyObject* unit, PyObject* vocabulary, const char* parameter, QuantityOperand& out);

PyObject* tarvel_parse_unit(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* tarvel_cf_unit_text(PyObject* self);

}  // namespace tarvel::py
