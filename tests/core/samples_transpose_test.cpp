#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <numeric>
#include <vector>

#include "samples_transpose.hpp"

namespace {

template <typename T>
dcore::Strided3 c_cube(const std::vector<T> &v, std::int64_t a, std::int64_t b, std::int64_t c) {
    const std::ptrdiff_t f = sizeof(T);
    return {reinterpret_cast<const char *>(v.data()), {a, b, c}, {b * c * f, c * f, f}, sizeof(T)};
}

template <typename T>
void expect_sample_rows(const std::vector<T> &cube, std::int64_t nil, std::int64_t nxl, std::int64_t ndp) {
    std::vector<T> out(cube.size());
    dcore::traces_to_sample_rows(c_cube(cube, nil, nxl, ndp), reinterpret_cast<char *>(out.data()));
    const std::int64_t ntr = nil * nxl;
    for (std::int64_t t = 0; t < ntr; ++t)
        for (std::int64_t k = 0; k < ndp; ++k)
            ASSERT_EQ(out[k * ntr + t], cube[((t / nxl) * nxl + t % nxl) * ndp + k]) << "trace " << t << " sample " << k;
}

TEST(SamplesTranspose, TwoByThreeByFour) {
    // Column 4 of the 4 x 6 matrix holds inline index 1, crossline index 1.
    std::vector<float> cube(2 * 3 * 4);
    std::iota(cube.begin(), cube.end(), 0.0f);
    std::vector<float> out(cube.size(), -1.0f);
    dcore::traces_to_sample_rows(c_cube(cube, 2, 3, 4), reinterpret_cast<char *>(out.data()));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out[k * 6 + 4], cube[(1 * 3 + 1) * 4 + k]);
    EXPECT_EQ(out[0 * 6 + 5], 20.0f);
}

TEST(SamplesTranspose, SizesAcrossTileEdgesAndElementWidths) {
    // Shapes that leave partial tiles and enough traces to be split over several workers.
    for (auto dims : {std::vector<std::int64_t>{3, 70, 131}, {129, 65, 7}, {1, 1, 1}, {400, 200, 20}}) {
        const std::size_t n = dims[0] * dims[1] * dims[2];
        std::vector<std::int8_t> b(n);
        std::vector<std::int16_t> h(n);
        std::vector<double> d(n);
        std::vector<std::complex<double>> z(n);
        for (std::size_t i = 0; i < n; ++i) {
            b[i] = static_cast<std::int8_t>(i * 7);
            h[i] = static_cast<std::int16_t>(i);
            d[i] = 0.5 * i;
            z[i] = {double(i), -double(i)};
        }
        expect_sample_rows(b, dims[0], dims[1], dims[2]);
        expect_sample_rows(h, dims[0], dims[1], dims[2]);
        expect_sample_rows(d, dims[0], dims[1], dims[2]);
        expect_sample_rows(z, dims[0], dims[1], dims[2]);
    }
}

TEST(SamplesTranspose, FollowsAStridedView) {
    // The cube seen through a view whose axes were swapped: (inline, crossline, sample) with the
    // sample axis of the largest stride, plus an odd item size copied byte-wise.
    const std::int64_t nil = 5, nxl = 3, ndp = 4;
    std::vector<float> base(ndp * nil * nxl);
    std::iota(base.begin(), base.end(), 0.0f);
    const std::ptrdiff_t f = sizeof(float);
    dcore::Strided3 view{reinterpret_cast<const char *>(base.data()), {nil, nxl, ndp}, {nxl * f, f, nil * nxl * f}, sizeof(float)};
    std::vector<float> out(base.size());
    dcore::traces_to_sample_rows(view, reinterpret_cast<char *>(out.data()));
    EXPECT_EQ(out, base);  // the view's sample rows are the base array itself

    struct Three { char c[3]; };
    std::vector<Three> odd(2 * 2 * 3);
    for (std::size_t i = 0; i < odd.size(); ++i) odd[i] = {{char(i), char(i + 1), char(i + 2)}};
    dcore::Strided3 s{reinterpret_cast<const char *>(odd.data()), {2, 2, 3}, {18, 9, 3}, 3};
    std::vector<Three> got(odd.size());
    dcore::traces_to_sample_rows(s, reinterpret_cast<char *>(got.data()));
    EXPECT_EQ(got[1 * 4 + 3].c[0], odd[3 * 3 + 1].c[0]);
    EXPECT_EQ(got[2 * 4 + 2].c[2], odd[2 * 3 + 2].c[2]);
}

}  // namespace
