#include "array/ufunc_rules.hpp"

#include <cmath>

#include "array/registry.hpp"


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

UfuncConversion ufunc_conversion(UfuncKind kind) noexcept {
    using C = UfuncConversion;
    switch (kind) {
        case UfuncKind::SameUnits: return {C::Into::FirstBySum, C::Units::First};
        case UfuncKind::Extremum: return {C::Into::FirstByExtremum, C::Units::First};
        case UfuncKind::PureNumber: return {C::Into::Ratio, C::Units::Plain, true};
        case UfuncKind::Predicate: return {C::Into::Raw, C::Units::Plain};
        case UfuncKind::Angle: return {C::Into::Ratio, C::Units::Radians, true};
        case UfuncKind::Arctan2: return {C::Into::FirstBySum, C::Units::Radians};
        default: return {C::Into::Raw, C::Units::First};
    }
}

Result<MagnitudePlan> operand_plan(const UfuncConversion& conversion, const SharedUnits& first,
                                   const SharedUnits& units) {
    using Into = UfuncConversion::Into;
    if (conversion.into == Into::Raw) return MagnitudePlan{};
    if (conversion.into == Into::Ratio) return planned_magnitudes(Operation::Ratio, units);
    // Into the first operand's units: by factors alone as + converts, or with offsets as a comparison does.
    const Operation op = conversion.into == Into::FirstByExtremum ? Operation::Extremum : Operation::Sum;
    Result<const OperationPlan*> planned = plan_operation(op, first, units);
    if (!planned) return fail(std::move(planned.error()));
    return (*planned)->right;
}

const SharedUnits* result_units(const UfuncConversion& conversion, const SharedUnits& first) {
    static const SharedUnits radians = *shared_units_from_text("rad");
    switch (conversion.units) {
        case UfuncConversion::Units::First: return &first;
        case UfuncConversion::Units::Radians: return &radians;
        case UfuncConversion::Units::Plain: return nullptr;
    }
    return nullptr;
}

Result<OperationPlan> algebra_plan(UnitAlgebra algebra, const SharedUnits& units) {
    const Result<const OperationPlan*> planned = [&] {
        switch (algebra) {
            case UnitAlgebra::Sqrt: return plan_power(units, 0.5);
            case UnitAlgebra::Cbrt: return plan_power(units, 1.0 / 3.0);
            case UnitAlgebra::Square: return plan_operation(Operation::Product, units, units);
            case UnitAlgebra::Reciprocal: return plan_operation(Operation::Quotient, SharedUnits(), units);
        }
        throw InternalError("unknown unit algebra");
    }();
    if (!planned) return fail(planned.error());
    return **planned;
}

double algebra_value(UnitAlgebra algebra, double a) noexcept {
    switch (algebra) {
        case UnitAlgebra::Sqrt: return std::sqrt(a);
        case UnitAlgebra::Cbrt: return std::cbrt(a);
        case UnitAlgebra::Square: return a * a;
        case UnitAlgebra::Reciprocal: return 1.0 / a;
    }
    return a;
}

BinaryFormula binary_formula(ArrayBinary op) noexcept {
    switch (op) {
        case ArrayBinary::Add: return {Operation::Sum, "add"};
        case ArrayBinary::Subtract: return {Operation::Difference, "subtract"};
        case ArrayBinary::SubtractFrom: return {Operation::Difference, "subtract", true, true};
        case ArrayBinary::Multiply: return {Operation::Product, "multiply"};
        case ArrayBinary::Divide: return {Operation::Quotient, "divide"};
        case ArrayBinary::DivideInto: return {Operation::Quotient, "divide", true};
        case ArrayBinary::Power: return {Operation::Power, "power", false, false, true};
        case ArrayBinary::PowerOf: return {Operation::Power, "power", true, false, true};
    }
    return {Operation::Sum, "add"};
}

double formula_value(std::string_view ufunc, double x, double y) noexcept {
    return ufunc == "add"        ? x + y
           : ufunc == "subtract" ? x - y
           : ufunc == "multiply" ? x * y
           : ufunc == "divide"   ? x / y
                                 : std::pow(x, y);
}

std::pair<std::string, const char*> ufunc_refusal(std::string_view name, std::string_view method) {
    std::string text(name);
    if (method != "__call__") {
        text += '.';
        text += method;
    }
    const char* reason = refusal_reason(text);
    if (!reason && method != "__call__") reason = "this method of the ufunc has no unit rule";
    if (!reason) reason = "the ufunc is not classified yet";
    return {std::move(text), reason};
}

}  // namespace tarvel::arrays
