#include "module/array_loops.hpp"

#include <cstring>

#include "module/boundary.hpp"
#include "module/numpy_api.hpp"

namespace tarvel::py::loops {

namespace {

// 'd' or 'f' from a buffer format ("d", "<d", "=f" ...); 0 for anything else.
char float_format(const char* format) noexcept {
    if (!format) return 0;
    std::size_t n = std::strlen(format);
    if (n == 0 || n > 2) return 0;
    if (n == 2 && format[0] != '<' && format[0] != '=' && format[0] != '@') return 0;
    const char c = format[n - 1];
    return (c == 'd' || c == 'f') ? c : 0;
}

PyObject* shape_tuple(const std::ptrdiff_t* shape, int ndim) {
    PyObject* tuple = PyTuple_New(ndim);
    if (!tuple) return nullptr;
    for (int d = 0; d < ndim; ++d) {
        PyObject* extent = PyLong_FromSsize_t(shape[d]);
        if (!extent) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, d, extent);
    }
    return tuple;
}

}  // namespace

bool prepare(std::span<const LoopInput> inputs, LoopOutput output, PreparedLoop& loop) {
    const NumpyApi* numpy = numpy_api();
    if (!numpy) return false;
    std::array<arrays::LoopOperand, 2> operands{};
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        arrays::LoopOperand& operand = operands[k];
        if (!inputs[k].array) {
            operand.scalar = inputs[k].scalar;
            continue;
        }
        if (refuse_lazy(inputs[k].array)) return false;
        if (!loop.buffers[k].acquire(inputs[k].array, PyBUF_STRIDED_RO | PyBUF_FORMAT)) return false;
        const Py_buffer& view = loop.buffers[k].view();
        const char format = float_format(view.format);
        if (!format) {
            PyErr_SetString(PyExc_TypeError, "element loop over a buffer that is not float64 or float32");
            return false;
        }
        operand = arrays::LoopOperand{true, static_cast<const char*>(view.buf), view.ndim, view.shape,
                                      view.strides, view.itemsize, format == 'f', 0.0};
    }
    const std::span<const arrays::LoopOperand> given(operands.data(), inputs.size());
    switch (arrays::lay_out(given, output, loop.layout)) {
        case arrays::LayoutStatus::Ok: break;
        case arrays::LayoutStatus::TooManyDimensions:
            PyErr_SetString(PyExc_ValueError, "too many dimensions");
            return false;
        case arrays::LayoutStatus::NotBroadcastable:
            raise_error(TarvelError::not_broadcastable(arrays::shapes_text(given)));
            return false;
    }
    const arrays::LoopLayout& layout = loop.layout;
    PyRef dims = PyRef::steal(shape_tuple(layout.shape, layout.ndim));
    if (!dims) return false;
    PyObject* dtype = layout.output == LoopOutput::Bool      ? numpy->bool_
                      : layout.output == LoopOutput::Float32 ? numpy->float32
                                                             : numpy->float64;
    PyObject* call_args[] = {dims.get(), dtype};
    loop.result = PyRef::steal(PyObject_Vectorcall(numpy->empty, call_args, 2, nullptr));
    if (!loop.result) return false;
    if (!loop.out_buffer.acquire(loop.result.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return false;
    loop.layout.out = static_cast<char*>(loop.out_buffer.view().buf);
    return true;
}

}  // namespace tarvel::py::loops
