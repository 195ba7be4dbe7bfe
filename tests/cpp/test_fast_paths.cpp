// The shortcuts taken for speed must give exactly what the general paths give.

#include <doctest/doctest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "quantity/quantity.hpp"
#include "unit/number_format.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using tarvel::UnitCollection;
using tarvel::UnitMap;

namespace {

using Terms = std::vector<std::pair<std::string, double>>;

tarvel::SingleUnit unit(const std::string& symbol) {
    auto found = tarvel::search_for_unit_name(symbol);
    REQUIRE_MESSAGE(found.has_value(), symbol << " is not in the catalogue");
    return *found;
}

UnitCollection from_map(const Terms& terms) {
    UnitMap map;
    for (const auto& [symbol, exponent] : terms) map.push_back(unit(symbol), exponent);
    return UnitCollection::from_single_unit_hashmap(std::move(map));
}

// Exponents compared bit for bit, so that -0.0 and 0.0 differ.
std::vector<std::pair<std::string, std::uint64_t>> exact_terms(const UnitCollection& units) {
    std::vector<std::pair<std::string, std::uint64_t>> out;
    for (const auto& entry : units.unit_map) {
        out.emplace_back(entry.unit.symbol(), std::bit_cast<std::uint64_t>(entry.exponent));
    }
    return out;
}

// The shortest round-trip digits, from the standard library's scientific form.
std::string reference_digits(double magnitude) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    std::string digits;
    for (const char* p = buffer; p != result.ptr && *p != 'e'; ++p) {
        if (*p != '.') digits += *p;
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    return digits;
}

}  // namespace

TEST_CASE("whole numbers on both sides of 2^53 print with their shortest round-trip digits") {
    std::mt19937_64 random(7);
    std::vector<double> values = {1.0, 10.0, 1000.0, 0x1p52, 0x1p53 - 1, 0x1p53, 0x1p53 + 2, 1e16, 1e17};
    for (int bits = 1; bits <= 60; ++bits) {
        for (int i = 0; i < 200; ++i) values.push_back(static_cast<double>(random() >> (64 - bits)));
    }
    for (double value : values) {
        if (value == 0.0) continue;
        for (double signed_value : {value, -value}) {
            const std::string text = tarvel::format_number(signed_value);
            CAPTURE(text);
            REQUIRE(text.find('.') == std::string::npos);
            double parsed = 0.0;
            const char* begin = text.data() + (signed_value < 0);
            REQUIRE(std::from_chars(begin, text.data() + text.size(), parsed).ec == std::errc());
            CHECK(parsed == value);
            std::string digits(begin, text.data() + text.size());
            while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
            CHECK(digits == reference_digits(value));
        }
    }
}

TEST_CASE("try_simple_simplify answers nothing exactly when no pair cancels") {
    const struct {
        const char* what;
        Terms input;
        bool cancels;
    } cases[] = {
        {"equal dimensions, same sign", {{"m", 1}, {"ft", 2}}, false},
        {"equal dimensions, opposite signs", {{"m", 1}, {"ft", -2}}, true},
        {"opposite dimensions, same sign", {{"Hz", 1}, {"s", 1}}, true},
        {"opposite dimensions, opposite signs", {{"Hz", 1}, {"s", -1}}, false},
        {"a zero exponent with a partner of the other sign", {{"m", 0.0}, {"ft", -2}}, true},
        {"a negative zero has the partner's sign", {{"m", -0.0}, {"ft", -2}}, false},
        {"dimensionless units are equal and opposite", {{"rad", 1}, {"sr", -1}}, true},
        {"unrelated units", {{"m", 1}, {"s", -1}, {"kg", 1}, {"A", 2}}, false},
        {"a related pair after unrelated ones", {{"kg", 1}, {"s", -1}, {"A", 1}, {"Hz", -3}}, true},
        {"one unit", {{"m", -1}}, false},
        {"none", {}, false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        const UnitCollection input = from_map(c.input);
        const auto cancelled = tarvel::try_simple_simplify(input);
        CHECK(cancelled.has_value() == c.cancels);
        const UnitCollection quick = tarvel::simple_simplify(input);
        CHECK((exact_terms(quick) == exact_terms(input)) == !c.cancels);
        if (cancelled) CHECK(exact_terms(*cancelled) == exact_terms(quick));
    }
}

TEST_CASE("the optional forms agree with simple_simplify and simplify on random products") {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::size_t> pick(0, tarvel::UNIT_COUNT - 1);
    std::uniform_int_distribution<int> count(0, 6);
    std::uniform_int_distribution<int> whole(-3, 3);
    for (int trial = 0; trial < 2000; ++trial) {
        UnitMap map;
        const int units = count(random);
        for (int i = 0; i < units; ++i) {
            const tarvel::SingleUnit u = tarvel::create_from_unit_def_static(tarvel::UNITS[pick(random)]);
            if (map.find(u) != UnitMap::npos) continue;
            // Zero exponents of both signs take part: a zero entry is removed only when it meets a partner.
            const int e = whole(random);
            map.push_back(u, e == 0 && trial % 2 ? -0.0 : static_cast<double>(e));
        }
        const UnitCollection input = UnitCollection::from_single_unit_hashmap(std::move(map));
        CAPTURE(tarvel::as_string(input));

        const UnitCollection quick = tarvel::simple_simplify(input);
        const auto cancelled = tarvel::try_simple_simplify(input);
        CHECK(exact_terms(cancelled ? *cancelled : input) == exact_terms(quick));
        // A cancellation removes at least one entry, so "nothing" and "unchanged" are the same thing.
        CHECK(cancelled.has_value() == (exact_terms(quick) != exact_terms(input)));

        const UnitCollection full = tarvel::simplify(input);
        const auto simpler = tarvel::try_simplify(input);
        CHECK(exact_terms(simpler ? *simpler : input) == exact_terms(full));
        CHECK(tarvel::dimensions_equal(full.dimensions, input.dimensions));
    }
}

TEST_CASE("a product that cancels nothing still converts its value into its own units") {
    // A factor that is NaN equals nothing, not even itself: the conversion gives NaN, as it always has.
    tarvel::Result<tarvel::Quantity> metre = tarvel::quantity_from_unit_text("m");
    REQUIRE(metre);
    metre->value = std::numeric_limits<double>::quiet_NaN();
    const tarvel::Quantity odd = tarvel::custom_quantity("odd", "odd", *metre);
    const tarvel::Quantity five = tarvel::unitless_quantity(5.0);

    const tarvel::Result<tarvel::Quantity> product = tarvel::multiply(five, odd);
    REQUIRE(product);
    CHECK(tarvel::as_string(product->units) == "[odd]");
    CHECK(std::isnan(product->value));

    tarvel::Quantity copy = odd;
    copy.value = 2.0;
    const tarvel::Result<std::string> text = tarvel::display_in_place(copy);
    REQUIRE(text);
    CHECK(*text == "NaN [odd]");
    CHECK(std::isnan(copy.value));
}
