// The class tarvel.TarvelArray: an array of magnitudes (a NumPy array) in one unit collection.

#include <Python.h>

#include <memory>
#include <new>
#include <utility>

#include "module/boundary.hpp"
#include "module/py_ref.hpp"
#include "module/tarvel_array.hpp"

namespace tarvel::py {

namespace {

PyTypeObject* cached_type = nullptr;

constexpr PyObject* FAILED = nullptr;

TarvelArrayObject* as_array(PyObject* object) noexcept { return reinterpret_cast<TarvelArrayObject*>(object); }

int slot_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_array(self)->magnitudes);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int slot_clear(PyObject* self) {
    Py_CLEAR(as_array(self)->magnitudes);
    return 0;
}

void slot_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    slot_clear(self);
    std::destroy_at(&as_array(self)->units);
    type->tp_free(self);
    Py_DECREF(type);
}

template <class Function>
void* as_slot(Function function) {
    return reinterpret_cast<void*>(function);
}

PyTypeObject* create_type() {
    static PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>("An N-dimensional array of magnitudes in one unit collection.")},
        {Py_tp_dealloc, as_slot(slot_dealloc)},
        {Py_tp_traverse, as_slot(slot_traverse)},
        {Py_tp_clear, as_slot(slot_clear)},
        {0, nullptr},
    };
    static PyType_Spec spec = {
        "tarvel.TarvelArray",
        static_cast<int>(sizeof(TarvelArrayObject)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

}  // namespace

PyTypeObject* tarvel_array_type() {
    if (!cached_type) cached_type = guarded(static_cast<PyTypeObject*>(nullptr), create_type);
    return cached_type;
}

bool is_tarvel_array(PyObject* object) noexcept { return cached_type && Py_IS_TYPE(object, cached_type); }

PyObject* new_tarvel_array(PyObject* magnitudes, UnitCollection units) {
    PyTypeObject* type = tarvel_array_type();
    if (!type) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    TarvelArrayObject* object = as_array(self);
    Py_INCREF(magnitudes);
    object->magnitudes = magnitudes;
    new (&object->units) UnitCollection(std::move(units));
    return self;
}

bool extract_array_operand(PyObject*, ArrayOperand&) {
    PyErr_SetString(PyExc_TypeError, "not yet");
    return false;
}

PyObject* magnitudes_in(const ArrayOperand&, const UnitCollection&) {
    PyErr_SetString(PyExc_TypeError, "not yet");
    return nullptr;
}

}  // namespace tarvel::py
