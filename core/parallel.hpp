// Splits an index range over the machine's cores. No Python object may be touched inside `body`.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace dcore {

inline unsigned worker_count(std::size_t n, std::size_t min_per_worker) {
    unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    std::size_t by_size = min_per_worker ? n / min_per_worker : n;
    return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(hw, by_size)));
}

// Starts one worker thread running `work`.
struct StartThread {
    template <typename Work>
    std::thread operator()(Work &&work) const {
        return std::thread(std::forward<Work>(work));
    }
};

// Calls body(begin, end) on `workers` contiguous pieces of [0, n), each on a thread of its own that
// `start` starts. The first exception thrown by a piece is rethrown on the calling thread after
// every worker has finished. A thread that cannot be started (a limit on threads) is a
// std::system_error, raised once the threads already running have finished.
template <typename Body, typename Start>
void parallel_for_on(unsigned workers, std::size_t n, Body body, Start start) {
    if (n == 0) return;
    if (workers <= 1) {
        body(std::size_t{0}, n);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(workers);
    std::vector<std::exception_ptr> errors(workers);
    std::size_t step = (n + workers - 1) / workers;
    auto join_all = [&threads] {
        for (auto &t : threads)
            if (t.joinable()) t.join();
    };
    for (unsigned w = 0; w < workers; ++w) {
        std::size_t b = std::min(n, w * step), e = std::min(n, b + step);
        if (b >= e) break;
        try {
            threads.push_back(start([&, w, b, e] {
                try {
                    body(b, e);
                } catch (...) {
                    errors[w] = std::current_exception();
                }
            }));
        } catch (const std::system_error &err) {
            join_all();  // a running thread must never be left behind unjoined
            throw std::system_error(err.code(), "cannot start a worker thread (" + std::to_string(threads.size()) +
                                                    " of " + std::to_string(workers) + " running)");
        } catch (...) {
            join_all();
            throw;
        }
    }
    join_all();
    for (auto &err : errors)
        if (err) std::rethrow_exception(err);
}

template <typename Body>
void parallel_for(std::size_t n, std::size_t min_per_worker, Body body) {
    if (n == 0) return;
    parallel_for_on(worker_count(n, min_per_worker), n, std::move(body), StartThread{});
}

}  // namespace dcore
