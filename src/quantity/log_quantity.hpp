#pragma once
// A number on a logarithmic ratio scale (bel, decibel, neper, semitone). Its plain value, the ratio, is
// the scale's base raised to `power`.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "quantity/quantity.hpp"
#include "unit/unit_defs/log_units.hpp"

namespace tarvel {

struct LogQuantity {
    const LogUnit* scale;  // a row of LOG_UNITS
    double power;

    double base() const noexcept { return scale->base; }
    double ratio() const;  // C pow(base, power)
};

// One unit of the scale named by the text; LogUnitNotFound with the text otherwise.
Result<LogQuantity> log_quantity_from_unit_text(std::string_view text);

// ln(ratio) / ln(base of `scale`): how many units of that scale stand for q's ratio.
double in_scale(const LogQuantity& q, const LogUnit& scale);
LogQuantity log_as_unit(const LogQuantity& q, const LogUnit& scale);

// A number taken by a LogTarvel operation: a plain number, or another logarithmic quantity.
struct LogOperand {
    double linear;                      // the number, or the other quantity's ratio
    std::optional<LogQuantity> log;  // set when the operand is a logarithmic quantity
};

// The result of a binary operation: a new LogQuantity on the instance's scale, or a plain number.
struct LogResult {
    std::optional<LogQuantity> log;
    double number = 0.0;
};

LogResult log_add(const LogQuantity& x, const LogOperand& y);           // x + y and y + x
LogResult log_subtract(const LogQuantity& x, const LogOperand& y);      // x - y
LogResult log_subtract_from(const LogQuantity& x, const LogOperand& y); // y - x
LogResult log_multiply(const LogQuantity& x, const LogOperand& y);      // x * y and y * x
LogResult log_divide(const LogQuantity& x, const LogOperand& y);        // x / y
LogResult log_divide_into(const LogQuantity& x, const LogOperand& y);   // y / x
LogResult log_power(const LogQuantity& x, const LogOperand& y);         // x ** y
LogResult log_power_of(const LogQuantity& x, const LogOperand& y);      // y ** x
LogQuantity log_negate(const LogQuantity& x);

double log_round(const LogQuantity& x, std::optional<std::int32_t> ndigits);
double log_round_sfig(const LogQuantity& x, std::int32_t n_sig_figs);
bool log_compare(const LogQuantity& x, double linear, CompareOp op);

// "1 [dB]", "2.5 [stn]".
std::string log_display(const LogQuantity& x);

}  // namespace tarvel
