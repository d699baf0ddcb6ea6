// Fixture helpers for the engine tests: a temporary folder, databases built
// with SQLite itself, and deterministic damage to their bytes (header fields,
// truncation). Header-only; every engine test may use it.
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/CarvingEngine.h"
#include "engine/MyFuns_.h"
#include "engine/RecordingScanView.h"
#include "engine/SQLiteTable3.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace velmora::testdb {

// A fresh folder under the system's temporary folder, removed with its
// contents on destruction.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs `sql` (one or more statements) on the database at `path`, creating it
// when missing. Throws with SQLite's message on failure.
inline void Exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("SQL failed: " + message + " in: " + sql);
}

// A new database at `path` with the given page size, without secure delete
// (deleted rows keep their bytes) and in rollback-journal mode, then `sql`.
inline void Build(const std::string& path, const std::string& sql, int pageSize = 4096) {
  std::filesystem::remove(path);
  Exec(path, "PRAGMA page_size=" + std::to_string(pageSize) +
                 "; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE; PRAGMA auto_vacuum=NONE;" +
                 sql);
}

// Makes every later step of a statement on db's connection fail
// (SQLITE_INTERRUPT): a look-up error in the middle of a walk, brought about
// without writing to the file, which the scans open read-only.
inline void InterruptEveryStatement(TSQLiteDatabase& db) {
  sqlite3_progress_handler(db.Handle(), 1, [](void*) { return 1; }, nullptr);
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Overwrites bytes of the file at `offset`.
inline void SetBytes(const std::string& path, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> all = ReadBytes(path);
  if (all.size() < offset + bytes.size()) all.resize(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), all.begin() + static_cast<std::ptrdiff_t>(offset));
  WriteBytes(path, all);
}

// Header fields.
inline void SetVersionBytes(const std::string& path, std::uint8_t write, std::uint8_t read) {
  SetBytes(path, 18, {write, read});
}
inline void SetPageCount(const std::string& path, std::uint32_t count) {
  SetBytes(path, 28, {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
                      static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)});
}
inline std::uint32_t PageSizeOf(const std::string& path) {
  const auto b = ReadBytes(path);
  const std::uint32_t v = (std::uint32_t{b.at(16)} << 8) | b.at(17);
  return v == 1 ? 65536 : v;
}

inline void Truncate(const std::string& path, std::size_t size) {
  std::filesystem::resize_file(path, size);
}

// Offset of the first occurrence of `text` in the file's bytes, or npos.
inline std::size_t Find(const std::string& path, const std::string& text) {
  const auto b = ReadBytes(path);
  const std::string all(b.begin(), b.end());
  return all.find(text);
}

// SQL text literal of `s` (single quotes doubled).
inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// The iOS call history table as the phone lays it out.
inline constexpr const char* kIosCallTable =
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT, "
    "read INTEGER, assisted INTEGER, face_time_data BLOB, originalAddress TEXT);";

// One row of the call table; a name of "\0NULL" stores SQL NULL.
struct CallRow {
  std::string address;
  std::int64_t date = 1400000000;  // seconds since 1970-01-01
  std::int64_t duration = 60;
  std::int64_t flags = 0;
  std::string name = "Name";
};
inline constexpr const char* kSqlNull = "\0NULL";

inline std::string SqlValue(const std::string& text) { return text == kSqlNull ? "NULL" : Quote(text); }

inline std::string InsertCall(const CallRow& r) {
  return "INSERT INTO call (address, date, duration, flags, id, name, country_code, network_code, "
         "read, assisted, face_time_data, originalAddress) VALUES (" +
         SqlValue(r.address) + ", " + std::to_string(r.date) + ", " + std::to_string(r.duration) +
         ", " + std::to_string(r.flags) + ", -1, " + SqlValue(r.name) + ", 'cn', '00', 1, 0, NULL, " +
         SqlValue(r.address) + ");";
}

// The state every scanner test starts from: scan context and flags idle,
// the program's date and time formats, a pump at every check, message boxes
// answered and recorded.
class ScanFixtureState {
 public:
  ScanFixtureState() {
    ResetScanContext();
    SetProgramFormats();
    savedInterval_ = CarvePumpInterval;
    CarvePumpInterval = std::chrono::milliseconds(0);
  }
  ~ScanFixtureState() {
    CarvePumpInterval = savedInterval_;
    ResetScanContext();
  }
  // Points the scan context at `path`.
  static void Target(const std::string& path) {
    SourceRawPath = path;
    SourceDbPath = path;
  }

  RecordingScanView view;
  platform::ScriptedMessageBoxes boxes;

 private:
  std::chrono::milliseconds savedInterval_{};
};

}  // namespace velmora::testdb
