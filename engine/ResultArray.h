// The container of one kind's result records: an array that grows in fixed
// chunks of records, so that a scan keeping millions of hits never moves the
// records already kept (a doubling array copies all of them at every growth
// and touches twice their memory) and keeps at most one chunk of unused room.
// The chunks and the records' texts (Keep) share one TextStore, given back
// when the array is emptied. Indexing, iteration and the usual array calls
// work as on std::vector.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

#include "engine/RecordText.h"

namespace velmora {

template <typename T>
class ResultArray {
 public:
  static constexpr std::size_t kChunkShift = 12;  // 4096 records a chunk
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkShift;
  static constexpr std::size_t kChunkMask = kChunkSize - 1;
  static constexpr std::size_t kPrefetchAhead = 16;

  template <typename Owner, typename Value>
  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;

    Iterator() = default;
    Iterator(Owner* owner, std::size_t index) : owner_(owner), index_(index) {}
    reference operator*() const { return (*owner_)[index_]; }
    pointer operator->() const { return &(*owner_)[index_]; }
    reference operator[](difference_type n) const { return (*owner_)[index_ + static_cast<std::size_t>(n)]; }
    Iterator& operator++() { ++index_; return *this; }
    Iterator operator++(int) { Iterator old = *this; ++index_; return old; }
    Iterator& operator--() { --index_; return *this; }
    Iterator operator--(int) { Iterator old = *this; --index_; return old; }
    Iterator& operator+=(difference_type n) { index_ += static_cast<std::size_t>(n); return *this; }
    Iterator& operator-=(difference_type n) { index_ -= static_cast<std::size_t>(n); return *this; }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.index_ <=> b.index_; }

   private:
    Owner* owner_ = nullptr;
    std::size_t index_ = 0;
  };
  using iterator = Iterator<ResultArray, T>;
  using const_iterator = Iterator<const ResultArray, const T>;
  using value_type = T;
  using size_type = std::size_t;

  ResultArray() = default;
  ResultArray(std::initializer_list<T> values) { *this = values; }
  ResultArray(const ResultArray& other) {
    for (const T& v : other) push_back(v);
  }
  ResultArray(ResultArray&& other) noexcept { *this = std::move(other); }
  ResultArray& operator=(const ResultArray& other) {
    if (this != &other) {
      clear();
      for (const T& v : other) push_back(v);
    }
    return *this;
  }
  ResultArray& operator=(ResultArray&& other) noexcept {
    if (this != &other) {
      clear();
      chunks_ = std::move(other.chunks_);
      size_ = std::exchange(other.size_, 0);
      store_ = std::move(other.store_);
      other.chunks_.clear();
    }
    return *this;
  }
  ResultArray& operator=(std::initializer_list<T> values) {
    clear();
    for (const T& v : values) push_back(v);
    return *this;
  }
  ~ResultArray() { clear(); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return chunks_[i >> kChunkShift][i & kChunkMask]; }
  const T& operator[](std::size_t i) const { return chunks_[i >> kChunkShift][i & kChunkMask]; }
  T& front() { return (*this)[0]; }
  const T& front() const { return (*this)[0]; }
  T& back() { return (*this)[size_ - 1]; }
  const T& back() const { return (*this)[size_ - 1]; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

  // A copy of `text` kept with the records (valid until the array is
  // emptied): what a scanner puts into a record's text fields.
  RecordText Keep(std::string_view text) { return store_.Keep(text); }
  // The same of the n bytes at p, `readable` bytes from p on being
  // readable.
  RecordText KeepHeld(const char* p, std::size_t n, std::size_t readable) {
    return store_.KeepHeld(p, n, readable);
  }
  // The decimal text of `value`, kept likewise.
  RecordText KeepDecimal(std::int64_t value) { return store_.KeepDecimal(value); }

  // Empties the array and gives its memory back.
  void clear() {
    while (size_ > 0) (*this)[--size_].~T();
    chunks_.clear();
    chunks_.shrink_to_fit();
    store_.Clear();
  }
  // Room is taken a chunk at a time; there is nothing to reserve.
  void reserve(std::size_t) {}

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    T* slot = Room();
    ::new (static_cast<void*>(slot)) T(std::forward<Args>(args)...);
    ++size_;
    return *slot;
  }
  // A record added as `make` (a callable returning a T) makes it, built
  // where it is kept rather than moved there from a temporary.
  template <typename Make>
  T& emplace_made(Make&& make) {
    T* slot = Room();
    ::new (static_cast<void*>(slot)) T(std::forward<Make>(make)());
    ++size_;
    return *slot;
  }
  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  // The last record goes; its chunk's room stays for the next one.
  void pop_back() {
    --size_;
    (*this)[size_].~T();
  }
  void resize(std::size_t n) {
    while (size_ > n) pop_back();
    while (size_ < n) emplace_back();
  }
  void assign(std::size_t n, const T& value) {
    clear();
    for (std::size_t i = 0; i < n; ++i) push_back(value);
  }

 private:
  // The room of the next record (size_), in a new chunk if need be.
  T* Room() {
    if ((size_ >> kChunkShift) == chunks_.size())
      chunks_.push_back(static_cast<T*>(store_.Allocate(kChunkSize * sizeof(T), alignof(T))));
    T* slot = &chunks_[size_ >> kChunkShift][size_ & kChunkMask];
    // The room a few records on is fresh memory: ask for its cache lines
    // now, so that filling those records later does not wait for them.
    if ((size_ & kChunkMask) + kPrefetchAhead < kChunkSize) __builtin_prefetch(slot + kPrefetchAhead, 1);
    return slot;
  }

  // Every chunk has room for kChunkSize records, taken from store_ with the
  // records' texts.
  std::vector<T*> chunks_;
  std::size_t size_ = 0;
  TextStore store_;
};

}  // namespace velmora
