// The texts of result records and where they are kept.
//
// A scan keeps hundreds of thousands of short texts (numbers, dates, message
// bodies). One heap block per text cost more than the walk that finds them:
// the allocator's work and the first touch of every fresh page. A scan's
// texts therefore go into a TextStore: large blocks filled one text after
// the other and given back all at once when the result array that owns the
// store is emptied (engine/MappedBlock.h).
//
// RecordText is the field type of the result records, 16 bytes: a short
// text (a number, a name, a duration) held in the value itself, or a view
// of text bytes in a store, of a constant text (a type word), or of a heap
// copy that it owns. A text made outside a scan (a test's record, a record
// copied out of its array) owns its copy, so it never outlives its bytes;
// only a move keeps a stored text's view. Every text is followed by a NUL
// byte. A short text's bytes move with the value: a view of them lasts as
// long as the record (records in a ResultArray never move).
#pragma once

#include <algorithm>
#include <bit>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/MappedBlock.h"

namespace velmora {

class TextStore;
class RecordTime;

class RecordText {
 public:
  // Texts of at most this many bytes are held in the value itself.
  static constexpr std::size_t kInlineBytes = 14;

  RecordText() noexcept { SetInline({}); }
  // A copy of `text` owned by this value.
  RecordText(std::string_view text) { Own(text); }  // NOLINT(google-explicit-constructor)
  RecordText(const std::string& text) : RecordText(std::string_view(text)) {}  // NOLINT
  RecordText(const char* text) : RecordText(std::string_view(text)) {}  // NOLINT
  // A text of static storage ending in a NUL (a string literal): neither
  // copied nor owned.
  static RecordText Constant(std::string_view text) noexcept {
    RecordText t;
    t.SetFar(text.data(), text.size(), kConstant);
    return t;
  }
  static RecordText Constant(const char* text) noexcept { return Constant(std::string_view(text)); }
  // A string's bytes go when it does: never a constant.
  static RecordText Constant(const std::string&) = delete;

  RecordText(const RecordText& other) {
    if (other.Tag() == kOwned || other.Tag() == kStored)
      Own(other.view());  // a copy may outlive the store
    else
      std::memcpy(raw_, other.raw_, sizeof raw_);
  }
  RecordText(RecordText&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.SetInline({});
  }
  RecordText& operator=(const RecordText& other) {
    if (this != &other) *this = RecordText(other);
    return *this;
  }
  RecordText& operator=(RecordText&& other) noexcept {
    if (this != &other) {
      Release();
      std::memcpy(raw_, other.raw_, sizeof raw_);
      other.SetInline({});
    }
    return *this;
  }
  RecordText& operator=(std::string_view text) { return *this = RecordText(text); }
  RecordText& operator=(const std::string& text) { return *this = RecordText(text); }
  RecordText& operator=(const char* text) { return *this = RecordText(text); }
  ~RecordText() { Release(); }

  const char* data() const noexcept {
    if (Tag() & kInline) return reinterpret_cast<const char*>(raw_);
    const char* p;
    std::memcpy(&p, raw_, sizeof p);
    return p;
  }
  const char* c_str() const noexcept { return data(); }
  std::size_t size() const noexcept {
    if (Tag() & kInline) return Tag() & ~kInline;
    std::uint32_t n;
    std::memcpy(&n, raw_ + sizeof(const char*), sizeof n);
    return n;
  }
  std::size_t length() const noexcept { return size(); }
  bool empty() const noexcept { return size() == 0; }
  std::string_view view() const noexcept { return {data(), size()}; }
  std::string str() const { return std::string(view()); }
  operator std::string_view() const noexcept { return view(); }  // NOLINT(google-explicit-constructor)
  operator std::string() const { return str(); }                 // NOLINT(google-explicit-constructor)
  void clear() noexcept {
    Release();
    SetInline({});
  }

  friend bool operator==(const RecordText& a, const RecordText& b) noexcept {
    return a.view() == b.view();
  }
  template <typename T>
    requires(std::convertible_to<const T&, std::string_view> && !std::same_as<T, RecordText>)
  friend bool operator==(const RecordText& a, const T& b) {
    return a.view() == std::string_view(b);
  }
  friend std::ostream& operator<<(std::ostream& out, const RecordText& t) { return out << t.view(); }

 private:
  friend class TextStore;
  friend class RecordTime;
  // The last byte of raw_ says where the text is: kInline | its size (the
  // text and its NUL in the bytes before), or a pointer (bytes 0-7) and a
  // size (bytes 8-11) to a constant, a stored or an owned copy. RecordTime
  // keeps a moment in the same bytes: kUnixTime or kCocoaTime, the
  // milliseconds in bytes 0-7; such a value is never read as a text.
  enum : std::uint8_t {
    kConstant = 1,
    kStored = 2,
    kOwned = 3,
    kUnixTime = 4,
    kCocoaTime = 5,
    kInline = 0x80
  };
  std::uint8_t Tag() const noexcept { return raw_[sizeof raw_ - 1]; }

  // `text` (at most kInlineBytes) held in the value.
  void SetInline(std::string_view text) noexcept {
    std::memset(raw_, 0, sizeof raw_);
    if (!text.empty()) std::memcpy(raw_, text.data(), text.size());
    raw_[sizeof raw_ - 1] = static_cast<std::uint8_t>(kInline | text.size());
  }
  void SetFar(const char* p, std::size_t n, std::uint8_t tag) noexcept {
    const auto size = static_cast<std::uint32_t>(n);
    std::memcpy(raw_, &p, sizeof p);
    std::memcpy(raw_ + sizeof p, &size, sizeof size);
    raw_[sizeof raw_ - 1] = tag;
  }
  void Own(std::string_view text) {
    if (text.size() <= kInlineBytes) {
      SetInline(text);
      return;
    }
    CheckLength(text);
    SetFar(CopyWithNul(text, new char[text.size() + 1]), text.size(), kOwned);
  }
  // Copies `text` and a NUL into `room` (text.size() + 1 bytes).
  static char* CopyWithNul(std::string_view text, char* room) {
    std::memcpy(room, text.data(), text.size());
    room[text.size()] = '\0';
    return room;
  }
  // A size field holds 32 bits: longer texts are refused before any room
  // is taken.
  static void CheckLength(std::string_view text) {
    if (text.size() >= UINT32_MAX) throw std::length_error("record text too long");
  }
  void Release() noexcept {
    if (Tag() == kOwned) delete[] data();
  }

  alignas(const char*) std::uint8_t raw_[16];
};
static_assert(sizeof(RecordText) == 16);

// A record's date and time: the moment it stores (milliseconds from
// 1970-01-01 or from 2001-01-01), shown as the text UnixMsToText or
// CocoaMsToText makes of it in the program's formats, made when it is read;
// or a text given as such (a test's record). 16 bytes, where the text would
// take 16 more in the store.
class RecordTime {
 public:
  RecordTime() = default;  // an empty text
  RecordTime(std::string_view text) : text_(text) {}  // NOLINT(google-explicit-constructor)
  RecordTime(const std::string& text) : text_(text) {}  // NOLINT(google-explicit-constructor)
  RecordTime(const char* text) : text_(text) {}  // NOLINT(google-explicit-constructor)
  static RecordTime Unix(std::int64_t ms) noexcept { return Moment(ms, RecordText::kUnixTime); }
  static RecordTime Cocoa(std::int64_t ms) noexcept { return Moment(ms, RecordText::kCocoaTime); }

  // The text: a view of `scratch` when it is made, else of the text given.
  std::string_view Text(std::string& scratch) const;
  std::string str() const {
    std::string scratch;
    return std::string(Text(scratch));
  }
  operator std::string() const { return str(); }  // NOLINT(google-explicit-constructor)

  friend bool operator==(const RecordTime& a, const RecordTime& b) { return a.str() == b.str(); }
  template <typename T>
    requires(std::convertible_to<const T&, std::string_view> && !std::same_as<T, RecordTime>)
  friend bool operator==(const RecordTime& a, const T& b) {
    std::string scratch;
    return a.Text(scratch) == std::string_view(b);
  }
  friend std::ostream& operator<<(std::ostream& out, const RecordTime& t) { return out << t.str(); }

 private:
  static RecordTime Moment(std::int64_t ms, std::uint8_t tag) noexcept {
    RecordTime t;
    std::memset(t.text_.raw_, 0, sizeof t.text_.raw_);
    std::memcpy(t.text_.raw_, &ms, sizeof ms);
    t.text_.raw_[sizeof t.text_.raw_ - 1] = tag;
    return t;
  }
  RecordText text_;
};
static_assert(sizeof(RecordTime) == 16);

// Room for a result array's records and texts, given back all at once.
class TextStore {
 public:
  TextStore() = default;
  TextStore(const TextStore&) = delete;
  TextStore& operator=(const TextStore&) = delete;
  TextStore(TextStore&& other) noexcept { *this = std::move(other); }
  TextStore& operator=(TextStore&& other) noexcept {
    if (this != &other) {
      Clear();
      blocks_ = std::move(other.blocks_);
      next_ = std::exchange(other.next_, nullptr);
      end_ = std::exchange(other.end_, nullptr);
      nextBlock_ = std::exchange(other.nextBlock_, kFirstBlock);
      other.blocks_.clear();
    }
    return *this;
  }
  ~TextStore() { Clear(); }

  // A stored copy of `text` (with its NUL), valid until Clear().
  RecordText Keep(std::string_view text) {
    RecordText t;
    KeepInto(t, text);
    return t;
  }

  // Keep({p, n}), where `readable` bytes from p on may be read. A short
  // text is read as two whole words and cut to its length, instead of a
  // copy whose length is known only as it runs.
  RecordText KeepHeld(const char* p, std::size_t n, std::size_t readable) {
    RecordText t;
    if (std::endian::native == std::endian::little && n <= RecordText::kInlineBytes &&
        readable >= sizeof t.raw_) {
      std::uint64_t lo;
      std::uint64_t hi;
      std::memcpy(&lo, p, sizeof lo);
      std::memcpy(&hi, p + sizeof lo, sizeof hi);
      SetInlineWords(t, lo & LowBytesMask(n), n > 8 ? hi & LowBytesMask(n - 8) : 0, n);
    } else {
      KeepInto(t, {p, n});
    }
    return t;
  }

  // The decimal text of `value`, made in place.
  RecordText KeepDecimal(std::int64_t value) {
    RecordText t;
    // Up to 14 digits the text is held in the value: its 16 bytes are
    // worked out in two words and stored once (the digits written one by
    // one and read back as a whole stall the store buffer). Negative and
    // longer numbers are written through a buffer, the long ones into the
    // store.
    if (std::endian::native == std::endian::little && value >= 0 && value < 100'000'000'000'000) {
      const auto v = static_cast<std::uint64_t>(value);
      if (v < 100'000'000) {
        const std::size_t n = DecimalDigits(v);
        SetInlineWords(t, LeadingDigits(v, n), 0, n);
      } else {
        // The digits above the last eight (1 to 6 of them), then those eight.
        const std::uint64_t high = v / 100'000'000;
        const std::size_t n = DecimalDigits(high);
        const std::uint64_t low = AsciiDigits(DigitBytes(static_cast<std::uint32_t>(v % 100'000'000)), 8);
        SetInlineWords(t, LeadingDigits(high, n) | (low << (8 * n)), low >> (8 * (8 - n)), n + 8);
      }
    } else {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
      KeepInto(t, {digits, static_cast<std::size_t>(end - digits)});
    }
    return t;
  }

  // `bytes` of room aligned to `align` (a power of two up to a page),
  // valid until Clear().
  void* Allocate(std::size_t bytes, std::size_t align) {
    std::uintptr_t at = (reinterpret_cast<std::uintptr_t>(next_) + (align - 1)) & ~(align - 1);
    if (next_ == nullptr || at > reinterpret_cast<std::uintptr_t>(end_) ||
        bytes > reinterpret_cast<std::uintptr_t>(end_) - at) {
      NewBlock(bytes + align);
      at = (reinterpret_cast<std::uintptr_t>(next_) + (align - 1)) & ~(align - 1);
    }
    next_ = reinterpret_cast<char*>(at + bytes);
    return reinterpret_cast<void*>(at);
  }

  // Gives back every block.
  void Clear() noexcept {
    for (const Block& b : blocks_) {
      UnmapBlock(b.data, b.size);
    }
    blocks_.clear();
    blocks_.shrink_to_fit();
    next_ = end_ = nullptr;
    nextBlock_ = kFirstBlock;
  }

 private:
  static constexpr std::size_t kFirstBlock = std::size_t{64} << 10;
  static constexpr std::size_t kLastBlock = std::size_t{8} << 20;

  struct Block {
    char* data;
    std::size_t size;
  };

  // A new block of at least `need` bytes; the growing block sizes keep a
  // small scan small and a large one in few blocks.
  void NewBlock(std::size_t need) {
    std::size_t size = std::max(nextBlock_, need);
    nextBlock_ = std::min(nextBlock_ * 2, kLastBlock);
    char* data = MapBlock(size);
    blocks_.push_back({data, size});
    next_ = data;
    end_ = data + size;
  }

  // `t` (an empty inline text) made a stored copy of `text`.
  void KeepInto(RecordText& t, std::string_view text) {
    if (text.size() <= RecordText::kInlineBytes) {
      t.SetInline(text);
      return;
    }
    RecordText::CheckLength(text);
    t.SetFar(RecordText::CopyWithNul(text, static_cast<char*>(Allocate(text.size() + 1, 1))),
             text.size(), RecordText::kStored);
  }

  // `t` made the inline text of n bytes (up to kInlineBytes) whose bytes
  // are those of the words lo and hi, zero past the text.
  static void SetInlineWords(RecordText& t, std::uint64_t lo, std::uint64_t hi, std::size_t n) {
    hi |= std::uint64_t{static_cast<std::uint8_t>(RecordText::kInline | n)} << 56;
    std::memcpy(t.raw_, &lo, sizeof lo);
    std::memcpy(t.raw_ + sizeof lo, &hi, sizeof hi);
  }

  // The number of decimal digits of v (1 for 0), below 10^8, without a
  // branch: durations and counts of every length follow one another.
  static std::size_t DecimalDigits(std::uint64_t v) {
    static constexpr std::uint64_t kPowers[] = {1,         10,         100,
                                                1'000,     10'000,     100'000,
                                                1'000'000, 10'000'000, 100'000'000};
    // v | 1 has v's digits (no power of ten but 1 is odd); its bit width
    // times log10(2) is its digit count or one less.
    const std::uint64_t w = v | 1;
    const auto t = static_cast<std::size_t>((std::bit_width(w) * 1233) >> 12);
    return t + (w >= kPowers[t] ? 1 : 0);
  }
  // The n digits of v (below 10^8, n its digit count) as ASCII, the first
  // in the word's lowest byte, the rest of the word 0.
  static std::uint64_t LeadingDigits(std::uint64_t v, std::size_t n) {
    return AsciiDigits(DigitBytes(static_cast<std::uint32_t>(v)) >> (8 * (8 - n)), n);
  }
  // The eight decimal digits of v (below 10^8, with leading zeros) as the
  // values 0-9, the first digit in the word's lowest byte.
  static std::uint64_t DigitBytes(std::uint32_t v) {
    // Split into halves of four digits, then two, then one, each half in
    // its own lane: 32-bit lanes, then 16, then 8, the leading half in the
    // lower lane. Each division by a constant is a multiply and a shift
    // that is exact for the lane's range (below 10^4, then below 100).
    std::uint64_t x = (v / 10'000) | (std::uint64_t{v % 10'000} << 32);
    std::uint64_t q = ((x * 10'486) >> 20) & 0x0000'007f'0000'007fULL;
    x = q | ((x - q * 100) << 16);
    q = ((x * 103) >> 10) & 0x000f'000f'000f'000fULL;
    return q | ((x - q * 10) << 8);
  }
  // The first n bytes of `digits` (values 0-9) as ASCII digits, the rest 0.
  static std::uint64_t AsciiDigits(std::uint64_t digits, std::size_t n) {
    return (digits | 0x3030'3030'3030'3030ULL) & LowBytesMask(n);
  }
  // A word's first n bytes (its low ones) set, n up to 8.
  static std::uint64_t LowBytesMask(std::size_t n) {
    return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
  }

  std::vector<Block> blocks_;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t nextBlock_ = kFirstBlock;
};

}  // namespace velmora
