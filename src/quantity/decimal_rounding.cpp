#include "quantity/decimal_rounding.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarvel {

namespace {

// The exact decimal expansion of a double ends within 1074 places after the point and 767 significant
// figures; beyond that a rounding changes nothing.
constexpr std::int32_t LAST_PLACE = 1075;
constexpr std::int32_t LAST_FIGURE = 768;

// printf rounds the exact binary value (ties to even, as Python's round does); strtod reads the result
// back correctly rounded.
double print_and_read(const char* format, int precision, double x) {
    const int length = std::snprintf(nullptr, 0, format, precision, x);
    if (length <= 0) return x;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, precision, x);
    return std::copysign(std::strtod(text.c_str(), nullptr), x);
}

}  // namespace

double round_decimal_places(double x, std::int32_t ndigits) {
    if (!std::isfinite(x) || x == 0.0 || ndigits >= LAST_PLACE || ndigits < 0) return x;
    return print_and_read("%.*f", ndigits, x);
}

double round_significant_figures(double x, std::int32_t figures) {
    if (!std::isfinite(x) || x == 0.0 || figures >= LAST_FIGURE || figures < 1) return x;
    return print_and_read("%.*e", figures - 1, x);
}

}  // namespace tarvel
