#include "quantity/log_quantity.hpp"

#include <cmath>
#include <string>

#include "unit/number_format.hpp"

namespace tarvel {

namespace {

// The LOG_UNITS row for a scale: the row itself when `scale` is one, else the row of the same name, so a
// copied LogUnit never leaves a quantity pointing at storage that may go away.
const LogUnit* row_of(const LogUnit& scale) noexcept {
    for (const LogUnit& row : LOG_UNITS) {
        if (&row == &scale) return &row;
    }
    for (const LogUnit& row : LOG_UNITS) {
        if (row.name == scale.name) return &row;
    }
    return nullptr;
}

LogResult same_scale(const LogQuantity& x, double power) {
    return LogResult{LogQuantity{x.scale, power}, 0.0};
}

LogResult number(double value) { return LogResult{std::nullopt, value}; }

// How many of x's scale units stand for the operand's ratio.
double operand_in_scale(const LogQuantity& x, const LogOperand& y) {
    return std::log(y.linear) / std::log(x.base());
}

}  // namespace

double LogQuantity::ratio() const { return std::pow(base(), power); }

Result<LogQuantity> log_quantity_from_unit_text(std::string_view text) {
    const std::optional<LogUnit> found = search_for_log_unit_name(text);
    const LogUnit* row = found ? row_of(*found) : nullptr;
    if (row == nullptr) return fail(TarvelError::log_unit_not_found(std::string(text)));
    return LogQuantity{row, 1.0};
}

double in_scale(const LogQuantity& q, const LogUnit& scale) {
    return std::log(q.ratio()) / std::log(scale.base);
}

LogQuantity log_as_unit(const LogQuantity& q, const LogUnit& scale) {
    const LogUnit* row = row_of(scale);
    if (row == nullptr) {
        throw InternalError("logarithmic scale " + std::string(scale.name) + " is not in the table");
    }
    return LogQuantity{row, in_scale(q, *row)};
}

LogResult log_add(const LogQuantity& x, const LogOperand& y) {
    if (y.log) return same_scale(x, x.power + operand_in_scale(x, y));
    return number(x.ratio() + y.linear);
}

LogResult log_subtract(const LogQuantity& x, const LogOperand& y) {
    if (y.log) return same_scale(x, x.power - operand_in_scale(x, y));
    return number(x.ratio() - y.linear);
}

LogResult log_subtract_from(const LogQuantity& x, const LogOperand& y) {
    if (y.log) return same_scale(x, operand_in_scale(x, y) - x.power);
    return number(y.linear - x.ratio());
}

LogResult log_multiply(const LogQuantity& x, const LogOperand& y) {
    if (y.log) return number(y.linear * x.ratio());
    return same_scale(x, y.linear * x.power);
}

LogResult log_divide(const LogQuantity& x, const LogOperand& y) {
    if (y.log) return number(x.ratio() / y.linear);
    return same_scale(x, x.power / y.linear);
}

LogResult log_divide_into(const LogQuantity& x, const LogOperand& y) {
    return number(y.linear / x.ratio());
}

LogResult log_power(const LogQuantity& x, const LogOperand& y) {
    return number(std::pow(x.ratio(), y.linear));
}

LogResult log_power_of(const LogQuantity& x, const LogOperand& y) {
    return number(std::pow(y.linear, x.ratio()));
}

LogQuantity log_negate(const LogQuantity& x) { return LogQuantity{x.scale, -x.power}; }

double log_round(const LogQuantity& x, std::optional<std::int32_t> ndigits) {
    return round_to_digits(x.ratio(), ndigits);
}

double log_round_sfig(const LogQuantity& x, std::int32_t n_sig_figs) {
    return round_to_significant_figures(x.ratio(), n_sig_figs);
}

bool log_compare(const LogQuantity& x, double linear, CompareOp op) {
    return compare_values(x.ratio(), linear, op);
}

std::string log_display(const LogQuantity& x) {
    std::string out;
    append_number(out, x.power);
    out += " [";
    out += x.scale->symbol;
    out += ']';
    return out;
}

}  // namespace tarvel
