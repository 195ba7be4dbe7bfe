// The module `tarvel`: multi-phase initialisation whose execution step adds the three classes.

#include <Python.h>

#include "module/array_registry.hpp"
#include "module/class_kit.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"
#include "module/readable_methods.hpp"
#include "module/tarvel_array.hpp"
#include "unit/search.hpp"

namespace tarvel::py {
namespace {

// The integrations with other libraries (tarvel.pandas, tarvel.matplotlib, ...) are pure-Python
// submodules kept in the folder "_tarvel" beside the extension's file. A __path__ pointing there lets the
// import system find them; nothing in the folder is imported until a program asks for it.
int declare_submodule_path(PyObject* module) {
    PyRef file = PyRef::steal(PyModule_GetFilenameObject(module));
    if (!file) {
        // A module without a file (statically linked into an interpreter) has no submodules.
        PyErr_Clear();
        return 0;
    }
    const Py_ssize_t slash = PyUnicode_FindChar(file.get(), '/', 0, PyUnicode_GET_LENGTH(file.get()), -1);
    if (slash == -2) return -1;
    PyRef folder;
    if (slash < 0) {
        folder = PyRef::steal(PyUnicode_FromString("_tarvel"));
    } else {
        PyRef directory = PyRef::steal(PyUnicode_Substring(file.get(), 0, slash));
        if (!directory) return -1;
        folder = PyRef::steal(PyUnicode_FromFormat("%U/_tarvel", directory.get()));
    }
    if (!folder) return -1;
    PyRef path = PyRef::steal(PyList_New(0));
    if (!path || PyList_Append(path.get(), folder.get()) < 0) return -1;
    return PyModule_AddObjectRef(module, "__path__", path.get());
}

int exec_module(PyObject* module) {
    return guarded(-1, [&] {
        if (!panic_exception_type()) return -1;
        if (add_class(module, tarvel_type()) < 0) return -1;
        if (add_class(module, log_tarvel_type()) < 0) return -1;
        if (add_class(module, tarvel_array_type()) < 0) return -1;
        return declare_submodule_path(module);
    });
}

PyObject* search_budget_exhaustions(PyObject*, PyObject*) {
    return PyLong_FromUnsignedLongLong(tarvel::search_budget_exhaustions());
}

PyObject* search_pauses(PyObject*, PyObject*) { return PyLong_FromUnsignedLongLong(tarvel::search_pauses()); }

PyMethodDef module_methods[] = {
    {"_numpy_registry", numpy_registry, METH_NOARGS,
     "Every NumPy name the registry classifies: {name: ('rule', signature) or ('refused', reason)}."},
    {"_search_pauses", search_pauses, METH_NOARGS,
     "How many simplification searches in this process have released the interpreter lock (a diagnostic)."},
    {"_search_budget_exhaustions", search_budget_exhaustions, METH_NOARGS,
     "How many simplification searches in this process have run out of their budget (a diagnostic)."},
    // Unit, Dim and checked come from the pure-Python tarvel.annotations, imported on first use only.
    {"__getattr__", module_getattr, METH_O, "__getattr__($module, name, /)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#if PY_VERSION_HEX >= 0x030C0000
    // The classes are process-wide objects: they must not be handed to a second interpreter.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "tarvel",
    "Physical quantities: numbers that carry units of measure, and logarithmic ratio quantities.",
    0,
    module_methods,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace tarvel::py

PyMODINIT_FUNC PyInit_tarvel(void) { return PyModuleDef_Init(&tarvel::py::module_definition); }
