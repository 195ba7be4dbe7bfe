#include "module/inspection.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "module/class_kit.hpp"
#include "module/coerce.hpp"
#include "module/py_ref.hpp"
#include "module/unit_reading.hpp"
#include "quantity/quantity_text.hpp"
#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel::py {

namespace {

// The one text argument of the parse methods.
bool take_text(PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, std::string_view& text) {
    static const Parameters<1> parameters{"parse", {"text"}, 1};
    std::array<PyObject*, 1> arguments{};
    if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return false;
    return extract_text(arguments[0], "text", text);
}

// A whole exponent as an int ({"m": 2}), any other as a float ({"m": 0.5}).
PyObject* exponent_object(double exponent) {
    if (std::trunc(exponent) == exponent && std::fabs(exponent) < 9007199254740992.0) {
        return PyLong_FromDouble(exponent);
    }
    return PyFloat_FromDouble(exponent);
}

template <Result<std::string> (*Form)(const Quantity&)>
PyObject* unit_form(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) { return str_or_raise(Form(q)); });
}

}  // namespace

PyObject* tarvel_parse(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        std::string_view text;
        std::vector<NamedUnit> named;
        if (!take_text_and_vocabulary("parse", args, nargsf, kwnames, text, named)) return nullptr;
        Result<Quantity> quantity = parse_quantity(text, named);
        if (!quantity) return raise_error(quantity.error());
        return new_tarvel(std::move(*quantity));
    });
}

PyObject* log_tarvel_parse(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        std::string_view text;
        if (!take_text(args, nargsf, kwnames, text)) return nullptr;
        Result<LogQuantity> log = parse_log_quantity(text);
        if (!log) return raise_error(log.error());
        return new_log_tarvel(*log);
    });
}

PyObject* tarvel_dimensions(PyObject* self) {
    return with_shared<TarvelObject>(self, [](const Quantity& q) -> PyObject* {
        PyRef result = PyRef::steal(PyDict_New());
        if (!result) return nullptr;
        for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
            const double exponent = q.units->dimensions[i];
            if (exponent == 0.0) continue;
            PyRef value = PyRef::steal(exponent_object(exponent));
            if (!value) return nullptr;
            const std::string symbol(BASE_UNITS[i].symbol);
            if (PyDict_SetItemString(result.get(), symbol.c_str(), value.get()) < 0) return nullptr;
        }
        return result.release();
    });
}

PyObject* tarvel_is_compatible(PyObject* self, PyObject* argument) {
    return with_shared<TarvelObject>(self, [&](const Quantity& q) -> PyObject* {
        QuantityOperand other;
        if (extract_unit_coercible(argument, other, false) != Extraction::Ok) {
            return add_argument_note("other");
        }
        return PyBool_FromLong(dimensions_equal(q.units->dimensions, other.get().units->dimensions) ? 1
                                                                                                  : 0);
    });
}

PyObject* tarvel_units(PyObject* self) {
    return with_shared<TarvelObject>(
        self, [](const Quantity& q) { return new_tarvel(Quantity{q.units, 1.0}); });
}

PyObject* tarvel_unit_text(PyObject* self) { return unit_form<unit_text_of>(self); }

PyObject* tarvel_unit_latex(PyObject* self) { return unit_form<unit_latex_of>(self); }

PyObject* tarvel_unit_descriptive(PyObject* self) { return unit_form<unit_descriptive_of>(self); }

PyObject* tarvel_repr_latex(PyObject* self) {
    return with_exclusive<TarvelObject>(self, [](Quantity& q) -> PyObject* {
        Result<std::string> text = latex_in_place(q);
        if (!text) return raise_error(text.error());
        return to_py_str("$" + *text + "$");
    });
}

}  // namespace tarvel::py
