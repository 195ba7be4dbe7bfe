// Equality and hashing of single units.

#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "unit/unit_defs/unit_defs.hpp"

using namespace tarvel;

namespace {

constexpr Dimensions LENGTH{0, 0, 0, 0, 0, 1, 0, 0};

}  // namespace

TEST_CASE("catalogue units compare by record and by fields") {
    const SingleUnit meter = create_from_unit_def_static(UNITS[5]);
    const SingleUnit again = create_from_unit_def_static(UNITS[5]);
    const SingleUnit copy = SingleUnit::make("meter", "m", 0.0, 1.0, LENGTH);
    CHECK(meter == again);
    CHECK(meter == copy);
    CHECK(meter.hash() == copy.hash());

    const auto km = search_for_unit_name("km");
    REQUIRE(km);
    CHECK_FALSE(meter == *km);
    CHECK(meter.name() != km->name());
    CHECK(meter.symbol() != km->symbol());
    CHECK(meter.factor() != km->factor());
}

TEST_CASE("each field takes part in equality; only the name in the hash") {
    const SingleUnit base = SingleUnit::make("unit", "u", 0.0, 2.0, LENGTH);
    Dimensions area = LENGTH;
    area[5] = 2;
    const SingleUnit variants[] = {
        SingleUnit::make("unit", "v", 0.0, 2.0, LENGTH),  // symbol
        SingleUnit::make("unit", "u", 1.0, 2.0, LENGTH),  // offset
        SingleUnit::make("unit", "u", 0.0, 3.0, LENGTH),  // factor
        SingleUnit::make("unit", "u", 0.0, 2.0, area),    // dimensions
    };
    for (const SingleUnit& other : variants) {
        CHECK_FALSE(base == other);
        CHECK(SingleUnitHash{}(base) == SingleUnitHash{}(other));
    }
    const SingleUnit renamed = SingleUnit::make("unit2", "u", 0.0, 2.0, LENGTH);
    CHECK_FALSE(base == renamed);

    // All five "unit" variants are distinct keys of a hashed set despite sharing a hash.
    std::unordered_set<SingleUnit, SingleUnitHash> set{base};
    for (const SingleUnit& other : variants) set.insert(other);
    set.insert(SingleUnit::make("unit", "u", 0.0, 2.0, LENGTH));
    CHECK(set.size() == 5);
}

TEST_CASE("floating-point equality of fields: NaN and signed zero") {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SingleUnit a = SingleUnit::make("odd", "o", 0.0, nan, LENGTH);
    const SingleUnit b = SingleUnit::make("odd", "o", 0.0, nan, LENGTH);
    CHECK_FALSE(a == b);
    CHECK_FALSE(unit_fields_equal(*a.record(), *a.record()));

    Dimensions negative_zeros{};
    for (double& d : negative_zeros) d = -0.0;
    negative_zeros[5] = 1;
    CHECK(SingleUnit::make("meter", "m", -0.0, 1.0, negative_zeros) == create_from_unit_def_static(UNITS[5]));
}
