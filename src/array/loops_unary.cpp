#include <cmath>

#include "array/planned_loops.hpp"

namespace tarvel::arrays {

void plan_loop(const MagnitudePlan& plan, const LoopLayout& layout) noexcept {
    visit_plan(plan, [&](auto apply) { run_loop<1>(layout, [apply](double a) noexcept { return apply(a); }); });
}

void sign_loop(bool negate, const MagnitudePlan& result, const LoopLayout& layout) noexcept {
    visit_plan(result, [&](auto n) {
        run_loop<1>(layout, [n, negate](double a) noexcept { return n(negate ? -a : a); });
    });
}

void absolute_loop(const LoopLayout& layout) noexcept {
    run_loop<1>(layout, [](double a) noexcept { return std::fabs(a); });
}

void algebra_loop(UnitAlgebra algebra, const MagnitudePlan& result, const LoopLayout& layout) noexcept {
    // One loop per function and plan kind, so that each is a plain loop the compiler can vectorise.
    const auto run = [&](auto f) {
        visit_plan(result, [&](auto n) { run_loop<1>(layout, [f, n](double a) noexcept { return n(f(a)); }); });
    };
    switch (algebra) {
        case UnitAlgebra::Sqrt: return run([](double a) noexcept { return std::sqrt(a); });
        case UnitAlgebra::Cbrt: return run([](double a) noexcept { return std::cbrt(a); });
        case UnitAlgebra::Square: return run([](double a) noexcept { return a * a; });
        case UnitAlgebra::Reciprocal: return run([](double a) noexcept { return 1.0 / a; });
    }
}

}  // namespace tarvel::arrays
