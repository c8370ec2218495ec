// Vertex identifiers as colours: the colour pass of a pick paints vertex k with identifier k + 1,
// its four bytes (least significant first) as red, green, blue and alpha; reading the rendered
// pixels back gives the identifiers under the click. Identifier 0 is the background.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dcore {

// The largest vertex count that identifiers can tell apart (identifiers run from 1 to n).
constexpr std::uint64_t kMaxPickVertices = 0xFFFFFFFFull;

// Fills `out` (n rows of 4 floats) with the identifier colours of vertices 0..n-1: row k holds the
// bytes of k + 1 as b / 255. Requires n <= kMaxPickVertices.
void identifier_colors(std::size_t n, float *out);

// The same for vertices first..first+count-1 only, row 0 of `out` for vertex `first`.
void identifier_colors(std::size_t first, std::size_t count, float *out);

// One pixel's RGBA bytes read back as an identifier: r + 256 g + 65536 b + 16777216 a.
inline std::uint32_t decode_pixel(const std::uint8_t *rgba) {
    return static_cast<std::uint32_t>(rgba[0]) | static_cast<std::uint32_t>(rgba[1]) << 8 |
           static_cast<std::uint32_t>(rgba[2]) << 16 | static_cast<std::uint32_t>(rgba[3]) << 24;
}

// Decodes `count` pixels of 4 bytes each, in the order they come.
void decode_pixels(const std::uint8_t *rgba, std::size_t count, std::uint32_t *out);

// The identifier picked from the decoded pixels of a region (the click at its middle entry,
// count / 2), for a line of n vertices; 0 when no vertex was hit. Values outside 1..n are drawn by
// something other than a vertex marker and count as background: the middle pixel wins when it is
// a vertex, otherwise the vertex seen on most pixels of the region (ties: the first met).
std::uint32_t choose_identifier(const std::uint32_t *values, std::size_t count, std::uint64_t n);

}  // namespace dcore
