// The array wing's core: the registry's rows and result rules, and the element loops' layout.

#include <doctest/doctest.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "array/planned_loops.hpp"
#include "array/registry.hpp"
#include "array/result_units.hpp"
#include "quantity/operation_plan.hpp"

namespace {

using namespace tarvel;
using namespace tarvel::arrays;

UnitCollection units(const char* text) {
    std::optional<SharedUnits> parsed = shared_units_from_text(text);
    REQUIRE(parsed);
    return parsed->get();
}

struct RuleCase {
    const char* row;
    const char* value;            // nullptr: no value given
    std::vector<const char*> own;
    double count;
    long long degree;
    bool density;
    std::vector<const char*> expected;  // units of each part; "" for a plain part
};

}  // namespace

TEST_CASE("result rules give the units the scalar algebra gives") {
    const RuleCase cases[] = {
        {"linalg.det", "m", {}, 3, 0, false, {"m3"}},
        {"linalg.inv", "m", {}, 1, 0, false, {"1/m"}},
        {"linalg.cholesky", "m2", {}, 1, 0, false, {"m"}},
        {"linalg.matrix_power", "s", {}, -2, 0, false, {"1/s2"}},
        {"prod", "m", {}, 4, 0, false, {"m4"}},
        {"var", "°C", {}, 1, 0, false, {"K2"}},
        {"std", "°C", {}, 1, 0, false, {"K"}},
        {"linalg.solve", nullptr, {"m", "N"}, 1, 0, false, {"N/m"}},
        {"linalg.lstsq", nullptr, {"m", "N"}, 1, 0, false, {"N/m", "N2", "", "m"}},
        {"dot", nullptr, {"m", "N"}, 1, 0, false, {"N.m"}},
        {"fft.fftfreq", nullptr, {"s"}, 1, 0, false, {"1/s"}},
        {"histogram", "m", {}, 1, 0, false, {"", "m"}},
        {"histogram", "m", {}, 1, 0, true, {"1/m", "m"}},
        {"histogram", "m", {"kg"}, 1, 0, true, {"kg/m", "m"}},
        {"gradient", "°C", {"s", "m"}, 1, 0, false, {"K/s", "K/m"}},
        {"polyval", "N", {}, 1, 0, false, {"N"}},
    };
    for (const RuleCase& c : cases) {
        CAPTURE(c.row);
        const Rule* rule = find_rule(c.row);
        REQUIRE(rule);
        const std::optional<UnitCollection> value = c.value ? std::optional(units(c.value)) : std::nullopt;
        std::vector<UnitCollection> own;
        for (const char* text : c.own) own.push_back(units(text));
        ResultOperands in;
        in.function = c.row;
        in.value = value ? &*value : nullptr;
        in.own = own;
        in.count = c.count;
        in.degree = c.degree;
        in.density = c.density;
        Result<ResultPlan> plan = result_plan(rule->units, in);
        REQUIRE(plan);
        REQUIRE(plan->count() == c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            CAPTURE(i);
            const std::string expected = c.expected[i];
            REQUIRE(plan->part(i).has_value() == !expected.empty());
            if (!expected.empty()) CHECK(as_string(plan->part(i)->units()) == as_string(units(c.expected[i])));
        }
    }
}

TEST_CASE("polyfit's coefficients and polyval's targets step by powers of the coordinate") {
    const UnitCollection metre = units("m");
    const UnitCollection second = units("s");
    ResultOperands in;
    in.value = &metre;
    in.coordinate = &second;
    in.degree = 2;
    Result<ResultPlan> fit = result_plan(ResultUnits::Polynomial, in);
    REQUIRE(fit);
    REQUIRE(fit->layout == ResultPlan::Layout::Sequence);
    const char* expected[] = {"m/s2", "m/s", "m"};
    REQUIRE(fit->count() == 3);
    for (std::size_t i = 0; i < 3; ++i) CHECK(as_string(fit->part(i)->units()) == as_string(units(expected[i])));
    Result<std::vector<UnitCollection>> targets = polynomial_coefficient_units(metre, second, 3);
    REQUIRE(targets);
    for (std::size_t i = 0; i < 3; ++i) CHECK(as_string((*targets)[i]) == as_string(units(expected[i])));
}

TEST_CASE("a product over where= is refused unless its values are plain numbers") {
    const UnitCollection metre = units("m");
    const UnitCollection none = UnitCollection::empty();
    ResultOperands in;
    in.function = "prod";
    in.where_given = true;
    in.value = &metre;
    CHECK_FALSE(result_plan(ResultUnits::PowerOfCount, in));
    in.value = &none;
    CHECK(result_plan(ResultUnits::PowerOfCount, in));
    in.counts_nonzero = true;
    in.value = &metre;
    CHECK(result_plan(ResultUnits::Norm, in)->layout == ResultPlan::Layout::Plain);
}

TEST_CASE("factors reduced count the sizes along the axes") {
    const std::vector<std::ptrdiff_t> shape{2, 3, 4};
    long long bad = 0;
    const auto count = [&](std::vector<long long> axes, bool all, bool reduce_default = false) {
        return factors_reduced(shape, all ? std::nullopt : std::optional<std::span<const long long>>(axes),
                               reduce_default, bad);
    };
    CHECK(count({}, true) == 24.0);
    CHECK(count({}, true, true) == 2.0);
    CHECK(count({-1}, false) == 4.0);
    CHECK(count({0, 2}, false) == 8.0);
    CHECK_FALSE(count({3}, false));
    CHECK(bad == 3);
}

TEST_CASE("the registry's rows parse, and no name is both a rule and a refusal") {
    std::set<std::string> names;
    for (const Rule& rule : function_rules()) {
        CAPTURE(rule.function);
        CHECK(names.insert(rule.function).second);
        CHECK_NOTHROW(parse_signature(rule.signature));
        CHECK(find_rule(rule.function) == &rule);
    }
    for (const Refusal& refusal : refusals()) {
        CAPTURE(refusal.name);
        CHECK(names.insert(refusal.name).second);
        CHECK(refusal_reason(refusal.name) == refusal.reason);
    }
    CHECK_FALSE(find_rule("no_such_function"));
    CHECK_FALSE(refusal_reason("sum"));

    const Signature clip = parse_signature("a:v a_min:v a_max:v out:o * min:v max:v");
    CHECK(clip.positional == 4);
    CHECK(clip.index_of("max") == 5);
    CHECK(clip.parameters[3].role == Role::Out);
    const Signature grid = parse_signature("*xi:u * copy sparse");
    CHECK(grid.variadic == 0);
    CHECK(grid.positional == 0);
    CHECK_THROWS_AS(parse_signature("a:z"), InternalError);
}

TEST_CASE("element loops broadcast strided, scalar and misaligned operands as the flat loops do") {
    // a: 2x3 float64 read through a transposed view of a 3x2 buffer; b: a row of 3 float32.
    const double a_data[6] = {1, 4, 2, 5, 3, 6};
    const float b_data[3] = {10, 20, 30};
    const std::ptrdiff_t a_shape[2] = {2, 3}, a_strides[2] = {8, 16};
    const std::ptrdiff_t b_shape[1] = {3}, b_strides[1] = {4};
    const LoopOperand operands[2] = {
        {true, reinterpret_cast<const char*>(a_data), 2, a_shape, a_strides, 8, false, 0.0},
        {true, reinterpret_cast<const char*>(b_data), 1, b_shape, b_strides, 4, true, 0.0},
    };
    LoopLayout layout;
    REQUIRE(lay_out(operands, LoopOutput::Float64, layout) == LayoutStatus::Ok);
    CHECK_FALSE(layout.flat);
    CHECK(layout.output == LoopOutput::Float64);
    double out[6] = {};
    layout.out = reinterpret_cast<char*>(out);
    // km + m into km: an addend scaled by factors; the general loop (taken when a is converted too)
    // gives the same bits.
    const MagnitudePlan scale{MagnitudePlan::Kind::Scale, 1.0, 1000.0, 0.0, 0.0};
    const MagnitudePlan identity{};
    planned_binary_loop(Formula::Add, identity, scale, identity, layout);
    for (int i = 0; i < 6; ++i) {
        const double a = i + 1;  // a in C order
        CHECK(out[i] == a + (static_cast<double>(b_data[i % 3]) * 1.0) / 1000.0);
    }
    const MagnitudePlan unit_scale{MagnitudePlan::Kind::Scale, 1.0, 1.0, 0.0, 0.0};
    double general[6] = {};
    layout.out = reinterpret_cast<char*>(general);
    planned_binary_loop(Formula::Add, unit_scale, scale, identity, layout);
    for (int i = 0; i < 6; ++i) CHECK(general[i] == out[i]);

    // float32 alone stores float32, rounded once from the double result.
    const LoopOperand f32_only[1] = {operands[1]};
    REQUIRE(lay_out(f32_only, LoopOutput::Float64, layout) == LayoutStatus::Ok);
    CHECK(layout.flat);
    CHECK(layout.output == LoopOutput::Float32);
    float f_out[3] = {};
    layout.out = reinterpret_cast<char*>(f_out);
    algebra_loop(UnitAlgebra::Sqrt, identity, layout);
    for (int i = 0; i < 3; ++i) CHECK(f_out[i] == static_cast<float>(std::sqrt(static_cast<double>(b_data[i]))));

    const std::ptrdiff_t c_shape[1] = {2}, c_strides[1] = {8};
    const LoopOperand mismatched[2] = {
        operands[1], {true, reinterpret_cast<const char*>(a_data), 1, c_shape, c_strides, 8, false, 0.0}};
    CHECK(lay_out(mismatched, LoopOutput::Float64, layout) == LayoutStatus::NotBroadcastable);
    CHECK(shapes_text(mismatched) == "(3,) (2,)");
}
