#include "quantity/quantity_state.hpp"

#include <cfloat>
#include <cmath>
#include <utility>

#include "unit/unit_algebra.hpp"
#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {

SingleUnit restored_unit(std::string name, std::string symbol, double offset, double factor,
                         const Dimensions& dimensions) {
    SingleUnit own = SingleUnit::make(std::move(name), std::move(symbol), offset, factor, dimensions);
    for (const std::string& text : {own.name(), own.symbol()}) {
        if (text.empty()) continue;
        std::optional<SingleUnit> found = search_for_unit_name(text);
        if (found && unit_fields_equal(*found->record(), *own.record())) return std::move(*found);
    }
    return own;
}

bool add_state_unit(UnitMap& map, const SingleUnit& unit, double exponent) {
    if (map.find(unit) != UnitMap::npos) return false;
    map.push_back(unit, exponent);
    return true;
}

bool state_factor_consistent(const UnitMap& map, double cached) noexcept {
    bool positive_finite = true;
    for (const UnitEntry& entry : map) {
        const double f = entry.unit.factor();
        positive_finite = positive_finite && std::isfinite(f) && f > 0.0;
    }
    if (!positive_finite) {
        double rebuilt = 1.0;
        for (const UnitEntry& entry : map) rebuilt *= std::pow(entry.unit.factor(), entry.exponent);
        if (cached == rebuilt || (std::isnan(cached) && std::isnan(rebuilt))) return true;
        return std::isfinite(cached) && std::isfinite(rebuilt) &&
               std::fabs(cached - rebuilt) <= 1e-9 * std::fmax(std::fabs(cached), std::fabs(rebuilt));
    }
    // Compared through logarithms, which neither overflow nor underflow.
    double log_rebuilt = 0.0;
    double scale = 0.0;
    for (const UnitEntry& entry : map) {
        const double term = entry.exponent * std::log(entry.unit.factor());
        log_rebuilt += term;
        scale += std::fabs(term);
    }
    if (!std::isfinite(log_rebuilt)) {
        // Terms beyond the largest double (1e308 x log 3600): summed again scaled down, which keeps the
        // sign and size of a factor that overflowed or underflowed.
        constexpr int SHIFT = 64;
        double scaled = 0.0;
        for (const UnitEntry& entry : map) {
            scaled += std::ldexp(entry.exponent, -SHIFT) * std::log(entry.unit.factor());
        }
        log_rebuilt = std::ldexp(scaled, SHIFT);
    }
    const double tolerance = 1e-9 * (1.0 + scale);
    if (std::isnan(log_rebuilt) || !(cached >= 0.0)) return false;
    if (std::isinf(cached)) return log_rebuilt >= std::log(DBL_MAX) - tolerance;
    if (cached < DBL_MIN) return log_rebuilt <= std::log(DBL_MIN) + tolerance;  // underflowed (0 or subnormal)
    return std::fabs(std::log(cached) - log_rebuilt) <= tolerance;
}

std::expected<UnitCollection, StateFault> restored_collection(UnitMap map, const Dimensions& dimensions,
                                                              double factor) {
    // The same rule for the dimensions as for every collection the algebra makes.
    const std::size_t mismatch = first_inconsistent_dimension(map, dimensions);
    if (mismatch != DIMENSION_COUNT) return std::unexpected(StateFault{StateFault::Kind::Dimension, mismatch});
    if (!state_factor_consistent(map, factor)) return std::unexpected(StateFault{StateFault::Kind::Factor});
    return UnitCollection{std::move(map), dimensions, factor};
}

std::optional<LogQuantity> restored_log_quantity(const std::string& name, double power) {
    Result<LogQuantity> log = log_quantity_from_unit_text(name);
    if (!log || log->scale->name != name) return std::nullopt;
    log->power = power;
    return *log;
}

}  // namespace tarvel
