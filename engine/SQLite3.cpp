#include "engine/SQLite3.h"

namespace velmora {

std::string SQLiteErrorText(int code) {
  switch (code) {
    case 0: return "Successful result";
    case 1: return "SQL error or missing database";
    case 2: return "An internal logic error in SQLite";
    case 3: return "Access permission denied";
    case 4: return "Callback routine requested an abort";
    case 5: return "The database file is locked";
    case 6: return "A table in the database is locked";
    case 7: return "A malloc() failed";
    case 8: return "Attempt to write a readonly database";
    case 9: return "Operation terminated by sqlite3_interrupt()";
    case 10: return "Some kind of disk I/O error occurred";
    case 11: return "The database disk image is malformed";
    case 12: return "(Internal Only) Table or record not found";
    case 13: return "Insertion failed because database is full";
    case 14: return "Unable to open the database file";
    case 15: return "Database lock protocol error";
    case 16: return "Database is empty";
    case 17: return "The database schema changed";
    case 18: return "Too much data for one row of a table";
    case 19: return "Abort due to contraint violation";
    case 20: return "Data type mismatch";
    case 21: return "Library used incorrectly";
    case 22: return "Uses OS features not supported on host";
    case 23: return "Authorization denied";
    case 24: return "Auxiliary database format error";
    case 25: return "2nd parameter to sqlite3_bind out of range";
    case 26: return "File opened that is not a database file";
    case 100: return "sqlite3_step() has another row ready";
    case 101: return "sqlite3_step() has finished executing";
    default: return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
  }
}

std::string SQLiteReadOnlyUri(const std::string& fileNameUtf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = !fileNameUtf8.empty() && fileNameUtf8[0] == '/' ? "file://" : "file:";
  uri.reserve(uri.size() + 3 * fileNameUtf8.size() + 20);
  for (const char ch : fileNameUtf8) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  uri += "?mode=ro&immutable=1";
  return uri;
}

int SQLiteOpen(const std::string& fileNameUtf8, sqlite3** handle) {
  *handle = nullptr;
  // Read-only and immutable: the phone's file is evidence. No
  // SQLITE_OPEN_CREATE either, so a missing file fails rather than leaving a
  // new empty database behind.
  return sqlite3_open_v2(SQLiteReadOnlyUri(fileNameUtf8).c_str(), handle,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
}

bool SQLiteWriterHoldsFile(sqlite3* handle) {
  sqlite3_file* file = nullptr;
  if (handle == nullptr ||
      sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr || file->pMethods->xCheckReservedLock == nullptr)
    return false;
  int reserved = 0;
  if (file->pMethods->xCheckReservedLock(file, &reserved) != SQLITE_OK) return false;
  return reserved != 0;
}

int SQLiteKey(sqlite3* handle, const void* key, int keyLength) {
#ifdef VELMORA_HAVE_SQLITE3_KEY
  return sqlite3_key(handle, key, keyLength);
#else
  (void)handle;
  (void)key;
  (void)keyLength;
  return SQLITE_OK;
#endif
}

bool SQLiteHasKey() {
#ifdef VELMORA_HAVE_SQLITE3_KEY
  return true;
#else
  return false;
#endif
}

}  // namespace velmora
