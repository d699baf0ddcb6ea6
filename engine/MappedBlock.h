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
#include <new>

namespace velmora {

inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Maps at least `size` bytes of zeroed memory, rounded up to whole pages
// (whole huge pages from kHugePageBytes on); `size` becomes the length
// mapped. Throws std::bad_alloc when the system has no room.
inline char* MapBlock(std::size_t& size) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  size = (size + page - 1) / page * page;
  const bool huge = size >= kHugePageBytes;
  if (huge) size = (size + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  const std::size_t mapped = huge ? size + kHugePageBytes : size;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
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
  return data;
}

// Gives back a block MapBlock mapped.
inline void UnmapBlock(char* data, std::size_t size) noexcept {
  if (data != nullptr) ::munmap(data, size);
}

}  // namespace velmora
