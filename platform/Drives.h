// Physical-drive queries in the shape the programs expect of the system: a
// drive is opened for querying by its path "\\.\PhysicalDrive" + number and
// answers a geometry query (a DISK_GEOMETRY_EX-like record) and a storage
// property query (a STORAGE_DEVICE_DESCRIPTOR-like record). Nothing reads the
// disk's contents.
//
// On Linux the answers come from sysfs:
//   - drive number N is the Nth (from 0) whole disk under <sys>/block, the
//     entries sorted by name in byte order, skipping those whose names begin
//     with "loop", "ram", "zram", "sr", "dm-" or "md" (virtual, optical and
//     assembled devices);
//   - size: <sys>/block/<name>/size (512-byte units); media type 11
//     (removable media) when <sys>/block/<name>/removable is "1", else 12
//     (fixed media);
//   - product, revision, vendor: <sys>/block/<name>/device/{model, rev or
//     firmware_rev, vendor}, one final line end dropped, blanks kept;
//   - serial number: device/serial, else device/vpd_pg80 (its 4-byte page
//     header skipped), else device/wwid;
//   - bus type from the components of the disk's resolved sysfs path, the
//     first rule that holds: a "usb..." component gives 7 (USB); "ata<N>" gives
//     11 (SATA, what an AHCI port reports); "nvme..." gives 1 (SCSI: no entry
//     of the bus table is closer, and SCSI is how a storport miniport shows an
//     NVMe disk); "fw..." or "firewire..." gives 4 (1394); "host<N>" or
//     "target..." gives 1 (SCSI); anything else 0 (unknown).
// The device node of drive N is <dev>/<name>.
//
// <sys> defaults to "/sys" and <dev> to "/dev"; tests point them elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

void SetDriveSysRoot(const std::string& root);
void SetDriveDevRoot(const std::string& root);
std::string DriveSysRoot();
std::string DriveDevRoot();

// Name under <sys>/block of drive `number`; nothing when there is none.
std::optional<std::string> DriveBlockName(int number);

// The device node of a path "\\.\PhysicalDrive" + decimal number (either
// case of the prefix): <dev>/<name>. Nothing for any other path or a number
// without a disk.
std::optional<std::string> PhysicalDriveNode(const std::string& path);

// A drive opened for queries only.
struct DriveHandle {
  std::string BlockName;
};
// Opens "\\.\PhysicalDrive" + number for queries; nothing when the path is of
// another form or no disk has that number.
std::optional<DriveHandle> OpenDriveForQuery(const std::string& path);

// DISK_GEOMETRY_EX as the record is laid out (little-endian):
//   0 Cylinders (8)  8 MediaType (4)  12 TracksPerCylinder (4)
//   16 SectorsPerTrack (4)  20 BytesPerSector (4)  24 DiskSize (8)  32 Data
inline constexpr std::size_t kDiskGeometryExSize = 40;
// Fills the first 40 bytes of `out`. False when `out` is shorter or the size
// cannot be read.
bool QueryDriveGeometry(const DriveHandle& drive, std::span<std::uint8_t> out);

// STORAGE_DEVICE_DESCRIPTOR as the record is laid out (little-endian):
//   0 Version (4)  4 Size (4)  8 DeviceType  9 DeviceTypeModifier
//   10 RemovableMedia  11 CommandQueueing  12 VendorIdOffset (4)
//   16 ProductIdOffset (4)  20 ProductRevisionOffset (4)
//   24 SerialNumberOffset (4)  28 BusType (4)  32 RawPropertiesLength (4)
//   36 RawDeviceProperties (padded to 40); the texts follow from byte 40,
//   each ended by a zero byte, in the order vendor, product, revision, serial
//   number; the record ends with two more zero bytes, so that a reader that
//   stops before byte Size - 2 still sees the whole last text.
// An absent text has offset 0.
inline constexpr std::size_t kStorageDescriptorHeaderSize = 40;
struct StorageDescriptorTexts {
  std::optional<std::string> Vendor;
  std::optional<std::string> Product;
  std::optional<std::string> Revision;
  std::optional<std::string> Serial;
  std::uint32_t BusType = 0;
  bool Removable = false;
};
// The record for `texts`: Version and Size both the full length it needs;
// the first out.size() bytes of it are written (the rest of `out` untouched).
// False when `out` cannot hold the fixed part.
bool BuildStorageDescriptor(const StorageDescriptorTexts& texts, std::span<std::uint8_t> out);
// Answers the property query (standard query of the device property) into
// `out` from the drive's sysfs entries.
bool QueryStorageDescriptor(const DriveHandle& drive, std::span<std::uint8_t> out);

// The bus type code for a resolved sysfs device path, by the rules above.
std::uint32_t BusTypeOfSysPath(const std::string& path);

}  // namespace platform
