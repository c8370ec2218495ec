#include "trace_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

namespace dcore {

namespace {

template <typename T>
bool same_value(T a, T b) {
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    }
    return a == b;
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

// Line numbers usually span a short range: count them in a table instead of sorting.
template <typename T>
bool summarize_by_table(const T *v, std::size_t n, DistinctSummary<T> &out) {
    const auto [lo_it, hi_it] = std::minmax_element(v, v + n);
    const T lo = *lo_it, hi = *hi_it;
    const std::uint64_t range = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
    const std::uint64_t limit = std::max<std::uint64_t>(4096, 2 * static_cast<std::uint64_t>(n));
    if (range >= limit || range >= (std::uint64_t{1} << 24) || n >= std::numeric_limits<std::uint32_t>::max())
        return false;
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(range) + 1, 0);
    for (std::size_t k = 0; k < n; ++k)
        ++counts[static_cast<std::size_t>(static_cast<std::uint64_t>(v[k]) - static_cast<std::uint64_t>(lo))];
    SummaryBuilder<T> b;
    for (std::size_t k = 0; k < counts.size(); ++k)
        if (counts[k]) b.add(static_cast<T>(static_cast<std::uint64_t>(lo) + k), counts[k]);
    out = b.result();
    return true;
}

template <typename T>
DistinctSummary<T> summarize_by_sorting(const T *v, std::size_t n) {
    std::vector<T> sorted(v, v + n);
    if constexpr (std::is_floating_point_v<T>) {
        std::sort(sorted.begin(), sorted.end(),
                  [](T a, T b) { return a < b || (!std::isnan(a) && std::isnan(b)); });
    } else {
        std::sort(sorted.begin(), sorted.end());
    }
    SummaryBuilder<T> b;
    std::size_t run = 0;
    for (std::size_t k = 0; k < n; ++k) {
        ++run;
        if (k + 1 == n || !same_value(sorted[k], sorted[k + 1])) {
            b.add(sorted[k], run);
            run = 0;
        }
    }
    return b.result();
}

}  // namespace

template <typename T>
DistinctSummary<T> summarize_distinct(const T *values, std::size_t n) {
    if (n == 0) return {};
    if constexpr (std::is_integral_v<T>) {
        DistinctSummary<T> s;
        if (summarize_by_table(values, n, s)) return s;
    }
    return summarize_by_sorting(values, n);
}

template <typename T>
bool all_same(const T *values, std::size_t n) {
    for (std::size_t k = 1; k < n; ++k)
        if (!same_value(values[k], values[0])) return false;
    return true;
}

#define DCORE_TRACE_GEOMETRY_TYPES(X) \
    X(std::int8_t)                    \
    X(std::int16_t)                   \
    X(std::int32_t)                   \
    X(std::int64_t)                   \
    X(std::uint8_t)                   \
    X(std::uint16_t)                  \
    X(std::uint32_t)                  \
    X(std::uint64_t)                  \
    X(float)                          \
    X(double)
#define DCORE_INSTANTIATE(T)                                                        \
    template DistinctSummary<T> summarize_distinct<T>(const T *, std::size_t); \
    template bool all_same<T>(const T *, std::size_t);
DCORE_TRACE_GEOMETRY_TYPES(DCORE_INSTANTIATE)
#undef DCORE_INSTANTIATE
#undef DCORE_TRACE_GEOMETRY_TYPES

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
