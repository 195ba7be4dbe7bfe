#pragma once
// One unit of measure: name, symbol, offset, factor and dimension vector.
//
// A SingleUnit is a value to its users but shares an immutable record underneath: catalogue rows and
// prefixed catalogue units live for the whole process (no reference counting at all), user-defined
// units are reference-counted records. Copying a SingleUnit therefore never copies strings.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvel {

inline constexpr std::size_t DIMENSION_COUNT = 8;

// Exponents of the base dimensions, in the order USD, ampere, candela, kelvin, kilogram, meter, mole,
// second.
using Dimensions = std::array<double, DIMENSION_COUNT>;

inline constexpr Dimensions NO_DIMENSIONS{};

// Exact comparison, component by component (0.0 equals -0.0, NaN equals nothing).
inline bool dimensions_equal(const Dimensions& a, const Dimensions& b) noexcept {
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        if (!(a[i] == b[i])) return false;
    }
    return true;
}

// True when every component of a equals the negated component of b.
inline bool dimensions_opposite(const Dimensions& a, const Dimensions& b) noexcept {
    for (std::size_t i = 0; i < DIMENSION_COUNT; ++i) {
        if (!(a[i] == -b[i])) return false;
    }
    return true;
}

struct UnitRecord {
    std::string name;
    std::string symbol;
    double offset = 0.0;
    double factor = 1.0;
    Dimensions dimensions{};
    std::size_t name_hash = 0;
    // Records that live for the whole process are never counted.
    bool immortal = false;
    mutable std::atomic<std::uint32_t> references{1};
};

// Field-by-field equality of two records: factor and offset by floating-point equality, name and symbol
// byte for byte, every dimension by floating-point equality.
bool unit_fields_equal(const UnitRecord& a, const UnitRecord& b) noexcept;

std::size_t hash_unit_name(std::string_view name) noexcept;

class SingleUnit {
public:
    // A user-defined (reference-counted) unit.
    static SingleUnit make(std::string name, std::string symbol, double offset, double factor,
                           const Dimensions& dimensions);
    // A unit backed by a record that outlives every SingleUnit (catalogue and prefixed units). The record
    // must have `immortal` set.
    static SingleUnit from_immortal(const UnitRecord* record) noexcept { return SingleUnit(record); }

    SingleUnit(const SingleUnit& other) noexcept : record_(other.record_) { retain(); }
    SingleUnit(SingleUnit&& other) noexcept : record_(other.record_) { other.record_ = nullptr; }
    SingleUnit& operator=(const SingleUnit& other) noexcept {
        if (record_ != other.record_) {
            other.retain();
            release();
            record_ = other.record_;
        }
        return *this;
    }
    SingleUnit& operator=(SingleUnit&& other) noexcept {
        if (this != &other) {
            release();
            record_ = other.record_;
            other.record_ = nullptr;
        }
        return *this;
    }
    ~SingleUnit() { release(); }

    const std::string& name() const noexcept { return record_->name; }
    const std::string& symbol() const noexcept { return record_->symbol; }
    double offset() const noexcept { return record_->offset; }
    double factor() const noexcept { return record_->factor; }
    const Dimensions& dimensions() const noexcept { return record_->dimensions; }
    std::size_t hash() const noexcept { return record_->name_hash; }
    const UnitRecord* record() const noexcept { return record_; }
    // The bytes of a record that this unit alone holds (a custom unit's record with one reference): the
    // record and the heap parts of its strings. 0 for a shared or catalogue record.
    std::size_t sole_record_bytes() const noexcept {
        if (!record_ || record_->immortal || record_->references.load(std::memory_order_acquire) != 1) return 0;
        const std::size_t inline_capacity = std::string().capacity();
        std::size_t bytes = sizeof(UnitRecord);
        for (const std::string* text : {&record_->name, &record_->symbol}) {
            if (text->capacity() > inline_capacity) bytes += text->capacity() + 1;
        }
        return bytes;
    }

    // The same record is the same unit; otherwise all five fields decide.
    friend bool operator==(const SingleUnit& a, const SingleUnit& b) noexcept {
        return a.record_ == b.record_ || unit_fields_equal(*a.record_, *b.record_);
    }

private:
    explicit SingleUnit(const UnitRecord* record) noexcept : record_(record) {}
    void retain() const noexcept {
        if (record_ && !record_->immortal) record_->references.fetch_add(1, std::memory_order_relaxed);
    }
    // Inline: moved-from and catalogue units, by far the most common, cost two tests and no call.
    void release() noexcept {
        if (record_ && !record_->immortal) release_counted();
        record_ = nullptr;
    }
    void release_counted() noexcept;

    const UnitRecord* record_;
};

struct SingleUnitHash {
    std::size_t operator()(const SingleUnit& unit) const noexcept { return unit.hash(); }
};

}  // namespace tarvel
