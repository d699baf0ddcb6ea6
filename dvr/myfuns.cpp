// Physical-drive probing over the platform's drive queries.

#include "dvr/myfuns.h"

#include <algorithm>
#include <array>
#include <exception>

#include "platform/Drives.h"

namespace velmora {

namespace {

// The query's output buffer and the output length it is given.
constexpr std::size_t kDescriptorBufferSize = 552;
constexpr std::uint32_t kDescriptorQuerySize = 551;
// The serial number never runs past this byte of the buffer.
constexpr std::size_t kLastSerialByte = 510;

// Descriptor fields (little-endian 32-bit values).
constexpr std::size_t kSizeField = 4;
constexpr std::size_t kProductIdOffsetField = 16;
constexpr std::size_t kProductRevisionOffsetField = 20;
constexpr std::size_t kSerialNumberOffsetField = 24;
constexpr std::size_t kBusTypeField = 28;
constexpr std::size_t kFixedFieldsEnd = 32;

std::uint32_t FieldLe32(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

std::uint64_t FieldLe64(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint64_t>(FieldLe32(b, off)) |
         (static_cast<std::uint64_t>(FieldLe32(b, off + 4)) << 32);
}

// Bytes from `offset` to a zero byte, stopping before byte `end`.
std::string TextAt(std::span<const std::uint8_t> buffer, std::uint32_t offset, std::size_t end) {
  std::string text;
  if (offset == 0) return text;  // absent text
  end = std::min(end, buffer.size());
  for (std::size_t i = offset; i < end && buffer[i] != 0; ++i) {
    text.push_back(static_cast<char>(buffer[i]));
  }
  return text;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string Trimmed(const std::string& text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlankOrControl);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlankOrControl).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

std::string PhysicalDrivePath(int driveNo) {
  return "\\\\.\\PhysicalDrive" + std::to_string(driveNo);
}

std::string MediaTypeText(std::uint32_t mediaType) {
  switch (mediaType) {
    case 0: return "Unknown";
    case 11: return "Removable";
    case 12: return "Hdd";
    default: return "floppy";
  }
}

std::string BusTypeText(std::uint32_t busType) {
  switch (busType) {
    case 0: return "Unknow";
    case 1: return "SCSI";
    case 2: return "ATAPI";
    case 3: return "ATA";
    case 4: return "1394";
    case 5: return "SSA";
    case 6: return "FIBRE";
    case 7: return "USB";
    case 8: return "RAID";
    case 11: return "SATA";
    case 127: return "MaxReserved";
    default: return "";
  }
}

DriveDescriptorTexts ExtractDriveDescriptor(std::span<const std::uint8_t> buffer) {
  DriveDescriptorTexts texts;
  if (buffer.size() < kFixedFieldsEnd) return texts;
  // Product and revision stop before byte Size - 2 (none when Size < 2).
  const std::uint32_t size = FieldLe32(buffer, kSizeField);
  const std::size_t idEnd = size >= 2 ? size - 2 : 0;
  texts.Product = TextAt(buffer, FieldLe32(buffer, kProductIdOffsetField), idEnd);
  texts.Revision = TextAt(buffer, FieldLe32(buffer, kProductRevisionOffsetField), idEnd);
  texts.Serial =
      Trimmed(TextAt(buffer, FieldLe32(buffer, kSerialNumberOffsetField), kLastSerialByte + 1));
  texts.Bus = BusTypeText(FieldLe32(buffer, kBusTypeField));
  return texts;
}

bool GetDriveSizeAndMedia(int driveNo, std::int64_t& size, std::string& media) {
  try {
    const std::optional<platform::DriveHandle> drive =
        platform::OpenDriveForQuery(PhysicalDrivePath(driveNo));
    if (!drive) return false;
    std::array<std::uint8_t, platform::kDiskGeometryExSize> geometry{};
    if (!platform::QueryDriveGeometry(*drive, geometry)) return false;
    size = static_cast<std::int64_t>(FieldLe64(geometry, 24));  // DiskSize
    media = MediaTypeText(FieldLe32(geometry, 8));               // Geometry.MediaType
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool GetDriveDescriptor(int driveNo, std::string& product, std::string& revision,
                        std::string& serial, std::string& bus) {
  try {
    std::array<std::uint8_t, kDescriptorBufferSize> buffer{};
    buffer[kSizeField] = static_cast<std::uint8_t>(kDescriptorQuerySize & 0xFF);
    buffer[kSizeField + 1] = static_cast<std::uint8_t>(kDescriptorQuerySize >> 8);
    const std::optional<platform::DriveHandle> drive =
        platform::OpenDriveForQuery(PhysicalDrivePath(driveNo));
    if (!drive) return false;
    // The output length given to the query is the Size field set above.
    if (!platform::QueryStorageDescriptor(
            *drive, std::span<std::uint8_t>(buffer.data(), FieldLe32(buffer, kSizeField)))) {
      return false;
    }
    DriveDescriptorTexts texts = ExtractDriveDescriptor(buffer);
    product = std::move(texts.Product);
    revision = std::move(texts.Revision);
    serial = std::move(texts.Serial);
    bus = std::move(texts.Bus);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace velmora
