// The global operator new and delete of the test binary: malloc and free as
// the library's own, noting the largest block asked for. Every plain, array
// and no-throw form is replaced, so that no block goes to a delete that did
// not come from its new; the aligned forms stay the library's, in pairs.
#include "tests/dvr/AllocationPeak.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace velmora::testing_alloc {
namespace {

std::atomic<std::size_t> largest{0};

void Note(std::size_t size) {
  std::size_t seen = largest.load(std::memory_order_relaxed);
  while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}

void* Allocate(std::size_t size) noexcept {
  Note(size);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void ResetLargestAllocation() { largest.store(0, std::memory_order_relaxed); }
std::size_t LargestAllocation() { return largest.load(std::memory_order_relaxed); }

}  // namespace velmora::testing_alloc

using velmora::testing_alloc::Allocate;

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
