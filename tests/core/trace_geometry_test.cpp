#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "trace_geometry.hpp"

namespace {

using dcore::Number;
using dcore::ScaleRule;

TEST(TraceGeometryDistinct, SmallestTwoLargestAndCountOfSpacedLines) {
    // Inline numbers 10, 12 and 20, each on two traces, in no particular order.
    std::vector<std::int32_t> il{20, 10, 12, 10, 20, 12};
    auto s = dcore::summarize_distinct(il.data(), il.size());
    EXPECT_EQ(s.count, 3u);
    EXPECT_EQ(s.first, 10);
    EXPECT_EQ(s.second, 12);
    EXPECT_EQ(s.last, 20);
    EXPECT_TRUE(s.equal_counts);
}

TEST(TraceGeometryDistinct, UnequalCountsAreSeen) {
    std::vector<std::int32_t> il{1, 1, 1, 2, 2};
    EXPECT_FALSE(dcore::summarize_distinct(il.data(), il.size()).equal_counts);
    std::vector<std::int32_t> one{7, 7, 7};
    auto s = dcore::summarize_distinct(one.data(), one.size());
    EXPECT_EQ(s.count, 1u);
    EXPECT_EQ(s.first, 7);
    EXPECT_EQ(s.last, 7);
    EXPECT_TRUE(s.equal_counts);
    EXPECT_EQ(dcore::summarize_distinct(one.data(), 0).count, 0u);
}

TEST(TraceGeometryDistinct, CountingTableAndSortingAgree) {
    // A narrow range is counted in a table, a wide one sorted; both give the same answer, also for
    // negative and extreme values.
    std::vector<std::int64_t> narrow, wide;
    for (int rep = 0; rep < 3; ++rep)
        for (std::int64_t v : {-5, 0, 3, 900}) {
            narrow.push_back(v);
            wide.push_back(v * 1000000000000LL);
        }
    wide.push_back(std::numeric_limits<std::int64_t>::min());
    auto a = dcore::summarize_distinct(narrow.data(), narrow.size());
    auto b = dcore::summarize_distinct(wide.data(), wide.size());
    EXPECT_EQ(a.count, 4u);
    EXPECT_EQ(a.first, -5);
    EXPECT_EQ(a.second, 0);
    EXPECT_EQ(a.last, 900);
    EXPECT_TRUE(a.equal_counts);
    EXPECT_EQ(b.count, 5u);
    EXPECT_EQ(b.first, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(b.second, -5000000000000LL);
    EXPECT_FALSE(b.equal_counts);

    std::vector<std::uint64_t> big{std::numeric_limits<std::uint64_t>::max(), 1, 1, std::numeric_limits<std::uint64_t>::max()};
    auto c = dcore::summarize_distinct(big.data(), big.size());
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.last, std::numeric_limits<std::uint64_t>::max());
}

TEST(TraceGeometryDistinct, RealValuesWithNanCountAsOneValueSortedLast) {
    const double nan = std::nan("");
    std::vector<double> v{2.5, nan, 1.0, nan, 2.5, 1.0};
    auto s = dcore::summarize_distinct(v.data(), v.size());
    EXPECT_EQ(s.count, 3u);
    EXPECT_EQ(s.first, 1.0);
    EXPECT_EQ(s.second, 2.5);
    EXPECT_TRUE(std::isnan(s.last));
    EXPECT_TRUE(s.equal_counts);
}

TEST(TraceGeometryDistinct, AllSame) {
    std::vector<std::uint16_t> ns{500, 500, 501};
    EXPECT_FALSE(dcore::all_same(ns.data(), ns.size()));
    EXPECT_TRUE(dcore::all_same(ns.data(), 2));
    EXPECT_TRUE(dcore::all_same(ns.data(), 0));
}

TEST(TraceGeometryCorners, CellsOfTheGrid) {
    auto c = dcore::corner_cells(4, 3);
    EXPECT_EQ(c.p1, 0u);
    EXPECT_EQ(c.p2, 2u);
    EXPECT_EQ(c.p3, 9u);
    auto single_il = dcore::corner_cells(1, 5);
    EXPECT_EQ(single_il.p3, single_il.p1);
    auto single_xl = dcore::corner_cells(5, 1);
    EXPECT_EQ(single_xl.p2, single_xl.p1);
    EXPECT_EQ(single_xl.p3, 4u);
}

TEST(TraceGeometryScaling, RuleFollowsTheSignOfTheFirstScalar) {
    EXPECT_EQ(dcore::scale_rule(Number::integer(2)), ScaleRule::multiply);
    EXPECT_EQ(dcore::scale_rule(Number::integer(-100)), ScaleRule::divide);
    EXPECT_EQ(dcore::scale_rule(Number::integer(0)), ScaleRule::keep);
    auto d = dcore::scale_coordinate(Number::integer(250), Number::integer(-100), ScaleRule::divide);
    EXPECT_FALSE(d.value.is_integer);
    EXPECT_DOUBLE_EQ(d.value.d, 2.5);
    auto m = dcore::scale_coordinate(Number::integer(250), Number::integer(2), ScaleRule::multiply);
    EXPECT_TRUE(m.value.is_integer);
    EXPECT_EQ(m.value.i, 500);
    auto k = dcore::scale_coordinate(Number::integer(250), Number::integer(7), ScaleRule::keep);
    EXPECT_FALSE(k.scaled);
    EXPECT_EQ(k.value.i, 250);
}

TEST(TraceGeometryScaling, ProductsDoNotWrapAround) {
    // 500000 x 10000 does not fit 32 bits.
    auto m = dcore::scale_coordinate(Number::integer(500000), Number::integer(10000), ScaleRule::multiply);
    EXPECT_TRUE(m.value.is_integer);
    EXPECT_EQ(m.value.i, 5000000000LL);
    // Beyond 64 bits the product becomes a real rather than wrapping.
    auto huge = dcore::scale_coordinate(Number::integer(std::numeric_limits<std::int64_t>::max()),
                                        Number::integer(4), ScaleRule::multiply);
    EXPECT_FALSE(huge.value.is_integer);
    EXPECT_GT(huge.value.d, 3.0e19);
}

TEST(TraceGeometryScaling, ZeroScalarOnALaterTraceLeavesItUnscaled) {
    auto z = dcore::scale_coordinate(Number::integer(123456), Number::integer(0), ScaleRule::divide);
    EXPECT_FALSE(z.scaled);
    EXPECT_TRUE(z.value.is_integer);
    EXPECT_EQ(z.value.i, 123456);
    auto r = dcore::scale_coordinate(Number::real(10.0), Number::integer(-4), ScaleRule::divide);
    EXPECT_DOUBLE_EQ(r.value.d, 2.5);
}

TEST(TraceGeometryAxis, LatticeAndRank) {
    // inline numbers 10, 12, 20 on a lattice 10 + 2k, k < 3: 20 and 11 are off it
    const std::vector<std::int32_t> il{20, 10, 12, 11, 14};
    std::vector<std::int64_t> k(il.size());
    dcore::lattice_indexes(il.data(), il.size(), {10, 2, 3}, k.data());
    EXPECT_EQ(k, (std::vector<std::int64_t>{-1, 0, 1, -1, 2}));
    // descending steps and reals, which must be the lattice's own numbers
    const std::vector<double> xl{7.0, 5.0, 6.5, 3.0, NAN};
    k.resize(xl.size());
    dcore::lattice_indexes(xl.data(), xl.size(), {7, -2, 3}, k.data());
    EXPECT_EQ(k, (std::vector<std::int64_t>{0, 1, -1, 2, -1}));
    const std::vector<std::uint64_t> big{std::numeric_limits<std::uint64_t>::max(), 1};
    k.resize(2);
    dcore::lattice_indexes(big.data(), 2, {1, 1, 2}, k.data());
    EXPECT_EQ(k, (std::vector<std::int64_t>{-1, 0}));

    // ranks from a table (narrow range) and from sorting (wide range, NaN last) agree
    k.resize(il.size());
    EXPECT_EQ(dcore::rank_indexes(il.data(), il.size(), k.data()), 5u);
    EXPECT_EQ(k, (std::vector<std::int64_t>{4, 0, 2, 1, 3}));
    const std::vector<std::int64_t> wide{-5000000000, 7, 7, 9000000000};
    k.resize(wide.size());
    EXPECT_EQ(dcore::rank_indexes(wide.data(), wide.size(), k.data()), 3u);
    EXPECT_EQ(k, (std::vector<std::int64_t>{0, 1, 1, 2}));
    const std::vector<float> reals{2.5f, NAN, -1.0f, NAN, 2.5f};
    k.resize(reals.size());
    EXPECT_EQ(dcore::rank_indexes(reals.data(), reals.size(), k.data()), 3u);
    EXPECT_EQ(k, (std::vector<std::int64_t>{1, 2, 0, 2, 1}));
}

}  // namespace
