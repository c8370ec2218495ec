#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "trace_placement.hpp"

namespace {

using dcore::Placement;
using Fault = dcore::Placement::Fault;

// Rows numbered through every byte, so that a row moved whole to the wrong place or torn is seen.
std::vector<char> numbered_rows(std::size_t n, std::size_t row_bytes) {
    std::vector<char> rows(n * row_bytes);
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t b = 0; b < row_bytes; ++b) rows[r * row_bytes + b] = static_cast<char>((r * 7 + b) % 251);
    return rows;
}

void expect_moved(const std::vector<std::int64_t> &source, std::size_t row_bytes) {
    const std::size_t n = source.size();
    const std::vector<char> original = numbered_rows(n, row_bytes);
    std::vector<char> in_place = original, gathered(original.size());
    dcore::permute_rows(in_place.data(), row_bytes, source.data(), n);
    dcore::gather_rows(original.data(), row_bytes, source.data(), n, gathered.data());
    for (std::size_t c = 0; c < n; ++c) {
        const char *want = original.data() + source[c] * row_bytes;
        ASSERT_EQ(std::memcmp(in_place.data() + c * row_bytes, want, row_bytes), 0) << "cell " << c;
        ASSERT_EQ(std::memcmp(gathered.data() + c * row_bytes, want, row_bytes), 0) << "cell " << c;
    }
}

TEST(TracePlacementMove, EveryKindOfOrderInPlace) {
    // Rows of 4 KB: enough cells for every core to take part.
    const std::size_t row = 4096, n_il = 37, n_xl = 53, n = n_il * n_xl;
    std::vector<std::int64_t> source(n);
    // a crossline-major file: cell (i, j) comes from trace j x n_il + i
    for (std::size_t c = 0; c < n; ++c) source[c] = static_cast<std::int64_t>((c % n_xl) * n_il + c / n_xl);
    expect_moved(source, row);
    // one cycle through every cell (cut into pieces), and the reverse order (all 2-cycles)
    for (std::size_t c = 0; c < n; ++c) source[c] = static_cast<std::int64_t>((c + 1) % n);
    expect_moved(source, row);
    for (std::size_t c = 0; c < n; ++c) source[c] = static_cast<std::int64_t>(n - 1 - c);
    expect_moved(source, row);
    std::iota(source.begin(), source.end(), 0);
    std::shuffle(source.begin(), source.end(), std::mt19937(7));
    expect_moved(source, row);
    // small rows, a few cells, and every cell already in place
    std::shuffle(source.begin(), source.end(), std::mt19937(8));
    expect_moved(source, 3);
    expect_moved({2, 0, 1}, 5);
    expect_moved({0, 1, 2, 3}, 8);
}

TEST(TracePlacementGrid, CellsOfAShuffledFile) {
    // inline index, crossline index of 6 traces of a 2 x 3 grid in no order
    const std::vector<std::int64_t> il{1, 0, 1, 0, 0, 1}, xl{2, 0, 0, 1, 2, 1};
    Placement p = dcore::place_traces(il.data(), xl.data(), 6, 2, 3);
    ASSERT_EQ(p.fault, Fault::none);
    EXPECT_EQ(std::vector<std::int64_t>(p.source.begin(), p.source.end()), (std::vector<std::int64_t>{1, 3, 4, 2, 5, 0}));
    EXPECT_FALSE(p.in_file_order());
    const std::vector<std::int64_t> il2{0, 0, 1, 1}, xl2{0, 1, 0, 1};
    EXPECT_TRUE(dcore::place_traces(il2.data(), xl2.data(), 4, 2, 2).in_file_order());
}

TEST(TracePlacementGrid, WhatKeepsTracesFromAGrid) {
    // a second trace in a cell: the first such trace in file order, and the one before it
    std::vector<std::int64_t> il{0, 0, 1, 1, 0, 1}, xl{0, 1, 0, 1, 1, 0};
    Placement p = dcore::place_traces(il.data(), xl.data(), 6, 2, 2);
    EXPECT_EQ(p.fault, Fault::shared_cell);
    EXPECT_EQ(p.trace, 4u);
    EXPECT_EQ(p.other, 1u);
    EXPECT_EQ(p.per_cell, 0u);
    // a pre-stack gather: two offsets in every cell
    il = {0, 0, 0, 0, 1, 1, 1, 1};
    xl = {0, 0, 1, 1, 0, 0, 1, 1};
    p = dcore::place_traces(il.data(), xl.data(), 8, 2, 2);
    EXPECT_EQ(p.fault, Fault::shared_cell);
    EXPECT_EQ(p.trace, 1u);
    EXPECT_EQ(p.other, 0u);
    EXPECT_EQ(p.per_cell, 2u);
    // a line number off the lattice comes before a later shared cell
    il = {0, -1, 0, 0};
    xl = {0, 0, 0, 1};
    p = dcore::place_traces(il.data(), xl.data(), 4, 2, 2);
    EXPECT_EQ(p.fault, Fault::off_inline);
    EXPECT_EQ(p.trace, 1u);
    // the diagonal of a 3 x 3 grid: the first empty cell is (0, 1); then a wide grid that is
    // never tabled, with a shared cell found before its empty ones
    il = {0, 1, 2};
    xl = {0, 1, 2};
    p = dcore::place_traces(il.data(), xl.data(), 3, 3, 3);
    EXPECT_EQ(p.fault, Fault::missing_cell);
    EXPECT_EQ(p.cell, 1u);
    il = {5, 9, 5};
    xl = {100000, 7, 100000};
    p = dcore::place_traces(il.data(), xl.data(), 3, 1u << 20, 1u << 20);
    EXPECT_EQ(p.fault, Fault::shared_cell);
    EXPECT_EQ(p.trace, 2u);
    EXPECT_EQ(p.other, 0u);
}

}  // namespace
