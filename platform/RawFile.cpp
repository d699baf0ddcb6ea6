#include "platform/RawFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

namespace platform {

namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
// Linux moves at most this much in one read or write call anyway.
constexpr std::size_t kMaxChunk = 0x7ffff000;

int OpenFlags(RawFile::Access access) {
  switch (access) {
    case RawFile::Access::ReadOnly:
      // O_NONBLOCK: opening a FIFO for reading alone would otherwise wait for
      // a writer. It changes nothing for regular files and block devices.
      return O_RDONLY | O_NONBLOCK;
    case RawFile::Access::ReadWrite:
      return O_RDWR;
    case RawFile::Access::ReadWriteCreate:
      return O_RDWR | O_CREAT;
  }
  return O_RDONLY;
}

// How many bytes may be moved at `offset` without the end passing the largest
// off_t: catches an offset + length that would wrap.
std::size_t Room(std::uint64_t offset, std::size_t wanted) {
  if (offset > kMaxOffset) return 0;
  std::uint64_t room = kMaxOffset - offset;
  return static_cast<std::size_t>(std::min<std::uint64_t>({room, wanted, kMaxChunk}));
}

}  // namespace

RawFile::RawFile(const std::string& path, Access access) {
  do {
    fd_ = ::open(path.c_str(), OpenFlags(access) | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  error_ = fd_ < 0 ? errno : 0;
}

RawFile::~RawFile() { Close(); }

RawFile::RawFile(RawFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::exchange(other.error_, 0);
  }
  return *this;
}

bool RawFile::IsDirectory() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::int64_t> RawFile::Size() {
  if (fd_ < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    error_ = errno;
    return std::nullopt;
  }
  if (S_ISREG(st.st_mode)) return static_cast<std::int64_t>(st.st_size);
  if (S_ISBLK(st.st_mode)) {
    // A block device reports no st_size; its end offset is its size. The file
    // position is not used by the reads and writes here, so moving it is harmless.
    off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) {
      error_ = errno;
      return std::nullopt;
    }
    return static_cast<std::int64_t>(end);
  }
  return std::nullopt;
}

std::size_t RawFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    std::size_t chunk = Room(offset + done, out.size() - done);
    if (offset > kMaxOffset || chunk == 0) {
      error_ = EINVAL;
      break;
    }
    ssize_t n = ::pread(fd_, out.data() + done, chunk, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    if (n == 0) break;  // end of file
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::size_t RawFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> in) {
  std::size_t done = 0;
  while (done < in.size()) {
    std::size_t chunk = Room(offset + done, in.size() - done);
    if (offset > kMaxOffset || chunk == 0) {
      error_ = EINVAL;
      break;
    }
    ssize_t n = ::pwrite(fd_, in.data() + done, chunk, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    if (n == 0) {  // no progress and no error: give up rather than spin
      error_ = EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool RawFile::Close() {
  if (fd_ < 0) return true;
  // No retry on EINTR: on Linux the descriptor is gone either way.
  int rc = ::close(std::exchange(fd_, -1));
  if (rc != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

}  // namespace platform
