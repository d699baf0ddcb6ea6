// Index images for the DVR readers' tests, built byte by byte: the entries
// of either layout at their offsets, shared by the reader tests and the main
// window's tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "dvr/DvrIndex.h"

namespace velmora::dvr_fixtures {

inline void PutLe16(Fbuf& b, std::size_t off, std::uint16_t v) {
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void PutLe32(Fbuf& b, std::size_t off, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t PackTime(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<std::uint32_t>(y - 2000) << 26) | (static_cast<std::uint32_t>(mo) << 22) |
         (static_cast<std::uint32_t>(d) << 17) | (static_cast<std::uint32_t>(h) << 12) |
         (static_cast<std::uint32_t>(mi) << 6) | static_cast<std::uint32_t>(s);
}

inline const std::uint32_t kStart = PackTime(2013, 7, 4, 9, 5, 3);
inline const std::uint32_t kEnd = PackTime(2013, 7, 4, 10, 0, 0);

// The fields of one entry; the builder writes them at the layout's offsets.
struct Entry {
  std::uint8_t Type = 0;
  std::uint8_t Channel = 0;      // DHFS byte 1, WFS byte 30
  std::uint8_t MainChannel = 0;  // WFS byte 31
  std::uint16_t SizeHigh = 0;
  std::uint32_t StartTime = 0;
  std::uint32_t EndTime = 0;
  std::uint32_t Next = 0;
  std::uint32_t SizeLow = 0;
  std::uint32_t Cluster = 0;
};

// An index image of `entries` entries. Unwritten entries are continuation
// entries (neither a file start nor the end), so the walk goes over them.
class IndexImage {
 public:
  IndexImage(DvrLayout layout, std::size_t entries) : layout_(layout), bytes_(entries * 32, 0) {
    for (std::size_t k = 0; k < entries; ++k) Set(k, Continuation());
  }

  Entry Continuation() const {
    // DHFS: type 2 with a channel byte; WFS: type 1 (not 2 or 3, not zero).
    return layout_ == DvrLayout::Dhfs ? Entry{.Type = 2, .Channel = 1} : Entry{.Type = 1};
  }

  IndexImage& Set(std::size_t k, const Entry& e) {
    const std::size_t o = k * 32;
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(o),
              bytes_.begin() + static_cast<std::ptrdiff_t>(o + 32), std::uint8_t{0});
    PutLe16(bytes_, o + 2, e.SizeHigh);
    PutLe32(bytes_, o + 24, e.Cluster);
    if (layout_ == DvrLayout::Dhfs) {
      bytes_[o] = e.Type;
      bytes_[o + 1] = e.Channel;
      PutLe32(bytes_, o + 4, e.StartTime);
      PutLe32(bytes_, o + 8, e.EndTime);
      PutLe32(bytes_, o + 12, e.Next);
      PutLe32(bytes_, o + 16, e.SizeLow);
    } else {
      bytes_[o + 1] = e.Type;
      PutLe32(bytes_, o + 8, e.Next);
      PutLe32(bytes_, o + 12, e.StartTime);
      PutLe32(bytes_, o + 16, e.EndTime);
      PutLe16(bytes_, o + 22, static_cast<std::uint16_t>(e.SizeLow));
      bytes_[o + 30] = e.Channel;
      bytes_[o + 31] = e.MainChannel;
    }
    return *this;
  }

  // A linked entry of the chain: continuation with the given link and SizeHigh.
  IndexImage& Link(std::size_t k, std::uint32_t next, std::uint16_t sizeHigh = 0) {
    Entry e = Continuation();
    e.Next = next;
    e.SizeHigh = sizeHigh;
    return Set(k, e);
  }

  IndexImage& Raw(std::size_t off, std::initializer_list<std::uint8_t> values) {
    for (std::uint8_t v : values) bytes_[off++] = v;
    return *this;
  }

  std::uint8_t FileType() const { return layout_ == DvrLayout::Dhfs ? 1 : 2; }
  const Fbuf& Bytes() const { return bytes_; }
  Fbuf& Bytes() { return bytes_; }

 private:
  DvrLayout layout_;
  Fbuf bytes_;
};

}  // namespace velmora::dvr_fixtures
