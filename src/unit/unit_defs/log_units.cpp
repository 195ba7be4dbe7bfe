#include "unit/unit_defs/log_units.hpp"

namespace tarvel {

// Bases are stored, not computed, so every platform sees the same bits.
constexpr std::array<LogUnit, LOG_UNIT_COUNT> LOG_UNITS{{
    {"bel", "B", 10.0},
    {"decibel", "dB", 1.2589254117941673},  // 10^(1/10)
    {"neper", "Np", 2.718281828459045},     // e
    {"semitone", "stn", 1.0594630943592953},  // 2^(1/12)
}};

std::optional<LogUnit> search_for_log_unit_name(std::string_view text) {
    for (const LogUnit& unit : LOG_UNITS) {
        if (unit.name == text || unit.symbol == text) return unit;
    }
    return std::nullopt;
}

}  // namespace tarvel
