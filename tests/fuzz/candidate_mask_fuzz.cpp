// libFuzzer target: the walk's candidate mask on arbitrary bytes for an
// arbitrary table layout. The first bytes choose the header test mode, the
// text bound and the columns (each byte one column: text, integer,
// required integer, narrowed integer, blob or untyped); the rest are the
// bytes tested. The vector masks (32 and 64 offsets at a time) and the
// offset-by-offset ones must agree with the prefix and pair tests offset by
// offset, and keep every offset where the full header test passes;
// anything else aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/CandidateMask.h"
#include "engine/CarvingEngine.h"

namespace {

const velmora::PTableField kColumns[] = {
    {"t", "c", 13, false}, {"i", "i", 9, false}, {"r", "i", 9, true},
    {"s", "i", 4, true},   {"b", "b", 12, false}, {"u", "", 0, false},
};
constexpr velmora::HeaderTest kModes[] = {velmora::HeaderTest::Varint, velmora::HeaderTest::VarintEach,
                                          velmora::HeaderTest::SingleByte};

std::vector<std::uint64_t> MaskOf(const velmora::HeaderMatcher& m, const std::vector<std::uint8_t>& bytes,
                                  std::size_t n, bool vector, bool wide = false) {
  velmora::CarveVectorMask = vector;
  velmora::CarveWideVectorMask = wide;
  std::vector<std::uint64_t> masks((n + 63) / 64, ~std::uint64_t{0});
  m.CandidateMask(bytes.data(), n, masks.data());
  return masks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const velmora::HeaderTest mode = kModes[data[0] % 3];
  const std::uint64_t bound = std::uint64_t{512} << (data[1] % 9);  // 512 .. 131072
  const std::size_t count = 1 + data[2] % 16;
  if (size < 3 + count) return 0;
  velmora::ATableField columns = {{"ROWID", "i", 9, false}};
  for (std::size_t c = 0; c < count; ++c) columns.push_back(kColumns[data[3 + c] % std::size(kColumns)]);
  const std::size_t from = 3 + count;
  if (size - from < velmora::kMaskColumns) return 0;
  // Exactly the bytes the mask may read, in a buffer of their own.
  const std::vector<std::uint8_t> bytes(data + from, data + size);
  const std::size_t n = bytes.size() - (velmora::kMaskColumns - 1);
  const velmora::HeaderMatcher m(columns, mode, bound);
  const auto vec = MaskOf(m, bytes, n, true);
  const auto wide = MaskOf(m, bytes, n, true, true);
  const auto scalar = MaskOf(m, bytes, n, false);
  velmora::CarveVectorMask = true;
  velmora::CarveWideVectorMask = true;
  if (wide != vec) std::abort();
  for (std::size_t i = 0; i < vec.size() * 64; ++i) {
    const bool v = (vec[i / 64] >> (i % 64)) & 1, s = (scalar[i / 64] >> (i % 64)) & 1;
    if (i >= n) {
      if (v || s) std::abort();  // a bit past the run
      continue;
    }
    const bool expected = m.PrefixMayMatch(bytes.data() + i) &&
                          velmora::HeaderMatcher::PairsMayMatch(bytes.data() + i, m.PairTable12Varint(),
                                                                m.PairTable34());
    if (v != expected || s != expected) std::abort();
    if (m.Match(bytes, i) && !expected) std::abort();
  }
  return 0;
}
