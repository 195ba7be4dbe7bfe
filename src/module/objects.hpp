#pragma once
// The two Python classes: their instance layouts, their class objects and how instances are made.

#include <Python.h>

#include "module/access.hpp"
#include "quantity/log_quantity.hpp"
#include "quantity/quantity.hpp"

namespace tarvel::py {

struct TarvelObject {
    PyObject_HEAD
    AccessFlag access;
    Quantity quantity;
};

struct LogTarvelObject {
    PyObject_HEAD
    AccessFlag access;
    LogQuantity log;
};

// The class objects, created once per process on first use and kept for its lifetime. nullptr with an
// exception set when creation fails.
PyTypeObject* tarvel_type();
PyTypeObject* log_tarvel_type();

// Fast checks once the classes exist (instances cannot exist before).
inline bool is_tarvel(PyObject* object) noexcept {
    PyTypeObject* type = tarvel_type();
    return type && PyObject_TypeCheck(object, type);
}
inline bool is_log_tarvel(PyObject* object) noexcept {
    PyTypeObject* type = log_tarvel_type();
    return type && PyObject_TypeCheck(object, type);
}
inline TarvelObject* as_tarvel(PyObject* object) noexcept { return reinterpret_cast<TarvelObject*>(object); }
inline LogTarvelObject* as_log_tarvel(PyObject* object) noexcept {
    return reinterpret_cast<LogTarvelObject*>(object);
}

// New instances holding the given record; nullptr with an exception set on failure.
PyObject* new_tarvel(Quantity&& quantity);
PyObject* new_log_tarvel(const LogQuantity& log);

}  // namespace tarvel::py
