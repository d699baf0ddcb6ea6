#include "app/ScanSetup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

#include "engine/MyFuns_.h"
#include "engine/SQLiteTable3.h"
#include "engine/ScanContext.h"
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

// The value line under the first line that holds `key`: the text between the
// first `open` tag and the first `close` tag after it.
std::string ValueBelowKey(const std::vector<std::string>& lines, const char* key,
                          const char* open, const char* close,
                          const std::function<void()>& pump) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (pump) pump();
    if (lines[i].find(key) == std::string::npos) continue;
    if (i + 1 >= lines.size()) return {};
    const std::string& value = lines[i + 1];
    const std::size_t a = value.find(open);
    if (a == std::string::npos) return {};
    const std::size_t from = a + std::strlen(open);
    const std::size_t b = value.find(close, from);
    if (b == std::string::npos) return {};
    return value.substr(from, b - from);
  }
  return {};
}

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
  entry.DeviceName = ValueBelowKey(lines, "Device Name", "<string>", "</string>", pump);
  entry.BackupDate = ValueBelowKey(lines, "Last Backup Date", "<date>", "</date>", pump);
  return entry;
}

bool LoadTextLines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return true;
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
  std::vector<std::string> lines;
  for (const std::string& dir : dirs) {
    if (pump) pump();
    const std::string info = FindBackupInfoFile(dir);
    if (info.empty() || !LoadTextLines(info, lines)) continue;
    BackupEntry entry = ParseBackupInfo(lines, pump);
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
