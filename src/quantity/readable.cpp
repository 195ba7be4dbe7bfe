#include "quantity/readable.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {
namespace {

// --- to_compact ------------------------------------------------------------------------------------

// The prefixes a compact form chooses from, largest first; "" is the unprefixed unit.
struct EngineeringPrefix {
    std::string_view symbol;
    double factor;
};
constexpr std::array<EngineeringPrefix, 21> ENGINEERING_PREFIXES{{
    {"Q", 1e30}, {"R", 1e27}, {"Y", 1e24}, {"Z", 1e21}, {"E", 1e18}, {"P", 1e15}, {"T", 1e12},
    {"G", 1e9},  {"M", 1e6},  {"k", 1e3},  {"", 1.0},   {"m", 1e-3}, {"u", 1e-6}, {"n", 1e-9},
    {"p", 1e-12}, {"f", 1e-15}, {"a", 1e-18}, {"z", 1e-21}, {"y", 1e-24}, {"r", 1e-27}, {"q", 1e-30},
}};

// Units whose factor is not a power of ten but that are used with prefixes all the same.
constexpr std::array<std::string_view, 3> PREFIXABLE_SYMBOLS{"eV", "B", "bit"};

bool close_factors(double a, double b) noexcept { return std::abs(a - b) <= 1e-12 * std::abs(b); }

bool is_power_of_ten(double x) noexcept {
    if (!(x > 0.0) || !std::isfinite(x)) return false;
    const double exponent = std::round(std::log10(x));
    return close_factors(x, std::pow(10.0, exponent));
}

// A unit as root and prefix: "km" is the meter with factor 1000, "kg" the gram with factor 1000.
struct PrefixedForm {
    SingleUnit root;
    double prefix_factor;
};

bool takes_prefixes(const SingleUnit& root) {
    if (root.offset() != 0.0) return false;
    for (std::string_view symbol : PREFIXABLE_SYMBOLS) {
        if (root.symbol() == symbol) return true;
    }
    return is_power_of_ten(root.factor());
}

// The unit `prefix` + `root` as the catalogue resolves it, when that really is the prefixed root (and not
// another unit spelled the same way, as "P" + "a" is the pascal).
std::optional<SingleUnit> with_prefix(const SingleUnit& root, const EngineeringPrefix& prefix) {
    if (prefix.symbol.empty()) return root;
    std::string text(prefix.symbol);
    text += root.symbol();
    std::optional<SingleUnit> unit = search_for_unit_name(text);
    if (!unit || !dimensions_equal(unit->dimensions(), root.dimensions()) || unit->offset() != 0.0 ||
        !close_factors(unit->factor(), root.factor() * prefix.factor)) {
        return std::nullopt;
    }
    return unit;
}

// Splits a unit into root and prefix when its symbol starts with an engineering prefix that the rest
// explains; otherwise the unit is its own root.
PrefixedForm prefixed_form(const SingleUnit& unit) {
    for (const EngineeringPrefix& prefix : ENGINEERING_PREFIXES) {
        if (prefix.symbol.empty() || !unit.symbol().starts_with(prefix.symbol)) continue;
        const std::string_view rest = std::string_view(unit.symbol()).substr(prefix.symbol.size());
        if (rest.empty()) continue;
        std::optional<SingleUnit> root = search_for_unit_name(rest);
        if (root && root->offset() == 0.0 && dimensions_equal(root->dimensions(), unit.dimensions()) &&
            close_factors(root->factor() * prefix.factor, unit.factor())) {
            return {*root, prefix.factor};
        }
    }
    return {unit, 1.0};
}

// q's collection with its first unit replaced by `unit`, at the same exponent.
UnitCollection with_first_unit(const UnitCollection& units, const SingleUnit& unit) {
    UnitMap map;
    map.reserve(units.unit_map.size());
    map.push_back(unit, units.unit_map[0].exponent);
    for (std::size_t i = 1; i < units.unit_map.size(); ++i) {
        const UnitEntry& entry = units.unit_map[i];
        // A later entry in the same unit would merge with the new first one: leave such collections as
        // they are (the caller keeps the original).
        if (entry.unit == unit) return units;
        map.push_back(entry.unit, entry.exponent);
    }
    return UnitCollection::from_single_unit_hashmap(std::move(map));
}

// --- as_preferred ----------------------------------------------------------------------------------

// Bound of the search: the largest sum of |exponent| tried, and the nodes visited in all.
constexpr int MAX_TOTAL_POWER = 6;
constexpr std::size_t MAX_NODES = 2'000'000;

class ProductSearch {
public:
    ProductSearch(std::span<const UnitCollection> preferred, const Dimensions& target)
        : preferred_(preferred), target_(target), exponents_(preferred.size(), 0) {}

    // Exponents of a product with the fewest unit powers (then the fewest distinct units); nothing when
    // there is none within the bound.
    std::optional<std::vector<int>> run() {
        for (int total = 0; total <= MAX_TOTAL_POWER; ++total) {
            best_.reset();
            best_distinct_ = preferred_.size() + 1;
            Dimensions sum{};
            visit(0, total, 0, sum);
            if (best_) return best_;
            if (nodes_ > MAX_NODES) break;
        }
        return std::nullopt;
    }

private:
    void visit(std::size_t index, int remaining, std::size_t distinct, const Dimensions& sum) {
        if (++nodes_ > MAX_NODES || distinct >= best_distinct_) return;
        if (index == preferred_.size()) {
            if (remaining == 0 && dimensions_equal(sum, target_)) {
                best_ = exponents_;
                best_distinct_ = distinct;
            }
            return;
        }
        if (remaining == 0) {
            visit(preferred_.size(), 0, distinct, sum);
            return;
        }
        // Earlier units first, positive powers before negative ones, the unit left out last.
        const Dimensions& unit = preferred_[index].dimensions;
        for (int magnitude = 1; magnitude <= remaining; ++magnitude) {
            for (int sign : {1, -1}) {
                const int exponent = sign * magnitude;
                Dimensions next = sum;
                for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) next[k] += exponent * unit[k];
                exponents_[index] = exponent;
                visit(index + 1, remaining - magnitude, distinct + 1, next);
            }
        }
        exponents_[index] = 0;
        visit(index + 1, remaining, distinct, sum);
    }

    std::span<const UnitCollection> preferred_;
    Dimensions target_;
    std::vector<int> exponents_;
    std::optional<std::vector<int>> best_;
    std::size_t best_distinct_ = 0;
    std::size_t nodes_ = 0;
};

}  // namespace

Result<Quantity> to_compact(const Quantity& q) {
    const UnitCollection& units = q.units.get();
    if (units.unit_map.empty() || !std::isfinite(q.value) || q.value == 0.0) return q;
    const UnitEntry& first = units.unit_map[0];
    const double exponent = first.exponent;
    if (exponent == 0.0 || !std::isfinite(exponent)) return q;
    const PrefixedForm form = prefixed_form(first.unit);
    if (!takes_prefixes(form.root)) return q;

    // The magnitude in the root unit sets the prefix: |v| * (current/p)^e in [1, 1000^|e|) for the
    // prefix factor p. Prefixes are tried from the one that makes the magnitude smallest.
    const double in_root = std::abs(q.value) * std::pow(form.prefix_factor, exponent);
    std::optional<SingleUnit> chosen;
    const std::size_t count = ENGINEERING_PREFIXES.size();
    for (std::size_t step = 0; step < count; ++step) {
        const EngineeringPrefix& prefix = ENGINEERING_PREFIXES[exponent > 0 ? step : count - 1 - step];
        std::optional<SingleUnit> unit = with_prefix(form.root, prefix);
        if (!unit) continue;
        chosen = unit;
        if (in_root / std::pow(prefix.factor, exponent) >= 1.0) break;
    }
    if (!chosen || *chosen == first.unit) return q;
    UnitCollection target = with_first_unit(units, *chosen);
    if (target.unit_map.size() != units.unit_map.size()) return q;
    return as_unit_internal(q, SharedUnits(std::move(target)));
}

Result<Quantity> as_preferred(const Quantity& q, std::span<const UnitCollection> preferred) {
    std::optional<std::vector<int>> exponents = ProductSearch(preferred, q.units->dimensions).run();
    if (!exponents) {
        std::string texts;
        for (const UnitCollection& units : preferred) {
            if (!texts.empty()) texts += ", ";
            append_as_string(texts, units);
        }
        if (texts.empty()) texts = "no units";
        return fail(TarvelError::no_preferred_product(as_string(q.units), std::move(texts)));
    }
    UnitCollection target = UnitCollection::empty();
    for (std::size_t i = 0; i < preferred.size(); ++i) {
        if ((*exponents)[i] == 0) continue;
        Result<UnitCollection> power = checked_pow(preferred[i], (*exponents)[i]);
        if (!power) return fail(power.error());
        Result<UnitCollection> product = checked_mul(target, *power);
        if (!product) return fail(product.error());
        target = std::move(*product);
    }
    return as_unit_internal(q, SharedUnits(std::move(target)));
}

}  // namespace tarvel
