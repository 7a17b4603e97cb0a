#pragma once

// Heap accounting for the benchmarks: every allocation through operator new adds to the bytes
// held now and to their peak, so a benchmark can tell what an operation holds at its worst.
// Include in exactly one file of a benchmark program: it replaces the global operator new.

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {
std::atomic<long long> heapNow{0};
std::atomic<long long> heapPeak{0};

// Starts a new peak from what is held now.
void resetHeapPeak()
{
    heapPeak.store(heapNow.load());
}

void noteAlloc(void* p)
{
    if (!p)
        return;
    const long long n = (long long)malloc_usable_size(p);
    const long long now = heapNow.fetch_add(n) + n;
    long long peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
}

void noteFree(void* p)
{
    if (p)
        heapNow.fetch_sub((long long)malloc_usable_size(p));
}

void* allocate(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    noteAlloc(p);
    return p;
}
} // namespace

void* operator new(std::size_t n)
{
    return allocate(n);
}
void* operator new[](std::size_t n)
{
    return allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(n ? n : 1);
    noteAlloc(p);
    return p;
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(n ? n : 1);
    noteAlloc(p);
    return p;
}
void operator delete(void* p) noexcept
{
    noteFree(p);
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    noteFree(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    noteFree(p);
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    noteFree(p);
    std::free(p);
}
