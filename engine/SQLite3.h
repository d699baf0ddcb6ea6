// The SQLite library as the engine sees it: the library's C interface, the
// English text of each result code, and the few thin wrappers that keep the
// handles of the library in RAII holders. Only the SQLite access layer
// (SQLiteTable3) includes this header; nothing else in the system calls the
// library.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

namespace velmora {

// The English text of an SQLite primary result code ("Successful result" for
// 0, "File opened that is not a database file" for 26, ...). A code without a
// text gives "Unknown SQLite Error Code \"<code>\"".
std::string SQLiteErrorText(int code);

// The file: URI of fileNameUtf8 (UTF-8) for a read-only, immutable open:
// "file:" + the path with every byte other than a letter, a digit, "-", ".",
// "_", "~" and "/" written as %XX, then "?mode=ro&immutable=1". A blank, "%",
// "?", "#" or a Chinese character in a name is therefore taken as part of the
// name, never as the start of a parameter or an escape. An absolute path
// gets an empty authority ("file:///...").
std::string SQLiteReadOnlyUri(const std::string& fileNameUtf8);

// Opens the existing database file fileNameUtf8 (UTF-8) read-only and
// immutable (SQLITE_OPEN_READONLY | SQLITE_OPEN_URI with SQLiteReadOnlyUri):
// the library then never writes, rolls back, checkpoints, creates or deletes
// anything, takes no lock and does not look at a -wal, -shm or -journal file
// beside the database. A missing file fails with SQLITE_CANTOPEN. *handle
// receives the connection, or nullptr when the library could not give one; a
// handle is given on failure too and must then still be closed. Returns the
// library's result code.
int SQLiteOpen(const std::string& fileNameUtf8, sqlite3** handle);

// True when another connection, in this process or another, holds a write
// lock (reserved, pending or exclusive) on the main file of handle: a writer
// is changing the file right now. Asks the file's own VFS without taking any
// lock; false when it cannot be told.
bool SQLiteWriterHoldsFile(sqlite3* handle);

// Hands the key bytes to the connection where the linked library supports
// keyed databases; elsewhere does nothing and returns SQLITE_OK.
int SQLiteKey(sqlite3* handle, const void* key, int keyLength);

// True when the linked library supports keyed databases (SQLiteKey calls it).
bool SQLiteHasKey();

// Owner of a prepared statement: finalized when the holder goes.
struct SQLiteStatementFinalizer {
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using SQLiteStatement = std::unique_ptr<sqlite3_stmt, SQLiteStatementFinalizer>;

// Owner of a connection: closed when the holder goes.
struct SQLiteConnectionCloser {
  void operator()(sqlite3* handle) const noexcept { sqlite3_close(handle); }
};
using SQLiteConnection = std::unique_ptr<sqlite3, SQLiteConnectionCloser>;

}  // namespace velmora
