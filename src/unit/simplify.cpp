#include "unit/simplify.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
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
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }

private:
    T inline_[Inline];
    std::unique_ptr<T[]> heap_;
    T* data_ = inline_;
};

constexpr std::size_t INLINE_UNITS = 16;
// Up to this many units, pairs are compared directly rather than sorted into classes first.
constexpr std::size_t SMALL_MAP = INLINE_UNITS / 2;

enum : unsigned char { UNRELATED = 0, EQUAL = 1, OPPOSITE = 2, KIND = 3, EXCHANGED = 4 };

unsigned char relation(const Dimensions& a, const Dimensions& b) noexcept {
    if (dimensions_equal(a, b)) return EQUAL;
    if (dimensions_opposite(a, b)) return OPPOSITE;
    return UNRELATED;
}

// Units are related (equal or opposite dimensions) exactly when their vectors, each turned so that its
// first non-zero component is positive, are equal. The map's units fall into classes of such vectors;
// only units of one class are ever compared, so the work grows with the map, not with its square.
constexpr std::uint32_t NO_CLASS = static_cast<std::uint32_t>(-1);

// Whether the vector is turned (negated) for its class; a vector with NaN is related to nothing.
bool turned(const Dimensions& d) noexcept {
    for (double component : d) {
        if (component != 0.0) return component < 0.0;
    }
    return false;
}

bool has_nan(const Dimensions& d) noexcept {
    for (double component : d) {
        if (std::isnan(component)) return true;
    }
    return false;
}

bool same_class(const Dimensions& a, bool turn_a, const Dimensions& b, bool turn_b) noexcept {
    return turn_a == turn_b ? dimensions_equal(a, b) : dimensions_opposite(a, b);
}

std::uint64_t class_hash(const Dimensions& d, bool turn) noexcept {
    std::uint64_t hash = 0;
    for (double component : d) {
        // Adding 0.0 makes -0.0 hash as 0.0, which it equals. Small whole components differ only in
        // their high bits: each is mixed (splitmix64's finaliser) before it is combined.
        std::uint64_t x = std::bit_cast<std::uint64_t>((turn ? -component : component) + 0.0) + hash;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        hash = x ^ (x >> 31);
    }
    return hash;
}

// The class of every entry (NO_CLASS for the unrelated), numbered in order of first appearance, and
// whether the entry's vector is turned. One hashed pass.
struct Classes {
    explicit Classes(std::size_t n) : of(n), turn(n) {}
    Scratch<std::uint32_t, INLINE_UNITS> of;
    Scratch<bool, INLINE_UNITS> turn;
    std::uint32_t count = 0;
};

void classify(const UnitMap& map, Classes& classes) {
    const std::size_t n = map.size();
    std::size_t slots = 4;
    while (slots < 2 * n) slots *= 2;
    // A slot holds 1 + the position of the first entry of its class; 0 is empty.
    Scratch<std::uint32_t, 4 * INLINE_UNITS> table(slots);
    for (std::size_t i = 0; i < n; ++i) {
        const Dimensions& d = map[i].unit.dimensions();
        if (has_nan(d)) {
            classes.of[i] = NO_CLASS;
            continue;
        }
        const bool turn = turned(d);
        classes.turn[i] = turn;
        std::size_t slot = class_hash(d, turn) & (slots - 1);
        while (true) {
            const std::uint32_t held = table[slot];
            if (held == 0) {
                table[slot] = static_cast<std::uint32_t>(i + 1);
                classes.of[i] = classes.count++;
                break;
            }
            const std::size_t first = held - 1;
            if (same_class(map[first].unit.dimensions(), classes.turn[first], d, turn)) {
                classes.of[i] = classes.of[first];
                break;
            }
            slot = (slot + 1) & (slots - 1);
        }
    }
}

// The side of the exchange an exponent is on: exponents of the same side never exchange, of opposite
// sides always do (equal dimensions with opposite signs, or opposite dimensions with equal signs).
bool side(double exponent, bool turn) noexcept { return std::signbit(exponent) != turn; }

// Whether the scan below makes a first exchange: two units of one class on opposite sides. Every later
// exchange needs an earlier one, so without it the collection comes back unchanged (most products and
// quotients of ordinary quantities cancel nothing).
bool has_exchange(const UnitMap& map) {
    const std::size_t n = map.size();
    // A handful of units: comparing the pairs is cheaper than hashing.
    if (n <= SMALL_MAP) {
        for (std::size_t a = 0; a + 1 < n; ++a) {
            for (std::size_t b = a + 1; b < n; ++b) {
                const unsigned char kind = relation(map[a].unit.dimensions(), map[b].unit.dimensions());
                if (kind == UNRELATED) continue;
                const bool same_sign = std::signbit(map[a].exponent) == std::signbit(map[b].exponent);
                if ((kind == EQUAL) != same_sign) return true;
            }
        }
        return false;
    }
    Classes classes(n);
    classify(map, classes);
    // Per class, which sides have been seen (bit 0 and bit 1).
    Scratch<unsigned char, INLINE_UNITS> sides(classes.count);
    for (std::size_t i = 0; i < n; ++i) {
        if (classes.of[i] == NO_CLASS) continue;
        unsigned char& seen = sides[classes.of[i]];
        seen |= side(map[i].exponent, classes.turn[i]) ? 2 : 1;
        if (seen == 3) return true;
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

// One exchange between units a and b of a related pair: amounts and signs come from the working
// exponents, so with finite exponents one of the two becomes exactly 0.0. False when the survivor's
// exponent could not take the amount (-2 + 1e-300 == -2), the check the product makes: the exchange
// would drop a unit the map's sum still needs.
bool exchange(unsigned char kind, double& wa, double& wb) noexcept {
    const double a = wa;
    const double b = wb;
    double x = 0.0;
    if (kind == EQUAL) {
        x = std::fabs(wa) < std::fabs(wb) ? std::fabs(wa) : std::fabs(wb);
        if (std::signbit(wa)) {
            wa += x;
            wb -= x;
        } else {
            wa -= x;
            wb += x;
        }
    } else {
        x = wa < wb ? wa : wb;
        wa -= x;
        wb -= x;
    }
    // Non-finite exponents are the rebuilt vector's check to catch.
    if (x == 0.0 || !std::isfinite(x) || !std::isfinite(a) || !std::isfinite(b)) return true;
    return (wa != a || a == 0.0) && (wb != b || b == 0.0);
}

// The cancellation is defined by a scan over pairs (a, b) in order (a ascending, then b ascending, b != a,
// both still present): the first related pair on opposite sides that has not exchanged yet exchanges,
// and the scan starts again, until a whole pass finds none. An exchange changes only its own class, so
// the classes can be worked through one after another.
//
// The literal scan over the members of a class, or over a whole small map (unrelated pairs never
// exchange): for a handful of units it is quicker than sorting them into classes, and for a class holding
// a non-finite exponent it is needed, since an exchange there can leave both units present (inf - inf
// is NaN) and the "not exchanged yet" mark is what ends the scan.
// `member(m)` is the position of the class's m-th member.
template <class Member>
bool scan_class(const UnitMap& map, Member member, std::size_t k, double* working, bool* present,
                bool& absorbed) {
    Scratch<unsigned char, INLINE_UNITS * INLINE_UNITS> pairs(k * k);
    for (std::size_t a = 0; a < k; ++a) {
        for (std::size_t b = a + 1; b < k; ++b) {
            const unsigned char kind =
                relation(map[member(a)].unit.dimensions(), map[member(b)].unit.dimensions());
            pairs[a * k + b] = kind;
            pairs[b * k + a] = kind;
        }
    }
    bool changed = false;
    for (bool found = true; found;) {
        found = false;
        for (std::size_t a = 0; a < k && !found; ++a) {
            const std::size_t ia = member(a);
            if (!present[ia]) continue;
            for (std::size_t b = 0; b < k; ++b) {
                const std::size_t ib = member(b);
                if (b == a || !present[ib]) continue;
                const unsigned char pair = pairs[a * k + b];
                if (pair == UNRELATED || (pair & EXCHANGED) != 0) continue;
                const bool same_sign = std::signbit(working[ia]) == std::signbit(working[ib]);
                if (((pair & KIND) == EQUAL) == same_sign) continue;
                if (!exchange(pair & KIND, working[ia], working[ib])) absorbed = true;
                present[ia] = working[ia] != 0.0;
                present[ib] = working[ib] != 0.0;
                pairs[a * k + b] |= EXCHANGED;
                pairs[b * k + a] |= EXCHANGED;
                found = changed = true;
                break;
            }
        }
    }
    return changed;
}

// Positions of one side of a class, smallest first.
class PositionHeap {
public:
    explicit PositionHeap(std::uint32_t* storage) noexcept : data_(storage) {}
    // Positions given in ascending order already form a heap.
    void push_sorted(std::uint32_t position) noexcept { data_[size_++] = position; }
    void push(std::uint32_t position) noexcept {
        data_[size_++] = position;
        std::push_heap(data_, data_ + size_, std::greater<>{});
    }
    std::uint32_t pop() noexcept {
        std::pop_heap(data_, data_ + size_, std::greater<>{});
        return data_[--size_];
    }
    std::uint32_t top() const noexcept { return data_[0]; }
    bool empty() const noexcept { return size_ == 0; }
    void clear() noexcept { size_ = 0; }

private:
    std::uint32_t* data_;
    std::size_t size_ = 0;
};

// With finite exponents every exchange removes a unit for good, so a pair never meets twice and the
// scan's next pair in a class is: the smallest present position a, and the smallest present position
// on the other side of a. Each side is a heap of positions; the survivor of an exchange (which can
// change sides: opposite dimensions with negative exponents, A^-2 B^-3 gives A^1) goes back into one.
bool cancel_class(const UnitMap& map, const std::uint32_t* members, std::size_t k, const Classes& classes,
                  double* working, bool* present, PositionHeap& low, PositionHeap& high, bool& absorbed) {
    low.clear();
    high.clear();
    for (std::size_t m = 0; m < k; ++m) {
        const std::uint32_t i = members[m];
        (side(working[i], classes.turn[i]) ? high : low).push_sorted(i);
    }
    bool changed = false;
    while (!low.empty() && !high.empty()) {
        const std::uint32_t a = std::min(low.top(), high.top());
        const std::uint32_t b = std::max(low.top(), high.top());
        low.pop();
        high.pop();
        if (!exchange(relation(map[a].unit.dimensions(), map[b].unit.dimensions()), working[a], working[b])) {
            absorbed = true;
        }
        changed = true;
        for (const std::uint32_t i : {a, b}) {
            present[i] = working[i] != 0.0;
            if (present[i]) (side(working[i], classes.turn[i]) ? high : low).push(i);
        }
    }
    return changed;
}

// The exchanges of every class of the map on the working exponents; whether there was any.
bool cancel_by_class(const UnitMap& map, double* working, bool* present, bool& absorbed) {
    const std::size_t n = map.size();
    Classes classes(n);
    classify(map, classes);

    // The members of each class, in ascending position (a counting sort by class).
    Scratch<std::uint32_t, INLINE_UNITS> start(classes.count + 1);
    for (std::size_t i = 0; i < n; ++i) {
        if (classes.of[i] != NO_CLASS) ++start[classes.of[i] + 1];
    }
    for (std::size_t c = 0; c < classes.count; ++c) start[c + 1] += start[c];
    Scratch<std::uint32_t, INLINE_UNITS> members(n);
    {
        Scratch<std::uint32_t, INLINE_UNITS> filled(classes.count);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t c = classes.of[i];
            if (c != NO_CLASS) members[start[c] + filled[c]++] = static_cast<std::uint32_t>(i);
        }
    }

    Scratch<std::uint32_t, INLINE_UNITS> low_storage(n);
    Scratch<std::uint32_t, INLINE_UNITS> high_storage(n);
    PositionHeap low(&low_storage[0]);
    PositionHeap high(&high_storage[0]);
    bool changed = false;
    for (std::size_t c = 0; c < classes.count; ++c) {
        const std::uint32_t* first = &members[start[c]];
        const std::size_t k = start[c + 1] - start[c];
        if (k < 2) continue;
        bool finite = true;
        for (std::size_t m = 0; m < k; ++m) finite = finite && std::isfinite(working[first[m]]);
        const bool class_changed =
            finite ? cancel_class(map, first, k, classes, working, present, low, high, absorbed)
                   : scan_class(map, [first](std::size_t m) { return first[m]; }, k, working, present, absorbed);
        changed = changed || class_changed;
    }
    return changed;
}

UnitCollection cancel_pairs(const UnitCollection& input) {
    const UnitMap& map = input.unit_map;
    const std::size_t n = map.size();
    Scratch<double, INLINE_UNITS> working(n);
    Scratch<bool, INLINE_UNITS> present(n);
    for (std::size_t i = 0; i < n; ++i) {
        working[i] = map[i].exponent;
        present[i] = true;
    }
    bool changed = false;
    bool absorbed = false;
    if (n <= SMALL_MAP) {
        changed = scan_class(map, [](std::size_t m) { return m; }, n, &working[0], &present[0], absorbed);
    } else {
        changed = cancel_by_class(map, &working[0], &present[0], absorbed);
    }
    // An exchange that lost an exponent leaves the input as it is, as a product that would lose one is
    // refused: the map must carry what the cached vector says.
    if (!changed || absorbed) return input;

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
