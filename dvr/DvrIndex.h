// The cluster index of a DVR disk (DHFS and WFS layouts) and the four readers
// that walk it into video file records.
//
// On-disk layout, written down once here.
//
// Where the index lies: a 512-byte sector (34 for DHFS, 24 for WFS) whose
// bytes 48..79 hold eight unsigned 32-bit little-endian values:
//
//   OFFSET SIZE FIELD              USE
//     48    4   Value1             not used
//     52    4   Value2             not used
//     56    4   FirstEntry         first entry the walk reads; also the count of
//                                  leading cluster-map bytes the wizard clears
//     60    4   IndexEndSector     first sector after the index area
//     64    4   Value5             not used
//     68    4   IndexStartSector   first sector of the index area
//     72    4   Value7             not used
//     76    4   ClusterCount       highest cluster number (map = count + 1 bytes)
//
// Index entry: 32 bytes, little-endian. Entry k lies at byte 32 * k of the
// index area and stands for cluster k, so a link is both the number of the
// next entry and of the next cluster.
//
//   DHFS entry                         WFS entry
//   OFF SIZE FIELD                     OFF SIZE FIELD
//    0   1   EntryType (1, 3 = file)    0   1   -
//    1   1   ChannelCode (low 4 bits)   1   1   EntryType (2, 3 = file)
//    2   2   SizeHigh (2048 KB units)   2   2   SizeHigh (2048 KB units)
//    4   4   StartTime (packed)         4   4   -
//    8   4   EndTime (packed)           8   4   NextEntry
//   12   4   NextEntry                 12   4   StartTime (packed)
//   16   4   SizeLow (512-byte sectors) 16  4   EndTime (packed)
//   20   4   -                         20   2   -
//   24   4   ClusterNo                 22   2   SizeLow (512-byte sectors)
//   28   4   -                         24   4   ClusterNo
//                                      28   2   -
//                                      30   1   ChannelCode (wizard reader)
//                                      31   1   ChannelCode (main-window reader)
//
// End of the index: DHFS byte 0 is 0 or 0xFE and bytes 1..3 are 0; WFS bytes
// 1..3 are 0. A NextEntry of 0 or 0xFFFFFFFF means "no next cluster". Packed
// times are decoded by DvrTimeToText with "-" and ".".
//
// Every read of the index buffer is bounds-checked: the walk stops before a
// trailing partial entry, a link to an entry outside the buffer ends its
// chain, a cluster number beyond the cluster map leaves the map alone, and a
// chain that comes back to one of its own entries ends there. No Qt here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/MyFuns_.h"

namespace velmora {

// ---------------------------------------------------------------- layouts
inline constexpr std::size_t kDvrEntrySize = 32;
inline constexpr std::uint32_t kDhfsGeometrySector = 34;
inline constexpr std::uint32_t kWfsGeometrySector = 24;
inline constexpr std::size_t kDvrGeometryOffset = 48;  // bytes 48..79 of that sector
inline constexpr std::uint32_t kDvrNoLink = 0xFFFFFFFFu;

enum class DvrLayout { Dhfs, Wfs };

// Where the index lies, as read from bytes 48..79 of the geometry sector.
struct TDvrGeometry {
  std::uint32_t Value1 = 0;
  std::uint32_t Value2 = 0;
  std::uint32_t FirstEntry = 0;
  std::uint32_t IndexEndSector = 0;
  std::uint32_t Value5 = 0;
  std::uint32_t IndexStartSector = 0;
  std::uint32_t Value7 = 0;
  std::uint32_t ClusterCount = 0;
};

// The geometry from a sector buffer; the fields whose bytes the buffer does
// not hold stay 0.
TDvrGeometry ReadDvrGeometry(std::span<const std::uint8_t> sector);

// Byte count of the index area, (IndexEndSector - IndexStartSector) * 512,
// in 64 bits. Nothing when the end lies below the start.
std::optional<std::uint64_t> DvrIndexAreaBytes(const TDvrGeometry& geometry);

// Whether a device of `deviceBytes` bytes can hold what the geometry names:
// the index area ends at or before the device's last whole sector, and the
// clusters 0 .. ClusterCount, each at least one sector, number no more than
// the device's sectors. The geometry is read from the disk itself, so it is
// held against the device before the index buffer or the cluster map is
// allocated; one that fails names sectors past the device's end.
bool DvrGeometryFitsDevice(const TDvrGeometry& geometry, std::uint64_t deviceBytes);

// One decoded index entry, either layout. MainChannelCode is the channel byte
// the main-window readers take (DHFS byte 1, WFS byte 31); ChannelCode the one
// the wizard readers take (DHFS byte 1, WFS byte 30).
struct DvrIndexEntry {
  std::uint8_t EntryType = 0;
  std::uint8_t ChannelCode = 0;
  std::uint8_t MainChannelCode = 0;
  std::uint16_t SizeHigh = 0;
  std::uint32_t StartTime = 0;
  std::uint32_t EndTime = 0;
  std::uint32_t NextEntry = 0;
  std::uint32_t SizeLow = 0;
  std::uint32_t ClusterNo = 0;
};

// Decodes the 32 bytes of one entry.
DvrIndexEntry DecodeDvrEntry(DvrLayout layout, std::span<const std::uint8_t, kDvrEntrySize> bytes);
// The end-of-index and file-start tests on the raw 32 bytes.
bool IsDvrEndEntry(DvrLayout layout, std::span<const std::uint8_t, kDvrEntrySize> bytes);
bool IsDvrFileEntry(DvrLayout layout, std::span<const std::uint8_t, kDvrEntrySize> bytes);
// Size of a file in KB from its first entry: SizeHigh * 2048 + SizeLow div 2
// (32-bit unsigned).
std::uint32_t DvrSizeKb(const DvrIndexEntry& first);
// channel "_" start "-" end "_" sizeKB "Kb.dav" (DHFS) or "Kb.264" (WFS).
std::string DvrFileName(DvrLayout layout, std::uint8_t channel, const std::string& startText,
                        const std::string& endText, std::uint32_t sizeKb);

// ---------------------------------------------------------------- progress
// The seam between a walk and the window that shows it: the wizard's gauge
// or the main window's progress bar, and the message pump. Every call is
// optional for a caller that shows nothing.
class DvrWalkProgress {
 public:
  virtual ~DvrWalkProgress() = default;
  virtual void SetRange(std::int64_t minimum, std::int64_t maximum) = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  // Lets pending window messages run (once per entry and per chain step).
  virtual void PumpMessages() = 0;
};

// ---------------------------------------------------------------- wizard side
namespace F_Main {

// One video file found by a wizard reader.
struct DvrFile {
  std::int32_t Id = 0;                 // position in the result array, from 0
  std::string FileName;
  std::uint8_t Channel = 0;
  std::string StartText;
  std::string EndText;
  std::uint32_t SizeLow = 0;           // the first entry's SizeLow
  std::vector<std::uint32_t> Clusters; // cluster numbers in chain order
};
using TDvrFile = std::vector<DvrFile>;

// State of the wizard readers and of the wizard's Scan.
extern TDvrGeometry DvrGeometry;
extern std::vector<std::uint8_t> DvrWizardClusterMap;  // 1 = used by a listed file
extern std::int32_t DvrWizardFileCount;                // records of the last walk
extern TDvrFile DvrWizardFiles;                        // the wizard's last result

// Walk `index` from entry `startEntry` and set `result` to one record per file
// found; flag the files' clusters in DvrWizardClusterMap (sized by the
// caller); DvrWizardFileCount counts the records. `progress`, when given,
// shows the walk (range 0 .. size - 1) and pumps messages. A negative start,
// or one at or past the end, gives no records.
void ReadDhfsIndex(const Fbuf& index, std::int32_t startEntry, TDvrFile& result,
                   DvrWalkProgress* progress = nullptr);
void ReadWfsIndex(const Fbuf& index, std::int32_t startEntry, TDvrFile& result,
                  DvrWalkProgress* progress = nullptr);

}  // namespace F_Main

// ---------------------------------------------------------------- main-window side
namespace T_Main {

// One video file found by a main-window reader.
struct DvrFile {
  std::int32_t Id = 0;  // from DvrNextFileId, from 1
  std::string FileName;
  std::uint8_t Channel = 0;
  std::string StartText;
  std::string EndText;
  std::uint32_t SpareA = 0;  // no reader writes it
  std::uint32_t SpareB = 0;  // no reader writes it
  std::uint32_t SizeLow = 0;
  std::vector<std::uint32_t> ClusterOffsets;  // cluster * DvrClusterSize + DvrDataStart
  std::vector<std::uint32_t> SpareOffsets;    // no reader fills it
};
using TDvrFile = std::vector<DvrFile>;
// The list a main-window reader returns; its owner keeps it in DvrFileList.
using TDvrFileList = std::vector<DvrFile>;

// One date node of the DVR tree: the DvrFileList indexes of its files.
struct TTreeDate {
  std::string DateText;
  std::vector<std::uint32_t> FileIndexes;
};

// A value and two arrays; nothing uses it.
struct FilePDlist {
  std::uint32_t Value = 0;
  std::vector<std::uint32_t> ListA;
  std::vector<std::uint32_t> ListB;
};

extern std::vector<std::uint8_t> DvrClusterMap;
extern std::uint32_t DvrClusterSize;  // cluster size in bytes
extern std::uint32_t DvrDataStart;    // byte offset of cluster 0
extern std::int32_t DvrNextFileId;
extern std::unique_ptr<TDvrFileList> DvrFileList;  // null until a caller keeps a list
extern std::vector<TTreeDate> DvrTreeDates;

// Walk `index` from entry `startEntry` into a new list (the caller owns it):
// one record per file, Id from 1, cluster byte offsets from DvrClusterSize and
// DvrDataStart (32-bit arithmetic); flag the clusters in DvrClusterMap (sized
// by the caller). Channel: DHFS (byte 1 & 0x0F) + 1; WFS (byte 31 - 2) / 4 + 1
// truncating toward zero.
std::unique_ptr<TDvrFileList> Read_DHFS_Index(const Fbuf& index, std::int32_t startEntry,
                                              DvrWalkProgress* progress = nullptr);
std::unique_ptr<TDvrFileList> Read_WFS_Index(const Fbuf& index, std::int32_t startEntry,
                                             DvrWalkProgress* progress = nullptr);

}  // namespace T_Main

}  // namespace velmora

// DVR CORE READY
