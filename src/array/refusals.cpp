// The NumPy names that have no unit rule, each with the reason. Together with the rows of the registry
// they classify every public callable of numpy, numpy.linalg and numpy.fft, so that a name NumPy adds
// is noticed by the completeness test rather than silently stripping units or failing obscurely.

#include <algorithm>
#include <iterator>
#include <string_view>

#include "array/registry.hpp"

namespace tarvel::arrays {

namespace {

constexpr const char* BITS = "integer bit operations have no units";
constexpr const char* INTEGERS = "divisors and multiples of integers have no units";
constexpr const char* LOGIC = "logical operations take truth values, not quantities";
constexpr const char* COMPLEX = "its values are complex, and a TarvelArray holds real magnitudes";
constexpr const char* VARYING = "the elements of its result would each need different units";
constexpr const char* CALLBACK = "it calls a Python function whose units tarvel cannot know";
constexpr const char* CREATION = "it makes plain numbers from sizes or ranges: multiply its result by a unit";
constexpr const char* FILES = "files and buffers hold plain numbers: use as_number(unit) and multiply by a unit";
constexpr const char* TEXT = "text forms of plain numbers: use str() or format() of the quantity";
constexpr const char* DATES = "dates and business days have no units";
constexpr const char* TYPES = "it works on dtypes and shapes, not values";
constexpr const char* SETTINGS = "it reads or sets NumPy's own settings";
constexpr const char* IN_PLACE = "it writes into a plain array in place: assign through indexing (a[i] = q)";
constexpr const char* PLAIN_ARRAY = "it makes a plain ndarray, which would drop the units: use as_number(unit)";
constexpr const char* MATRIX = "the matrix class is not supported: use 2-D arrays";
constexpr const char* FLOAT_BITS = "it works on the bits of the stored float, which depend on the unit";
constexpr const char* ANGLES = "convert angles with as_unit('rad') or as_unit('deg')";
constexpr const char* LOG_DOMAIN = "it works in the logarithmic domain of pure numbers: use as_number()";
constexpr const char* SUBSCRIPTS = "the units of each term depend on the subscripts: use explicit products";
constexpr const char* POLYNOMIAL = "polynomial coefficients each carry different units";

constexpr Refusal REFUSALS[] = {
    // ufuncs
    {"bitwise_and", BITS}, {"bitwise_or", BITS}, {"bitwise_xor", BITS}, {"bitwise_count", BITS},
    {"invert", BITS}, {"left_shift", BITS}, {"right_shift", BITS},
    {"packbits", BITS}, {"unpackbits", BITS},
    {"gcd", INTEGERS}, {"lcm", INTEGERS},
    {"floor_divide", "a floored quotient of quantities: divide, then floor the pure number"},
    {"divmod", "a floored quotient of quantities: divide, then floor the pure number"},
    {"logical_and", LOGIC}, {"logical_or", LOGIC}, {"logical_xor", LOGIC}, {"logical_not", LOGIC},
    {"frexp", FLOAT_BITS}, {"ldexp", FLOAT_BITS}, {"spacing", FLOAT_BITS}, {"nextafter", FLOAT_BITS},
    {"modf", "its integral part depends on the unit (and on the offset of a temperature)"},
    {"heaviside", "its value at zero is a second argument whose units it cannot know"},
    {"deg2rad", ANGLES}, {"rad2deg", ANGLES}, {"degrees", ANGLES}, {"radians", ANGLES},
    {"float_power", "use ** or numpy.power, whose exponent is a pure number"},
    {"logaddexp", LOG_DOMAIN}, {"logaddexp2", LOG_DOMAIN},
    {"isnat", DATES},
    // ufunc methods without a single unit collection for their result
    {"multiply.accumulate", VARYING}, {"multiply.reduceat", VARYING},
    {"divide.reduce", VARYING}, {"divide.accumulate", VARYING},
    {"subtract.reduce", "a chained difference has no meaning for absolute values: use numpy.diff"},
    {"subtract.accumulate", "a chained difference has no meaning for absolute values: use numpy.diff"},
    // products and polynomials whose elements differ in units
    {"cumprod", VARYING}, {"nancumprod", VARYING}, {"cumulative_prod", VARYING}, {"vander", VARYING},
    {"nanprod", "a missing value counts as a unitless one, so the number of factors differs between elements"},
    {"poly", POLYNOMIAL}, {"polyadd", POLYNOMIAL}, {"polysub", POLYNOMIAL}, {"polymul", POLYNOMIAL},
    {"polydiv", POLYNOMIAL}, {"polyder", POLYNOMIAL}, {"polyint", POLYNOMIAL}, {"roots", POLYNOMIAL},
    {"einsum", SUBSCRIPTS}, {"einsum_path", SUBSCRIPTS},
    {"linalg.slogdet", "the logarithm of a determinant with units has no units: use linalg.det"},
    {"histogram2d", "its two sets of edges come in two units: use histogram on each axis"},
    {"histogramdd", "its sets of edges come in different units: use histogram on each axis"},
    {"unwrap", "phase unwrapping assumes radians: use as_number('rad')"},
    // complex values
    {"angle", COMPLEX}, {"sort_complex", COMPLEX},
    {"fft.fft", COMPLEX}, {"fft.ifft", COMPLEX}, {"fft.fft2", COMPLEX}, {"fft.ifft2", COMPLEX},
    {"fft.fftn", COMPLEX}, {"fft.ifftn", COMPLEX}, {"fft.rfft", COMPLEX}, {"fft.rfft2", COMPLEX},
    {"fft.rfftn", COMPLEX}, {"fft.ihfft", COMPLEX},
    // callbacks
    {"apply_along_axis", CALLBACK}, {"apply_over_axes", CALLBACK}, {"frompyfunc", CALLBACK},
    {"fromfunction", CALLBACK}, {"piecewise", CALLBACK}, {"mask_indices", CALLBACK},
    // new plain arrays
    {"arange", CREATION}, {"empty", CREATION}, {"zeros", CREATION}, {"ones", CREATION}, {"full", CREATION},
    {"identity", CREATION}, {"eye", CREATION}, {"tri", CREATION}, {"indices", CREATION},
    {"diag_indices", CREATION}, {"tril_indices", CREATION}, {"triu_indices", CREATION},
    {"bartlett", CREATION}, {"blackman", CREATION}, {"hamming", CREATION}, {"hanning", CREATION},
    {"kaiser", CREATION}, {"ravel_multi_index", CREATION}, {"unravel_index", CREATION},
    {"array", PLAIN_ARRAY}, {"asarray", PLAIN_ARRAY}, {"asanyarray", PLAIN_ARRAY},
    {"ascontiguousarray", PLAIN_ARRAY}, {"asfortranarray", PLAIN_ARRAY}, {"require", PLAIN_ARRAY},
    {"from_dlpack", PLAIN_ARRAY}, {"nested_iters", PLAIN_ARRAY},
    {"asmatrix", MATRIX}, {"bmat", MATRIX},
    // files, buffers and text
    {"load", FILES}, {"loadtxt", FILES}, {"genfromtxt", FILES}, {"fromfile", FILES}, {"fromregex", FILES},
    {"frombuffer", FILES}, {"fromstring", FILES}, {"fromiter", FILES}, {"save", FILES}, {"savez", FILES},
    {"savez_compressed", FILES}, {"savetxt", FILES},
    {"array2string", TEXT}, {"array_repr", TEXT}, {"array_str", TEXT}, {"base_repr", TEXT},
    {"binary_repr", TEXT}, {"format_float_positional", TEXT}, {"format_float_scientific", TEXT},
    // writes in place
    {"copyto", IN_PLACE}, {"place", IN_PLACE}, {"put", IN_PLACE}, {"putmask", IN_PLACE},
    {"put_along_axis", IN_PLACE}, {"fill_diagonal", IN_PLACE},
    // dates
    {"busday_count", DATES}, {"busday_offset", DATES}, {"is_busday", DATES}, {"datetime_as_string", DATES},
    {"datetime_data", DATES},
    // dtypes and shapes
    {"can_cast", TYPES}, {"common_type", TYPES}, {"min_scalar_type", TYPES}, {"mintypecode", TYPES},
    {"promote_types", TYPES}, {"issubdtype", TYPES}, {"isdtype", TYPES}, {"typename", TYPES},
    {"broadcast_shapes", TYPES},
    // NumPy itself
    {"get_include", SETTINGS}, {"get_printoptions", SETTINGS}, {"set_printoptions", SETTINGS},
    {"printoptions", SETTINGS}, {"getbufsize", SETTINGS}, {"setbufsize", SETTINGS}, {"geterr", SETTINGS},
    {"seterr", SETTINGS}, {"geterrcall", SETTINGS}, {"seterrcall", SETTINGS}, {"show_config", SETTINGS},
    {"show_runtime", SETTINGS}, {"info", SETTINGS}, {"test", SETTINGS}, {"linalg.test", SETTINGS},
    {"fft.test", SETTINGS},
};

}  // namespace

std::span<const Refusal> refusals() noexcept { return REFUSALS; }

const char* refusal_reason(std::string_view name) noexcept {
    const auto found = std::find_if(std::begin(REFUSALS), std::end(REFUSALS),
                                    [&](const Refusal& row) { return name == row.name; });
    return found == std::end(REFUSALS) ? nullptr : found->reason;
}

}  // namespace tarvel::arrays
