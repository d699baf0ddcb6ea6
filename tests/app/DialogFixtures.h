// Fixtures of the scan-setup tests: temporary folders, small SQLite databases
// built with SQLite itself, header version bytes, and phone-backup trees laid
// out as current backups lay them out (a property list per backup, database
// files named by 40 hexadecimal characters inside two-character folders).
#pragma once

#include <sqlite3.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace velmora::testing_fixtures {

namespace fs = std::filesystem;

// A fresh folder below /tmp, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/velmora-dialog-XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Creates the database `path` and runs the statements in it.
inline void MakeDatabase(const std::string& path, const std::vector<std::string>& statements,
                         int pageSize = 4096) {
  fs::create_directories(fs::path(path).parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK) << path;
  const std::string pragma = "PRAGMA page_size=" + std::to_string(pageSize);
  ASSERT_EQ(sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  for (const std::string& sql : statements) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << sql << ": " << (error ? error : "");
    sqlite3_free(error);
  }
  sqlite3_close(db);
}

// A database that holds only the given table (one text column).
inline void MakeMarkerDatabase(const std::string& path, const std::string& table,
                               int pageSize = 4096) {
  MakeDatabase(path, {"CREATE TABLE " + table + " (id INTEGER PRIMARY KEY, v TEXT)"}, pageSize);
}

inline std::pair<int, int> VersionBytes(const std::string& path) {
  const std::string b = ReadFileBytes(path);
  if (b.size() < 20) return {-1, -1};
  return {static_cast<unsigned char>(b[18]), static_cast<unsigned char>(b[19])};
}

inline void SetVersionBytes(const std::string& path, int write, int read) {
  std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(18);
  const char bytes[2] = {static_cast<char>(write), static_cast<char>(read)};
  f.write(bytes, 2);
}

// The 40-character file name of backup file `n`, and its path below `backup`
// inside the folder of its first two characters.
inline std::string HexName(unsigned n) {
  static const char* kDigits = "0123456789abcdef";
  std::string name(40, '0');
  unsigned x = n * 2654435761u + 12345u;
  for (int i = 0; i < 40; ++i) {
    name[i] = kDigits[(x >> ((i % 8) * 4)) & 15];
    if (i % 8 == 7) x = x * 1103515245u + 12345u + n;
  }
  return name;
}

inline std::string BackupFilePath(const std::string& backup, unsigned n) {
  const std::string name = HexName(n);
  const std::string folder = !backup.empty() && backup.back() == '/' ? backup : backup + "/";
  return folder + name.substr(0, 2) + "/" + name;
}

inline std::string InfoPlistText(const std::string& deviceName, const std::string& date) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n"
         "\t<key>Build Version</key>\n\t<string>11D201</string>\n"
         "\t<key>Device Name</key>\n\t<string>" + deviceName + "</string>\n"
         "\t<key>Display Name</key>\n\t<string>" + deviceName + "</string>\n"
         "\t<key>Last Backup Date</key>\n\t<date>" + date + "</date>\n"
         "</dict>\n</plist>\n";
}

// A backup folder `root`/`id` with its property list named `plistName`.
inline std::string MakeBackupFolder(const std::string& root, const std::string& id,
                                    const std::string& deviceName, const std::string& date,
                                    const std::string& plistName = "Info.plist") {
  const std::string folder = root + id;
  fs::create_directories(folder);
  WriteFileBytes(folder + "/" + plistName, InfoPlistText(deviceName, date));
  return folder;
}

// Points HOME at a temporary folder (and clears XDG_DATA_HOME) while alive.
class ScopedHome {
 public:
  explicit ScopedHome(const std::string& home) {
    if (const char* h = std::getenv("HOME")) oldHome_ = h, hadHome_ = true;
    if (const char* x = std::getenv("XDG_DATA_HOME")) oldXdg_ = x, hadXdg_ = true;
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_DATA_HOME");
  }
  ~ScopedHome() {
    if (hadHome_) ::setenv("HOME", oldHome_.c_str(), 1); else ::unsetenv("HOME");
    if (hadXdg_) ::setenv("XDG_DATA_HOME", oldXdg_.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  }
  ScopedHome(const ScopedHome&) = delete;
  ScopedHome& operator=(const ScopedHome&) = delete;

 private:
  std::string oldHome_, oldXdg_;
  bool hadHome_ = false, hadXdg_ = false;
};

}  // namespace velmora::testing_fixtures
