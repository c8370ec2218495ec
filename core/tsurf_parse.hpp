// Text parsing of Gocad TSurf files: vertex lines, triangle lines and the vertex ids that join them.
//
// The reader is fed decoded text (UTF-8, lines ended by '\n' only) in chunks of any size. Lines are
// stripped and split at runs of white space exactly as the interpreter's str.strip()/str.split() do
// (python_text.hpp).
//
//   VRTX... / PVRTX...   a vertex row: the tokens at the chosen 1-based positions, read as reals
//   TRGL...              a triangle: tokens 2..4, vertex ids
//   ATOM / PATOM         a new vertex id standing for an earlier vertex (adds no row)
//   END / GOCAD          the end of one surface and the start of the next (ids are per surface)
//
// Numbers are read as the interpreter's float() and int() read them. Tokens that only the interpreter
// can judge (non-ASCII characters, digit-group underscores) are handed back as pending; the caller
// settles them and the reader carries on from there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "python_text.hpp"

namespace dcore {
namespace tsurf {

using pytext::Number;

// A problem found at one place; `order` ranks problems of one kind in file order.
struct Issue {
    bool set = false;
    std::uint64_t order = 0;
    std::string message;

    void offer(std::uint64_t at, std::string text);  // kept when it comes first
};

struct PendingReal {
    std::int64_t line;
    std::size_t slot;  // index into values()
    std::string token;
};

enum class IdKind : std::uint8_t { Vertex, Triangle, AtomNew, AtomOld };

struct PendingId {
    std::int64_t line;
    IdKind kind;
    std::size_t slot;  // index into the ids of that kind
    std::string token;
};

class Reader {
public:
    // positions: 1-based token positions (1 is the keyword); names: the property of each;
    // position_texts: each position as the user gave it, for messages (a position beyond 64 bits
    // is kept as the largest one), by default its decimal digits.
    Reader(std::vector<std::int64_t> positions, std::vector<std::string> names,
           std::vector<std::string> position_texts = {});

    // Feeds text; a line still open at the end of `size` waits for the next chunk or finish().
    // False when a vertex line lacks a token: `short_line` says which, and reading must stop.
    bool feed(const char *data, std::size_t size);
    bool finish();

    // The interpreter's verdict on pending tokens (value used when ok).
    void settle_real(std::size_t i, bool ok, double value);
    void settle_id(std::size_t i, Number verdict, std::int64_t value);

    // Turns triangle ids into vertex rows (after every pending id is settled); false with
    // `bad_triangle` set when a triangle names a vertex that its surface does not have.
    bool join_triangles();

    std::size_t columns() const { return positions_.size(); }
    std::size_t rows() const { return row_count_; }
    std::size_t triangle_count() const { return tri_line_.size(); }
    const std::vector<float> &values() const { return values_; }
    const std::vector<std::int32_t> &triangles() const { return rows_of_triangles_; }

    std::vector<PendingReal> pending_reals;
    std::vector<PendingId> pending_ids;

    Issue short_line;    // a vertex line without a token that a column takes (IndexError)
    Issue bad_value;     // a vertex value that is no number (ValueError)
    Issue bad_triangle;  // a triangle line that is unusable (ValueError)

private:
    struct Atom {
        std::int64_t line;
        std::int64_t new_id = 0, old_id = 0;
        bool new_ok = false, old_ok = false;
    };

    bool line(const char *p, std::size_t n);
    void new_surface();
    void read_id(const char *s, std::size_t n, IdKind kind, std::size_t slot, std::int64_t &id, bool &ok);

    std::vector<std::int64_t> positions_;
    std::vector<std::string> names_;
    std::vector<std::string> position_texts_;
    std::string carry_;
    std::int64_t line_no_ = 0;
    std::vector<pytext::Token> tokens_;

    std::vector<float> values_;
    std::size_t row_count_ = 0;
    std::vector<std::int64_t> vertex_id_;
    std::vector<std::uint8_t> vertex_id_ok_;

    std::vector<std::int64_t> tri_id_;  // three per triangle
    std::vector<std::int64_t> tri_line_;
    std::vector<Atom> atoms_;

    // Where each surface starts: vertex row, triangle, atom.
    std::vector<std::size_t> surface_row_, surface_tri_, surface_atom_;

    std::vector<std::int32_t> rows_of_triangles_;
};

}  // namespace tsurf
}  // namespace dcore
