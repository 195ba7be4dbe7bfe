#include "quantity/quantity_text.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "quantity/operation_plan.hpp"
#include "unit/number_format.hpp"
#include "unit/simplify.hpp"
#include "unit/white_space.hpp"

namespace tarvel {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Digits with single underscores between them, as Python writes them ("1_000"); returns the length.
std::size_t scan_digits(std::string_view text, std::size_t at) noexcept {
    const std::size_t start = at;
    if (at >= text.size() || !is_digit(text[at])) return 0;
    ++at;
    while (at < text.size()) {
        if (is_digit(text[at])) {
            ++at;
        } else if (text[at] == '_' && at + 1 < text.size() && is_digit(text[at + 1])) {
            at += 2;
        } else {
            break;
        }
    }
    return at - start;
}

bool equals_folded(std::string_view text, std::string_view lower) noexcept {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// A numeral that scan_numeral accepted, as a double. from_chars rounds correctly, as float() does; out of
// range it leaves the value alone, so the sign of the decimal exponent decides between inf and 0.
double numeral_value(std::string_view numeral) {
    bool negative = false;
    if (!numeral.empty() && (numeral.front() == '+' || numeral.front() == '-')) {
        negative = numeral.front() == '-';
        numeral.remove_prefix(1);
    }
    std::string digits;
    digits.reserve(numeral.size());
    for (char c : numeral) {
        if (c != '_') digits += c;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Where the first significant digit sits, in powers of ten.
        std::int64_t magnitude = 0;
        std::size_t i = 0;
        bool seen = false;
        for (; i < digits.size() && digits[i] != 'e' && digits[i] != 'E'; ++i) {
            if (digits[i] == '.') continue;
            if (!seen && digits[i] != '0') seen = true;
            if (seen && digits.find('.') > i) ++magnitude;
            if (!seen && digits.find('.') < i) --magnitude;
        }
        std::int64_t exponent = 0;
        if (i < digits.size()) {
            bool minus = false;
            ++i;
            if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) minus = digits[i++] == '-';
            for (; i < digits.size(); ++i) {
                if (exponent < 100000000) exponent = exponent * 10 + (digits[i] - '0');
            }
            if (minus) exponent = -exponent;
        }
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

bool is_bracket(char c) noexcept { return c == '[' || c == ']'; }

// The same units with the same non-zero exponents, in any order.
bool same_terms(const UnitCollection& a, const UnitCollection& b) {
    const auto contained = [](const UnitCollection& x, const UnitCollection& y) {
        for (const UnitEntry& entry : x.unit_map) {
            if (entry.exponent == 0.0) continue;
            bool found = false;
            for (const UnitEntry& other : y.unit_map)
                found = found || (other.unit == entry.unit && other.exponent == entry.exponent);
            if (!found) return false;
        }
        return true;
    };
    return contained(a, b) && contained(b, a);
}

}  // namespace

std::size_t scan_numeral(std::string_view text) {
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t whole = scan_digits(text, at);
    at += whole;
    std::size_t fraction = 0;
    if (at < text.size() && text[at] == '.') {
        fraction = scan_digits(text, at + 1);
        if (whole == 0 && fraction == 0) return 0;
        at += 1 + fraction;
    } else if (whole == 0) {
        return 0;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t after = at + 1;
        if (after < text.size() && (text[after] == '+' || text[after] == '-')) ++after;
        const std::size_t exponent = scan_digits(text, after);
        if (exponent > 0) at = after + exponent;
    }
    return at;
}

std::optional<double> read_python_float(std::string_view token) {
    if (token.empty()) return std::nullopt;
    std::string_view body = token;
    const bool negative = body.front() == '-';
    if (body.front() == '+' || body.front() == '-') body.remove_prefix(1);
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (equals_folded(body, "inf") || equals_folded(body, "infinity")) return negative ? -inf : inf;
    if (equals_folded(body, "nan")) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return negative ? -nan : nan;
    }
    if (scan_numeral(token) != token.size()) return std::nullopt;
    return numeral_value(token);
}

Result<QuantityText> split_quantity_text(std::string_view text) {
    const std::string_view trimmed = trim_white_space(text);
    if (trimmed.empty()) return fail(TarvelError::unreadable_quantity(std::string(text)));

    QuantityText out;
    std::string_view unit = trimmed;
    std::size_t gap = 0;
    while (gap < trimmed.size() && leading_space(trimmed.substr(gap)) == 0) ++gap;
    if (std::optional<double> number = read_python_float(trimmed.substr(0, gap))) {
        out.number = number;
        unit = trim_white_space(trimmed.substr(gap));
    } else if (const std::size_t length = scan_numeral(trimmed); length > 0) {
        // Written right before its unit ("36km/hr"). A numeral followed by more of a numeral ("1.2.3 m")
        // makes the text unreadable.
        const char next = length < trimmed.size() ? trimmed[length] : '\0';
        if (next == '.' || next == '_') return fail(TarvelError::unreadable_quantity(std::string(text)));
        out.number = numeral_value(trimmed.substr(0, length));
        unit = trim_white_space(trimmed.substr(length));
    }

    // The printed form: the unit part in one pair of brackets around all of it.
    bool has_bracket = false;
    for (char c : unit) has_bracket = has_bracket || is_bracket(c);
    if (has_bracket) {
        if (unit.size() < 2 || unit.front() != '[' || unit.back() != ']') {
            return fail(TarvelError::unreadable_quantity(std::string(text)));
        }
        unit = unit.substr(1, unit.size() - 2);
        for (char c : unit) {
            if (is_bracket(c)) return fail(TarvelError::unreadable_quantity(std::string(text)));
        }
        unit = trim_white_space(unit);
        out.bracketed = true;
    }
    out.unit = unit;
    return out;
}

Result<SharedUnits> shared_units_from_common_notation(std::string_view text,
                                                      std::span<const NamedUnit> vocabulary) {
    if (std::optional<SharedUnits> units = shared_units_from_text(text); units && !has_ambiguous_symbol(**units)) {
        return std::move(*units);
    }
    Result<UnitCollection> units = read_common_notation(text, vocabulary);
    if (!units) return fail(std::move(units.error()));
    return SharedUnits(std::move(*units));
}

Result<Quantity> parse_quantity(std::string_view text, std::span<const NamedUnit> vocabulary) {
    Result<QuantityText> parts = split_quantity_text(text);
    if (!parts) return fail(std::move(parts.error()));
    const double value = parts->number.value_or(1.0);
    if (parts->unit.empty()) return unitless_quantity(value);
    Result<UnitCollection> units = read_common_notation(parts->unit, vocabulary);
    if (!units) return fail(std::move(units.error()));
    // The printed form names the collection that the display shows, whose factor is multiplied up in
    // its own order; taking that collection keeps the factor, and so the number, bit for bit.
    if (std::optional<UnitCollection> shown = try_simplify(*units); shown && same_terms(*shown, *units)) {
        return Quantity{std::move(*shown), value};
    }
    return Quantity{std::move(*units), value};
}

Result<LogQuantity> parse_log_quantity(std::string_view text) {
    Result<QuantityText> parts = split_quantity_text(text);
    if (!parts) return fail(std::move(parts.error()));
    if (parts->unit.empty()) return fail(TarvelError::unreadable_quantity(std::string(text)));
    Result<LogQuantity> log = log_quantity_from_unit_text(parts->unit);
    if (log) log->power = parts->number.value_or(1.0);
    return log;
}

}  // namespace tarvel

namespace tarvel {

Result<std::string> unit_text_of(const Quantity& q) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return fail(std::move(simple.error()));
    Result<std::string> text = display(*simple);
    if (!text) return text;
    // The number is written without spaces.
    return text->substr(text->find(' ') + 1);
}

Result<std::string> unit_latex_of(const Quantity& q) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return fail(std::move(simple.error()));
    return as_latex(simple->units);
}

Result<std::string> unit_descriptive_of(const Quantity& q) {
    Result<Quantity> simple = normalise(q);
    if (!simple) return fail(std::move(simple.error()));
    return as_descriptive_string(simple->units);
}

TextForm text_form_of(char32_t last) noexcept {
    if (last == 'L') return TextForm::Latex;
    if (last == 'D') return TextForm::Descriptive;
    return TextForm::Display;
}

Result<FormattedParts> formatted_parts(const Quantity& simple, TextForm form) {
    FormattedParts parts{simple.value, std::string(1, form == TextForm::Latex ? '~' : ' ')};
    switch (form) {
        case TextForm::Display: {
            Result<Quantity> shown = simplified(simple);
            if (!shown) return fail(std::move(shown.error()));
            parts.value = shown->value;
            parts.tail += as_string(shown->units);
            break;
        }
        case TextForm::Latex: parts.tail += as_latex(simple.units); break;
        case TextForm::Descriptive: parts.tail += as_descriptive_string(simple.units); break;
    }
    return parts;
}

std::string array_latex(std::span<const double> magnitudes, long ndim, std::size_t rows, std::size_t columns,
                        const OperationPlan& normalised) {
    std::string out = "$";
    const auto number = [&](std::size_t i) { append_number(out, normalised.result.apply(magnitudes[i])); };
    if (ndim == 0) {
        number(0);
    } else if (ndim == 1) {
        out += "\\left[";
        for (std::size_t i = 0; i < magnitudes.size(); ++i) {
            if (i > 0) out += ",\\ ";
            number(i);
        }
        out += "\\right]";
    } else {
        out += "\\begin{bmatrix}";
        for (std::size_t r = 0; r < rows; ++r) {
            if (r > 0) out += " \\\\ ";
            for (std::size_t c = 0; c < columns; ++c) {
                if (c > 0) out += " & ";
                number(r * columns + c);
            }
        }
        out += "\\end{bmatrix}";
    }
    out += '~';
    out += as_latex(normalised.units);
    out += '$';
    return out;
}

std::optional<std::string> repr_unit_text(const UnitCollection& units) {
    if (units.unit_map.size() == 0 && units.factor == 1.0) return std::nullopt;
    std::string text = as_string(units);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return text;
    return text.substr(1, text.size() - 2);
}

}  // namespace tarvel
