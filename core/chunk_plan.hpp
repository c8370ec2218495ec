// Plans the cut of an array into consecutive runs of rows (chunks) that each fit a byte limit.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace dcore {

// One row (a slice along the first axis) holds more bytes than the limit allows.
class RowTooLarge : public std::domain_error {
public:
    using std::domain_error::domain_error;
};

// The cut needs more chunks than may be held (more than the caller allows, or more than memory gives).
class TooManyChunks : public std::length_error {
public:
    using std::length_error::length_error;
};

struct ChunkPlan {
    std::int64_t rows_per_chunk = 0;        // rows of every chunk but perhaps the last
    std::vector<std::int64_t> split_index;  // first row of every chunk after the first
    std::vector<std::int64_t> chunk_rows;   // rows of each chunk, in chunk order
    std::vector<std::int64_t> chunk_bytes;  // bytes of each chunk, in chunk order
};

// Plans the cut of `size` rows holding `byte` bytes in total (every row byte / size bytes) for a
// byte count that reached a whole-number limit (byte >= limit > 0, size >= 1): the limit's share of
// the bytes rounded up is the number of splits, and `size` divided by it (truncated) the rows of a
// chunk. Every chunk of the plan holds at most `limit` bytes and the chunks partition the rows.
// Throws RowTooLarge when one row exceeds the limit, TooManyChunks when the cut needs more than
// `max_chunks` chunks or the plan does not fit into memory, and std::invalid_argument on arguments
// outside these bounds.
ChunkPlan plan_chunks(std::int64_t size, std::int64_t byte, std::int64_t limit,
                      std::int64_t max_chunks = INT64_MAX);

// The cut of the same rows into chunks of `rows_per_chunk` rows each, the last holding what remains,
// for a limit whose rule the caller worked out itself; `limit` is the limit as messages name it.
// Throws RowTooLarge when the rule leaves no row for a chunk (rows_per_chunk 0), TooManyChunks as
// plan_chunks does, std::invalid_argument on arguments outside these bounds.
ChunkPlan plan_runs(std::int64_t size, std::int64_t byte, std::int64_t rows_per_chunk, const std::string &limit,
                    std::int64_t max_chunks = INT64_MAX);

}  // namespace dcore
