// The prefix test of the candidate walk over many offsets at once.
//
// The candidate test gives each byte a code per column (0 reject, bit 0 a
// one-byte serial type that passes, bit 1 a multi-byte one to read). Its
// cheap part, the prefix test, reads the first serial-type bytes of an
// offset while they are one-byte types that pass: it rejects at the first
// byte its column rejects and leaves the offset to the full test at the
// first multi-byte one (or after kMaskColumns columns). Here that test runs
// for a run of offsets into a bit mask: on x86-64 processors with AVX2, 32
// offsets at a time, the bytes of each column classified by nibble look-ups
// (vpshufb) into the column's byte sets, 64 at a time with AVX-512BW;
// elsewhere offset by offset from the code tables
// (HeaderMatcher::CandidateMask).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

// True (the default): the vector code where the processor has it; false:
// the offset-by-offset code everywhere (tests compare the two).
extern bool CarveVectorMask;

// True when this build and processor run the vector code.
bool VectorMaskAvailable();

// True (the default): where the processor has AVX-512BW, the vector code
// takes 64 offsets at a time instead of 32 (the same masks); false: 32.
extern bool CarveWideVectorMask;

// True when this build and processor run the 64-offset vector code.
bool WideVectorMaskAvailable();

// Columns 1 .. kMaskColumns take part in the prefix test.
inline constexpr std::size_t kMaskColumns = 16;

// The byte sets of the prefix test's columns, laid out for the look-ups: a
// byte b is in a set when bit (b >> 4) & 7 of entry b & 15 of the set's
// half (half 0 for b < 0x80, half 1 for the rest) is set. Each 16-byte half
// is stored twice, once per 128-bit lane.
struct MaskColumnSets {
  enum Plane { kOneByte, kMultiByte };
  alignas(32) std::uint8_t half[kMaskColumns][2][2][32] = {};
  // The column has multi-byte serial types (its kMultiByte set is not empty).
  bool multiByte[kMaskColumns] = {};
  // Which halves of a set hold bytes: bit 0 the low half, bit 1 the high one.
  std::uint8_t halves[kMaskColumns][2] = {};
  // The columns from `tested` on accept every byte as a one-byte type (they
  // never reject).
  std::size_t tested = 0;
  // Column 1's multi-byte types tested by their first two bytes x, y: the
  // bytes x fall into pairClasses classes (classOf), the bytes y each class
  // accepts being its pairRow set. 0 classes: not tested here.
  static constexpr std::size_t kMaxPairClasses = 4;
  std::size_t pairClasses = 0;
  alignas(32) std::uint8_t classOf[kMaxPairClasses][2][32] = {};
  alignas(32) std::uint8_t pairRow[kMaxPairClasses][2][32] = {};
};

// Fills `out` from the code tables of columns 1 .. kMaskColumns (256 codes
// each) and, for column 1's multi-byte types, from `pairTest` (index x | y
// << 8, nonzero: the two bytes x, y may start the type), when its rows take
// at most kMaxPairClasses forms.
void BuildMaskColumnSets(const std::uint8_t* const tables[kMaskColumns], const std::uint8_t* pairTest,
                         MaskColumnSets& out);

// The prefix test of the n offsets p .. p + n - 1 with the vector code: bit
// i % 64 of masks[i / 64] set when it passes at p + i, the bits from n on
// clear. Reads p[0 .. n + kMaskColumns - 1). False, with masks untouched,
// when the vector code is not to be used (CarveVectorMask false, or no
// AVX2).
bool VectorPrefixMask(const MaskColumnSets& sets, const std::uint8_t* p, std::size_t n,
                      std::uint64_t* masks);

}  // namespace velmora
