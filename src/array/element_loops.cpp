#include "array/element_loops.hpp"

namespace tarvel::arrays {

namespace detail {

bool has_avx2() noexcept {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

}  // namespace detail

LayoutStatus lay_out(std::span<const LoopOperand> operands, LoopOutput output, LoopLayout& layout) noexcept {
    layout.inputs = operands.size();
    layout.arrays = 0;
    layout.ndim = 0;
    for (const LoopOperand& operand : operands) {
        if (!operand.is_array) continue;
        ++layout.arrays;
        if (operand.ndim > layout.ndim) layout.ndim = operand.ndim;
    }
    if (layout.ndim > MAX_DIMS) return LayoutStatus::TooManyDimensions;
    const int ndim = layout.ndim;
    std::ptrdiff_t* shape = layout.shape;
    for (int d = 0; d < ndim; ++d) shape[d] = 1;
    for (const LoopOperand& operand : operands) {
        if (!operand.is_array) continue;
        const int offset = ndim - operand.ndim;
        for (int d = 0; d < operand.ndim; ++d) {
            const std::ptrdiff_t extent = operand.shape[d];
            std::ptrdiff_t& target = shape[offset + d];
            if (extent == target) continue;
            if (target == 1) {
                target = extent;
            } else if (extent != 1) {
                return LayoutStatus::NotBroadcastable;
            }
        }
    }
    layout.size = 1;
    for (int d = 0; d < ndim; ++d) layout.size *= shape[d];

    bool all_f32 = layout.arrays > 0;
    layout.flat = true;
    for (std::size_t k = 0; k < operands.size(); ++k) {
        const LoopOperand& operand = operands[k];
        Strided& s = layout.in[k];
        s.data = nullptr;
        s.f32 = false;
        s.scalar = true;
        s.value = 0.0;
        if (!operand.is_array) {
            s.value = operand.scalar;
            continue;
        }
        s.scalar = false;
        s.f32 = operand.f32;
        all_f32 = all_f32 && s.f32;
        s.data = operand.data;
        const int offset = ndim - operand.ndim;
        for (int d = 0; d < offset; ++d) s.strides[d] = 0;
        for (int d = 0; d < operand.ndim; ++d) s.strides[offset + d] = operand.shape[d] == 1 ? 0 : operand.strides[d];
        bool contiguous = operand.ndim == ndim;
        std::ptrdiff_t expected = operand.itemsize;
        for (int d = ndim - 1; contiguous && d >= 0; --d) {
            if (operand.shape[d - (ndim - operand.ndim)] != shape[d]) contiguous = false;
            if (shape[d] != 1 && operand.strides[d] != expected) contiguous = false;
            expected *= shape[d];
        }
        // The flat loops read elements as typed pointers, which needs aligned data; a view at an odd offset
        // (numpy.frombuffer with offset=1) takes the strided loop, whose loads are memcpy.
        const auto address = reinterpret_cast<std::uintptr_t>(operand.data);
        const bool aligned = address % static_cast<std::uintptr_t>(operand.itemsize) == 0;
        layout.flat = layout.flat && contiguous && aligned;
    }
    layout.output = output == LoopOutput::Float64 && all_f32 ? LoopOutput::Float32 : output;
    return LayoutStatus::Ok;
}

std::string shapes_text(std::span<const LoopOperand> operands) {
    std::string text;
    bool first = true;
    for (const LoopOperand& operand : operands) {
        if (!operand.is_array) continue;
        if (!first) text += ' ';
        first = false;
        text += '(';
        for (int d = 0; d < operand.ndim; ++d) {
            text += std::to_string(operand.shape[d]);
            text += ',';
        }
        if (operand.ndim > 1) text.pop_back();
        text += ')';
    }
    return text;
}

}  // namespace tarvel::arrays
