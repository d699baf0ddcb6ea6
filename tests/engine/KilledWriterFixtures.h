// Databases as a phone leaves them when the files are copied while a writer
// is busy: the writer is a child process that opens the database with SQLite,
// writes, and dies before it closes (_exit in WAL mode after a commit that
// was never checkpointed; SIGKILL in the middle of a rollback-journal
// transaction whose changes have already spilled into the database file).
// What it leaves beside the database is what a normal SQLite open would then
// checkpoint, roll back, create or delete. A snapshot of the folder's files
// tells whether anything did.
//
// Header-only; used by the engine and the app tests. Everything the child
// does is SQLite's C interface and _exit or kill, so forking a test process
// that runs other threads is safe.
#pragma once

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace killedwriter {

namespace fs = std::filesystem;

// What the dead writer leaves beside the database.
enum class Leftover {
  WalAndShm,     // WAL mode, committed frames only in -wal, with its -shm
  WalOnly,       // the same, the -shm lost in the copy
  HotJournal,    // rollback mode, a hot -journal, the database half-written
  JournalAndWal, // a hot -journal and a -wal with its -shm
};

struct LeftoverCase {
  const char* name;
  Leftover leftover;
  std::vector<const char*> sidecars;  // the suffixes left beside the database
  std::uint8_t versionBytes;          // header bytes 18 and 19 as left
};

inline void PrintTo(const LeftoverCase& c, std::ostream* os) { *os << c.name; }

inline const std::vector<LeftoverCase>& LeftoverCases() {
  static const std::vector<LeftoverCase> cases = {
      {"WalAndShm", Leftover::WalAndShm, {"-wal", "-shm"}, 2},
      {"WalOnly", Leftover::WalOnly, {"-wal"}, 2},
      {"HotJournal", Leftover::HotJournal, {"-journal"}, 1},
      {"JournalAndWal", Leftover::JournalAndWal, {"-journal", "-wal", "-shm"}, 1},
  };
  return cases;
}

// A folder name and a file name with a blank, "%" and an escape-like "%41",
// "?", "#" and Chinese characters: as a URI, each would change the name.
inline constexpr const char* kOddFolder = "案件 1 %41?x=1#证据";
inline constexpr const char* kOddFile = "通话 记录%2F?mode=rw#1.db";

// Statements the dying writer runs by default: rows added to the table
// late_writes (which LeaveSidecars creates beforehand) past any page cache,
// and the rows of an existing table deleted. The schema is not changed in
// the dying transaction: a half-written schema would leave nothing to scan.
inline std::string DefaultLateWrites(const std::string& emptiedTable) {
  return "INSERT INTO late_writes SELECT randomblob(1000) FROM "
         "(WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 300) "
         "SELECT i FROM c);" +
         (emptiedTable.empty() ? std::string() : "DELETE FROM " + emptiedTable + ";");
}

namespace detail {

// In the child: open, set the journal up, write, die. Never returns.
[[noreturn]] inline void WriteAndDie(const std::string& path, bool wal, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) _exit(10);
  const std::string setup = wal ? "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                                : "PRAGMA journal_mode=DELETE; PRAGMA cache_size=1; BEGIN;";
  if (sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) _exit(11);
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) _exit(12);
  if (wal) _exit(0);  // committed, never checkpointed, never closed
  ::kill(::getpid(), SIGKILL);  // in the middle of the transaction
  _exit(13);
}

// Runs WriteAndDie in a child and waits for it: WAL ends with status 0,
// the journal writer by SIGKILL.
inline void RunDyingWriter(const std::string& path, bool wal, const std::string& sql) {
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) WriteAndDie(path, wal, sql);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) throw std::runtime_error("waitpid failed");
  const bool asPlanned = wal ? (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                             : (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  if (!asPlanned)
    throw std::runtime_error("the dying writer ended with status " + std::to_string(status));
}

}  // namespace detail

// Leaves the sidecars of `leftover` beside the committed rollback-mode
// database `path`, the dying writer running `lateWrites`.
inline void LeaveSidecars(const std::string& path, Leftover leftover, const std::string& lateWrites) {
  {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const bool made =
        rc == SQLITE_OK &&
        sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS late_writes(x BLOB)", nullptr, nullptr, nullptr) ==
            SQLITE_OK;
    sqlite3_close(db);
    if (!made) throw std::runtime_error("cannot prepare " + path);
  }
  switch (leftover) {
    case Leftover::WalAndShm:
      detail::RunDyingWriter(path, true, lateWrites);
      break;
    case Leftover::WalOnly:
      detail::RunDyingWriter(path, true, lateWrites);
      fs::remove(path + "-shm");
      break;
    case Leftover::HotJournal:
      detail::RunDyingWriter(path, false, lateWrites);
      break;
    case Leftover::JournalAndWal: {
      // No writer leaves both at once: a twin in a folder of its own dies in
      // WAL mode and hands its -wal and -shm over.
      const fs::path twinFolder = fs::path(path).parent_path() / "killed-writer-twin";
      fs::create_directories(twinFolder);
      const std::string twin = (twinFolder / "twin.db").string();
      fs::copy_file(path, twin, fs::copy_options::overwrite_existing);
      detail::RunDyingWriter(twin, true, lateWrites);
      detail::RunDyingWriter(path, false, lateWrites);
      fs::copy_file(twin + "-wal", path + "-wal");
      fs::copy_file(twin + "-shm", path + "-shm");
      fs::remove_all(twinFolder);
      break;
    }
  }
}

// The files of a folder (not its sub-folders), name to bytes.
using FolderBytes = std::map<std::string, std::string>;

inline FolderBytes Snapshot(const std::string& folder) {
  FolderBytes files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

// Puts the folder back as `snapshot` holds it: files that came are removed,
// every other file is written again.
inline void Restore(const std::string& folder, const FolderBytes& snapshot) {
  for (const auto& entry : fs::directory_iterator(folder))
    if (!snapshot.count(entry.path().filename().string())) fs::remove_all(entry.path());
  for (const auto& [name, bytes] : snapshot) {
    std::ofstream out(fs::path(folder) / name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
}

// Every change from `before` to `after` other than header bytes 18 and 19 of
// the database `dbName` becoming 1 and 1, one line each; empty when none.
inline std::string EvidenceChanges(const FolderBytes& before, const FolderBytes& after,
                                   const std::string& dbName) {
  std::string changes;
  for (const auto& [name, bytes] : before) {
    const auto it = after.find(name);
    if (it == after.end()) {
      changes += name + ": deleted\n";
      continue;
    }
    std::string expected = bytes;
    if (name == dbName && expected.size() >= 20) {
      const std::string& now = it->second;
      const bool patched = now.size() >= 20 && now[18] == 1 && now[19] == 1;
      if (patched) expected[18] = expected[19] = 1;
    }
    if (it->second != expected) {
      std::size_t at = 0;
      while (at < expected.size() && at < it->second.size() && expected[at] == it->second[at]) ++at;
      changes += name + ": changed at byte " + std::to_string(at) + " (" +
                 std::to_string(bytes.size()) + " -> " + std::to_string(it->second.size()) +
                 " bytes)\n";
    }
  }
  for (const auto& [name, bytes] : after)
    if (!before.count(name)) changes += name + ": created\n";
  return changes;
}

}  // namespace killedwriter
