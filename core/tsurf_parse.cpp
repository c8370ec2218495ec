#include "tsurf_parse.hpp"

#include <cstring>
#include <limits>
#include <unordered_map>
#include <utility>

namespace dcore {
namespace tsurf {

using pytext::parse_integer;
using pytext::parse_real;
using pytext::space_at;
using pytext::split;
using pytext::strip;

namespace {

bool starts_with(const char *s, std::size_t n, const char *prefix) {
    std::size_t k = std::strlen(prefix);
    return n >= k && std::memcmp(s, prefix, k) == 0;
}

bool is_word(const char *s, std::size_t n, const char *word) {
    return n == std::strlen(word) && std::memcmp(s, word, n) == 0;
}

// A token or name as messages show it: whole and quoted, a control character (a NUL, say) written
// as \xNN, as the interpreter's repr() writes it, so that nothing of it is hidden or cuts the
// message short.
std::string quoted(const char *s, std::size_t n) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "'";
    out.reserve(n + 2);
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        const bool c1 = c == 0xC2 && i + 1 < n && (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0x80;  // U+0080..U+009F
        if (c1) c = static_cast<unsigned char>(s[++i]);
        if (c < 0x20 || c == 0x7f || c1) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += s[i];
        }
    }
    return out + "'";
}

std::string quoted(const std::string &s) { return quoted(s.data(), s.size()); }

std::string at_line(std::int64_t line) { return "line " + std::to_string(line) + ": "; }

}  // namespace

void Issue::offer(std::uint64_t at, std::string text) {
    if (set && order <= at) return;
    set = true;
    order = at;
    message = std::move(text);
}

Reader::Reader(std::vector<std::int64_t> positions, std::vector<std::string> names,
               std::vector<std::string> position_texts)
    : positions_(std::move(positions)), names_(std::move(names)), position_texts_(std::move(position_texts)) {
    names_.resize(positions_.size());
    for (std::size_t j = position_texts_.size(); j < positions_.size(); ++j)
        position_texts_.push_back(std::to_string(positions_[j]));
    new_surface();
}

void Reader::new_surface() {
    surface_row_.push_back(row_count_);
    surface_tri_.push_back(tri_line_.size());
    surface_atom_.push_back(atoms_.size());
}

bool Reader::feed(const char *data, std::size_t size) {
    const char *end = data + size;
    const char *p = data;
    if (!carry_.empty()) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size));
        if (!nl) {
            carry_.append(p, size);
            return true;
        }
        carry_.append(p, nl - p);
        p = nl + 1;
        std::string text;
        text.swap(carry_);
        if (!line(text.data(), text.size())) return false;
    }
    while (p < end) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
        if (!nl) {
            carry_.assign(p, end - p);
            return true;
        }
        if (!line(p, nl - p)) return false;
        p = nl + 1;
    }
    return true;
}

bool Reader::finish() {
    if (carry_.empty()) return true;
    std::string text;
    text.swap(carry_);
    return line(text.data(), text.size());
}

void Reader::read_id(const char *s, std::size_t n, IdKind kind, std::size_t slot, std::int64_t &id, bool &ok) {
    Number verdict = parse_integer(s, n, id);
    ok = verdict == Number::Ok;
    if (verdict == Number::Pending) pending_ids.push_back({line_no_, kind, slot, std::string(s, n)});
}

bool Reader::line(const char *p, std::size_t n) {
    ++line_no_;
    strip(p, n);

    if (starts_with(p, n, "VRTX") || starts_with(p, n, "PVRTX")) {
        split(p, n, tokens_);
        const std::size_t ntok = tokens_.size();
        for (std::size_t j = 0; j < positions_.size(); ++j) {
            std::int64_t pos = positions_[j];
            if (pos < 1 || static_cast<std::uint64_t>(pos) > ntok) {
                short_line.offer(0, at_line(line_no_) + "the vertex line has " + std::to_string(ntok) +
                                        " tokens, but column " + quoted(names_[j]) + " takes token " +
                                        position_texts_[j]);
                return false;
            }
        }
        const std::size_t row = row_count_++;
        const std::size_t m = positions_.size();
        for (std::size_t j = 0; j < m; ++j) {
            const auto &tok = tokens_[positions_[j] - 1];
            const std::size_t slot = row * m + j;
            double v = 0.0;
            switch (parse_real(tok.first, tok.second, v)) {
                case Number::Ok:
                    values_.push_back(static_cast<float>(v));
                    break;
                case Number::Pending:
                    values_.push_back(0.0f);
                    pending_reals.push_back({line_no_, slot, std::string(tok.first, tok.second)});
                    break;
                default:
                    values_.push_back(0.0f);
                    bad_value.offer(slot, at_line(line_no_) + quoted(tok.first, tok.second) + " in column " +
                                              quoted(names_[j]) + " is not a number");
            }
        }
        std::int64_t id = 0;
        bool ok = false;
        if (ntok >= 2) read_id(tokens_[1].first, tokens_[1].second, IdKind::Vertex, row, id, ok);
        vertex_id_.push_back(id);
        vertex_id_ok_.push_back(ok ? 1 : 0);
        return true;
    }

    if (starts_with(p, n, "TRGL")) {
        split(p, n, tokens_);
        const std::size_t t = tri_line_.size();
        tri_line_.push_back(line_no_);
        const std::size_t given = tokens_.size() - 1 < 3 ? tokens_.size() - 1 : 3;
        for (std::size_t k = 0; k < 3; ++k) {
            const std::size_t slot = t * 3 + k;
            std::int64_t id = 0;
            if (k < given) {
                const auto &tok = tokens_[k + 1];
                switch (parse_integer(tok.first, tok.second, id)) {
                    case Number::Ok:
                        break;
                    case Number::Pending:
                        pending_ids.push_back({line_no_, IdKind::Triangle, slot, std::string(tok.first, tok.second)});
                        break;
                    case Number::OutOfRange:
                        bad_triangle.offer(slot, at_line(line_no_) + "the vertex id " + quoted(tok.first, tok.second) +
                                                     " of the triangle is out of range");
                        break;
                    default:
                        bad_triangle.offer(slot, at_line(line_no_) + "the vertex id " + quoted(tok.first, tok.second) +
                                                     " of the triangle is not an integer");
                }
            } else if (k == given) {
                bad_triangle.offer(slot, at_line(line_no_) + "the triangle line has " + std::to_string(given) +
                                             " vertex ids, 3 are needed");
            }
            tri_id_.push_back(id);
        }
        return true;
    }

    // Other lines add nothing; a few of them tell how vertex ids are to be read.
    std::size_t first = 0;
    while (first < n && space_at(p + first, n - first) == 0) ++first;
    if (is_word(p, first, "END") || is_word(p, first, "GOCAD")) {
        new_surface();
    } else if (is_word(p, first, "ATOM") || is_word(p, first, "PATOM")) {
        split(p, n, tokens_);
        if (tokens_.size() >= 3) {
            Atom a;
            a.line = line_no_;
            const std::size_t slot = atoms_.size();
            read_id(tokens_[1].first, tokens_[1].second, IdKind::AtomNew, slot, a.new_id, a.new_ok);
            read_id(tokens_[2].first, tokens_[2].second, IdKind::AtomOld, slot, a.old_id, a.old_ok);
            atoms_.push_back(a);
        }
    }
    return true;
}

void Reader::settle_real(std::size_t i, bool ok, double value) {
    const PendingReal &pr = pending_reals.at(i);
    if (ok) {
        values_[pr.slot] = static_cast<float>(value);
        return;
    }
    const std::size_t m = positions_.size();
    bad_value.offer(pr.slot, at_line(pr.line) + quoted(pr.token) + " in column " + quoted(names_[pr.slot % m]) +
                                 " is not a number");
}

void Reader::settle_id(std::size_t i, Number verdict, std::int64_t value) {
    const PendingId &pi = pending_ids.at(i);
    const bool ok = verdict == Number::Ok;
    switch (pi.kind) {
        case IdKind::Vertex:
            vertex_id_[pi.slot] = value;
            vertex_id_ok_[pi.slot] = ok ? 1 : 0;
            break;
        case IdKind::AtomNew:
            atoms_[pi.slot].new_id = value;
            atoms_[pi.slot].new_ok = ok;
            break;
        case IdKind::AtomOld:
            atoms_[pi.slot].old_id = value;
            atoms_[pi.slot].old_ok = ok;
            break;
        case IdKind::Triangle:
            tri_id_[pi.slot] = value;
            if (!ok)
                bad_triangle.offer(pi.slot, at_line(pi.line) + "the vertex id " + quoted(pi.token) + " of the triangle is " +
                                                (verdict == Number::OutOfRange ? "out of range" : "not an integer"));
            break;
    }
}

bool Reader::join_triangles() {
    constexpr std::int64_t kTwice = -2;    // an id that more than one vertex carries
    constexpr std::int64_t kDangling = -3;  // an atom of an id that no vertex carries
    rows_of_triangles_.assign(tri_id_.size(), 0);
    const std::size_t surfaces = surface_row_.size();
    for (std::size_t s = 0; s < surfaces; ++s) {
        const std::size_t r0 = surface_row_[s], r1 = s + 1 < surfaces ? surface_row_[s + 1] : row_count_;
        const std::size_t t0 = surface_tri_[s], t1 = s + 1 < surfaces ? surface_tri_[s + 1] : tri_line_.size();
        const std::size_t a0 = surface_atom_[s], a1 = s + 1 < surfaces ? surface_atom_[s + 1] : atoms_.size();
        if (t0 == t1) continue;

        std::unordered_map<std::int64_t, std::int64_t> row_of;
        row_of.reserve(r1 - r0 + (a1 - a0));
        for (std::size_t r = r0; r < r1; ++r) {
            if (!vertex_id_ok_[r]) continue;
            auto ins = row_of.emplace(vertex_id_[r], static_cast<std::int64_t>(r));
            if (!ins.second) ins.first->second = kTwice;
        }
        for (std::size_t a = a0; a < a1; ++a) {
            const Atom &atom = atoms_[a];
            if (!atom.new_ok) continue;
            std::int64_t target = kDangling;
            if (atom.old_ok) {
                auto it = row_of.find(atom.old_id);
                if (it != row_of.end()) target = it->second;
            }
            auto ins = row_of.emplace(atom.new_id, target);
            if (!ins.second) ins.first->second = kTwice;
        }

        for (std::size_t t = t0; t < t1; ++t) {
            for (std::size_t k = 0; k < 3; ++k) {
                const std::int64_t id = tri_id_[t * 3 + k];
                auto it = row_of.find(id);
                std::string why;
                if (it == row_of.end())
                    why = "which no vertex of its surface has";
                else if (it->second == kTwice)
                    why = "which more than one vertex of its surface has";
                else if (it->second == kDangling)
                    why = "an atom of a vertex that its surface does not have";
                else if (it->second > std::numeric_limits<std::int32_t>::max())
                    why = "whose row is beyond the 32-bit range of triangle rows";
                if (!why.empty()) {
                    bad_triangle.offer(t * 3 + k, at_line(tri_line_[t]) + "the triangle names vertex id " +
                                                      std::to_string(id) + ", " + why);
                    return false;
                }
                rows_of_triangles_[t * 3 + k] = static_cast<std::int32_t>(it->second);
            }
        }
    }
    return true;
}

}  // namespace tsurf
}  // namespace dcore
