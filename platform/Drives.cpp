// Physical-drive queries answered from sysfs; the rules are in Drives.h.

#include "platform/Drives.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string& SysRoot() {
  static std::string root = "/sys";
  return root;
}

std::string& DevRoot() {
  static std::string root = "/dev";
  return root;
}

constexpr std::array<const char*, 6> kSkippedPrefixes = {"loop", "ram", "zram", "sr", "dm-", "md"};

bool IsWholeDiskName(const std::string& name) {
  return std::none_of(kSkippedPrefixes.begin(), kSkippedPrefixes.end(),
                      [&](const char* prefix) { return name.rfind(prefix, 0) == 0; });
}

std::vector<std::string> ListDisks() {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(SysRoot()) / "block", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (IsWholeDiskName(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

fs::path BlockDir(const std::string& name) { return fs::path(SysRoot()) / "block" / name; }

// The whole content of a small sysfs file; nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// A text attribute: the file's bytes with one final line end dropped.
std::optional<std::string> ReadAttribute(const fs::path& path) {
  std::optional<std::string> text = ReadFileBytes(path);
  if (text && !text->empty() && text->back() == '\n') text->pop_back();
  return text;
}

std::optional<std::uint64_t> ReadNumber(const fs::path& path) {
  const std::optional<std::string> text = ReadAttribute(path);
  if (!text) return std::nullopt;
  std::uint64_t value = 0;
  const char* first = text->data();
  const char* last = first + text->size();
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr == first) return std::nullopt;
  return value;
}

std::optional<std::string> ReadSerial(const fs::path& device) {
  if (auto serial = ReadAttribute(device / "serial")) return serial;
  if (auto page = ReadFileBytes(device / "vpd_pg80")) {
    // Unit serial number page: 4-byte header (length at bytes 2-3, big-endian).
    if (page->size() >= 4) {
      const std::size_t length = (static_cast<unsigned char>((*page)[2]) << 8) |
                                 static_cast<unsigned char>((*page)[3]);
      return page->substr(4, std::min(length, page->size() - 4));
    }
  }
  return ReadAttribute(device / "wwid");
}

void PutLe32(std::span<std::uint8_t> out, std::size_t off, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) out[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutLe64(std::span<std::uint8_t> out, std::size_t off, std::uint64_t v) {
  for (std::size_t i = 0; i < 8; ++i) out[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsPrefixAndNumber(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return text.size() > n && StartsWith(text, prefix) &&
         std::all_of(text.begin() + static_cast<std::ptrdiff_t>(n), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

void SetDriveSysRoot(const std::string& root) { SysRoot() = root; }
void SetDriveDevRoot(const std::string& root) { DevRoot() = root; }
std::string DriveSysRoot() { return SysRoot(); }
std::string DriveDevRoot() { return DevRoot(); }

std::optional<std::string> DriveBlockName(int number) {
  if (number < 0) return std::nullopt;
  const std::vector<std::string> disks = ListDisks();
  if (static_cast<std::size_t>(number) >= disks.size()) return std::nullopt;
  return disks[static_cast<std::size_t>(number)];
}

std::optional<DriveHandle> OpenDriveForQuery(const std::string& path) {
  static constexpr char kPrefix[] = "\\\\.\\PhysicalDrive";
  constexpr std::size_t n = sizeof(kPrefix) - 1;
  if (path.size() <= n || path.size() > n + 9) return std::nullopt;  // at most 9 digits
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(path[i])) !=
        std::tolower(static_cast<unsigned char>(kPrefix[i]))) {
      return std::nullopt;
    }
  }
  int number = 0;
  for (std::size_t i = n; i < path.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(path[i]))) return std::nullopt;
    number = number * 10 + (path[i] - '0');
  }
  std::optional<std::string> name = DriveBlockName(number);
  if (!name) return std::nullopt;
  return DriveHandle{*name};
}

std::optional<std::string> PhysicalDriveNode(const std::string& path) {
  const std::optional<DriveHandle> drive = OpenDriveForQuery(path);
  if (!drive) return std::nullopt;
  return (fs::path(DevRoot()) / drive->BlockName).string();
}

bool QueryDriveGeometry(const DriveHandle& drive, std::span<std::uint8_t> out) {
  if (out.size() < kDiskGeometryExSize) return false;
  const fs::path dir = BlockDir(drive.BlockName);
  const std::optional<std::uint64_t> sectors = ReadNumber(dir / "size");
  if (!sectors || *sectors > std::numeric_limits<std::int64_t>::max() / 512) return false;
  const std::uint64_t bytes = *sectors * 512;
  const std::optional<std::uint64_t> removable = ReadNumber(dir / "removable");
  constexpr std::uint32_t kTracks = 255, kSectorsPerTrack = 63, kBytesPerSector = 512;
  std::fill(out.begin(), out.begin() + kDiskGeometryExSize, std::uint8_t{0});
  PutLe64(out, 0, bytes / (std::uint64_t{kTracks} * kSectorsPerTrack * kBytesPerSector));
  PutLe32(out, 8, removable && *removable == 1 ? 11u : 12u);
  PutLe32(out, 12, kTracks);
  PutLe32(out, 16, kSectorsPerTrack);
  PutLe32(out, 20, kBytesPerSector);
  PutLe64(out, 24, bytes);
  return true;
}

bool BuildStorageDescriptor(const StorageDescriptorTexts& texts, std::span<std::uint8_t> out) {
  if (out.size() < kStorageDescriptorHeaderSize) return false;
  std::vector<std::uint8_t> record(kStorageDescriptorHeaderSize, 0);
  const auto addText = [&](const std::optional<std::string>& text) -> std::uint32_t {
    if (!text) return 0;
    const auto offset = static_cast<std::uint32_t>(record.size());
    record.insert(record.end(), text->begin(), text->end());
    record.push_back(0);
    return offset;
  };
  const std::uint32_t vendor = addText(texts.Vendor);
  const std::uint32_t product = addText(texts.Product);
  const std::uint32_t revision = addText(texts.Revision);
  const std::uint32_t serial = addText(texts.Serial);
  record.insert(record.end(), 2, std::uint8_t{0});
  const auto size = static_cast<std::uint32_t>(record.size());
  PutLe32(record, 0, size);
  PutLe32(record, 4, size);
  record[10] = texts.Removable ? 1 : 0;
  PutLe32(record, 12, vendor);
  PutLe32(record, 16, product);
  PutLe32(record, 20, revision);
  PutLe32(record, 24, serial);
  PutLe32(record, 28, texts.BusType);
  std::copy_n(record.begin(), std::min(record.size(), out.size()), out.begin());
  return true;
}

std::uint32_t BusTypeOfSysPath(const std::string& path) {
  std::vector<std::string> parts;
  for (const fs::path& part : fs::path(path)) parts.push_back(part.string());
  const auto any = [&](auto test) { return std::any_of(parts.begin(), parts.end(), test); };
  if (any([](const std::string& p) { return StartsWith(p, "usb"); })) return 7;
  if (any([](const std::string& p) { return IsPrefixAndNumber(p, "ata"); })) return 11;
  if (any([](const std::string& p) { return StartsWith(p, "nvme"); })) return 1;
  if (any([](const std::string& p) { return StartsWith(p, "fw") || StartsWith(p, "firewire"); })) {
    return 4;
  }
  if (any([](const std::string& p) {
        return IsPrefixAndNumber(p, "host") || StartsWith(p, "target");
      })) {
    return 1;
  }
  return 0;
}

bool QueryStorageDescriptor(const DriveHandle& drive, std::span<std::uint8_t> out) {
  const fs::path dir = BlockDir(drive.BlockName);
  std::error_code ec;
  if (!fs::exists(dir, ec)) return false;
  const fs::path device = dir / "device";
  StorageDescriptorTexts texts;
  texts.Vendor = ReadAttribute(device / "vendor");
  texts.Product = ReadAttribute(device / "model");
  texts.Revision = ReadAttribute(device / "rev");
  if (!texts.Revision) texts.Revision = ReadAttribute(device / "firmware_rev");
  texts.Serial = ReadSerial(device);
  const std::optional<std::uint64_t> removable = ReadNumber(dir / "removable");
  texts.Removable = removable && *removable == 1;

  // The bus from the disk's place in the device tree, below the sysfs root
  // (so that the root's own folder names play no part).
  fs::path resolved = fs::canonical(dir, ec);
  if (ec) resolved = dir;
  fs::path root = fs::canonical(SysRoot(), ec);
  if (ec) root = SysRoot();
  texts.BusType = BusTypeOfSysPath(resolved.lexically_relative(root).string());
  return BuildStorageDescriptor(texts, out);
}

}  // namespace platform
