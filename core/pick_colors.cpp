#include "pick_colors.hpp"

#include <utility>
#include <vector>

#include "parallel.hpp"

namespace dcore {

void identifier_colors(std::size_t n, float *out) { identifier_colors(0, n, out); }

void identifier_colors(std::size_t first, std::size_t count, float *out) {
    parallel_for(count, 1 << 16, [first, out](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            const std::uint32_t id = static_cast<std::uint32_t>(first + k + 1);
            float *row = out + 4 * k;
            for (int c = 0; c < 4; ++c) row[c] = static_cast<float>((id >> (8 * c)) & 0xFFu) / 255.0f;
        }
    });
}

void decode_pixels(const std::uint8_t *rgba, std::size_t count, std::uint32_t *out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = decode_pixel(rgba + 4 * i);
}

std::uint32_t choose_identifier(const std::uint32_t *values, std::size_t count, std::uint64_t n) {
    if (count == 0) return 0;
    auto is_vertex = [n](std::uint32_t v) { return v != 0 && v <= n; };
    const std::uint32_t centre = values[count / 2];
    if (is_vertex(centre)) return centre;
    // The region is tiny (25 pixels for a click): a linear tally keeps the first-met order.
    std::vector<std::pair<std::uint32_t, std::size_t>> tally;
    for (std::size_t i = 0; i < count; ++i) {
        if (!is_vertex(values[i])) continue;
        bool seen = false;
        for (auto &t : tally)
            if (t.first == values[i]) {
                ++t.second;
                seen = true;
                break;
            }
        if (!seen) tally.emplace_back(values[i], 1);
    }
    std::uint32_t best = 0;
    std::size_t best_count = 0;
    for (const auto &t : tally)
        if (t.second > best_count) best = t.first, best_count = t.second;
    return best;
}

}  // namespace dcore
