#include <doctest/doctest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "unit/number_format.hpp"

using tarvel::format_dimensions;
using tarvel::format_number;

namespace {

std::string zeros(std::size_t n) { return std::string(n, '0'); }

// Significant digits of a plain decimal text: sign, point and leading / trailing zeros removed.
std::string significant_digits(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
    }
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) return "0";
    const auto last = digits.find_last_not_of('0');
    return digits.substr(first, last - first + 1);
}

// The shortest round-trip digits as the standard library chooses them.
std::string reference_digits(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string text(buffer, result.ptr);
    return significant_digits(text.substr(0, text.find('e')));
}

}  // namespace

TEST_CASE("numbers print in the shortest round-trip digits without exponent notation") {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        std::string text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {2.0, "2"},
        {20.0, "20"},
        {300.0, "300"},
        {-1.5, "-1.5"},
        {0.5, "0.5"},
        {1.0 / 3.0, "0.3333333333333333"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0000000000000002, "1.0000000000000002"},
        {1234.5, "1234.5"},
        {123.456, "123.456"},
        {1e-7, "0.0000001"},
        {2.5e-5, "0.000025"},
        {0.001, "0.001"},
        {1e16, "10000000000000000"},
        {1e21, "1000000000000000000000"},
        {1e22, "10000000000000000000000"},
        {1e23, "100000000000000000000000"},
        {-1e23, "-100000000000000000000000"},
        {9007199254740993.0, "9007199254740992"},
        {123456789012345680.0, "123456789012345680"},
        {0.0037854117839999997, "0.0037854117839999997"},
        {5e-324, "0." + zeros(323) + "5"},
        {-5e-324, "-0." + zeros(323) + "5"},
        {std::numeric_limits<double>::max(), "17976931348623157" + zeros(292)},
        {nan, "NaN"},
        {-nan, "NaN"},
        {inf, "inf"},
        {-inf, "-inf"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        CHECK(format_number(c.value) == c.text);
    }
}

TEST_CASE("append_number appends to what is already there") {
    std::string out = "x=";
    tarvel::append_number(out, 0.25);
    tarvel::append_number(out, -3.0);
    CHECK(out == "x=0.25-3");
}

TEST_CASE("random doubles print as plain decimals that read back exactly, with the shortest digits") {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    std::uniform_int_distribution<int> exponent(-90, 90);
    for (int i = 0; i < 40000; ++i) {
        // Every bit pattern on odd rounds; magnitudes near 1, where the point falls inside the digits, on
        // even ones.
        const double value =
            i % 2 ? std::bit_cast<double>(random()) : std::ldexp(mantissa(random), exponent(random));
        if (!std::isfinite(value)) continue;
        const std::string text = format_number(value);
        CAPTURE(text);
        REQUIRE(text.find_first_not_of("-0123456789.") == std::string::npos);
        // A point only when there is a fraction, and never a trailing one.
        CHECK((text.find('.') == std::string::npos) == (value == std::trunc(value)));
        CHECK(text.back() != '.');

        double parsed = 0.0;
        const char* begin = text.data() + (text[0] == '-');
        const auto result =
            std::from_chars(begin, text.data() + text.size(), parsed, std::chars_format::fixed);
        REQUIRE(result.ec == std::errc());
        CHECK(result.ptr == text.data() + text.size());
        if (text[0] == '-') parsed = -parsed;
        CHECK(std::bit_cast<std::uint64_t>(parsed) == std::bit_cast<std::uint64_t>(value));
        CHECK(significant_digits(text) == reference_digits(value));
    }
}

TEST_CASE("dimension vectors print every component, whole numbers with .0") {
    CHECK(format_dimensions({0, 0, 0, 0, 1, 1, 0, -2}) == "[0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 0.0, -2.0]");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    CHECK(format_dimensions({0.5, -0.0, nan, inf, -inf, 1e21, 1.0 / 3.0, -1.5}) ==
          "[0.5, -0.0, NaN, inf, -inf, 1000000000000000000000.0, 0.3333333333333333, -1.5]");
}
