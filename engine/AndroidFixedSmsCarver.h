// The fixed-layout Android SMS carver: an older carver of Android text
// messages that reads no schema through SQLite. It tells which of two fixed
// record layouts of the sms table the file holds from the first
// "CREATE TABLE sms (" text in the raw file, then tests every byte offset
// after page 1 against that layout's pattern of serial types. Hits go to
// SmsRecords and the result list, all of them as live records; one line per
// header match goes to the sector-debug memo. No stop test, no progress, no
// header check or patch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/CarveImage.h"
#include "engine/ScanView.h"

namespace velmora {

// One of the two record layouts of Android's sms table.
struct FixedSmsLayout {
  const char* name;      // "2.X" or "4.X"
  int columnCount;       // columns 0..columnCount-1
  int addressColumn;     // text: the other party
  int dateColumn;        // milliseconds since 1970-01-01
  int typeColumn;        // 1 received, 2 sent, 3 draft
  int bodyColumn;        // the message text
  std::size_t patternBytes;  // header bytes the pattern tests from column 2 on
};

// Android 2.x: 16 columns, type 8, body 11.
const FixedSmsLayout& FixedSmsLayout2x();
// Android 4.x: 30 columns with date_sent, type 9, body 12.
const FixedSmsLayout& FixedSmsLayout4x();

// The layout of an image: the 665 bytes from the first "CREATE TABLE sms ("
// (as far as the image reaches) contain "date_sent" for 4.x, not for 2.x;
// nullptr when the image holds no such text. `pump` runs between stretches
// of the search.
const FixedSmsLayout* DetectFixedSmsLayout(std::span<const std::uint8_t> image,
                                           const std::function<void()>& pump = {});
// The same over a file image, window by window (the window moves; read
// errors throw ImageReadFailed).
const FixedSmsLayout* DetectFixedSmsLayout(CarveImage& image, const std::function<void()>& pump = {});

// True when the serial-type bytes at pos (column 2's serial type) fit the
// layout's pattern; false too when the pattern would reach past the image.
bool MatchFixedSmsHeader(const FixedSmsLayout& layout, std::span<const std::uint8_t> image,
                         std::size_t pos);

// The record read at a header match (see DecodeFixedSmsRecord).
class FixedSmsRecord {
 public:
  enum class Status {
    Ok,              // every serial type and every content lies inside the image
    LongSerialType,  // a serial type of columns 2 onwards takes more than four bytes
    PastImage,       // a serial type or a content would reach past the image
  };
  Status status = Status::PastImage;
  // K: the bytes of the serial types of columns 2 to the last, each read to
  // its end, from pos on (set for Ok and LongSerialType).
  std::size_t headerBytes = 0;
  // The image offset just past the last column's content (Ok only).
  std::size_t end = 0;

  // Decoded columns 1 to the last (Ok only): serial type 0 "NULL", 8 "0",
  // 9 "1", 1-6 the big-endian two's complement integer in decimal, 7, 10 and
  // 11 an empty text, texts and blobs their bytes as stored (UTF-8). Column
  // 0 and columns out of range give an empty text.
  std::string Text(int column) const;
  // The column's value as a 64-bit integer: integer serial types directly,
  // every other one through its text; false when it is no number.
  bool TryInt64(int column, std::int64_t& value) const;
  std::uint64_t SerialType(int column) const;

 private:
  friend FixedSmsRecord DecodeFixedSmsRecord(const FixedSmsLayout&, std::span<const std::uint8_t>,
                                             std::size_t);
  std::span<const std::uint8_t> image_;
  std::vector<std::uint64_t> serialTypes_;   // index = column
  std::vector<std::size_t> contentOffsets_;  // index = column, image offsets
};

// Reads the record whose column 2 serial type lies at pos. Column 1's serial
// type is the single byte at pos - 1, whatever its value (a byte of 0x80 or
// more is a text or blob serial type like any other, not part of a varint).
// The serial types of columns 2 to the layout's last are varints read from
// pos on, each to its end (at most nine bytes, the ninth taken whole); their
// total length is headerBytes. When one of them is longer than four bytes the
// status is LongSerialType and nothing is decoded. Otherwise the contents of
// columns 1 to the last follow one another from pos + headerBytes on.
// Never reads outside the image: a header or a content that would reach past
// it gives PastImage, as does pos 0 (no byte before it).
FixedSmsRecord DecodeFixedSmsRecord(const FixedSmsLayout& layout, std::span<const std::uint8_t> image,
                                    std::size_t pos);

// One whole carve of the file named by SourceRawPath; does nothing while
// ScanEnabled is False. Returns when it has ended.
void RunFixedLayoutSmsCarve(ScanView& view);

}  // namespace velmora
