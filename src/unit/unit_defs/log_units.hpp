#pragma once
// The logarithmic ratio scales (bel, decibel, neper, semitone) and their lookup.

#include <array>
#include <optional>
#include <string_view>

namespace tarvel {

struct LogUnit {
    std::string_view name;
    std::string_view symbol;
    double base;  // the ratio one unit of the scale stands for
};

inline constexpr std::size_t LOG_UNIT_COUNT = 4;
extern const std::array<LogUnit, LOG_UNIT_COUNT> LOG_UNITS;

// The scale whose name or symbol equals the text exactly; nothing otherwise.
std::optional<LogUnit> search_for_log_unit_name(std::string_view text);

}  // namespace tarvel
