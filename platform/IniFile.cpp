#include "platform/IniFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"

namespace platform {
namespace {

// One line of the file as stored: its bytes without the line end, and the line
// end itself ("\r\n", "\n", or empty for a last line without one).
struct RawLine {
  std::string Bytes;
  std::string Ending;
};

// What a line means once decoded.
struct ParsedLine {
  enum Kind { Other, Section, Key } Type = Other;
  std::string Name;   // section name or key, trimmed
  std::string Value;  // a key's value, trimmed
};

enum class LoadResult { Ok, Missing, Failed };

LoadResult Load(const std::string& fileName, std::string& bytes) {
  struct stat st {};
  if (stat(fileName.c_str(), &st) != 0)
    return errno == ENOENT ? LoadResult::Missing : LoadResult::Failed;
  if (S_ISDIR(st.st_mode)) return LoadResult::Failed;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return LoadResult::Failed;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.bad() ? LoadResult::Failed : LoadResult::Ok;
}

std::vector<RawLine> SplitLines(const std::string& bytes) {
  std::vector<RawLine> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t lf = bytes.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back({bytes.substr(start), ""});
      break;
    }
    std::size_t end = lf;
    std::string ending = "\n";
    if (end > start && bytes[end - 1] == '\r') {
      --end;
      ending = "\r\n";
    }
    lines.push_back({bytes.substr(start, end - start), ending});
    start = lf + 1;
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Section and key names match without regard to ASCII case. The texts are
// UTF-8, whose multi-byte sequences hold no ASCII bytes, so folding is safe.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

ParsedLine Parse(const RawLine& raw) {
  ParsedLine p;
  const std::string text = Trim(AnsiToUtf8(raw.Bytes));
  if (text.empty() || text[0] == ';') return p;
  if (text[0] == '[') {
    const std::size_t close = text.find(']');
    p.Type = ParsedLine::Section;
    p.Name = Trim(std::string_view(text).substr(1, close == std::string::npos ? std::string::npos
                                                                               : close - 1));
    return p;
  }
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return p;
  p.Type = ParsedLine::Key;
  p.Name = Trim(std::string_view(text).substr(0, eq));
  p.Value = Trim(std::string_view(text).substr(eq + 1));
  return p;
}

// Where a section and a key lie in the lines: npos for what is not there.
struct Location {
  std::size_t Section = std::string::npos;
  std::size_t Key = std::string::npos;
  std::size_t LastFilled = std::string::npos;  // last non-blank line of the section
  std::string KeyName;                         // the file's spelling of the key
  std::string Value;
};

Location Find(const std::vector<RawLine>& lines, const std::string& section,
              const std::string& key) {
  Location loc;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine p = Parse(lines[i]);
    if (loc.Section == std::string::npos) {
      if (p.Type == ParsedLine::Section && SameName(p.Name, section)) {
        loc.Section = i;
        loc.LastFilled = i;
      }
      continue;
    }
    if (p.Type == ParsedLine::Section) break;  // end of the (first) section
    if (!Trim(lines[i].Bytes).empty()) loc.LastFilled = i;
    if (p.Type == ParsedLine::Key && loc.Key == std::string::npos && SameName(p.Name, key)) {
      loc.Key = i;
      loc.KeyName = p.Name;
      loc.Value = p.Value;
    }
  }
  return loc;
}

std::string StripQuotes(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// A value stays on its line: line breaks inside it become blanks.
std::string OneLine(std::string v) {
  for (char& c : v)
    if (c == '\r' || c == '\n') c = ' ';
  return v;
}

}  // namespace

std::optional<std::string> IniFile::Read(const std::string& section,
                                         const std::string& key) const {
  std::string bytes;
  if (Load(fileName_, bytes) != LoadResult::Ok) return std::nullopt;
  const Location loc = Find(SplitLines(bytes), section, key);
  if (loc.Key == std::string::npos) return std::nullopt;
  return StripQuotes(loc.Value);
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  return Read(section, key).value_or(defaultValue);
}

bool IniFile::Write(const std::string& section, const std::string& key,
                    const std::string& value) const {
  std::string bytes;
  const LoadResult loaded = Load(fileName_, bytes);
  if (loaded == LoadResult::Failed) return false;
  std::vector<RawLine> lines = SplitLines(bytes);
  const std::string newline =
      (!lines.empty() && lines.front().Ending == "\n") ? std::string("\n") : std::string("\r\n");
  const Location loc = Find(lines, section, key);
  const std::string text = OneLine(value);

  if (loc.Key != std::string::npos) {
    lines[loc.Key].Bytes = Utf8ToAnsi(loc.KeyName + "=" + text);
  } else {
    std::size_t after;  // the new lines go after this one
    std::vector<RawLine> added;
    if (loc.Section != std::string::npos) {
      after = loc.LastFilled;
    } else {
      after = lines.empty() ? std::string::npos : lines.size() - 1;
      added.push_back({Utf8ToAnsi("[" + section + "]"), newline});
    }
    added.push_back({Utf8ToAnsi(key + "=" + text), newline});
    std::size_t at = 0;
    if (after != std::string::npos) {
      if (lines[after].Ending.empty()) lines[after].Ending = newline;
      at = after + 1;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }

  std::string out;
  out.reserve(bytes.size() + text.size() + key.size() + section.size() + 8);
  for (const RawLine& l : lines) out += l.Bytes + l.Ending;
  std::ofstream file(fileName_, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  return !file.fail();
}

}  // namespace platform
