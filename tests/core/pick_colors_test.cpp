#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pick_colors.hpp"

namespace {

using dcore::choose_identifier;

std::vector<std::uint32_t> block(std::uint32_t fill) { return std::vector<std::uint32_t>(25, fill); }

TEST(PickColorsIdentifiers, BytesLeastSignificantFirst) {
    // Vertices 0, 255 and 16777215 carry identifiers 1, 256 and 16777216.
    auto row = [](std::size_t k) {
        std::vector<float> r(4);
        dcore::identifier_colors(k, 1, r.data());
        return r;
    };
    EXPECT_EQ(row(0), (std::vector<float>{1 / 255.0f, 0, 0, 0}));
    EXPECT_EQ(row(255), (std::vector<float>{0, 1 / 255.0f, 0, 0}));
    EXPECT_EQ(row(16777215), (std::vector<float>{0, 0, 0, 1 / 255.0f}));
    EXPECT_EQ(row(4294967294u), (std::vector<float>{1, 1, 1, 1}));  // identifier 0xFFFFFFFF
    // Every row of a whole run (made in parallel) decodes back to its identifier when turned into
    // bytes the way GL does.
    const std::size_t n = 300000;
    std::vector<float> c(4 * n);
    dcore::identifier_colors(n, c.data());
    for (std::size_t k = 0; k < n; ++k) {
        std::uint8_t px[4];
        for (int i = 0; i < 4; ++i) px[i] = static_cast<std::uint8_t>(c[4 * k + i] * 255.0f + 0.5f);
        ASSERT_EQ(dcore::decode_pixel(px), k + 1) << "vertex " << k;
    }
}

TEST(PickColorsDecode, PixelsInRowOrder) {
    const std::uint8_t rgba[12] = {1, 0, 0, 0, 0, 1, 0, 0, 255, 255, 255, 255};
    std::uint32_t out[3];
    dcore::decode_pixels(rgba, 3, out);
    EXPECT_EQ(out[0], 1u);
    EXPECT_EQ(out[1], 256u);
    EXPECT_EQ(out[2], 0xFFFFFFFFu);
}

TEST(PickColorsChoice, CentreVertexWinsWhateverTheRest) {
    auto v = block(7);
    v[12] = 3;
    EXPECT_EQ(choose_identifier(v.data(), v.size(), 10), 3u);
    EXPECT_EQ(choose_identifier(v.data(), v.size(), 3), 3u);  // the last vertex
}

TEST(PickColorsChoice, BackgroundEverywhereIsNoVertex) {
    auto v = block(0);
    EXPECT_EQ(choose_identifier(v.data(), v.size(), 10), 0u);
    EXPECT_EQ(choose_identifier(nullptr, 0, 10), 0u);
}

TEST(PickColorsChoice, BackgroundCentreFallsBackToMostFrequentVertex) {
    auto v = block(0);  // 17 background, 8 of identifier 4
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7}) v[i] = 4;
    EXPECT_EQ(choose_identifier(v.data(), v.size(), 10), 4u);

    auto w = block(0);  // 13 of identifier 6, centre background
    for (int i = 0; i < 13; ++i) w[i == 12 ? 13 : i] = 6;
    EXPECT_EQ(w[12], 0u);
    EXPECT_EQ(choose_identifier(w.data(), w.size(), 10), 6u);

    auto x = block(0);  // two vertices: the one on more pixels wins
    for (int i : {0, 1}) x[i] = 2;
    for (int i : {20, 21, 22}) x[i] = 9;
    EXPECT_EQ(choose_identifier(x.data(), x.size(), 10), 9u);
}

TEST(PickColorsChoice, ValuesAboveVertexCountAreBackground) {
    // A line pixel (or any other colour) at the centre decodes above n: look at the rest.
    auto v = block(0);
    v[12] = 0x00FFFFFFu;
    EXPECT_EQ(choose_identifier(v.data(), v.size(), 10), 0u);
    for (int i : {6, 7, 8}) v[i] = 5;
    EXPECT_EQ(choose_identifier(v.data(), v.size(), 10), 5u);
    // A foreign colour on most pixels does not hide the vertex on fewer.
    auto w = block(0xFF000000u);
    w[0] = 2;
    EXPECT_EQ(choose_identifier(w.data(), w.size(), 10), 2u);
    // n = 0: nothing is a vertex.
    EXPECT_EQ(choose_identifier(w.data(), w.size(), 0), 0u);
}

TEST(PickColorsChoice, MiddleOfAnyLength) {
    const std::uint32_t v[4] = {0, 0, 8, 0};  // the middle of 4 values is index 2
    EXPECT_EQ(choose_identifier(v, 4, 8), 8u);
}

}  // namespace
