// Raw sector input and output and the SQLite header patch.
//
// Each call opens the file, works and closes it; nothing is kept between
// calls. Every failure is shown at once in its message box and returned as
// false; none raises. A raw path names the file as its plain path does.
//
// Reading into the caller's buffer. A failed read must leave the buffer as it
// was, and the buffer may be large, so a second copy in memory is worth
// avoiding. The read therefore goes:
//   1. the file's size (regular files and block devices) is looked at first:
//      a run that ends past it fails before the buffer is touched;
//   2. when the target bytes of the buffer all hold one value (the usual
//      freshly sized, zeroed buffer), the bytes are read straight into it; a
//      read that still comes up short (the file shrank meanwhile, an I/O
//      error) fills the bytes it got back with that value, so the buffer is
//      exactly as before;
//   3. otherwise the bytes go to a scratch buffer first and are copied over
//      only when all of them were read.

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "engine/MyFuns_.h"
#include "platform/MessageBox.h"
#include "platform/RawFile.h"

namespace velmora {

namespace {

using platform::MbIcon;
using platform::RawFile;

constexpr std::uint64_t kMaxSector = std::numeric_limits<std::uint64_t>::max() / kSectorSize;

void ErrorBox(const char* text, const char* caption) {
  platform::ShowMessageBox(text, caption, MbIcon::Error);
}

bool OpenFailed() {
  ShowOpenErrorBox();
  return false;
}

bool ReadFailed() {
  ShowReadErrorBox();
  return false;
}

bool WriteOpenFailed() {
  ErrorBox("Error opening source device, check the source devices.. ....", "Information");
  return false;
}

bool WriteFailed() {
  ErrorBox("write the source device error, please check the source device can be written ... ...",
           "Information");
  return false;
}

// The byte offset of `sector`, from the start or (fromEnd) from the end of the
// file. Nothing when it does not fit in 64 bits or the end cannot be told.
std::optional<std::uint64_t> SectorOffset(bool fromEnd, std::uint64_t sector,
                                          const std::optional<std::int64_t>& size) {
  if (sector > kMaxSector) return std::nullopt;  // sector * 512 would wrap
  std::uint64_t offset = sector * kSectorSize;
  if (!fromEnd) return offset;
  if (!size) return std::nullopt;
  std::uint64_t end = static_cast<std::uint64_t>(*size);
  if (offset > std::numeric_limits<std::uint64_t>::max() - end) return std::nullopt;
  return end + offset;
}

}  // namespace

void ShowOpenErrorBox() { ErrorBox("Open the device error......", "information"); }

void ShowReadErrorBox() { ErrorBox("Read then device error......", "提示"); }

bool ReadSectors(const std::string& path, bool fromEnd, std::uint64_t sector, std::int32_t count,
                 Fbuf& buffer) {
  RawFile file(path, RawFile::Access::ReadWrite);
  if (!file.IsOpen()) return OpenFailed();

  // A negative count, or one the buffer cannot hold, reads nothing.
  if (count < 0 || static_cast<std::size_t>(count) > buffer.size()) return ReadFailed();
  const std::size_t n = static_cast<std::size_t>(count);

  const std::optional<std::int64_t> size = file.Size();
  const std::optional<std::uint64_t> offset = SectorOffset(fromEnd, sector, size);
  if (!offset) return ReadFailed();
  if (n == 0) return true;
  if (size) {
    const std::uint64_t end = static_cast<std::uint64_t>(*size);
    if (*offset > end || n > end - *offset) return ReadFailed();  // known to come up short
  }

  std::uint8_t* target = buffer.data();
  if (std::memcmp(target, target + 1, n - 1) == 0) {
    const std::uint8_t fill = target[0];
    const std::size_t got = file.ReadAt(*offset, {target, n});
    if (got != n) {
      std::memset(target, fill, got);
      return ReadFailed();
    }
    return true;
  }

  Fbuf scratch;
  try {
    scratch.resize(n);
  } catch (const std::bad_alloc&) {
    return ReadFailed();
  }
  if (file.ReadAt(*offset, scratch) != n) return ReadFailed();
  std::memcpy(target, scratch.data(), n);
  return true;
}

bool WriteSectors(const std::string& path, bool fromEnd, std::uint64_t sector, std::int32_t count,
                  const Fbuf& buffer) {
  // Checked before the open, so that a call that cannot write creates no file.
  if (count < 0 || static_cast<std::size_t>(count) > buffer.size()) return WriteFailed();
  const std::size_t n = static_cast<std::size_t>(count);

  RawFile file(path, RawFile::Access::ReadWriteCreate);
  if (!file.IsOpen()) return WriteOpenFailed();

  const std::optional<std::int64_t> size = fromEnd ? file.Size() : std::nullopt;
  const std::optional<std::uint64_t> offset = SectorOffset(fromEnd, sector, size);
  if (!offset) return WriteFailed();
  if (file.WriteAt(*offset, {buffer.data(), n}) != n) return WriteFailed();
  // A write error that shows only at close counts as a failed write.
  if (!file.Close()) return WriteFailed();
  return true;
}

std::int64_t FileSize64(const std::string& path) {
  RawFile file(path, RawFile::Access::ReadOnly);
  int error = file.IsOpen() ? 0 : file.Error();
  if (error == 0 && file.IsDirectory()) error = EISDIR;
  if (error != 0) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(error));
  }
  // Something with no size to tell (a pipe, a character device) holds nothing
  // that could be read as a database or image.
  return file.Size().value_or(0);
}

void PatchSQLiteHeader(const std::string& rawPath, Fbuf& header, PatchMode mode) {
  constexpr std::size_t kWriteVersion = 18;
  constexpr std::size_t kReadVersion = 19;
  if (mode == PatchMode::IfNeeded) {
    if (header.size() <= kReadVersion) return;
    if (header[kWriteVersion] <= 1 && header[kReadVersion] <= 1) return;
  }
  // A buffer shorter than a sector is not a header just read; WriteSectors
  // refuses it with its message box and the buffer stays as it is.
  if (header.size() >= kSectorSize) {
    header[kWriteVersion] = 1;
    header[kReadVersion] = 1;
  }
  // The result is not needed: a failure has shown its message box.
  (void)WriteSectors(rawPath, false, 0, static_cast<std::int32_t>(kSectorSize), header);
}

}  // namespace velmora
