// Scratch arrays of a value per trace or per cell. Blocks of 1 MB and more are aligned to 2 MB and
// marked for transparent huge pages, as the array library marks its own large arrays: on some
// (virtual) machines first touching a 4 KB page costs some 40 times more per byte than a huge one.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace dcore {

template <typename T>
struct HugePageAllocator {
    using value_type = T;
    static constexpr std::size_t kHuge = std::size_t{2} << 20;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U> &) {}

    static bool large(std::size_t n) { return n * sizeof(T) >= (std::size_t{1} << 20); }

    T *allocate(std::size_t n) {
        if (!large(n)) return static_cast<T *>(::operator new(n * sizeof(T)));
        const std::size_t bytes = (n * sizeof(T) + kHuge - 1) / kHuge * kHuge;
        void *p = std::aligned_alloc(kHuge, bytes);
        if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(p, bytes, MADV_HUGEPAGE);  // advice only: without huge pages the block still serves
#endif
        return static_cast<T *>(p);
    }
    void deallocate(T *p, std::size_t n) {
        if (large(n))
            std::free(p);
        else
            ::operator delete(p);
    }
};

template <typename T, typename U>
bool operator==(const HugePageAllocator<T> &, const HugePageAllocator<U> &) {
    return true;
}
template <typename T, typename U>
bool operator!=(const HugePageAllocator<T> &, const HugePageAllocator<U> &) {
    return false;
}

template <typename T>
using big_vector = std::vector<T, HugePageAllocator<T>>;

}  // namespace dcore
