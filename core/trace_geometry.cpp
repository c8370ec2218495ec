#include "trace_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

#include "huge_pages.hpp"

namespace dcore {

namespace {

// Ascending order with NaNs after every number, all NaNs alike.
template <typename T>
bool before(T a, T b) {
    if constexpr (std::is_floating_point_v<T>)
        return a < b || (!std::isnan(a) && std::isnan(b));
    else
        return a < b;
}

template <typename T>
bool same_value(T a, T b) {
    return !before(a, b) && !before(b, a);
}

// Collects the summary while distinct values arrive in ascending order with their counts.
template <typename T>
class SummaryBuilder {
public:
    void add(T value, std::size_t count) {
        if (s_.count == 0) {
            s_.first = value;
            first_count_ = count;
        } else {
            if (s_.count == 1) s_.second = value;
            if (count != first_count_) s_.equal_counts = false;
        }
        s_.last = value;
        ++s_.count;
    }
    DistinctSummary<T> result() const { return s_; }

private:
    DistinctSummary<T> s_;
    std::size_t first_count_ = 0;
};

// Line numbers usually span a short range: count them in a table instead of sorting. Calls
// visit(value, count) for each distinct value in ascending order, then, when `rank` is given,
// sets rank[k] to the position of value k among them. False when the range is too wide.
template <typename T, typename Visit>
bool distinct_by_table(const T *v, std::size_t n, std::int64_t *rank, Visit &&visit) {
    const auto [lo_it, hi_it] = std::minmax_element(v, v + n);
    const std::uint64_t lo = static_cast<std::uint64_t>(*lo_it);
    const std::uint64_t range = static_cast<std::uint64_t>(*hi_it) - lo;
    const std::uint64_t limit = std::max<std::uint64_t>(4096, 2 * static_cast<std::uint64_t>(n));
    if (range >= limit || range >= (std::uint64_t{1} << 24) || n >= std::numeric_limits<std::uint32_t>::max())
        return false;
    auto slot = [lo](T value) { return static_cast<std::size_t>(static_cast<std::uint64_t>(value) - lo); };
    big_vector<std::uint32_t> counts(static_cast<std::size_t>(range) + 1, 0);
    for (std::size_t k = 0; k < n; ++k) ++counts[slot(v[k])];
    std::uint32_t next = 0;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        if (!counts[k]) continue;
        visit(static_cast<T>(lo + k), counts[k]);
        counts[k] = next++;  // from here on the table holds ranks
    }
    if (rank)
        for (std::size_t k = 0; k < n; ++k) rank[k] = counts[slot(v[k])];
    return true;
}

template <typename T, typename Visit>
void distinct_by_sorting(const T *v, std::size_t n, std::int64_t *rank, Visit &&visit) {
    big_vector<T> sorted(v, v + n);
    std::sort(sorted.begin(), sorted.end(), before<T>);
    std::size_t distinct = 0;
    for (std::size_t k = 0, run = 0; k < n; ++k) {
        ++run;
        if (k + 1 == n || !same_value(sorted[k], sorted[k + 1])) {
            visit(sorted[k], run);
            sorted[distinct++] = sorted[k];
            run = 0;
        }
    }
    if (rank)
        for (std::size_t k = 0; k < n; ++k)
            rank[k] = std::lower_bound(sorted.begin(), sorted.begin() + distinct, v[k], before<T>) - sorted.begin();
}

template <typename T, typename Visit>
void distinct_values(const T *v, std::size_t n, std::int64_t *rank, Visit &&visit) {
    if (n == 0) return;
    if constexpr (std::is_integral_v<T>)
        if (distinct_by_table(v, n, rank, visit)) return;
    distinct_by_sorting(v, n, rank, visit);
}

template <typename T>
std::int64_t lattice_index(T v, const LineLattice &ax) {
    const auto count = static_cast<__int128>(ax.count);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(v)) return -1;
        const long double d = static_cast<long double>(v) - static_cast<long double>(ax.first);
        const long double k = ax.step == 0 ? 0.0L : std::nearbyint(d / static_cast<long double>(ax.step));
        // Indexes are int64: a count beyond 2^63 - 1 (given by the caller) cannot raise the bound.
        const std::size_t bound = std::min<std::size_t>(ax.count, std::numeric_limits<std::int64_t>::max());
        if (!(k >= 0 && k < static_cast<long double>(bound))) return -1;
        // The number must be the lattice's own, not merely near it.
        if (static_cast<long double>(ax.first) + k * static_cast<long double>(ax.step) != static_cast<long double>(v))
            return -1;
        return static_cast<std::int64_t>(k);
    } else {
        const __int128 d = static_cast<__int128>(v) - ax.first;
        if (ax.step == 0) return d == 0 && count > 0 ? 0 : -1;
        if (d % ax.step != 0) return -1;
        const __int128 k = d / ax.step;
        return k >= 0 && k < count ? static_cast<std::int64_t>(k) : -1;
    }
}

}  // namespace

template <typename T>
DistinctSummary<T> summarize_distinct(const T *values, std::size_t n) {
    SummaryBuilder<T> b;
    distinct_values(values, n, nullptr, [&b](T value, std::size_t count) { b.add(value, count); });
    return b.result();
}

template <typename T>
std::size_t rank_indexes(const T *values, std::size_t n, std::int64_t *out) {
    std::size_t distinct = 0;
    distinct_values(values, n, out, [&distinct](T, std::size_t) { ++distinct; });
    return distinct;
}

template <typename T>
void lattice_indexes(const T *values, std::size_t n, const LineLattice &axis, std::int64_t *out) {
    for (std::size_t k = 0; k < n; ++k) out[k] = lattice_index(values[k], axis);
}

template <typename T>
bool all_same(const T *values, std::size_t n) {
    for (std::size_t k = 1; k < n; ++k)
        if (!same_value(values[k], values[0])) return false;
    return true;
}

#define DCORE_INSTANTIATE(T)                                                                        \
    template DistinctSummary<T> summarize_distinct<T>(const T *, std::size_t);                      \
    template std::size_t rank_indexes<T>(const T *, std::size_t, std::int64_t *);                   \
    template void lattice_indexes<T>(const T *, std::size_t, const LineLattice &, std::int64_t *); \
    template bool all_same<T>(const T *, std::size_t);
DCORE_INSTANTIATE(std::int8_t)
DCORE_INSTANTIATE(std::int16_t)
DCORE_INSTANTIATE(std::int32_t)
DCORE_INSTANTIATE(std::int64_t)
DCORE_INSTANTIATE(std::uint8_t)
DCORE_INSTANTIATE(std::uint16_t)
DCORE_INSTANTIATE(std::uint32_t)
DCORE_INSTANTIATE(std::uint64_t)
DCORE_INSTANTIATE(float)
DCORE_INSTANTIATE(double)
#undef DCORE_INSTANTIATE

CornerCells corner_cells(std::size_t n_il, std::size_t n_xl) {
    if (n_il == 0 || n_xl == 0) return {0, 0, 0};
    return {0, n_xl - 1, (n_il - 1) * n_xl};
}

ScaleRule scale_rule(const Number &first_scalar) {
    const double s = first_scalar.as_double();
    if (s > 0) return ScaleRule::multiply;
    if (s < 0) return ScaleRule::divide;
    return ScaleRule::keep;
}

Scaled scale_coordinate(const Number &value, const Number &scalar, ScaleRule rule) {
    switch (rule) {
        case ScaleRule::multiply:
            if (value.is_integer && scalar.is_integer) {
                std::int64_t product;
                if (!__builtin_mul_overflow(value.i, scalar.i, &product)) return {Number::integer(product), true};
            }
            return {Number::real(value.as_double() * scalar.as_double()), true};
        case ScaleRule::divide: {
            const double s = std::fabs(scalar.as_double());
            if (s == 0.0) return {value, false};
            return {Number::real(value.as_double() / s), true};
        }
        case ScaleRule::keep:
            break;
    }
    return {value, false};
}

}  // namespace dcore
