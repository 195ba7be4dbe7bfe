#pragma once
// NumPy, reached through its Python-level API: imported on first use (never by `import tarvel`), with the
// callables and dtypes the array class needs looked up once and kept for the life of the process.

#include <Python.h>

#include <string>

namespace tarvel::py {

// Borrowed reference to the imported `numpy` module, or nullptr with ImportError set.
PyObject* numpy_module();

struct NumpyApi {
    PyObject* module;
    PyTypeObject* ndarray;
    PyObject* empty;    // numpy.empty
    PyObject* asarray;  // numpy.asarray
    PyObject* array;    // numpy.array
    PyObject* float64;  // dtype objects
    PyObject* float32;
    PyObject* bool_;
    PyObject* array2string;
    PyObject* ufunc_type;
    PyObject* complexfloating;  // numpy.complexfloating, the complex scalar types' base
};

// The cached API (borrowed references), or nullptr with ImportError set.
const NumpyApi* numpy_api();
// Without importing: the API when NumPy is already in use (by us or by the caller), else nullptr and no
// exception. An object of a NumPy type implies that NumPy is imported.
const NumpyApi* numpy_api_if_loaded() noexcept;

// True for an ndarray (or a subclass) once NumPy is loaded.
bool is_ndarray(PyObject* object) noexcept;

// A numpy.ma masked array (looked for only once numpy.ma is imported, as it must be to make one).
bool is_masked_array(PyObject* object) noexcept;
// A complex number: a Python or NumPy complex scalar, or a complex ndarray of any shape.
bool is_complex_number(PyObject* object) noexcept;
// The name of an object's type ("MaskedArray", "complex128"), for messages.
std::string type_name_of(PyObject* object);

// The one-letter code of a dtype object (its `char`: 'd' float64, 'f' float32, 'O' object, ...), or '\0'
// with an exception set when it has none.
char dtype_code(PyObject* dtype);
// The code of an array's dtype (any object with a `dtype` attribute, lazy arrays included).
char array_dtype_code(PyObject* array);
// numpy.dtype(spec): a new reference, or nullptr with NumPy's exception.
PyObject* as_dtype(PyObject* spec);

}  // namespace tarvel::py
