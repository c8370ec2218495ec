#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "section_gather.hpp"

namespace {

dcore::Strided3 c_order(const std::vector<float> &v, std::int64_t a, std::int64_t b, std::int64_t c) {
    const std::ptrdiff_t f = sizeof(float);
    return {reinterpret_cast<const char *>(v.data()), {a, b, c}, {b * c * f, c * f, f}, sizeof(float)};
}

TEST(GatherTraces, CopiesRequestedSamplesOfEachTrace) {
    std::vector<float> cube(4 * 3 * 5);
    std::iota(cube.begin(), cube.end(), 0.0f);
    auto a = c_order(cube, 4, 3, 5);
    std::vector<std::int64_t> il{3, 0, 3}, xl{2, 1, 2};
    std::vector<float> out(3 * 2, -1.0f);
    dcore::gather_traces(a, il.data(), xl.data(), 3, 1, 2, reinterpret_cast<char *>(out.data()));
    EXPECT_EQ(out, (std::vector<float>{3 * 15 + 2 * 5 + 1, 3 * 15 + 2 * 5 + 2, 6, 7, 56, 57}));
}

TEST(GatherTraces, FollowsNonContiguousSampleAxis) {
    // A cube seen through a transposing view: the sample axis has the largest stride.
    std::vector<float> cube(2 * 2 * 3);
    std::iota(cube.begin(), cube.end(), 0.0f);
    const std::ptrdiff_t f = sizeof(float);
    dcore::Strided3 a{reinterpret_cast<const char *>(cube.data()), {2, 2, 3}, {f, 2 * f, 4 * f}, sizeof(float)};
    std::vector<std::int64_t> il{1}, xl{0};
    std::vector<float> out(3);
    dcore::gather_traces(a, il.data(), xl.data(), 1, 0, 3, reinterpret_cast<char *>(out.data()));
    EXPECT_EQ(out, (std::vector<float>{1, 5, 9}));
}

TEST(GatherTraces, FollowsAxesThatStepBackwards) {
    // cube[::-1, :, ::-1] of a C-ordered 3 x 2 x 4 cube: the view starts at the last sample of the
    // last inline's first trace, and its inline and sample axes step backwards.
    std::vector<float> cube(3 * 2 * 4);
    std::iota(cube.begin(), cube.end(), 0.0f);
    const std::ptrdiff_t f = sizeof(float);
    dcore::Strided3 a{reinterpret_cast<const char *>(cube.data() + 2 * 8 + 3), {3, 2, 4}, {-8 * f, 4 * f, -f},
                      sizeof(float)};
    std::vector<std::int64_t> il{0, 2, 1}, xl{1, 0, 1};
    std::vector<float> out(3 * 3);
    dcore::gather_traces(a, il.data(), xl.data(), 3, 1, 3, reinterpret_cast<char *>(out.data()));
    EXPECT_EQ(out, (std::vector<float>{22, 21, 20, 2, 1, 0, 14, 13, 12}));
}

TEST(GatherTraces, ManyRowsSpreadOverWorkersMatchSerialCopy) {
    const std::int64_t ni = 50, nx = 40, nk = 700;
    std::vector<float> cube(ni * nx * nk);
    std::iota(cube.begin(), cube.end(), 0.0f);
    auto a = c_order(cube, ni, nx, nk);
    std::vector<std::int64_t> il, xl;
    for (std::int64_t r = 0; r < 5000; ++r) il.push_back((r * 7) % ni), xl.push_back((r * 13) % nx);
    std::vector<float> out(il.size() * nk);
    dcore::gather_traces(a, il.data(), xl.data(), il.size(), 0, nk, reinterpret_cast<char *>(out.data()));
    for (std::size_t r = 0; r < il.size(); r += 997)
        for (std::int64_t k = 0; k < nk; k += 99)
            ASSERT_EQ(out[r * nk + k], cube[(il[r] * nx + xl[r]) * nk + k]);
}

TEST(GatherTraces, ReportsFirstIndexOutsideTheArray) {
    std::vector<float> cube(2 * 2 * 2);
    auto a = c_order(cube, 2, 2, 2);
    std::vector<std::int64_t> il{0, 1, -1}, xl{1, 2, 0};
    int axis = -1;
    EXPECT_EQ(dcore::first_trace_outside(a, il.data(), xl.data(), 3, &axis), 1);
    EXPECT_EQ(axis, 1);
    EXPECT_EQ(dcore::first_trace_outside(a, il.data(), xl.data(), 1, &axis), -1);
}

}  // namespace
