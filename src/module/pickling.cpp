// The pickled states of both quantity classes (the protocol methods are the kit's, class_kit.hpp).
//
// A Tarvel pickles as (Tarvel._from_state, (state,)) with the state
//     (1, value, units, dimensions, factor)
//     units:      a tuple of (name, symbol, offset, factor, dimensions, exponent), in map order
//     dimensions: a tuple of the eight base-dimension exponents
// and a LogTarvel as (LogTarvel._from_state, ((1, scale name, power),)). The leading 1 is the state's
// version.
//
// What a state must hold to be read back, and how its parts are checked, is quantity/quantity_state.hpp.

#include <Python.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "module/class_kit.hpp"
#include "quantity/quantity_state.hpp"

namespace tarvel::py {

namespace {

// --- Writing --------------------------------------------------------------------------------------------

// A tuple of the given new references; empty (exception set) when any of them failed.
template <std::size_t N>
PyRef tuple_of(std::array<PyRef, N>&& items) {
    for (const PyRef& item : items) {
        if (!item) return PyRef();
    }
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(N)));
    if (!tuple) return tuple;
    for (std::size_t i = 0; i < N; ++i) {
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), items[i].release());
    }
    return tuple;
}

PyRef float_ref(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }
PyRef str_ref(std::string_view text) { return PyRef::steal(to_py_str(text)); }

PyRef dimensions_tuple(const Dimensions& dimensions) {
    return tuple_of<DIMENSION_COUNT>({float_ref(dimensions[0]), float_ref(dimensions[1]), float_ref(dimensions[2]),
                                      float_ref(dimensions[3]), float_ref(dimensions[4]), float_ref(dimensions[5]),
                                      float_ref(dimensions[6]), float_ref(dimensions[7])});
}

PyRef tarvel_state(const Quantity& q) {
    const UnitMap& map = q.units->unit_map;
    PyRef units = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(map.size())));
    if (!units) return units;
    for (std::size_t i = 0; i < map.size(); ++i) {
        const SingleUnit& unit = map[i].unit;
        PyRef entry = tuple_of<STATE_UNIT_FIELDS>({str_ref(unit.name()), str_ref(unit.symbol()), float_ref(unit.offset()),
                                             float_ref(unit.factor()), dimensions_tuple(unit.dimensions()),
                                             float_ref(map[i].exponent)});
        if (!entry) return PyRef();
        PyTuple_SET_ITEM(units.get(), static_cast<Py_ssize_t>(i), entry.release());
    }
    return tuple_of<5>({PyRef::steal(PyLong_FromLong(STATE_VERSION)), float_ref(q.value), std::move(units),
                        dimensions_tuple(q.units->dimensions), float_ref(q.units->factor)});
}

PyRef log_tarvel_state(const LogQuantity& log) {
    return tuple_of<3>({PyRef::steal(PyLong_FromLong(STATE_VERSION)), str_ref(log.scale->name), float_ref(log.power)});
}

// --- Reading --------------------------------------------------------------------------------------------

// Reads the parts of a state, raising "invalid <Class> state: ..." errors: TypeError for a value of the
// wrong type, ValueError for a wrong value. No Python code runs while a state is read.
class StateReader {
public:
    explicit StateReader(const char* class_name) : class_name_(class_name) {}

    std::nullptr_t value_error(const std::string& message) const {
        // The whole message, NUL bytes of quoted texts included.
        const std::string text = std::string("invalid ") + class_name_ + " state: " + message;
        PyObject* object = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
        if (!object) return nullptr;
        PyErr_SetObject(PyExc_ValueError, object);
        Py_DECREF(object);
        return nullptr;
    }

    // A tuple of `length` items (any length when `length` is negative).
    bool tuple(PyObject* value, const std::string& what, Py_ssize_t length) const {
        if (!PyTuple_Check(value)) return type_error(what, "a tuple", value);
        const Py_ssize_t size = PyTuple_GET_SIZE(value);
        if (length >= 0 && size != length) {
            value_error(what + " must have " + std::to_string(length) + " items, not " + std::to_string(size));
            return false;
        }
        return true;
    }

    bool version(PyObject* value) const {
        if (!PyLong_CheckExact(value)) return type_error("the version", "an int", value);
        int overflow = 0;
        const long version = PyLong_AsLongAndOverflow(value, &overflow);
        if (overflow != 0 || version != STATE_VERSION) {
            value_error("unsupported version (this build reads version " + std::to_string(STATE_VERSION) + ")");
            return false;
        }
        return true;
    }

    bool number(PyObject* value, const std::string& what, double& out) const {
        if (!PyFloat_Check(value)) return type_error(what, "a float", value);
        out = PyFloat_AS_DOUBLE(value);
        return true;
    }

    bool finite(PyObject* value, const std::string& what, double& out) const {
        if (!number(value, what, out)) return false;
        if (!std::isfinite(out)) {
            value_error(what + " must be finite");
            return false;
        }
        return true;
    }

    bool text(PyObject* value, const std::string& what, std::string& out) const {
        if (!PyUnicode_Check(value)) return type_error(what, "a str", value);
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
        if (!utf8) {
            PyErr_Clear();
            value_error(what + " is not valid text");
            return false;
        }
        out.assign(utf8, static_cast<std::size_t>(size));
        return true;
    }

    bool dimensions(PyObject* value, const std::string& what, Dimensions& out) const {
        if (!tuple(value, what, static_cast<Py_ssize_t>(DIMENSION_COUNT))) return false;
        for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
            if (!finite(PyTuple_GET_ITEM(value, static_cast<Py_ssize_t>(i)), "each of " + what, out[i])) {
                return false;
            }
        }
        return true;
    }

private:
    bool type_error(const std::string& what, const char* expected, PyObject* value) const {
        PyRef type_name = PyRef::steal(PyType_GetName(Py_TYPE(value)));
        if (!type_name) return false;
        PyErr_Format(PyExc_TypeError, "invalid %s state: %s must be %s, not '%U'", class_name_, what.c_str(),
                     expected, type_name.get());
        return false;
    }

    const char* class_name_;
};

bool read_unit(const StateReader& reader, PyObject* item, std::size_t index, UnitMap& map) {
    const std::string what = "unit " + std::to_string(index);
    if (!reader.tuple(item, what, static_cast<Py_ssize_t>(STATE_UNIT_FIELDS))) return false;
    std::string name;
    std::string symbol;
    double offset = 0.0;
    double factor = 0.0;
    Dimensions dimensions{};
    double exponent = 0.0;
    if (!reader.text(PyTuple_GET_ITEM(item, 0), "the name of " + what, name) ||
        !reader.text(PyTuple_GET_ITEM(item, 1), "the symbol of " + what, symbol) ||
        !reader.finite(PyTuple_GET_ITEM(item, 2), "the offset of " + what, offset) ||
        !reader.number(PyTuple_GET_ITEM(item, 3), "the factor of " + what, factor) ||
        !reader.dimensions(PyTuple_GET_ITEM(item, 4), "the dimensions of " + what, dimensions) ||
        !reader.finite(PyTuple_GET_ITEM(item, 5), "the exponent of " + what, exponent)) {
        return false;
    }
    const SingleUnit unit = restored_unit(std::move(name), std::move(symbol), offset, factor, dimensions);
    if (add_state_unit(map, unit, exponent)) return true;
    reader.value_error(what + " (" + unit.name() + ") appears twice");
    return false;
}

PyObject* read_tarvel_state(PyObject* state) {
    const StateReader reader("Tarvel");
    if (!reader.tuple(state, "the state", 5)) return nullptr;
    if (!reader.version(PyTuple_GET_ITEM(state, 0))) return nullptr;
    double value = 0.0;
    if (!reader.number(PyTuple_GET_ITEM(state, 1), "the magnitude", value)) return nullptr;
    PyObject* units = PyTuple_GET_ITEM(state, 2);
    if (!reader.tuple(units, "the units", -1)) return nullptr;
    UnitMap map;
    map.reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(units)));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(units); ++i) {
        if (!read_unit(reader, PyTuple_GET_ITEM(units, i), static_cast<std::size_t>(i), map)) return nullptr;
    }
    Dimensions dimensions{};
    if (!reader.dimensions(PyTuple_GET_ITEM(state, 3), "the dimensions", dimensions)) return nullptr;
    double factor = 0.0;
    if (!reader.number(PyTuple_GET_ITEM(state, 4), "the factor", factor)) return nullptr;

    std::expected<UnitCollection, StateFault> units_read = restored_collection(std::move(map), dimensions, factor);
    if (units_read) return new_tarvel(Quantity{std::move(*units_read), value});
    if (units_read.error().kind == StateFault::Kind::Factor) {
        return reader.value_error("the factor does not match the units");
    }
    return reader.value_error("dimension " + std::to_string(units_read.error().dimension) + " does not match the units");
}

PyObject* read_log_tarvel_state(PyObject* state) {
    const StateReader reader("LogTarvel");
    if (!reader.tuple(state, "the state", 3)) return nullptr;
    if (!reader.version(PyTuple_GET_ITEM(state, 0))) return nullptr;
    std::string name;
    if (!reader.text(PyTuple_GET_ITEM(state, 1), "the scale", name)) return nullptr;
    double power = 0.0;
    if (!reader.number(PyTuple_GET_ITEM(state, 2), "the power", power)) return nullptr;
    const std::optional<LogQuantity> log = restored_log_quantity(name, power);
    if (!log) return reader.value_error("unknown scale " + quoted(name));
    return new_log_tarvel(*log);
}

}  // namespace

PyRef state_of(const Quantity& q) { return tarvel_state(q); }
PyRef state_of(const LogQuantity& log) { return log_tarvel_state(log); }
PyObject* read_state(PyObject* state, const TarvelObject*) { return read_tarvel_state(state); }
PyObject* read_state(PyObject* state, const LogTarvelObject*) { return read_log_tarvel_state(state); }

}  // namespace tarvel::py
