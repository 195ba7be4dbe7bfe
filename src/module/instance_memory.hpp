#pragma once
// Memory for the instances of one class, with the last few freed blocks kept for reuse. Code that makes
// and drops one quantity per step (a loop of arithmetic) would otherwise take a fresh block from the
// interpreter's allocator each time and hand it back, often emptying and re-initialising a whole pool.
// Used only with the interpreter lock held (allocation and tp_dealloc).

#include <Python.h>

#include <cstddef>

namespace tarvel::py {

template <class Object>
class InstanceMemory {
public:
    static void* allocate() noexcept {
        if (count_ > 0) return blocks_[--count_];
        return PyObject_Malloc(sizeof(Object));
    }

    // Takes back a block from allocate() whose object has been destroyed.
    static void release(void* block) noexcept {
        if (count_ < CAPACITY) {
            blocks_[count_++] = block;
        } else {
            PyObject_Free(block);
        }
    }

private:
    static constexpr std::size_t CAPACITY = 32;
    static inline void* blocks_[CAPACITY] = {};
    static inline std::size_t count_ = 0;
};

}  // namespace tarvel::py
