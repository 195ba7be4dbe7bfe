#include <doctest/doctest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "error/tarvel_error.hpp"
#include "unit/search.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using tarvel::Dimensions;
using tarvel::SingleUnit;
using tarvel::UnitCollection;
using tarvel::UnitMap;

namespace {

using Terms = std::vector<std::pair<std::string, double>>;

SingleUnit unit(const std::string& symbol) {
    auto found = tarvel::search_for_unit_name(symbol);
    REQUIRE_MESSAGE(found.has_value(), symbol << " is not in the catalogue");
    return *found;
}

// The product of the units raised to their exponents, built the way arithmetic on quantities builds it.
UnitCollection product(const Terms& terms) {
    UnitCollection result = UnitCollection::empty();
    for (const auto& [symbol, exponent] : terms) {
        result = tarvel::mul(result, tarvel::pow(UnitCollection::single(unit(symbol)), exponent));
    }
    return result;
}

// A collection built straight from a map, zero exponents included.
UnitCollection from_map(const Terms& terms) {
    UnitMap map;
    for (const auto& [symbol, exponent] : terms) map.push_back(unit(symbol), exponent);
    return UnitCollection::from_single_unit_hashmap(std::move(map));
}

Terms terms_of(const UnitCollection& units) {
    Terms out;
    for (const auto& entry : units.unit_map) out.emplace_back(entry.unit.symbol(), entry.exponent);
    return out;
}

bool same_vector(const Dimensions& a, const Dimensions& b) { return tarvel::dimensions_equal(a, b); }

using Operation = UnitCollection (*)(const UnitCollection&);

std::string internal_error_of(const UnitCollection& units, Operation operation) {
    try {
        operation(units);
    } catch (const tarvel::InternalError& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace

TEST_CASE("simple_simplify cancels pairs of equal or opposite dimensions") {
    const struct {
        const char* what;
        Terms input;
        Terms expected;
    } cases[] = {
        {"metre per foot", {{"m", 1}, {"ft", -1}}, {}},
        {"hertz times second", {{"Hz", 1}, {"s", 1}}, {}},
        {"hertz^-2 second^-1", {{"Hz", -2}, {"s", -1}}, {{"s", 1}}},
        {"hertz^2 second", {{"Hz", 2}, {"s", 1}}, {{"Hz", 1}}},
        {"newton metre is left alone", {{"N", 1}, {"m", 1}}, {{"N", 1}, {"m", 1}}},
        {"equal signs of equal dimensions are left alone", {{"m", 2}, {"ft", 1}}, {{"m", 2}, {"ft", 1}}},
        {"dimensionless units cancel", {{"rad", 1}, {"sr", -1}}, {}},
        {"dimensionless units of equal sign stay", {{"rad", 2}, {"sr", 1}}, {{"rad", 2}, {"sr", 1}}},
        {"partial cancellation", {{"m", 3}, {"ft", -1}}, {{"m", 2}}},
        {"opposite dimensions, both negative", {{"Hz", -1}, {"s", -2}}, {{"Hz", 1}}},
        {"first unit in map order survives", {{"ft", -3}, {"m", 1}, {"N", 1}}, {{"ft", -2}, {"N", 1}}},
        // One unit meeting several partners; the exchanges never carry an exponent past zero.
        {"several partners", {{"m", 2}, {"ft", -1}, {"in", -3}}, {{"in", -2}}},
        {"several partners, all gone", {{"m", 3}, {"ft", -1}, {"in", -2}}, {}},
        {"two chains", {{"m", 1}, {"s", 3}, {"ft", -1}, {"Hz", 1}, {"min", -1}}, {{"s", 1}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        const UnitCollection input = product(c.input);
        const UnitCollection result = tarvel::simple_simplify(input);
        CHECK(terms_of(result) == c.expected);
        CHECK(same_vector(result.dimensions, input.dimensions));
        CHECK(terms_of(input) == c.input);  // the input is untouched
    }
}

TEST_CASE("simple_simplify removes zero-exponent entries that meet a partner") {
    const struct {
        Terms input;
        Terms expected;
    } cases[] = {
        // x is 0: the zero entry reaches 0.0 and goes, the partner keeps its exponent.
        {{{"m", 0}, {"ft", -2}}, {{"ft", -2}}},
        {{{"Hz", 0}, {"s", 2}}, {{"s", 2}}},
        {{{"s", 2}, {"Hz", 0}}, {{"s", 2}}},
        // Same sign: no exchange.
        {{{"m", 0}, {"ft", 2}}, {{"m", 0}, {"ft", 2}}},
        {{{"Hz", 0}, {"s", -2}}, {{"Hz", 0}, {"s", -2}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.input.front().first);
        CHECK(terms_of(tarvel::simple_simplify(from_map(c.input))) == c.expected);
    }
}

TEST_CASE("simple_simplify of metre per foot keeps the vector and leaves the scale to the caller") {
    const UnitCollection input = product({{"m", 1}, {"ft", -1}});
    const UnitCollection result = tarvel::simple_simplify(input);
    CHECK(result.unit_map.empty());
    CHECK(same_vector(result.dimensions, tarvel::NO_DIMENSIONS));
    CHECK(result.factor == 1.0);
    CHECK(input.factor / result.factor == doctest::Approx(1 / 0.3048));
}

TEST_CASE("simple_simplify returns the input itself when nothing cancels") {
    // The aggregates are not recomputed: the cached factor of a parsed or multiplied collection comes back
    // bit for bit.
    const Terms inputs[] = {
        {}, {{"N", 1}}, {{"ft", 1}, {"lb", 1}}, {{"N", 1}, {"m", 1}}, {{"m", 2}, {"ft", 1}},
    };
    for (const auto& terms : inputs) {
        UnitCollection input = product(terms);
        input.factor = 0.1 + 0.2;  // not what the map would give
        const UnitCollection result = tarvel::simple_simplify(input);
        CHECK(terms_of(result) == terms);
        CHECK(result.factor == input.factor);
        CHECK(same_vector(result.dimensions, input.dimensions));
    }
}

TEST_CASE("simple_simplify with fractional exponents of volume units keeps the vector exactly") {
    // 3 * 0.7 - 3 * 0.3 and 3 * (0.7 - 0.3) differ in the last bit; the result must still carry the
    // input's vector exactly, since callers compare vectors exactly.
    const UnitCollection input = product({{"L", 0.7}, {"gal", -0.3}});
    const UnitCollection result = tarvel::simple_simplify(input);
    REQUIRE(terms_of(result) == Terms{{"L", 0.7 - 0.3}});
    CHECK(same_vector(result.dimensions, input.dimensions));
}

TEST_CASE("simple_simplify fails its consistency check on NaN or broken vectors") {
    SUBCASE("NaN dimensions, exact message") {
        const UnitCollection input = tarvel::pow(UnitCollection::single(unit("m")), std::nan(""));
        // The vector rebuilt from the map is NaN throughout: NaN times 0 is NaN.
        CHECK(internal_error_of(input, tarvel::simple_simplify) ==
              "Error on simple_simplify\nStarted with: [], [0.0, 0.0, 0.0, 0.0, 0.0, NaN, 0.0, 0.0]\r\n"
              "Ended with: [], [NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN]");
        CHECK(internal_error_of(input, tarvel::simplify).starts_with("Error on simple_simplify\n"));
    }
    SUBCASE("infinite exponents that cancel each other") {
        const UnitCollection input =
            tarvel::pow(product({{"m", 1}, {"ft", -1}, {"s", 1}}), std::numeric_limits<double>::infinity());
        CHECK(internal_error_of(input, tarvel::simple_simplify).starts_with("Error on simple_simplify\n"));
    }
    SUBCASE("a cached vector that disagrees with the map") {
        UnitCollection input = product({{"m", 1}, {"ft", -1}});
        input.dimensions[5] = 1.0;
        CHECK(internal_error_of(input, tarvel::simple_simplify) ==
              "Error on simple_simplify\nStarted with: [m/ft], [0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0]\r\n"
              "Ended with: [], [0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0]");
    }
}

TEST_CASE("simple_simplify ends with non-finite exponents") {
    const double inf = std::numeric_limits<double>::infinity();
    SUBCASE("an infinite exponent takes in its partner; the rebuilt vector then fails the check") {
        // The rebuilt vector holds inf * 0 = NaN in the dimensions metre does not have.
        const UnitCollection input = product({{"m", inf}, {"ft", -1}, {"in", 1}});
        CHECK_THROWS_AS(tarvel::simple_simplify(input), tarvel::InternalError);
    }
    SUBCASE("exchanges that reach no zero do not repeat") {
        // inf - inf leaves NaN working exponents that never reach 0.0; with a consistent cache this input
        // could not get here, so it is forced.
        UnitMap map;
        map.push_back(unit("m"), inf);
        map.push_back(unit("ft"), -inf);
        map.push_back(unit("in"), 1);
        map.push_back(unit("mi"), -inf);
        UnitCollection input{std::move(map), tarvel::NO_DIMENSIONS, 1.0};
        CHECK_THROWS_AS(tarvel::simple_simplify(input), tarvel::InternalError);
    }
    SUBCASE("the same among enough other units that the map is worked through class by class") {
        UnitMap map;
        const char* others[] = {"kg", "s", "A", "K", "mol", "cd", "N", "J", "W", "Pa"};
        for (const char* symbol : others) map.push_back(unit(symbol), 2);
        map.push_back(unit("m"), inf);
        map.push_back(unit("ft"), -inf);
        map.push_back(unit("in"), 1);
        map.push_back(unit("mi"), -inf);
        map.push_back(unit("yd"), std::nan(""));
        UnitCollection input{std::move(map), tarvel::NO_DIMENSIONS, 1.0};
        CHECK_THROWS_AS(tarvel::simple_simplify(input), tarvel::InternalError);
    }
}

TEST_CASE("simplify returns a shortest product of the collection's own units") {
    const struct {
        const char* what;
        Terms input;
        Terms expected;  // the whole map, zero entries included
        const char* text;
    } cases[] = {
        {"watt second newton per joule", {{"W", 1}, {"s", 1}, {"N", 1}, {"J", -1}},
         {{"W", 0}, {"s", 0}, {"N", 1}, {"J", 0}}, "[N]"},
        {"newton metre comes back whole", {{"N", 1}, {"m", 1}}, {{"N", 1}, {"m", 1}}, "[N.m]"},
        {"newton metre squared, whole", {{"N", 2}, {"m", 2}}, {{"N", 2}, {"m", 2}}, "[N2.m2]"},
        {"sole carriers alone", {{"m", 1}, {"s", -1}}, {{"m", 1}, {"s", -1}}, "[m/s]"},
        {"carriers reproduce the vector, the rest drops to 0", {{"m", 1}, {"rad", 1}}, {{"m", 1}, {"rad", 0}},
         "[m]"},
        {"cancellation first", {{"Hz", -2}, {"s", -1}, {"m", 1}}, {{"s", 1}, {"m", 1}}, "[m.s]"},
        {"first of equally short products in map order", {{"m", 1}, {"ft", 1}, {"N", 1}, {"J", -1}},
         {{"m", 1}, {"ft", 0}, {"N", 0}, {"J", 0}}, "[m]"},
        {"same, other order", {{"ft", 1}, {"m", 1}, {"N", 1}, {"J", -1}},
         {{"ft", 1}, {"m", 0}, {"N", 0}, {"J", 0}}, "[ft]"},
        {"J.Pa.m2/N is a joule", {{"J", 1}, {"N", -1}, {"Pa", 1}, {"m", 2}},
         {{"J", 1}, {"N", 0}, {"Pa", 0}, {"m", 0}}, "[J]"},
        {"fractional exponents stay", {{"N", 1}, {"m", 0.5}}, {{"N", 1}, {"m", 0.5}}, "[N.m0.5]"},
        {"one unit, any exponent", {{"W", -2.5}}, {{"W", -2.5}}, "[1/W2.5]"},
        {"empty", {}, {}, "[]"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        const UnitCollection input = product(c.input);
        const UnitCollection result = tarvel::simplify(input);
        CHECK(terms_of(result) == c.expected);
        CHECK(tarvel::as_string(result) == c.text);
        CHECK(same_vector(result.dimensions, input.dimensions));
    }
}

TEST_CASE("simplify leaves exponents too large for 32 bits alone") {
    const UnitCollection input = product({{"N", 1e10}, {"m", 1e10}});
    CHECK(terms_of(tarvel::simplify(input)) == terms_of(input));
}

TEST_CASE("simplify reports a dimension that no unit carries") {
    UnitCollection input = product({{"m", 1}, {"s", 1}});
    input.dimensions[4] = 1.0;  // mass, which neither unit has
    CHECK(internal_error_of(input, tarvel::simplify) ==
          "Error in simplify - unit [m.s] has mismatch between single and base units");
}

TEST_CASE("simplify gives the same result on every run, with and without worker threads") {
    tarvel::SearchOptions pooled;
    pooled.threads = 4;
    pooled.parallel_level = 1;
    const Terms inputs[] = {
        {{"W", 1}, {"s", 1}, {"N", 1}, {"J", -1}},
        {{"W", 3}, {"s", 3}, {"N", 3}, {"J", -3}},
        {{"J", 2}, {"W", 1}, {"V", -1}, {"Pa", 2}, {"m", 1}, {"H", 1}},
        {{"T", 2}, {"Wb", -1}, {"C", 1}, {"N", 1}, {"A", -2}},
    };
    for (const auto& terms : inputs) {
        const UnitCollection input = product(terms);
        const Terms first = terms_of(tarvel::simplify(input));
        for (int run = 0; run < 25; ++run) {
            CHECK(terms_of(tarvel::simplify(input)) == first);
            CHECK(terms_of(tarvel::simplify(input, pooled)) == first);
        }
    }
}

TEST_CASE("simplification keeps the dimension vector of random products of catalogue units") {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, tarvel::UNIT_COUNT - 1);
    std::uniform_int_distribution<int> count(1, 6);
    std::uniform_int_distribution<int> whole(-3, 3);
    std::uniform_int_distribution<int> chance(0, 9);
    for (int trial = 0; trial < 1500; ++trial) {
        UnitCollection input = UnitCollection::empty();
        const int units = count(random);
        for (int i = 0; i < units; ++i) {
            double exponent = whole(random);
            if (exponent == 0) exponent = 1;
            if (chance(random) == 0) exponent += 0.5;
            const SingleUnit u = tarvel::create_from_unit_def_static(tarvel::UNITS[pick(random)]);
            input = tarvel::mul(input, tarvel::pow(UnitCollection::single(u), exponent));
        }
        CAPTURE(tarvel::as_string(input));
        const UnitCollection quick = tarvel::simple_simplify(input);
        const UnitCollection full = tarvel::simplify(input);
        CHECK(same_vector(quick.dimensions, input.dimensions));
        CHECK(same_vector(full.dimensions, input.dimensions));
        // The result is built from its own map, and only from units the input holds.
        const UnitCollection rebuilt = UnitCollection::from_single_unit_hashmap(full.unit_map);
        CHECK(same_vector(rebuilt.dimensions, full.dimensions));
        std::size_t quick_terms = 0;
        std::size_t full_terms = 0;
        for (const auto& entry : quick.unit_map) quick_terms += entry.exponent != 0.0;
        for (const auto& entry : full.unit_map) {
            full_terms += entry.exponent != 0.0;
            CHECK(input.unit_map.find(entry.unit) != UnitMap::npos);
        }
        CHECK(full_terms <= quick_terms);
    }
}

TEST_CASE("the cancellation never lets an exchange lose an exponent, so the map keeps the cached vector") {
    // -2 + 1e-300 is -2 and 2**54 - 1 is 2**54: the exchange would drop a unit whose share the cached
    // vector still holds.
    const std::vector<Terms> cases = {
        {{"m", -2}, {"ft", 1e-300}},
        {{"J", -2}, {"s", -4}, {"erg", 1e-300}},
        {{"s", -4}, {"J", -2}, {"erg", 1e-300}},
        {{"m", 18014398509481984.0}, {"ft", -1}},
    };
    for (const Terms& terms : cases) {
        const UnitCollection input = product(terms);
        const UnitCollection quick = tarvel::simple_simplify(input);
        CHECK(quick.unit_map.size() == input.unit_map.size());
        CHECK(tarvel::first_inconsistent_dimension(quick.unit_map, quick.dimensions) == tarvel::DIMENSION_COUNT);
    }
    // An exchange that loses nothing still happens.
    CHECK(tarvel::simple_simplify(product({{"m", -2}, {"ft", 0.5}})).unit_map.size() == 1);
}

TEST_CASE("a quotient that cancels thousands of entries matches the one that cancels them one at a time") {
    std::vector<tarvel::SingleUnit> units;
    for (int i = 0; i < 300; ++i) {
        std::string name = "unit ";
        name += std::to_string(i);
        std::string symbol = "u";
        symbol += std::to_string(i);
        units.push_back(SingleUnit::make(std::move(name), std::move(symbol), 0.0, 1.0, {0, 0, 0, 0, 0, 1, 0, 0}));
    }
    UnitMap a_map;
    UnitMap b_map;
    for (int i = 0; i < 300; ++i) a_map.push_back(units[i], 1.0 + i % 3);
    for (int i = 299; i >= 0; --i) b_map.push_back(units[i], i % 7 == 0 ? 2.0 : 1.0 + i % 3);
    const UnitCollection a = UnitCollection::from_single_unit_hashmap(a_map);
    const UnitCollection b = UnitCollection::from_single_unit_hashmap(b_map);
    const UnitCollection together = tarvel::div(a, b);
    UnitCollection one_at_a_time = a;
    for (const tarvel::UnitEntry& entry : b_map) {
        one_at_a_time = tarvel::div(one_at_a_time, tarvel::pow(UnitCollection::single(entry.unit), entry.exponent));
    }
    REQUIRE(together.unit_map.size() == one_at_a_time.unit_map.size());
    for (std::size_t i = 0; i < together.unit_map.size(); ++i) {
        CHECK(together.unit_map[i].unit == one_at_a_time.unit_map[i].unit);
        CHECK(together.unit_map[i].exponent == one_at_a_time.unit_map[i].exponent);
    }
    CHECK(tarvel::dimensions_equal(together.dimensions, one_at_a_time.dimensions));
}
