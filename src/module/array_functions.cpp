// TarvelArray.__array_function__: NumPy functions on quantity arrays, driven by a table with one row per
// function. A row says what each parameter carries (a value in the row's units, a coordinate, a factor
// that keeps its own units, a pure number, ...) and how the result's units follow from the arguments'.
// The handler converts the quantity arguments with the core conversion, calls NumPy's own
// implementation on the magnitudes and attaches the units to what comes back, so every result is what
// NumPy computes on the converted magnitudes.

#include <Python.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "module/args.hpp"
#include "module/boundary.hpp"
#include "module/numpy_api.hpp"
#include "module/objects.hpp"
#include "module/py_ref.hpp"
#include "module/array_internal.hpp"
#include "module/array_registry.hpp"
#include "module/tarvel_array.hpp"
#include "quantity/quantity.hpp"
#include "quantity/temperature.hpp"
#include "quantity/operation_plan.hpp"
#include "unit/simplify.hpp"

namespace tarvel::py {

namespace {

// What a parameter carries. Letters are those of the signatures in the table below.
enum class Role : unsigned char {
    Pass,        // (no letter) not a quantity: axis, dtype, flags; a quantity here is refused
    Value,       // v: a quantity in the row's value units; the first one given sets them
    Interval,    // i: a difference of values (a tolerance): into the value units by factors alone
    Values,      // s: a sequence of values (or one value)
    Coordinate,  // c: a quantity in the row's coordinate units; the first one given sets them
    Own,         // u: a quantity that keeps its own units (a factor of a product, a spacing, weights)
    Plain,       // p: a pure number; a quantity there must be dimensionless and becomes a plain ratio
    Bins,        // b: a count or a method name, or else bin edges in value units
    Out,         // o: receives the result, converted into the units it has
    OwnEach,     // U: a sequence whose elements each keep their own units (factors of a chained product)
    Coefficients,  // k: polynomial coefficients, highest power first, each in its own units
};

// How the result's units follow from the arguments'.
enum class ResultUnits : unsigned char {
    Plain,                 // indices, booleans, counts: returned as NumPy gives them
    Value,                 // the value units
    ValueSquared,          // var: the value units squared
    Product,               // the product of the Own arguments' units
    ValueTimesCoordinate,  // trapezoid: value units times coordinate units
    ValuePerSpacing,       // gradient: value units over each axis's spacing units
    Histogram,             // counts (in the weights' units, per value unit with density) and edges
    EachOwn,               // one result per Own argument, in that argument's units
    FirstValue,            // values first, then indices or counts (unique with its flags)
    SecondValue,           // a factorisation whose second array carries the values (svd's S, qr's R)
    Interval,              // a change or spread of the values: intervals for absolute temperatures
    IntervalSquared,       // var: the interval units squared
    IntervalPerSpacing,    // gradient: interval units over each axis's spacing units
    PowerOfCount,          // prod: the value units to the number of factors reduced
    PowerOfLastAxis,       // det: the value units to the matrix order
    MatrixPower,           // matrix_power: the value units to its integer n
    Reciprocal,            // inv, pinv, tensorinv: one over the value units
    SquareRoot,            // cholesky: the square root of the value units
    QuotientOwn,           // solve, tensorsolve: the second Own argument's units over the first's
    LeastSquares,          // lstsq: (b/a, b squared, rank, a)
    Norm,                  // norms: the value units, except ord=0 which counts non-zero entries
    ReciprocalOwn,         // fftfreq: one over the spacing's units (cycles per sample without one)
    Polynomial,            // polyfit: coefficient i (highest power first) in value / coordinate**(deg-i)
    PolynomialValue,       // polyval: the constant coefficient's units
};

struct Rule {
    const char* function;   // the name in the numpy namespace; a row whose name is missing is skipped
    ResultUnits units;
    // Parameters in NumPy's order: "name" or "name:letter"; "*name:letter" takes the remaining
    // positional arguments; a lone "*" starts the keyword-only ones.
    const char* signature;
};

constexpr const char* REDUCE = "a:v axis dtype out:o keepdims initial:v where:p";
constexpr const char* MEAN = "a:v axis dtype out:o keepdims * where:p";
constexpr const char* SPREAD = "a:v axis dtype out:o ddof keepdims * where:p mean:v correction";
constexpr const char* EXTREMUM = "a:v axis out:o keepdims initial:v where:p";
constexpr const char* ARG_EXTREMUM = "a:v axis out * keepdims";
constexpr const char* MEDIAN = "a:v axis out:o overwrite_input keepdims";
constexpr const char* PERCENTILE =
    "a:v q:p axis out:o overwrite_input method keepdims * weights:p interpolation";
constexpr const char* CUMULATE = "a:v axis dtype out:o";
constexpr const char* JOIN = "arrays:s axis out:o * dtype casting";
constexpr const char* JOIN_TUPLE = "tup:s * dtype casting";
constexpr const char* LIKE = "a:v dtype order subok shape * device";
// atol is a quantity; left out, NumPy's default applies to the magnitudes in the first argument's units.
constexpr const char* CLOSE = "a:v b:v rtol:p atol:i equal_nan";
constexpr const char* PRODUCT = "a:u b:u";
constexpr const char* SPLIT = "ary:v indices_or_sections axis";
// where= would make the number of factors differ from element to element, so it must be plain truth.
constexpr const char* PROD = "a:v axis dtype out:o keepdims initial:p where";
constexpr const char* FFT = "a:v n axis norm out:o";
constexpr const char* FFT_N = "a:v s axes norm out:o";
constexpr const char* UFUNC_REDUCE = "array:v axis dtype out:o keepdims initial:v where:p";
constexpr const char* UFUNC_PROD = "array:v axis dtype out:o keepdims initial:p where";
constexpr const char* UFUNC_ACCUMULATE = "array:v axis dtype out:o";
constexpr const char* UFUNC_REDUCEAT = "array:v indices axis dtype out:o";

constexpr ResultUnits PLAIN = ResultUnits::Plain;
constexpr ResultUnits VALUE = ResultUnits::Value;
constexpr ResultUnits INTERVAL = ResultUnits::Interval;

constexpr Rule RULES[] = {
    // Joining and splitting
    {"concatenate", VALUE, JOIN},
    {"concat", VALUE, JOIN},
    {"row_stack", VALUE, JOIN_TUPLE},
    {"dsplit", VALUE, "ary:v indices_or_sections"},
    {"stack", VALUE, JOIN},
    {"vstack", VALUE, JOIN_TUPLE},
    {"hstack", VALUE, JOIN_TUPLE},
    {"dstack", VALUE, "tup:s"},
    {"block", VALUE, "arrays:s"},
    {"column_stack", VALUE, "tup:s"},
    {"append", VALUE, "arr:v values:v axis"},
    {"insert", VALUE, "arr:v obj values:v axis"},
    {"delete", VALUE, "arr:v obj axis"},
    {"split", VALUE, SPLIT},
    {"array_split", VALUE, SPLIT},
    {"hsplit", VALUE, "ary:v indices_or_sections"},
    {"vsplit", VALUE, "ary:v indices_or_sections"},
    // Selection and ordering
    {"where", VALUE, "condition:p x:v y:v"},
    {"clip", VALUE, "a:v a_min:v a_max:v out:o * min:v max:v"},
    {"sort", VALUE, "a:v axis kind order * stable"},
    {"argsort", PLAIN, "a:v axis kind order * stable"},
    {"searchsorted", PLAIN, "a:v v:v side sorter"},
    {"take", VALUE, "a:v indices axis out:o mode"},
    {"take_along_axis", VALUE, "arr:v indices axis"},
    {"compress", VALUE, "condition:p a:v axis out:o"},
    {"extract", VALUE, "condition:p arr:v"},
    {"choose", VALUE, "a choices:s out:o mode"},
    {"partition", VALUE, "a:v kth axis kind order"},
    {"argpartition", PLAIN, "a:v kth axis kind order"},
    {"select", VALUE, "condlist:p choicelist:s default:v"},
    {"nonzero", PLAIN, "a:v"},
    {"argwhere", PLAIN, "a:v"},
    {"count_nonzero", PLAIN, "a:v axis * keepdims"},
    // Sets
    {"unique", ResultUnits::FirstValue,
     "ar:v return_index return_inverse return_counts axis * equal_nan sorted"},
    {"intersect1d", ResultUnits::FirstValue, "ar1:v ar2:v assume_unique return_indices"},
    {"union1d", VALUE, "ar1:v ar2:v"},
    {"setdiff1d", VALUE, "ar1:v ar2:v assume_unique"},
    {"setxor1d", VALUE, "ar1:v ar2:v assume_unique"},
    {"isin", PLAIN, "element:v test_elements:v assume_unique invert * kind"},
    {"in1d", PLAIN, "ar1:v ar2:v assume_unique invert * kind"},  // NumPy before 2.4
    {"unique_values", VALUE, "x:v"},
    {"unique_counts", ResultUnits::FirstValue, "x:v"},
    {"unique_inverse", ResultUnits::FirstValue, "x:v"},
    {"unique_all", ResultUnits::FirstValue, "x:v"},
    {"histogram_bin_edges", VALUE, "a:v bins:b range:s weights:p"},
    {"bincount", ResultUnits::EachOwn, "x / weights:u minlength"},
    {"digitize", PLAIN, "x:v bins:v right"},
    {"flatnonzero", PLAIN, "a:v"},
    {"lexsort", PLAIN, "keys:U axis"},
    {"trim_zeros", VALUE, "filt:v trim axis"},
    // Reductions and statistics
    {"sum", VALUE, REDUCE},
    {"nansum", VALUE, REDUCE},
    {"mean", VALUE, MEAN},
    {"nanmean", VALUE, MEAN},
    {"std", INTERVAL, SPREAD},
    {"nanstd", INTERVAL, SPREAD},
    {"var", ResultUnits::IntervalSquared, SPREAD},
    {"nanvar", ResultUnits::IntervalSquared, SPREAD},
    {"min", VALUE, EXTREMUM},
    {"amin", VALUE, EXTREMUM},
    {"nanmin", VALUE, EXTREMUM},
    {"max", VALUE, EXTREMUM},
    {"amax", VALUE, EXTREMUM},
    {"nanmax", VALUE, EXTREMUM},
    {"ptp", INTERVAL, "a:v axis out:o keepdims"},
    {"prod", ResultUnits::PowerOfCount, PROD},
    {"cov", ResultUnits::ValueSquared, "m:v y:v rowvar bias ddof fweights aweights:p * dtype"},
    {"all", PLAIN, "a:v axis out keepdims * where:p"},
    {"any", PLAIN, "a:v axis out keepdims * where:p"},
    {"argmin", PLAIN, ARG_EXTREMUM},
    {"argmax", PLAIN, ARG_EXTREMUM},
    {"nanargmin", PLAIN, ARG_EXTREMUM},
    {"nanargmax", PLAIN, ARG_EXTREMUM},
    // Weights are pure numbers, so the sum of weights that `returned` adds is one too.
    {"average", ResultUnits::FirstValue, "a:v axis weights:p returned * keepdims"},
    {"corrcoef", PLAIN, "x:u y:u rowvar * dtype"},
    {"median", VALUE, MEDIAN},
    {"nanmedian", VALUE, MEDIAN},
    {"percentile", VALUE, PERCENTILE},
    {"nanpercentile", VALUE, PERCENTILE},
    {"quantile", VALUE, PERCENTILE},
    {"nanquantile", VALUE, PERCENTILE},
    {"cumsum", VALUE, CUMULATE},
    {"nancumsum", VALUE, CUMULATE},
    {"cumulative_sum", VALUE, "x:v * axis dtype out:o include_initial"},
    {"trace", VALUE, "a:v offset axis1 axis2 dtype out:o"},
    {"histogram", ResultUnits::Histogram, "a:v bins:b range:s density weights:u"},
    // Calculus and sampling
    {"diff", INTERVAL, "a:v n axis prepend:v append:v"},
    {"ediff1d", INTERVAL, "ary:v to_end:v to_begin:v"},
    {"gradient", ResultUnits::IntervalPerSpacing, "f:v *varargs:u * axis edge_order"},
    {"geomspace", VALUE, "start:v stop:v num endpoint dtype axis"},
    {"logspace", PLAIN, "start:p stop:p num endpoint base:p dtype axis"},
    {"polyfit", ResultUnits::Polynomial, "x:c y:v deg rcond full w:p cov"},
    {"polyval", ResultUnits::PolynomialValue, "p:k x:c"},
    {"sinc", PLAIN, "x:p"},
    {"i0", PLAIN, "x:p"},
    {"trapezoid", ResultUnits::ValueTimesCoordinate, "y:v x:c dx:c axis"},
    {"trapz", ResultUnits::ValueTimesCoordinate, "y:v x:c dx:c axis"},
    {"interp", VALUE, "x:c xp:c fp:v left:v right:v period:c"},
    {"linspace", VALUE, "start:v stop:v num endpoint retstep dtype axis * device"},
    // Comparison
    {"isclose", PLAIN, CLOSE},
    {"isneginf", PLAIN, "x:v out"},
    {"isposinf", PLAIN, "x:v out"},
    {"isreal", PLAIN, "x:v"},
    {"iscomplex", PLAIN, "x:v"},
    {"isrealobj", PLAIN, "x:v"},
    {"iscomplexobj", PLAIN, "x:v"},
    {"isfortran", PLAIN, "a:v"},
    {"isscalar", PLAIN, "element:v"},
    {"iterable", PLAIN, "y:v"},
    {"real", VALUE, "val:v"},
    {"imag", VALUE, "val:v"},
    {"real_if_close", VALUE, "a:v tol"},
    {"allclose", PLAIN, CLOSE},
    {"array_equal", PLAIN, "a1:v a2:v equal_nan"},
    {"array_equiv", PLAIN, "a1:v a2:v"},
    // Products
    {"dot", ResultUnits::Product, "a:u b:u out:o"},
    {"vdot", ResultUnits::Product, PRODUCT},
    {"inner", ResultUnits::Product, PRODUCT},
    {"outer", ResultUnits::Product, "a:u b:u out:o"},
    {"cross", ResultUnits::Product, "a:u b:u axisa axisb axisc axis"},
    {"kron", ResultUnits::Product, PRODUCT},
    {"tensordot", ResultUnits::Product, "a:u b:u axes"},
    {"convolve", ResultUnits::Product, "a:u v:u mode"},
    {"correlate", ResultUnits::Product, "a:u v:u mode"},
    {"linalg.matmul", ResultUnits::Product, "x1:u x2:u"},
    {"linalg.vecdot", ResultUnits::Product, "x1:u x2:u * axis"},
    {"linalg.outer", ResultUnits::Product, "x1:u x2:u"},
    {"linalg.cross", ResultUnits::Product, "x1:u x2:u * axis"},
    {"linalg.tensordot", ResultUnits::Product, "x1:u x2:u * axes"},
    {"linalg.multi_dot", ResultUnits::Product, "arrays:U * out:o"},
    // Linear algebra
    {"linalg.det", ResultUnits::PowerOfLastAxis, "a:v"},
    {"linalg.inv", ResultUnits::Reciprocal, "a:v"},
    {"linalg.pinv", ResultUnits::Reciprocal, "a:v rcond:p hermitian * rtol:p"},
    {"linalg.tensorinv", ResultUnits::Reciprocal, "a:v ind"},
    {"linalg.matrix_power", ResultUnits::MatrixPower, "a:v n"},
    {"linalg.cholesky", ResultUnits::SquareRoot, "a:v / * upper"},
    {"linalg.solve", ResultUnits::QuotientOwn, "a:u b:u"},
    {"linalg.tensorsolve", ResultUnits::QuotientOwn, "a:u b:u axes"},
    {"linalg.lstsq", ResultUnits::LeastSquares, "a:u b:u rcond:p"},
    {"linalg.norm", ResultUnits::Norm, "x:v ord axis keepdims"},
    {"linalg.vector_norm", ResultUnits::Norm, "x:v / * axis keepdims ord"},
    {"linalg.matrix_norm", ResultUnits::Norm, "x:v / * keepdims ord"},
    {"linalg.cond", PLAIN, "x:v p"},
    {"linalg.matrix_rank", PLAIN, "A:v tol:v hermitian * rtol:p"},
    {"linalg.eigvals", VALUE, "a:v"},
    {"linalg.eigvalsh", VALUE, "a:v UPLO"},
    {"linalg.svdvals", VALUE, "x:v"},
    {"linalg.eig", ResultUnits::FirstValue, "a:v"},
    {"linalg.eigh", ResultUnits::FirstValue, "a:v UPLO"},
    {"linalg.svd", ResultUnits::SecondValue, "a:v full_matrices compute_uv hermitian"},
    {"linalg.qr", ResultUnits::SecondValue, "a:v mode"},
    {"linalg.matrix_transpose", VALUE, "x:v"},
    {"linalg.diagonal", VALUE, "x:v / * offset"},
    {"linalg.trace", VALUE, "x:v / * offset dtype"},
    // Fourier transforms with real results; a spacing's frequencies are its reciprocal
    {"fft.irfft", VALUE, FFT},
    {"fft.hfft", VALUE, FFT},
    {"fft.irfft2", VALUE, FFT_N},
    {"fft.irfftn", VALUE, FFT_N},
    {"fft.fftshift", VALUE, "x:v axes"},
    {"fft.ifftshift", VALUE, "x:v axes"},
    {"fft.fftfreq", ResultUnits::ReciprocalOwn, "n d:u device"},
    {"fft.rfftfreq", ResultUnits::ReciprocalOwn, "n d:u device"},
    // Rounding and cleaning
    {"round", VALUE, "a:v decimals out:o"},
    {"around", VALUE, "a:v decimals out:o"},
    {"fix", VALUE, "x:v out:o"},
    {"nan_to_num", VALUE, "x:v copy nan:v posinf:v neginf:v"},
    // Shape
    {"reshape", VALUE, "a:v shape order * newshape copy"},
    {"ravel", VALUE, "a:v order"},
    {"transpose", VALUE, "a:v axes"},
    {"permute_dims", VALUE, "a:v axes"},
    {"matrix_transpose", VALUE, "x:v"},
    {"unstack", VALUE, "x:v * axis"},
    {"swapaxes", VALUE, "a:v axis1 axis2"},
    {"moveaxis", VALUE, "a:v source destination"},
    {"squeeze", VALUE, "a:v axis"},
    {"rollaxis", VALUE, "a:v axis start"},
    {"diagflat", VALUE, "v:v k"},
    {"ix_", ResultUnits::EachOwn, "*args:u"},
    {"diag_indices_from", PLAIN, "arr:v"},
    {"tril_indices_from", PLAIN, "arr:v k"},
    {"triu_indices_from", PLAIN, "arr:v k"},
    {"astype", VALUE, "x:v dtype / * copy device"},
    {"asarray_chkfinite", VALUE, "a:v dtype order"},
    {"expand_dims", VALUE, "a:v axis"},
    {"broadcast_to", VALUE, "array:v shape subok"},
    {"atleast_1d", ResultUnits::EachOwn, "*arys:u"},
    {"atleast_2d", ResultUnits::EachOwn, "*arys:u"},
    {"atleast_3d", ResultUnits::EachOwn, "*arys:u"},
    {"broadcast_arrays", ResultUnits::EachOwn, "*args:u * subok"},
    {"meshgrid", ResultUnits::EachOwn, "*xi:u * copy sparse indexing"},
    {"flip", VALUE, "m:v axis"},
    {"fliplr", VALUE, "m:v"},
    {"flipud", VALUE, "m:v"},
    {"rot90", VALUE, "m:v k axes"},
    {"roll", VALUE, "a:v shift axis"},
    {"tile", VALUE, "A:v reps"},
    {"repeat", VALUE, "a:v repeats axis"},
    {"resize", VALUE, "a:v new_shape"},
    {"diagonal", VALUE, "a:v offset axis1 axis2"},
    {"diag", VALUE, "v:v k"},
    {"triu", VALUE, "m:v k"},
    {"tril", VALUE, "m:v k"},
    {"copy", VALUE, "a:v order subok"},
    {"pad", VALUE, "array:v pad_width mode * constant_values:s end_values:s stat_length reflect_type"},
    {"shape", PLAIN, "a:v"},
    {"ndim", PLAIN, "a:v"},
    {"size", PLAIN, "a:v axis"},
    {"result_type", PLAIN, "*arrays_and_dtypes:u"},
    {"shares_memory", PLAIN, "a:u b:u max_work"},
    {"may_share_memory", PLAIN, "a:u b:u max_work"},
    // New arrays like an existing one
    {"zeros_like", VALUE, LIKE},
    {"ones_like", VALUE, LIKE},
    {"empty_like", VALUE, LIKE},
    {"full_like", VALUE, "a:v fill_value:v dtype order subok shape * device"},

    // The array's own methods: the same rows, the array first
    {"ndarray.sum", VALUE, REDUCE},
    {"ndarray.prod", ResultUnits::PowerOfCount, PROD},
    {"ndarray.mean", VALUE, MEAN},
    {"ndarray.std", INTERVAL, SPREAD},
    {"ndarray.var", ResultUnits::IntervalSquared, SPREAD},
    {"ndarray.min", VALUE, EXTREMUM},
    {"ndarray.max", VALUE, EXTREMUM},
    {"ndarray.cumsum", VALUE, CUMULATE},
    {"ndarray.argmin", PLAIN, ARG_EXTREMUM},
    {"ndarray.argmax", PLAIN, ARG_EXTREMUM},
    {"ndarray.clip", VALUE, "a:v min:v max:v out:o"},

    // Methods of the ufuncs that have rules (their calls are in the ufunc table)
    {"add.reduce", VALUE, UFUNC_REDUCE},
    {"add.accumulate", VALUE, UFUNC_ACCUMULATE},
    {"add.reduceat", VALUE, UFUNC_REDUCEAT},
    {"add.outer", VALUE, "A:v B:v"},
    {"add.at", PLAIN, "a:v indices b:v"},
    {"subtract.outer", INTERVAL, "A:v B:v"},
    {"subtract.at", PLAIN, "a:v indices b:v"},
    {"multiply.reduce", ResultUnits::PowerOfCount, UFUNC_PROD},
    {"multiply.outer", ResultUnits::Product, "A:u B:u"},
    {"maximum.reduce", VALUE, UFUNC_REDUCE},
    {"maximum.accumulate", VALUE, UFUNC_ACCUMULATE},
    {"maximum.reduceat", VALUE, UFUNC_REDUCEAT},
    {"maximum.outer", VALUE, "A:v B:v"},
    {"maximum.at", PLAIN, "a:v indices b:v"},
    {"minimum.reduce", VALUE, UFUNC_REDUCE},
    {"minimum.accumulate", VALUE, UFUNC_ACCUMULATE},
    {"minimum.reduceat", VALUE, UFUNC_REDUCEAT},
    {"minimum.outer", VALUE, "A:v B:v"},
    {"minimum.at", PLAIN, "a:v indices b:v"},
    {"fmax.reduce", VALUE, UFUNC_REDUCE},
    {"fmax.accumulate", VALUE, UFUNC_ACCUMULATE},
    {"fmax.reduceat", VALUE, UFUNC_REDUCEAT},
    {"fmin.reduce", VALUE, UFUNC_REDUCE},
    {"fmin.accumulate", VALUE, UFUNC_ACCUMULATE},
    {"fmin.reduceat", VALUE, UFUNC_REDUCEAT},
};

// --- Messages ----------------------------------------------------------------------------------------

std::nullptr_t raise_no_rule_named(std::string_view name, std::string_view fallback_reason) {
    const char* reason = numpy_refusal_reason(name);
    return raise_error(TarvelError::unsupported_numpy(std::string(name), reason ? reason : std::string(fallback_reason)));
}

// The function's name under numpy ("linalg.norm"), or its repr for an object that is not NumPy's.
std::nullptr_t raise_no_rule(PyObject* function) {
    PyRef module = PyRef::steal(PyObject_GetAttrString(function, "__module__"));
    PyRef name = module ? PyRef::steal(PyObject_GetAttrString(function, "__name__")) : PyRef();
    const char* module_text = module && PyUnicode_Check(module.get()) ? PyUnicode_AsUTF8(module.get()) : nullptr;
    const char* name_text = name && PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (!module_text || !name_text) {
        PyErr_Clear();
        PyRef text = PyRef::steal(PyObject_Repr(function));
        const char* repr = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (!repr) return nullptr;
        return raise_error(TarvelError::unsupported_numpy(repr, "it is not a NumPy function tarvel knows"));
    }
    std::string qualified = module_text;
    qualified = qualified == "numpy" ? std::string() : qualified.starts_with("numpy.") ? qualified.substr(6) + "." : qualified + ".";
    return raise_no_rule_named(qualified + name_text, "it is not classified yet");
}

std::nullptr_t raise_quantity_not_allowed(const char* function, const char* parameter) {
    return raise_error(TarvelError::unsupported_numpy_argument(function, parameter));
}

std::nullptr_t raise_positional_quantity_not_allowed(const char* function, Py_ssize_t position) {
    return raise_error(TarvelError::unsupported_numpy_argument(function, std::to_string(position + 1)));
}

std::nullptr_t raise_unattachable(const char* function, PyObject* result) {
    PyErr_Format(PyExc_TypeError, "numpy.%s returned a %.200s, which cannot carry units", function,
                 Py_TYPE(result)->tp_name);
    return nullptr;
}

std::nullptr_t raise_bad_dtype(const char* function, PyObject* dtype) {
    PyErr_Format(PyExc_TypeError, "numpy.%s returned values of dtype %S, which a TarvelArray cannot hold",
                 function, dtype);
    return nullptr;
}

// --- The compiled table ------------------------------------------------------------------------------

// The most parameters a row may name (no NumPy function in the table has more).
constexpr std::size_t MAX_PARAMETERS = 12;

struct Parameter {
    std::string name;
    PyRef key;  // the name as an interned str, for keyword look-ups
    Role role = Role::Pass;
};

struct CompiledRule {
    const Rule* rule = nullptr;
    std::vector<Parameter> parameters;
    std::size_t positional = 0;            // parameters that may be given by position
    std::optional<std::size_t> variadic;   // the parameter taking the remaining positional arguments
    std::optional<std::size_t> density;    // histogram's flag
    PyRef implementation;                  // NumPy's function without the dispatch step
    PyRef dispatching;                     // the public function, for lazy magnitudes
    PyRef method_name;                     // an array method: its name, called on the first argument
    bool lazy_refused = false;             // the lazy library's version would not be exact
};

// Where a row's name lives: "sum" in numpy, "linalg.det" and "fft.fft" in the submodules, "ndarray.sum"
// an array method, "add.reduce" a method of a ufunc. Nothing (no exception) when this NumPy lacks it.
PyRef resolve_row(PyObject* numpy, std::string_view name) {
    const std::size_t dot = name.find('.');
    PyRef owner = PyRef::borrow(numpy);
    if (dot != std::string_view::npos) {
        owner = PyRef::steal(PyObject_GetAttrString(numpy, std::string(name.substr(0, dot)).c_str()));
        if (!owner) {
            PyErr_Clear();
            return {};
        }
    }
    PyRef found = PyRef::steal(PyObject_GetAttrString(owner.get(), std::string(name.substr(dot + 1)).c_str()));
    if (!found) PyErr_Clear();
    return found;
}

// True when an argument (or an element of a list or tuple argument) is a lazy array: NumPy's own
// implementation would read it into memory, the public function hands it to the array's library.
bool has_lazy_argument(PyObject* args, PyObject* kwargs) {
    auto lazy = [](PyObject* value) {
        if (is_duck_array(value)) return true;
        if (!PyList_CheckExact(value) && !PyTuple_CheckExact(value)) return false;
        const Py_ssize_t n = PySequence_Fast_GET_SIZE(value);
        for (Py_ssize_t i = 0; i < n; ++i) {
            if (is_duck_array(PySequence_Fast_ITEMS(value)[i])) return true;
        }
        return false;
    };
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(args); ++i) {
        if (lazy(PyTuple_GET_ITEM(args, i))) return true;
    }
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t cursor = 0;
    while (kwargs && PyDict_Next(kwargs, &cursor, &key, &value)) {
        if (lazy(value)) return true;
    }
    return false;
}

Role role_of_letter(char letter) {
    switch (letter) {
        case 'v': return Role::Value;
        case 'i': return Role::Interval;
        case 's': return Role::Values;
        case 'c': return Role::Coordinate;
        case 'u': return Role::Own;
        case 'p': return Role::Plain;
        case 'b': return Role::Bins;
        case 'o': return Role::Out;
        case 'U': return Role::OwnEach;
        case 'k': return Role::Coefficients;
        default: break;
    }
    throw InternalError("unknown parameter role in the array function table");
}

// false with an exception set when an interned name cannot be made.
bool compile_signature(const Rule& rule, CompiledRule& out) {
    out.rule = &rule;
    std::string_view rest = rule.signature;
    bool keyword_only = false;
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        std::string_view token = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        if (token == "*") {
            keyword_only = true;
            continue;
        }
        if (token == "/") continue;
        const bool variadic = token.front() == '*';
        if (variadic) token.remove_prefix(1);
        Parameter parameter;
        const std::size_t colon = token.find(':');
        parameter.name = std::string(token.substr(0, colon));
        if (colon != std::string_view::npos) parameter.role = role_of_letter(token.at(colon + 1));
        parameter.key = PyRef::steal(PyUnicode_InternFromString(parameter.name.c_str()));
        if (!parameter.key) return false;
        if (parameter.name == "density") out.density = out.parameters.size();
        if (variadic) {
            out.variadic = out.parameters.size();
            keyword_only = true;
        } else if (!keyword_only) {
            out.positional = out.parameters.size() + 1;
        }
        out.parameters.push_back(std::move(parameter));
    }
    if (out.parameters.size() > MAX_PARAMETERS) {
        throw InternalError("too many parameters in an array function rule");
    }
    return true;
}

// NumPy objects the handler needs, looked up once.
struct NumpyObjects {
    PyRef ndarray;      // the type
    PyRef no_value;     // numpy._NoValue, the "not given" default of many parameters
    PyRef float64;      // dtypes
    PyRef float32;
    PyRef dtype_name;   // "dtype", interned
    std::vector<CompiledRule> rules;
    std::unordered_map<PyObject*, const CompiledRule*> by_function;  // keys held by `functions`
    std::unordered_map<std::string_view, const CompiledRule*> by_name;  // methods of arrays and ufuncs
    std::vector<PyRef> functions;
};

// nullptr with an exception set on failure; retried on the next call then.
const NumpyObjects* numpy_objects() {
    static NumpyObjects* objects = nullptr;
    if (objects) return objects;
    auto made = std::make_unique<NumpyObjects>();
    const NumpyApi* api = numpy_api();  // the NumPy objects themselves are the one NumPy state's
    if (!api) return nullptr;
    PyRef numpy = PyRef::borrow(api->module);
    made->ndarray = PyRef::borrow(reinterpret_cast<PyObject*>(api->ndarray));
    made->no_value = PyRef::borrow(api->no_value);
    made->float64 = PyRef::borrow(api->float64);
    made->float32 = PyRef::borrow(api->float32);
    made->dtype_name = PyRef::borrow(api->dtype_name);
    made->rules.reserve(std::size(RULES));
    for (const Rule& rule : RULES) {
        const std::string_view name = rule.function;
        PyRef function = resolve_row(numpy.get(), name);
        if (!function) continue;  // not in this NumPy version
        CompiledRule compiled;
        if (!compile_signature(rule, compiled)) return nullptr;
        if (name.starts_with("ndarray.")) {
            compiled.method_name = PyRef::steal(PyUnicode_InternFromString(rule.function + 8));
            if (!compiled.method_name) return nullptr;
        }
        compiled.lazy_refused = name.ends_with("percentile") || name.ends_with("quantile");
        compiled.dispatching = PyRef::borrow(function.get());
        compiled.implementation = PyRef::steal(PyObject_GetAttrString(function.get(), "_implementation"));
        if (!compiled.implementation) {
            PyErr_Clear();  // older NumPy: the public function, which dispatches on plain arrays at once
            compiled.implementation = PyRef::borrow(function.get());
        }
        made->rules.push_back(std::move(compiled));
        made->functions.push_back(std::move(function));
    }
    // Pointers into `rules` are taken once it no longer grows.
    for (std::size_t i = 0; i < made->rules.size(); ++i) {
        const std::string_view name = made->rules[i].rule->function;
        const std::size_t dot = name.find('.');
        const bool method = dot != std::string_view::npos && name.substr(0, dot) != "linalg" &&
                            name.substr(0, dot) != "fft";
        if (method) {
            made->by_name.emplace(name, &made->rules[i]);
        } else {
            made->by_function.emplace(made->functions[i].get(), &made->rules[i]);
        }
    }
    objects = made.release();  // kept for the life of the process, like the classes
    return objects;
}

// --- Converting the arguments ----------------------------------------------------------------------

bool is_quantity(PyObject* value) noexcept { return is_tarvel_array(value) || is_tarvel(value); }

bool is_plain_unitless(const UnitCollection& units) noexcept {
    return units.unit_map.size() == 0 && units.factor == 1.0;
}

// The state of one call: the units each kind of argument brought.
struct Binding {
    const CompiledRule& rule;
    const NumpyObjects& numpy;
    std::optional<UnitCollection> value_units;
    std::optional<UnitCollection> coordinate_units;
    std::vector<UnitCollection> own_units;
    PyRef value_magnitudes;  // the first value's magnitudes, whose shape counts a product's factors
    // Held, since converting an argument may run Python code that could drop the caller's references.
    PyRef out;
    std::array<PyRef, MAX_PARAMETERS> given;  // by parameter; empty when not given

    const char* function() const noexcept { return rule.rule->function; }
    bool absent(PyObject* value) const noexcept { return value == Py_None || value == numpy.no_value.get(); }
};

// An ndarray, or a lazy array NumPy dispatched the call to (its result stays lazy).
bool is_ndarray(PyObject* value, const Binding& binding) {
    return PyObject_TypeCheck(value, reinterpret_cast<PyTypeObject*>(binding.numpy.ndarray.get())) ||
           is_duck_array(value);
}

// A plain NaN scalar is the missing value in any units (the fill of where, pad, full_like, interp's
// left and right), so it joins any domain as it is and sets none.
bool is_plain_nan(PyObject* value) noexcept {
    return PyFloat_Check(value) && std::isnan(PyFloat_AS_DOUBLE(value));
}

// A quantity in a domain whose units the first one given sets; later ones are converted into them.
// A plain number or array is unitless, so it joins only a unitless domain.
PyRef in_domain(PyObject* value, std::optional<UnitCollection>& domain, const Binding& binding,
                bool interval = false) {
    if (binding.absent(value) || is_plain_nan(value)) return PyRef::borrow(value);
    if (!is_quantity(value) && !PyUnicode_Check(value)) {
        if (!domain) domain = UnitCollection::empty();
        if (is_plain_unitless(*domain)) return PyRef::borrow(value);
    }
    ArrayOperand operand;
    if (!extract_array_operand(value, operand)) return {};
    if (!domain) {
        domain = operand.units;
        return std::move(operand.magnitudes);
    }
    return PyRef::steal(interval ? interval_magnitudes_in(operand, *domain) : magnitudes_in(operand, *domain));
}

PyRef own_units(PyObject* value, Binding& binding) {
    if (binding.absent(value)) return PyRef::borrow(value);
    if (!is_quantity(value)) {
        binding.own_units.push_back(UnitCollection::empty());
        return PyRef::borrow(value);
    }
    ArrayOperand operand;
    if (!extract_array_operand(value, operand)) return {};
    binding.own_units.push_back(std::move(operand.units));
    return std::move(operand.magnitudes);
}

// A sequence whose elements keep their own units: a list of their magnitudes.
PyRef own_each(PyObject* value, Binding& binding) {
    if (is_quantity(value) || binding.absent(value)) return own_units(value, binding);
    PyRef sequence = PyRef::steal(PySequence_Fast(value, "expected a sequence of arrays"));
    if (!sequence) return {};
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(sequence.get());
    PyRef converted = PyRef::steal(PyList_New(size));
    if (!converted) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyRef element = own_units(PySequence_Fast_GET_ITEM(sequence.get(), i), binding);
        if (!element) return {};
        PyList_SET_ITEM(converted.get(), i, element.release());
    }
    return converted;
}

PyRef plain_number(PyObject* value) {
    if (!is_quantity(value)) return PyRef::borrow(value);
    ArrayOperand operand;
    if (!extract_array_operand(value, operand)) return {};
    return PyRef::steal(magnitudes_in(operand, UnitCollection::empty()));
}

// A list or tuple of values, element by element (nested ones too, to a bounded depth); anything else is
// one value.
PyRef values(PyObject* value, Binding& binding, int depth = 0) {
    constexpr int MAX_DEPTH = 32;
    const bool list = PyList_CheckExact(value);
    if ((!list && !PyTuple_CheckExact(value)) || depth == MAX_DEPTH) {
        return in_domain(value, binding.value_units, binding);
    }
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(value);
    PyRef converted = PyRef::steal(list ? PyList_New(size) : PyTuple_New(size));
    if (!converted) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        // A list may change under the element's own conversion; the length was read once.
        PyRef item = PyRef::borrow(list ? PyList_GetItem(value, i) : PyTuple_GET_ITEM(value, i));
        if (!item) return {};
        PyRef element = values(item.get(), binding, depth + 1);
        if (!element) return {};
        if (list) {
            PyList_SET_ITEM(converted.get(), i, element.release());
        } else {
            PyTuple_SET_ITEM(converted.get(), i, element.release());
        }
    }
    return converted;
}

// The replacement of one argument; `parameter` is nullptr for an argument no row parameter names.
PyRef convert(PyObject* value, const Parameter* parameter, Py_ssize_t position, Binding& binding) {
    const Role role = parameter ? parameter->role : Role::Pass;
    switch (role) {
        case Role::Value: {
            const bool first = !binding.value_units;
            PyRef converted = in_domain(value, binding.value_units, binding);
            if (first && converted && binding.value_units) binding.value_magnitudes = PyRef::borrow(converted.get());
            return converted;
        }
        case Role::OwnEach: return own_each(value, binding);
        case Role::Coefficients: return PyRef::borrow(value);  // converted once x's units are known
        case Role::Interval: return in_domain(value, binding.value_units, binding, true);
        case Role::Values: return values(value, binding);
        case Role::Coordinate: return in_domain(value, binding.coordinate_units, binding);
        case Role::Own: return own_units(value, binding);
        case Role::Plain: return plain_number(value);
        case Role::Bins:
            // A count (an int or a NumPy integer scalar) or a method name; arrays are edges.
            if (!is_quantity(value) && !is_ndarray(value, binding) &&
                (PyUnicode_Check(value) || PyIndex_Check(value))) {
                return PyRef::borrow(value);
            }
            return in_domain(value, binding.value_units, binding);
        case Role::Out:
            if (binding.rule.rule->units != ResultUnits::Plain) {
                // Written after the call, converted into its own units; NumPy computes without it.
                if (!binding.absent(value)) binding.out = PyRef::borrow(value);
                return PyRef::borrow(Py_None);
            }
            break;
        case Role::Pass: break;
    }
    if (is_quantity(value)) {
        const char* function = binding.function();
        if (!parameter) return PyRef::steal(raise_positional_quantity_not_allowed(function, position));
        return PyRef::steal(raise_quantity_not_allowed(function, parameter->name.c_str()));
    }
    return PyRef::borrow(value);
}

// --- Attaching units to the result -------------------------------------------------------------------

// An ndarray of magnitudes a TarvelArray can hold: float64 and float32 as they are, integers and
// booleans as float64.
PyRef float_magnitudes(PyObject* array, const Binding& binding) {
    PyRef dtype = PyRef::steal(PyObject_GetAttr(array, binding.numpy.dtype_name.get()));
    if (!dtype) return {};
    if (dtype.get() == binding.numpy.float64.get() || dtype.get() == binding.numpy.float32.get()) {
        return PyRef::borrow(array);
    }
    const std::optional<DtypeKind> kind = dtype_kind(dtype.get());
    if (!kind) return {};
    if (*kind != DtypeKind::Complex && *kind != DtypeKind::Object && *kind != DtypeKind::Other) {
        return PyRef::steal(PyObject_CallMethod(array, "astype", "O", binding.numpy.float64.get()));
    }
    return PyRef::steal(raise_bad_dtype(binding.function(), dtype.get()));
}

// One array or number of the result in `units`; `normalise` applies the quick simplification that the
// scalar operation applies to a freshly computed collection (a product, a quotient, a power).
PyRef attach_one(PyObject* result, const UnitCollection& units, bool normalise, const Binding& binding) {
    const bool array = is_ndarray(result, binding);
    if (!array && !PyFloat_Check(result) && !PyLong_Check(result) && !PyNumber_Check(result)) {
        return PyRef::steal(raise_unattachable(binding.function(), result));
    }
    PyRef magnitudes = array ? float_magnitudes(result, binding) : PyRef::borrow(result);
    if (!magnitudes) return {};
    const UnitCollection* target = &units;
    std::optional<UnitCollection> cancelled = normalise ? try_simple_simplify(units) : std::nullopt;
    if (cancelled) {
        const ArrayOperand operand{std::move(magnitudes), units};
        magnitudes = PyRef::steal(magnitudes_in(operand, *cancelled));
        if (!magnitudes) return {};
        target = &*cancelled;
    }
    if (is_ndarray(magnitudes.get(), binding)) {
        return PyRef::steal(new_tarvel_array(magnitudes.get(), *target));
    }
    const double value = PyFloat_AsDouble(magnitudes.get());
    if (value == -1.0 && PyErr_Occurred()) return {};
    return PyRef::steal(new_tarvel(Quantity{*target, value}));
}

// The result with units_of(i) on its i-th array when it is a list or tuple of them (split, gradient,
// linspace with retstep), else units_of(0).
template <class UnitsOf>
PyRef attach(PyObject* result, UnitsOf&& units_of, bool normalise, const Binding& binding) {
    const bool list = PyList_CheckExact(result);
    if (!list && !PyTuple_CheckExact(result)) return attach_one(result, units_of(0), normalise, binding);
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(result);
    PyRef attached = PyRef::steal(list ? PyList_New(size) : PyTuple_New(size));
    if (!attached) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyObject* item = list ? PyList_GET_ITEM(result, i) : PyTuple_GET_ITEM(result, i);
        PyRef element = attach_one(item, units_of(static_cast<std::size_t>(i)), normalise, binding);
        if (!element) return {};
        if (list) {
            PyList_SET_ITEM(attached.get(), i, element.release());
        } else {
            PyTuple_SET_ITEM(attached.get(), i, element.release());
        }
    }
    return attached;
}

Result<UnitCollection> product_of(const std::vector<UnitCollection>& factors) {
    UnitCollection units = UnitCollection::empty();
    for (const UnitCollection& factor : factors) {
        Result<UnitCollection> product = raw_result_units(Operation::Product, units, factor);
        if (!product) return product;
        units = std::move(*product);
    }
    return units;
}

// The units of a product or quotient of the arguments, or the scalar's error when its exponents cannot be
// represented (nothing then: the exception is set).
std::optional<UnitCollection> units_or_raise(Result<UnitCollection>&& units) {
    if (!units) {
        raise_error(units.error());
        return std::nullopt;
    }
    return std::move(*units);
}

PyRef histogram_result(PyObject* result, const Binding& binding, const UnitCollection& value_units) {
    if (!PyTuple_CheckExact(result) || PyTuple_GET_SIZE(result) != 2) {
        return PyRef::steal(raise_unattachable(binding.function(), result));
    }
    UnitCollection counts = binding.own_units.empty() ? UnitCollection::empty() : binding.own_units[0];
    bool density = false;
    if (binding.rule.density) {
        PyObject* flag = binding.given[*binding.rule.density].get();
        if (flag) {
            const int truth = PyObject_IsTrue(flag);
            if (truth < 0) return {};
            density = truth != 0;
        }
    }
    if (!density) {
        if (binding.own_units.empty()) {
            PyRef plain = PyRef::borrow(PyTuple_GET_ITEM(result, 0));
            PyRef edges = attach_one(PyTuple_GET_ITEM(result, 1), value_units, false, binding);
            if (!edges) return {};
            return PyRef::steal(PyTuple_Pack(2, plain.get(), edges.get()));
        }
    } else {
        std::optional<UnitCollection> per_value = units_or_raise(raw_result_units(Operation::Quotient, counts, value_units));
        if (!per_value) return {};
        counts = std::move(*per_value);
    }
    PyRef hist = attach_one(PyTuple_GET_ITEM(result, 0), counts, true, binding);
    if (!hist) return {};
    PyRef edges = attach_one(PyTuple_GET_ITEM(result, 1), value_units, false, binding);
    if (!edges) return {};
    return PyRef::steal(PyTuple_Pack(2, hist.get(), edges.get()));
}

// The result with the same units on every array or number in it.
PyRef attach_all(PyObject* result, const UnitCollection& units, bool normalise, const Binding& binding) {
    return attach(result, [&](std::size_t) -> const UnitCollection& { return units; }, normalise, binding);
}

// The values in the tuple's item `index`, the other items (indices, counts, unit-free factors) plain. A
// named tuple NumPy returns (unique_counts, eig, svd) comes back as the same named tuple.
PyRef nth_with_units(PyObject* result, Py_ssize_t index, const UnitCollection& units, const Binding& binding) {
    if (!PyTuple_Check(result)) return attach_one(result, units, true, binding);
    PyRef attached = PyRef::steal(PyTuple_New(PyTuple_GET_SIZE(result)));
    if (!attached) return {};
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(result); ++i) {
        PyObject* item = PyTuple_GET_ITEM(result, i);
        PyRef element = i == index ? attach_one(item, units, true, binding) : PyRef::borrow(item);
        if (!element) return {};
        PyTuple_SET_ITEM(attached.get(), i, element.release());
    }
    if (PyTuple_CheckExact(result)) return attached;
    return PyRef::steal(PyObject_Call(reinterpret_cast<PyObject*>(Py_TYPE(result)), attached.get(), nullptr));
}

// The index of the parameter called `name` in the row, if it has one.
std::optional<std::size_t> parameter_index(const CompiledRule& rule, std::string_view name) {
    for (std::size_t i = 0; i < rule.parameters.size(); ++i) {
        if (rule.parameters[i].name == name) return i;
    }
    return std::nullopt;
}

// The argument given for `name`, or nullptr when it was not given (or given as None / NumPy's no-value).
PyObject* given_named(const Binding& binding, std::string_view name) {
    const std::optional<std::size_t> index = parameter_index(binding.rule, name);
    if (!index) return nullptr;
    PyObject* value = binding.given[*index].get();
    return value && !binding.absent(value) ? value : nullptr;
}

// An integer argument (deg, n), or nothing with an exception set.
std::optional<long long> integer_named(const Binding& binding, std::string_view name) {
    PyObject* value = given_named(binding, name);
    if (!value) {
        PyErr_Format(PyExc_TypeError, "numpy.%s needs its argument '%s'", binding.function(),
                     std::string(name).c_str());
        return std::nullopt;
    }
    const long long n = PyLong_AsLongLong(value);
    if (n == -1 && PyErr_Occurred()) return std::nullopt;
    return n;
}

// The shape of the first value's magnitudes as sizes (empty for a scalar).
std::optional<std::vector<Py_ssize_t>> value_shape(const Binding& binding) {
    std::vector<Py_ssize_t> sizes;
    if (!binding.value_magnitudes || PyFloat_Check(binding.value_magnitudes.get())) return sizes;
    PyRef shape = PyRef::steal(PyObject_GetAttrString(binding.value_magnitudes.get(), "shape"));
    if (!shape) return std::nullopt;
    PyRef items = PyRef::steal(PySequence_Fast(shape.get(), "shape must be a sequence"));
    if (!items) return std::nullopt;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        const Py_ssize_t size = PyNumber_AsSsize_t(PySequence_Fast_GET_ITEM(items.get(), i), PyExc_OverflowError);
        if (size == -1 && PyErr_Occurred()) return std::nullopt;
        sizes.push_back(size);
    }
    return sizes;
}

// How many factors a product over `axis` multiplies into each result element: a static count, so the
// result has one unit collection.
std::optional<double> reduced_count(const Binding& binding) {
    if (binding.value_units && !is_plain_unitless(*binding.value_units) && given_named(binding, "where")) {
        raise_error(TarvelError::unsupported_numpy(
            binding.function(), "where= makes the number of factors, and so the units, differ between elements"));
        return std::nullopt;
    }
    const std::optional<std::vector<Py_ssize_t>> shape = value_shape(binding);
    if (!shape) return std::nullopt;
    const auto along = [&](PyObject* axis) -> std::optional<double> {
        long long index = PyLong_AsLongLong(axis);
        if (index == -1 && PyErr_Occurred()) return std::nullopt;
        const auto rank = static_cast<long long>(shape->size());
        if (index < 0) index += rank;
        if (index < 0 || index >= rank) {
            PyErr_Format(PyExc_ValueError, "axis %lld is out of bounds for numpy.%s", index, binding.function());
            return std::nullopt;
        }
        return static_cast<double>((*shape)[static_cast<std::size_t>(index)]);
    };
    PyObject* axis = given_named(binding, "axis");
    double count = 1.0;
    // A ufunc's reduce runs along axis 0 unless told otherwise (None: every axis).
    const std::optional<std::size_t> axis_index = parameter_index(binding.rule, "axis");
    const bool axis_given = axis_index && binding.given[*axis_index];
    if (!axis && !axis_given && std::string_view(binding.function()).ends_with(".reduce") && !shape->empty()) {
        return static_cast<double>(shape->front());
    }
    if (!axis) {
        for (const Py_ssize_t size : *shape) count *= static_cast<double>(size);
        return count;
    }
    if (!PyTuple_Check(axis)) return along(axis);
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(axis); ++i) {
        const std::optional<double> size = along(PyTuple_GET_ITEM(axis, i));
        if (!size) return std::nullopt;
        count *= *size;
    }
    return count;
}

// The interval units of a change or spread of the values (K for °C), else the values' own.
UnitCollection interval_of(const UnitCollection& units) {
    std::optional<SharedUnits> interval = temperature_interval_units(SharedUnits(units));
    return interval ? UnitCollection(interval->get()) : units;
}

// polyfit's coefficients, highest power first: a list of quantities, coefficient i of degree deg in
// value / coordinate**(deg - i).
PyRef polynomial_result(PyObject* result, const Binding& binding, const UnitCollection& value,
                        const UnitCollection& coordinate) {
    if (PyTuple_Check(result)) {
        return PyRef::steal(raise_error(TarvelError::unsupported_numpy(
            binding.function(), "full= and cov= give diagnostics in mixed units: fit the magnitudes")));
    }
    const std::optional<long long> degree = integer_named(binding, "deg");
    if (!degree) return {};
    const Py_ssize_t size = PySequence_Size(result);
    if (size < 0) return {};
    PyRef coefficients = PyRef::steal(PyList_New(size));
    if (!coefficients) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        Result<UnitCollection> power = raw_result_units(Operation::Power, coordinate, {}, static_cast<double>(*degree - i));
        Result<UnitCollection> units = power ? raw_result_units(Operation::Quotient, value, *power) : power;
        if (!units) return PyRef::steal(raise_error(units.error()));
        PyRef item = PyRef::steal(PySequence_GetItem(result, i));
        PyRef attached = item ? attach_one(item.get(), *units, true, binding) : PyRef();
        if (!attached) return {};
        PyList_SET_ITEM(coefficients.get(), i, attached.release());
    }
    return coefficients;
}

// polyval's coefficients converted: the constant one sets the result's units R, coefficient i of N in
// R / x**(N-1-i). Returns the list of magnitudes; `units` receives R.
PyRef polynomial_coefficients(PyObject* coefficients, const Binding& binding, UnitCollection& units) {
    PyRef items = PyRef::steal(PySequence_Fast(coefficients, "polynomial coefficients must be a sequence"));
    if (!items) return {};
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(items.get());
    const UnitCollection x = binding.coordinate_units ? *binding.coordinate_units : UnitCollection::empty();
    units = UnitCollection::empty();
    if (size > 0) {
        ArrayOperand constant;
        if (!extract_array_operand(PySequence_Fast_GET_ITEM(items.get(), size - 1), constant)) return {};
        units = constant.units;
    }
    PyRef converted = PyRef::steal(PyList_New(size));
    if (!converted) return {};
    for (Py_ssize_t i = 0; i < size; ++i) {
        Result<UnitCollection> power = raw_result_units(Operation::Power, x, {}, static_cast<double>(size - 1 - i));
        Result<UnitCollection> target = power ? raw_result_units(Operation::Quotient, units, *power) : power;
        if (!target) return PyRef::steal(raise_error(target.error()));
        ArrayOperand operand;
        if (!extract_array_operand(PySequence_Fast_GET_ITEM(items.get(), i), operand)) return {};
        const std::optional<UnitCollection> simple = try_simple_simplify(*target);
        PyRef magnitudes = PyRef::steal(magnitudes_in(operand, simple ? *simple : *target));
        if (!magnitudes) return {};
        PyList_SET_ITEM(converted.get(), i, magnitudes.release());
    }
    return converted;
}

// The result of NumPy's call with the row's units attached.
PyRef result_with_units(PyObject* result, const Binding& binding) {
    const UnitCollection none = UnitCollection::empty();
    const UnitCollection& value_units = binding.value_units ? *binding.value_units : none;
    const std::vector<UnitCollection>& own = binding.own_units;
    switch (binding.rule.rule->units) {
        case ResultUnits::Plain: return PyRef::borrow(result);
        case ResultUnits::Value:
            // np.where(condition) alone: indices.
            if (!binding.value_units) return PyRef::borrow(result);
            return attach_all(result, value_units, false, binding);
        case ResultUnits::ValueSquared: {
            std::optional<UnitCollection> squared = units_or_raise(raw_result_units(Operation::Product, value_units, value_units));
            return squared ? attach_all(result, *squared, true, binding) : PyRef();
        }
        case ResultUnits::Product: {
            std::optional<UnitCollection> product = units_or_raise(product_of(own));
            return product ? attach_all(result, *product, true, binding) : PyRef();
        }
        case ResultUnits::ValueTimesCoordinate: {
            const UnitCollection& coordinate = binding.coordinate_units ? *binding.coordinate_units : none;
            std::optional<UnitCollection> product = units_or_raise(raw_result_units(Operation::Product, value_units, coordinate));
            return product ? attach_all(result, *product, true, binding) : PyRef();
        }
        case ResultUnits::ValuePerSpacing:
        case ResultUnits::IntervalPerSpacing: {
            const UnitCollection change = binding.rule.rule->units == ResultUnits::IntervalPerSpacing
                                              ? interval_of(value_units)
                                              : value_units;
            // One spacing for every axis, one per axis, or none (unit steps).
            if (own.empty()) return attach_all(result, change, true, binding);
            std::vector<UnitCollection> quotients;
            for (const UnitCollection& spacing : own) {
                std::optional<UnitCollection> quotient = units_or_raise(raw_result_units(Operation::Quotient, change, spacing));
                if (!quotient) return {};
                quotients.push_back(std::move(*quotient));
            }
            const auto quotient = [&](std::size_t i) -> const UnitCollection& {
                return quotients[quotients.size() == 1 ? 0 : i];
            };
            return attach(result, quotient, true, binding);
        }
        case ResultUnits::Histogram: return histogram_result(result, binding, value_units);
        case ResultUnits::FirstValue: return nth_with_units(result, 0, value_units, binding);
        case ResultUnits::SecondValue: return nth_with_units(result, 1, value_units, binding);
        case ResultUnits::Interval: return attach_all(result, interval_of(value_units), false, binding);
        case ResultUnits::IntervalSquared: {
            const UnitCollection interval = interval_of(value_units);
            std::optional<UnitCollection> squared = units_or_raise(raw_result_units(Operation::Product, interval, interval));
            return squared ? attach_all(result, *squared, true, binding) : PyRef();
        }
        case ResultUnits::PowerOfCount:
        case ResultUnits::PowerOfLastAxis:
        case ResultUnits::MatrixPower: {
            std::optional<double> n;
            if (binding.rule.rule->units == ResultUnits::PowerOfCount) {
                n = reduced_count(binding);
            } else if (binding.rule.rule->units == ResultUnits::MatrixPower) {
                const std::optional<long long> given = integer_named(binding, "n");
                if (given) n = static_cast<double>(*given);
            } else {
                const std::optional<std::vector<Py_ssize_t>> shape = value_shape(binding);
                if (shape) n = shape->empty() ? 1.0 : static_cast<double>(shape->back());
            }
            if (!n) return {};
            std::optional<UnitCollection> power = units_or_raise(raw_result_units(Operation::Power, value_units, {}, *n));
            return power ? attach_all(result, *power, true, binding) : PyRef();
        }
        case ResultUnits::Reciprocal:
        case ResultUnits::SquareRoot: {
            const bool reciprocal = binding.rule.rule->units == ResultUnits::Reciprocal;
            std::optional<UnitCollection> units = units_or_raise(
                reciprocal ? raw_result_units(Operation::Quotient, none, value_units) : raw_result_units(Operation::Power, value_units, {}, 0.5));
            return units ? attach_all(result, *units, true, binding) : PyRef();
        }
        case ResultUnits::QuotientOwn:
        case ResultUnits::LeastSquares: {
            const UnitCollection& a = own.empty() ? none : own[0];
            const UnitCollection& b = own.size() < 2 ? none : own[1];
            std::optional<UnitCollection> x = units_or_raise(raw_result_units(Operation::Quotient, b, a));
            if (!x) return {};
            if (binding.rule.rule->units == ResultUnits::QuotientOwn) return attach_all(result, *x, true, binding);
            std::optional<UnitCollection> residuals = units_or_raise(raw_result_units(Operation::Product, b, b));
            if (!residuals || !PyTuple_Check(result) || PyTuple_GET_SIZE(result) != 4) {
                return residuals ? PyRef::steal(raise_unattachable(binding.function(), result)) : PyRef();
            }
            PyRef parts[4] = {attach_one(PyTuple_GET_ITEM(result, 0), *x, true, binding),
                              attach_one(PyTuple_GET_ITEM(result, 1), *residuals, true, binding),
                              PyRef::borrow(PyTuple_GET_ITEM(result, 2)),
                              attach_one(PyTuple_GET_ITEM(result, 3), a, false, binding)};
            for (const PyRef& part : parts) {
                if (!part) return {};
            }
            return PyRef::steal(PyTuple_Pack(4, parts[0].get(), parts[1].get(), parts[2].get(), parts[3].get()));
        }
        case ResultUnits::Norm: {
            // ord=0 counts the non-zero entries.
            PyObject* order = given_named(binding, "ord");
            if (order && (PyLong_Check(order) || PyFloat_Check(order))) {
                const double value = PyFloat_AsDouble(order);
                if (value == -1.0 && PyErr_Occurred()) return {};
                if (value == 0.0) return PyRef::borrow(result);
            }
            return attach_all(result, value_units, false, binding);
        }
        case ResultUnits::ReciprocalOwn: {
            if (own.empty()) return PyRef::borrow(result);
            std::optional<UnitCollection> units = units_or_raise(raw_result_units(Operation::Quotient, none, own[0]));
            return units ? attach_all(result, *units, true, binding) : PyRef();
        }
        case ResultUnits::Polynomial: {
            const UnitCollection& coordinate = binding.coordinate_units ? *binding.coordinate_units : none;
            return polynomial_result(result, binding, value_units, coordinate);
        }
        case ResultUnits::PolynomialValue: return attach_all(result, value_units, true, binding);
        case ResultUnits::EachOwn: {
            if (own.empty()) return PyRef::borrow(result);
            const auto own_of = [&](std::size_t i) -> const UnitCollection& {
                return own[i < own.size() ? i : 0];
            };
            return attach(result, own_of, false, binding);
        }
    }
    throw InternalError("unknown result rule in the array function table");
}

// Writes the result into `out` converted into out's units (a plain array is unitless) and returns out.
PyRef write_out(PyObject* result, PyObject* out) {
    ArrayOperand computed;
    if (!extract_array_operand(result, computed)) return {};
    PyObject* target = out;
    UnitCollection target_units = UnitCollection::empty();
    if (is_tarvel_array(out)) {
        auto* array = reinterpret_cast<TarvelArrayObject*>(out);
        target = array->magnitudes;
        target_units = array->units;
    }
    PyRef converted = PyRef::steal(magnitudes_in(computed, target_units));
    if (!converted) return {};
    if (PyObject_SetItem(target, Py_Ellipsis, converted.get()) < 0) return {};
    return PyRef::borrow(out);
}

// Every type taking part must be one whose values this table understands; others get their own turn.
bool all_types_known(PyObject* types, const NumpyObjects& numpy) {
    PyRef sequence = PyRef::steal(PySequence_Fast(types, "types must be a sequence"));
    if (!sequence) return false;
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(sequence.get());
    PyObject** items = PySequence_Fast_ITEMS(sequence.get());
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyObject* type = items[i];
        if (type == reinterpret_cast<PyObject*>(tarvel_array_type())) continue;
        if (type == reinterpret_cast<PyObject*>(tarvel_type())) continue;
        if (PyType_Check(type) && is_duck_array_type(reinterpret_cast<PyTypeObject*>(type))) continue;
        if (PyType_Check(type) && PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(type),
                                                   reinterpret_cast<PyTypeObject*>(numpy.ndarray.get()))) {
            continue;
        }
        return false;
    }
    return true;
}

const Parameter* parameter_named(const CompiledRule& rule, PyObject* key) {
    for (const Parameter& parameter : rule.parameters) {
        if (parameter.key.get() == key) return &parameter;
    }
    for (const Parameter& parameter : rule.parameters) {
        if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, parameter.name.c_str()) == 0) {
            return &parameter;
        }
    }
    return nullptr;
}

std::optional<std::size_t> coefficients_parameter(const CompiledRule& rule) {
    for (std::size_t i = 0; i < rule.parameters.size(); ++i) {
        if (rule.parameters[i].role == Role::Coefficients) return i;
    }
    return std::nullopt;
}

// 1 when the lazy array library computes `function` lazily itself, 0 when it would read the arrays into
// memory first, -1 with an exception set.
int lazy_library_handles(PyObject* function) {
    PyRef module = PyRef::steal(PyImport_ImportModule("tarvel.dask"));
    if (!module) return -1;
    PyRef answer = PyRef::steal(PyObject_CallMethod(module.get(), "_handles", "O", function));
    if (!answer) return -1;
    return PyObject_IsTrue(answer.get());
}

PyObject* call_with_rule(const CompiledRule& rule, const NumpyObjects& numpy, PyObject* args,
                         PyObject* kwargs) {
    Binding binding{rule, numpy, {}, {}, {}, {}, {}, {}};
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const bool has_keywords = kwargs && PyDict_GET_SIZE(kwargs) > 0;

    // Parameter of each positional argument, and the keyword arguments by parameter.
    const auto positional_parameter = [&](Py_ssize_t i) -> const Parameter* {
        const auto index = static_cast<std::size_t>(i);
        if (index < rule.positional) return &rule.parameters[index];
        if (rule.variadic) return &rule.parameters[*rule.variadic];
        return nullptr;
    };
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index < rule.positional) binding.given[index] = PyRef::borrow(PyTuple_GET_ITEM(args, i));
    }
    if (has_keywords) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t cursor = 0;
        while (PyDict_Next(kwargs, &cursor, &key, &value)) {
            if (const Parameter* parameter = parameter_named(rule, key)) {
                const auto index = static_cast<std::size_t>(parameter - rule.parameters.data());
                binding.given[index] = PyRef::borrow(value);
            }
        }
    }

    // Converted in the parameters' order, so the first value sets the units however it was passed.
    PyRef new_args = PyRef::steal(PyTuple_New(nargs));
    if (!new_args) return nullptr;
    PyRef new_kwargs;
    if (has_keywords) {
        new_kwargs = PyRef::steal(PyDict_Copy(kwargs));
        if (!new_kwargs) return nullptr;
    }
    const auto convert_positional = [&](Py_ssize_t i) -> bool {
        PyRef converted = convert(PyTuple_GET_ITEM(args, i), positional_parameter(i), i, binding);
        if (!converted) return false;
        PyTuple_SET_ITEM(new_args.get(), i, converted.release());
        return true;
    };
    for (std::size_t p = 0; p < rule.parameters.size(); ++p) {
        const Parameter& parameter = rule.parameters[p];
        if (rule.variadic && p == *rule.variadic) {
            for (auto i = static_cast<Py_ssize_t>(rule.positional); i < nargs; ++i) {
                if (!convert_positional(i)) return nullptr;
            }
            continue;
        }
        if (p < rule.positional && static_cast<Py_ssize_t>(p) < nargs) {
            if (!convert_positional(static_cast<Py_ssize_t>(p))) return nullptr;
            continue;
        }
        if (!has_keywords || !binding.given[p]) continue;
        PyRef converted = convert(binding.given[p].get(), &parameter, -1, binding);
        if (!converted) return nullptr;
        if (parameter.role == Role::Out && converted.get() == Py_None) {
            if (PyDict_DelItem(new_kwargs.get(), parameter.key.get()) < 0) return nullptr;
        } else if (PyDict_SetItem(new_kwargs.get(), parameter.key.get(), converted.get()) < 0) {
            return nullptr;
        }
    }
    // Arguments no parameter names: passed on, as long as they are not quantities.
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        if (!PyTuple_GET_ITEM(new_args.get(), i) && !convert_positional(i)) return nullptr;
    }
    if (has_keywords) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t cursor = 0;
        while (PyDict_Next(kwargs, &cursor, &key, &value)) {
            if (!parameter_named(rule, key) && is_quantity(value)) {
                Py_ssize_t size = 0;
                const char* name = PyUnicode_AsUTF8AndSize(key, &size);
                if (!name) return nullptr;
                return raise_quantity_not_allowed(rule.rule->function, name);
            }
        }
    }

    if (const std::optional<std::size_t> index = coefficients_parameter(rule)) {
        PyObject* given = binding.given[*index].get();
        if (given) {
            UnitCollection units = UnitCollection::empty();
            PyRef converted = polynomial_coefficients(given, binding, units);
            if (!converted) return nullptr;
            binding.value_units = std::move(units);
            if (*index < static_cast<std::size_t>(nargs)) {
                if (PyTuple_SetItem(new_args.get(), static_cast<Py_ssize_t>(*index), converted.release()) < 0) {
                    return nullptr;
                }
            } else if (PyDict_SetItem(new_kwargs.get(), rule.parameters[*index].key.get(), converted.get()) < 0) {
                return nullptr;
            }
        }
    }

    PyRef result;
    if (rule.method_name) {
        // An array method: called on the first argument's magnitudes, which may be lazy.
        if (nargs == 0) return raise_no_rule_named(rule.rule->function, "");
        PyObject* self = PyTuple_GET_ITEM(new_args.get(), 0);
        if (is_duck_array(self) && rule.rule->units == ResultUnits::Value &&
            std::string_view(rule.rule->function) == "ndarray.cumsum" && !given_named(binding, "axis")) {
            return raise_error(TarvelError::needs_compute("cumsum() without axis="));
        }
        PyRef bound = PyRef::steal(PyObject_GetAttr(self, rule.method_name.get()));
        PyRef rest = PyRef::steal(PyTuple_GetSlice(new_args.get(), 1, nargs));
        if (!bound || !rest) return nullptr;
        result = PyRef::steal(PyObject_Call(bound.get(), rest.get(), new_kwargs.get()));
    } else if (has_lazy_argument(new_args.get(), new_kwargs.get())) {
        // The lazy library needs an axis for these; without one they would flatten in memory.
        const std::string_view name = rule.rule->function;
        if ((name == "cumsum" || name == "nancumsum" || name == "insert" || name == "delete") &&
            !given_named(binding, "axis")) {
            return raise_error(TarvelError::needs_compute(std::string("numpy.") + rule.rule->function + " without axis="));
        }
        if (rule.lazy_refused) {
            return raise_error(TarvelError::needs_compute(
                std::string("numpy.") + rule.rule->function + " (the lazy version is an approximation)"));
        }
        const int handled = lazy_library_handles(rule.dispatching.get());
        if (handled < 0) return nullptr;
        if (handled == 0) return raise_error(TarvelError::needs_compute(std::string("numpy.") + rule.rule->function));
        result = PyRef::steal(PyObject_Call(rule.dispatching.get(), new_args.get(), new_kwargs.get()));
    } else {
        result = PyRef::steal(PyObject_Call(rule.implementation.get(), new_args.get(), new_kwargs.get()));
    }
    if (!result) return nullptr;
    PyRef attached = result_with_units(result.get(), binding);
    if (!attached || !binding.out) return attached.release();
    return write_out(attached.get(), binding.out.get()).release();
}

}  // namespace

PyObject* tarvel_array_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded(static_cast<PyObject*>(nullptr), [&]() -> PyObject* {
        static const Parameters<4> parameters{"__array_function__", {"func", "types", "args", "kwargs"}, 4};
        std::array<PyObject*, 4> arguments{};
        if (!parse_arguments(parameters, args, nargsf, kwnames, arguments)) return nullptr;
        const NumpyObjects* numpy = numpy_objects();
        if (!numpy) return nullptr;
        if (!PyTuple_Check(arguments[2])) return raise_wrong_type(arguments[2], "tuple", "args");
        if (arguments[3] != Py_None && !PyDict_Check(arguments[3])) {
            return raise_wrong_type(arguments[3], "dict", "kwargs");
        }
        if (!all_types_known(arguments[1], *numpy)) {
            if (PyErr_Occurred()) return nullptr;
            Py_RETURN_NOTIMPLEMENTED;
        }
        const auto found = numpy->by_function.find(arguments[0]);
        if (found == numpy->by_function.end()) return raise_no_rule(arguments[0]);
        PyObject* kwargs = arguments[3] == Py_None ? nullptr : arguments[3];
        return call_with_rule(*found->second, *numpy, arguments[2], kwargs);
    });
}

PyObject* call_registered(std::string_view name, PyObject* args, PyObject* kwargs, bool& found) {
    found = false;
    const NumpyObjects* numpy = numpy_objects();
    if (!numpy) return nullptr;
    const auto row = numpy->by_name.find(name);
    if (row == numpy->by_name.end()) return nullptr;
    found = true;
    return call_with_rule(*row->second, *numpy, args, kwargs);
}

PyObject* call_array_method(const char* name, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyRef positional = PyRef::steal(PyTuple_New(nargs + 1));
    if (!positional) return nullptr;
    PyTuple_SET_ITEM(positional.get(), 0, Py_NewRef(self));
    for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(positional.get(), i + 1, Py_NewRef(args[i]));
    PyRef keywords;
    if (kwnames && PyTuple_GET_SIZE(kwnames) > 0) {
        keywords = PyRef::steal(PyDict_New());
        if (!keywords) return nullptr;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
            if (PyDict_SetItem(keywords.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]) < 0) return nullptr;
        }
    }
    const std::string key = std::string("ndarray.") + name;
    bool found = false;
    PyObject* result = call_registered(key, positional.get(), keywords.get(), found);
    if (!found && !PyErr_Occurred()) return raise_no_rule_named(key, "");
    return result;
}

PyObject* numpy_registry(PyObject*, PyObject*) {
    return guarded(static_cast<PyObject*>(nullptr), [&]() -> PyObject* {
        PyRef listing = PyRef::steal(PyDict_New());
        if (!listing) return nullptr;
        const auto add = [&](std::string_view name, const char* kind, std::string_view text) {
            PyObject* text_object = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
            PyRef value = PyRef::steal(text_object ? Py_BuildValue("(sN)", kind, text_object) : nullptr);
            PyRef key = PyRef::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
            return value && key && PyDict_SetItem(listing.get(), key.get(), value.get()) == 0;
        };
        for (const Rule& rule : RULES) {
            if (!add(rule.function, "rule", rule.signature)) return nullptr;
        }
        for (const std::string_view name : ufunc_rule_names()) {
            if (!add(name, "rule", "ufunc")) return nullptr;
        }
        for (const NumpyRefusal& refusal : numpy_refusals()) {
            if (!add(refusal.name, "refused", refusal.reason)) return nullptr;
        }
        return listing.release();
    });
}

}  // namespace tarvel::py
