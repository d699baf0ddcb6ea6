// Large blocks of memory mapped straight from the system: a scan's result
// records and texts, and the window of the file it walks. A block of a huge
// page or more starts on a huge page boundary and is asked for as huge
// pages, so that the kernel faults it in a few times instead of once per
// 4 KiB page (each fault is dear, above all on a virtual machine).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace velmora {

inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// The bytes of all blocks mapped now (for the benchmark's memory figure:
// these blocks are not taken from the heap).
inline std::size_t& MappedBlockBytes() {
  static std::size_t bytes = 0;
  return bytes;
}

// The length MapBlock maps for `size` bytes: whole pages, whole huge pages
// from kHugePageBytes on.
inline std::size_t MappedBlockSize(std::size_t size) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  size = (size + page - 1) / page * page;
  if (size >= kHugePageBytes) size = (size + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  return size;
}

// Maps at least `size` bytes of zeroed memory (MappedBlockSize); `size`
// becomes the length mapped. Throws std::bad_alloc when the system has no
// room.
inline char* MapBlock(std::size_t& size) {
  size = MappedBlockSize(size);
  const bool huge = size >= kHugePageBytes;
  const std::size_t mapped = huge ? size + kHugePageBytes : size;
  // A block of small pages is faulted in whole by the mapping itself: one
  // call instead of a fault per page, and such a block is filled from its
  // start on (a record store, a growing array's copy). Huge pages are
  // faulted in as they are reached.
  const int populate = huge ? 0 : MAP_POPULATE;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  char* data = static_cast<char*>(p);
  if (huge) {
    // Keep the aligned part only.
    char* aligned = reinterpret_cast<char*>(
        (reinterpret_cast<std::uintptr_t>(data) + kHugePageBytes - 1) & ~(kHugePageBytes - 1));
    if (aligned > data) ::munmap(data, static_cast<std::size_t>(aligned - data));
    const std::size_t after = mapped - static_cast<std::size_t>(aligned - data) - size;
    if (after > 0) ::munmap(aligned + size, after);
    data = aligned;
#ifdef MADV_HUGEPAGE
    ::madvise(data, size, MADV_HUGEPAGE);
#endif
  }
  MappedBlockBytes() += size;
  return data;
}

// Gives back a block MapBlock mapped.
inline void UnmapBlock(char* data, std::size_t size) noexcept {
  if (data == nullptr) return;
  ::munmap(data, size);
  MappedBlockBytes() -= size;
}

// An allocator for large arrays that grow (a list's row indexes): arrays of
// a megabyte or more are mapped blocks, smaller ones come from the heap.
template <typename T>
struct BlockAllocator {
  using value_type = T;
  static constexpr std::size_t kMappedFrom = std::size_t{1} << 20;
  BlockAllocator() = default;
  template <typename U>
  BlockAllocator(const BlockAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)
  T* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kMappedFrom) return std::allocator<T>().allocate(n);
    std::size_t size = bytes;
    return reinterpret_cast<T*>(MapBlock(size));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kMappedFrom) {
      std::allocator<T>().deallocate(p, n);
      return;
    }
    UnmapBlock(reinterpret_cast<char*>(p), MappedBlockSize(bytes));
  }
  template <typename U>
  friend bool operator==(const BlockAllocator&, const BlockAllocator<U>&) noexcept {
    return true;
  }
};

}  // namespace velmora
