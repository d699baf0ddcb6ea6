// libFuzzer target: the DVR index readers on an arbitrary in-memory index, and
// the drive descriptor's text extraction on an arbitrary buffer.
//
// Input: byte 0 picks the work (bit 0: DHFS or WFS; bit 1: wizard or
// main-window reader; bit 2: descriptor extraction instead of a walk); bytes
// 1-4 the start entry (little-endian, signed); byte 5 the cluster map size in
// units of 4; the rest is the index (or the descriptor buffer).
//
// The fuzz targets link the engine only, so the two Qt-free sources of the DVR
// side are compiled into this target here.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dvr/DvrIndex.cpp"
#include "dvr/myfuns.cpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  if (size < 6) return 0;
  const std::uint8_t selector = data[0];
  std::uint32_t start = 0;
  std::memcpy(&start, data + 1, 4);
  const std::size_t mapSize = std::size_t{data[5]} * 4;
  const Fbuf index(data + 6, data + size);

  if (selector & 4) {
    const DriveDescriptorTexts texts = ExtractDriveDescriptor(index);
    (void)texts;
    return 0;
  }
  const DvrLayout layout = (selector & 1) ? DvrLayout::Wfs : DvrLayout::Dhfs;
  const auto startEntry = static_cast<std::int32_t>(start);
  if (selector & 2) {
    T_Main::DvrClusterMap.assign(mapSize, 0);
    T_Main::DvrClusterSize = start;
    T_Main::DvrDataStart = ~start;
    const auto list = layout == DvrLayout::Dhfs ? T_Main::Read_DHFS_Index(index, startEntry)
                                                : T_Main::Read_WFS_Index(index, startEntry);
    (void)list;
  } else {
    F_Main::DvrWizardClusterMap.assign(mapSize, 0);
    F_Main::TDvrFile files;
    if (layout == DvrLayout::Dhfs) {
      F_Main::ReadDhfsIndex(index, startEntry, files);
    } else {
      F_Main::ReadWfsIndex(index, startEntry, files);
    }
  }
  return 0;
}
