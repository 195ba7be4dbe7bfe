#include "unit/single_unit/single_unit.hpp"

#include <utility>

namespace tarvel {

bool unit_fields_equal(const UnitRecord& a, const UnitRecord& b) noexcept {
    return a.factor == b.factor && a.offset == b.offset && a.name == b.name && a.symbol == b.symbol &&
           dimensions_equal(a.dimensions, b.dimensions);
}

std::size_t hash_unit_name(std::string_view name) noexcept {
    // FNV-1a: depends on the name alone and is the same in every run.
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

SingleUnit SingleUnit::make(std::string name, std::string symbol, double offset, double factor,
                            const Dimensions& dimensions) {
    auto* record = new UnitRecord;
    record->name_hash = hash_unit_name(name);
    record->name = std::move(name);
    record->symbol = std::move(symbol);
    record->offset = offset;
    record->factor = factor;
    record->dimensions = dimensions;
    return SingleUnit(record);
}

void SingleUnit::release_counted() noexcept {
    if (record_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete record_;
}

}  // namespace tarvel
