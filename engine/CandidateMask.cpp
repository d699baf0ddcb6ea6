#include "engine/CandidateMask.h"

#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmora {

bool CarveVectorMask = true;
bool CarveWideVectorMask = true;

bool VectorMaskAvailable() {
#if defined(__x86_64__)
  static const bool available = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return available;
#else
  return false;
#endif
}

bool WideVectorMaskAvailable() {
#if defined(__x86_64__)
  static const bool available = [] {
    __builtin_cpu_init();
    return VectorMaskAvailable() && __builtin_cpu_supports("avx512f") != 0 &&
           __builtin_cpu_supports("avx512bw") != 0;
  }();
  return available;
#else
  return false;
#endif
}

namespace {

// Puts byte b into a set laid out for the look-ups.
void AddToSet(std::uint8_t (&set)[2][32], unsigned b) {
  const auto bit = static_cast<std::uint8_t>(1u << ((b >> 4) & 7));
  set[b >> 7][b & 15] |= bit;
  set[b >> 7][16 + (b & 15)] |= bit;
}

}  // namespace

void BuildMaskColumnSets(const std::uint8_t* const tables[kMaskColumns], const std::uint8_t* pairTest,
                         MaskColumnSets& out) {
  out = MaskColumnSets{};
  // Column 1's multi-byte first bytes grouped by the second bytes they
  // accept.
  std::vector<std::array<bool, 256>> rows;
  bool fits = true;
  for (unsigned x = 0; x < 256 && fits; ++x) {
    if ((tables[0][x] >> 1) == 0) continue;
    std::array<bool, 256> row{};
    for (unsigned y = 0; y < 256; ++y) row[y] = pairTest[x | (y << 8)] != 0;
    std::size_t k = 0;
    while (k < rows.size() && rows[k] != row) ++k;
    if (k == rows.size()) {
      if (k == MaskColumnSets::kMaxPairClasses) {
        fits = false;
        break;
      }
      rows.push_back(row);
      for (unsigned y = 0; y < 256; ++y)
        if (row[y]) AddToSet(out.pairRow[k], y);
    }
    AddToSet(out.classOf[k], x);
  }
  out.pairClasses = fits ? rows.size() : 0;
  if (!fits) {
    std::memset(out.classOf, 0, sizeof out.classOf);
    std::memset(out.pairRow, 0, sizeof out.pairRow);
  }
  for (std::size_t c = 0; c < kMaskColumns; ++c) {
    for (unsigned b = 0; b < 256; ++b) {
      const std::uint8_t code = tables[c][b];
      if (code & 1) {
        AddToSet(out.half[c][MaskColumnSets::kOneByte], b);
        out.halves[c][MaskColumnSets::kOneByte] |= static_cast<std::uint8_t>(1u << (b >> 7));
      }
      if (code >> 1) {
        AddToSet(out.half[c][MaskColumnSets::kMultiByte], b);
        out.halves[c][MaskColumnSets::kMultiByte] |= static_cast<std::uint8_t>(1u << (b >> 7));
        out.multiByte[c] = true;
      }
      if (code != 1) out.tested = c + 1;
    }
  }
}

#if defined(__x86_64__)

namespace {

#define VELMORA_AVX2 __attribute__((target("avx2"), always_inline)) inline

// 32 bytes as one column reads them: the bytes, the bytes with bit 7
// flipped (a look-up by them finds the high half's entry, one by the bytes
// themselves the low half's: vpshufb gives 0 for an index with bit 7 set),
// and each byte's bit 1 << ((b >> 4) & 7).
struct Bytes32 {
  __m256i x, flipped, bit;
};

VELMORA_AVX2 Bytes32 Classify(const std::uint8_t* q) {
  const __m256i bitOfNibble = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64,
                                               -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16,
                                               32, 64, -128);
  Bytes32 b;
  b.x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  b.flipped = _mm256_xor_si256(b.x, _mm256_set1_epi8(-128));
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(b.x, 4), _mm256_set1_epi8(0x0F));
  b.bit = _mm256_shuffle_epi8(bitOfNibble, high);
  return b;
}

// 0xFF in the lanes whose byte is in the set, 0 elsewhere; `halves` says
// which halves of the set hold bytes (the others are not looked up).
VELMORA_AVX2 __m256i InSet(const Bytes32& b, const std::uint8_t (&set)[2][32], unsigned halves = 3) {
  const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(set[0]));
  const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i*>(set[1]));
  __m256i found;
  if (halves == 1)
    found = _mm256_shuffle_epi8(low, b.x);
  else if (halves == 2)
    found = _mm256_shuffle_epi8(high, b.flipped);
  else
    found = _mm256_or_si256(_mm256_shuffle_epi8(low, b.x), _mm256_shuffle_epi8(high, b.flipped));
  return _mm256_cmpeq_epi8(_mm256_and_si256(found, b.bit), b.bit);
}

// The prefix test of the 32 offsets p .. p + 31 (reads p[0 .. 32 +
// kMaskColumns - 1)). `chain`: the lanes whose columns so far were all
// one-byte types that pass; `open`: the lanes left to the full test at a
// multi-byte type.
VELMORA_AVX2 std::uint32_t Mask32(const MaskColumnSets& s, const std::uint8_t* p) {
  using S = MaskColumnSets;
  Bytes32 b = Classify(p);
  __m256i chain = InSet(b, s.half[0][S::kOneByte], s.halves[0][S::kOneByte]);
  __m256i open = s.multiByte[0] ? InSet(b, s.half[0][S::kMultiByte], s.halves[0][S::kMultiByte])
                                : _mm256_setzero_si256();
  const bool pairs = s.pairClasses > 0 && !_mm256_testz_si256(open, open);
  // Most runs of text and numbers end here on the first columns.
  if (!pairs && _mm256_testz_si256(chain, chain)) return static_cast<std::uint32_t>(_mm256_movemask_epi8(open));
  const Bytes32 first = b;
  b = Classify(p + 1);
  if (pairs) {
    // Column 1's multi-byte types by their first two bytes.
    __m256i ok = _mm256_setzero_si256();
    for (std::size_t k = 0; k < s.pairClasses; ++k)
      ok = _mm256_or_si256(ok, _mm256_and_si256(InSet(first, s.classOf[k]), InSet(b, s.pairRow[k])));
    open = _mm256_and_si256(open, ok);
  }
  for (std::size_t c = 1; c < s.tested; ++c) {
    if (_mm256_testz_si256(chain, chain)) break;
    if (c > 1) b = Classify(p + c);
    if (s.multiByte[c])
      open = _mm256_or_si256(
          open, _mm256_and_si256(chain, InSet(b, s.half[c][S::kMultiByte], s.halves[c][S::kMultiByte])));
    chain = _mm256_and_si256(chain, InSet(b, s.half[c][S::kOneByte], s.halves[c][S::kOneByte]));
  }
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(open, chain)));
}

__attribute__((target("avx2"))) void Avx2PrefixMask(const MaskColumnSets& s, const std::uint8_t* p,
                                                     std::size_t n, std::uint64_t* masks) {
  std::size_t w = 0;
  for (; (w + 1) * 64 <= n; ++w) {
    const std::uint8_t* q = p + w * 64;
    masks[w] = Mask32(s, q) | (std::uint64_t{Mask32(s, q + 32)} << 32);
  }
  const std::size_t rest = n - w * 64;
  if (rest > 0) {
    // The last offsets from a copy of their bytes (zeros after them), so
    // that nothing past what they read is read; the bits past n cleared.
    alignas(32) std::uint8_t tail[64 + 32 + kMaskColumns] = {};
    std::memcpy(tail, p + w * 64, rest + kMaskColumns - 1);
    const std::uint64_t mask = Mask32(s, tail) | (std::uint64_t{Mask32(s, tail + 32)} << 32);
    masks[w] = mask & ((std::uint64_t{1} << rest) - 1);
  }
}

#undef VELMORA_AVX2

// The same test for 64 offsets at a time (AVX-512BW): the byte sets are read
// as they are laid out for the 32-byte code, each 16-byte half broadcast to
// the four 128-bit lanes; a lane's answer is a bit of a mask register.
#define VELMORA_AVX512 __attribute__((target("avx512f,avx512bw"), always_inline)) inline

struct Bytes64 {
  __m512i x, flipped, bit;
};

// 16 bytes in each 128-bit lane (the masked form: every lane written).
VELMORA_AVX512 __m512i Broadcast16(__m128i v) { return _mm512_maskz_broadcast_i32x4(0xFFFF, v); }
VELMORA_AVX512 __m512i Broadcast16(const std::uint8_t* q) {
  return Broadcast16(_mm_load_si128(reinterpret_cast<const __m128i*>(q)));
}

VELMORA_AVX512 Bytes64 Classify64(const std::uint8_t* q) {
  const __m512i bitOfNibble =
      Broadcast16(_mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128));
  Bytes64 b;
  b.x = _mm512_loadu_si512(q);
  b.flipped = _mm512_xor_si512(b.x, _mm512_set1_epi8(-128));
  const __m512i high = _mm512_and_si512(_mm512_srli_epi16(b.x, 4), _mm512_set1_epi8(0x0F));
  b.bit = _mm512_shuffle_epi8(bitOfNibble, high);
  return b;
}

// Bit i set when byte i is in the set.
VELMORA_AVX512 std::uint64_t InSet64(const Bytes64& b, const std::uint8_t (&set)[2][32], unsigned halves = 3) {
  __m512i found;
  if (halves == 1) {
    found = _mm512_shuffle_epi8(Broadcast16(set[0]), b.x);
  } else if (halves == 2) {
    found = _mm512_shuffle_epi8(Broadcast16(set[1]),
                                b.flipped);
  } else {
    found = _mm512_or_si512(
        _mm512_shuffle_epi8(Broadcast16(set[0]), b.x),
        _mm512_shuffle_epi8(Broadcast16(set[1]),
                            b.flipped));
  }
  return _mm512_test_epi8_mask(found, b.bit);
}

// Mask32 for the 64 offsets p .. p + 63 (reads p[0 .. 64 + kMaskColumns - 1)).
VELMORA_AVX512 std::uint64_t Mask64(const MaskColumnSets& s, const std::uint8_t* p) {
  using S = MaskColumnSets;
  Bytes64 b = Classify64(p);
  std::uint64_t chain = InSet64(b, s.half[0][S::kOneByte], s.halves[0][S::kOneByte]);
  std::uint64_t open = s.multiByte[0] ? InSet64(b, s.half[0][S::kMultiByte], s.halves[0][S::kMultiByte]) : 0;
  const bool pairs = s.pairClasses > 0 && open != 0;
  if (!pairs && chain == 0) return open;
  const Bytes64 first = b;
  b = Classify64(p + 1);
  if (pairs) {
    std::uint64_t ok = 0;
    for (std::size_t k = 0; k < s.pairClasses; ++k) ok |= InSet64(first, s.classOf[k]) & InSet64(b, s.pairRow[k]);
    open &= ok;
  }
  for (std::size_t c = 1; c < s.tested; ++c) {
    if (chain == 0) break;
    if (c > 1) b = Classify64(p + c);
    if (s.multiByte[c]) open |= chain & InSet64(b, s.half[c][S::kMultiByte], s.halves[c][S::kMultiByte]);
    chain &= InSet64(b, s.half[c][S::kOneByte], s.halves[c][S::kOneByte]);
  }
  return open | chain;
}

__attribute__((target("avx512f,avx512bw"))) void Avx512PrefixMask(const MaskColumnSets& s, const std::uint8_t* p,
                                                                  std::size_t n, std::uint64_t* masks) {
  std::size_t w = 0;
  for (; (w + 1) * 64 <= n; ++w) masks[w] = Mask64(s, p + w * 64);
  const std::size_t rest = n - w * 64;
  if (rest > 0) {
    // As in Avx2PrefixMask: the last offsets from a copy of their bytes.
    alignas(64) std::uint8_t tail[64 + kMaskColumns] = {};
    std::memcpy(tail, p + w * 64, rest + kMaskColumns - 1);
    masks[w] = Mask64(s, tail) & ((std::uint64_t{1} << rest) - 1);
  }
}

#undef VELMORA_AVX512

}  // namespace

#endif

bool VectorPrefixMask(const MaskColumnSets& sets, const std::uint8_t* p, std::size_t n,
                      std::uint64_t* masks) {
#if defined(__x86_64__)
  if (CarveVectorMask && CarveWideVectorMask && WideVectorMaskAvailable()) {
    Avx512PrefixMask(sets, p, n, masks);
    return true;
  }
  if (CarveVectorMask && VectorMaskAvailable()) {
    Avx2PrefixMask(sets, p, n, masks);
    return true;
  }
#else
  (void)sets, (void)p, (void)n, (void)masks;
#endif
  return false;
}

}  // namespace velmora
