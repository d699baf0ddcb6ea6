// The file image a scan walks: pages 1..pageCount of the database file, read
// window by window with positioned reads, so that at most a bounded part of
// the file is held in memory whatever its size.
//
// The walk asks for the window it needs next (Load); the bytes the old and
// new window share are kept, only the rest is read. Bytes outside the window
// (a record that reaches past it, a look-back to bytes before it) are read
// from the file on demand (ReadAt, ByteAt), so every reader sees exactly the
// bytes one whole image would give it.
//
// A read that fails or comes up short (an I/O error, a file that shrank
// during the walk) shows the sector routine's read error box and throws
// ImageReadFailed; the scan then ends as after any failed read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <utility>

#include "engine/MappedBlock.h"
#include "engine/MyFuns_.h"
#include "platform/RawFile.h"

namespace velmora {

// The bytes of the image a window holds at most (besides the few bytes kept
// on either side of it for look-backs and headers). Tests set a few pages.
extern std::size_t CarveWindowBytes;

// The most bytes of the image any scan holds at once.
inline constexpr std::size_t kMaxImageResidentBytes = std::size_t{256} << 20;

// Raised after the read error box has been shown.
class ImageReadFailed : public std::exception {
 public:
  const char* what() const noexcept override;
};

class CarveImage {
 public:
  CarveImage() = default;
  // An image held whole in memory (tests, tools): the window is all of it
  // and never moves; no file is read.
  explicit CarveImage(std::span<const std::uint8_t> whole);
  CarveImage(const CarveImage&) = delete;
  CarveImage& operator=(const CarveImage&) = delete;

  // Opens `path` for reading, the image being its first `total` bytes; the
  // window is empty until the first Load. False, with the sector routine's
  // open error box shown, when the file cannot be opened (the image is then
  // empty).
  bool Open(const std::string& path, std::uint64_t total);

  // The image's size in bytes (its end; never more than the file had when
  // opened).
  std::uint64_t Total() const { return total_; }
  // The file offset of the window's first byte.
  std::uint64_t Start() const { return start_; }
  // The bytes held: file offsets Start() .. Start() + Window().size() - 1.
  std::span<const std::uint8_t> Window() const { return window_; }
  operator std::span<const std::uint8_t>() const { return window_; }
  const std::uint8_t* data() const { return window_.data(); }
  std::size_t size() const { return window_.size(); }
  std::uint8_t operator[](std::size_t i) const { return window_[i]; }
  // A number told apart from every other open image of the process, for
  // state that belongs to one walk.
  std::uint64_t Serial() const { return serial_; }

  // True when the window holds the file offsets [from, to).
  bool Holds(std::uint64_t from, std::uint64_t to) const {
    return from >= start_ && to >= from && to - start_ <= window_.size();
  }
  // Makes the window hold the file offsets [from, min(to, Total())). Bytes
  // the window already holds are moved, not read again. Throws
  // ImageReadFailed (after its box). A whole image ignores the call.
  void Load(std::uint64_t from, std::uint64_t to);

  // Copies the bytes at file offsets [off, off + out.size()) into out, from
  // the window where it holds them and from the file otherwise; the range
  // must lie within Total(). Throws ImageReadFailed.
  void ReadAt(std::uint64_t off, std::span<std::uint8_t> out) const;
  // The byte at file offset off (< Total()); outside the window from a
  // small block read on demand. Throws ImageReadFailed.
  std::uint8_t ByteAt(std::uint64_t off) const {
    if (off >= start_ && off - start_ < window_.size()) return window_[static_cast<std::size_t>(off - start_)];
    return ByteOutside(off);
  }
  // The nearest file offset in [from, to] whose byte is zero, searching
  // down from `to`; none when there is no zero byte there.
  bool LastZeroIn(std::uint64_t from, std::uint64_t to, std::uint64_t& found) const;

 private:
  std::uint8_t ByteOutside(std::uint64_t off) const;
  [[noreturn]] static void Fail();

  // Room for n window bytes, the first `keep` of them kept; the new room is
  // not cleared (every byte of a window is read before it is used).
  void Reserve(std::size_t n, std::size_t keep);

  // The window's room: a mapped block (engine/MappedBlock.h), given back
  // by the destructor.
  struct Room {
    char* data = nullptr;
    std::size_t size = 0;
    Room() = default;
    Room(const Room&) = delete;
    Room& operator=(const Room&) = delete;
    Room(Room&& other) noexcept
        : data(std::exchange(other.data, nullptr)), size(std::exchange(other.size, 0)) {}
    Room& operator=(Room&& other) noexcept {
      if (this != &other) {
        UnmapBlock(data, size);
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
      }
      return *this;
    }
    ~Room() { UnmapBlock(data, size); }
    std::uint8_t* bytes() const { return reinterpret_cast<std::uint8_t*>(data); }
  };

  mutable platform::RawFile file_;
  Room buffer_;
  std::span<const std::uint8_t> window_;
  std::uint64_t start_ = 0;
  std::uint64_t total_ = 0;
  std::uint64_t serial_ = 0;
  bool whole_ = false;
  // The block ByteAt read last outside the window.
  mutable Fbuf block_;
  mutable std::uint64_t blockStart_ = 0;
};

}  // namespace velmora
