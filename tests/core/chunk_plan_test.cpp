#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "chunk_plan.hpp"

using dcore::ChunkPlan;
using dcore::plan_chunks;
using V = std::vector<std::int64_t>;

TEST(ChunkPlanCases, SplitPointsAndShortLastChunk) {
    ChunkPlan p = plan_chunks(10, 40, std::int64_t{15});  // more chunks than the limit's share
    EXPECT_EQ(p.nsplit, 3);
    EXPECT_EQ(p.rows_per_chunk, 3);
    EXPECT_EQ(p.split_index, (V{3, 6, 9}));
    EXPECT_EQ(p.chunk_rows, (V{3, 3, 3, 1}));
    EXPECT_EQ(p.chunk_bytes, (V{12, 12, 12, 4}));

    p = plan_chunks(12, 48, std::int64_t{48});  // reaching the limit: one chunk, no split point
    EXPECT_TRUE(p.split_index.empty());
    EXPECT_EQ(p.chunk_rows, (V{12}));

    p = plan_chunks(12, 48, 30.5);  // a real limit follows the same rule
    EXPECT_EQ(p.nsplit, 2);
    EXPECT_EQ(p.chunk_rows, (V{6, 6}));
}

TEST(ChunkPlanCases, RowLargerThanLimitAndBadArguments) {
    EXPECT_THROW(plan_chunks(2, 800, std::int64_t{300}), dcore::RowTooLarge);
    EXPECT_THROW(plan_chunks(12, 48, 0.5), dcore::RowTooLarge);
    EXPECT_THROW(plan_chunks(12, 48, 1e-300), dcore::RowTooLarge);
    try {
        plan_chunks(2, 800, std::int64_t{300});
    } catch (const dcore::RowTooLarge &e) {
        EXPECT_STREQ(e.what(), "one row of 400 bytes does not fit into the byte limit of 300");
    }
    EXPECT_THROW(plan_chunks(12, 48, std::int64_t{0}), std::invalid_argument);
    EXPECT_THROW(plan_chunks(12, 48, -3.0), std::invalid_argument);
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
    EXPECT_THROW(plan_chunks(rows, rows, 1.0), dcore::TooManyChunks);
}

// Every plan that returns keeps each chunk within the limit and partitions the rows in order.
TEST(ChunkPlanSweep, ChunksFitAndCoverEveryRow) {
    for (std::int64_t size = 1; size <= 40; ++size)
        for (std::int64_t row = 1; row <= 9; ++row)
            for (std::int64_t limit = 1; limit <= size * row; ++limit) {
                const std::int64_t byte = size * row;
                for (int real = 0; real < 2; ++real) {
                    ChunkPlan p;
                    try {
                        p = real ? plan_chunks(size, byte, limit + 0.25) : plan_chunks(size, byte, limit);
                    } catch (const dcore::RowTooLarge &) {
                        EXPECT_GT(row, limit) << size << " " << row << " " << limit;
                        continue;
                    } catch (const std::invalid_argument &) {
                        EXPECT_TRUE(real && byte < limit + 0.25);
                        continue;
                    }
                    std::int64_t next = 0;
                    for (std::size_t c = 0; c < p.chunk_rows.size(); ++c) {
                        EXPECT_LE(p.chunk_bytes[c], limit + 0.25 * real);
                        EXPECT_EQ(p.chunk_bytes[c], p.chunk_rows[c] * row);
                        if (c > 0) EXPECT_EQ(p.split_index[c - 1], next);
                        next += p.chunk_rows[c];
                    }
                    EXPECT_EQ(next, size);
                    EXPECT_GE(static_cast<std::int64_t>(p.chunk_rows.size()), p.nsplit);
                }
            }
}
