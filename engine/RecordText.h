// The texts of result records and where they are kept.
//
// A scan keeps hundreds of thousands of short texts (numbers, dates, message
// bodies). One heap block per text cost more than the walk that finds them:
// the allocator's work and the first touch of every fresh page. A scan's
// texts therefore go into a TextStore: large blocks filled one text after
// the other and given back all at once when the result array that owns the
// store is emptied (engine/MappedBlock.h).
//
// RecordText is the field type of the result records: a view of text bytes
// in a store, of a constant text (a type word), or of a heap copy that it
// owns. A text made outside a scan (a test's record, a record copied out of
// its array) owns its copy, so it never outlives its bytes; only a move
// keeps a stored text's view. Every text is followed by a NUL byte.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/MappedBlock.h"

namespace velmora {

class TextStore;

class RecordText {
 public:
  RecordText() noexcept = default;
  // A copy of `text` owned by this value.
  RecordText(std::string_view text) { Own(text); }  // NOLINT(google-explicit-constructor)
  RecordText(const std::string& text) : RecordText(std::string_view(text)) {}  // NOLINT
  RecordText(const char* text) : RecordText(std::string_view(text)) {}  // NOLINT
  // A text of static storage (a string literal): neither copied nor owned.
  static RecordText Constant(const char* text) noexcept {
    RecordText t;
    t.data_ = text;
    t.size_ = static_cast<std::uint32_t>(std::strlen(text));
    return t;
  }

  RecordText(const RecordText& other) {
    if (other.owned_) {
      Own(other.view());
    } else if (other.stored_) {
      Own(other.view());  // a copy may outlive the store
    } else {
      data_ = other.data_;
      size_ = other.size_;
    }
  }
  RecordText(RecordText&& other) noexcept
      : data_(other.data_), size_(other.size_), owned_(other.owned_), stored_(other.stored_) {
    other.Forget();
  }
  RecordText& operator=(const RecordText& other) {
    if (this != &other) *this = RecordText(other);
    return *this;
  }
  RecordText& operator=(RecordText&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = other.data_;
      size_ = other.size_;
      owned_ = other.owned_;
      stored_ = other.stored_;
      other.Forget();
    }
    return *this;
  }
  RecordText& operator=(std::string_view text) { return *this = RecordText(text); }
  RecordText& operator=(const std::string& text) { return *this = RecordText(text); }
  RecordText& operator=(const char* text) { return *this = RecordText(text); }
  ~RecordText() { Release(); }

  const char* data() const noexcept { return data_; }
  const char* c_str() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  std::size_t length() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::string_view view() const noexcept { return {data_, size_}; }
  std::string str() const { return std::string(data_, size_); }
  operator std::string_view() const noexcept { return view(); }  // NOLINT(google-explicit-constructor)
  operator std::string() const { return str(); }                 // NOLINT(google-explicit-constructor)
  void clear() noexcept {
    Release();
    Forget();
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
  void Own(std::string_view text) {
    if (text.empty()) return;
    if (text.size() >= UINT32_MAX) throw std::length_error("record text too long");
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    data_ = copy;
    size_ = static_cast<std::uint32_t>(text.size());
    owned_ = true;
  }
  void Release() noexcept {
    if (owned_) delete[] data_;
  }
  void Forget() noexcept {
    data_ = "";
    size_ = 0;
    owned_ = false;
    stored_ = false;
  }

  const char* data_ = "";
  std::uint32_t size_ = 0;
  bool owned_ = false;   // data_ is a heap copy of this value's own
  bool stored_ = false;  // data_ lies in a TextStore
};

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
    if (text.empty()) return {};
    if (text.size() >= UINT32_MAX) throw std::length_error("record text too long");
    char* room = static_cast<char*>(Allocate(text.size() + 1, 1));
    std::memcpy(room, text.data(), text.size());
    room[text.size()] = '\0';
    RecordText t;
    t.data_ = room;
    t.size_ = static_cast<std::uint32_t>(text.size());
    t.stored_ = true;
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
      MappedBytes() -= b.size;
    }
    blocks_.clear();
    blocks_.shrink_to_fit();
    next_ = end_ = nullptr;
    nextBlock_ = kFirstBlock;
  }

  // The bytes all stores of the process hold (for the benchmark's memory
  // figure: the blocks are mapped, not taken from the heap).
  static std::size_t& MappedBytes() {
    static std::size_t bytes = 0;
    return bytes;
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
    MappedBytes() += size;
    next_ = data;
    end_ = data + size;
  }

  std::vector<Block> blocks_;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t nextBlock_ = kFirstBlock;
};

}  // namespace velmora
