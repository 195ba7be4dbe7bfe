#pragma once
// NumPy, reached through its Python-level API: imported on first use (never by `import tarvel`). Every
// NumPy object the extension keeps lives here: the module, types, dtypes and callables, looked up once into
// one immutable record published atomically; numpy.ma's array type once that module is in use; and the
// ufuncs already matched to a row of the ufunc table (behind a lock). Safe on a free-threaded build.

#include <Python.h>

#include <optional>
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
    PyObject* dtype_type;       // numpy.dtype
    PyObject* no_value;         // numpy._NoValue, the "not given" default of many parameters
    PyObject* dtype_name;       // "dtype", interned
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

// What the library makes of a dtype: float64 and float32 are held as they are, integers and booleans
// widen to float64, the rest is refused (object arrays hold Tarvel elements). OtherFloat is float16 and
// long double, which some NumPy results widen.
enum class DtypeKind { Float64, Float32, OtherFloat, Integer, Bool, Complex, Object, Other };

// The kind of a dtype object, read from its one-letter code (`char`); nullopt with an exception set when
// it has none.
std::optional<DtypeKind> dtype_kind(PyObject* dtype);
// The kind of an array's dtype (any object with a `dtype` attribute, lazy arrays included).
std::optional<DtypeKind> array_dtype_kind(PyObject* array);
inline bool is_float_kind(DtypeKind kind) noexcept {
    return kind == DtypeKind::Float64 || kind == DtypeKind::Float32;
}
// The kind of a dtype that must be float64 or float32: nullopt with the library's unsupported-dtype error
// (naming the dtype) for any other.
std::optional<DtypeKind> float_dtype_kind(PyObject* dtype);

// numpy.dtype(spec): a new reference, or nullptr with NumPy's exception.
PyObject* as_dtype(PyObject* spec);

// The row a ufunc object was matched to before (nullptr when it was not), and recording a match. A ufunc
// recorded is kept alive, so that its address is never reused.
const void* known_ufunc_row(PyObject* ufunc) noexcept;
void remember_ufunc_row(PyObject* ufunc, const void* row) noexcept;

}  // namespace tarvel::py
