// Methods written in Python: each calls a function of one of tarvel's Python submodules with the instance
// (or the class) first and the call's own arguments after it. The submodule, and the library it needs,
// load only when such a method is called, so `import tarvel` stays free of them.

#include <Python.h>

#include <cstddef>

#include "module/class_kit.hpp"
#include "module/ecosystem.hpp"

namespace tarvel::py {
namespace {

PyObject* forward(const char* module_name, const char* function_name, PyObject* first, PyObject* const* args,
                  Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(FAILED, [&]() -> PyObject* {
        PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
        PyRef function = module ? PyRef::steal(PyObject_GetAttrString(module.get(), function_name)) : PyRef();
        if (!function) return nullptr;
        return with_leading({first}, args, nargsf, kwnames, [&](PyObject* const* stack, std::size_t nargs) {
            return PyObject_Vectorcall(function.get(), stack, nargs, kwnames);
        });
    });
}

}  // namespace

PyObject* pydantic_core_schema(PyObject* cls, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return forward("tarvel.pydantic", "class_schema", cls, args, nargsf, kwnames);
}

PyObject* tarvel_array_arrow_array(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return forward("tarvel.arrow", "to_arrow", self, args, nargsf, kwnames);
}

}  // namespace tarvel::py
