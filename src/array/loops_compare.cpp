#include <functional>

#include "array/planned_loops.hpp"

namespace tarvel::arrays {

namespace {

// Calls body(relation) with the comparison as a function object: the same tests compare_values makes.
template <class Body>
void visit_compare(CompareOp op, Body&& body) {
    switch (op) {
        case CompareOp::Less: return body(std::less<double>{});
        case CompareOp::LessEqual: return body(std::less_equal<double>{});
        case CompareOp::Equal: return body(std::equal_to<double>{});
        case CompareOp::NotEqual: return body(std::not_equal_to<double>{});
        case CompareOp::Greater: return body(std::greater<double>{});
        case CompareOp::GreaterEqual: return body(std::greater_equal<double>{});
    }
}

}  // namespace

void compare_loop(CompareOp op, const MagnitudePlan& on_b, const LoopLayout& layout) noexcept {
    // Conversions between single units are offset plans (of zero offsets unless both are absolute
    // temperatures), so every form of the plan gets its own loop.
    visit_compare(op, [&](auto holds) {
        visit_plan(on_b, [&](auto apply) {
            run_loop<2>(layout, [apply, holds](double a, double b) noexcept { return holds(a, apply(b)); });
        });
    });
}

}  // namespace tarvel::arrays
