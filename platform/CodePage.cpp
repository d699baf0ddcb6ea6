// UTF-8 <-> GB18030 through iconv. Both directions go one unit at a time past
// bad input, so a damaged byte costs one replacement character and never the
// rest of the text.
#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace platform {
namespace {

constexpr const char* kAnsiCodePage = "GB18030";

// One converter per direction, opened on first use and kept for the run.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of [in, in + left) as it can, appending to out. Returns
  // false at a sequence it cannot convert, with in/left pointing at it.
  bool Run(const char*& in, std::size_t& left, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buf[1024];
    while (left > 0) {
      char* dst = buf;
      std::size_t room = sizeof buf;
      char* src = const_cast<char*>(in);
      const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
      in = src;
      out.append(buf, static_cast<std::size_t>(dst - buf));
      if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    char* dst = buf;
    std::size_t room = sizeof buf;
    iconv(cd_, nullptr, nullptr, &dst, &room);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    return true;
  }

 private:
  iconv_t cd_;
};

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Length of the well-formed UTF-8 sequence at s[i], 0 when it is ill-formed
// (bad lead byte, bad or missing continuation, overlong form, surrogate, or
// beyond U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < n) return 0;
  if (at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  static Converter conv(kAnsiCodePage, "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    // The longest well-formed run from i goes to iconv in one piece.
    std::size_t j = i;
    while (j < utf8.size()) {
      const std::size_t n = Utf8SequenceLength(utf8, j);
      if (n == 0) break;
      j += n;
    }
    const char* in = utf8.data() + i;
    std::size_t left = j - i;
    while (left > 0) {
      if (!conv.Ok() || !conv.Run(in, left, out)) {
        // A character the code page cannot hold: one '?' for it.
        out += '?';
        const std::size_t at = static_cast<std::size_t>(in - utf8.data());
        const std::size_t n = Utf8SequenceLength(utf8, at);
        in += n;
        left -= n;
      }
    }
    i = j;
    if (i < utf8.size()) {  // an ill-formed byte
      out += '?';
      ++i;
    }
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  static Converter conv("UTF-8", kAnsiCodePage);
  std::string out;
  out.reserve(ansi.size() * 3 / 2);
  const char* in = ansi.data();
  std::size_t left = ansi.size();
  while (left > 0) {
    if (conv.Ok() && conv.Run(in, left, out)) break;
    out += "\xEF\xBF\xBD";  // U+FFFD for the byte that does not decode
    ++in;
    --left;
  }
  return out;
}

}  // namespace platform
