// The DVR cluster index walk and its four readers. The layouts are described
// in DvrIndex.h.

#include "dvr/DvrIndex.h"

#include <utility>

namespace velmora {

namespace {

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

// Byte offsets of the fields the chain reads, per layout.
constexpr std::size_t kSizeHighOffset = 2;
std::size_t NextEntryOffset(DvrLayout layout) { return layout == DvrLayout::Dhfs ? 12 : 8; }

bool IsLink(std::uint32_t link) { return link != 0 && link != kDvrNoLink; }

// Entry k of a buffer known to hold it.
std::span<const std::uint8_t, kDvrEntrySize> EntryAt(const Fbuf& index, std::uint64_t k) {
  return std::span<const std::uint8_t, kDvrEntrySize>(
      index.data() + static_cast<std::size_t>(k) * kDvrEntrySize, kDvrEntrySize);
}

// A cluster number beyond the map leaves the map unchanged.
void MarkCluster(std::vector<std::uint8_t>& map, std::uint32_t cluster) {
  if (cluster < map.size()) map[cluster] = 1;
}

// One walk over the index: calls emit(firstEntry, clusterNumbers) per file,
// in index order.
class IndexWalk {
 public:
  IndexWalk(DvrLayout layout, const Fbuf& index, std::vector<std::uint8_t>& map,
            DvrWalkProgress* progress)
      : layout_(layout), index_(index), map_(map), progress_(progress),
        entries_(index.size() / kDvrEntrySize) {}

  template <class Emit>
  void Run(std::int32_t startEntry, Emit&& emit) {
    const std::int64_t last = static_cast<std::int64_t>(index_.size()) - 1;
    if (progress_) progress_->SetRange(0, last);
    // Positions are computed in 64 bits: a negative start reads nothing
    // (a 32-bit product would point before the buffer or wrap into it).
    if (startEntry >= 0) {
      // A trailing partial entry cannot be tested; the walk stops before it.
      for (std::uint64_t k = static_cast<std::uint64_t>(startEntry); k < entries_; ++k) {
        if (progress_) {
          progress_->PumpMessages();
          progress_->SetPosition(static_cast<std::int64_t>(k * kDvrEntrySize));
        }
        const auto bytes = EntryAt(index_, k);
        if (IsDvrEndEntry(layout_, bytes)) break;
        if (!IsDvrFileEntry(layout_, bytes)) continue;
        const DvrIndexEntry first = DecodeDvrEntry(layout_, bytes);
        emit(first, Chain(k, first));
      }
    }
    if (progress_) progress_->SetPosition(last);
  }

 private:
  // The clusters of the file whose first entry is entry `firstIndex`.
  std::vector<std::uint32_t> Chain(std::uint64_t firstIndex, const DvrIndexEntry& first) {
    // Entries already in this chain carry this chain's stamp; a link back to
    // one of them is a cycle and ends the chain.
    if (stamps_.empty()) stamps_.assign(static_cast<std::size_t>(entries_), 0);
    ++generation_;
    stamps_[static_cast<std::size_t>(firstIndex)] = generation_;

    std::vector<std::uint32_t> clusters{first.ClusterNo};
    MarkCluster(map_, first.ClusterNo);

    std::uint32_t link = first.NextEntry;
    if (IsLink(link)) {  // the first entry's own link is always taken
      clusters.push_back(link);
      MarkCluster(map_, link);
      if (link < entries_) stamps_[link] = generation_;
    }
    const std::size_t nextOffset = NextEntryOffset(layout_);
    while (IsLink(link)) {
      if (progress_) progress_->PumpMessages();
      if (link >= entries_) break;  // its entry lies outside the buffer
      const std::uint32_t next = Le32(EntryAt(index_, link), nextOffset);
      if (!IsLink(next)) break;
      if (next >= entries_) break;  // cannot be tested: not appended
      if (Le16(EntryAt(index_, next), kSizeHighOffset) > first.SizeHigh) break;
      if (stamps_[next] == generation_) break;  // back to one of its own entries
      stamps_[next] = generation_;
      clusters.push_back(next);
      MarkCluster(map_, next);
      link = next;
    }
    return clusters;
  }

  DvrLayout layout_;
  const Fbuf& index_;
  std::vector<std::uint8_t>& map_;
  DvrWalkProgress* progress_;
  std::uint64_t entries_;
  std::vector<std::uint32_t> stamps_;
  std::uint32_t generation_ = 0;
};

std::string TimeText(std::uint32_t packed) { return DvrTimeToText("-", ".", packed); }

void ReadWizardIndex(DvrLayout layout, const Fbuf& index, std::int32_t startEntry,
                     F_Main::TDvrFile& result, DvrWalkProgress* progress) {
  F_Main::DvrWizardFileCount = 0;
  F_Main::TDvrFile files;
  IndexWalk(layout, index, F_Main::DvrWizardClusterMap, progress)
      .Run(startEntry, [&](const DvrIndexEntry& first, std::vector<std::uint32_t> clusters) {
        F_Main::DvrFile file;
        file.Channel = layout == DvrLayout::Dhfs
                           ? static_cast<std::uint8_t>(first.ChannelCode & 0x0F)
                           : first.ChannelCode;
        file.StartText = TimeText(first.StartTime);
        file.EndText = TimeText(first.EndTime);
        file.FileName =
            DvrFileName(layout, file.Channel, file.StartText, file.EndText, DvrSizeKb(first));
        file.SizeLow = first.SizeLow;
        file.Clusters = std::move(clusters);
        file.Id = F_Main::DvrWizardFileCount++;
        files.push_back(std::move(file));
      });
  result = std::move(files);
}

std::unique_ptr<T_Main::TDvrFileList> ReadMainIndex(DvrLayout layout, const Fbuf& index,
                                                    std::int32_t startEntry,
                                                    DvrWalkProgress* progress) {
  T_Main::DvrNextFileId = 1;
  auto list = std::make_unique<T_Main::TDvrFileList>();
  IndexWalk(layout, index, T_Main::DvrClusterMap, progress)
      .Run(startEntry, [&](const DvrIndexEntry& first, const std::vector<std::uint32_t>& clusters) {
        T_Main::DvrFile file;
        if (layout == DvrLayout::Dhfs) {
          file.Channel = static_cast<std::uint8_t>((first.MainChannelCode & 0x0F) + 1);
        } else {
          // Integer division truncates toward zero: codes 0 and 1 give 1 too.
          const int code = first.MainChannelCode;
          file.Channel = static_cast<std::uint8_t>((code - 2) / 4 + 1);
        }
        file.StartText = TimeText(first.StartTime);
        file.EndText = TimeText(first.EndTime);
        file.FileName =
            DvrFileName(layout, file.Channel, file.StartText, file.EndText, DvrSizeKb(first));
        file.SizeLow = first.SizeLow;
        file.ClusterOffsets.reserve(clusters.size());
        for (std::uint32_t cluster : clusters) {
          file.ClusterOffsets.push_back(cluster * T_Main::DvrClusterSize + T_Main::DvrDataStart);
        }
        file.Id = T_Main::DvrNextFileId++;
        list->push_back(std::move(file));
      });
  return list;
}

}  // namespace

// ---------------------------------------------------------------- layouts
TDvrGeometry ReadDvrGeometry(std::span<const std::uint8_t> sector) {
  std::uint32_t v[8] = {};
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t off = kDvrGeometryOffset + 4 * i;
    if (off <= sector.size() && 4 <= sector.size() - off) v[i] = Le32(sector, off);
  }
  return TDvrGeometry{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

std::optional<std::uint64_t> DvrIndexAreaBytes(const TDvrGeometry& geometry) {
  if (geometry.IndexEndSector < geometry.IndexStartSector) return std::nullopt;
  return static_cast<std::uint64_t>(geometry.IndexEndSector - geometry.IndexStartSector) *
         kSectorSize;
}

bool DvrGeometryFitsDevice(const TDvrGeometry& geometry, std::uint64_t deviceBytes) {
  const std::uint64_t sectors = deviceBytes / kSectorSize;
  return geometry.IndexStartSector <= geometry.IndexEndSector &&
         geometry.IndexEndSector <= sectors && geometry.ClusterCount < sectors;
}

DvrIndexEntry DecodeDvrEntry(DvrLayout layout, std::span<const std::uint8_t, kDvrEntrySize> b) {
  DvrIndexEntry e;
  e.SizeHigh = Le16(b, 2);
  e.ClusterNo = Le32(b, 24);
  if (layout == DvrLayout::Dhfs) {
    e.EntryType = b[0];
    e.ChannelCode = b[1];
    e.MainChannelCode = b[1];
    e.StartTime = Le32(b, 4);
    e.EndTime = Le32(b, 8);
    e.NextEntry = Le32(b, 12);
    e.SizeLow = Le32(b, 16);
  } else {
    e.EntryType = b[1];
    e.NextEntry = Le32(b, 8);
    e.StartTime = Le32(b, 12);
    e.EndTime = Le32(b, 16);
    e.SizeLow = Le16(b, 22);
    e.ChannelCode = b[30];
    e.MainChannelCode = b[31];
  }
  return e;
}

bool IsDvrEndEntry(DvrLayout layout, std::span<const std::uint8_t, kDvrEntrySize> b) {
  const bool tailZero = b[1] == 0 && b[2] == 0 && b[3] == 0;
  if (layout == DvrLayout::Wfs) return tailZero;
  return (b[0] == 0 || b[0] == 0xFE) && tailZero;
}

bool IsDvrFileEntry(DvrLayout layout, std::span<const std::uint8_t, kDvrEntrySize> b) {
  if (layout == DvrLayout::Dhfs) return b[0] == 1 || b[0] == 3;
  return b[1] == 2 || b[1] == 3;
}

std::uint32_t DvrSizeKb(const DvrIndexEntry& first) {
  return static_cast<std::uint32_t>(first.SizeHigh) * 2048u + first.SizeLow / 2u;
}

std::string DvrFileName(DvrLayout layout, std::uint8_t channel, const std::string& startText,
                        const std::string& endText, std::uint32_t sizeKb) {
  return std::to_string(channel) + "_" + startText + "-" + endText + "_" + std::to_string(sizeKb) +
         (layout == DvrLayout::Dhfs ? "Kb.dav" : "Kb.264");
}

// ---------------------------------------------------------------- wizard side
namespace F_Main {

TDvrGeometry DvrGeometry;
std::vector<std::uint8_t> DvrWizardClusterMap;
std::int32_t DvrWizardFileCount = 0;
TDvrFile DvrWizardFiles;

void ReadDhfsIndex(const Fbuf& index, std::int32_t startEntry, TDvrFile& result,
                   DvrWalkProgress* progress) {
  ReadWizardIndex(DvrLayout::Dhfs, index, startEntry, result, progress);
}

void ReadWfsIndex(const Fbuf& index, std::int32_t startEntry, TDvrFile& result,
                  DvrWalkProgress* progress) {
  ReadWizardIndex(DvrLayout::Wfs, index, startEntry, result, progress);
}

}  // namespace F_Main

// ---------------------------------------------------------------- main-window side
namespace T_Main {

std::vector<std::uint8_t> DvrClusterMap;
std::uint32_t DvrClusterSize = 0;
std::uint32_t DvrDataStart = 0;
std::int32_t DvrNextFileId = 1;
std::unique_ptr<TDvrFileList> DvrFileList;
std::vector<TTreeDate> DvrTreeDates;

std::unique_ptr<TDvrFileList> Read_DHFS_Index(const Fbuf& index, std::int32_t startEntry,
                                              DvrWalkProgress* progress) {
  return ReadMainIndex(DvrLayout::Dhfs, index, startEntry, progress);
}

std::unique_ptr<TDvrFileList> Read_WFS_Index(const Fbuf& index, std::int32_t startEntry,
                                             DvrWalkProgress* progress) {
  return ReadMainIndex(DvrLayout::Wfs, index, startEntry, progress);
}

}  // namespace T_Main

}  // namespace velmora
