#pragma once
// The ufunc rows of the registry: one row per NumPy ufunc name, saying how units go in and come out.
// The arithmetic and comparison ufuncs run the operators' own element loops; the others call the ufunc
// on magnitudes the row has converted.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quantity/operation_plan.hpp"
#include "quantity/quantity.hpp"

namespace tarvel::arrays {

// s op o: the instance s and the other operand o, as the scalar operations take them.
enum class ArrayBinary { Add, Subtract, SubtractFrom, Multiply, Divide, DivideInto, Power, PowerOf };
enum class ArrayUnary { Negate, Positive, Absolute };

enum class UfuncKind {
    Operator,    // + - * / ** : the operators' loops (forward or reflected as the operands stand)
    Compare,     // comparisons: the operators' loops, plain bool arrays
    Unary,       // negative, positive, absolute: the unary operators
    Algebra,     // sqrt, cbrt, square, reciprocal: planned as the power, product or quotient they are
    SameUnits,   // the others converted into the first operand's units (as + does); result in them
    Extremum,    // maximum, minimum: the others converted as for a comparison (with offsets)
    Keeping,     // on the magnitudes, result in the same units
    PureNumber,  // dimensionless input as a plain ratio; plain result
    Angle,       // dimensionless input as a plain ratio; result in radians (inverse trigonometry)
    Arctan2,     // the second operand converted into the first's units; result in radians
    Predicate,   // on the magnitudes; plain bool result
    Product,     // matrix and vector products: on the magnitudes, then normalised as a product's units
};

enum class UnitAlgebra { Sqrt, Cbrt, Square, Reciprocal };

struct UfuncRule {
    UfuncKind kind;
    ArrayBinary forward = ArrayBinary::Add;
    ArrayBinary reflected = ArrayBinary::Add;
    CompareOp compare = CompareOp::Equal;
    ArrayUnary unary = ArrayUnary::Positive;
    UnitAlgebra algebra = UnitAlgebra::Sqrt;
    bool reduces = false;  // reduce / accumulate / reduceat keep the units
};

struct NamedUfuncRule {
    std::string_view name;
    UfuncRule rule;
};

// The row of the ufunc called `name`, or nullptr.
const NamedUfuncRule* find_ufunc_rule(std::string_view name) noexcept;
// The comparison that holds of (b, a) when `op` holds of (a, b).
CompareOp swapped(CompareOp op) noexcept;
// Every name with a row, for the registry listing.
std::vector<std::string_view> ufunc_rule_names();

// How a row that calls the ufunc itself on converted magnitudes treats units (SameUnits, Extremum,
// Keeping, PureNumber, Predicate, Angle, Arctan2, and a reducing operator's method, which keeps them).
struct UfuncConversion {
    enum class Into { Raw, FirstBySum, FirstByExtremum, Ratio } into;  // each operand before the call
    enum class Units { First, Radians, Plain } units;                  // the result's
    bool in_double = false;  // float32 magnitudes widened for the call, the result rounded to float32 once
};
UfuncConversion ufunc_conversion(UfuncKind kind) noexcept;
// The plan of an operand's magnitudes in `units` before the call; `first` is the first operand's units.
Result<MagnitudePlan> operand_plan(const UfuncConversion& conversion, const SharedUnits& first,
                                   const SharedUnits& units);
// The units the result carries (the first operand's or radians); nullptr for a plain result.
const SharedUnits* result_units(const UfuncConversion& conversion, const SharedUnits& first);

// sqrt, cbrt, square, reciprocal: the plan of the power, product or quotient each is, and the function
// on one magnitude (the element loop's, algebra_loop).
Result<OperationPlan> algebra_plan(UnitAlgebra algebra, const SharedUnits& units);
double algebra_value(UnitAlgebra algebra, double a) noexcept;

// A binary operator as ufunc steps on lazy magnitudes a (of s) and b (of o): the planner's operation and
// the formula's ufunc. `reversed` runs the formula on (b, a), planned for (o, s) unless `swap_plans`,
// which plans (s, o) and swaps the operands' plans (o - s in s's units). A power plans its exponent.
struct BinaryFormula {
    Operation op;
    const char* ufunc;
    bool reversed = false;
    bool swap_plans = false;
    bool power = false;
};
BinaryFormula binary_formula(ArrayBinary op) noexcept;
// The formula's ufunc (add, subtract, multiply, divide, power) on two plain numbers.
double formula_value(std::string_view ufunc, double x, double y) noexcept;

// A refused call of ufunc `name`'s `method`: the name to show (name.method but for __call__) and why.
std::pair<std::string, const char*> ufunc_refusal(std::string_view name, std::string_view method);

}  // namespace tarvel::arrays
