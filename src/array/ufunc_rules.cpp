#include "array/ufunc_rules.hpp"


namespace tarvel::arrays {

namespace {

UfuncRule op(ArrayBinary forward, ArrayBinary reflected, bool reduces = false) {
    UfuncRule row{UfuncKind::Operator};
    row.forward = forward;
    row.reflected = reflected;
    row.reduces = reduces;
    return row;
}
UfuncRule cmp(CompareOp compare) {
    UfuncRule row{UfuncKind::Compare};
    row.compare = compare;
    return row;
}
UfuncRule unary(ArrayUnary u) {
    UfuncRule row{UfuncKind::Unary};
    row.unary = u;
    return row;
}
UfuncRule algebra(UnitAlgebra a) {
    UfuncRule row{UfuncKind::Algebra};
    row.algebra = a;
    return row;
}
UfuncRule kind(UfuncKind k, bool reduces = false) {
    UfuncRule row{k};
    row.reduces = reduces;
    return row;
}

const std::vector<NamedUfuncRule>& table() {
    static const std::vector<NamedUfuncRule> rows = {
        {"add", op(ArrayBinary::Add, ArrayBinary::Add, true)},
        {"subtract", op(ArrayBinary::Subtract, ArrayBinary::SubtractFrom)},
        {"multiply", op(ArrayBinary::Multiply, ArrayBinary::Multiply)},
        {"divide", op(ArrayBinary::Divide, ArrayBinary::DivideInto)},
        {"true_divide", op(ArrayBinary::Divide, ArrayBinary::DivideInto)},
        {"power", op(ArrayBinary::Power, ArrayBinary::PowerOf)},
        {"less", cmp(CompareOp::Less)},
        {"less_equal", cmp(CompareOp::LessEqual)},
        {"equal", cmp(CompareOp::Equal)},
        {"not_equal", cmp(CompareOp::NotEqual)},
        {"greater", cmp(CompareOp::Greater)},
        {"greater_equal", cmp(CompareOp::GreaterEqual)},
        {"negative", unary(ArrayUnary::Negate)},
        {"positive", unary(ArrayUnary::Positive)},
        {"absolute", unary(ArrayUnary::Absolute)},
        {"fabs", unary(ArrayUnary::Absolute)},
        {"sqrt", algebra(UnitAlgebra::Sqrt)},
        {"cbrt", algebra(UnitAlgebra::Cbrt)},
        {"square", algebra(UnitAlgebra::Square)},
        {"reciprocal", algebra(UnitAlgebra::Reciprocal)},
        {"maximum", kind(UfuncKind::Extremum, true)},
        {"minimum", kind(UfuncKind::Extremum, true)},
        {"fmax", kind(UfuncKind::Extremum, true)},
        {"fmin", kind(UfuncKind::Extremum, true)},
        {"hypot", kind(UfuncKind::SameUnits)},
        {"remainder", kind(UfuncKind::SameUnits)},
        {"fmod", kind(UfuncKind::SameUnits)},
        {"copysign", kind(UfuncKind::Keeping)},
        {"rint", kind(UfuncKind::Keeping)},
        {"floor", kind(UfuncKind::Keeping)},
        {"ceil", kind(UfuncKind::Keeping)},
        {"trunc", kind(UfuncKind::Keeping)},
        {"exp", kind(UfuncKind::PureNumber)},
        {"exp2", kind(UfuncKind::PureNumber)},
        {"expm1", kind(UfuncKind::PureNumber)},
        {"log", kind(UfuncKind::PureNumber)},
        {"log2", kind(UfuncKind::PureNumber)},
        {"log10", kind(UfuncKind::PureNumber)},
        {"log1p", kind(UfuncKind::PureNumber)},
        {"sin", kind(UfuncKind::PureNumber)},
        {"cos", kind(UfuncKind::PureNumber)},
        {"tan", kind(UfuncKind::PureNumber)},
        {"sinh", kind(UfuncKind::PureNumber)},
        {"cosh", kind(UfuncKind::PureNumber)},
        {"tanh", kind(UfuncKind::PureNumber)},
        {"arcsinh", kind(UfuncKind::PureNumber)},
        {"arccosh", kind(UfuncKind::PureNumber)},
        {"arctanh", kind(UfuncKind::PureNumber)},
        {"arcsin", kind(UfuncKind::Angle)},
        {"arccos", kind(UfuncKind::Angle)},
        {"arctan", kind(UfuncKind::Angle)},
        {"arctan2", kind(UfuncKind::Arctan2)},
        {"matmul", kind(UfuncKind::Product)},
        {"vecdot", kind(UfuncKind::Product)},
        {"matvec", kind(UfuncKind::Product)},
        {"vecmat", kind(UfuncKind::Product)},
        {"isfinite", kind(UfuncKind::Predicate)},
        {"isinf", kind(UfuncKind::Predicate)},
        {"isnan", kind(UfuncKind::Predicate)},
        {"signbit", kind(UfuncKind::Predicate)},
        {"sign", kind(UfuncKind::Predicate)},
        {"conjugate", kind(UfuncKind::Keeping)},
    };
    return rows;
}

}  // namespace

const NamedUfuncRule* find_ufunc_rule(std::string_view name) noexcept {
    for (const NamedUfuncRule& row : table()) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

CompareOp swapped(CompareOp op) noexcept {
    switch (op) {
        case CompareOp::Less: return CompareOp::Greater;
        case CompareOp::LessEqual: return CompareOp::GreaterEqual;
        case CompareOp::Greater: return CompareOp::Less;
        case CompareOp::GreaterEqual: return CompareOp::LessEqual;
        case CompareOp::Equal:
        case CompareOp::NotEqual: break;
    }
    return op;
}

std::vector<std::string_view> ufunc_rule_names() {
    std::vector<std::string_view> names;
    for (const NamedUfuncRule& row : table()) names.push_back(row.name);
    return names;
}

}  // namespace tarvel::arrays
