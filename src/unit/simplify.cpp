#include "unit/simplify.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "error/tarvel_error.hpp"
#include "unit/number_format.hpp"
#include "unit/search.hpp"

namespace tarvel {

namespace {

// Working storage of the pairwise cancellation: on the stack for ordinary collections.
template <class T, std::size_t Inline>
class Scratch {
public:
    explicit Scratch(std::size_t size) {
        if (size > Inline) {
            heap_ = std::make_unique<T[]>(size);
            data_ = heap_.get();
        }
        std::fill(data_, data_ + size, T{});
    }
    T& operator[](std::size_t i) noexcept { return data_[i]; }

private:
    T inline_[Inline];
    std::unique_ptr<T[]> heap_;
    T* data_ = inline_;
};

constexpr std::size_t INLINE_UNITS = 16;

enum : unsigned char { UNRELATED = 0, EQUAL = 1, OPPOSITE = 2, KIND = 3, EXCHANGED = 4 };

unsigned char relation(const Dimensions& a, const Dimensions& b) noexcept {
    if (dimensions_equal(a, b)) return EQUAL;
    if (dimensions_opposite(a, b)) return OPPOSITE;
    return UNRELATED;
}

// Whether the scan below makes a first exchange: a pair of equal dimensions with exponents of opposite
// signs, or of opposite dimensions with exponents of the same sign. Every later exchange needs an earlier
// one, so without it the collection comes back unchanged (most products and quotients of ordinary
// quantities cancel nothing).
bool has_exchange(const UnitMap& map) noexcept {
    for (std::size_t a = 0; a + 1 < map.size(); ++a) {
        for (std::size_t b = a + 1; b < map.size(); ++b) {
            const unsigned char kind = relation(map[a].unit.dimensions(), map[b].unit.dimensions());
            if (kind == UNRELATED) continue;
            const bool same_sign = std::signbit(map[a].exponent) == std::signbit(map[b].exponent);
            if ((kind == EQUAL) != same_sign) return true;
        }
    }
    return false;
}

[[noreturn]] void fail_consistency(const UnitCollection& input, const UnitCollection& result) {
    throw InternalError("Error on simple_simplify\nStarted with: " + as_string(input) + ", " +
                        format_dimensions(input.dimensions) + "\r\nEnded with: " + as_string(result) + ", " +
                        format_dimensions(result.dimensions));
}

// The terms that component k of a map's vector sums: the largest |exponent * dimension| and how many
// there are, kept apart so that a bound on exponents near the largest double does not overflow.
struct TermScale {
    double largest = 0.0;
    double count = 0.0;
};

// `shift` scales every exponent by that power of two first (exactly, short of underflow).
TermScale term_scale(const UnitMap& map, std::size_t k, int shift = 0) noexcept {
    TermScale scale;
    for (const UnitEntry& entry : map) {
        const double term = std::ldexp(entry.exponent, shift) * entry.unit.dimensions()[k];
        scale.largest = std::max(scale.largest, std::fabs(term));
        scale.count += 1.0;
    }
    return scale;
}

// Whether a difference is within `relative` of the rounding of such a sum (the size of its terms, at
// least `floor`, times their number).
bool within(double difference, TermScale scale, double relative, double floor) noexcept {
    return difference / (scale.count + 1.0) <= relative * std::max(scale.largest, floor);
}

// The input's cached vector was summed along a different path (products, quotients and powers of the
// operands' vectors) from the result's, which is summed from the map; with fractional exponents the two
// can differ in the last bits. Such a difference is no broken invariant. The bound is far above the
// rounding of any realistic sequence of operations and far below any real mismatch.
bool agree_up_to_rounding(const UnitCollection& input, const UnitCollection& result) noexcept {
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        const double cached = input.dimensions[k];
        const double rebuilt = result.dimensions[k];
        const TermScale scale = term_scale(input.unit_map, k);
        if (!std::isfinite(cached) || !std::isfinite(rebuilt) || !std::isfinite(scale.largest)) return false;
        if (!within(std::fabs(cached - rebuilt), scale, 1e-12, 0.0)) return false;
    }
    return true;
}

// The cancellation kept the sum over the input's own map, and the input's cached vector is that sum up
// to what earlier products can have absorbed: a product that removed a unit at exponent 0 leaves in the
// cache what that unit had swallowed (1 + 1e-300 - 1 is 0, while the map keeps another unit's 1e-300).
// Such a tiny difference is rounding history, not a broken invariant (a real mismatch is at least of the
// order of a dimension); the result carries the cached vector all the same.
bool keeps_map_sum(const UnitCollection& input, const UnitCollection& result) {
    UnitCollection summed = input;
    summed.dimensions = UnitCollection::from_single_unit_hashmap(input.unit_map).dimensions;
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        const double drift = std::fabs(input.dimensions[k] - summed.dimensions[k]);
        if (!within(drift, term_scale(input.unit_map, k), 1e-9, 1.0)) return false;
    }
    return agree_up_to_rounding(summed, result);
}

// Exponents near the largest double can make a term of the result's sum overflow (2 x 1.5e308) where
// the cached vector, summed in another order, did not. The comparison is then made with every exponent
// scaled down by the same power of two, which changes no ratio.
bool agrees_scaled_down(const UnitCollection& input, const UnitCollection& result) noexcept {
    constexpr int SHIFT = -64;
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        const double cached = std::ldexp(input.dimensions[k], SHIFT);
        double rebuilt = 0.0;
        for (const UnitEntry& entry : result.unit_map) {
            rebuilt += std::ldexp(entry.exponent, SHIFT) * entry.unit.dimensions()[k];
        }
        TermScale scale = term_scale(input.unit_map, k, SHIFT);
        scale.largest = std::max(scale.largest, term_scale(result.unit_map, k, SHIFT).largest);
        if (!std::isfinite(cached) || !std::isfinite(rebuilt) || !std::isfinite(scale.largest)) return false;
        if (!within(std::fabs(cached - rebuilt), scale, 1e-12, 0.0)) return false;
    }
    return true;
}

// The scan over pairs. Amounts and signs come from the working exponents, so every exchange with finite
// exponents brings one of the two exactly to 0.0 and removes it, and a pair exchanges at most once, so the
// scan ends for every input (NaN and infinite exponents included).
UnitCollection cancel_pairs(const UnitCollection& input) {
    const UnitMap& map = input.unit_map;
    const std::size_t n = map.size();
    Scratch<double, INLINE_UNITS> working(n);
    Scratch<bool, INLINE_UNITS> present(n);
    Scratch<unsigned char, INLINE_UNITS * INLINE_UNITS> pairs(n * n);
    for (std::size_t a = 0; a < n; ++a) {
        working[a] = map[a].exponent;
        present[a] = true;
        for (std::size_t b = a + 1; b < n; ++b) {
            const unsigned char kind = relation(map[a].unit.dimensions(), map[b].unit.dimensions());
            pairs[a * n + b] = kind;
            pairs[b * n + a] = kind;
        }
    }

    // Applies the first exchange of the scan order; false when a whole pass finds none.
    auto exchange_once = [&]() -> bool {
        for (std::size_t a = 0; a < n; ++a) {
            if (!present[a]) continue;
            for (std::size_t b = 0; b < n; ++b) {
                if (b == a || !present[b]) continue;
                const unsigned char pair = pairs[a * n + b];
                if (pair == UNRELATED || (pair & EXCHANGED) != 0) continue;
                double wa = working[a];
                double wb = working[b];
                if ((pair & KIND) == EQUAL) {
                    if (std::signbit(wa) == std::signbit(wb)) continue;
                    const double x = std::fabs(wa) < std::fabs(wb) ? std::fabs(wa) : std::fabs(wb);
                    if (std::signbit(wa)) {
                        wa += x;
                        wb -= x;
                    } else {
                        wa -= x;
                        wb += x;
                    }
                } else {
                    if (std::signbit(wa) != std::signbit(wb)) continue;
                    const double x = wa < wb ? wa : wb;
                    wa -= x;
                    wb -= x;
                }
                working[a] = wa;
                working[b] = wb;
                present[a] = wa != 0.0;
                present[b] = wb != 0.0;
                pairs[a * n + b] |= EXCHANGED;
                pairs[b * n + a] |= EXCHANGED;
                return true;
            }
        }
        return false;
    };

    bool changed = false;
    while (exchange_once()) changed = true;
    if (!changed) return input;

    UnitMap kept;
    kept.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (present[i]) kept.push_back(map[i].unit, working[i]);
    }
    UnitCollection result = UnitCollection::from_single_unit_hashmap(std::move(kept));
    if (dimensions_equal(result.dimensions, input.dimensions)) return result;
    if (!agree_up_to_rounding(input, result) && !keeps_map_sum(input, result) &&
        !agrees_scaled_down(input, result)) {
        fail_consistency(input, result);
    }
    // An exchange whose rounding lost part of an exponent (2**53 + 2 - 1 is 2**53) no longer carries the
    // input's dimensions: the input stays as it is.
    if (first_inconsistent_dimension(result.unit_map, input.dimensions) != DIMENSION_COUNT) return input;
    // Callers compare vectors exactly: the result must carry the input's.
    result.dimensions = input.dimensions;
    result.whole_terms = false;
    return result;
}

bool is_whole_int32(double exponent) noexcept {
    // The range test comes first (NaN fails it), so the conversion is defined; it truncates, and gives the
    // exponent back exactly when the exponent is whole.
    return exponent >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
           exponent <= static_cast<double>(std::numeric_limits<std::int32_t>::max()) &&
           static_cast<double>(static_cast<std::int32_t>(exponent)) == exponent;
}

// The collection of s's units with these exponents; nothing when its vector is not exactly s's (only
// possible with units of fractional dimensions, whose products can round differently), since s then stays.
std::optional<UnitCollection> collection_of(const UnitMap& map, const std::int32_t* exponents,
                                            const UnitCollection& s) {
    UnitMap chosen;
    chosen.reserve(map.size());
    for (std::size_t i = 0; i < map.size(); ++i) chosen.push_back(map[i].unit, static_cast<double>(exponents[i]));
    UnitCollection result = UnitCollection::from_single_unit_hashmap(std::move(chosen));
    if (!dimensions_equal(result.dimensions, s.dimensions)) return std::nullopt;
    return result;
}

// The search step of simplify on the quick simplification s: a shorter product, or nothing when s itself
// is the answer (the common case, decided without allocating).
std::optional<UnitCollection> search_shorter(const UnitCollection& s, const SearchOptions& options,
                                             SearchStats* stats) {
    const UnitMap& map = s.unit_map;
    const std::size_t n = map.size();
    if (n == 1) return std::nullopt;
    // Fractional exponents, and whole ones too large for the search's 32-bit exponents, stay as they are.
    for (const UnitEntry& entry : map) {
        if (!is_whole_int32(entry.exponent)) return std::nullopt;
    }

    // A sole carrier is the only unit that carries some dimension of s; its exponent is fixed by it.
    Scratch<bool, INLINE_UNITS> carrier(n);
    std::size_t carriers = 0;
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
        if (s.dimensions[k] == 0.0) continue;
        std::size_t holders = 0;
        std::size_t holder = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (map[i].unit.dimensions()[k] != 0.0) {
                ++holders;
                holder = i;
            }
        }
        if (holders == 0) {
            // A tiny component that no unit carries is rounding history (an exponent absorbed into one of
            // a unit that has since cancelled, see keeps_map_sum); no product of these units can match it,
            // so s stays as it is.
            if (std::fabs(s.dimensions[k]) <= 1e-9) return std::nullopt;
            throw InternalError("Error in simplify - unit " + as_string(s) +
                                " has mismatch between single and base units");
        }
        if (holders == 1 && !carrier[holder]) {
            carrier[holder] = true;
            ++carriers;
        }
    }
    if (carriers == n) return std::nullopt;

    // The search works on plain arrays: nothing here allocates for ordinary collections.
    Scratch<const Dimensions*, INLINE_UNITS> units(n);
    Scratch<std::int32_t, INLINE_UNITS> target(n);
    Scratch<std::int32_t, INLINE_UNITS> start(n);
    Scratch<std::int32_t, INLINE_UNITS> answer(n);
    for (std::size_t i = 0; i < n; ++i) {
        units[i] = &map[i].unit.dimensions();
        target[i] = to_int_exponent(map[i].exponent);
        start[i] = carrier[i] ? target[i] : 0;
    }
    // The start map, checked as check_satisfies_base_units does: in map order, every entry.
    Dimensions rest = s.dimensions;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = static_cast<double>(start[i]);
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] -= (*units[i])[k] * e;
    }
    bool start_satisfies = true;
    for (double component : rest) start_satisfies = start_satisfies && component == 0.0;
    if (start_satisfies) return collection_of(map, &start[0], s);

    if (!search_exponents(&units[0], &target[0], &start[0], n, s.dimensions, &answer[0], options, stats)) {
        return std::nullopt;
    }
    return collection_of(map, &answer[0], s);
}

}  // namespace

std::optional<UnitCollection> try_simple_simplify(const UnitCollection& units) {
    // NaN never equals itself, so such a vector can never pass the consistency check.
    if (!dimensions_equal(units.dimensions, units.dimensions)) [[unlikely]] {
        fail_consistency(units, UnitCollection::from_single_unit_hashmap(units.unit_map));
    }
    if (units.unit_map.size() < 2 || !has_exchange(units.unit_map)) return std::nullopt;
    return cancel_pairs(units);
}

UnitCollection simple_simplify(const UnitCollection& units) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(units);
    if (!cancelled) return units;
    return std::move(*cancelled);
}

UnitCollection simplify(const UnitCollection& units) {
    if (std::optional<UnitCollection> simpler = try_simplify(units)) return std::move(*simpler);
    return units;
}

UnitCollection simplify(const UnitCollection& units, const SearchOptions& options, SearchStats* stats) {
    if (stats) *stats = SearchStats{};
    UnitCollection s = simple_simplify(units);
    if (std::optional<UnitCollection> shorter = search_shorter(s, options, stats)) return std::move(*shorter);
    return s;
}

std::optional<UnitCollection> try_simplify(const UnitCollection& units) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(units);
    std::optional<UnitCollection> shorter =
        search_shorter(cancelled ? *cancelled : units, SearchOptions{}, nullptr);
    return shorter ? std::move(shorter) : std::move(cancelled);
}

std::optional<UnitCollection> try_simplify_uncancelled(const UnitCollection& units) {
    return search_shorter(units, SearchOptions{}, nullptr);
}

}  // namespace tarvel
