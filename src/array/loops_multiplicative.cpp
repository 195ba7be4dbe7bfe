#include <cmath>

#include "array/planned_loops.hpp"

namespace tarvel::arrays {

namespace {

// A product or quotient converts neither operand: one loop per form of the normalisation.
template <class F>
void run(F formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b, const MagnitudePlan& result,
         const LoopLayout& layout) noexcept {
    const bool factors = on_a.kind == MagnitudePlan::Kind::Identity && on_b.kind == MagnitudePlan::Kind::Identity;
    if (factors) {
        visit_plan(result, [&](auto n) {
            run_loop<2>(layout, [n, formula](double a, double b) noexcept { return n(formula(a, b)); });
        });
        return;
    }
    run_loop<2>(layout, [result, on_a, on_b, formula](double a, double b) noexcept {
        return result.apply(formula(on_a.apply(a), on_b.apply(b)));
    });
}

}  // namespace

void multiplicative_loop(Formula formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b,
                         const MagnitudePlan& result, const LoopLayout& layout) noexcept {
    switch (formula) {
        case Formula::Multiply:
            return run([](double a, double b) noexcept { return a * b; }, on_a, on_b, result, layout);
        case Formula::Divide:
            return run([](double a, double b) noexcept { return a / b; }, on_a, on_b, result, layout);
        case Formula::DivideInto:
            return run([](double a, double b) noexcept { return b / a; }, on_a, on_b, result, layout);
        default: break;
    }
}

void power_loop(const MagnitudePlan& ratio, const MagnitudePlan& result, bool base_first,
                const LoopLayout& layout) noexcept {
    const MagnitudePlan r = ratio;
    const MagnitudePlan n = result;
    if (base_first) {
        return run_loop<2>(layout, [n, r](double b, double e) noexcept { return n.apply(std::pow(b, r.apply(e))); });
    }
    run_loop<2>(layout, [n, r](double e, double b) noexcept { return n.apply(std::pow(b, r.apply(e))); });
}

}  // namespace tarvel::arrays
