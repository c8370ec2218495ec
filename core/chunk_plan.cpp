#include "chunk_plan.hpp"

#include <algorithm>
#include <new>
#include <sstream>

namespace dcore {

namespace {

void check_rows(std::int64_t size, std::int64_t byte) {
    if (size < 1) throw std::invalid_argument("a cut needs at least one row");
    if (byte < 0 || byte % size != 0)
        throw std::invalid_argument("the byte count must be a whole number of equal rows");
}

std::string too_large(std::int64_t size, std::int64_t byte, const std::string &limit) {
    std::ostringstream os;
    os << "one row of " << byte / size << " bytes does not fit into the byte limit of " << limit;
    return os.str();
}

std::string too_many(std::int64_t size, std::int64_t byte, const std::string &limit, std::int64_t count) {
    std::ostringstream os;
    os << "cutting " << size << " rows of " << byte / size << " bytes into chunks of at most " << limit
       << " bytes makes " << count << " chunks, more than memory can hold";
    return os.str();
}

}  // namespace

ChunkPlan plan_chunks(std::int64_t size, std::int64_t byte, std::int64_t limit, std::int64_t max_chunks) {
    check_rows(size, byte);
    if (limit <= 0) throw std::invalid_argument("the byte limit must be positive");
    if (byte < limit) throw std::invalid_argument("the bytes stay below the limit: nothing to cut");
    // The limit's share rounded up: one more split for any remainder.
    const std::int64_t nsplit = byte / limit + (byte % limit != 0 ? 1 : 0);
    return plan_runs(size, byte, size / nsplit, std::to_string(limit), max_chunks);
}

ChunkPlan plan_runs(std::int64_t size, std::int64_t byte, std::int64_t rows_per_chunk, const std::string &limit,
                    std::int64_t max_chunks) {
    check_rows(size, byte);
    if (rows_per_chunk == 0) throw RowTooLarge(too_large(size, byte, limit));
    if (rows_per_chunk < 0 || rows_per_chunk > size)
        throw std::invalid_argument("a chunk holds at most all the rows");
    ChunkPlan p;
    p.rows_per_chunk = rows_per_chunk;
    const std::int64_t row_bytes = byte / size;
    const std::int64_t step = p.rows_per_chunk;
    const std::int64_t count = size / step + (size % step != 0 ? 1 : 0);
    if (count > max_chunks) throw TooManyChunks(too_many(size, byte, limit, count));
    try {
        p.split_index.reserve(static_cast<std::size_t>(count - 1));
        p.chunk_rows.reserve(static_cast<std::size_t>(count));
        p.chunk_bytes.reserve(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc &) {
        throw TooManyChunks(too_many(size, byte, limit, count));
    } catch (const std::length_error &) {
        throw TooManyChunks(too_many(size, byte, limit, count));
    }
    // Chunk c starts at c x step, below `size`: stepping past the last start could pass 2^63.
    for (std::int64_t c = 0; c < count; ++c) {
        const std::int64_t first = c * step;
        if (c > 0) p.split_index.push_back(first);
        const std::int64_t rows = std::min(step, size - first);
        p.chunk_rows.push_back(rows);
        p.chunk_bytes.push_back(rows * row_bytes);
    }
    return p;
}

}  // namespace dcore
