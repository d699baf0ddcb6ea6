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

// One whole carve of the file named by SourceRawPath; does nothing while
// ScanEnabled is False. Returns when it has ended.
void RunFixedLayoutSmsCarve(ScanView& view);

}  // namespace velmora
