#pragma once
// A small flat map from unit to exponent, kept in insertion order (so every result is the same in every
// run). Up to INLINE_CAPACITY entries live inside the object: building, copying and combining the
// collections of ordinary quantities never touches the heap. A large map also keeps a hashed index of
// its entries behind them in the same heap block, so that find() does not scan thousands of units; the
// object's size is the same either way.
//
// Entries can be changed through operator[] and the iterators, but only their exponents: the index
// holds their units.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "unit/single_unit/single_unit.hpp"

namespace tarvel {

struct UnitEntry {
    SingleUnit unit;
    double exponent;
};

class UnitMap {
public:
    static constexpr std::size_t INLINE_CAPACITY = 4;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    UnitMap() noexcept = default;
    UnitMap(const UnitMap& other) { copy_from(other); }
    UnitMap(UnitMap&& other) noexcept { move_from(std::move(other)); }
    UnitMap& operator=(const UnitMap& other) {
        if (this != &other) {
            UnitMap copy(other);
            clear_and_free();
            move_from(std::move(copy));
        }
        return *this;
    }
    UnitMap& operator=(UnitMap&& other) noexcept {
        if (this != &other) {
            clear_and_free();
            move_from(std::move(other));
        }
        return *this;
    }
    ~UnitMap() { clear_and_free(); }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    UnitEntry* begin() noexcept { return data(); }
    UnitEntry* end() noexcept { return data() + size_; }
    const UnitEntry* begin() const noexcept { return data(); }
    const UnitEntry* end() const noexcept { return data() + size_; }
    UnitEntry& operator[](std::size_t i) noexcept { return data()[i]; }
    const UnitEntry& operator[](std::size_t i) const noexcept { return data()[i]; }

    // Position of the entry whose unit equals `unit`, or npos. The same record decides first; otherwise
    // the fields, which only units of equal names (equal hashes) can share.
    std::size_t find(const SingleUnit& unit) const noexcept {
        const UnitEntry* entries = data();
        if (indexed()) return find_indexed(unit);
        for (std::size_t i = 0; i < size_; ++i) {
            if (entries[i].unit.record() == unit.record()) return i;
        }
        const std::size_t hash = unit.hash();
        for (std::size_t i = 0; i < size_; ++i) {
            if (entries[i].unit.hash() == hash && entries[i].unit == unit) return i;
        }
        return npos;
    }

    // Appends a unit the map does not hold yet.
    void push_back(SingleUnit unit, double exponent) {
        if (size_ == capacity_) grow(capacity_ * 2);
        new (data() + size_) UnitEntry{std::move(unit), exponent};
        ++size_;
        if (indexed()) index_entry(size_ - 1);
    }

    // Removes the entry at `index`, keeping the order of the others.
    void erase_at(std::size_t index) noexcept {
        UnitEntry* entries = data();
        for (std::size_t i = index; i + 1 < size_; ++i) entries[i] = std::move(entries[i + 1]);
        entries[size_ - 1].~UnitEntry();
        --size_;
        // The positions behind it moved: as costly as the move itself.
        if (indexed()) rebuild_index();
    }

    // Removes the entries at these positions (ascending, distinct) in one pass, keeping the order of the
    // others: removing many entries one by one would shift the map and rebuild its index each time.
    void erase_sorted(const std::uint32_t* positions, std::size_t count) noexcept {
        if (count == 0) return;
        UnitEntry* entries = data();
        std::size_t kept = positions[0];
        std::size_t next = 0;
        for (std::size_t i = positions[0]; i < size_; ++i) {
            if (next < count && positions[next] == i) {
                ++next;
                continue;
            }
            entries[kept++] = std::move(entries[i]);
        }
        for (std::size_t i = kept; i < size_; ++i) entries[i].~UnitEntry();
        size_ = static_cast<std::uint32_t>(kept);
        if (indexed()) rebuild_index();
    }

    // The bytes the map holds outside its own object (none while its entries fit inline): its entries and,
    // for a large map, the index behind them.
    std::size_t heap_bytes() const noexcept { return heap_ ? block_bytes(capacity_) : 0; }

    void reserve(std::size_t capacity) {
        if (capacity > capacity_) grow(capacity);
    }

private:
    UnitEntry* data() noexcept { return heap_ ? heap_ : std::launder(reinterpret_cast<UnitEntry*>(inline_)); }
    const UnitEntry* data() const noexcept {
        return heap_ ? heap_ : std::launder(reinterpret_cast<const UnitEntry*>(inline_));
    }

    // From this capacity on, a heap block carries the index: below it a scan of the record pointers is
    // as quick as a probe.
    static constexpr std::size_t INDEX_MIN_CAPACITY = 32;

    bool indexed() const noexcept { return capacity_ >= INDEX_MIN_CAPACITY; }

    // Open addressing with linear probing over at least twice the capacity; a slot holds 1 + a position,
    // 0 when empty. Entries are never removed from it one by one (erase_at and erase_sorted rebuild it).
    static std::size_t index_slots(std::size_t capacity) noexcept {
        std::size_t slots = 2 * INDEX_MIN_CAPACITY;
        while (slots < 2 * capacity) slots *= 2;
        return slots;
    }
    static std::size_t block_bytes(std::size_t capacity) noexcept {
        std::size_t bytes = capacity * sizeof(UnitEntry);
        if (capacity >= INDEX_MIN_CAPACITY) bytes += index_slots(capacity) * sizeof(std::uint32_t);
        return bytes;
    }
    std::uint32_t* slots() const noexcept { return reinterpret_cast<std::uint32_t*>(heap_ + capacity_); }

    void index_entry(std::size_t position) noexcept {
        std::uint32_t* table = slots();
        const std::size_t mask = index_slots(capacity_) - 1;
        std::size_t slot = data()[position].unit.hash() & mask;
        while (table[slot] != 0) slot = (slot + 1) & mask;
        table[slot] = static_cast<std::uint32_t>(position + 1);
    }

    void rebuild_index() noexcept {
        std::uint32_t* table = slots();
        std::fill(table, table + index_slots(capacity_), std::uint32_t{0});
        for (std::size_t i = 0; i < size_; ++i) index_entry(i);
    }

    // Every unit of a given name hash lies in the run of occupied slots that starts at the hash's slot.
    std::size_t find_indexed(const SingleUnit& unit) const noexcept {
        const std::uint32_t* table = slots();
        const UnitEntry* entries = data();
        const std::size_t mask = index_slots(capacity_) - 1;
        const std::size_t hash = unit.hash();
        std::size_t equal = npos;
        for (std::size_t slot = hash & mask; table[slot] != 0; slot = (slot + 1) & mask) {
            const std::size_t position = table[slot] - 1;
            const SingleUnit& held = entries[position].unit;
            if (held.record() == unit.record()) return position;
            if (equal == npos && held.hash() == hash && held == unit) equal = position;
        }
        return equal;
    }

    void grow(std::size_t capacity) {
        auto* fresh = static_cast<UnitEntry*>(::operator new(block_bytes(capacity)));
        UnitEntry* old = data();
        for (std::size_t i = 0; i < size_; ++i) {
            new (fresh + i) UnitEntry(std::move(old[i]));
            old[i].~UnitEntry();
        }
        if (heap_) ::operator delete(heap_);
        heap_ = fresh;
        capacity_ = static_cast<std::uint32_t>(capacity);
        if (indexed()) rebuild_index();
    }

    void copy_from(const UnitMap& other) {
        if (other.size_ > INLINE_CAPACITY) grow(other.size_);
        const UnitEntry* source = other.data();
        UnitEntry* target = data();
        for (std::size_t i = 0; i < other.size_; ++i) {
            new (target + i) UnitEntry(source[i]);
            ++size_;
        }
        if (indexed()) rebuild_index();
    }

    // Requires an empty map with inline storage.
    void move_from(UnitMap&& other) noexcept {
        if (other.heap_) {
            heap_ = other.heap_;
            capacity_ = other.capacity_;
            size_ = other.size_;
            other.heap_ = nullptr;
            other.capacity_ = INLINE_CAPACITY;
            other.size_ = 0;
            return;
        }
        UnitEntry* source = other.data();
        UnitEntry* target = data();
        for (std::size_t i = 0; i < other.size_; ++i) {
            new (target + i) UnitEntry(std::move(source[i]));
            source[i].~UnitEntry();
        }
        size_ = other.size_;
        other.size_ = 0;
    }

    void clear_and_free() noexcept {
        UnitEntry* entries = data();
        for (std::size_t i = 0; i < size_; ++i) entries[i].~UnitEntry();
        size_ = 0;
        if (heap_) {
            ::operator delete(heap_);
            heap_ = nullptr;
            capacity_ = INLINE_CAPACITY;
        }
    }

    UnitEntry* heap_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = INLINE_CAPACITY;
    alignas(UnitEntry) unsigned char inline_[INLINE_CAPACITY * sizeof(UnitEntry)];
};

}  // namespace tarvel
