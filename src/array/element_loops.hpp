#pragma once
// Element loops over strided buffers of float64 or float32: inputs broadcast as NumPy broadcasts them,
// one C-contiguous output, and the same kernel (the scalar formula) applied to every element. float32
// inputs are read as double and float32 outputs store the double result rounded once, so a float32
// element is the float64 scalar result rounded to float32. The boundary acquires the buffers, allocates
// the output and decides whether the loop runs without the interpreter lock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>

namespace tarvel::arrays {

constexpr int MAX_DIMS = 64;

enum class LoopOutput { Float64, Float32, Bool };

// One input as the boundary found it: an array's buffer, or a scalar.
struct LoopOperand {
    bool is_array = false;
    const char* data = nullptr;
    int ndim = 0;
    const std::ptrdiff_t* shape = nullptr;
    const std::ptrdiff_t* strides = nullptr;
    std::ptrdiff_t itemsize = 8;
    bool f32 = false;
    double scalar = 0.0;
};

struct Strided {
    const char* data = nullptr;
    bool f32 = false;
    bool scalar = true;
    double value = 0.0;
    std::ptrdiff_t strides[MAX_DIMS];  // the first LoopLayout::ndim are set (0 where broadcast)
};

// One or two inputs broadcast against each other, and the output they make.
struct LoopLayout {
    // Left uninitialised beyond what lay_out sets: a small array's call should not clear kilobytes.
    std::array<Strided, 2> in;
    std::size_t inputs = 0;
    std::size_t arrays = 0;  // inputs that are arrays
    int ndim = 0;
    std::ptrdiff_t shape[MAX_DIMS];
    std::ptrdiff_t size = 1;
    bool flat = true;  // every array input is aligned, C-contiguous and of the output's shape
    LoopOutput output = LoopOutput::Float64;
    char* out = nullptr;  // set by the boundary once the output is allocated

    std::ptrdiff_t output_itemsize() const noexcept {
        return output == LoopOutput::Bool ? 1 : output == LoopOutput::Float32 ? 4 : 8;
    }
};

enum class LayoutStatus { Ok, TooManyDimensions, NotBroadcastable };

// Broadcasts `operands` (one or two) into `layout`; a Float64 output of float32 arrays only is Float32.
LayoutStatus lay_out(std::span<const LoopOperand> operands, LoopOutput output, LoopLayout& layout) noexcept;
// The arrays' shapes as NumPy prints them in a broadcast error: "(3,) (2,)".
std::string shapes_text(std::span<const LoopOperand> operands);

namespace detail {

// Contiguous inputs of element type In (or scalars) into a contiguous output of Out. The scalar cases
// are separate loops so that the compiler can vectorise each.
template <class In, class Out, std::size_t N, class Kernel>
[[gnu::always_inline]] inline void flat_loop_body(const LoopLayout& layout, const Kernel& kernel) noexcept {
    const auto& in = layout.in;
    const std::ptrdiff_t size = layout.size;
    Out* __restrict dst = reinterpret_cast<Out*>(layout.out);
    if constexpr (N == 1) {
        const In* __restrict a = reinterpret_cast<const In*>(in[0].data);
        for (std::ptrdiff_t i = 0; i < size; ++i) dst[i] = static_cast<Out>(kernel(static_cast<double>(a[i])));
    } else {
        static_assert(N == 2, "element loops take one or two inputs");
        const In* __restrict a = reinterpret_cast<const In*>(in[0].data);
        const In* __restrict b = reinterpret_cast<const In*>(in[1].data);
        if (in[0].scalar) {
            const double av = in[0].value;
            for (std::ptrdiff_t i = 0; i < size; ++i) dst[i] = static_cast<Out>(kernel(av, static_cast<double>(b[i])));
        } else if (in[1].scalar) {
            const double bv = in[1].value;
            for (std::ptrdiff_t i = 0; i < size; ++i) dst[i] = static_cast<Out>(kernel(static_cast<double>(a[i]), bv));
        } else {
            for (std::ptrdiff_t i = 0; i < size; ++i) {
                dst[i] = static_cast<Out>(kernel(static_cast<double>(a[i]), static_cast<double>(b[i])));
            }
        }
    }
}

template <class In, class Out, std::size_t N, class Kernel>
void flat_loop(const LoopLayout& layout, const Kernel& kernel) noexcept {
    flat_loop_body<In, Out, N>(layout, kernel);
}

// The same loop compiled for AVX2 (no FMA, so no contraction can change a result): divisions and square
// roots four at a time where the processor has it. The body is inlined into each, so each is vectorised
// for its own target.
template <class In, class Out, std::size_t N, class Kernel>
__attribute__((target("avx2"))) void flat_loop_avx2(const LoopLayout& layout, const Kernel& kernel) noexcept {
    flat_loop_body<In, Out, N>(layout, kernel);
}

bool has_avx2() noexcept;

template <class In, class Out, std::size_t N, class Kernel>
void flat_dispatch(const LoopLayout& layout, const Kernel& kernel) noexcept {
    if (has_avx2()) return flat_loop_avx2<In, Out, N>(layout, kernel);
    flat_loop<In, Out, N>(layout, kernel);
}

// Any layout: an odometer over all dimensions but the last, loads through memcpy.
template <std::size_t N, class Kernel>
void strided_loop(const LoopLayout& layout, const Kernel& kernel) noexcept {
    const int ndim = layout.ndim;
    const bool f32_out = layout.output == LoopOutput::Float32;
    const std::ptrdiff_t out_item = layout.output_itemsize();
    // What the inner loop reads, in locals: the output's stores cannot alias them.
    struct Input {
        bool scalar, f32;
        double value;
        std::ptrdiff_t step;
    };
    std::array<Input, N> in{};
    std::array<const char*, N> p{};
    const int last = ndim - 1;
    for (std::size_t k = 0; k < N; ++k) {
        const Strided& s = layout.in[k];
        in[k] = Input{s.scalar, s.f32, s.value, ndim > 0 && !s.scalar ? s.strides[last] : 0};
        p[k] = s.data;
    }
    std::ptrdiff_t index[MAX_DIMS] = {};
    const std::ptrdiff_t inner = ndim > 0 ? layout.shape[last] : 1;
    char* dst = layout.out;
    for (;;) {
        for (std::ptrdiff_t i = 0; i < inner; ++i) {
            std::array<double, N> v;
            for (std::size_t k = 0; k < N; ++k) {
                if (in[k].scalar) {
                    v[k] = in[k].value;
                } else if (in[k].f32) {
                    float f;
                    std::memcpy(&f, p[k] + i * in[k].step, sizeof f);
                    v[k] = static_cast<double>(f);
                } else {
                    std::memcpy(&v[k], p[k] + i * in[k].step, sizeof(double));
                }
            }
            const auto value = std::apply(kernel, v);
            if constexpr (std::is_same_v<std::remove_cv_t<decltype(value)>, bool>) {
                *reinterpret_cast<bool*>(dst) = value;
            } else if (f32_out) {
                const float f = static_cast<float>(value);
                std::memcpy(dst, &f, sizeof f);
            } else {
                const double d = value;
                std::memcpy(dst, &d, sizeof d);
            }
            dst += out_item;
        }
        // Advance the outer index.
        int d = last - 1;
        for (; d >= 0; --d) {
            for (std::size_t k = 0; k < N; ++k) {
                if (p[k]) p[k] += layout.in[k].strides[d];
            }
            if (++index[d] < layout.shape[d]) break;
            for (std::size_t k = 0; k < N; ++k) {
                if (p[k]) p[k] -= layout.in[k].strides[d] * layout.shape[d];
            }
            index[d] = 0;
        }
        if (d < 0) break;
    }
}

}  // namespace detail

// Runs `kernel` (N doubles -> double or bool) over the laid-out inputs into layout.out. Only the flat
// loops a kernel can reach are compiled: a bool kernel writes Bool, a double kernel Float64 from float64
// inputs or Float32 from float32 ones (lay_out gives Float32 exactly then); mixed dtypes take the strided
// loop.
template <std::size_t N, class Kernel>
void run_loop(const LoopLayout& layout, const Kernel& kernel) noexcept {
    bool any_f32 = false;
    bool any_f64 = false;
    for (std::size_t k = 0; k < N; ++k) {
        if (layout.in[k].scalar) continue;
        any_f32 = any_f32 || layout.in[k].f32;
        any_f64 = any_f64 || !layout.in[k].f32;
    }
    if (layout.flat && layout.arrays > 0 && !(any_f32 && any_f64)) {
        constexpr bool predicate = [] {
            if constexpr (N == 1) return std::is_same_v<std::invoke_result_t<const Kernel&, double>, bool>;
            else return std::is_same_v<std::invoke_result_t<const Kernel&, double, double>, bool>;
        }();
        if constexpr (predicate) {
            if (layout.output == LoopOutput::Bool) {
                return any_f32 ? detail::flat_dispatch<float, bool, N>(layout, kernel)
                               : detail::flat_dispatch<double, bool, N>(layout, kernel);
            }
        } else {
            if (any_f32 && layout.output == LoopOutput::Float32) {
                return detail::flat_dispatch<float, float, N>(layout, kernel);
            }
            if (!any_f32 && layout.output == LoopOutput::Float64) {
                return detail::flat_dispatch<double, double, N>(layout, kernel);
            }
        }
    }
    if (layout.size == 0) return;
    detail::strided_loop<N>(layout, kernel);
}

}  // namespace tarvel::arrays
