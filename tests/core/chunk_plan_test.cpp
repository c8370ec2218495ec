#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "chunk_plan.hpp"

using dcore::ChunkPlan;
using dcore::plan_chunks;
using dcore::plan_runs;
using V = std::vector<std::int64_t>;

TEST(ChunkPlanCases, SplitPointsAndShortLastChunk) {
    ChunkPlan p = plan_chunks(10, 40, std::int64_t{15});  // more chunks than the limit's share
    EXPECT_EQ(p.rows_per_chunk, 3);
    EXPECT_EQ(p.split_index, (V{3, 6, 9}));
    EXPECT_EQ(p.chunk_rows, (V{3, 3, 3, 1}));
    EXPECT_EQ(p.chunk_bytes, (V{12, 12, 12, 4}));

    p = plan_chunks(12, 48, std::int64_t{48});  // reaching the limit: one chunk, no split point
    EXPECT_TRUE(p.split_index.empty());
    EXPECT_EQ(p.chunk_rows, (V{12}));

    p = plan_runs(12, 48, 5, "30.5");  // rows per chunk from a rule worked out by the caller
    EXPECT_EQ(p.split_index, (V{5, 10}));
    EXPECT_EQ(p.chunk_bytes, (V{20, 20, 8}));
}

TEST(ChunkPlanCases, RowLargerThanLimitAndBadArguments) {
    EXPECT_THROW(plan_chunks(2, 800, std::int64_t{300}), dcore::RowTooLarge);
    try {
        plan_chunks(2, 800, std::int64_t{300});
    } catch (const dcore::RowTooLarge &e) {
        EXPECT_STREQ(e.what(), "one row of 400 bytes does not fit into the byte limit of 300");
    }
    try {
        plan_runs(12, 48, 0, "2.9999999999999996");  // the caller's rule left no row for a chunk
        ADD_FAILURE() << "no error";
    } catch (const dcore::RowTooLarge &e) {
        EXPECT_STREQ(e.what(), "one row of 4 bytes does not fit into the byte limit of 2.9999999999999996");
    }
    EXPECT_THROW(plan_runs(12, 48, -1, "3.5"), std::invalid_argument);
    EXPECT_THROW(plan_runs(12, 48, 13, "3.5"), std::invalid_argument);
    EXPECT_THROW(plan_chunks(12, 48, std::int64_t{0}), std::invalid_argument);
    EXPECT_THROW(plan_chunks(0, 0, std::int64_t{1}), std::invalid_argument);
    EXPECT_THROW(plan_chunks(12, 48, std::int64_t{49}), std::invalid_argument);
}

TEST(ChunkPlanCases, TooManyChunksForTheCallerOrForMemory) {
    EXPECT_EQ(plan_chunks(100, 100, std::int64_t{1}, 100).chunk_rows.size(), 100u);
    try {
        plan_chunks(100, 100, std::int64_t{1}, 99);
        ADD_FAILURE() << "no error";
    } catch (const dcore::TooManyChunks &e) {
        EXPECT_STREQ(e.what(), "cutting 100 rows of 1 bytes into chunks of at most 1 bytes makes 100 chunks, "
                               "more than memory can hold");
    }
    // 2^62 one-byte rows: the plan's own lists cannot be had
    const std::int64_t rows = std::int64_t{1} << 62;
    EXPECT_THROW(plan_chunks(rows, rows, std::int64_t{1}), dcore::TooManyChunks);
    EXPECT_THROW(plan_runs(rows, rows, 1, "1.0"), dcore::TooManyChunks);
}

// Every plan that returns keeps each chunk within the limit and partitions the rows in order.
TEST(ChunkPlanSweep, ChunksFitAndCoverEveryRow) {
    for (std::int64_t size = 1; size <= 40; ++size)
        for (std::int64_t row = 1; row <= 9; ++row)
            for (std::int64_t limit = 1; limit <= size * row; ++limit) {
                const std::int64_t byte = size * row;
                ChunkPlan p;
                try {
                    p = plan_chunks(size, byte, limit);
                } catch (const dcore::RowTooLarge &) {
                    EXPECT_GT(row, limit) << size << " " << row << " " << limit;
                    continue;
                }
                std::int64_t next = 0;
                for (std::size_t c = 0; c < p.chunk_rows.size(); ++c) {
                    EXPECT_LE(p.chunk_bytes[c], limit);
                    EXPECT_EQ(p.chunk_bytes[c], p.chunk_rows[c] * row);
                    if (c > 0) EXPECT_EQ(p.split_index[c - 1], next);
                    next += p.chunk_rows[c];
                }
                EXPECT_EQ(next, size);
                EXPECT_GE(static_cast<std::int64_t>(p.chunk_rows.size()), (byte + limit - 1) / limit);
            }
}

// Byte counts with more bits than a double holds, and a last chunk that starts close to 2^63.
TEST(ChunkPlanCases, LimitsAtTheEndsOfTheRange) {
    constexpr std::int64_t kMax = INT64_MAX, k53 = std::int64_t{1} << 53, k62 = std::int64_t{1} << 62;
    auto outcome = [](auto plan) -> std::string {
        try {
            const ChunkPlan p = plan();
            std::string s = "rows";
            for (std::int64_t r : p.chunk_rows) s += " " + std::to_string(r);
            return s;
        } catch (const dcore::TooManyChunks &e) {
            return std::string("TooManyChunks: ") + e.what();
        } catch (const dcore::RowTooLarge &e) {
            return std::string("RowTooLarge: ") + e.what();
        }
    };
    const struct {
        std::int64_t rows, limit;  // one-byte rows
        std::string want;
    } cases[] = {
        {kMax, 1, "TooManyChunks: cutting 9223372036854775807 rows of 1 bytes into chunks of at most 1 bytes makes "
                  "9223372036854775807 chunks, more than memory can hold"},
        {kMax, k62, "rows 4611686018427387903 4611686018427387903 1"},
        {kMax, kMax - 1023, "rows 4611686018427387903 4611686018427387903 1"},
        {k53 + 1, k53, "rows 4503599627370496 4503599627370496 1"},
    };
    for (const auto &c : cases) {
        const std::int64_t n = c.rows, lim = c.limit;
        EXPECT_EQ(outcome([&] { return plan_chunks(n, n, lim); }), c.want) << lim;
    }
}
