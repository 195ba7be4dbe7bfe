#pragma once
// A handle to an immutable, reference-counted unit collection. Quantities hold one: copying a quantity
// copies the handle, and the millions of quantities of a program that uses a few units share a few
// collections. The count is atomic, since the simplification may run on a thread without the
// interpreter lock while another thread copies the same handle.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "unit/unit_collection.hpp"

namespace tarvel {

class SharedUnits {
public:
    // The empty collection, which is never freed and never counted.
    SharedUnits() noexcept : node_(empty_node()) {}
    // Takes the collection into a new node of its own.
    SharedUnits(UnitCollection units) : node_(new Node{std::move(units)}) {}  // NOLINT: implicit on purpose
    SharedUnits(const SharedUnits& other) noexcept : node_(other.node_) { retain(); }
    SharedUnits(SharedUnits&& other) noexcept : node_(std::exchange(other.node_, empty_node())) {}
    SharedUnits& operator=(const SharedUnits& other) noexcept {
        other.retain();
        release();
        node_ = other.node_;
        return *this;
    }
    SharedUnits& operator=(SharedUnits&& other) noexcept {
        if (this != &other) {
            release();
            node_ = std::exchange(other.node_, empty_node());
        }
        return *this;
    }
    ~SharedUnits() { release(); }

    const UnitCollection& get() const noexcept { return node_->units; }
    const UnitCollection* operator->() const noexcept { return &node_->units; }
    const UnitCollection& operator*() const noexcept { return node_->units; }
    operator const UnitCollection&() const noexcept { return node_->units; }  // NOLINT: implicit on purpose

    // Identity of the shared collection: equal handles hold the same node.
    const void* identity() const noexcept { return node_; }
    bool same_as(const SharedUnits& other) const noexcept { return node_ == other.node_; }
    // Whether this handle is the only one holding its collection (the empty one is never owned).
    bool is_sole_owner() const noexcept {
        return node_ != empty_node() && node_->references.load(std::memory_order_acquire) == 1;
    }
    // The bytes of the node, of the map's heap part (its index included) and of the custom unit records
    // only this map holds, when this handle is their only owner.
    std::size_t owned_bytes() const noexcept {
        if (!is_sole_owner()) return 0;
        std::size_t bytes = sizeof(Node) + node_->units.unit_map.heap_bytes();
        for (const UnitEntry& entry : node_->units.unit_map) bytes += entry.unit.sole_record_bytes();
        return bytes;
    }

private:
    struct Node {
        explicit Node(UnitCollection&& collection) : units(std::move(collection)) {}
        UnitCollection units;
        mutable std::atomic<std::uint32_t> references{1};
    };

    static Node EMPTY;
    static Node* empty_node() noexcept { return &EMPTY; }
    void retain() const noexcept {
        if (node_ != empty_node()) node_->references.fetch_add(1, std::memory_order_relaxed);
    }
    void release() noexcept {
        if (node_ != empty_node() && node_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete node_;
    }

    Node* node_;
};

inline SharedUnits::Node SharedUnits::EMPTY{UnitCollection::empty()};

}  // namespace tarvel
