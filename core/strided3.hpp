// A read-only view of a 3D array as numpy holds it: where its data starts, its shape, the byte
// step of each axis and the size of one item. The kernels that read a cube's samples take it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dcore {

struct Strided3 {
    const char *data;
    std::int64_t shape[3];
    std::ptrdiff_t strides[3];  // in bytes
    std::size_t itemsize;
};

}  // namespace dcore
