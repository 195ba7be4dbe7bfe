#pragma once
// The rule registry of NumPy's entry points: how units pass through every NumPy function, array method
// and ufunc method that has a rule, and why each name without one is refused. The rows are data: a
// signature says what each parameter carries, a result rule how the result's units follow (see
// result_units.hpp). The CPython boundary reads arguments into these roles and calls NumPy.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::arrays {


// What a parameter carries. Letters are those of the rows' signatures (registry.cpp).
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

// Every row, in the table's order.
std::span<const Rule> function_rules() noexcept;
// The row called `name` ("sum", "linalg.det", "ndarray.sum", "add.reduce"), or nullptr.
const Rule* find_rule(std::string_view name) noexcept;

// Rows over lazy arrays: without axis= the lazy library would flatten the array in memory; an inexact
// row's lazy version is an approximation (percentiles), so it is refused.
bool lazy_needs_axis(std::string_view name) noexcept;
bool lazy_inexact(std::string_view name) noexcept;

// A name NumPy has that no rule can serve, with the reason.
struct Refusal {
    const char* name;    // as under numpy: "bitwise_and", "linalg.slogdet", "cumprod", "multiply.accumulate"
    const char* reason;  // why no unit rule can exist
};
std::span<const Refusal> refusals() noexcept;
// The reason `name` is refused, or nullptr when there is no refusal of that name.
const char* refusal_reason(std::string_view name) noexcept;

// The most parameters a row may name (no NumPy function in the table has more).
constexpr std::size_t MAX_PARAMETERS = 12;

struct ParameterSpec {
    std::string name;
    Role role = Role::Pass;
};

// A row's signature read into its parameters.
struct Signature {
    std::vector<ParameterSpec> parameters;
    std::size_t positional = 0;           // parameters that may be given by position
    std::optional<std::size_t> variadic;  // the parameter taking the remaining positional arguments
    std::optional<std::size_t> density;   // histogram's flag

    // The index of the parameter called `name`, if the row has one.
    std::optional<std::size_t> index_of(std::string_view name) const noexcept;
};

// Throws InternalError for a letter that names no role or more than MAX_PARAMETERS parameters: the
// table is wrong, whatever the call.
Signature parse_signature(std::string_view signature);

}  // namespace tarvel::arrays
