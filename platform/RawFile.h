// Raw file access: a file or block device opened by path, read and written as
// runs of bytes at a 64-bit offset (pread/pwrite, so the file position never
// matters). One object owns one descriptor and closes it when it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

class RawFile {
 public:
  enum class Access {
    ReadOnly,         // O_RDONLY | O_NONBLOCK (a FIFO does not wait for a writer)
    ReadWrite,        // O_RDWR; the file must exist (a read-only file fails)
    ReadWriteCreate,  // O_RDWR | O_CREAT; a missing file is created (mode 0666 & ~umask)
  };

  RawFile() = default;
  // Opens `path`. On failure IsOpen() is false and Error() holds the errno.
  RawFile(const std::string& path, Access access);
  ~RawFile();
  RawFile(RawFile&& other) noexcept;
  RawFile& operator=(RawFile&& other) noexcept;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // errno of the last failed operation (0 when none failed).
  int Error() const { return error_; }
  bool IsDirectory() const;

  // Size in bytes: st_size for a regular file, the end offset for a block
  // device; nothing when it cannot be told (pipes, character devices, errors).
  std::optional<std::int64_t> Size();

  // Reads up to out.size() bytes at `offset`, retrying short reads and EINTR.
  // Returns the count read: less than out.size() at end of file or on an error
  // (Error() then tells which). An offset beyond the signed 64-bit range reads
  // nothing (EINVAL).
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out);
  // Writes `in` at `offset`, retrying short writes and EINTR. Returns the count
  // written: less than in.size() on an error.
  std::size_t WriteAt(std::uint64_t offset, std::span<const std::uint8_t> in);

  // Closes now (the destructor does it otherwise). False when close failed.
  bool Close();

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace platform
