// "Should I stop?": how a long read or write with the GIL released learns that the user wants it
// stopped (Ctrl-C). The caller gives a callback that answers true once the work must end; core
// asks it between pieces, from the thread that started the work only, never more often than
// about every `kStopEvery`, so that asking costs nothing measurable. No Python here.
#pragma once

#include <sys/types.h>


#include <cerrno>
#include <chrono>
#include <cstddef>
#include <functional>

namespace dcore {

using ShouldStop = std::function<bool()>;

constexpr std::chrono::milliseconds kStopEvery{50};

// Asks `stop` at most every `kStopEvery` (the first call always asks). Once it said yes the
// answer stays yes. An empty `stop` never stops.
class StopPoll {
public:
    explicit StopPoll(const ShouldStop &stop) : stop_(stop) {}
    bool operator()() {
        if (stopped_ || !stop_) return stopped_;
        const auto now = std::chrono::steady_clock::now();
        if (asked_ && now - last_ < kStopEvery) return false;
        asked_ = true;
        last_ = now;
        stopped_ = stop_();
        return stopped_;
    }
    bool stopped() const { return stopped_; }

private:
    const ShouldStop &stop_;
    std::chrono::steady_clock::time_point last_{};
    bool asked_ = false, stopped_ = false;
};

// Makes the system call `call` (a negative result and errno on failure) again for as long as a
// signal interrupts it (EINTR). With `stop`, every interruption first asks it, as the
// interpreter's own open() and write() run the signal handlers before they retry: once it says
// yes the call gives up with ECANCELED. Only the thread that may ask `stop` passes it.
template <typename Call>
auto retry_interrupted(Call call, const ShouldStop &stop = {}) -> decltype(call()) {
    for (;;) {
        const auto r = call();
        if (r >= 0 || errno != EINTR) return r;
        if (stop && stop()) {
            errno = ECANCELED;
            return r;
        }
    }
}

// Reads or writes all `len` bytes: `io(done)` is one read or write system call of the bytes from
// `done` to `len`, made again after an interruption and after a short transfer (a blocking
// transfer that a signal cuts short comes back short), `stop` asked at each as by
// retry_interrupted. A read ends early at the end of the file (`io` gives 0); a write that moves
// nothing is EIO. Returns 0 or an errno; `*moved` is the number of bytes moved.
template <typename Io>
int transfer_all(std::size_t len, bool reading, Io io, std::size_t *moved, const ShouldStop &stop = {}) {
    std::size_t done = 0;
    int err = 0;
    while (done < len) {
        const ssize_t n = retry_interrupted([&] { return io(done); }, stop);
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) {
            if (!reading) err = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
        if (done < len && stop && stop()) {
            err = ECANCELED;
            break;
        }
    }
    *moved = done;
    return err;
}

}  // namespace dcore
