#include "engine/CarveImage.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace velmora {

std::size_t CarveWindowBytes = std::size_t{8} << 20;

namespace {

constexpr std::size_t kBlockBytes = 4096;

std::uint64_t NextSerial() {
  static std::atomic<std::uint64_t> serial{0};
  return ++serial;
}

}  // namespace

const char* ImageReadFailed::what() const noexcept { return "Read then device error......"; }

CarveImage::CarveImage(std::span<const std::uint8_t> whole)
    : window_(whole), start_(0), total_(whole.size()), serial_(NextSerial()), whole_(true) {}

bool CarveImage::Open(const std::string& path, std::uint64_t total) {
  file_ = platform::RawFile(path, platform::RawFile::Access::ReadOnly);
  window_ = {};
  start_ = 0;
  total_ = total;
  serial_ = NextSerial();
  whole_ = false;
  block_.clear();
  if (!file_.IsOpen()) {
    total_ = 0;
    ShowOpenErrorBox();
    return false;
  }
  return true;
}

void CarveImage::Fail() {
  ShowReadErrorBox();
  throw ImageReadFailed();
}

void CarveImage::Reserve(std::size_t n, std::size_t keep) {
  if (n <= buffer_.size) return;
  Room room;
  room.size = n;
  room.data = MapBlock(room.size);
  if (keep > 0) std::memcpy(room.data, buffer_.data, keep);
  buffer_ = std::move(room);
}

void CarveImage::Load(std::uint64_t from, std::uint64_t to) {
  if (whole_) return;
  to = std::min(to, total_);
  from = std::min(from, to);
  if (Holds(from, to) && from == start_ && to - from == window_.size()) return;
  const std::size_t n = static_cast<std::size_t>(to - from);
  // The bytes of [from, to) the window holds already, moved to their new
  // place; the rest read.
  const std::uint64_t oldEnd = start_ + window_.size();
  const std::uint64_t keepFrom = std::max(from, start_);
  const std::uint64_t keepTo = std::min(to, oldEnd);
  if (keepFrom < keepTo && keepFrom == from) {
    // The usual slide forward: the kept bytes go to the front of the buffer.
    const std::size_t kept = static_cast<std::size_t>(keepTo - keepFrom);
    std::memmove(buffer_.bytes(), buffer_.bytes() + (keepFrom - start_), kept);
    Reserve(n, kept);
    start_ = from;
    window_ = {};
    if (n > kept && file_.ReadAt(keepTo, {buffer_.bytes() + kept, n - kept}) != n - kept) Fail();
  } else {
    Reserve(n, 0);
    start_ = from;
    window_ = {};
    if (n > 0 && file_.ReadAt(from, {buffer_.bytes(), n}) != n) Fail();
  }
  window_ = {buffer_.bytes(), n};
}

void CarveImage::ReadAt(std::uint64_t off, std::span<std::uint8_t> out) const {
  if (out.empty()) return;
  if (off > total_ || out.size() > total_ - off) Fail();
  const std::uint64_t end = off + out.size();
  const std::uint64_t winEnd = start_ + window_.size();
  // The part the window holds is copied; the parts before and after it read.
  std::uint64_t at = off;
  std::uint8_t* to = out.data();
  if (at < start_) {
    const std::size_t n = static_cast<std::size_t>(std::min(end, start_) - at);
    if (file_.ReadAt(at, {to, n}) != n) Fail();
    at += n, to += n;
  }
  if (at < end && at >= start_ && at < winEnd) {
    const std::size_t n = static_cast<std::size_t>(std::min(end, winEnd) - at);
    std::memcpy(to, window_.data() + (at - start_), n);
    at += n, to += n;
  }
  if (at < end) {
    if (whole_) Fail();  // cannot happen: a whole image holds every byte
    const std::size_t n = static_cast<std::size_t>(end - at);
    if (file_.ReadAt(at, {to, n}) != n) Fail();
  }
}

std::uint8_t CarveImage::ByteOutside(std::uint64_t off) const {
  if (block_.empty() || off < blockStart_ || off - blockStart_ >= block_.size()) {
    if (off >= total_) Fail();
    const std::uint64_t from = off - off % kBlockBytes;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, total_ - from));
    block_.resize(n);
    blockStart_ = from;
    try {
      ReadAt(from, block_);
    } catch (...) {
      block_.clear();
      throw;
    }
  }
  return block_[static_cast<std::size_t>(off - blockStart_)];
}

bool CarveImage::LastZeroIn(std::uint64_t from, std::uint64_t to, std::uint64_t& found) const {
  if (from > to) return false;
  to = std::min(to, total_ == 0 ? 0 : total_ - 1);
  if (total_ == 0 || from > to) return false;
  // Down from `to`, in stretches that lie wholly inside or outside the window.
  std::uint64_t hi = to + 1;  // [from, hi) is left to search
  Fbuf scratch;
  while (hi > from) {
    const std::uint64_t winEnd = start_ + window_.size();
    std::uint64_t lo;
    const std::uint8_t* bytes;
    if (hi > start_ && hi <= winEnd) {
      lo = std::max(from, start_);
      bytes = window_.data() + (lo - start_);
    } else {
      // Outside the window: one block, not reaching into it.
      lo = std::max(from, hi - std::min<std::uint64_t>(hi, kBlockBytes));
      if (hi > winEnd && lo < winEnd) lo = winEnd;
      scratch.resize(static_cast<std::size_t>(hi - lo));
      ReadAt(lo, scratch);
      bytes = scratch.data();
    }
    const std::size_t n = static_cast<std::size_t>(hi - lo);
    if (const void* z = memrchr(bytes, 0, n)) {
      found = lo + static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - bytes);
      return true;
    }
    hi = lo;
  }
  return false;
}

}  // namespace velmora
