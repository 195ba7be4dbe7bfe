#include "unit/number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <system_error>

namespace tarvel {

namespace {

// The shortest round-trip digits of a finite, non-zero magnitude and the decimal exponent of the first
// digit: value = 0.d1d2d3... x 10^(point), i.e. the decimal point sits after `point` digits.
struct Digits {
    char digits[20];
    int count = 0;
    int point = 0;
};

Digits shortest_digits(double magnitude) {
    // Scientific form of the shortest round trip: "d[.ddd]e[+-]xx". At most 17 digits plus punctuation.
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    Digits out;
    const char* p = buffer;
    for (; p != result.ptr && *p != 'e'; ++p) {
        if (*p != '.') out.digits[out.count++] = *p;
    }
    int exponent = 0;
    if (p != result.ptr) std::from_chars(p + 1 + (p[1] == '+'), result.ptr, exponent);
    out.point = exponent + 1;
    return out;
}

}  // namespace

void append_number(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::signbit(value)) out += '-';
    const double magnitude = std::fabs(value);
    if (std::isinf(magnitude)) {
        out += "inf";
        return;
    }
    if (magnitude == 0.0) {
        out += '0';
        return;
    }
    // A whole magnitude below 2^53 is an exact integer whose neighbours are at most 1 away, so its
    // shortest round-trip digits are its own decimal digits; printing the integer gives the same text.
    if (magnitude < 0x1p53 && magnitude == std::trunc(magnitude)) {
        char buffer[20];
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint64_t>(magnitude));
        out.append(buffer, result.ptr);
        return;
    }
    const Digits d = shortest_digits(magnitude);
    if (d.point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-d.point), '0');
        out.append(d.digits, static_cast<std::size_t>(d.count));
    } else if (d.point >= d.count) {
        out.append(d.digits, static_cast<std::size_t>(d.count));
        out.append(static_cast<std::size_t>(d.point - d.count), '0');
    } else {
        out.append(d.digits, static_cast<std::size_t>(d.point));
        out += '.';
        out.append(d.digits + d.point, static_cast<std::size_t>(d.count - d.point));
    }
}

std::string format_number(double value) {
    std::string out;
    append_number(out, value);
    return out;
}

std::string format_dimensions(const Dimensions& dimensions) {
    std::string out = "[";
    for (std::size_t i = 0; i < dimensions.size(); ++i) {
        if (i != 0) out += ", ";
        const double component = dimensions[i];
        append_number(out, component);
        if (std::isfinite(component) && component == std::trunc(component)) out += ".0";
    }
    out += ']';
    return out;
}

}  // namespace tarvel
