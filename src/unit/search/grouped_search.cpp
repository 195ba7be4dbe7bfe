#include "unit/search/grouped_search.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace tarvel::search_detail {

namespace {

// --- The grouped search -------------------------------------------------------------------------------
//
// On the whole-number path a map reproduces the vector when start_rest minus the sum of steps times step
// changes is zero, so only the total number of steps taken by each group of units with the same step
// change matters. The level-by-level search meets the maps of a level in descending lexicographic order
// of their step counts (a map is made from the parent that undoes its last step, after that parent's
// earlier siblings), and its answer is the first satisfying map of the lowest level that has one. Among
// the maps with given group totals the lexicographically largest is the greedy one (each unit, in map
// order, takes as many of its group's steps as it can), so the answer is the largest greedy fill over the
// satisfying totals of the lowest level, and its position in that search can be counted.
//
// The totals are found with linear algebra: some groups (pivots) have independent step changes spanning
// those of the others, and for every choice of the free groups' totals the pivots' totals are fixed by
// one small integer system. Only the free totals are enumerated, by increasing sum, with the pivots'
// scaled totals carried from parent to child.

__extension__ typedef __int128 Wide;

constexpr Wide WIDE_LIMIT = Wide{1} << 100;
constexpr std::int64_t CARRY_LIMIT = std::int64_t{1} << 62;

Wide wide_abs(Wide value) noexcept { return value < 0 ? -value : value; }

Wide wide_gcd(Wide a, Wide b) noexcept {
    a = wide_abs(a);
    b = wide_abs(b);
    while (b != 0) {
        const Wide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// A fraction-free echelon basis of vectors of `length` entries: tells whether a vector is independent of
// those added so far. False from add() also when the numbers grow too large to be trusted.
class Echelon {
public:
    explicit Echelon(std::size_t length) noexcept : length_(length) {}

    // Adds the vector when it is independent of the basis; `independent` says whether it was.
    bool add(const Wide* vector, bool& independent) noexcept {
        std::array<Wide, DIMENSION_COUNT> v{};
        for (std::size_t k = 0; k < length_; ++k) v[k] = vector[k];
        for (std::size_t b = 0; b < count_; ++b) {
            const Wide lead = rows_[b][pivot_[b]];
            const Wide factor = v[pivot_[b]];
            if (factor == 0) continue;
            Wide divisor = 0;
            for (std::size_t k = 0; k < length_; ++k) {
                v[k] = v[k] * lead - rows_[b][k] * factor;
                if (wide_abs(v[k]) > WIDE_LIMIT) return false;
                if (count_ > 1) divisor = wide_gcd(divisor, v[k]);
            }
            if (divisor > 1) {
                for (std::size_t k = 0; k < length_; ++k) v[k] /= divisor;
            }
        }
        independent = false;
        for (std::size_t k = 0; k < length_ && !independent; ++k) {
            if (v[k] == 0) continue;
            independent = true;
            pivot_[count_] = k;
            rows_[count_] = v;
            ++count_;
        }
        return true;
    }
    std::size_t size() const noexcept { return count_; }

private:
    std::size_t length_;
    std::size_t count_ = 0;
    std::array<std::array<Wide, DIMENSION_COUNT>, DIMENSION_COUNT> rows_;  // the first count_ are set
    std::array<std::size_t, DIMENSION_COUNT> pivot_;
};

using Square = std::array<std::array<Wide, DIMENSION_COUNT>, DIMENSION_COUNT>;

// The determinant of the leading n-by-n block, by fraction-free elimination (every division exact).
Wide determinant(Square m, std::size_t n) noexcept {
    Wide sign = 1;
    Wide previous = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t row = k;
        while (row < n && m[row][k] == 0) ++row;
        if (row == n) return 0;
        if (row != k) {
            std::swap(m[row], m[k]);
            sign = -sign;
        }
        for (std::size_t i = k + 1; i < n; ++i) {
            for (std::size_t j = k + 1; j < n; ++j) m[i][j] = (m[i][j] * m[k][k] - m[i][k] * m[k][j]) / previous;
            m[i][k] = 0;
        }
        previous = m[k][k];
    }
    return sign * m[n - 1][n - 1];
}

// Saturating counts: a stored count at `cap` means "at least cap".
struct Counter {
    std::uint64_t cap;
    std::uint64_t clamp(Wide value) const noexcept {
        return value >= static_cast<Wide>(cap) ? cap : static_cast<std::uint64_t>(value);
    }
};

// poly times (1 + x + ... + x^range), keeping its length.
void times_run(std::pmr::vector<std::uint64_t>& poly, std::uint64_t range, const Counter& counter) noexcept {
    const std::size_t top = poly.size();
    if (top == 0) return;
    Wide window = 0;
    const std::size_t last = top - 1;
    const std::size_t low = range >= last ? 0 : static_cast<std::size_t>(last - range);
    for (std::size_t j = low; j <= last; ++j) window += poly[j];
    for (std::size_t l = top; l-- > 0;) {
        const std::uint64_t own = poly[l];
        poly[l] = counter.clamp(window);
        window -= own;
        if (range < l) window += poly[l - static_cast<std::size_t>(range) - 1];
    }
}

struct Group {
    WholeDimensions change{};
    std::uint64_t range = 0;  // the members' steps together
};

struct GroupedSearch {
    explicit GroupedSearch(Arena& arena)
        : group_of(&arena), groups(&arena), free(&arena), pivots(&arena), carried(&arena), step(&arena),
          low(&arena), high(&arena), least(&arena), totals(&arena), candidate(&arena), best(&arena),
          left(&arena) {}

    const Space* space = nullptr;
    Pause* pause = nullptr;
    std::pmr::vector<std::uint32_t> group_of;  // per movable unit
    std::pmr::vector<Group> groups;
    std::pmr::vector<std::uint32_t> free;      // group numbers
    std::pmr::vector<std::uint32_t> pivots;    // group numbers
    std::int64_t scale = 1;                    // the pivots' totals times this are carried
    std::pmr::vector<std::int64_t> carried;    // per pivot
    std::pmr::vector<std::int64_t> step;       // free x pivot: what one step of a free group takes from it
    std::pmr::vector<std::int64_t> low;        // (free + 1) x pivot: the least the later free groups add
    std::pmr::vector<std::int64_t> high;       // (free + 1) x pivot: the most they add
    std::pmr::vector<Wide> least;              // free + 1: the least the later free groups add to the level
    std::pmr::vector<std::uint64_t> totals;    // per group
    std::pmr::vector<std::uint32_t> candidate; // per movable unit
    std::pmr::vector<std::uint32_t> best;      // per movable unit, valid when best_level is set
    std::pmr::vector<std::uint64_t> left;      // per group
    std::uint64_t bound = 0;                   // the highest level still of interest
    std::uint64_t best_level = 0;
    bool found = false;

    // Fills the free totals of free groups i.., those before having taken `taken` steps. Prunes with the
    // pivots' ranges and with a lower bound on the level (scaled by `scale`).
    void visit(std::size_t i, std::uint64_t taken) noexcept {
        pause->note(1);
        const std::size_t r = pivots.size();
        Wide level = static_cast<Wide>(scale) * taken + least[i];
        for (std::size_t g = 0; g < r; ++g) {
            const std::int64_t most = scale * static_cast<std::int64_t>(groups[pivots[g]].range);
            if (carried[g] + high[i * r + g] < 0 || carried[g] + low[i * r + g] > most) return;
            level += carried[g];
        }
        if (level > static_cast<Wide>(scale) * bound) return;
        if (i == free.size()) {
            leaf();
            return;
        }
        const std::uint32_t group = free[i];
        std::uint64_t t = 0;
        for (;; ++t) {
            totals[group] = t;
            visit(i + 1, taken + t);
            // The bound shrinks as answers are found.
            if (t == groups[group].range || taken + t + 1 > bound) break;
            for (std::size_t g = 0; g < r; ++g) carried[g] -= step[i * r + g];
        }
        for (std::size_t g = 0; g < r; ++g) carried[g] += static_cast<std::int64_t>(t) * step[i * r + g];
        totals[group] = 0;
    }

    // Every free vector up to the bound, in passes of doubling bounds up to `deepest`: an answer of a low
    // level ends the search early.
    void run(std::uint64_t deepest) noexcept {
        for (std::uint64_t limit = std::min<std::uint64_t>(deepest, 2);; limit = std::min(deepest, limit * 2)) {
            bound = limit;
            visit(0, 0);
            if (found || limit == deepest) return;
        }
    }

    void leaf() noexcept {
        std::uint64_t level = 0;
        for (std::uint32_t group : free) level += totals[group];
        for (std::size_t g = 0; g < pivots.size(); ++g) {
            if (carried[g] % scale != 0) return;
            const auto total = static_cast<std::uint64_t>(carried[g] / scale);
            totals[pivots[g]] = total;
            level += total;
        }
        if (level == 0 || level > bound) return;
        // The pivots' system used only some components; the others must vanish too.
        std::array<Wide, DIMENSION_COUNT> rest{};
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] = space->start_rest[k];
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (totals[g] == 0) continue;
            for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
                rest[k] -= static_cast<Wide>(totals[g]) * groups[g].change[k];
            }
        }
        for (Wide component : rest) {
            if (component != 0) return;
        }
        // The greedy fill of these totals, against the best so far.
        for (std::size_t g = 0; g < groups.size(); ++g) left[g] = totals[g];
        for (std::size_t m = 0; m < candidate.size(); ++m) {
            const std::uint32_t g = group_of[m];
            const std::uint64_t taken = std::min<std::uint64_t>(space->range[m], left[g]);
            candidate[m] = static_cast<std::uint32_t>(taken);
            left[g] -= taken;
        }
        if (found && level == best_level &&
            !std::lexicographical_compare(best.begin(), best.end(), candidate.begin(), candidate.end())) {
            return;
        }
        best.assign(candidate.begin(), candidate.end());
        best_level = level;
        found = true;
        bound = level;
    }
};

// Sets up the groups, the pivots and their integer system; false when its numbers would be too large.
bool prepare(GroupedSearch& search, const Space& space) {
    const std::size_t width = space.movable.size();
    search.group_of.resize(width);
    for (std::size_t m = 0; m < width; ++m) {
        std::size_t g = 0;
        while (g < search.groups.size() && search.groups[g].change != space.step_change[m]) ++g;
        if (g == search.groups.size()) search.groups.push_back(Group{space.step_change[m], 0});
        search.groups[g].range += space.range[m];
        search.group_of[m] = static_cast<std::uint32_t>(g);
    }
    const std::size_t count = search.groups.size();

    // Pivots: the groups of the largest ranges that are independent, so that the enumerated ones are small.
    std::pmr::vector<std::uint32_t> order(count, search.groups.get_allocator());
    for (std::size_t g = 0; g < count; ++g) order[g] = static_cast<std::uint32_t>(g);
    for (std::size_t i = 1; i < count; ++i) {  // stable, by decreasing range
        for (std::size_t j = i; j > 0 && search.groups[order[j - 1]].range < search.groups[order[j]].range; --j) {
            std::swap(order[j - 1], order[j]);
        }
    }
    Echelon columns(DIMENSION_COUNT);
    std::pmr::vector<bool> is_pivot(count, false, search.groups.get_allocator());
    for (std::uint32_t g : order) {
        if (columns.size() == DIMENSION_COUNT) break;
        std::array<Wide, DIMENSION_COUNT> column{};
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) column[k] = search.groups[g].change[k];
        bool independent = false;
        if (!columns.add(column.data(), independent)) return false;
        is_pivot[g] = independent;
    }
    for (std::size_t g = 0; g < count; ++g) {
        (is_pivot[g] ? search.pivots : search.free).push_back(static_cast<std::uint32_t>(g));
    }
    const std::size_t r = search.pivots.size();

    // Components on which the pivots' changes are independent: their square system decides the totals.
    Echelon rows(r);
    std::array<std::size_t, DIMENSION_COUNT> component{};
    for (std::size_t k = 0; k < DIMENSION_COUNT && rows.size() < r; ++k) {
        std::array<Wide, DIMENSION_COUNT> row{};
        for (std::size_t g = 0; g < r; ++g) row[g] = search.groups[search.pivots[g]].change[k];
        bool independent = false;
        const std::size_t before = rows.size();
        if (!rows.add(row.data(), independent)) return false;
        if (independent) component[before] = k;
    }
    Square a;  // only its leading r-square is used
    double hadamard = 1.0;
    for (std::size_t g = 0; g < r; ++g) {
        double norm = 0.0;
        for (std::size_t i = 0; i < r; ++i) {
            a[i][g] = search.groups[search.pivots[g]].change[component[i]];
            norm += static_cast<double>(a[i][g]) * static_cast<double>(a[i][g]);
        }
        hadamard *= std::sqrt(norm);
    }
    if (hadamard > 1e24) return false;
    Wide det = r == 0 ? Wide{1} : determinant(a, r);
    if (det == 0) return false;  // cannot happen with independent rows; refuse rather than divide by it
    // The adjugate: totals = adjugate * (right-hand side) / det.
    Square adjugate;  // only its leading r-square is used
    for (std::size_t i = 0; i < r; ++i) {
        for (std::size_t j = 0; j < r; ++j) {
            Square minor;  // only its leading (r - 1)-square is written and read
            for (std::size_t x = 0, mx = 0; x < r; ++x) {
                if (x == j) continue;
                for (std::size_t y = 0, my = 0; y < r; ++y) {
                    if (y == i) continue;
                    minor[mx][my++] = a[x][y];
                }
                ++mx;
            }
            const Wide cofactor = r == 1 ? Wide{1} : determinant(minor, r - 1);
            adjugate[i][j] = (i + j) % 2 == 0 ? cofactor : -cofactor;
        }
    }
    if (det < 0) {
        det = -det;
        for (std::size_t i = 0; i < r; ++i) {
            for (std::size_t j = 0; j < r; ++j) adjugate[i][j] = -adjugate[i][j];
        }
    }
    if (det > CARRY_LIMIT) return false;
    search.scale = static_cast<std::int64_t>(det);

    const std::size_t f = search.free.size();
    auto apply = [&](std::size_t g, const WholeDimensions& v) {
        Wide sum = 0;
        for (std::size_t j = 0; j < r; ++j) sum += adjugate[g][j] * static_cast<Wide>(v[component[j]]);
        return sum;
    };
    search.carried.resize(r);
    search.step.resize(f * r);
    search.low.assign((f + 1) * r, 0);
    search.high.assign((f + 1) * r, 0);
    search.least.assign(f + 1, 0);
    for (std::size_t g = 0; g < r; ++g) {
        const Wide start = apply(g, space.start_rest);
        Wide reach = wide_abs(start) + static_cast<Wide>(search.scale) * search.groups[search.pivots[g]].range;
        std::array<Wide, 2> bounds{0, 0};
        for (std::size_t i = f; i-- > 0;) {
            const Wide one = apply(g, search.groups[search.free[i]].change);
            const Wide all = one * static_cast<Wide>(search.groups[search.free[i]].range);
            reach += wide_abs(all);
            if (reach > CARRY_LIMIT) return false;
            search.step[i * r + g] = static_cast<std::int64_t>(one);
            // Taking `all` away: the later groups' sums lie between these.
            bounds[0] += std::min<Wide>(0, -all);
            bounds[1] += std::max<Wide>(0, -all);
            search.low[i * r + g] = static_cast<std::int64_t>(bounds[0]);
            search.high[i * r + g] = static_cast<std::int64_t>(bounds[1]);
        }
        if (reach > CARRY_LIMIT) return false;
        search.carried[g] = static_cast<std::int64_t>(start);
    }
    // A step of free group i changes the scaled level by scale minus what it takes from the pivots.
    for (std::size_t i = f; i-- > 0;) {
        Wide change = search.scale;
        for (std::size_t g = 0; g < r; ++g) change -= search.step[i * r + g];
        const Wide all = change * static_cast<Wide>(search.groups[search.free[i]].range);
        search.least[i] = search.least[i + 1] + std::min<Wide>(0, all);
    }
    search.totals.assign(count, 0);
    search.left.assign(count, 0);
    search.candidate.assign(width, 0);
    search.best.reserve(width);
    return true;
}

}  // namespace

// `counted`: the statistics are wanted. Without them a search whose every map fits in the budget needs
// no counting at all.
Grouped grouped_search(const Space& space, std::uint64_t budget, bool counted, SearchStats& out, Pause& pause,
                       Arena& arena, std::int32_t* answer) {
    const std::size_t width = space.movable.size();
    GroupedSearch search(arena);
    search.space = &space;
    search.pause = &pause;
    if (!prepare(search, space)) return Grouped::Unsuitable;

    if (!counted) {
        Wide maps = 1;  // every map within reach, the start map included
        for (std::uint32_t range : space.range) {
            maps *= Wide{range} + 1;
            if (maps - 1 > Wide{budget}) break;
        }
        if (maps - 1 <= Wide{budget}) {
            std::uint64_t deepest = 0;
            for (std::uint32_t range : space.range) deepest += range;
            search.run(deepest);
            if (!search.found) return Grouped::None;
            decode(space, search.best.data(), answer);
            return Grouped::Found;
        }
    }

    // Level sizes of the level-by-level search, up to the first level that fills the budget.
    const Counter counter{budget == std::numeric_limits<std::uint64_t>::max() ? budget : budget + 1};
    std::uint64_t deepest = 0;  // the sum of all ranges
    for (std::uint32_t range : space.range) deepest += range;
    std::pmr::vector<std::uint64_t> sizes(&arena);
    std::pmr::vector<std::uint64_t> before(&arena);  // before[l]: maps of levels 1 .. l - 1
    for (std::uint64_t degree = std::min<std::uint64_t>(deepest, 16);; degree = std::min(deepest, degree * 2)) {
        sizes.assign(static_cast<std::size_t>(degree) + 1, 0);
        sizes[0] = 1;
        for (std::uint32_t range : space.range) times_run(sizes, range, counter);
        pause.note(degree * width);
        before.assign(sizes.size() + 1, 0);
        for (std::size_t l = 1; l < sizes.size(); ++l) before[l + 1] = counter.clamp(Wide{before[l]} + sizes[l]);
        if (before.back() >= budget || degree == deepest) break;
    }
    const std::uint64_t reached = before.back();  // maps of levels 1 .. degree
    // Levels whose first map lies within the budget.
    std::uint64_t last_level = 0;
    while (last_level + 1 < sizes.size() && before[last_level + 1] < budget) ++last_level;

    search.run(last_level);

    auto exhausted = [&] {
        std::uint32_t levels = 0;
        while (levels + 1 < sizes.size() && before[levels + 1] < budget) ++levels;
        // The first level whose end reaches the budget.
        out.levels = levels;
        out.maps_examined = budget;
        return Grouped::OutOfBudget;
    };
    if (!search.found) {
        if (sizes.size() - 1 == deepest && reached <= budget) {
            out.levels = static_cast<std::uint32_t>(deepest);
            out.maps_examined = reached;
            return Grouped::None;
        }
        return exhausted();
    }

    // The answer's position in its level: the maps of the level that are lexicographically larger.
    const std::uint64_t level = search.best_level;
    std::pmr::vector<std::uint64_t> prefix(width + 1, 0, &arena);
    for (std::size_t m = 0; m < width; ++m) prefix[m + 1] = prefix[m] + search.best[m];
    std::pmr::vector<std::uint64_t> ways(static_cast<std::size_t>(level) + 1, 0, &arena);
    ways[0] = 1;  // ways[x]: step counts of the units after m with x steps in all
    Wide larger = 0;
    for (std::size_t m = width; m-- > 0;) {
        const std::uint64_t rest = level - prefix[m];
        const std::uint64_t most = std::min<std::uint64_t>(space.range[m], rest);
        for (std::uint64_t v = std::uint64_t{search.best[m]} + 1; v <= most && larger < budget; ++v) {
            larger += ways[static_cast<std::size_t>(rest - v)];
        }
        times_run(ways, space.range[m], counter);
    }
    pause.note(level * width);
    const std::uint64_t position = counter.clamp(Wide{before[static_cast<std::size_t>(level)]} + larger);
    if (position >= budget) return exhausted();
    out.levels = static_cast<std::uint32_t>(level);
    out.maps_examined = position + 1;
    decode(space, search.best.data(), answer);
    return Grouped::Found;
}


Quick one_group_search(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                       std::size_t n, const Dimensions& dimensions, std::uint64_t budget, std::int32_t* answer) {
    constexpr std::size_t MOST = 16;
    if (n > MOST) return Quick::Unsuitable;
    for (double component : dimensions) {
        if (!is_whole(component, WHOLE_TARGET_LIMIT)) return Quick::Unsuitable;
    }
    WholeDimensions rest{};
    for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) rest[k] = static_cast<std::int64_t>(dimensions[k]);
    WholeDimensions change{};
    std::array<std::int32_t, MOST> direction{};
    std::int64_t steps = 0;  // the group's range
    Wide maps = 1;
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        const Dimensions& unit = *units[i];
        WholeDimensions own;
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
            if (!is_whole(unit[k], WHOLE_UNIT_LIMIT)) return Quick::Unsuitable;
            own[k] = static_cast<std::int64_t>(unit[k]);
            if (start[i] != 0) rest[k] -= own[k] * start[i];
        }
        const std::int64_t from = start[i];
        const std::int64_t to = target[i];
        if (from < to && to > 0) direction[i] = 1;
        if (from > to && to < 0) direction[i] = -1;
        if (direction[i] == 0) continue;
        if (direction[i] < 0) {
            for (std::int64_t& component : own) component = -component;
        }
        if (!first && own != change) return Quick::Unsuitable;
        change = own;
        first = false;
        const std::int64_t range = to > from ? to - from : from - to;
        steps += range;
        maps *= Wide{range} + 1;
        if (maps - 1 > Wide{budget}) return Quick::Unsuitable;
    }
    if (first) return Quick::None;
    // The group's total t solves t * change = rest.
    std::int64_t t = 1;  // a change of zero: one step is the shortest
    std::size_t k = 0;
    while (k < DIMENSION_COUNT && change[k] == 0) ++k;
    if (k < DIMENSION_COUNT) {
        if (rest[k] % change[k] != 0) return Quick::None;
        t = rest[k] / change[k];
    }
    if (t < 1 || t > steps) return Quick::None;
    for (std::size_t j = 0; j < DIMENSION_COUNT; ++j) {
        if (rest[j] != t * change[j]) return Quick::None;
    }
    for (std::size_t i = 0; i < n; ++i) {
        answer[i] = start[i];
        if (direction[i] == 0) continue;
        const std::int64_t range = target[i] > start[i] ? std::int64_t{target[i]} - start[i]
                                                        : std::int64_t{start[i]} - target[i];
        const std::int64_t taken = std::min(range, t);
        t -= taken;
        answer[i] = static_cast<std::int32_t>(start[i] + direction[i] * taken);
    }
    return Quick::Found;
}


}  // namespace tarvel::search_detail
