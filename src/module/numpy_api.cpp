#include "module/numpy_api.hpp"

#include "module/py_ref.hpp"

namespace tarvel::py {

namespace {

NumpyApi api{};
bool loaded = false;

bool attribute(PyObject* module, const char* name, PyObject*& out) {
    out = PyObject_GetAttrString(module, name);  // kept for the life of the process
    return out != nullptr;
}

bool load(PyObject* module) {
    NumpyApi candidate{};
    candidate.module = module;
    PyObject* ndarray = nullptr;
    if (!attribute(module, "ndarray", ndarray) || !PyType_Check(ndarray)) return false;
    candidate.ndarray = reinterpret_cast<PyTypeObject*>(ndarray);
    if (!attribute(module, "empty", candidate.empty) || !attribute(module, "asarray", candidate.asarray) ||
        !attribute(module, "array", candidate.array) ||
        !attribute(module, "array2string", candidate.array2string) ||
        !attribute(module, "ufunc", candidate.ufunc_type) ||
        !attribute(module, "complexfloating", candidate.complexfloating)) {
        return false;
    }
    PyObject* dtype = nullptr;
    if (!attribute(module, "dtype", dtype)) return false;
    candidate.float64 = PyObject_CallFunction(dtype, "s", "f8");
    candidate.float32 = PyObject_CallFunction(dtype, "s", "f4");
    candidate.bool_ = PyObject_CallFunction(dtype, "s", "?");
    Py_DECREF(dtype);
    if (!candidate.float64 || !candidate.float32 || !candidate.bool_) return false;
    Py_INCREF(module);
    api = candidate;
    loaded = true;
    return true;
}

}  // namespace

const NumpyApi* numpy_api() {
    if (loaded) return &api;
    PyRef module = PyRef::steal(PyImport_ImportModule("numpy"));
    if (!module) {
        if (PyErr_ExceptionMatches(PyExc_ImportError)) {
            PyErr_Clear();
            PyErr_SetString(PyExc_ImportError,
                            "TarvelArray needs NumPy, which is not installed (pip install numpy)");
        }
        return nullptr;
    }
    if (!load(module.get())) return nullptr;
    return &api;
}

PyObject* numpy_module() {
    const NumpyApi* numpy = numpy_api();
    return numpy ? numpy->module : nullptr;
}

const NumpyApi* numpy_api_if_loaded() noexcept {
    if (loaded) return &api;
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* module = modules ? PyDict_GetItemString(modules, "numpy") : nullptr;
    if (!module) return nullptr;
    if (!load(module)) {
        PyErr_Clear();
        return nullptr;
    }
    return &api;
}

bool is_ndarray(PyObject* object) noexcept {
    const NumpyApi* numpy = numpy_api_if_loaded();
    return numpy && PyObject_TypeCheck(object, numpy->ndarray);
}

bool is_masked_array(PyObject* object) noexcept {
    static PyObject* masked_type = nullptr;  // numpy.ma.MaskedArray, kept for the life of the process
    if (!masked_type) {
        const NumpyApi* numpy = numpy_api_if_loaded();
        if (!numpy || !PyObject_TypeCheck(object, numpy->ndarray)) return false;
        PyObject* modules = PyImport_GetModuleDict();
        PyObject* ma = modules ? PyDict_GetItemString(modules, "numpy.ma") : nullptr;
        if (!ma) return false;
        masked_type = PyObject_GetAttrString(ma, "MaskedArray");
        if (!masked_type || !PyType_Check(masked_type)) {
            Py_CLEAR(masked_type);
            PyErr_Clear();
            return false;
        }
    }
    return PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(masked_type));
}

bool is_complex_number(PyObject* object) noexcept {
    if (PyComplex_Check(object)) return true;
    const NumpyApi* numpy = numpy_api_if_loaded();
    if (!numpy) return false;
    if (PyObject_TypeCheck(object, numpy->ndarray)) {
        PyObject* dtype = PyObject_GetAttrString(object, "dtype");
        PyObject* kind = dtype ? PyObject_GetAttrString(dtype, "kind") : nullptr;
        const char* text = kind && PyUnicode_Check(kind) ? PyUnicode_AsUTF8(kind) : nullptr;
        const bool complex = text && text[0] == 'c';
        Py_XDECREF(kind);
        Py_XDECREF(dtype);
        PyErr_Clear();
        return complex;
    }
    return PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(numpy->complexfloating));
}

std::string type_name_of(PyObject* object) {
    PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(object)));
    const char* text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (!text) {
        PyErr_Clear();
        return "object";
    }
    return text;
}

char dtype_code(PyObject* dtype) {
    PyObject* code = PyObject_GetAttrString(dtype, "char");
    if (!code) return '\0';
    const char* text = PyUnicode_Check(code) ? PyUnicode_AsUTF8(code) : nullptr;
    const char result = text && text[0] != '\0' && text[1] == '\0' ? text[0] : '\0';
    Py_DECREF(code);
    if (result == '\0' && !PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "a dtype code is one letter");
    return result;
}

char array_dtype_code(PyObject* array) {
    PyObject* dtype = PyObject_GetAttrString(array, "dtype");
    if (!dtype) return '\0';
    const char code = dtype_code(dtype);
    Py_DECREF(dtype);
    return code;
}

PyObject* as_dtype(PyObject* spec) {
    PyObject* numpy = numpy_module();
    if (!numpy) return nullptr;
    PyObject* dtype_type = PyObject_GetAttrString(numpy, "dtype");
    if (!dtype_type) return nullptr;
    PyObject* dtype = PyObject_CallOneArg(dtype_type, spec);
    Py_DECREF(dtype_type);
    return dtype;
}

}  // namespace tarvel::py
