#include "chunk_plan.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <sstream>

namespace dcore {

namespace {

void check_rows(std::int64_t size, std::int64_t byte) {
    if (size < 1) throw std::invalid_argument("a cut needs at least one row");
    if (byte < 0 || byte % size != 0)
        throw std::invalid_argument("the byte count must be a whole number of equal rows");
}

template <typename Limit>
std::string too_large(std::int64_t size, std::int64_t byte, Limit limit) {
    std::ostringstream os;
    os << "one row of " << byte / size << " bytes does not fit into the byte limit of " << limit;
    return os.str();
}

template <typename Limit>
std::string too_many(std::int64_t size, std::int64_t byte, Limit limit, std::int64_t count) {
    std::ostringstream os;
    os << "cutting " << size << " rows of " << byte / size << " bytes into chunks of at most " << limit
       << " bytes makes " << count << " chunks, more than memory can hold";
    return os.str();
}

// Rows per chunk from the number of splits; the split points are its multiples below `size`.
template <typename Limit>
ChunkPlan finish(std::int64_t size, std::int64_t byte, Limit limit, std::int64_t nsplit, std::int64_t max_chunks) {
    ChunkPlan p;
    p.nsplit = nsplit;
    p.rows_per_chunk = size / nsplit;
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

}  // namespace

ChunkPlan plan_chunks(std::int64_t size, std::int64_t byte, std::int64_t limit, std::int64_t max_chunks) {
    check_rows(size, byte);
    if (limit <= 0) throw std::invalid_argument("the byte limit must be positive");
    if (byte < limit) throw std::invalid_argument("the bytes stay below the limit: nothing to cut");
    // The limit's share rounded up: one more split for any remainder.
    const std::int64_t nsplit = byte / limit + (byte % limit != 0 ? 1 : 0);
    if (size / nsplit == 0) throw RowTooLarge(too_large(size, byte, limit));
    return finish(size, byte, limit, nsplit, max_chunks);
}

ChunkPlan plan_chunks(std::int64_t size, std::int64_t byte, double limit, std::int64_t max_chunks) {
    check_rows(size, byte);
    if (!(limit > 0)) throw std::invalid_argument("the byte limit must be positive");
    // Worked out exactly: a byte count has up to 63 bits and a double only 53, so neither the
    // count as a double nor a quotient of doubles can be trusted near the ends of the range.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (limit >= kTwo63) throw std::invalid_argument("the bytes stay below the limit: nothing to cut");
    const double whole = std::floor(limit);  // exact, and below 2^63
    const auto floor_limit = static_cast<std::int64_t>(whole);
    // A whole number of bytes is the integer limit, whose answers these are.
    if (whole == limit) return plan_chunks(size, byte, floor_limit, max_chunks);
    // Below: floor_limit < limit < floor_limit + 1, against which any integer compares exactly.
    if (byte <= floor_limit) throw std::invalid_argument("the bytes stay below the limit: nothing to cut");
    if (byte / size > floor_limit) throw RowTooLarge(too_large(size, byte, limit));
    // Now 1 <= row bytes < limit < 2^53, so limit = m / 2^s with m < 2^53 and 1 <= s <= 52, and
    // the limit's share of the bytes rounded up, ceil(byte x 2^s / m), is at most byte.
    int exponent = 0;
    const double fraction = std::frexp(limit, &exponent);  // limit = fraction x 2^exponent
    const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int s = 53 - exponent;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(byte) << s;
    const auto nsplit = static_cast<std::int64_t>(scaled / m + (scaled % m != 0 ? 1 : 0));
    if (size / nsplit == 0) throw RowTooLarge(too_large(size, byte, limit));
    return finish(size, byte, limit, nsplit, max_chunks);
}

}  // namespace dcore
