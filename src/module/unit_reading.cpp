#include "module/unit_reading.hpp"

#include <array>
#include <string_view>
#include <utility>

#include "module/class_kit.hpp"
#include "quantity/quantity_text.hpp"

namespace tarvel::py {

namespace {


std::nullptr_t raise_bad_vocabulary(const char* what) {
    PyErr_Format(PyExc_TypeError, "vocabulary must be a tarvel.vocabulary.Vocabulary (%s)", what);
    return nullptr;
}

}  // namespace

bool vocabulary_units(PyObject* vocabulary, std::vector<NamedUnit>& out) {
    if (vocabulary == nullptr || vocabulary == Py_None) return true;
    PyRef entries = PyRef::steal(PyObject_GetAttrString(vocabulary, "_entries"));
    if (!entries) {
        PyErr_Clear();
        return raise_bad_vocabulary("it has no entries"), false;
    }
    if (!PyTuple_Check(entries.get())) return raise_bad_vocabulary("its entries are not a tuple"), false;
    const Py_ssize_t count = PyTuple_GET_SIZE(entries.get());
    out.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* entry = PyTuple_GET_ITEM(entries.get(), i);
        if (!PyTuple_Check(entry) || PyTuple_GET_SIZE(entry) != 4 || !is_tarvel(PyTuple_GET_ITEM(entry, 1))) {
            return raise_bad_vocabulary("an entry is not (text, Tarvel, bool, bool)"), false;
        }
        std::string_view text;
        if (!extract_text(PyTuple_GET_ITEM(entry, 0), "vocabulary", text)) return false;
        TarvelObject* object = as_tarvel(PyTuple_GET_ITEM(entry, 1));
        SharedAccess access(object->access);
        if (!access) return raise_already_mutably_borrowed(), false;
        const UnitMap& map = object->quantity.units->unit_map;
        if (map.size() != 1 || map.begin()->exponent != 1.0) {
            return raise_bad_vocabulary("an entry is not one unit"), false;
        }
        const int prefixable = PyObject_IsTrue(PyTuple_GET_ITEM(entry, 2));
        const int is_symbol = PyObject_IsTrue(PyTuple_GET_ITEM(entry, 3));
        if (prefixable < 0 || is_symbol < 0) return false;
        out.push_back(NamedUnit{std::string(text), map.begin()->unit, prefixable == 1, is_symbol == 1});
    }
    return true;
}

bool take_unit_text_or_like(PyObject* unit, PyObject* vocabulary, const char* parameter, QuantityOperand& out) {
    if (!PyUnicode_Check(unit)) {
        if (vocabulary != nullptr && vocabulary != Py_None) {
            std::vector<NamedUnit> ignored;
            if (!vocabulary_units(vocabulary, ignored)) return false;
        }
        if (extract_unit_coercible(unit, out, false) == Extraction::Ok) return true;
        add_argument_note(parameter);
        return false;
    }
    std::string_view text;
    if (!extract_text(unit, parameter, text)) return false;
    std::vector<NamedUnit> named;
    if (!vocabulary_units(vocabulary, named)) return false;
    Result<SharedUnits> units = shared_units_from_common_notation(text, named);
    if (!units) return raise_error(units.error()), false;
    out.hold(Quantity{std::move(*units), 1.0});
    return true;
}

bool take_text_and_vocabulary(const char* method, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                              std::string_view& text, std::vector<NamedUnit>& named) {
    const Parameters<2> parameters{method, {"text", "vocabulary"}, 1};
    std::array<PyObject*, 2> arguments{};
    return parse_arguments(parameters, args, nargsf, kwnames, arguments) &&
           extract_text(arguments[0], "text", text) && vocabulary_units(arguments[1], named);
}

PyObject* tarvel_parse_unit(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        std::string_view text;
        std::vector<NamedUnit> named;
        if (!take_text_and_vocabulary("parse_unit", args, nargsf, kwnames, text, named)) return nullptr;
        Result<SharedUnits> units = shared_units_from_common_notation(text, named);
        if (!units) return raise_error(units.error());
        return new_tarvel(Quantity{std::move(*units), 1.0});
    });
}

PyObject* tarvel_cf_unit_text(PyObject* self) {
    return with_shared<TarvelObject>(
        self, [](const Quantity& q) { return to_py_str(as_cf_string(*q.units)); });
}

}  // namespace tarvel::py
