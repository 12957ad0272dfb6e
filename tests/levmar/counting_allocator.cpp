#include "tests/levmar/counting_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int> g_allocations{0};
std::atomic<bool> g_fail{false};

void* Allocate(std::size_t size) {
    if (g_fail) return nullptr;
    ++g_allocations;
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace lmtest {

int AllocationCount() { return g_allocations; }
void SetAllocationsFail(bool fail) { g_fail = fail; }

}  // namespace lmtest

void* operator new(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
