#include <doctest/doctest.h>

#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "unit/unit_map.hpp"

using tarvel::SingleUnit;
using tarvel::UnitMap;

namespace {

// The map's answer as a plain scan would give it.
std::size_t scanned(const UnitMap& map, const SingleUnit& unit) {
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (map[i].unit.record() == unit.record()) return i;
    }
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (map[i].unit == unit) return i;
    }
    return UnitMap::npos;
}

SingleUnit numbered(std::size_t i) {
    // A few names repeat with other fields, so equal hashes meet units that are not equal.
    std::string name = "unit ";
    name += std::to_string(i % 97);
    std::string symbol = "u";
    symbol += std::to_string(i);
    return SingleUnit::make(std::move(name), std::move(symbol), 0.0, 1.0 + static_cast<double>(i / 97), {});
}

}  // namespace

TEST_CASE("find agrees with a scan through pushes, erasures, copies and moves, small and large") {
    std::mt19937 rng(17);
    std::vector<SingleUnit> pool;
    for (std::size_t i = 0; i < 600; ++i) pool.push_back(numbered(i));
    for (int round = 0; round < 40; ++round) {
        UnitMap map;
        if (round % 3 == 0) map.reserve(1 + rng() % 200);
        const std::size_t steps = 50 + rng() % 700;
        for (std::size_t step = 0; step < steps; ++step) {
            const SingleUnit& unit = pool[rng() % pool.size()];
            const unsigned action = rng() % 10;
            if (action < 7) {
                if (map.find(unit) == UnitMap::npos) map.push_back(unit, static_cast<double>(step));
            } else if (action < 9 && !map.empty()) {
                map.erase_at(rng() % map.size());
            } else if (rng() % 2 == 0) {
                UnitMap copy(map);
                map = std::move(copy);
            } else {
                UnitMap copy;
                copy = map;
                map = copy;
            }
            // A unit of its own record with the same fields finds the held entry too.
            const SingleUnit twin =
                SingleUnit::make(unit.name(), unit.symbol(), unit.offset(), unit.factor(), unit.dimensions());
            for (const SingleUnit& probe : {unit, twin, pool[rng() % pool.size()]}) {
                REQUIRE(map.find(probe) == scanned(map, probe));
            }
        }
        for (std::size_t i = 0; i < map.size(); ++i) CHECK(map.find(map[i].unit) == i);
    }
}

TEST_CASE("erasing many positions together equals erasing them one by one, and find still agrees") {
    std::mt19937 rng(23);
    for (std::size_t size : {5u, 31u, 32u, 100u, 700u}) {
        UnitMap together;
        for (std::size_t i = 0; i < size; ++i) together.push_back(numbered(i), static_cast<double>(i));
        UnitMap one_by_one = together;
        std::vector<std::uint32_t> positions;
        for (std::uint32_t i = 0; i < size; ++i) {
            if (rng() % 3 != 0) positions.push_back(i);
        }
        together.erase_sorted(positions.data(), positions.size());
        for (std::size_t k = positions.size(); k-- > 0;) one_by_one.erase_at(positions[k]);
        REQUIRE(together.size() == one_by_one.size());
        for (std::size_t i = 0; i < together.size(); ++i) {
            CHECK(together[i].unit == one_by_one[i].unit);
            CHECK(together[i].exponent == one_by_one[i].exponent);
        }
        for (std::size_t i = 0; i < size; ++i) CHECK(together.find(numbered(i)) == scanned(together, numbered(i)));
        together.push_back(numbered(size), 1.0);
        CHECK(together.find(numbered(size)) == together.size() - 1);
    }
}
