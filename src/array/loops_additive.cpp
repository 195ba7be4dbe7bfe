#include "array/planned_loops.hpp"

namespace tarvel::arrays {

namespace {

template <class F>
void run(F formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b, const MagnitudePlan& result,
         const LoopLayout& layout) noexcept {
    // A difference of temperatures in mixed units converts both sides: rare enough for the general loop.
    // An addend is converted by factors alone.
    const bool factors = on_a.kind == MagnitudePlan::Kind::Identity && on_b.kind != MagnitudePlan::Kind::Offset;
    if (factors) {
        visit_plan(result, [&](auto n) {
            detail::visit_factors(on_b, [&](auto convert) {
                run_loop<2>(layout, [n, convert, formula](double a, double b) noexcept { return n(formula(a, convert(b))); });
            });
        });
        return;
    }
    run_loop<2>(layout, [result, on_a, on_b, formula](double a, double b) noexcept {
        return result.apply(formula(on_a.apply(a), on_b.apply(b)));
    });
}

}  // namespace

void additive_loop(Formula formula, const MagnitudePlan& on_a, const MagnitudePlan& on_b, const MagnitudePlan& result,
                   const LoopLayout& layout) noexcept {
    switch (formula) {
        case Formula::Add: return run([](double a, double b) noexcept { return a + b; }, on_a, on_b, result, layout);
        case Formula::Subtract:
            return run([](double a, double b) noexcept { return a - b; }, on_a, on_b, result, layout);
        case Formula::SubtractFrom:
            return run([](double a, double b) noexcept { return b - a; }, on_a, on_b, result, layout);
        default: break;
    }
}

}  // namespace tarvel::arrays
