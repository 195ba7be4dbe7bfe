// Regression tests for faults found by fuzzing the core (fuzz/fuzz_units.cpp).

#include <doctest/doctest.h>

#include <cmath>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "quantity/quantity.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_collection.hpp"

using tarvel::UnitCollection;

namespace {

UnitCollection parse(std::string_view text) {
    auto units = UnitCollection::from_unit_name(text);
    REQUIRE_MESSAGE(units.has_value(), text);
    return *units;
}

}  // namespace

// A tiny exponent added to a large one is absorbed (1 + 1e-300 is 1), in the cached vector or in the map,
// and the two then differ by the absorbed amount. That is rounding, not a broken invariant: neither
// simplification may fail on it, and both keep the cached vector.
TEST_CASE("tiny exponents absorbed by units that later cancel break no invariant") {
    SUBCASE("absorbed in the cache: hour cancels out of the map, the cache lost the second's 1e-300") {
        const UnitCollection input =
            tarvel::div(tarvel::mul(parse("km/hr"), tarvel::pow(parse("m/s"), 1e-300)), parse("mi/hr"));
        REQUIRE(input.unit_map.size() == 4);
        const UnitCollection quick = tarvel::simple_simplify(input);
        CHECK(tarvel::dimensions_equal(quick.dimensions, input.dimensions));
        CHECK(tarvel::as_string(quick) == tarvel::as_string(tarvel::simplify(input)));
    }
    SUBCASE("absorbed in the map: the product of quantities is refused, the plain product shows no metre") {
        CHECK_FALSE(tarvel::checked_mul(parse("m/ft"), tarvel::pow(parse("m"), 1e-300)).has_value());
        const UnitCollection input = tarvel::mul(parse("m/ft"), tarvel::pow(parse("m"), 1e-300));
        REQUIRE(input.dimensions[5] == 0.0);
        const UnitCollection quick = tarvel::simple_simplify(input);
        CHECK(quick.unit_map.empty());
        CHECK(quick.dimensions[5] == 0.0);
        const UnitCollection full = tarvel::simplify(input);
        CHECK(full.unit_map.empty());
        CHECK(tarvel::dimensions_equal(full.dimensions, input.dimensions));
    }
}

TEST_CASE("exponents near the largest double cancel without overflowing the bound on their rounding") {
    // Megametre to 1.6e308 over kilometre to 1.2e308: the sum of the terms is beyond the largest double.
    const UnitCollection input = tarvel::pow(parse("Mm4/km3"), 4e307);
    const UnitCollection quick = tarvel::simple_simplify(input);
    CHECK(quick.unit_map.size() == 1);
    CHECK(tarvel::dimensions_equal(quick.dimensions, input.dimensions));
    CHECK(tarvel::dimensions_equal(tarvel::simplify(input).dimensions, input.dimensions));
}

TEST_CASE("a term of the rebuilt vector may overflow where the cached vector did not") {
    // shed (an area) to 1e308 makes 2e308 in length; the cached vector summed 2 - 1 first.
    const UnitCollection input = tarvel::mul(tarvel::pow(parse("shed/m"), 1e308), parse("ft/m"));
    REQUIRE(std::isfinite(input.dimensions[5]));
    const UnitCollection quick = tarvel::simple_simplify(input);
    // Exchanging ft with a metre of exponent -1e308 - 1 would lose the 1 (as a product that loses an
    // exponent is refused): the input stays as it is.
    CHECK(quick.unit_map.size() == 3);
    CHECK(tarvel::dimensions_equal(quick.dimensions, input.dimensions));
}

TEST_CASE("a cache that disagrees with its map by more than rounding still fails the checks") {
    UnitCollection input = parse("m/ft");
    input.dimensions[5] = 1e-6;
    CHECK_THROWS_AS(tarvel::simple_simplify(input), tarvel::InternalError);

    UnitCollection orphan = UnitCollection::empty();
    orphan.unit_map = parse("m.s").unit_map;
    orphan.dimensions = parse("m.s").dimensions;
    orphan.dimensions[0] = 1e-3;  // USD, which no unit of the map carries
    CHECK_THROWS_AS(tarvel::simplify(orphan), tarvel::InternalError);
}

TEST_CASE("quoted texts show every byte") {
    using namespace std::string_literals;
    CHECK(tarvel::quoted("bel") == "'bel'");
    CHECK(tarvel::quoted("bel\0x"s) == "'bel\\x00x'");
    // Python's choice of quotes: a single quote inside makes them double.
    CHECK(tarvel::quoted("a\n\x7f'\\") == "\"a\\x0a\\x7f'\\\\\"");
    CHECK(tarvel::quoted("'\"") == "'\\'\"'");
    CHECK(tarvel::quoted("µm") == "'µm'");
}

TEST_CASE("rounding where the power of ten is no double goes through the decimal expansion") {
    CHECK(tarvel::round_to_significant_figures(1.2345678901234e-300, 10) == 1.23456789e-300);
    CHECK(tarvel::round_to_significant_figures(2.7959342459509e-310, 1) == 3e-310);
    CHECK(tarvel::round_to_significant_figures(-2.7959342459509e-310, 1) == -3e-310);
    CHECK(tarvel::round_to_digits(2.7959342459509e-310, 310) == 3e-310);
    CHECK(tarvel::round_to_digits(2.7959342459509e-310, 2000) == 2.7959342459509e-310);
    CHECK(tarvel::round_to_digits(1e300, 400) == 1e300);
    // Where the scale is a double the formula stays: halves away from zero.
    CHECK(tarvel::round_to_digits(2.5, 0) == 3.0);
}
