// Splits an index range over the machine's cores. No Python object may be touched inside `body`.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace dcore {

inline unsigned worker_count(std::size_t n, std::size_t min_per_worker) {
    unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    std::size_t by_size = min_per_worker ? n / min_per_worker : n;
    return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(hw, by_size)));
}

// Calls body(begin, end) on contiguous pieces of [0, n). The first exception thrown by a piece is
// rethrown on the calling thread after every worker has finished.
template <typename Body>
void parallel_for(std::size_t n, std::size_t min_per_worker, Body body) {
    if (n == 0) return;
    unsigned workers = worker_count(n, min_per_worker);
    if (workers == 1) {
        body(std::size_t{0}, n);
        return;
    }
    std::vector<std::thread> threads;
    std::vector<std::exception_ptr> errors(workers);
    std::size_t step = (n + workers - 1) / workers;
    for (unsigned w = 0; w < workers; ++w) {
        std::size_t b = std::min(n, w * step), e = std::min(n, b + step);
        if (b >= e) break;
        threads.emplace_back([&, w, b, e] {
            try {
                body(b, e);
            } catch (...) {
                errors[w] = std::current_exception();
            }
        });
    }
    for (auto &t : threads) t.join();
    for (auto &err : errors)
        if (err) std::rethrow_exception(err);
}

}  // namespace dcore
