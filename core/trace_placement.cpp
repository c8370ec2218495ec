#include "trace_placement.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <utility>

#include "parallel.hpp"

namespace dcore {

namespace {

// Traces in every cell when all cells hold the same number of traces, else 0.
std::size_t traces_per_cell(const std::int64_t *il, const std::int64_t *xl, std::size_t n, std::size_t n_xl,
                            std::size_t cells) {
    if (cells == 0 || n % cells != 0) return 0;
    big_vector<std::size_t> count(cells, 0);
    for (std::size_t t = 0; t < n; ++t) {
        if (il[t] < 0 || xl[t] < 0) return 0;
        ++count[static_cast<std::size_t>(il[t]) * n_xl + static_cast<std::size_t>(xl[t])];
    }
    const std::size_t each = n / cells;
    return std::all_of(count.begin(), count.end(), [each](std::size_t c) { return c == each; }) ? each : 0;
}

Placement off_axis(std::size_t t, const std::int64_t *il) {
    Placement p;
    p.fault = il[t] < 0 ? Placement::Fault::off_inline : Placement::Fault::off_crossline;
    p.trace = t;
    return p;
}

// More cells than traces: some cell stays empty. Report the first offending trace, if there is
// one, before the empty cell; the cells are sorted rather than tabled, as there may be very many.
Placement place_sparse(const std::int64_t *il, const std::int64_t *xl, std::size_t n, std::size_t n_xl) {
    std::size_t first_off = n;
    for (std::size_t t = 0; t < n && first_off == n; ++t)
        if (il[t] < 0 || xl[t] < 0) first_off = t;
    big_vector<std::pair<std::uint64_t, std::size_t>> cell_trace;
    cell_trace.reserve(first_off);
    for (std::size_t t = 0; t < first_off; ++t)
        cell_trace.emplace_back(static_cast<std::uint64_t>(il[t]) * n_xl + static_cast<std::uint64_t>(xl[t]), t);
    std::sort(cell_trace.begin(), cell_trace.end());
    Placement p;
    // Sorted by cell, then by trace: the second entry of a run is its cell's first extra trace.
    std::size_t first_shared = n;
    for (std::size_t k = 1; k < cell_trace.size(); ++k)
        if (cell_trace[k].first == cell_trace[k - 1].first && cell_trace[k].second < first_shared) {
            first_shared = cell_trace[k].second;
            p.other = cell_trace[k - 1].second;
        }
    if (first_shared < first_off) {
        p.fault = Placement::Fault::shared_cell;
        p.trace = first_shared;
        return p;
    }
    if (first_off < n) return off_axis(first_off, il);
    p.fault = Placement::Fault::missing_cell;
    std::uint64_t want = 0;
    for (const auto &ct : cell_trace) {
        if (ct.first != want) break;
        ++want;
    }
    p.cell = static_cast<std::size_t>(want);
    return p;
}

}  // namespace

bool Placement::in_file_order() const {
    for (std::size_t c = 0; c < source.size(); ++c)
        if (source[c] != static_cast<std::int64_t>(c)) return false;
    return true;
}

Placement place_traces(const std::int64_t *il, const std::int64_t *xl, std::size_t n, std::size_t n_il,
                       std::size_t n_xl) {
    const bool huge = n_xl != 0 && n_il > std::numeric_limits<std::size_t>::max() / n_xl;
    const std::size_t cells = huge ? std::numeric_limits<std::size_t>::max() : n_il * n_xl;
    if (cells > n) return place_sparse(il, xl, n, n_xl);

    Placement p;
    big_vector<std::int64_t> source(cells, -1);
    for (std::size_t t = 0; t < n; ++t) {
        if (il[t] < 0 || xl[t] < 0) return off_axis(t, il);
        std::int64_t &cell = source[static_cast<std::size_t>(il[t]) * n_xl + static_cast<std::size_t>(xl[t])];
        if (cell >= 0) {
            p.fault = Placement::Fault::shared_cell;
            p.trace = t;
            p.other = static_cast<std::size_t>(cell);
            p.per_cell = traces_per_cell(il, xl, n, n_xl, cells);
            return p;
        }
        cell = static_cast<std::int64_t>(t);
    }
    // n traces in n distinct cells of at most n: every cell is filled.
    p.source = std::move(source);
    return p;
}

void gather_rows(const char *rows, std::size_t row_bytes, const std::int64_t *source, std::size_t n, char *out) {
    if (row_bytes == 0) return;
    const std::size_t min_rows = std::max<std::size_t>(1, (256u << 10) / row_bytes);
    parallel_for(n, min_rows, [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c)
            std::memcpy(out + c * row_bytes, rows + static_cast<std::size_t>(source[c]) * row_bytes, row_bytes);
    });
}

void permute_rows(char *rows, std::size_t row_bytes, const std::int64_t *source, std::size_t n) {
    if (n == 0 || row_bytes == 0) return;
    auto row = [rows, row_bytes](std::size_t c) { return rows + c * row_bytes; };

    // The cycles of the permutation as pieces (cells already in place are left alone). A piece
    // walks `count` cells from `start` along its cycle, each cell taking the row of the next; the
    // last cell takes the row saved in slot `last` before any piece ran. A short cycle is one piece
    // whose start row its worker saves itself (last = -1); a long one is cut into pieces of at most
    // `longest` cells, the first row of every piece saved beforehand, so that one long cycle does
    // not hold up the others.
    const unsigned workers = worker_count(n, std::max<std::size_t>(1, (1u << 20) / row_bytes));
    const std::size_t longest = std::max<std::size_t>(2, n / (8 * std::size_t{workers}) + 1);
    struct Piece {
        std::size_t start, count;
        std::ptrdiff_t last;
    };
    big_vector<Piece> pieces;
    std::vector<std::size_t> saved_cells;
    {
        std::vector<bool> seen(n, false);
        for (std::size_t c = 0; c < n; ++c) {
            if (seen[c] || source[c] == static_cast<std::int64_t>(c)) continue;
            std::size_t k = c, length = 0;
            do {
                seen[k] = true;
                k = static_cast<std::size_t>(source[k]);
                ++length;
            } while (k != c);
            if (length <= longest) {
                pieces.push_back({c, length, -1});
                continue;
            }
            const std::size_t n_pieces = (length + longest - 1) / longest, first_slot = saved_cells.size();
            for (std::size_t j = 0; j < n_pieces; ++j) {
                const std::size_t count = std::min(longest, length - j * longest);
                saved_cells.push_back(k);
                pieces.push_back({k, count, static_cast<std::ptrdiff_t>(first_slot + (j + 1) % n_pieces)});
                for (std::size_t s = 0; s < count; ++s) k = static_cast<std::size_t>(source[k]);
            }
        }
    }
    if (pieces.empty()) return;
    std::vector<char> saved(saved_cells.size() * row_bytes);
    for (std::size_t s = 0; s < saved_cells.size(); ++s) std::memcpy(saved.data() + s * row_bytes, row(saved_cells[s]), row_bytes);

    // Consecutive pieces in batches of about `longest` cells, taken by the workers as they go.
    big_vector<std::size_t> batch_begin{0};
    for (std::size_t p = 0, cells = 0; p < pieces.size(); ++p) {
        cells += pieces[p].count;
        if (cells >= longest && p + 1 < pieces.size()) {
            batch_begin.push_back(p + 1);
            cells = 0;
        }
    }
    batch_begin.push_back(pieces.size());
    const std::size_t n_batches = batch_begin.size() - 1;

    std::vector<std::vector<char>> own(workers, std::vector<char>(row_bytes));
    std::atomic<std::size_t> next{0};
    auto work = [&](char *buffer) {
        for (std::size_t b; (b = next.fetch_add(1)) < n_batches;) {
            for (std::size_t p = batch_begin[b]; p < batch_begin[b + 1]; ++p) {
                const Piece &pc = pieces[p];
                const char *last_row = pc.last < 0 ? buffer : saved.data() + static_cast<std::size_t>(pc.last) * row_bytes;
                if (pc.last < 0) std::memcpy(buffer, row(pc.start), row_bytes);
                std::size_t c = pc.start;
                for (std::size_t s = 1; s < pc.count; ++s) {
                    const std::size_t from = static_cast<std::size_t>(source[c]);
                    std::memcpy(row(c), row(from), row_bytes);
                    c = from;
                }
                std::memcpy(row(c), last_row, row_bytes);
            }
        }
    };
    parallel_for(workers, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t w = begin; w < end; ++w) work(own[w].data());
    });
}

}  // namespace dcore
