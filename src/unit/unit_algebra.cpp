#include "unit/unit_algebra.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <utility>
#include <vector>

#include "error/tarvel_error.hpp"
#include "unit/number_format.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {

namespace {

// One entry of the right operand of a product or quotient. Only the units the right operand holds are
// tested for a zero exponent, so zero-exponent entries that only the left operand holds survive.
// Returns false when the merged exponent does not represent the two it sums: one of them vanished in
// rounding (1 + 1e-300 == 1, 2**53 + 1 == 2**53) or the sum overflowed.
// `whole` is cleared when the resulting exponent is not a small whole number.
// `cancelled`, when given, collects the positions whose exponent became 0.0 instead of erasing them at
// once: the caller erases them together.
template <class Unit>
bool merge_entry(UnitMap& map, Unit&& unit, double exponent, bool divide, bool& whole,
                 std::vector<std::uint32_t>* cancelled) {
    const std::size_t index = map.find(unit);
    if (index == UnitMap::npos) {
        const double inserted = divide ? -exponent : exponent;
        // A unit that would be inserted with exponent 0 is removed again at once.
        if (inserted != 0.0) map.push_back(std::forward<Unit>(unit), inserted);
        return true;
    }
    double& merged = map[index].exponent;
    const double before = merged;
    const double added = divide ? -exponent : exponent;
    merged = before + added;
    const bool kept = (std::isfinite(merged) || !std::isfinite(before) || !std::isfinite(added)) &&
                      (merged != before || added == 0.0) && (merged != added || before == 0.0);
    whole = whole && is_small_whole_exponent(merged);
    if (merged == 0.0) {
        if (cancelled) {
            cancelled->push_back(static_cast<std::uint32_t>(index));
        } else {
            map.erase_at(index);
        }
    }
    return kept;
}

void merge_aggregates(UnitCollection& result, const Dimensions& dimensions, double factor, bool divide) {
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        const double component =
            divide ? result.dimensions[i] - dimensions[i] : result.dimensions[i] + dimensions[i];
        // Adding 0.0 turns a negative zero into a positive one and leaves every other value alone.
        result.dimensions[i] = component + 0.0;
    }
    result.factor = divide ? result.factor / factor : result.factor * factor;
}

// Sums terms exactly (as a list of non-overlapping partial sums) and rounds the total once.
class ExactSum {
public:
    void add(double x) noexcept {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < count_; ++i) {
            double y = partials_[i];
            if (std::fabs(x) < std::fabs(y)) std::swap(x, y);
            const double high = x + y;
            const double low = y - (high - x);
            if (low != 0.0) partials_[kept++] = low;
            x = high;
        }
        // Non-overlapping partials of finite doubles number at most about 40; an infinite or NaN term
        // ends the exact part anyway.
        if (kept < CAPACITY) {
            partials_[kept++] = x;
        } else {
            partials_[kept - 1] += x;
        }
        count_ = kept;
    }
    double rounded() const noexcept {
        if (count_ == 0) return 0.0;
        std::size_t n = count_;
        double high = partials_[--n];
        double low = 0.0;
        while (n > 0) {
            const double x = high;
            const double y = partials_[--n];
            high = x + y;
            low = y - (high - x);
            if (low != 0.0) break;
        }
        // Half-way cases: the partials below decide the direction.
        if (n > 0 && ((low < 0.0 && partials_[n - 1] < 0.0) || (low > 0.0 && partials_[n - 1] > 0.0))) {
            const double y = low * 2.0;
            const double x = high + y;
            if (y == x - high) high = x;
        }
        return high;
    }

private:
    static constexpr std::size_t CAPACITY = 48;
    double partials_[CAPACITY];
    std::size_t count_ = 0;
};

double carried_sum(const UnitMap& map, std::size_t k, int shift) noexcept {
    ExactSum sum;
    for (const UnitEntry& entry : map) {
        const double dimension = entry.unit.dimensions()[k];
        // As in pow, a dimension a unit does not have stays 0 whatever the exponent.
        if (dimension == 0.0) continue;
        const double exponent = std::ldexp(entry.exponent, shift);
        const double product = exponent * dimension;
        sum.add(product);
        if (std::isfinite(product)) sum.add(std::fma(exponent, dimension, -product));
    }
    return sum.rounded() + 0.0;
}

}  // namespace

double carried_dimension(const UnitMap& map, std::size_t k) noexcept {
    const double carried = carried_sum(map, k, 0);
    if (std::isfinite(carried)) return carried;
    // A term near the largest double can overflow where the sum does not (2 x 1e308 - 1e308): the sum is
    // taken again with every exponent scaled down by a power of two.
    constexpr int SHIFT = 64;
    return std::ldexp(carried_sum(map, k, -SHIFT), SHIFT);
}

bool is_small_whole_exponent(double x) noexcept {
    // Terms up to 2**24 x 256: sums of up to 2**20 of them are exact.
    return std::fabs(x) <= 16777216.0 && static_cast<double>(static_cast<std::int32_t>(x)) == x;
}

bool has_small_whole_dimensions(const SingleUnit& unit) noexcept {
    for (double dimension : unit.dimensions()) {
        const bool small = std::fabs(dimension) <= 256.0;
        if (!small || static_cast<double>(static_cast<std::int32_t>(dimension)) != dimension) return false;
    }
    return true;
}

bool dimension_agrees(double cached, double carried) noexcept {
    return cached == carried || std::fabs(cached - carried) <= DIMENSION_ROUNDING * std::fabs(carried);
}

std::size_t first_inconsistent_dimension(const UnitMap& map, const Dimensions& cached) noexcept {
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        if (!dimension_agrees(cached[k], carried_dimension(map, k))) return k;
    }
    return DIMENSION_COUNT;
}

namespace {

// The cached vector of a product, quotient or power is summed from the operands' vectors, along another
// path than the map's own sum, so rounding can set them apart. Apart by no more than a rounding of what
// the map carries, the cache is kept (it stays consistent with the operands' own vectors, which
// comparisons rely on). Further apart, the cache's sums lost what the map kept (2**53 + 1 == 2**53, the
// 2**53 cancelled later): the map is what the quantity shows, so its sum replaces the cache. False when
// a component is not finite.
bool reconcile_dimensions(UnitCollection& units) noexcept {
    if (units.whole_terms) return true;
    bool finite = true;
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        double& cached = units.dimensions[k];
        const double carried = carried_dimension(units.unit_map, k);
        if (!std::isfinite(carried)) {
            finite = false;
            continue;
        }
        if (!dimension_agrees(cached, carried)) cached = carried;
    }
    return finite;
}

// `exact` is cleared when an exponent could not be represented (see merge_entry).
UnitCollection combine(const UnitCollection& a, const UnitCollection& b, bool divide, bool& exact) {
    UnitCollection result{a.unit_map, a.dimensions, a.factor};
    exact = true;
    // Sums of small whole numbers are exact: the vector of two such operands needs no check.
    bool whole = a.whole_terms && b.whole_terms;
    // Large maps erase what cancelled in one pass at the end (positions stay valid meanwhile: b's units
    // are distinct, and new ones are appended), which keeps a quotient that cancels thousands of
    // entries linear; small ones erase at once, without the list.
    constexpr std::size_t ERASE_TOGETHER_FROM = 32;
    std::vector<std::uint32_t> cancelled;
    std::vector<std::uint32_t>* collect =
        result.unit_map.size() >= ERASE_TOGETHER_FROM && b.unit_map.size() >= ERASE_TOGETHER_FROM ? &cancelled
                                                                                                  : nullptr;
    for (const UnitEntry& entry : b.unit_map) {
        exact = merge_entry(result.unit_map, entry.unit, entry.exponent, divide, whole, collect) && exact;
    }
    if (!cancelled.empty()) {
        std::sort(cancelled.begin(), cancelled.end());
        result.unit_map.erase_sorted(cancelled.data(), cancelled.size());
    }
    result.whole_terms = whole;
    merge_aggregates(result, b.dimensions, b.factor, divide);
    // 0 x inf: one factor underflowed and the other overflowed; the map's own product decides.
    if (std::isnan(result.factor) && !std::isnan(a.factor) && !std::isnan(b.factor)) {
        result.factor = UnitCollection::from_single_unit_hashmap(result.unit_map).factor;
    }
    exact = reconcile_dimensions(result) && exact;
    return result;
}

Result<UnitCollection> checked_combine(const UnitCollection& a, const UnitCollection& b, bool divide) {
    bool exact = true;
    UnitCollection result = combine(a, b, divide, exact);
    if (exact) return result;
    if (divide) return fail(TarvelError::quotient_out_of_range(as_string(a), as_string(b)));
    return fail(TarvelError::product_out_of_range(as_string(a), as_string(b)));
}

// A zero stays zero for every power: 0 * inf would otherwise turn an absent dimension into NaN.
double scale_unless_zero(double value, double power) { return value != 0.0 ? value * power : value; }

}  // namespace

UnitCollection mul(const UnitCollection& a, const UnitCollection& b) {
    bool exact = true;
    return combine(a, b, false, exact);
}

UnitCollection div(const UnitCollection& a, const UnitCollection& b) {
    bool exact = true;
    return combine(a, b, true, exact);
}

Result<UnitCollection> checked_mul(const UnitCollection& a, const UnitCollection& b) {
    return checked_combine(a, b, false);
}

Result<UnitCollection> checked_div(const UnitCollection& a, const UnitCollection& b) {
    return checked_combine(a, b, true);
}

namespace {

// pow's result, with `exact` cleared when an exponent overflows or a non-zero one underflows to 0.
UnitCollection raised(const UnitCollection& a, double power, bool& exact) {
    // 1 to any power is exactly 1 (NaN powers included); base units skip the call.
    UnitCollection result{a.unit_map, {}, a.factor == 1.0 ? 1.0 : std::pow(a.factor, power)};
    exact = true;
    bool whole = a.whole_terms && is_small_whole_exponent(power);
    for (UnitEntry& entry : result.unit_map) {
        const double before = entry.exponent;
        entry.exponent = scale_unless_zero(before, power);
        whole = whole && is_small_whole_exponent(entry.exponent);
        exact = exact && std::isfinite(entry.exponent) &&
                (entry.exponent != 0.0 || before == 0.0 || power == 0.0);
    }
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        result.dimensions[i] = scale_unless_zero(a.dimensions[i], power);
    }
    result.whole_terms = whole;
    // A factor that had underflowed or overflowed says nothing about its power (0 ** 1e-300 is 0, but
    // 0.3048 ** (2**53 * 1e-300) is 1), and a large power magnifies the factor's rounding (0.3048 ** 1e-300
    // is 1): the map's own product decides.
    constexpr double LARGE_POWER = 1048576.0;
    if ((a.factor == 0.0 || std::isinf(a.factor) || std::fabs(power) > LARGE_POWER) && power != 0.0 &&
        std::isfinite(power)) {
        result.factor = UnitCollection::from_single_unit_hashmap(result.unit_map).factor;
    }
    exact = reconcile_dimensions(result) && exact;
    return result;
}

}  // namespace

UnitCollection pow(const UnitCollection& a, double power) {
    bool exact = true;
    return raised(a, power, exact);
}

Result<UnitCollection> checked_pow(const UnitCollection& a, double power) {
    bool exact = true;
    UnitCollection result = raised(a, power, exact);
    if (!exact) return fail(TarvelError::invalid_power(as_string(a), format_number(power)));
    return result;
}

void multiply_by_unit_power_internal(UnitCollection& accumulator, SingleUnit unit, double exponent,
                                     bool divide) {
    Dimensions powered;
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        powered[i] = scale_unless_zero(unit.dimensions()[i], exponent);
    }
    // x to the power 1 is x, and 1 to any power is 1, exactly; skipping the call saves most of the cost
    // of a plain term.
    const double factor =
        exponent == 1.0 || unit.factor() == 1.0 ? unit.factor() : std::pow(unit.factor(), exponent);
    bool whole =
        accumulator.whole_terms && is_small_whole_exponent(exponent) && has_small_whole_dimensions(unit);
    // The power of the single-unit collection: its one exponent 1.0 becomes `exponent` exactly.
    merge_entry(accumulator.unit_map, std::move(unit), exponent, divide, whole, nullptr);
    accumulator.whole_terms = whole;
    merge_aggregates(accumulator, powered, factor, divide);
}

UnitCollection get_base_units(const UnitCollection& a) {
    UnitCollection result;
    result.unit_map.reserve(BASE_UNIT_COUNT);
    for (std::size_t i = 0; i < BASE_UNIT_COUNT; ++i) {
        result.unit_map.push_back(create_from_unit_def_static(BASE_UNITS[i]), a.dimensions[i]);
    }
    result.dimensions = a.dimensions;
    result.factor = 1.0;
    result.whole_terms = a.whole_terms;
    for (double component : a.dimensions) {
        result.whole_terms = result.whole_terms && is_small_whole_exponent(component);
    }
    return result;
}

}  // namespace tarvel
