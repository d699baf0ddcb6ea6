// The value, text and time helpers. The sector routines live in
// MyFuns_Sectors.cpp.
#include "engine/MyFuns_.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "platform/System.h"

namespace velmora {

bool SortAscending = false;

namespace {

// ---------------------------------------------------------------- calendar
// Days from 1970-01-01 to y-m-d of the proleptic Gregorian calendar, and
// back. Exact for every 64-bit day count the callers can make.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, DateTimeParts& t) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  t.Year = static_cast<int>(yoe + era * 400 + (m <= 2));
  t.Month = static_cast<int>(m);
  t.Day = static_cast<int>(d);
}

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kFirstDay = DaysFromCivil(1, 1, 1);       // 0001-01-01
constexpr std::int64_t kLastDay = DaysFromCivil(9999, 12, 31);   // 9999-12-31
constexpr std::int64_t kSerialBase = DaysFromCivil(1899, 12, 30);  // day 0 of a date value
constexpr std::int64_t kCocoaBase = DaysFromCivil(2001, 1, 1);
constexpr std::int64_t kChinaOffsetMs = 8 * 3'600'000;

bool IsValidDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// A day count since 1970 and milliseconds of that day, kept inside the years
// 1 to 9999: earlier moments become 0001-01-01 00:00:00.000, later ones
// 9999-12-31 23:59:59.999.
struct DayAndMs {
  std::int64_t Day;
  std::int64_t Ms;
};

DayAndMs Clamp(DayAndMs v) {
  if (v.Day < kFirstDay) return {kFirstDay, 0};
  if (v.Day > kLastDay) return {kLastDay, kMsPerDay - 1};
  return v;
}

DateTimeParts ToParts(DayAndMs v) {
  DateTimeParts t;
  CivilFromDays(v.Day, t);
  t.Hour = static_cast<int>(v.Ms / 3'600'000);
  t.Minute = static_cast<int>(v.Ms / 60'000 % 60);
  t.Second = static_cast<int>(v.Ms / 1000 % 60);
  t.Millisecond = static_cast<int>(v.Ms % 1000);
  return t;
}

// baseDay (days since 1970) at 08:00 plus ms milliseconds, without overflow
// for any 64-bit ms.
DayAndMs AddMs(std::int64_t baseDay, std::int64_t ms) {
  std::int64_t day = ms / kMsPerDay;
  std::int64_t rem = ms % kMsPerDay;
  if (rem < 0) {
    rem += kMsPerDay;
    --day;
  }
  rem += kChinaOffsetMs;
  if (rem >= kMsPerDay) {
    rem -= kMsPerDay;
    ++day;
  }
  return Clamp({day + baseDay, rem});
}

// Writes value (0 <= value < 10^width) as exactly `width` decimal digits.
void PutDigits(char* out, unsigned value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// The program's formats "yyyy-mm-dd" and "hh:mm:ss" (the mm after hh being
// the minute), written straight from the day count into `out`: what
// FormatPattern gives for them, the years being 1 to 9999.
void ProgramDateTimeText(DayAndMs v, std::string& out) {
  DateTimeParts t;
  CivilFromDays(v.Day, t);
  const auto ms = static_cast<unsigned>(v.Ms);
  char buf[19];
  PutDigits(buf, static_cast<unsigned>(t.Year), 4);
  buf[4] = '-';
  PutDigits(buf + 5, static_cast<unsigned>(t.Month), 2);
  buf[7] = '-';
  PutDigits(buf + 8, static_cast<unsigned>(t.Day), 2);
  if (ms == 0) {
    out.assign(buf, 10);
    return;
  }
  buf[10] = ' ';
  PutDigits(buf + 11, ms / 3'600'000u, 2);
  buf[13] = ':';
  PutDigits(buf + 14, ms / 60'000u % 60u, 2);
  buf[16] = ':';
  PutDigits(buf + 17, ms / 1000u % 60u, 2);
  out.assign(buf, sizeof buf);
}

// Date and time text into `out` (its room reused); the date alone at
// exactly midnight.
void DateTimeText(DayAndMs v, std::string& out) {
  const FormatSettings& f = CurrentFormats();
  if (f.ShortDateFormat == "yyyy-mm-dd" && f.LongTimeFormat == "hh:mm:ss") {
    ProgramDateTimeText(v, out);
    return;
  }
  const DateTimeParts t = ToParts(v);
  out = FormatDate(t);
  if (v.Ms == 0) return;
  out += ' ';
  out += FormatTime(t);
}

// ---------------------------------------------------------------- patterns
// value in decimal, padded with zeros to `width` digits ("%0*d").
void AppendNumber(std::string& out, int value, int width) {
  if (value < 0 || width > 10) {  // rare: the general route
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "%0*d", width, value);
    if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    return;
  }
  char buf[10];
  int n = 0;
  auto v = static_cast<unsigned>(value);
  do {
    buf[sizeof buf - 1 - n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n < width) buf[sizeof buf - 1 - n++] = '0';
  out.append(buf + sizeof buf - n, static_cast<std::size_t>(n));
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Formats t by a pattern of the letters y, m, d, h, n, s, z (any case);
// quoted text and every other character are copied. An m right after an h
// specifier (separators between them allowed) is the minute.
std::string FormatPattern(std::string_view pattern, const DateTimeParts& t) {
  std::string out;
  char lastSpecifier = 0;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '"' || c == '\'') {
      const std::size_t close = pattern.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end == pattern.size() ? end : end + 1;
      continue;
    }
    const char u = Upper(c);
    if (u != 'Y' && u != 'M' && u != 'D' && u != 'H' && u != 'N' && u != 'S' && u != 'Z') {
      out += c;
      ++i;
      continue;
    }
    std::size_t count = 1;
    while (i + count < pattern.size() && Upper(pattern[i + count]) == u) ++count;
    i += count;
    const int pad2 = count >= 2 ? 2 : 1;
    switch (u) {
      case 'Y':
        if (count <= 2)
          AppendNumber(out, t.Year % 100, 2);
        else
          AppendNumber(out, t.Year, 4);
        break;
      case 'M':
        AppendNumber(out, lastSpecifier == 'H' ? t.Minute : t.Month, pad2);
        break;
      case 'D':
        AppendNumber(out, t.Day, pad2);
        break;
      case 'H':
        AppendNumber(out, t.Hour, pad2);
        break;
      case 'N':
        AppendNumber(out, t.Minute, pad2);
        break;
      case 'S':
        AppendNumber(out, t.Second, pad2);
        break;
      case 'Z':
        AppendNumber(out, t.Millisecond, count >= 3 ? 3 : 1);
        break;
    }
    lastSpecifier = u;
  }
  return out;
}

// The system's own formats come from the LC_TIME locale of the environment,
// its strftime patterns turned into our letters. The plain C locale has no
// preference of its own (its dates are two-digit-year US style), so it, and
// any pattern we cannot render, gives the default below.
constexpr const char* kDefaultDateFormat = "yyyy/m/d";
constexpr const char* kDefaultTimeFormat = "h:nn:ss";

std::string EnvironmentTimeLocale() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && v[0] != '\0') return v;
  }
  return "C";
}

bool IsPlainCLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// An strftime pattern in our letters; false when it uses what we lack
// (names of months and days, 12-hour clock, and so on).
bool TranslateStrftime(std::string_view in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c != '%') {
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '"' || c == '\'') {
        out += c == '"' ? '\'' : '"';
        out += c;
        out += c == '"' ? '\'' : '"';
      } else {
        out += c;
      }
      continue;
    }
    if (++i >= in.size()) return false;
    char conv = in[i];
    bool unpadded = false;
    if (conv == '-' && i + 1 < in.size()) {
      unpadded = true;
      conv = in[++i];
    } else if (conv == 'E' || conv == 'O') {  // alternative forms: take the plain one
      if (++i >= in.size()) return false;
      conv = in[i];
    }
    switch (conv) {
      case 'Y': out += "yyyy"; break;
      case 'y': out += "yy"; break;
      case 'm': out += unpadded ? "m" : "mm"; break;
      case 'd': out += unpadded ? "d" : "dd"; break;
      case 'e': out += "d"; break;
      case 'H': out += unpadded ? "h" : "hh"; break;
      case 'k': out += "h"; break;
      case 'M': out += unpadded ? "n" : "nn"; break;
      case 'S': out += unpadded ? "s" : "ss"; break;
      case 'D': out += "mm/dd/yy"; break;
      case 'F': out += "yyyy-mm-dd"; break;
      case 'T': out += "hh:nn:ss"; break;
      case 'R': out += "hh:nn"; break;
      case '%': out += '%'; break;
      default: return false;
    }
  }
  return !out.empty();
}

FormatSettings SystemFormats() {
  FormatSettings f{kDefaultDateFormat, kDefaultTimeFormat};
  const std::string name = EnvironmentTimeLocale();
  if (IsPlainCLocale(name)) return f;
  const locale_t loc = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return f;
  std::string pattern;
  if (TranslateStrftime(nl_langinfo_l(D_FMT, loc), pattern)) f.ShortDateFormat = pattern;
  if (TranslateStrftime(nl_langinfo_l(T_FMT, loc), pattern)) f.LongTimeFormat = pattern;
  freelocale(loc);
  return f;
}

// ---------------------------------------------------------------- values
[[noreturn]] void ThrowNotInteger(const std::string& text) {
  throw EConvertError("'" + text + "' is not a valid integer value");
}

// A whole number as the INI integer reader takes it: optional sign, decimal
// digits, or hexadecimal after "$" or "0x"; 32-bit range.
bool ParseInteger(std::string_view s, std::int64_t& out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  if (base == 16 && !negative && v <= 0xFFFFFFFFu) {  // "$FFFFFFFF" is -1
    out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
  }
  const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
  if (v > limit) return false;
  out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
  return true;
}

bool ParseFloat(std::string_view s, double& out) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

// A date value (days since 1899-12-30, the fraction the time of day; before
// that day the fraction counts forward from the whole day) from its parts.
double SerialFrom(int y, int m, int d, std::int64_t msOfDay) {
  const double day = static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(m),
                                                       static_cast<unsigned>(d)) -
                                         kSerialBase);
  const double frac = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
  return day < 0 ? day - frac : day + frac;
}

DayAndMs FromSerial(double v) {
  if (!std::isfinite(v)) return {kSerialBase, 0};
  const double limit = static_cast<double>(kLastDay - kSerialBase + 1);
  if (v >= limit) return {kLastDay, kMsPerDay - 1};
  if (v <= -limit) return {kFirstDay, 0};
  const double whole = std::trunc(v);
  const auto ms = static_cast<std::int64_t>(std::llround(std::fabs(v - whole) * kMsPerDay));
  DayAndMs r{static_cast<std::int64_t>(whole) + kSerialBase, ms};
  if (r.Ms >= kMsPerDay) {
    r.Ms -= kMsPerDay;
    ++r.Day;
  }
  return Clamp(r);
}

// The runs of decimal digits of a text, as numbers (at most 9 digits each).
bool DigitRuns(std::string_view s, std::vector<int>& out) {
  out.clear();
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] < '0' || s[i] > '9') {
      ++i;
      continue;
    }
    std::size_t j = i;
    int v = 0;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      if (j - i >= 9) return false;
      v = v * 10 + (s[j] - '0');
      ++j;
    }
    out.push_back(v);
    i = j;
  }
  return true;
}

// The order of year, month and day in the short date format, e.g. "YMD".
std::string DateOrder() {
  std::string order;
  char last = 0;
  for (char c : CurrentFormats().ShortDateFormat) {
    const char u = Upper(c);
    if ((u == 'Y' || u == 'M' || u == 'D') && u != last && order.find(u) == std::string::npos)
      order += u;
    last = u;
  }
  return order.size() == 3 ? order : std::string("YMD");
}

int FullYear(int y) {
  if (y >= 100) return y;
  const int now = NowParts().Year;
  return 2000 + y <= now + 50 ? 2000 + y : 1900 + y;
}

// Date and time texts read back by the current formats: the date's numbers in
// the short date format's order, then hours, minutes, optional seconds and
// milliseconds.
bool ParseDateNumbers(const std::vector<int>& n, std::size_t at, double& day) {
  if (n.size() < at + 3) return false;
  const std::string order = DateOrder();
  int y = 0, m = 0, d = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const int v = n[at + k];
    if (order[k] == 'Y') y = FullYear(v);
    else if (order[k] == 'M') m = v;
    else d = v;
  }
  if (!IsValidDate(y, m, d)) return false;
  day = SerialFrom(y, m, d, 0);
  return true;
}

bool ParseTimeNumbers(const std::vector<int>& n, std::size_t at, std::int64_t& ms) {
  const std::size_t count = n.size() - at;
  if (count < 2 || count > 4) return false;
  const int h = n[at], mi = n[at + 1];
  const int s = count > 2 ? n[at + 2] : 0;
  const int z = count > 3 ? n[at + 3] : 0;
  if (h > 23 || mi > 59 || s > 59 || z > 999) return false;
  ms = ((h * 60LL + mi) * 60 + s) * 1000 + z;
  return true;
}

bool ParseDateValue(std::uint8_t kind, const std::string& text, double& out) {
  std::vector<int> n;
  if (!DigitRuns(text, n)) return false;
  double day = 0;
  std::int64_t ms = 0;
  switch (kind) {
    case kIniDate:
      if (n.size() != 3 || !ParseDateNumbers(n, 0, day)) return false;
      out = day;
      return true;
    case kIniTime:
      if (!ParseTimeNumbers(n, 0, ms)) return false;
      out = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
      return true;
    default:  // date and time
      if (!ParseDateNumbers(n, 0, day)) return false;
      if (n.size() > 3 && !ParseTimeNumbers(n, 3, ms)) return false;
      out = day < 0 ? day - static_cast<double>(ms) / kMsPerDay
                    : day + static_cast<double>(ms) / kMsPerDay;
      return true;
  }
}

// The conversions of a variant default or value to each kind.
std::int64_t AsInteger(const IniValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
  if (const auto* d = std::get_if<double>(&v)) {
    if (!std::isfinite(*d) || std::fabs(*d) > 9.2e18) return 0;
    return static_cast<std::int64_t>(std::nearbyint(*d));
  }
  if (const auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  if (const auto* s = std::get_if<std::string>(&v)) {
    std::int64_t r = 0;
    return ParseInteger(*s, r) ? r : 0;
  }
  return 0;
}

double AsFloat(const IniValue& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
  if (const auto* s = std::get_if<std::string>(&v)) {
    double r = 0;
    return ParseFloat(*s, r) ? r : 0.0;
  }
  return 0.0;
}

bool AsBool(const IniValue& v) {
  if (const auto* b = std::get_if<bool>(&v)) return *b;
  if (const auto* s = std::get_if<std::string>(&v)) {
    if (*s == "True" || *s == "true" || *s == "TRUE") return true;
    if (*s == "False" || *s == "false" || *s == "FALSE") return false;
  }
  return AsFloat(v) != 0.0;
}

std::string AsText(const IniValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&v)) return FloatToText(*d);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  return {};
}

// A date value as text by kind: date and time (the date alone at midnight),
// date, or time.
std::string DateValueText(std::uint8_t kind, double value) {
  const DayAndMs v = FromSerial(value);
  const DateTimeParts t = ToParts(v);
  if (kind == kIniDate) return FormatDate(t);
  if (kind == kIniTime) return FormatTime(t);
  return v.Ms == 0 ? FormatDate(t) : FormatDate(t) + " " + FormatTime(t);
}

char FoldAscii(char c) { return Upper(c); }

}  // namespace

// ---------------------------------------------------------------- formats
FormatSettings& CurrentFormats() {
  static FormatSettings formats = SystemFormats();
  return formats;
}

void SetProgramFormats() {
  CurrentFormats() = FormatSettings{"yyyy-mm-dd", "hh:mm:ss"};
}

void ResetSystemFormats() { CurrentFormats() = SystemFormats(); }

DateTimeParts NowParts() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  const time_t secs = ts.tv_sec;
  DateTimeParts t;
  if (localtime_r(&secs, &local) == nullptr) return t;
  t.Year = local.tm_year + 1900;
  t.Month = local.tm_mon + 1;
  t.Day = local.tm_mday;
  t.Hour = local.tm_hour;
  t.Minute = local.tm_min;
  t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
  t.Millisecond = static_cast<int>(ts.tv_nsec / 1'000'000);
  return t;
}

std::string FormatDate(const DateTimeParts& t) {
  return FormatPattern(CurrentFormats().ShortDateFormat, t);
}

std::string FormatTime(const DateTimeParts& t) {
  return FormatPattern(CurrentFormats().LongTimeFormat, t);
}

std::string TodayText() { return FormatDate(NowParts()); }

std::string NowTimeText() { return FormatTime(NowParts()); }

// ---------------------------------------------------------------- INI
IniValue ReadIniValue(const std::string& fileName, const std::string& section,
                      const std::string& key, std::uint8_t kind, const IniValue& defaultValue) {
  const platform::IniFile ini(fileName);
  const std::optional<std::string> text = ini.Read(section, key);
  switch (kind) {
    case kIniInteger: {
      std::int64_t v = 0;
      if (text && ParseInteger(*text, v)) return v;
      return AsInteger(defaultValue);
    }
    case kIniFloat: {
      double v = 0;
      if (text && ParseFloat(*text, v)) return v;
      return AsFloat(defaultValue);
    }
    case kIniString:
      return text ? *text : AsText(defaultValue);
    case kIniDateTime:
    case kIniDate:
    case kIniTime: {
      double v = 0;
      if (text && ParseDateValue(kind, *text, v)) return v;
      return AsFloat(defaultValue);
    }
    case kIniBool: {
      std::int64_t v = 0;
      if (text && ParseInteger(*text, v)) return v != 0;
      return AsBool(defaultValue);
    }
    default:
      return std::monostate{};
  }
}

void WriteIniValue(const std::string& fileName, const std::string& section, const std::string& key,
                   std::uint8_t kind, const IniValue& value) {
  std::string text;
  switch (kind) {
    case kIniInteger: text = std::to_string(AsInteger(value)); break;
    case kIniFloat: text = FloatToText(AsFloat(value)); break;
    case kIniString: text = AsText(value); break;
    case kIniDateTime:
    case kIniDate:
    case kIniTime: text = DateValueText(kind, AsFloat(value)); break;
    case kIniBool: text = AsBool(value) ? "1" : "0"; break;
    default: return;
  }
  platform::IniFile(fileName).Write(section, key, text);  // failures are not reported
}

std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
  return std::get<std::string>(ReadIniValue(fileName, section, key, kIniString, defaultValue));
}

// ---------------------------------------------------------------- files
void ListFolder(const std::string& folder, const std::string& nameFilter, bool recurse,
                std::vector<std::string>& fileList, std::vector<std::string>& dirList) {
  std::string filter = nameFilter;
  for (char& c : filter) c = Upper(c);
  for (const platform::DirEntry& e : platform::ListDirectory(folder)) {
    if (e.IsDirectory) {
      dirList.push_back(folder + e.Name);
      // A linked folder is listed but not entered: a link back up the tree
      // would otherwise never end.
      if (recurse && !e.IsSymlink) ListFolder(folder + e.Name + "/", nameFilter, true, fileList, dirList);
      continue;
    }
    if (!filter.empty()) {
      std::string upper = e.Name;
      for (char& c : upper) c = Upper(c);
      if (upper.find(filter) == std::string::npos) continue;
    }
    fileList.push_back(folder + e.Name);
  }
}

std::string GetWindowsUserName() {
  std::string name = platform::LoginName();
  if (name.size() > 252) name.resize(252);
  return name;
}

// ---------------------------------------------------------------- text
std::string SplitField(const std::string& text, char sep, int index) {
  std::string s = text;
  if (index == 0) {
    const std::size_t at = s.find(sep);
    s = at == std::string::npos ? std::string() : s.substr(0, at);
  }
  for (int i = 0; i < index; ++i) {
    const std::size_t at = s.find(sep);
    if (at == std::string::npos) break;  // no Sep left: S stays for the rest
    s.erase(0, at + 1);
  }
  const std::size_t at = s.find(sep);
  return at == std::string::npos ? s : s.substr(0, at);
}

std::uint16_t SwapWord(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

std::uint32_t SwapLong(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

std::uint64_t SwapInt64(std::uint64_t v) {
  return (static_cast<std::uint64_t>(SwapLong(static_cast<std::uint32_t>(v))) << 32) |
         SwapLong(static_cast<std::uint32_t>(v >> 32));
}

std::string UnixMsToText(std::int64_t ms) {
  std::string text;
  DateTimeText(AddMs(0, ms), text);
  return text;
}

std::string CocoaMsToText(std::int64_t ms) {
  std::string text;
  DateTimeText(AddMs(kCocoaBase, ms), text);
  return text;
}

std::string_view UnixMsToText(std::int64_t ms, std::string& out) {
  DateTimeText(AddMs(0, ms), out);
  return out;
}

std::string_view CocoaMsToText(std::int64_t ms, std::string& out) {
  DateTimeText(AddMs(kCocoaBase, ms), out);
  return out;
}

std::string IntToBin(std::uint32_t value, int bits) {
  std::string out;
  if (bits <= 0) return out;
  out.reserve(static_cast<std::size_t>(bits));
  for (int p = bits - 1; p >= 0; --p) out += ((value >> (p % 32)) & 1u) ? '1' : '0';
  return out;
}

std::int64_t BinToInt64(const std::string& text) {
  // Each character counts digit * 2^(characters to its right); the sum wraps
  // at 64 bits like the value it stands for.
  std::uint64_t sum = 0;
  for (char c : text) {
    if (c < '0' || c > '9') ThrowNotInteger(text);
    sum = sum * 2 + static_cast<std::uint64_t>(c - '0');
  }
  return static_cast<std::int64_t>(sum);
}

std::int64_t HexToInt64(const std::string& text) {
  std::string_view s(text);
  while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (s.empty() || s[0] == '-' || s[0] == '+' || ec != std::errc() || end != s.data() + s.size())
    ThrowNotInteger("$" + text);
  return static_cast<std::int64_t>(v);  // 16 digits and more fill all 64 bits
}

std::string FloatToText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";

  // Every significant digit of the value: a double's decimal expansion ends
  // within 767 significant digits, so this text is exact and the rounding
  // below sees the true digits (a tie is a tie, not a printed approximation).
  constexpr int kExactDigits = 767;
  constexpr int kDigits = 15;
  char buf[kExactDigits + 16];
  const int n = std::snprintf(buf, sizeof buf, "%.*e", kExactDigits - 1, std::fabs(value));
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return "0";
  const std::string_view text(buf, static_cast<std::size_t>(n));  // d.ddd...e[+-]x
  const std::size_t e = text.find('e');
  int exponent = std::atoi(buf + e + 1);
  std::string digits;  // kDigits + 1 significant digits
  digits += text[0];
  digits.append(text.substr(2, kDigits));

  // Round at the fifteenth digit, half away from zero; 9.99...9 carries into
  // a new leading 1.
  const bool up = digits[kDigits] >= '5';
  digits.resize(kDigits);
  if (up) {
    int i = kDigits - 1;
    for (; i >= 0 && digits[static_cast<std::size_t>(i)] == '9'; --i) digits[static_cast<std::size_t>(i)] = '0';
    if (i >= 0) {
      ++digits[static_cast<std::size_t>(i)];
    } else {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exponent;
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent >= kDigits || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) out += '.' + digits.substr(1);
    out += 'E' + std::to_string(exponent);
  } else if (exponent >= 0) {
    const std::size_t whole = static_cast<std::size_t>(exponent) + 1;  // digits before the point
    if (digits.size() <= whole) {
      out += digits + std::string(whole - digits.size(), '0');
    } else {
      out += digits.substr(0, whole) + '.' + digits.substr(whole);
    }
  } else {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return out;
}

std::string Int64ToBin(std::int64_t value) {
  std::string out;
  for (std::int64_t v = value; v > 0; v /= 2) out.insert(out.begin(), (v & 1) ? '1' : '0');
  return out;
}

std::string DvrTimeToText(const std::string& dateSep, const std::string& timeSep,
                          std::uint64_t value) {
  const auto field = [&](int shift, int bits) {
    return std::to_string((value >> shift) & ((1u << bits) - 1u));
  };
  return std::to_string(((value >> 26) & 0x3Fu) + 2000) + dateSep + field(22, 4) + dateSep +
         field(17, 5) + " " + field(12, 5) + timeSep + field(6, 6) + timeSep + field(0, 6);
}

bool BrowseForFolder(const std::string& prompt, const std::string& root, std::string& folder) {
  const std::optional<std::string> chosen = platform::ChooseFolder(prompt, root);
  if (!chosen || chosen->empty()) {
    folder.clear();
    return false;
  }
  folder = *chosen;
  if (folder.back() != '/') folder += '/';  // the root "/" already ends in one
  return true;
}

// ---------------------------------------------------------------- sorting
void AppendListSortKey(std::string_view text, std::string& key) {
  // The ANSI code page is ASCII-compatible: ASCII texts need no conversion.
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::size_t start = key.size();
  if (ascii) {
    key.append(text);
  } else {
    key += platform::Utf8ToAnsi(text);
  }
  for (std::size_t i = start; i < key.size(); ++i) key[i] = FoldAscii(key[i]);
}

std::string ListSortKey(std::string_view text) {
  std::string key;
  AppendListSortKey(text, key);
  return key;
}

int CompareListSortKeys(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

int CompareListItems(const ListRow& item1, const ListRow& item2, int column) {
  // Column 0 is the caption (cell 0); column k the sub-item k - 1 (cell k).
  if (column < 0) return 0;
  const auto at = static_cast<std::size_t>(column);
  if (at >= item1.size() || at >= item2.size()) return 0;
  const int result = CompareListSortKeys(ListSortKey(item1[at]), ListSortKey(item2[at]));
  return SortAscending ? result : -result;
}

}  // namespace velmora
