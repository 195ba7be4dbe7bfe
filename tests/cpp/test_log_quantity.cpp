#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>

#include "quantity/log_quantity.hpp"

using namespace tarvel;

namespace {

LogQuantity one(const char* text) {
    Result<LogQuantity> unit = log_quantity_from_unit_text(text);
    REQUIRE_MESSAGE(unit.has_value(), text);
    return *unit;
}

LogQuantity scaled(const char* text, double power) {
    LogQuantity x = one(text);
    x.power = power;
    return x;
}

LogOperand plain(double v) { return LogOperand{v, std::nullopt}; }
LogOperand logarithmic(const LogQuantity& l) { return LogOperand{l.ratio(), l}; }

double as_number(const LogResult& r) {
    REQUIRE_FALSE(r.log.has_value());
    return r.number;
}

LogQuantity as_log(const LogResult& r) {
    REQUIRE(r.log.has_value());
    return *r.log;
}

}  // namespace

TEST_CASE("scales by name and symbol") {
    for (const char* text : {"bel", "dB", "Np", "semitone"}) {
        CAPTURE(text);
        const LogQuantity x = one(text);
        CHECK(x.power == 1.0);
        CHECK(x.scale >= LOG_UNITS.data());
        CHECK(x.scale < LOG_UNITS.data() + LOG_UNITS.size());
    }
    for (const char* text : {"db", "nepers", ""}) {
        CAPTURE(text);
        Result<LogQuantity> x = log_quantity_from_unit_text(text);
        REQUIRE_FALSE(x.has_value());
        CHECK(x.error().message() == "Logarithmic ratio unit " + std::string(text) + " not found");
    }
    CHECK(one("B").ratio() == 10.0);
    CHECK(one("Np").ratio() == std::exp(1.0));
}

TEST_CASE("conversion between scales") {
    const LogQuantity bel = one("B");
    const LogQuantity decibel = one("dB");
    CHECK(in_scale(bel, *decibel.scale) == 9.999999999999998);
    CHECK(log_display(log_as_unit(bel, *decibel.scale)) == "9.999999999999998 [dB]");

    // A copied scale still leads to the table row.
    const LogUnit copy = *decibel.scale;
    CHECK(log_as_unit(bel, copy).scale == decibel.scale);
}

TEST_CASE("arithmetic stays on the instance's scale only for sums of logs and scaling by numbers") {
    const LogQuantity bel = one("B");
    const LogQuantity decibel = one("dB");

    CHECK(log_display(as_log(log_multiply(decibel, plain(3)))) == "3 [dB]");
    CHECK(log_display(as_log(log_divide(decibel, plain(2)))) == "0.5 [dB]");
    CHECK(as_number(log_divide_into(bel, plain(2))) == 0.2);
    CHECK(as_number(log_add(bel, plain(1))) == 11.0);
    CHECK(as_number(log_subtract(bel, plain(1))) == 9.0);
    CHECK(as_number(log_subtract_from(bel, plain(1))) == -9.0);

    const LogQuantity sum = as_log(log_add(bel, logarithmic(decibel)));
    CHECK(sum.scale == bel.scale);
    CHECK(log_display(sum) == "1.1 [B]");
    const LogQuantity difference = as_log(log_subtract(decibel, logarithmic(bel)));
    CHECK(difference.scale == decibel.scale);
    CHECK(difference.power == -8.999999999999998);
    CHECK(as_log(log_subtract_from(decibel, logarithmic(bel))).power == 8.999999999999998);

    CHECK(as_number(log_multiply(bel, logarithmic(bel))) == 100.0);
    CHECK(as_number(log_divide(bel, logarithmic(decibel))) == 7.943282347242815);
    CHECK(as_number(log_divide_into(decibel, logarithmic(bel))) == 7.943282347242815);
    CHECK(as_number(log_power(bel, plain(2))) == 100.0);
    CHECK(as_number(log_power_of(bel, plain(2))) == 1024.0);

    const LogQuantity by_zero = as_log(log_divide(bel, plain(0)));
    CHECK(by_zero.power == std::numeric_limits<double>::infinity());
    CHECK(by_zero.ratio() == std::numeric_limits<double>::infinity());
}

TEST_CASE("negation flips the sign of the power") {
    const LogQuantity minus_semitone = log_negate(one("stn"));
    CHECK(log_display(minus_semitone) == "-1 [stn]");
    CHECK(std::fabs(minus_semitone.ratio()) == 0.9438743126816934);
    CHECK(std::signbit(log_negate(scaled("B", 0.0)).power));
}

TEST_CASE("comparison of the ratio with a plain number") {
    const LogQuantity bel = one("B");
    const LogQuantity ten_decibels = as_log(log_multiply(one("dB"), plain(10)));
    CHECK(log_compare(bel, 10, CompareOp::Equal));
    CHECK_FALSE(log_compare(bel, ten_decibels.ratio(), CompareOp::Equal));
    CHECK(log_compare(bel, one("dB").ratio(), CompareOp::Greater));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CHECK_FALSE(log_compare(bel, nan, CompareOp::Equal));
    CHECK(log_compare(bel, nan, CompareOp::NotEqual));
    CHECK_FALSE(log_compare(bel, nan, CompareOp::GreaterEqual));
}

TEST_CASE("rounding works on the ratio") {
    const LogQuantity three_decibels = scaled("dB", 3);
    CHECK(log_round(one("B"), std::nullopt) == 10.0);
    CHECK(log_round(three_decibels, 1) == 2.0);
    CHECK(log_round(three_decibels, 2) == 2.0);
    CHECK(log_round(one("B"), -1) == 10.0);

    // Significant figures of the ratio, not of the power.
    CHECK(log_round_sfig(scaled("dB", 0.01), 2) == 1.0);
    CHECK(log_round_sfig(scaled("dB", 0.0), 2) == 1.0);
    CHECK(log_round_sfig(scaled("B", 2.5), 2) == 320.0);
    CHECK(log_round_sfig(scaled("B", -std::numeric_limits<double>::infinity()), 2) == 0.0);
    CHECK(log_round_sfig(scaled("B", 400), 2) == std::numeric_limits<double>::infinity());
    CHECK(std::isnan(log_round_sfig(scaled("B", std::nan("")), 2)));
}

TEST_CASE("text form") {
    CHECK(log_display(one("dB")) == "1 [dB]");
    CHECK(log_display(scaled("stn", 2.5)) == "2.5 [stn]");
}
