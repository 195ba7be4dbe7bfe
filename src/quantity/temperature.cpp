#include "quantity/temperature.hpp"

#include <array>
#include <utility>

#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {

namespace {

// One row per catalogue unit with an offset: the unit and the offset-free unit of its degree size.
struct IntervalRow {
    const UnitRecord* absolute = nullptr;
    SharedUnits interval;
};

// The first offset-free catalogue row of equal factor and dimensions (base units first): kelvin for
// degree Celsius, Rankine for degree Fahrenheit.
std::optional<SingleUnit> interval_unit_of(const UnitDefinition& row) {
    auto matches = [&row](const UnitDefinition& candidate) {
        return candidate.offset == 0.0 && candidate.factor == row.factor &&
               dimensions_equal(candidate.dimensions, row.dimensions);
    };
    for (const UnitDefinition& candidate : BASE_UNITS) {
        if (matches(candidate)) return create_from_unit_def_static(candidate);
    }
    for (const UnitDefinition& candidate : UNITS) {
        if (matches(candidate)) return create_from_unit_def_static(candidate);
    }
    return std::nullopt;
}

// Built once; the catalogue's records live for the whole process, so the rows can name them by address.
struct IntervalTable {
    std::array<IntervalRow, 4> rows{};
    std::size_t size = 0;

    IntervalTable() {
        for (const UnitDefinition& row : UNITS) {
            if (row.offset == 0.0 || size == rows.size()) continue;
            std::optional<SingleUnit> interval = interval_unit_of(row);
            if (!interval) continue;
            const SingleUnit absolute = create_from_unit_def_static(row);
            rows[size++] = IntervalRow{absolute.record(), SharedUnits(UnitCollection::single(*interval))};
        }
    }
};

const IntervalTable& interval_table() {
    static const IntervalTable table;
    return table;
}

}  // namespace

bool is_absolute_temperature(const UnitCollection& units) noexcept {
    return units.unit_map.size() == 1 && units.unit_map[0].exponent == 1.0 && units.unit_map[0].unit.offset() != 0.0;
}

std::optional<SharedUnits> temperature_interval_units(const SharedUnits& units) {
    if (!is_absolute_temperature(units)) return std::nullopt;
    const SingleUnit& unit = units->unit_map[0].unit;
    const IntervalTable& table = interval_table();
    for (std::size_t i = 0; i < table.size; ++i) {
        const IntervalRow& row = table.rows[i];
        if (row.absolute == unit.record() || unit_fields_equal(*row.absolute, *unit.record())) return row.interval;
    }
    // Offsets exist only in the catalogue: custom units drop them and prefixed ones are refused.
    return std::nullopt;
}

}  // namespace tarvel
