#include "module/numpy_api.hpp"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "module/boundary.hpp"
#include "module/py_ref.hpp"

namespace tarvel::py {

namespace {

// The record, made once and never changed; a thread that loses the race to publish drops its own.
std::atomic<const NumpyApi*> published{nullptr};
// numpy.ma.MaskedArray, published the same way once numpy.ma is imported.
std::atomic<PyObject*> masked_type{nullptr};

bool attribute(PyObject* module, const char* name, PyObject*& out) {
    out = PyObject_GetAttrString(module, name);
    return out != nullptr;
}

void drop(NumpyApi& api) {
    for (PyObject* object : {api.module, reinterpret_cast<PyObject*>(api.ndarray), api.empty, api.asarray,
                             api.array, api.float64, api.float32, api.bool_, api.array2string, api.ufunc_type,
                             api.complexfloating, api.dtype_type, api.no_value, api.dtype_name}) {
        Py_XDECREF(object);
    }
}

const NumpyApi* load(PyObject* module) {
    NumpyApi made{};
    made.module = Py_NewRef(module);
    PyObject* ndarray = nullptr;
    const bool found = attribute(module, "ndarray", ndarray) && PyType_Check(ndarray) &&
                       attribute(module, "empty", made.empty) && attribute(module, "asarray", made.asarray) &&
                       attribute(module, "array", made.array) &&
                       attribute(module, "array2string", made.array2string) &&
                       attribute(module, "ufunc", made.ufunc_type) &&
                       attribute(module, "complexfloating", made.complexfloating) &&
                       attribute(module, "dtype", made.dtype_type) &&
                       attribute(module, "_NoValue", made.no_value);
    made.ndarray = reinterpret_cast<PyTypeObject*>(ndarray);
    if (found) {
        made.float64 = PyObject_CallFunction(made.dtype_type, "s", "f8");
        made.float32 = PyObject_CallFunction(made.dtype_type, "s", "f4");
        made.bool_ = PyObject_CallFunction(made.dtype_type, "s", "?");
        made.dtype_name = PyUnicode_InternFromString("dtype");
    }
    if (!found || !made.float64 || !made.float32 || !made.bool_ || !made.dtype_name) {
        drop(made);
        return nullptr;
    }
    const NumpyApi* candidate = new NumpyApi(made);
    const NumpyApi* expected = nullptr;
    if (published.compare_exchange_strong(expected, candidate, std::memory_order_acq_rel)) return candidate;
    drop(made);
    delete candidate;
    return expected;
}

// Ufuncs matched to a row: few (one per ufunc a program uses), read on every ufunc call.
struct UfuncRow {
    PyObject* ufunc;
    const void* row;
};
std::mutex ufunc_rows_lock;
UfuncRow ufunc_rows[64] = {};
std::size_t ufunc_row_count = 0;

}  // namespace

const NumpyApi* numpy_api() {
    if (const NumpyApi* api = published.load(std::memory_order_acquire)) return api;
    PyRef module = PyRef::steal(PyImport_ImportModule("numpy"));
    if (!module) {
        if (PyErr_ExceptionMatches(PyExc_ImportError)) {
            PyErr_Clear();
            PyErr_SetString(PyExc_ImportError,
                            "TarvelArray needs NumPy, which is not installed (pip install numpy)");
        }
        return nullptr;
    }
    return load(module.get());
}

PyObject* numpy_module() {
    const NumpyApi* numpy = numpy_api();
    return numpy ? numpy->module : nullptr;
}

const NumpyApi* numpy_api_if_loaded() noexcept {
    if (const NumpyApi* api = published.load(std::memory_order_acquire)) return api;
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* module = modules ? PyDict_GetItemString(modules, "numpy") : nullptr;
    if (!module) return nullptr;
    const NumpyApi* api = load(module);
    if (!api) PyErr_Clear();
    return api;
}

bool is_ndarray(PyObject* object) noexcept {
    const NumpyApi* numpy = numpy_api_if_loaded();
    return numpy && PyObject_TypeCheck(object, numpy->ndarray);
}

bool is_masked_array(PyObject* object) noexcept {
    PyObject* type = masked_type.load(std::memory_order_acquire);
    if (!type) {
        const NumpyApi* numpy = numpy_api_if_loaded();
        if (!numpy || !PyObject_TypeCheck(object, numpy->ndarray)) return false;
        PyObject* modules = PyImport_GetModuleDict();
        PyObject* ma = modules ? PyDict_GetItemString(modules, "numpy.ma") : nullptr;
        if (!ma) return false;
        PyObject* found = PyObject_GetAttrString(ma, "MaskedArray");
        if (!found || !PyType_Check(found)) {
            Py_XDECREF(found);
            PyErr_Clear();
            return false;
        }
        PyObject* expected = nullptr;
        if (masked_type.compare_exchange_strong(expected, found, std::memory_order_acq_rel)) {
            type = found;
        } else {
            Py_DECREF(found);
            type = expected;
        }
    }
    return PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(type));
}

bool is_complex_number(PyObject* object) noexcept {
    if (PyComplex_Check(object)) return true;
    const NumpyApi* numpy = numpy_api_if_loaded();
    if (!numpy) return false;
    if (PyObject_TypeCheck(object, numpy->ndarray)) {
        const std::optional<DtypeKind> kind = array_dtype_kind(object);
        if (!kind) PyErr_Clear();
        return kind == DtypeKind::Complex;
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

// The one-letter code of a dtype object (its `char`), or '\0' with an exception set when it has none.
static char dtype_code(PyObject* dtype) {
    PyObject* code = PyObject_GetAttrString(dtype, "char");
    if (!code) return '\0';
    const char* text = PyUnicode_Check(code) ? PyUnicode_AsUTF8(code) : nullptr;
    const char result = text && text[0] != '\0' && text[1] == '\0' ? text[0] : '\0';
    Py_DECREF(code);
    if (result == '\0' && !PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "a dtype code is one letter");
    return result;
}

std::optional<DtypeKind> dtype_kind(PyObject* dtype) {
    const char code = dtype_code(dtype);
    switch (code) {
        case '\0': return std::nullopt;
        case 'd': return DtypeKind::Float64;
        case 'f': return DtypeKind::Float32;
        case 'e':
        case 'g': return DtypeKind::OtherFloat;
        case '?': return DtypeKind::Bool;
        case 'O': return DtypeKind::Object;
        case 'F':
        case 'D':
        case 'G': return DtypeKind::Complex;
        default: break;
    }
    if (std::string_view("bBhHiIlLqQpPnN").find(code) != std::string_view::npos) return DtypeKind::Integer;
    return DtypeKind::Other;
}

std::optional<DtypeKind> array_dtype_kind(PyObject* array) {
    PyRef dtype = PyRef::steal(PyObject_GetAttrString(array, "dtype"));
    if (!dtype) return std::nullopt;
    return dtype_kind(dtype.get());
}

std::optional<DtypeKind> float_dtype_kind(PyObject* dtype) {
    const std::optional<DtypeKind> kind = dtype_kind(dtype);
    if (!kind || is_float_kind(*kind)) return kind;
    PyRef name = PyRef::steal(PyObject_Str(dtype));
    const char* text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (text) raise_error(TarvelError::unsupported_dtype(text));
    return std::nullopt;
}

PyObject* as_dtype(PyObject* spec) {
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return nullptr;
    return PyObject_CallOneArg(numpy->dtype_type, spec);
}

const void* known_ufunc_row(PyObject* ufunc) noexcept {
    const std::lock_guard<std::mutex> hold(ufunc_rows_lock);
    for (std::size_t i = 0; i < ufunc_row_count; ++i) {
        if (ufunc_rows[i].ufunc == ufunc) return ufunc_rows[i].row;
    }
    return nullptr;
}

void remember_ufunc_row(PyObject* ufunc, const void* row) noexcept {
    const std::lock_guard<std::mutex> hold(ufunc_rows_lock);
    for (std::size_t i = 0; i < ufunc_row_count; ++i) {
        if (ufunc_rows[i].ufunc == ufunc) return;
    }
    if (ufunc_row_count < std::size(ufunc_rows)) {
        ufunc_rows[ufunc_row_count++] = UfuncRow{Py_NewRef(ufunc), row};
    }
}

}  // namespace tarvel::py
