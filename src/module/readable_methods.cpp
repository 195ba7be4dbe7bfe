#include "module/readable_methods.hpp"

#include <array>
#include <utility>
#include <vector>

#include "module/class_kit.hpp"
#include "module/coerce.hpp"
#include "quantity/readable.hpp"

namespace tarvel::py {

namespace {

// The unit collections of an iterable of unit-like values (texts, quantities, numbers).
bool take_unit_list(PyObject* value, std::vector<UnitCollection>& out) {
    if (PyUnicode_Check(value)) {
        // A single text is almost certainly a mistake for a list of one: "J" would read as ["J"] anyway,
        // but "J, W" would not.
        raise_wrong_type(value, "list of units", "units");
        return false;
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(value));
    if (!iterator) {
        PyErr_Clear();
        raise_wrong_type(value, "list of units", "units");
        return false;
    }
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        QuantityOperand operand;
        const Extraction extraction = extract_unit_coercible(item.get(), operand, false);
        if (extraction != Extraction::Ok) {
            if (extraction == Extraction::Failed) add_argument_note("units");
            return false;
        }
        out.push_back(operand.get().units.get());
    }
    if (PyErr_Occurred()) {
        add_argument_note("units");
        return false;
    }
    return true;
}

// tarvel.annotations, imported on first use (it imports only the standard library).
PyObject* annotations_attribute(const char* name) {
    PyRef module = PyRef::steal(PyImport_ImportModule("tarvel.annotations"));
    if (!module) return nullptr;
    return PyObject_GetAttrString(module.get(), name);
}

// What the module's __getattr__ hands out from tarvel.annotations.
constexpr std::array<const char*, 3> LAZY_NAMES{"Unit", "Dim", "checked"};

}  // namespace

PyObject* tarvel_to_compact(PyObject* self) {
    return with_shared<TarvelObject>(
        self, [](const Quantity& q) { return tarvel_or_raise(to_compact(q)); });
}

PyObject* tarvel_as_preferred(PyObject* self, PyObject* argument) {
    // Read before access to the instance is taken: iterating may run Python code.
    std::vector<UnitCollection> preferred;
    if (!take_unit_list(argument, preferred)) return nullptr;
    return with_shared<TarvelObject>(
        self, [&](const Quantity& q) { return tarvel_or_raise(as_preferred(q, preferred)); });
}

PyObject* class_getitem(PyObject* cls, PyObject* item) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyRef build = PyRef::steal(annotations_attribute("_class_getitem"));
        if (!build) return nullptr;
        return PyObject_CallFunctionObjArgs(build.get(), cls, item, nullptr);
    });
}

PyObject* module_getattr(PyObject* module, PyObject* name) {
    return guarded(FAILED, [&]() -> PyObject* {
        if (PyUnicode_Check(name)) {
            for (const char* lazy : LAZY_NAMES) {
                if (PyUnicode_CompareWithASCIIString(name, lazy) != 0) continue;
                PyObject* value = annotations_attribute(lazy);
                // Kept on the module: later look-ups do not come here again.
                if (value && PyObject_SetAttr(module, name, value) < 0) Py_CLEAR(value);
                return value;
            }
        }
        PyErr_Format(PyExc_AttributeError, "module 'tarvel' has no attribute %R", name);
        return nullptr;
    });
}

}  // namespace tarvel::py
