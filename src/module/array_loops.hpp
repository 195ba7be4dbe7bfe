#pragma once
// The boundary of the element loops (array/element_loops.hpp): the inputs' buffers acquired, the output
// allocated with numpy.empty, and a long loop run without the interpreter lock.

#include <Python.h>

#include <array>
#include <cstddef>
#include <span>

#include "array/element_loops.hpp"
#include "module/py_ref.hpp"
#include "module/search_lock.hpp"

namespace tarvel::py {

// One input of a loop: an ndarray of float64 or float32 (borrowed), or a scalar when `array` is null.
struct LoopInput {
    PyObject* array = nullptr;
    double scalar = 0.0;
};

using arrays::LoopOutput;

// True, with TypeError set, for lazy magnitudes, whose buffers the loops cannot read.
bool refuse_lazy(PyObject* magnitudes);

namespace loops {

// Above this many elements the loop runs without the interpreter lock.
constexpr Py_ssize_t RELEASE_GIL_AT = 1 << 15;

class Buffer {
public:
    Buffer() noexcept = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool acquire(PyObject* object, int flags) {
        if (PyObject_GetBuffer(object, &view_, flags) < 0) return false;
        held_ = true;
        return true;
    }
    const Py_buffer& view() const noexcept { return view_; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

// The buffers and the output of one loop, laid out for the core's loops.
struct PreparedLoop {
    std::array<Buffer, 2> buffers;
    PyRef result;
    Buffer out_buffer;  // released before `result` is dropped
    arrays::LoopLayout layout;
};

// false with an exception set: a lazy or non-float input, too many dimensions, shapes that do not
// broadcast (ValueError as NumPy words it).
bool prepare(std::span<const LoopInput> inputs, LoopOutput output, PreparedLoop& loop);

}  // namespace loops

// Runs `loop(layout)` (one of the core's loops) over the inputs: the new array, or nullptr with an
// exception set.
template <class Loop>
PyObject* run_prepared(std::span<const LoopInput> inputs, LoopOutput output, Loop&& loop) {
    loops::PreparedLoop prepared;
    if (!loops::prepare(inputs, output, prepared)) return nullptr;
    const arrays::LoopLayout& layout = prepared.layout;
    auto body = [&]() noexcept { loop(layout); };
    if (layout.size >= loops::RELEASE_GIL_AT) {
        without_interpreter_lock(body);
    } else {
        body();
    }
    return prepared.result.release();
}

// Runs `kernel` (double... -> double or bool) over the broadcast inputs.
template <std::size_t N, class Kernel>
PyObject* run_elementwise(const std::array<LoopInput, N>& inputs, LoopOutput output, Kernel kernel) {
    return run_prepared(inputs, output, [&](const arrays::LoopLayout& layout) noexcept {
        arrays::run_loop<N>(layout, kernel);
    });
}

}  // namespace tarvel::py
