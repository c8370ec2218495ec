// Places the traces of a SEG-Y file into the (inline, crossline) cells of a cube grid, whatever
// order the file holds them in, and moves the samples there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "huge_pages.hpp"

namespace dcore {

// Which trace fills each cell of an n_il x n_xl grid (cell c = inline index x n_xl + crossline
// index), or the first thing that keeps the traces from forming that grid.
struct Placement {
    enum class Fault { none, off_inline, off_crossline, shared_cell, missing_cell };
    Fault fault = Fault::none;
    std::size_t trace = 0;     // off_*, shared_cell: first offending trace in file order
    std::size_t other = 0;     // shared_cell: the earlier trace in the same cell
    std::size_t per_cell = 0;  // shared_cell: traces in every cell when all cells hold the same number
    std::size_t cell = 0;      // missing_cell: first empty cell in inline-major order
    big_vector<std::int64_t> source;  // fault none: cell -> trace

    // True when trace k is in cell k for every k: the file is inline-major and ascending.
    bool in_file_order() const;
};

// il_index and xl_index hold every trace's index along each axis (lattice_indexes or rank_indexes
// of trace_geometry.hpp), -1 for a line number that is not on the axis.
Placement place_traces(const std::int64_t *il_index, const std::int64_t *xl_index, std::size_t n, std::size_t n_il,
                       std::size_t n_xl);

// Moves row source[c] of `rows` (n rows of row_bytes each) to row c, for every c, in place.
// `source` must be a permutation of 0 .. n - 1. Cycles of the permutation are followed with one
// row buffer per worker, spread over the cores.
void permute_rows(char *rows, std::size_t row_bytes, const std::int64_t *source, std::size_t n);

// out row c = rows row source[c], over the cores.
void gather_rows(const char *rows, std::size_t row_bytes, const std::int64_t *source, std::size_t n, char *out);

}  // namespace dcore
