// Physical-drive probing: a drive's size and media kind, and its product,
// revision and serial number texts and bus, by drive number. The drive is
// opened for queries only; nothing is read from the disk. No Qt here.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// "\\.\PhysicalDrive" + the number in decimal.
std::string PhysicalDrivePath(int driveNo);

// 0 "Unknown", 11 "Removable", 12 "Hdd", anything else "floppy".
std::string MediaTypeText(std::uint32_t mediaType);
// The storage bus texts: 0 "Unknow", 1 "SCSI", 2 "ATAPI", 3 "ATA", 4 "1394",
// 5 "SSA", 6 "FIBRE", 7 "USB", 8 "RAID", 11 "SATA", 127 "MaxReserved", any
// other value an empty text.
std::string BusTypeText(std::uint32_t busType);

// The texts of a storage device descriptor buffer.
struct DriveDescriptorTexts {
  std::string Product;
  std::string Revision;
  std::string Serial;
  std::string Bus;
};
// Takes the texts out of a descriptor buffer (the query's 552-byte output):
// product and revision run from their offsets to a zero byte, never at or
// past byte Size - 2 (Size: the descriptor's Size field) nor past the end of
// the buffer, untrimmed; the serial number runs to a zero byte, never past
// byte 510, and is trimmed of blanks and control characters at both ends; an
// offset of 0 gives an empty text. A buffer too short for the fixed fields
// gives empty texts.
DriveDescriptorTexts ExtractDriveDescriptor(std::span<const std::uint8_t> buffer);

// Size in bytes and media text of drive `driveNo`. True when the geometry
// query succeeded; on False the outputs are unchanged.
bool GetDriveSizeAndMedia(int driveNo, std::int64_t& size, std::string& media);
// Product, revision, serial number and bus texts of drive `driveNo`. True when
// the property query succeeded; on False the outputs are unchanged.
bool GetDriveDescriptor(int driveNo, std::string& product, std::string& revision,
                        std::string& serial, std::string& bus);

}  // namespace velmora
