// The rows of the registry and the reading of their signatures.

#include "array/registry.hpp"

#include <algorithm>
#include <iterator>

#include "error/tarvel_error.hpp"

namespace tarvel::arrays {

namespace {

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

}  // namespace

std::span<const Rule> function_rules() noexcept { return RULES; }

const Rule* find_rule(std::string_view name) noexcept {
    const auto found =
        std::find_if(std::begin(RULES), std::end(RULES), [&](const Rule& rule) { return name == rule.function; });
    return found == std::end(RULES) ? nullptr : &*found;
}

bool lazy_needs_axis(std::string_view name) noexcept {
    return name == "cumsum" || name == "nancumsum" || name == "insert" || name == "delete" || name == "ndarray.cumsum";
}

bool lazy_inexact(std::string_view name) noexcept { return name.ends_with("percentile") || name.ends_with("quantile"); }

std::optional<std::size_t> Signature::index_of(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].name == name) return i;
    }
    return std::nullopt;
}

Signature parse_signature(std::string_view rest) {
    Signature out;
    bool keyword_only = false;
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        std::string_view token = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        if (token == "*") {
            keyword_only = true;
            continue;
        }
        if (token == "/" || token.empty()) continue;
        const bool variadic = token.front() == '*';
        if (variadic) token.remove_prefix(1);
        ParameterSpec parameter;
        const std::size_t colon = token.find(':');
        parameter.name = std::string(token.substr(0, colon));
        if (colon != std::string_view::npos) {
            if (colon + 1 >= token.size()) throw InternalError("unknown parameter role in the array function table");
            parameter.role = role_of_letter(token[colon + 1]);
        }
        if (parameter.name == "density") out.density = out.parameters.size();
        if (variadic) {
            out.variadic = out.parameters.size();
            keyword_only = true;
        } else if (!keyword_only) {
            out.positional = out.parameters.size() + 1;
        }
        out.parameters.push_back(std::move(parameter));
    }
    if (out.parameters.size() > MAX_PARAMETERS) throw InternalError("too many parameters in an array function rule");
    return out;
}

}  // namespace tarvel::arrays
