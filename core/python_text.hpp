// Tokens of text read as the interpreter reads them: str.isspace(), str.strip() and str.split()
// on UTF-8 text, and float() and int() on one token.
//
// Tokens that only the interpreter can judge (non-ASCII characters, digit-group underscores) are
// answered Pending: the caller hands them to the interpreter's own float() or int().
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace dcore {
namespace pytext {

// str.isspace() for one code point.
bool is_space(std::uint32_t cp);

// Length in bytes of the white space that starts at p[0..n) (0 when none); n > 0.
std::size_t space_at(const char *p, std::size_t n);

// str.strip(): moves p and shortens n past the white space at both ends.
void strip(const char *&p, std::size_t &n);

// str.split() with no argument: the runs of non-white space of p[0..n), in order, into `tokens`
// (cleared first), each as its start and length.
using Token = std::pair<const char *, std::size_t>;
void split(const char *p, std::size_t n, std::vector<Token> &tokens);

enum class Number { Ok, Invalid, OutOfRange, Pending };

// float(token) for a token holding no white space: Ok with the correctly rounded double; Invalid
// where float() raises ValueError; Pending where only the interpreter can tell (non-ASCII, '_').
Number parse_real(const char *s, std::size_t n, double &out);

// int(token) in base 10 for a token holding no white space; OutOfRange beyond 64 bits.
Number parse_integer(const char *s, std::size_t n, std::int64_t &out);

}  // namespace pytext
}  // namespace dcore
