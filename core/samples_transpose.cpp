#include "samples_transpose.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "parallel.hpp"

namespace dcore {

namespace {

struct Bytes16 {
    unsigned char b[16];
};

constexpr std::size_t kTileTraces = 64;
constexpr std::size_t kTileSamples = 64;

// One element copied as a value of its own size; other sizes go through memcpy.
template <typename E>
void copy_tiles(const Strided3 &a, char *out, std::size_t t_begin, std::size_t t_end) {
    const std::size_t n_xl = static_cast<std::size_t>(a.shape[1]);
    const std::size_t n_dp = static_cast<std::size_t>(a.shape[2]);
    const std::size_t n_tr = static_cast<std::size_t>(a.shape[0]) * n_xl;
    const std::ptrdiff_t ks = a.strides[2];
    const char *src[kTileTraces];
    for (std::size_t t0 = t_begin; t0 < t_end; t0 += kTileTraces) {
        const std::size_t nt = std::min(kTileTraces, t_end - t0);
        for (std::size_t r = 0; r < nt; ++r) {
            const std::size_t t = t0 + r;
            src[r] = a.data + static_cast<std::ptrdiff_t>(t / n_xl) * a.strides[0] +
                     static_cast<std::ptrdiff_t>(t % n_xl) * a.strides[1];
        }
        for (std::size_t k0 = 0; k0 < n_dp; k0 += kTileSamples) {
            const std::size_t k1 = std::min(n_dp, k0 + kTileSamples);
            for (std::size_t k = k0; k < k1; ++k) {
                E *row = reinterpret_cast<E *>(out) + k * n_tr + t0;
                const std::ptrdiff_t off = static_cast<std::ptrdiff_t>(k) * ks;
                for (std::size_t r = 0; r < nt; ++r) std::memcpy(&row[r], src[r] + off, sizeof(E));
            }
        }
    }
}

void copy_tiles_any(const Strided3 &a, char *out, std::size_t t_begin, std::size_t t_end) {
    const std::size_t n_xl = static_cast<std::size_t>(a.shape[1]);
    const std::size_t n_dp = static_cast<std::size_t>(a.shape[2]);
    const std::size_t n_tr = static_cast<std::size_t>(a.shape[0]) * n_xl;
    const std::size_t w = a.itemsize;
    for (std::size_t t = t_begin; t < t_end; ++t) {
        const char *src = a.data + static_cast<std::ptrdiff_t>(t / n_xl) * a.strides[0] +
                          static_cast<std::ptrdiff_t>(t % n_xl) * a.strides[1];
        for (std::size_t k = 0; k < n_dp; ++k)
            std::memcpy(out + (k * n_tr + t) * w, src + static_cast<std::ptrdiff_t>(k) * a.strides[2], w);
    }
}

}  // namespace

void traces_to_sample_rows(const Strided3 &a, char *out) {
    const std::size_t n_tr = static_cast<std::size_t>(a.shape[0]) * static_cast<std::size_t>(a.shape[1]);
    const std::size_t n_dp = static_cast<std::size_t>(a.shape[2]);
    if (n_tr == 0 || n_dp == 0 || a.itemsize == 0) return;
    // Workers take whole tiles of traces, each worth at least about a megabyte of samples.
    const std::size_t blocks = (n_tr + kTileTraces - 1) / kTileTraces;
    const std::size_t block_bytes = kTileTraces * n_dp * a.itemsize;
    const std::size_t min_blocks = std::max<std::size_t>(1, (std::size_t{1} << 20) / block_bytes);
    parallel_for(blocks, min_blocks, [&](std::size_t b, std::size_t e) {
        const std::size_t t_begin = b * kTileTraces, t_end = std::min(n_tr, e * kTileTraces);
        switch (a.itemsize) {
            case 1: copy_tiles<std::uint8_t>(a, out, t_begin, t_end); break;
            case 2: copy_tiles<std::uint16_t>(a, out, t_begin, t_end); break;
            case 4: copy_tiles<std::uint32_t>(a, out, t_begin, t_end); break;
            case 8: copy_tiles<std::uint64_t>(a, out, t_begin, t_end); break;
            case 16: copy_tiles<Bytes16>(a, out, t_begin, t_end); break;
            default: copy_tiles_any(a, out, t_begin, t_end); break;
        }
    });
}

}  // namespace dcore
