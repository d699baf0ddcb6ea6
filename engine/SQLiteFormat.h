// The parts of the SQLite database file format that the carvers read, written
// down once. Every carver reads the raw file image through these offsets and
// through the one varint decoder below; nothing else in the engine spells out
// a format offset.
//
// All multi-byte numbers of the format are big-endian.
//
// DATABASE HEADER (the first 100 bytes of the file, on page 1)
//
//   OFFSET  SIZE  DESCRIPTION
//      0     16   "SQLite format 3" and a zero byte (the carvers compare the
//                 first 15 bytes only)
//     16      2   page size in bytes; the value 1 stands for 65536
//     18      1   file format write version: 1 rollback journal, 2 WAL
//     19      1   file format read version:  1 rollback journal, 2 WAL
//     28      4   database size in pages
//     32      4   page number of the first free-list trunk page, 0 when the
//                 free list is empty
//     36      4   total number of free-list pages (trunks and leaves)
//
// PAGES
//
//   Page p (1-based) occupies the bytes PageSize * (p - 1) to
//   PageSize * p - 1 of the file. Page 1 starts with the database header and
//   holds the schema table. Every other page is a b-tree page (interior or
//   leaf, table or index), an overflow page, a free-list page or unused.
//
// FREE LIST (pages that SQLite has given back; engine/Freelist.h reads it)
//
//   A chain of trunk pages, the first named at header offset 32. Each trunk
//   page lists leaf pages; leaf pages carry no structure. Neither kind is
//   wiped when it is freed (unless secure_delete is on), so a freed table
//   page keeps its page type, its cell pointer list and its records.
//
//   FREE-LIST TRUNK PAGE
//   OFFSET  SIZE  DESCRIPTION
//      0      4   page number of the next trunk page, 0 on the last one
//      4      4   number of leaf page numbers that follow, L; at most
//                 (page size - 8) / 4 fit on the page
//      8     4*L  the leaf page numbers
//
//   A page number is 1-based and lies in 2..(database size in pages): page 1
//   always holds the database header.
//
// B-TREE PAGE HEADER (at the start of the page; after the 100-byte database
// header on page 1)
//
//   OFFSET  SIZE  DESCRIPTION
//      0      1   page type: 2 interior index, 5 interior table,
//                 10 leaf index, 13 leaf table
//      1      2   offset of the first freeblock, 0 when none
//      3      2   number of cells on the page
//      5      2   start of the cell content area
//      7      1   number of fragmented free bytes
//      8      4   right-most child page (interior pages only)
//
//   The cell pointer array follows the header (at offset 8 on a leaf page):
//   one 2-byte offset from the page start per cell, in key order. Freeblocks
//   (deleted cells) and the gap between the pointer array and the content
//   area keep the bytes of deleted records until they are overwritten.
//
// TABLE LEAF CELL (at the offset a cell pointer names)
//
//   varint   payload length in bytes
//   varint   row id
//   payload  the record (header, then body); a payload too large for the page
//            continues on overflow pages, whose number follows the local part
//
// RECORD
//
//   varint   header length, this varint included
//   varint   serial type of column 0, column 1, ... (an INTEGER PRIMARY KEY
//            column is stored as NULL, serial type 0, its value being the
//            row id)
//   body     the columns' contents, in column order, back to back
//
//   A leaf cell of a small record therefore starts: payload length (1-3
//   bytes), row id (1-9 bytes), header length (1 byte), column 0's serial
//   type, column 1's serial type... so column 1's serial type lies 4 to 11
//   bytes after the cell start for row ids of up to 8 bytes.
//
// SERIAL TYPES
//
//   TYPE      CONTENT SIZE   MEANING
//     0          0           NULL
//     1          1           8-bit two's complement integer
//     2          2           16-bit big-endian two's complement integer
//     3          3           24-bit big-endian two's complement integer
//     4          4           32-bit big-endian two's complement integer
//     5          6           48-bit big-endian two's complement integer
//     6          8           64-bit big-endian two's complement integer
//     7          8           IEEE 754 64-bit float
//     8          0           the integer 0
//     9          0           the integer 1
//    10, 11      0           reserved (carved as an empty text)
//    N >= 12 even (N-12)/2   blob
//    N >= 13 odd  (N-13)/2   text in the database's encoding (UTF-8 here)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora::sqlitefmt {

inline constexpr std::size_t kHeaderMagicLength = 15;  // "SQLite format 3"
inline constexpr std::size_t kHeaderPageSize = 16;
inline constexpr std::size_t kHeaderWriteVersion = 18;
inline constexpr std::size_t kHeaderReadVersion = 19;
inline constexpr std::size_t kHeaderPageCount = 28;
inline constexpr std::size_t kHeaderFirstFreelistTrunk = 32;
inline constexpr std::size_t kHeaderFreelistPageCount = 36;

inline constexpr std::size_t kFreelistTrunkNext = 0;       // in a free-list trunk page
inline constexpr std::size_t kFreelistTrunkLeafCount = 4;
inline constexpr std::size_t kFreelistTrunkLeaves = 8;     // first leaf page number

inline constexpr std::uint8_t kPageTableLeaf = 13;
inline constexpr std::size_t kPageCellCount = 3;      // in the b-tree page header
inline constexpr std::size_t kLeafCellPointers = 8;   // first cell pointer of a leaf page

// The longest serial type the carvers accept: 4 bytes (28 bits).
inline constexpr int kMaxSerialTypeBytes = 4;

// Big-endian reads; the caller has checked that the bytes lie inside `b`.
inline std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint16_t>((b[off] << 8) | b[off + 1]);
}
inline std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t off) {
  return (std::uint32_t{b[off]} << 24) | (std::uint32_t{b[off + 1]} << 16) |
         (std::uint32_t{b[off + 2]} << 8) | std::uint32_t{b[off + 3]};
}

// True when the n bytes at off lie inside a buffer of `size` bytes (written so
// that off + n cannot wrap).
inline constexpr bool Fits(std::size_t size, std::size_t off, std::size_t n) {
  return off <= size && n <= size - off;
}

// Reads the varint that starts at `off` of `b`: bytes of 0x80 and above
// continue it, the first byte below 0x80 ends it, and the value is the low
// seven bits of each byte joined, most significant first:
//
//     A = 0xxxxxxx                        -> 7 bits
//     B = 1xxxxxxx 0xxxxxxx               -> 14 bits
//     C = 1xxxxxxx 1xxxxxxx 0xxxxxxx      -> 21 bits, and so on
//
// At most `maxBytes` bytes (1 to 8) are read, so the format's 9-byte form, whose
// last byte carries eight bits, never arises: the carvers give up long before.
// Returns the varint's length in bytes, or 0 when it does not end within
// `maxBytes` bytes or runs past the end of `b`; `value` is set only on success.
inline int ReadVarint(std::span<const std::uint8_t> b, std::size_t off, int maxBytes,
                      std::uint64_t& value) {
  std::uint64_t v = 0;
  if (off >= b.size()) return 0;
  const std::size_t room = b.size() - off;
  for (int i = 0; i < maxBytes; ++i) {
    if (static_cast<std::size_t>(i) >= room) return 0;
    const std::uint8_t byte = b[off + i];
    v = (v << 7) | (byte & 0x7F);
    if (byte < 0x80) {
      value = v;
      return i + 1;
    }
  }
  return 0;
}

// Content size in bytes of a serial type (see the table above).
// Both sizes are worked out and one is chosen, so that the choice needs no
// jump. The sizes of types 0 to 7 are the nibbles of one constant (a table
// in memory would be written to the stack at every call in a loop).
inline constexpr std::uint64_t ContentSize(std::uint64_t serialType) {
  constexpr std::uint64_t kSmallSizes = 0x88643210;  // types 0..7; 8..11 have none
  const std::uint64_t small = (kSmallSizes >> (4 * (serialType & 15))) & 15;
  const std::uint64_t large = (serialType - 12) / 2;
  return serialType < 12 ? small : large;
}

}  // namespace velmora::sqlitefmt
