#include "engine/Freelist.h"

#include "engine/SQLiteFormat.h"
#include "platform/RawFile.h"

namespace velmora {

namespace fmt = sqlitefmt;

FreelistPages ReadFreelist(std::uint32_t firstTrunk, std::uint32_t pageSize,
                           std::uint32_t pageCount, const ReadPageFunction& readPage) {
  FreelistPages pages(pageCount);
  // A page too small for a trunk's two numbers holds no free list.
  if (firstTrunk == 0 || pageSize < fmt::kFreelistTrunkLeaves || !readPage) return pages;
  const std::uint32_t maxLeaves = (pageSize - fmt::kFreelistTrunkLeaves) / 4;
  const auto valid = [pageCount](std::uint32_t page) { return page >= 2 && page <= pageCount; };

  std::vector<std::uint8_t> buffer(pageSize);
  const std::span<const std::uint8_t> trunkBytes(buffer);
  std::uint32_t trunk = firstTrunk;
  for (std::uint32_t trunks = 0; trunk != 0 && trunks < pageCount; ++trunks) {
    if (!valid(trunk)) break;               // a link past the file (or to page 0/1)
    if (pages.Contains(trunk)) break;       // a cycle, or a leaf named as trunk
    if (!readPage(trunk, buffer)) break;    // cannot be read: the rest is unknown
    const std::uint32_t next = fmt::Get32(trunkBytes, fmt::kFreelistTrunkNext);
    const std::uint32_t leaves = fmt::Get32(trunkBytes, fmt::kFreelistTrunkLeafCount);
    if (leaves > maxLeaves) break;          // not a trunk page at all
    pages.Add(trunk);
    for (std::uint32_t i = 0; i < leaves; ++i) {
      const std::uint32_t leaf = fmt::Get32(trunkBytes, fmt::kFreelistTrunkLeaves + 4 * std::size_t{i});
      if (!valid(leaf)) return pages;       // damage: keep what came before it
      pages.Add(leaf);
    }
    trunk = next;
  }
  return pages;
}

FreelistPages ReadFreelistOfFile(const std::string& path, std::span<const std::uint8_t> header,
                                 std::uint32_t pageSize, std::uint32_t pageCount) {
  if (!fmt::Fits(header.size(), fmt::kHeaderFirstFreelistTrunk, 4)) return {};
  const std::uint32_t firstTrunk = fmt::Get32(header, fmt::kHeaderFirstFreelistTrunk);
  if (firstTrunk == 0) return {};
  platform::RawFile file(path, platform::RawFile::Access::ReadOnly);
  if (!file.IsOpen()) return {};
  return ReadFreelist(firstTrunk, pageSize, pageCount,
                      [&file, pageSize](std::uint32_t page, std::span<std::uint8_t> out) {
                        if (page == 0) return false;
                        const std::uint64_t offset = std::uint64_t{page - 1} * pageSize;
                        return file.ReadAt(offset, out) == out.size();
                      });
}

}  // namespace velmora
