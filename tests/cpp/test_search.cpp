#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "error/tarvel_error.hpp"
#include "unit/search.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using tarvel::Dimensions;
using tarvel::IntExponentMap;
using tarvel::SearchOptions;
using tarvel::SearchStats;
using tarvel::SingleUnit;

namespace {

using Exponents = std::vector<std::int32_t>;

// A unit of fractional dimensions: maps that hold it are checked in floating point, not with integers.
const SingleUnit& half_unit() {
    static const SingleUnit half =
        SingleUnit::make("half", "hf", 0, 1, Dimensions{0, 0, 0, 0, 0.5, 0.5, 0, -1.5});
    return half;
}

SingleUnit unit(const std::string& symbol) {
    if (symbol == "hf") return half_unit();
    auto found = tarvel::search_for_unit_name(symbol);
    REQUIRE_MESSAGE(found.has_value(), symbol << " is not in the catalogue");
    return *found;
}

std::shared_ptr<const IntExponentMap::Units> units_of(const std::vector<std::string>& symbols) {
    IntExponentMap::Units units;
    for (const auto& symbol : symbols) units.push_back(unit(symbol));
    return std::make_shared<const IntExponentMap::Units>(std::move(units));
}

Dimensions dimensions_of(const IntExponentMap::Units& units, const Exponents& exponents) {
    Dimensions sum{};
    for (std::size_t i = 0; i < units.size(); ++i) {
        for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += exponents[i] * units[i].dimensions()[k];
    }
    return sum;
}

// Worker threads on every level, however small.
SearchOptions pooled(unsigned threads) {
    SearchOptions options;
    options.threads = threads;
    options.parallel_level = 1;
    return options;
}

// The search as its rules state it, with no cleverness: every map of a level steps every unit that may
// step, in map order, and maps seen before are skipped.
struct Reference {
    std::optional<Exponents> found;
    std::uint64_t examined = 0;
};

Reference reference_search(const IntExponentMap::Units& units, const Exponents& target,
                           const Exponents& start, const Dimensions& goal) {
    Reference out;
    std::vector<Exponents> level{start};
    std::set<Exponents> seen{start};
    while (!level.empty()) {
        std::vector<Exponents> next;
        for (const auto& map : level) {
            for (std::size_t i = 0; i < map.size(); ++i) {
                Exponents successor = map;
                if (map[i] < target[i] && target[i] > 0) {
                    ++successor[i];
                } else if (map[i] > target[i] && target[i] < 0) {
                    --successor[i];
                } else {
                    continue;
                }
                if (!seen.insert(successor).second) continue;
                ++out.examined;
                if (tarvel::dimensions_equal(dimensions_of(units, successor), goal)) {
                    out.found = successor;
                    return out;
                }
                next.push_back(std::move(successor));
            }
        }
        level = std::move(next);
    }
    return out;
}

}  // namespace

TEST_CASE("to_int_exponent truncates toward zero and saturates") {
    constexpr std::int32_t top = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t bottom = std::numeric_limits<std::int32_t>::min();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        std::int32_t out;
    } cases[] = {
        {2.9, 2},    {-2.9, -2},     {-0.0, 0},         {1e10, top},
        {-1e10, bottom}, {inf, top}, {-inf, bottom},    {std::nan(""), 0},
        {2147483646.5, 2147483646},  {-2147483647.5, -2147483647},
    };
    for (const auto& c : cases) {
        CAPTURE(c.in);
        CHECK(tarvel::to_int_exponent(c.in) == c.out);
    }
}

TEST_CASE("check_satisfies_base_units") {
    const auto units = units_of({"N", "m", "s", "hf"});
    const struct {
        Exponents exponents;
        Dimensions target;
        bool satisfies;
    } cases[] = {
        {{1, 0, 0, 0}, unit("N").dimensions(), true},
        {{1, 1, 0, 0}, unit("J").dimensions(), true},
        {{1, 0, 0, 0}, unit("J").dimensions(), false},
        {{0, 1, -1, 0}, Dimensions{0, 0, 0, 0, 0, 1, 0, -1}, true},
        {{3, -3, 6, 0}, Dimensions{0, 0, 0, 0, 3, 0, 0, 0}, true},
        {{-2, 0, 0, 0}, Dimensions{0, 0, 0, 0, -2, -2, 0, 4}, true},
        {{0, 0, 0, 0}, tarvel::NO_DIMENSIONS, true},
        {{0, 0, 0, 0}, unit("N").dimensions(), false},
        {{0, 0, 0, 3}, Dimensions{0, 0, 0, 0, 1.5, 1.5, 0, -4.5}, true},
    };
    for (const auto& c : cases) {
        CAPTURE(dimensions_of(*units, c.exponents)[4]);
        const IntExponentMap map(units, c.exponents);
        CHECK(tarvel::check_satisfies_base_units(map, c.target) == c.satisfies);
    }
    // The empty map satisfies only the zero vector.
    CHECK(tarvel::check_satisfies_base_units(IntExponentMap(), tarvel::NO_DIMENSIONS));
    CHECK_FALSE(tarvel::check_satisfies_base_units(IntExponentMap(), Dimensions{0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST_CASE("integer exponent maps convert to unit maps and back, zero exponents kept") {
    const IntExponentMap map(units_of({"N", "m"}), {0, -3});
    const tarvel::UnitMap back = map.to_unit_map();
    REQUIRE(back.size() == 2);
    CHECK(back[0].unit.symbol() == "N");
    CHECK(back[0].exponent == 0.0);
    CHECK(back[1].exponent == -3.0);
    CHECK(IntExponentMap::from_unit_map(back) == map);
    CHECK_THROWS_AS(map.with_exponents({1, 2, 3}), tarvel::InternalError);
}

TEST_CASE("the search") {
    SUBCASE("nothing can move: no result and no work") {
        const auto units = units_of({"N", "m"});
        const IntExponentMap target(units, {1, 0});
        SearchStats stats;
        CHECK_FALSE(tarvel::simplify_mapping_algorithm(target, target, unit("J").dimensions(), {}, &stats));
        CHECK(stats.maps_examined == 0);
        CHECK(stats.levels == 0);
        // An exponent already past its target does not move, nor one whose target is 0.
        CHECK_FALSE(tarvel::simplify_mapping_algorithm(target, IntExponentMap(units, {2, 5}), {}));
    }
    SUBCASE("a solution one step away is found by the first level, in map order") {
        const IntExponentMap target(units_of({"W", "s", "N", "J"}), {1, 1, 1, -1});
        SearchStats stats;
        const auto found = tarvel::simplify_mapping_algorithm(target, target.with_exponents({0, 0, 0, 0}),
                                                              unit("N").dimensions(), {}, &stats);
        REQUIRE(found);
        CHECK(found->exponents() == Exponents{0, 0, 1, 0});
        CHECK(stats.levels == 1);
        CHECK(stats.maps_examined == 3);  // watt, second, then newton
    }
    SUBCASE("of two satisfying successors the first in map order wins") {
        const Dimensions length{0, 0, 0, 0, 0, 1, 0, 0};
        for (const auto& order : {std::vector<std::string>{"m", "ft"}, std::vector<std::string>{"ft", "m"}}) {
            const IntExponentMap target(units_of(order), {1, 1});
            const auto found =
                tarvel::simplify_mapping_algorithm(target, target.with_exponents({0, 0}), length);
            REQUIRE(found);
            CHECK(found->exponents() == Exponents{1, 0});
        }
    }
    SUBCASE("newton metre to the k: the target itself, after k levels") {
        const auto units = units_of({"N", "m"});
        for (std::int32_t k : {1, 2, 5, 9}) {
            const IntExponentMap target(units, {k, k});
            SearchStats stats;
            const auto found = tarvel::simplify_mapping_algorithm(target, target.with_exponents({k, 0}),
                                                                  dimensions_of(*units, {k, k}), {}, &stats);
            REQUIRE(found);
            CHECK(*found == target);
            CHECK(stats.levels == static_cast<std::uint32_t>(k));
            CHECK(stats.maps_examined == static_cast<std::uint64_t>(k));
        }
    }
    SUBCASE("negative targets step downward") {
        // J2/W2 is s2: watt steps down, joule up; second steps down only, away from s2.
        const IntExponentMap target(units_of({"W", "J", "s"}), {-2, 2, -2});
        const auto found = tarvel::simplify_mapping_algorithm(target, target.with_exponents({0, 0, 0}),
                                                              Dimensions{0, 0, 0, 0, 0, 0, 0, 2});
        REQUIRE(found);
        CHECK(found->exponents() == Exponents{-2, 2, 0});
    }
    SUBCASE("maps over different units are refused") {
        const IntExponentMap a(units_of({"N", "m"}), {1, 1});
        const IntExponentMap b(units_of({"N", "s"}), {0, 0});
        CHECK_THROWS_AS(tarvel::simplify_mapping_algorithm(a, b, {}), tarvel::InternalError);
    }
}

TEST_CASE("the search agrees with a plain breadth-first search") {
    const std::vector<std::string> pool{"m", "s", "kg", "N", "J", "W", "Pa", "Hz",
                                        "V", "A", "C", "T", "Wb", "ft", "hf"};
    std::mt19937 random(77);
    std::uniform_int_distribution<std::size_t> size(1, 6);
    std::uniform_int_distribution<int> exponent(-3, 3);
    std::uniform_int_distribution<int> choice(0, 3);
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<std::string> symbols = pool;
        std::shuffle(symbols.begin(), symbols.end(), random);
        symbols.resize(size(random));
        const auto units = units_of(symbols);
        Exponents target;
        Exponents start;
        Exponents goal_map;
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            target.push_back(exponent(random));
            // Mostly as simplify starts (0, or fixed at the target); sometimes anywhere, even past it.
            const int how = choice(random);
            start.push_back(how == 0 ? target.back() : how == 3 ? exponent(random) : 0);
            goal_map.push_back(choice(random) == 0 ? exponent(random) : target.back());
        }
        const Dimensions goal = dimensions_of(*units, goal_map);
        const Reference expected = reference_search(*units, target, start, goal);
        const IntExponentMap target_map(units, target);
        for (const SearchOptions& options : {SearchOptions{}, pooled(3)}) {
            CAPTURE(trial);
            SearchStats stats;
            const auto found = tarvel::simplify_mapping_algorithm(
                target_map, target_map.with_exponents(start), goal, options, &stats);
            REQUIRE(found.has_value() == expected.found.has_value());
            if (found) CHECK(found->exponents() == *expected.found);
            CHECK(stats.maps_examined == expected.examined);
        }
    }
}

namespace {

// Ten units and a solution six levels deep, with levels of hundreds of maps.
struct LargeSearch {
    std::shared_ptr<const IntExponentMap::Units> units =
        units_of({"W", "J", "N", "Pa", "V", "Wb", "T", "H", "C", "S"});
    IntExponentMap target{units, Exponents(10, 3)};
    IntExponentMap start = target.with_exponents(Exponents(10, 0));
    Dimensions goal = dimensions_of(*units, {1, 0, 2, 0, 0, 1, 0, 2, 1, 0});
};

}  // namespace

// The level-by-level search shares large levels out among worker threads; the grouped search must agree
// with it whichever way it ran.
TEST_CASE("the search gives the same answer on the calling thread and on worker threads") {
    const LargeSearch search;
    SearchOptions serial;
    serial.threads = 1;
    SearchStats serial_stats;
    const auto expected =
        tarvel::simplify_mapping_algorithm(search.target, search.start, search.goal, serial, &serial_stats);
    REQUIRE(expected);
    REQUIRE(serial_stats.levels >= 4);
    CHECK(serial_stats.threads_used == 1);

    for (unsigned threads : {2u, 3u, 4u}) {
        for (int run = 0; run < 10; ++run) {
            SearchStats stats;
            const auto found = tarvel::reference_mapping_search(search.target, search.start, search.goal,
                                                                pooled(threads), &stats);
            REQUIRE(found);
            CHECK(*found == *expected);
            CHECK(stats.maps_examined == serial_stats.maps_examined);
            CHECK(stats.threads_used == threads);
        }
    }

    SUBCASE("and on the calling thread alone when no thread can be started") {
        SearchOptions refused = pooled(4);
        refused.refuse_threads = true;
        SearchStats stats;
        const auto found =
            tarvel::reference_mapping_search(search.target, search.start, search.goal, refused, &stats);
        REQUIRE(found);
        CHECK(*found == *expected);
        CHECK(stats.threads_used == 1);
    }
}

TEST_CASE("the search is bounded: out of budget it answers with the target map") {
    // Independent units: only the target map reproduces its vector, and it is the last of 5^8 maps.
    const auto units = units_of({"m", "s", "kg", "A", "K", "mol", "cd", "USD"});
    const IntExponentMap target(units, {4, 4, -4, 4, 4, -4, 4, 4});
    const IntExponentMap start = target.with_exponents(Exponents(8, 0));
    const Dimensions target_vector = dimensions_of(*units, target.exponents());
    for (const SearchOptions& base : {SearchOptions{}, pooled(3)}) {
        for (std::uint64_t budget : {1, 37, 5000}) {
            SearchOptions options = base;
            options.map_budget = budget;
            SearchStats stats;
            const auto found =
                tarvel::simplify_mapping_algorithm(target, start, target_vector, options, &stats);
            REQUIRE(found);
            CHECK(*found == target);
            CHECK(stats.budget_exhausted);
            CHECK(stats.maps_examined == budget);
        }
    }
    SUBCASE("the default budget") {
        SearchStats stats;
        const auto found = tarvel::simplify_mapping_algorithm(target, start, target_vector, {}, &stats);
        REQUIRE(found);
        CHECK(*found == target);
        CHECK(stats.budget_exhausted);
        CHECK(stats.maps_examined == tarvel::DEFAULT_SEARCH_MAP_BUDGET);
    }
    SUBCASE("a target map that does not reproduce the vector is no answer") {
        SearchOptions options;
        options.map_budget = 10;
        CHECK_FALSE(tarvel::simplify_mapping_algorithm(target, start, tarvel::NO_DIMENSIONS, options));
    }
}

TEST_CASE("the grouped search reproduces the level-by-level search, statistics and budget included") {
    // Several units of each dimension (and opposite ones: s and Hz step alike toward opposite signs), so
    // that groups of interchangeable units are common; larger exponents than above, and small budgets
    // that cut the level-by-level search at every point of a level.
    const std::vector<std::string> pool{"m", "ft", "in", "km", "s", "min", "ms", "Hz", "J", "eV", "cal",
                                        "N", "lbf", "W", "kg", "lb", "Pa", "psi", "C", "A", "V", "hf"};
    std::mt19937 random(1717);
    std::uniform_int_distribution<std::size_t> size(2, 9);
    std::uniform_int_distribution<int> exponent(-5, 5);
    std::uniform_int_distribution<int> choice(0, 5);
    const std::uint64_t budgets[] = {1, 2, 7, 60, 999, tarvel::DEFAULT_SEARCH_MAP_BUDGET};
    SearchOptions serial;
    serial.threads = 1;
    int found_some = 0;
    int exhausted_some = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        std::vector<std::string> symbols;
        for (std::size_t i = 0, n = size(random); i < n; ++i) {
            symbols.push_back(pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)]);
        }
        const auto units = units_of(symbols);
        Exponents target;
        Exponents start;
        Exponents goal_map;
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            target.push_back(exponent(random));
            start.push_back(choice(random) == 0 ? target.back() : choice(random) == 0 ? exponent(random) : 0);
            goal_map.push_back(choice(random) < 2 ? exponent(random) : target.back());
        }
        const Dimensions goal = dimensions_of(*units, goal_map);
        SearchOptions options = serial;
        options.map_budget = budgets[static_cast<std::size_t>(trial) % std::size(budgets)];
        const IntExponentMap target_map(units, target);
        const IntExponentMap start_map = target_map.with_exponents(start);
        SearchStats want;
        SearchStats got;
        const auto expected = tarvel::reference_mapping_search(target_map, start_map, goal, options, &want);
        const auto found = tarvel::simplify_mapping_algorithm(target_map, start_map, goal, options, &got);
        CAPTURE(trial);
        REQUIRE(found.has_value() == expected.has_value());
        if (found) CHECK(found->exponents() == expected->exponents());
        CHECK(got.maps_examined == want.maps_examined);
        CHECK(got.levels == want.levels);
        CHECK(got.budget_exhausted == want.budget_exhausted);
        // Without statistics small searches take shortcuts (no counting, a single group solved directly).
        std::vector<const Dimensions*> dimensions;
        for (const SingleUnit& u : *units) dimensions.push_back(&u.dimensions());
        std::vector<std::int32_t> answer(symbols.size());
        const bool quick = tarvel::search_exponents(dimensions.data(), target.data(), start.data(),
                                                    symbols.size(), goal, answer.data(), options);
        REQUIRE(quick == expected.has_value());
        if (quick) CHECK(answer == expected->exponents());
        found_some += found && !want.budget_exhausted;
        exhausted_some += want.budget_exhausted;
    }
    // Both outcomes are well represented, or the comparison above says little.
    CHECK(found_some > 150);
    CHECK(exhausted_some > 100);
}

TEST_CASE("search_exponents answers on plain arrays as the map search does") {
    const LargeSearch search;
    std::vector<const Dimensions*> dimensions;
    for (const SingleUnit& u : *search.units) dimensions.push_back(&u.dimensions());
    std::vector<std::int32_t> answer(dimensions.size(), 99);
    SearchStats stats;
    REQUIRE(tarvel::search_exponents(dimensions.data(), search.target.exponents().data(),
                                     search.start.exponents().data(), dimensions.size(), search.goal,
                                     answer.data(), {}, &stats));
    const auto expected = tarvel::reference_mapping_search(search.target, search.start, search.goal);
    REQUIRE(expected);
    CHECK(answer == expected->exponents());
}

TEST_CASE("a search inside a pause scope releases once past its threshold and reacquires before returning") {
    static int released = 0;
    static int reacquired = 0;
    static int token = 0;
    released = reacquired = 0;
    tarvel::SearchPauseHooks hooks;
    hooks.release = [] () -> void* { ++released; return &token; };
    hooks.reacquire = [](void* value) {
        CHECK(value == &token);
        CHECK(released == reacquired + 1);
        ++reacquired;
    };
    hooks.after = 64;
    const LargeSearch search;
    const auto expected = tarvel::simplify_mapping_algorithm(search.target, search.start, search.goal);
    {
        const tarvel::SearchPauseScope scope(hooks);
        // A small search stays under the threshold.
        const IntExponentMap small(units_of({"m", "ft"}), {1, 1});
        CHECK(tarvel::simplify_mapping_algorithm(small, small.with_exponents({0, 0}),
                                                 dimensions_of(*small.shared_units(), {1, 1})));
        CHECK(released == 0);
        for (bool reference : {false, true}) {
            const auto found =
                reference ? tarvel::reference_mapping_search(search.target, search.start, search.goal)
                          : tarvel::simplify_mapping_algorithm(search.target, search.start, search.goal);
            REQUIRE(found);
            CHECK(*found == *expected);
        }
        CHECK(released == 2);
        CHECK(reacquired == 2);
    }
    // Outside the scope the hooks are never called.
    CHECK(tarvel::simplify_mapping_algorithm(search.target, search.start, search.goal));
    CHECK(released == 2);
}

TEST_CASE("searches over units of fractional dimensions answer as the search by its rules does") {
    // hf has dimensions in halves: its searches are scaled onto the whole-number path.
    const std::vector<std::string> pool{"hf", "m", "ft", "N", "J", "s"};
    std::mt19937 random(91);
    std::uniform_int_distribution<std::size_t> size(2, 5);
    std::uniform_int_distribution<int> exponent(-4, 4);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::string> symbols = pool;
        std::shuffle(symbols.begin() + 1, symbols.end(), random);
        symbols.resize(size(random));
        const auto units = units_of(symbols);
        Exponents target;
        Exponents goal_map;
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            target.push_back(exponent(random));
            goal_map.push_back(random() % 3 == 0 ? exponent(random) : target.back());
        }
        const Exponents start(symbols.size(), 0);
        const Dimensions goal = dimensions_of(*units, goal_map);
        const Reference expected = reference_search(*units, target, start, goal);
        const IntExponentMap target_map(units, target);
        CAPTURE(trial);
        SearchStats stats;
        const auto found =
            tarvel::simplify_mapping_algorithm(target_map, target_map.with_exponents(start), goal, {}, &stats);
        REQUIRE(found.has_value() == expected.found.has_value());
        if (found) CHECK(found->exponents() == *expected.found);
        CHECK(stats.maps_examined == expected.examined);
    }
}
