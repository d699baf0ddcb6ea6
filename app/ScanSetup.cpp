#include "app/ScanSetup.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>
#include <sys/stat.h>

#include "engine/MyFuns_.h"
#include "engine/SQLiteTable3.h"
#include "engine/ScanContext.h"
#include "platform/RawFile.h"
#include "platform/System.h"

namespace velmora {

namespace {

std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The bytes of a value line that are looked at for its tags. A device name or
// a date takes a few dozen bytes; a longer line (damaged or hostile) is not
// held whole.
constexpr std::size_t kValueLineBytes = 64 * 1024;
// Bytes read from a property list at a time.
constexpr std::size_t kReadBytes = 64 * 1024;

// Finds the two values of a backup's property list in its lines, given piece
// by piece: for each key, the first line that contains it, then the text
// between the first opening tag and the first closing tag after it on the
// next line. A key is found anywhere in a line however long; the next line is
// looked at in its first kValueLineBytes bytes.
class BackupInfoParser {
 public:
  BackupInfoParser(BackupEntry& entry, const std::function<void()>& pump)
      : searches_{{{"Device Name", "<string>", "</string>", &entry.DeviceName},
                   {"Last Backup Date", "<date>", "</date>", &entry.BackupDate}}},
        pump_(pump) {
    entry.DeviceName.clear();
    entry.BackupDate.clear();
  }

  // More bytes of the current line.
  void Append(std::string_view piece) {
    if (line_.size() < kValueLineBytes)
      line_.append(piece.substr(0, kValueLineBytes - line_.size()));
    for (Search& s : searches_) {
      if (s.state != State::Searching || s.inLine) continue;
      // The key may straddle two pieces: the line's last bytes are kept.
      const std::string_view key(s.key);
      const std::size_t keep = key.size() - 1;
      std::string seam = s.tail;
      seam.append(piece.substr(0, keep));
      s.inLine = seam.find(key) != std::string::npos || piece.find(key) != std::string_view::npos;
      if (piece.size() >= keep) {
        s.tail.assign(piece.substr(piece.size() - keep));
      } else {
        s.tail.append(piece);
        if (s.tail.size() > keep) s.tail.erase(0, s.tail.size() - keep);
      }
    }
  }

  // The current line is whole: it is examined by the searches still looking
  // for their key (one pump each), or is the value line of a key found on the
  // line before.
  void EndLine() {
    for (Search& s : searches_) {
      if (s.state == State::ValueNext) {
        *s.value = Between(line_, s.open, s.close);
        s.state = State::Done;
      } else if (s.state == State::Searching) {
        if (pump_) pump_();
        if (s.inLine) s.state = State::ValueNext;
      }
      s.inLine = false;
      s.tail.clear();
    }
    line_.clear();
  }

  // Both values taken: no further line can change them.
  bool Done() const {
    return searches_[0].state == State::Done && searches_[1].state == State::Done;
  }

 private:
  enum class State { Searching, ValueNext, Done };
  struct Search {
    Search(const char* k, const char* o, const char* c, std::string* v)
        : key(k), open(o), close(c), value(v) {}
    const char* key;
    const char* open;
    const char* close;
    std::string* value;
    State state = State::Searching;
    bool inLine = false;  // the key lies in the current line
    std::string tail;     // the current line's last bytes, fewer than the key's
  };

  static std::string Between(const std::string& line, const char* open, const char* close) {
    const std::size_t a = line.find(open);
    if (a == std::string::npos) return {};
    const std::size_t from = a + std::strlen(open);
    const std::size_t b = line.find(close, from);
    if (b == std::string::npos) return {};
    return line.substr(from, b - from);
  }

  std::array<Search, 2> searches_;
  const std::function<void()>& pump_;
  std::string line_;  // the current line's first kValueLineBytes bytes
};

constexpr const char* kFileModeMarkers[4] = {
    "ABPersonFullTextSearch_content", "chat_message_join", "call", "Friend"};
constexpr const char* kBackupMarkers[4] = {
    "abpersonfulltextsearch_content", "chat_message_join", "call", "friend"};

}  // namespace

// ---------------------------------------------------------------- backup root

double WindowsVersionNumber(int major, int minor) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d", major, minor);
  return std::strtod(text, nullptr);
}

std::optional<std::string> WindowsBackupRoot(double version, const std::string& userName) {
  const std::string user = TrimBlanks(userName);
  if (version >= 6) {
    return "c:\\users\\" + user + "\\AppData\\Roaming\\Apple Computer\\MobileSync\\Backup\\";
  }
  if (version > 5) {
    return "C:\\Documents and Settings\\" + user +
           "\\Application Data\\Apple Computer\\MobileSync\\Backup\\";
  }
  return std::nullopt;
}

std::string BackupRoot() {
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] == '\0') return {};
    base = std::string(home);
    if (base.back() != '/') base += '/';
    base += ".local/share";
  }
  if (base.back() != '/') base += '/';
  return base + "MobileSync/Backup/";
}

// ---------------------------------------------------------------- backup list

BackupEntry ParseBackupInfo(const std::vector<std::string>& lines,
                            const std::function<void()>& pump) {
  BackupEntry entry;
  BackupInfoParser parser(entry, pump);
  for (const std::string& line : lines) {
    if (parser.Done()) break;
    parser.Append(line);
    parser.EndLine();
  }
  return entry;
}

bool ReadBackupInfo(const BackupInfoSource& read, BackupEntry& entry,
                    const std::function<void()>& pump) {
  BackupInfoParser parser(entry, pump);
  std::vector<char> buffer(kReadBytes);
  bool lineOpen = false;  // bytes of a line not yet ended
  bool afterCR = false;   // the last line ended at a CR: an LF next is part of that end
  bool failed = false;
  while (!parser.Done()) {
    const std::size_t got = std::min(read(buffer, failed), buffer.size());
    const std::string_view piece(buffer.data(), got);
    std::size_t start = 0;
    if (afterCR && !piece.empty() && piece[0] == '\n') start = 1;
    if (!piece.empty()) afterCR = false;
    bool lineEnded = false;
    while (start < piece.size() && !parser.Done()) {
      const std::size_t end = piece.find_first_of("\r\n", start);
      if (end == std::string_view::npos) {
        parser.Append(piece.substr(start));
        lineOpen = true;
        break;
      }
      parser.Append(piece.substr(start, end - start));
      parser.EndLine();
      lineOpen = false;
      lineEnded = true;
      start = end + 1;
      if (piece[end] == '\r') {
        if (start == piece.size()) afterCR = true;
        else if (piece[start] == '\n') ++start;
      }
    }
    if (got < buffer.size() || failed) break;  // the end, or bytes that cannot be read
    // A line longer than a piece keeps the window's messages running.
    if (!lineEnded && pump) pump();
  }
  // Bytes that cannot be read matter only while a value is still missing.
  if (failed && !parser.Done()) return false;
  if (lineOpen && !parser.Done()) parser.EndLine();  // the last line, without a line end
  return true;
}

bool ReadBackupInfoFile(const std::string& path, BackupEntry& entry,
                        const std::function<void()>& pump) {
  platform::RawFile file(path, platform::RawFile::Access::ReadOnly);
  if (!file.IsOpen()) return false;
  std::uint64_t offset = 0;
  return ReadBackupInfo(
      [&](std::span<char> into, bool& failed) {
        const std::size_t got =
            file.ReadAt(offset, {reinterpret_cast<std::uint8_t*>(into.data()), into.size()});
        offset += got;
        failed = got < into.size() && file.Error() != 0;
        return got;
      },
      entry, pump);
}

std::string FindBackupInfoFile(const std::string& folder) {
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::string found;
  for (const platform::DirEntry& e : platform::ListDirectory(folder)) {
    if (e.IsDirectory || AsciiLower(e.Name) != "info.plist") continue;
    if (!IsRegularFile(prefix + e.Name)) continue;
    if (e.Name == "info.plist") return prefix + e.Name;
    if (found.empty() || e.Name < FileNameOf(found)) found = prefix + e.Name;
  }
  return found;
}

std::vector<BackupEntry> ListBackups(const std::string& root, const std::function<void()>& pump) {
  std::vector<BackupEntry> backups;
  if (!IsDirectory(root)) return backups;
  std::vector<std::string> files;
  std::vector<std::string> dirs;
  ListFolder(root, "", false, files, dirs);
  for (const std::string& dir : dirs) {
    if (pump) pump();
    const std::string info = FindBackupInfoFile(dir);
    BackupEntry entry;
    if (info.empty() || !ReadBackupInfoFile(info, entry, pump)) continue;
    entry.Path = dir;
    backups.push_back(std::move(entry));
  }
  return backups;
}

// ---------------------------------------------------------------- kinds

const char* FileModeMarkerTable(std::uint8_t kind) {
  return kind < 4 ? kFileModeMarkers[kind] : "";
}

const char* BackupMarkerTable(std::uint8_t kind) { return kind < 4 ? kBackupMarkers[kind] : ""; }

bool HasSQLiteSignature(const std::vector<std::uint8_t>& header) {
  static constexpr char kSignature[] = "SQLite format 3";
  return header.size() >= 15 && std::memcmp(header.data(), kSignature, 15) == 0;
}

void PatchChosenFile(const std::string& path) {
  Fbuf header(kSectorSize, 0);
  if (!ReadSectors(path, false, 0, kSectorSize, header)) return;
  if (HasSQLiteSignature(header)) PatchSQLiteHeader(path, header, PatchMode::Always);
}

std::optional<std::uint8_t> IdentifyDatabaseKind(const std::string& path) {
  TSQLiteDatabase db(path);
  std::optional<std::uint8_t> kind;
  for (std::uint8_t k = 0; k < 4; ++k) {
    if (db.HasTable(kFileModeMarkers[k])) kind = k;
  }
  return kind;
}

bool IsKindDatabase(const std::string& path, std::uint8_t kind) {
  if (kind >= 4) return false;
  if (FileSize64(path) < 1024) return false;
  Fbuf header(kSectorSize, 0);
  if (!ReadSectors(path, false, 0, kSectorSize, header)) return false;
  if (!HasSQLiteSignature(header)) return false;
  PatchSQLiteHeader(path, header, PatchMode::Always);
  TSQLiteDatabase db(path);
  return db.HasTable(kBackupMarkers[kind]);
}

std::vector<std::string> ListBackupFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::vector<std::string> dirs;
  ListFolder(folder, "", true, files, dirs);
  return files;
}

std::vector<std::string> SearchBackupForKind(const std::string& folder, std::uint8_t kind,
                                             bool allMatches, const SearchProgress& progress) {
  const std::vector<std::string> files = ListBackupFiles(folder);
  if (progress.begin) progress.begin(static_cast<int>(files.size()));
  std::vector<std::string> matches;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (progress.step) progress.step(static_cast<int>(i + 1));
    bool match = false;
    try {
      match = IsKindDatabase(files[i], kind);
    } catch (const std::exception&) {
      // One unreadable or damaged file must not end the search of a backup
      // of thousands: it is simply not this kind's database.
      match = false;
    }
    if (!match) continue;
    matches.push_back(files[i]);
    if (!allMatches) break;
  }
  return matches;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace velmora
