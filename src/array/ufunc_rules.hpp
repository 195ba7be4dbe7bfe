#pragma once
// The ufunc rows of the registry: one row per NumPy ufunc name, saying how units go in and come out.
// The arithmetic and comparison ufuncs run the operators' own element loops; the others call the ufunc
// on magnitudes the row has converted.

#include <string_view>
#include <vector>

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

}  // namespace tarvel::arrays
