// The free list of an SQLite database: the pages that SQLite has given back
// (trunk and leaf pages, laid out in engine/SQLiteFormat.h). Such a page may
// still start with the page type and cell pointer list of the table page it
// was, so its records look live to the cell pointer test; they are not; a
// record carved from a free-list page is deleted.
//
// The reader takes the pages through a callback, so it works on any source:
// a file read page by page, a window of it or a whole image in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The set of free-list page numbers of one database (1-based, as SQLite
// numbers pages). Empty for a database without a free list.
class FreelistPages {
 public:
  FreelistPages() = default;
  // A set for page numbers 1..pageCount, with none on the list yet.
  explicit FreelistPages(std::uint32_t pageCount) : onList_(std::size_t{pageCount} + 1, false) {}

  bool Contains(std::uint32_t page) const { return page < onList_.size() && onList_[page]; }
  // Puts page on the list; a page outside 1..pageCount is ignored.
  void Add(std::uint32_t page) {
    if (page > 0 && page < onList_.size() && !onList_[page]) {
      onList_[page] = true;
      ++count_;
    }
  }
  std::size_t Count() const { return count_; }

 private:
  std::vector<bool> onList_;  // index = page number
  std::size_t count_ = 0;
};

// Reads page `page` (1-based) into `out`, which holds exactly one page. False
// when the page cannot be read whole; the free list then ends before it.
using ReadPageFunction = std::function<bool(std::uint32_t page, std::span<std::uint8_t> out)>;

// The free-list pages of a database of pageCount pages of pageSize bytes
// whose header names firstTrunk as the first trunk page (0: no free list).
//
// The chain of trunk pages is followed from firstTrunk; every trunk and every
// leaf it lists goes into the set. The chain ends, keeping every page taken
// up to that point, at:
//   - a trunk number of 0 (the normal end);
//   - a trunk or leaf number below 2 or above pageCount (page 1 holds the
//     database header and is never free; a number past the file is damage):
//     the leaves of that trunk before the bad number are kept;
//   - a trunk number already in the set (a cycle, or a trunk that is also
//     listed as a leaf);
//   - a trunk whose leaf count is more than its page can hold
//     ((pageSize - 8) / 4): its bytes are not a trunk, so neither it nor any
//     of its numbers is taken (a stray link must not turn a live table page
//     into a free one);
//   - a trunk that cannot be read;
//   - more trunks than the file has pages (a bound on the walk whatever the
//     bytes say).
// The free-page total at header offset 36 is not used: a wrong total must
// neither hide free pages nor invent any. Never reads past one page per trunk
// and never asks for a page outside 2..pageCount.
FreelistPages ReadFreelist(std::uint32_t firstTrunk, std::uint32_t pageSize,
                           std::uint32_t pageCount, const ReadPageFunction& readPage);

// ReadFreelist on the file at path, the first trunk taken from `header` (the
// file's first bytes, at least 36 of them, else no free list). Trunk pages
// are read from the file one at a time (read-only, no message box); a file
// that cannot be opened has no free list.
FreelistPages ReadFreelistOfFile(const std::string& path, std::span<const std::uint8_t> header,
                                 std::uint32_t pageSize, std::uint32_t pageCount);

}  // namespace velmora
