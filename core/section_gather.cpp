#include "section_gather.hpp"

#include <cstring>

#include "parallel.hpp"

namespace dcore {

void truncate_positions(const double *positions, std::size_t n, std::int64_t *out) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    for (std::size_t r = 0; r < n; ++r) {
        const double q = positions[r];
        // Not NaN and inside [-2^63, 2^63): its truncation is an int64.
        out[r] = q >= -kLimit && q < kLimit ? static_cast<std::int64_t>(q) : kNoIndex;
    }
}

std::int64_t first_trace_outside(const Strided3 &a, const std::int64_t *il, const std::int64_t *xl, std::size_t n,
                                 int *axis) {
    for (std::size_t r = 0; r < n; ++r) {
        if (il[r] < 0 || il[r] >= a.shape[0]) {
            *axis = 0;
            return static_cast<std::int64_t>(r);
        }
        if (xl[r] < 0 || xl[r] >= a.shape[1]) {
            *axis = 1;
            return static_cast<std::int64_t>(r);
        }
    }
    return -1;
}

void gather_traces(const Strided3 &a, const std::int64_t *il, const std::int64_t *xl, std::size_t n, std::int64_t k0,
                   std::size_t count, char *out) {
    const std::size_t row_bytes = count * a.itemsize;
    if (row_bytes == 0) return;
    const bool contiguous = a.strides[2] == static_cast<std::ptrdiff_t>(a.itemsize);
    // A worker needs enough rows to outweigh its start-up.
    const std::size_t min_rows = std::max<std::size_t>(1, (256u << 10) / row_bytes);
    parallel_for(n, min_rows, [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) {
            // Offsets are signed: a strided view may step backwards (a[:, :, ::-1]).
            const char *src = a.data + static_cast<std::ptrdiff_t>(il[r]) * a.strides[0] +
                              static_cast<std::ptrdiff_t>(xl[r]) * a.strides[1] +
                              static_cast<std::ptrdiff_t>(k0) * a.strides[2];
            char *dst = out + r * row_bytes;
            if (contiguous) {
                std::memcpy(dst, src, row_bytes);
            } else {
                for (std::size_t k = 0; k < count; ++k)
                    std::memcpy(dst + k * a.itemsize, src + static_cast<std::ptrdiff_t>(k) * a.strides[2], a.itemsize);
            }
        }
    });
}

}  // namespace dcore
