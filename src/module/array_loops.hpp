#pragma once
// Element loops over NumPy buffers: inputs broadcast as NumPy does, one output allocated with
// numpy.empty, and the same kernel (the scalar formula) applied to every element. float32 inputs are
// read as double and float32 outputs store the double result rounded once, so a float32 element is the
// float64 scalar result rounded to float32.

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>

#include "module/numpy_api.hpp"
#include "module/py_ref.hpp"
#include "module/search_lock.hpp"

namespace tarvel::py {

// One input of a loop: an ndarray of float64 or float32 (borrowed), or a scalar when `array` is null.
struct LoopInput {
    PyObject* array = nullptr;
    double scalar = 0.0;
};

enum class LoopOutput { Float64, Float32, Bool };

// True, with TypeError set, for lazy magnitudes, whose buffers the loops cannot read.
bool refuse_lazy(PyObject* magnitudes);

namespace loops {

constexpr int MAX_DIMS = 64;
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

// 'd' or 'f' from a buffer format ("d", "<d", "=f" ...); 0 for anything else.
inline char float_format(const char* format) noexcept {
    if (!format) return 0;
    std::size_t n = std::strlen(format);
    if (n == 0 || n > 2) return 0;
    if (n == 2 && format[0] != '<' && format[0] != '=' && format[0] != '@') return 0;
    const char c = format[n - 1];
    return (c == 'd' || c == 'f') ? c : 0;
}

bool raise_broadcast_error(const Py_buffer* const* views, std::size_t count);
PyObject* shape_tuple(const Py_ssize_t* shape, int ndim);

struct Strided {
    const char* data = nullptr;
    bool f32 = false;
    bool scalar = true;
    double value = 0.0;
    Py_ssize_t strides[MAX_DIMS] = {};
};

inline double load(const Strided& in, const char* p) noexcept {
    if (in.scalar) return in.value;
    if (in.f32) {
        float f;
        std::memcpy(&f, p, sizeof f);
        return static_cast<double>(f);
    }
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

// Contiguous inputs of element type In (or scalars) into a contiguous output of Out. The scalar cases
// are separate loops so that the compiler can vectorise each.
template <class In, class Out, std::size_t N, class Kernel>
[[gnu::always_inline]] inline void flat_loop_body(const std::array<Strided, N>& in, char* out, Py_ssize_t size,
                                                  const Kernel& kernel) noexcept {
    Out* __restrict dst = reinterpret_cast<Out*>(out);
    if constexpr (N == 1) {
        const In* __restrict a = reinterpret_cast<const In*>(in[0].data);
        for (Py_ssize_t i = 0; i < size; ++i) dst[i] = static_cast<Out>(kernel(static_cast<double>(a[i])));
    } else {
        static_assert(N == 2, "element loops take one or two inputs");
        const In* __restrict a = reinterpret_cast<const In*>(in[0].data);
        const In* __restrict b = reinterpret_cast<const In*>(in[1].data);
        if (in[0].scalar) {
            const double av = in[0].value;
            for (Py_ssize_t i = 0; i < size; ++i)
                dst[i] = static_cast<Out>(kernel(av, static_cast<double>(b[i])));
        } else if (in[1].scalar) {
            const double bv = in[1].value;
            for (Py_ssize_t i = 0; i < size; ++i)
                dst[i] = static_cast<Out>(kernel(static_cast<double>(a[i]), bv));
        } else {
            for (Py_ssize_t i = 0; i < size; ++i) {
                dst[i] = static_cast<Out>(kernel(static_cast<double>(a[i]), static_cast<double>(b[i])));
            }
        }
    }
}

template <class In, class Out, std::size_t N, class Kernel>
void flat_loop(const std::array<Strided, N>& in, char* out, Py_ssize_t size, const Kernel& kernel) noexcept {
    flat_loop_body<In, Out>(in, out, size, kernel);
}

// The same loop compiled for AVX2 (no FMA, so no contraction can change a result): divisions and square
// roots four at a time where the processor has it. The body is inlined into each, so each is vectorised
// for its own target.
template <class In, class Out, std::size_t N, class Kernel>
__attribute__((target("avx2"))) void flat_loop_avx2(const std::array<Strided, N>& in, char* out,
                                                    Py_ssize_t size, const Kernel& kernel) noexcept {
    flat_loop_body<In, Out>(in, out, size, kernel);
}

inline bool has_avx2() noexcept {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

template <class In, class Out, std::size_t N, class Kernel>
void flat_dispatch(const std::array<Strided, N>& in, char* out, Py_ssize_t size,
                   const Kernel& kernel) noexcept {
    if (has_avx2()) return flat_loop_avx2<In, Out>(in, out, size, kernel);
    flat_loop<In, Out>(in, out, size, kernel);
}

}  // namespace loops

// Runs `kernel` (double... -> double or bool) over the broadcast inputs. nullptr with an exception set on
// failure (ValueError for shapes that do not broadcast, as NumPy words it).
template <std::size_t N, class Kernel>
PyObject* run_elementwise(const std::array<LoopInput, N>& inputs, LoopOutput output, Kernel kernel) {
    using namespace loops;
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return nullptr;
    std::array<Buffer, N> buffers;
    std::array<const Py_buffer*, N> views{};
    std::size_t arrays = 0;
    int ndim = 0;
    for (std::size_t k = 0; k < N; ++k) {
        if (!inputs[k].array) continue;
        if (refuse_lazy(inputs[k].array)) return nullptr;
        if (!buffers[k].acquire(inputs[k].array, PyBUF_STRIDED_RO | PyBUF_FORMAT)) return nullptr;
        const Py_buffer& view = buffers[k].view();
        if (!float_format(view.format)) {
            PyErr_SetString(PyExc_TypeError, "element loop over a buffer that is not float64 or float32");
            return nullptr;
        }
        views[arrays++] = &view;
        if (view.ndim > ndim) ndim = view.ndim;
    }
    if (ndim > MAX_DIMS) {
        PyErr_SetString(PyExc_ValueError, "too many dimensions");
        return nullptr;
    }
    Py_ssize_t shape[MAX_DIMS];
    for (int d = 0; d < ndim; ++d) shape[d] = 1;
    for (std::size_t k = 0; k < arrays; ++k) {
        const Py_buffer& view = *views[k];
        const int offset = ndim - view.ndim;
        for (int d = 0; d < view.ndim; ++d) {
            const Py_ssize_t extent = view.shape[d];
            Py_ssize_t& target = shape[offset + d];
            if (extent == target) continue;
            if (target == 1) {
                target = extent;
            } else if (extent != 1) {
                raise_broadcast_error(views.data(), arrays);
                return nullptr;
            }
        }
    }
    Py_ssize_t size = 1;
    for (int d = 0; d < ndim; ++d) size *= shape[d];

    bool all_f32 = arrays > 0;
    std::array<Strided, N> strided{};
    bool flat = true;  // every array input is C-contiguous with the output's shape
    for (std::size_t k = 0; k < N; ++k) {
        Strided& s = strided[k];
        if (!inputs[k].array) {
            s.value = inputs[k].scalar;
            continue;
        }
        const Py_buffer& view = buffers[k].view();
        s.scalar = false;
        s.f32 = float_format(view.format) == 'f';
        all_f32 = all_f32 && s.f32;
        s.data = static_cast<const char*>(view.buf);
        const int offset = ndim - view.ndim;
        for (int d = 0; d < view.ndim; ++d) {
            s.strides[offset + d] = view.shape[d] == 1 ? 0 : view.strides[d];
        }
        bool contiguous = view.ndim == ndim;
        Py_ssize_t expected = view.itemsize;
        for (int d = ndim - 1; contiguous && d >= 0; --d) {
            if (view.shape[d - (ndim - view.ndim)] != shape[d]) contiguous = false;
            if (shape[d] != 1 && view.strides[d] != expected) contiguous = false;
            expected *= shape[d];
        }
        // The flat loops read elements as typed pointers, which needs aligned data; a view at an odd offset
        // (numpy.frombuffer with offset=1) takes the strided loops, whose loads are memcpy.
        const auto address = reinterpret_cast<std::uintptr_t>(view.buf);
        const bool aligned = address % static_cast<std::uintptr_t>(view.itemsize) == 0;
        flat = flat && contiguous && aligned;
    }
    if (output == LoopOutput::Float64 && all_f32) output = LoopOutput::Float32;

    PyRef dims = PyRef::steal(shape_tuple(shape, ndim));
    if (!dims) return nullptr;
    PyObject* dtype = output == LoopOutput::Bool      ? numpy->bool_
                      : output == LoopOutput::Float32 ? numpy->float32
                                                      : numpy->float64;
    PyObject* call_args[] = {dims.get(), dtype};
    PyRef result = PyRef::steal(PyObject_Vectorcall(numpy->empty, call_args, 2, nullptr));
    if (!result) return nullptr;
    Buffer out_buffer;
    if (!out_buffer.acquire(result.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return nullptr;
    char* out = static_cast<char*>(out_buffer.view().buf);

    auto store = [output](char* p, auto value) noexcept {
        if constexpr (std::is_same_v<decltype(value), bool>) {
            *reinterpret_cast<bool*>(p) = value;
        } else if (output == LoopOutput::Float32) {
            const float f = static_cast<float>(value);
            std::memcpy(p, &f, sizeof f);
        } else {
            const double d = value;
            std::memcpy(p, &d, sizeof d);
        }
    };
    const Py_ssize_t out_item = output == LoopOutput::Bool ? 1 : output == LoopOutput::Float32 ? 4 : 8;

    auto body = [&]() noexcept {
        // The common case: contiguous operands of one dtype with the output's shape, or scalars.
        bool same_dtype = true;
        bool any_f32 = false;
        bool any_f64 = false;
        for (std::size_t k = 0; k < N; ++k) {
            if (strided[k].scalar) continue;
            any_f32 = any_f32 || strided[k].f32;
            any_f64 = any_f64 || !strided[k].f32;
        }
        same_dtype = !(any_f32 && any_f64);
        if (flat && same_dtype && arrays > 0) {
            if (any_f32) {
                if (output == LoopOutput::Bool) return flat_dispatch<float, bool>(strided, out, size, kernel);
                if (output == LoopOutput::Float32)
                    return flat_dispatch<float, float>(strided, out, size, kernel);
                return flat_dispatch<float, double>(strided, out, size, kernel);
            }
            if (output == LoopOutput::Bool) return flat_dispatch<double, bool>(strided, out, size, kernel);
            if (output == LoopOutput::Float32)
                return flat_dispatch<double, float>(strided, out, size, kernel);
            return flat_dispatch<double, double>(strided, out, size, kernel);
        }
        if (size == 0) return;
        Py_ssize_t index[MAX_DIMS] = {};
        std::array<const char*, N> p{};
        for (std::size_t k = 0; k < N; ++k) p[k] = strided[k].data;
        const int last = ndim - 1;
        const Py_ssize_t inner = ndim > 0 ? shape[last] : 1;
        char* dst = out;
        for (;;) {
            for (Py_ssize_t i = 0; i < inner; ++i) {
                std::array<double, N> v;
                for (std::size_t k = 0; k < N; ++k) {
                    v[k] = load(strided[k],
                                p[k] ? p[k] + (ndim > 0 ? i * strided[k].strides[last] : 0) : nullptr);
                }
                store(dst, std::apply(kernel, v));
                dst += out_item;
            }
            // Advance the outer index (odometer over all dimensions but the last).
            int d = last - 1;
            for (; d >= 0; --d) {
                for (std::size_t k = 0; k < N; ++k) {
                    if (p[k]) p[k] += strided[k].strides[d];
                }
                if (++index[d] < shape[d]) break;
                for (std::size_t k = 0; k < N; ++k) {
                    if (p[k]) p[k] -= strided[k].strides[d] * shape[d];
                }
                index[d] = 0;
            }
            if (d < 0) break;
        }
    };
    if (size >= RELEASE_GIL_AT) {
        without_interpreter_lock(body);
    } else {
        body();
    }
    return result.release();
}

}  // namespace tarvel::py
