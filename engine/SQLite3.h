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

// Opens the existing database file fileNameUtf8 (UTF-8) for reading and
// writing, or for reading only when the file is write-protected. A missing
// file is not created: the open fails with SQLITE_CANTOPEN. *handle receives
// the connection, or nullptr when the library could not give one; a handle is
// given on failure too and must then still be closed. Returns the library's
// result code.
int SQLiteOpen(const std::string& fileNameUtf8, sqlite3** handle);

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
