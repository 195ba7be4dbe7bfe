#include "module/class_kit.hpp"

namespace tarvel::py {

PyTypeObject* ClassObject::make() {
    PyTypeObject* type = nullptr;
    auto* made = guarded(FAILED, [&] { return PyType_FromSpec(&make_()); });
    if (!made) return nullptr;
    auto* candidate = reinterpret_cast<PyTypeObject*>(made);
    if (type_.compare_exchange_strong(type, candidate, std::memory_order_acq_rel)) return candidate;
    Py_DECREF(made);  // another thread published first; `type` now holds its class
    return type;
}

int add_class(PyObject* module, PyTypeObject* type) {
    if (!type) return -1;
    PyRef name = PyRef::steal(PyType_GetName(type));  // the spec's name after the module's
    if (!name || PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)) < 0) return -1;
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return -1;
    }
    return PyList_Append(all.get(), name.get());
}

PyObject* reduction(PyObject* self, const char* rebuilder, PyRef arguments) {
    if (!arguments) return nullptr;
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    PyRef function = PyRef::steal(PyObject_GetAttrString(type, rebuilder));
    if (!function) return nullptr;
    return PyTuple_Pack(2, function.get(), arguments.get());
}

}  // namespace tarvel::py
