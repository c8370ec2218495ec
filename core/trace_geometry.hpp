// Cube geometry from whole trace-header arrays: distinct line numbers and their trace counts,
// each line number's place on its axis, equal-value checks, the three corner cells and SEG-Y
// coordinate scaling.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dcore {

// What a cube grid needs from one header array: the number of distinct values, the two smallest
// and the largest of them, and whether every distinct value occurs on the same number of traces.
// NaNs (real arrays) count as one distinct value, sorted after every number.
template <typename T>
struct DistinctSummary {
    std::size_t count = 0;
    T first{};   // smallest distinct value (valid when count >= 1)
    T second{};  // second smallest (valid when count >= 2)
    T last{};    // largest
    bool equal_counts = true;
};

// Each function taking values is instantiated for int8..int64, uint8..uint64, float and double.
template <typename T>
DistinctSummary<T> summarize_distinct(const T *values, std::size_t n);

// For every value, its rank among the distinct values in ascending order (NaNs count as one value,
// after every number). Returns the number of distinct values.
template <typename T>
std::size_t rank_indexes(const T *values, std::size_t n, std::int64_t *out);

// Line numbers of one axis as a grid holds them: first + k x step for k = 0 .. count - 1.
struct LineLattice {
    std::int64_t first = 0, step = 0;
    std::size_t count = 0;
};

// For every value, the index k of its line on the lattice, or -1 when the value is not
// first + k x step for any k in range (a real value must equal it exactly).
template <typename T>
void lattice_indexes(const T *values, std::size_t n, const LineLattice &axis, std::int64_t *out);

// True when all n values are equal (an empty array passes).
template <typename T>
bool all_same(const T *values, std::size_t n);

// The corner cells (first inline, first crossline), (first inline, last crossline) and (last
// inline, first crossline) of an n_il x n_xl grid whose cell c is inline index c / n_xl and
// crossline index c % n_xl.
struct CornerCells {
    std::size_t p1, p2, p3;
};
CornerCells corner_cells(std::size_t n_il, std::size_t n_xl);

// A header value as the caller has it: an integer or a real.
struct Number {
    bool is_integer = true;
    std::int64_t i = 0;
    double d = 0.0;
    static Number integer(std::int64_t v) { return {true, v, static_cast<double>(v)}; }
    static Number real(double v) { return {false, 0, v}; }
    double as_double() const { return is_integer ? static_cast<double>(i) : d; }
};

// The sign of the first trace's scalar chooses the rule for every trace.
enum class ScaleRule { multiply, divide, keep };
ScaleRule scale_rule(const Number &first_scalar);

// One coordinate scaled by its own trace's scalar under `rule`:
//   multiply: value x s, exact in 64 bits for integers (a product beyond 64 bits becomes a real);
//   divide:   value / |s| as a real; a trace whose own scalar is 0 keeps its value unscaled;
//   keep:     the value unscaled.
// `scaled` is false when the value is returned unchanged.
struct Scaled {
    Number value;
    bool scaled;
};
Scaled scale_coordinate(const Number &value, const Number &scalar, ScaleRule rule);

}  // namespace dcore
