#include "engine/AndroidFixedSmsCarver.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <string_view>
#include <vector>

#include "engine/AndroidSmsScanner.h"
#include "engine/CarvingEngine.h"
#include "engine/MyFuns_.h"
#include "engine/ResultRows.h"
#include "engine/SQLiteFormat.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace velmora {

namespace fmt = sqlitefmt;

namespace {

constexpr std::string_view kCreateSms = "CREATE TABLE sms (";
constexpr std::string_view kDateSent = "date_sent";
// Bytes from the CREATE text's start in which "date_sent" marks the 4.x layout.
constexpr std::size_t kLayoutWindow = 665;
// Offsets tested between two looks at the clock for the message pump.
constexpr std::size_t kOffsetsPerTick = 4096;
// Bytes after a tested offset that its header test and header read may
// need (30 serial types of up to four bytes, and more).
constexpr std::uint64_t kHeaderReach = 512;

void CarveFixedLayout(ScanView& view, CarveImage& image, std::uint32_t pageSize);

// The record whose column 1 serial type lies at file offset `from`, decoded
// from its bytes read into `far` (as many as it needs, up to the image's end
// or half the resident bound): for a record that runs on past the window.
FixedSmsRecord DecodeFromFile(const FixedSmsLayout& layout, const CarveImage& image,
                              std::uint64_t from, Fbuf& far) {
  const std::uint64_t room = image.Total() - from;
  for (std::uint64_t want = 4096;; want *= 4) {
    const std::uint64_t n = std::min(want, room);
    far.resize(static_cast<std::size_t>(n));
    image.ReadAt(from, far);
    FixedSmsRecord rec = DecodeFixedSmsRecord(layout, far, 1);
    if (rec.status != FixedSmsRecord::Status::PastImage || n == room || n >= kMaxImageResidentBytes / 2)
      return rec;
  }
}

// Runs the window's messages when CarvePumpInterval has passed since the
// last time.
class Pacer {
 public:
  explicit Pacer(ScanView& view) : view_(view), last_(std::chrono::steady_clock::now()) {}
  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < CarvePumpInterval) return;
    view_.PumpMessages();
    last_ = std::chrono::steady_clock::now();
  }

 private:
  ScanView& view_;
  std::chrono::steady_clock::time_point last_;
};

// The length of the SQLite varint at off: bytes of 0x80 and above continue
// it, and a ninth byte ends it whatever its value. 0 when it runs past the
// image. `value` is set for varints of up to eight bytes.
std::size_t VarintLength(std::span<const std::uint8_t> image, std::size_t off, std::uint64_t& value) {
  constexpr std::size_t kLongestVarint = 9;
  const int len = fmt::ReadVarint(image, off, static_cast<int>(kLongestVarint) - 1, value);
  if (len > 0) return static_cast<std::size_t>(len);
  // Eight continuation bytes (the ninth ends the varint) or the image's end.
  return fmt::Fits(image.size(), off, kLongestVarint) ? kLongestVarint : 0;
}

}  // namespace

const FixedSmsLayout& FixedSmsLayout2x() {
  static const FixedSmsLayout layout{"2.X", 16, 2, 4, 8, 11, 8};
  return layout;
}

const FixedSmsLayout& FixedSmsLayout4x() {
  static const FixedSmsLayout layout{"4.X", 30, 2, 4, 9, 12, 9};
  return layout;
}

const FixedSmsLayout* DetectFixedSmsLayout(std::span<const std::uint8_t> image,
                                           const std::function<void()>& pump) {
  CarveImage whole(image);
  return DetectFixedSmsLayout(whole, pump);
}

const FixedSmsLayout* DetectFixedSmsLayout(CarveImage& image, const std::function<void()>& pump) {
  const std::uint64_t total = image.Total();
  if (total < kCreateSms.size()) return nullptr;
  const std::uint64_t lastStart = total - kCreateSms.size();  // last offset the text fits at
  for (std::uint64_t from = 0; from <= lastStart; from += kOffsetsPerTick) {
    if (pump) pump();
    // Candidate offsets from..to-1, with the bytes the text needs after them.
    const std::uint64_t to = std::min(lastStart + 1, from + kOffsetsPerTick);
    const std::uint64_t need = to + kCreateSms.size() - 1;
    if (!image.Holds(from, need))
      image.Load(from, from + std::max<std::uint64_t>(need - from, CarveWindowBytes));
    const std::string_view held(reinterpret_cast<const char*>(image.data()), image.size());
    const std::size_t at =
        held.substr(static_cast<std::size_t>(from - image.Start()), static_cast<std::size_t>(need - from))
            .find(kCreateSms);
    if (at == std::string_view::npos) continue;
    // The bytes from the text on, as far as the image reaches.
    const std::uint64_t found = from + at;
    std::string window(static_cast<std::size_t>(std::min<std::uint64_t>(kLayoutWindow, total - found)), '\0');
    image.ReadAt(found, {reinterpret_cast<std::uint8_t*>(window.data()), window.size()});
    return window.find(kDateSent) != std::string::npos ? &FixedSmsLayout4x() : &FixedSmsLayout2x();
  }
  return nullptr;
}

bool MatchFixedSmsHeader(const FixedSmsLayout& layout, std::span<const std::uint8_t> image,
                         std::size_t pos) {
  if (!fmt::Fits(image.size(), pos, layout.patternBytes)) return false;
  const std::uint8_t* b = image.data() + pos;
  // Column 2, the address: NULL or a one-byte text serial type.
  if (!(b[0] == 0 || (b[0] % 2 == 1 && b[0] >= 13 && b[0] <= 127))) return false;
  if (b[1] > 4) return false;   // column 3, person
  if (b[2] != 5) return false;  // column 4, the date: a 6-byte integer
  const bool is4x = &layout == &FixedSmsLayout4x();
  if (is4x) {
    if (b[3] != 0 && b[3] != 5 && b[3] != 8) return false;  // date_sent
    for (std::size_t i = 4; i < 9; ++i)
      if (b[i] > 9) return false;
  } else {
    if (b[3] > 4) return false;
    for (std::size_t i = 4; i < 8; ++i)
      if (b[i] > 1) return false;
  }
  return true;
}

std::uint64_t FixedSmsRecord::SerialType(int column) const {
  if (column < 1 || static_cast<std::size_t>(column) >= serialTypes_.size()) return 0;
  return serialTypes_[static_cast<std::size_t>(column)];
}

std::string FixedSmsRecord::Text(int column) const {
  if (status != Status::Ok || column < 1 || static_cast<std::size_t>(column) >= serialTypes_.size())
    return {};
  const std::uint64_t st = serialTypes_[static_cast<std::size_t>(column)];
  const std::size_t off = contentOffsets_[static_cast<std::size_t>(column)];
  return StoredValueText(st, image_.data() + off);
}

bool FixedSmsRecord::TryInt64(int column, std::int64_t& value) const {
  const std::uint64_t st = SerialType(column);
  if (status == Status::Ok && column >= 1 && (st == 8 || st == 9)) {
    value = static_cast<std::int64_t>(st - 8);
    return true;
  }
  return TryTextToInt64(Text(column), value);
}

FixedSmsRecord DecodeFixedSmsRecord(const FixedSmsLayout& layout, std::span<const std::uint8_t> image,
                                    std::size_t pos) {
  FixedSmsRecord rec;
  rec.image_ = image;
  const std::size_t columns = static_cast<std::size_t>(std::max(layout.columnCount, 2));
  rec.serialTypes_.assign(columns, 0);
  rec.contentOffsets_.assign(columns, 0);
  const std::size_t size = image.size();
  // Column 1's serial type is the byte before pos: none at the image's start.
  if (pos == 0 || pos > size) return rec;

  // The header: columns 2 onwards, each varint to its end, so that a long
  // one is stepped over whole and the next one read from its own bytes.
  std::size_t at = pos;
  bool longSerialType = false;
  for (std::size_t c = 2; c < columns; ++c) {
    std::uint64_t v = 0;
    const std::size_t len = VarintLength(image, at, v);
    if (len == 0) return rec;  // the header runs off the image
    if (len > static_cast<std::size_t>(fmt::kMaxSerialTypeBytes)) longSerialType = true;
    rec.serialTypes_[c] = v;
    at += len;
  }
  rec.headerBytes = at - pos;
  if (longSerialType) {
    std::fill(rec.serialTypes_.begin(), rec.serialTypes_.end(), std::uint64_t{0});
    rec.status = FixedSmsRecord::Status::LongSerialType;
    return rec;
  }
  // Column 1: one byte, taken as it is (0x80 and above included).
  rec.serialTypes_[1] = image[pos - 1];

  // The body: the contents of columns 1 to the last, back to back.
  for (std::size_t c = 1; c < columns; ++c) {
    const std::uint64_t n = fmt::ContentSize(rec.serialTypes_[c]);
    if (n > size || !fmt::Fits(size, at, static_cast<std::size_t>(n))) return rec;
    rec.contentOffsets_[c] = at;
    at += static_cast<std::size_t>(n);
  }
  rec.end = at;
  rec.status = FixedSmsRecord::Status::Ok;
  return rec;
}

void RunFixedLayoutSmsCarve(ScanView& view) {
  if (!ScanEnabled) return;

  // Set-up: one bare root, the lists emptied, the log row, the scanning
  // controls. ScanStopRequested stays as it is.
  view.TreeClear();
  view.TreeAddBareRoot(TreeRootCaption);
  view.ResultListClear();
  view.FragmentListClearColumns();
  AddSystemLog(view, "扫描... ");
  view.SetCommandEnabled(ScanCommand::Recover, false);
  view.SetCommandEnabled(ScanCommand::Stop, true);
  view.SetCommandEnabled(ScanCommand::Start, false);

  // Header fields; no magic test and no patch.
  Fbuf header(kSectorSize, 0);
  ReadSectors(SourceRawPath, false, 0, static_cast<std::int32_t>(kSectorSize), header);
  const std::span<const std::uint8_t> h(header);
  std::uint32_t pageSize = fmt::Get16(h, fmt::kHeaderPageSize);
  if (pageSize == 1) pageSize = 65536;
  const std::uint32_t pageCount = fmt::Get32(h, fmt::kHeaderPageCount);

  // The image: pages 1..pageCount from the file's start, read window by
  // window. An image the file cannot hold fails at once with the sector
  // routine's message and leaves no image, as a failed read left one of
  // zeros: the layout search finds nothing. A read that fails later (an I/O
  // error, a file that shrank) shows the same message and ends the carve
  // with the records found so far.
  const std::uint64_t bytes = std::uint64_t{pageSize} * pageCount;
  CarveImage image;
  if (bytes > 0) {
    std::int64_t fileSize = -1;
    try {
      fileSize = FileSize64(SourceRawPath);
    } catch (const std::exception&) {
      fileSize = -1;
    }
    if (fileSize >= 0 && bytes <= static_cast<std::uint64_t>(fileSize)) {
      image.Open(SourceRawPath, bytes);  // on failure (its box shown) an empty image
    } else {
      ShowReadErrorBox();
    }
  }

  try {
    CarveFixedLayout(view, image, pageSize);
  } catch (const ImageReadFailed&) {
    // The box is shown; the records so far stay.
    FinishScanUi(view);
  }
}

namespace {

void CarveFixedLayout(ScanView& view, CarveImage& image, std::uint32_t pageSize) {
  Pacer pacer(view);
  const FixedSmsLayout* layout = DetectFixedSmsLayout(image, [&] { pacer.Tick(); });
  if (layout == nullptr) {
    platform::ShowMessageBox("没有短信记录，扫描结束！", "提示", platform::MbIcon::Information);
    FinishScanUi(view);
    return;
  }

  // The walk: every offset after page 1 is column 2's serial type of a
  // candidate; column 1's is the byte before it. The window holds the byte
  // before the offsets it is walked for and a header's worth after them; a
  // record that runs on past it is read again from the file.
  const std::uint64_t end = image.Total();
  Fbuf far;
  int hits = 0;
  std::uint64_t next = pageSize;  // file offset of the next offset tested
  std::uint64_t nextTick = next + kOffsetsPerTick;
  while (next < end) {
    if (!image.Holds(next - 1, std::min(end, next + kHeaderReach + 1)))
      image.Load(next - 1, next - 1 + std::max<std::uint64_t>(CarveWindowBytes, 2 * kHeaderReach));
    const std::span<const std::uint8_t> img = image.Window();
    const std::uint64_t held = image.Start() + img.size();
    // Offsets tested in this window: up to the image's end, or a header
    // short of the window's end.
    const std::size_t total =
        static_cast<std::size_t>((held == end ? end : held - kHeaderReach) - image.Start());
    std::size_t pos = static_cast<std::size_t>(next - image.Start());
  while (pos < total) {
    if (image.Start() + pos >= nextTick) {
      nextTick = image.Start() + pos + kOffsetsPerTick;
      pacer.Tick();
    }
    if (!MatchFixedSmsHeader(*layout, img, pos)) {
      ++pos;
      continue;
    }
    view.AddSectorDebugLine(std::to_string(image.Start() + pos));

    std::size_t base = 0;  // the window offset of the bytes rec was read from
    FixedSmsRecord rec = DecodeFixedSmsRecord(*layout, img, pos);
    if (rec.status == FixedSmsRecord::Status::PastImage && image.Start() + img.size() < end) {
      base = pos - 1;
      rec = DecodeFromFile(*layout, image, image.Start() + base, far);
    }
    if (rec.status == FixedSmsRecord::Status::PastImage) {
      ++pos;
      continue;
    }
    if (rec.status == FixedSmsRecord::Status::LongSerialType) {
      pos += std::max<std::size_t>(rec.headerBytes, 1);  // past the whole header read
      continue;
    }

    std::int64_t type = 0;
    if (!rec.TryInt64(layout->typeColumn, type) || type > 9) {
      ++pos;
      continue;
    }
    std::int64_t ms = 0;
    rec.TryInt64(layout->dateColumn, ms);  // a 6-byte integer, by the pattern

    // Hit n goes to index n (the array is not emptied at the start).
    PSMSvalue& sms = ResultSlot(SmsRecords, static_cast<std::size_t>(hits));
    sms.TypeText = RecordText::Constant(AndroidSmsTypeText(type));
    sms.Address = SmsRecords.Keep(rec.Text(layout->addressColumn));
    sms.DateText = RecordTime::Unix(ms);
    sms.Body = SmsRecords.Keep(rec.Text(layout->bodyColumn));
    sms.Deleted = false;
    view.ResultListAddRow(
        {std::to_string(hits), sms.Address.str(), sms.DateText.str(), sms.TypeText.str(), sms.Body.str()});
    ++hits;

    pos = base + rec.end;  // the walk goes on after the record's content
  }
    next = image.Start() + pos;
  }
  FinishScanUi(view);
}

}  // namespace

}  // namespace velmora
