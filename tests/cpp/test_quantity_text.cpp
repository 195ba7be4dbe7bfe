#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "quantity/quantity_text.hpp"
#include "unit/suggestions.hpp"

using namespace tarvel;

TEST_CASE("numbers are read as Python's float() reads them") {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0", 0.0},          {"-0", -0.0},
        {"+1.5", 1.5},       {".5", 0.5},
        {"5.", 5.0},         {"1_000", 1000.0},
        {"1e3", 1000.0},     {"1E-3", 0.001},
        {"2.5e+2", 250.0},   {"inf", inf},
        {"-Infinity", -inf}, {"1e400", inf},
        {"-1e-400", -0.0},   {"0.1", 0.1},
        {"9.81", 9.81},      {"123456789012345678901234567890", 1.2345678901234568e29},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        const auto value = read_python_float(c.text);
        REQUIRE(value.has_value());
        CHECK(*value == c.value);
        CHECK(std::signbit(*value) == std::signbit(c.value));
    }
    CHECK(std::isnan(*read_python_float("nan")));
    for (const char* text : {"", "_1", "1_", "1__0", "1e", "e3", ".", "+", "1.2.3", "0x10", "in", "1 "}) {
        CAPTURE(text);
        CHECK_FALSE(read_python_float(text).has_value());
    }
}

TEST_CASE("a quantity text splits into its number and its unit part") {
    const struct {
        const char* text;
        std::optional<double> number;
        const char* unit;
        bool bracketed;
    } cases[] = {
        {"9.81 m/s2", 9.81, "m/s2", false},
        {"9.81 [m/s2]", 9.81, "m/s2", true},
        {"[m/s2]", std::nullopt, "m/s2", true},
        {"5 []", 5.0, "", true},
        {"5", 5.0, "", false},
        {"km", std::nullopt, "km", false},
        {"36km/hr", 36.0, "km/hr", false},
        {"nanometer", std::nullopt, "nanometer", false},
        {" 2  fl oz ", 2.0, "fl oz", false},
        {"1/s", 1.0, "/s", false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        const auto parts = split_quantity_text(c.text);
        REQUIRE(parts.has_value());
        CHECK(parts->number == c.number);
        CHECK(parts->unit == c.unit);
        CHECK(parts->bracketed == c.bracketed);
    }
    for (const char* text : {"", "  ", "3 [m", "3 m]", "[m] s", "[[m]]", "1.2.3 m", "1_ m"}) {
        CAPTURE(text);
        const auto parts = split_quantity_text(text);
        REQUIRE_FALSE(parts.has_value());
        CHECK(parts.error().kind == ErrorKind::UnreadableQuantity);
    }
}

TEST_CASE("parse errors carry the unit part or the whole text") {
    CHECK(parse_quantity("3 hourr").error().message() == "Unit hourr not found");
    CHECK(parse_quantity("3 [m.zz]").error().message() == "Unit m.zz not found");
    CHECK(parse_quantity("3 [m").error().message() == "could not read a quantity from '3 [m'");
    CHECK(parse_log_quantity("3 decibels").error().message() == "Logarithmic ratio unit decibels not found");
    CHECK(parse_log_quantity("3").error().kind == ErrorKind::UnreadableQuantity);
    CHECK(parse_log_quantity("-2 [dB]")->power == -2.0);
}

TEST_CASE("edit distance counts insertions, deletions, substitutions and adjacent swaps") {
    const struct {
        const char* a;
        const char* b;
        std::size_t distance;
    } cases[] = {
        {"", "", 0},          {"meter", "meter", 0},
        {"hourr", "hour", 1}, {"meetr", "meter", 1},
        {"mter", "meter", 1}, {"kg", "Kg", 1},
        {"abc", "", 3},       {"planck constant", "planck's constant", 2},
    };
    for (const auto& c : cases) {
        CAPTURE(c.a);
        CAPTURE(c.b);
        CHECK(edit_distance(c.a, c.b, 10) == c.distance);
        CHECK(edit_distance(c.b, c.a, 10) == c.distance);
        // Past the limit only "more than the limit" is known.
        if (c.distance > 0) CHECK(edit_distance(c.a, c.b, c.distance - 1) == c.distance);
    }
}

TEST_CASE("every suggestion in the notes parses") {
    for (const char* text : {"km/hourr", "m^2", "s^-1", "kg m/s2", "J/(kg.K)", "m/s/s", "mph", "µm", "degC",
                             "meters", "litres", "kilomter", "Meter"}) {
        CAPTURE(text);
        const std::vector<std::string> notes = unit_lookup_notes(text);
        bool suggested = false;
        for (const std::string& note : notes) {
            if (!note.starts_with("did you mean ")) continue;
            suggested = true;
            // The first quoted text is the first suggestion.
            const std::size_t open = note.find('\'');
            const std::size_t close = note.find('\'', open + 1);
            CHECK(UnitCollection::from_unit_name(note.substr(open + 1, close - open - 1)).has_value());
        }
        CHECK(suggested);
    }
    CHECK(unit_lookup_notes("xyz").empty());
    CHECK(unit_lookup_notes("").empty());
    CHECK(unit_lookup_notes(std::string(1000, 'm')).empty());
}
