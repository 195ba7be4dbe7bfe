#pragma once
// The element loops of the planned operations: the plans come from the operation planner, the loops
// apply them as result(formula(left(a), right(b))) so that an element is bit for bit the scalar result.
// Each family is compiled in its own file (loops_*.cpp), so a clean build compiles them in parallel.
// Each form of a plan (magnitude_plan.hpp) gets a loop of its own that the compiler can vectorise, as far
// as an operation's plans can take that form: an addend is converted by factors alone, a product or
// quotient converts neither operand. Other combinations (a difference of temperatures in mixed units)
// run one general loop, which gives the same bits.

#include "array/element_loops.hpp"
#include "array/ufunc_rules.hpp"
#include "quantity/magnitude_plan.hpp"
#include "quantity/quantity.hpp"

namespace tarvel::arrays {

// The formula of a binary operation on (a, b), a the first input.
enum class Formula { Add, Subtract, SubtractFrom, Multiply, Divide, DivideInto };

// result(formula(on_a(a), on_b(b))). Add and the differences are in loops_additive.cpp, the products
// and quotients in loops_multiplicative.cpp.
void additive_loop(Formula formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b,
                   const MagnitudePlan& result, const LoopLayout& layout) noexcept;
void multiplicative_loop(Formula formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b,
                         const MagnitudePlan& result, const LoopLayout& layout) noexcept;
inline void planned_binary_loop(Formula formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b,
                                const MagnitudePlan& result, const LoopLayout& layout) noexcept {
    if (formula == Formula::Add || formula == Formula::Subtract || formula == Formula::SubtractFrom) {
        return additive_loop(formula, on_a, on_b, result, layout);
    }
    multiplicative_loop(formula, on_a, on_b, result, layout);
}
// result(pow(base, ratio(exponent))), the base the first input when `base_first`.
void power_loop(const MagnitudePlan& ratio, const MagnitudePlan& result, bool base_first,
                const LoopLayout& layout) noexcept;
// a op on_b(b), into Bool.
void compare_loop(CompareOp op, const MagnitudePlan& on_b, const LoopLayout& layout) noexcept;
// plan(a): a conversion of one input.
void plan_loop(const MagnitudePlan& plan, const LoopLayout& layout) noexcept;
// result(-a) or result(a).
void sign_loop(bool negate, const MagnitudePlan& result, const LoopLayout& layout) noexcept;
void absolute_loop(const LoopLayout& layout) noexcept;
// result(f(a)) for sqrt, cbrt, square and reciprocal.
void algebra_loop(UnitAlgebra algebra, const MagnitudePlan& result, const LoopLayout& layout) noexcept;

namespace detail {

// Calls body(apply) with the fixed-kind form of a plan of factors alone and returns true; false (body not
// called) for a plan with offsets.
template <class Body>
bool visit_factors(const MagnitudePlan& plan, Body&& body) {
    switch (plan.kind) {
        case MagnitudePlan::Kind::Identity: body(IdentityApply{}); return true;
        case MagnitudePlan::Kind::Scale:
            if (plan.ft == 1.0) {
                body(MultiplyApply{plan.fs});
            } else {
                body(ScaleApply{plan.fs, plan.ft});
            }
            return true;
        case MagnitudePlan::Kind::Offset: break;
    }
    return false;
}

}  // namespace detail

}  // namespace tarvel::arrays
