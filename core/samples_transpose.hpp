// Lays a cube's traces out as the columns of a sample matrix, the way a SEG-Y writer takes them.
#pragma once

#include <cstddef>

#include "strided3.hpp"

namespace dcore {

// Copies the strided (n_il, n_xl, n_dp) array `a` into `out`, a C-ordered matrix of n_dp rows by
// n_il * n_xl columns of the same item size: out[k][t] = a[t / n_xl][t % n_xl][k]. The copy runs in
// tiles (a few traces by a few samples, so that reads and writes both stay in cache), spread over
// the cores by blocks of traces.
void traces_to_sample_rows(const Strided3 &a, char *out);

}  // namespace dcore
