// The section cutter's kernels: line positions turned into array indexes, and the traces (runs of
// samples along the last axis) of a section gathered out of a strided 3D array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "strided3.hpp"

namespace dcore {

// An index that no array has: what a line position that is no array index becomes.
constexpr std::int64_t kNoIndex = std::numeric_limits<std::int64_t>::min();

// Line positions ((line number - FRST) / NCRT) as array indexes, truncated toward zero; a position
// that is not a number or lies outside the range of int64 becomes kNoIndex.
void truncate_positions(const double *positions, std::size_t n, std::int64_t *out);

// Index of the first (inline, crossline) pair outside the array, or -1 when all lie inside.
std::int64_t first_trace_outside(const Strided3 &a, const std::int64_t *il, const std::int64_t *xl, std::size_t n,
                                 int *axis);

// Copies samples [k0, k0 + count) of trace (il[r], xl[r]) into row r of `out`, a C-ordered
// n x count array of the same item size. Indexes must lie inside the array.
void gather_traces(const Strided3 &a, const std::int64_t *il, const std::int64_t *xl, std::size_t n, std::int64_t k0,
                   std::size_t count, char *out);

}  // namespace dcore
