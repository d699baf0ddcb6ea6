// The engine's access layer over SQLite: open a database file, run a query and
// hold its whole result in memory, tell whether a table exists, fetch a
// table's CREATE text. The carving never goes through here; it reads the file
// raw. Every failure leaves as an ESQLiteException carrying one of the fixed
// English texts of this layer. Texts are UTF-8 in and out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {

// The one exception class of the layer; it carries only its message text.
class ESQLiteException : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

// Kind codes of a result column (SQLite's fundamental datatype codes).
enum : int {
  kColumnInteger = 1,
  kColumnFloat = 2,
  kColumnText = 3,
  kColumnBlob = 4,
  kColumnNull = 5,
};

// A parameter bound by name to the next statement. Kind: 1 64-bit integer,
// 2 double, 3 text, 5 null (any other kind binds nothing).
struct NamedParam {
  std::string Name;  // as written in the SQL, ":name" / "@name" / "$name"
  int Kind = 5;
  std::int64_t IntValue = 0;
  double FloatValue = 0;
  std::string TextValue;
};

// Bytes bound as a blob straight from the caller's memory, from Position to
// the end (none when Position lies past the end). The bytes must stay alive
// until the statement has run.
struct MemoryStreamView {
  std::span<const std::uint8_t> Bytes;
  std::size_t Position = 0;
};

// One positional value of BindData; value i goes to parameter i + 1.
//  int32_t                    sqlite3_bind_int          "Could not bind integer"
//  bool                       sqlite3_bind_int (0 / 1)  "Could not bind boolean"
//  int64_t                    sqlite3_bind_int64        "Could not bind int64"
//  double                     sqlite3_bind_double       "Could not bind extended"
//  nullptr / null pointer     sqlite3_bind_null         "Could not bind null"
//  non-null const void*       raises "Unhandled pointer (<> nil)"
//  char, const char*, string  text, bytes unchanged     "Could not bind text"
//  wide characters and texts  converted to UTF-8        "Could not bind text"
//  MemoryStreamView           blob, not copied          "Could not bind BLOB"
//  vector of bytes            blob, copied              "Could not bind BLOB"
//  std::istream*              whole stream from 0, copied; a null stream
//                             raises "Unhandled object-type in binding"
//  monostate (no value)       raises "Unhandled binding"
using BindValue =
    std::variant<std::monostate, std::int32_t, bool, std::int64_t, double, std::nullptr_t,
                 const void*, char, const char*, std::string, wchar_t, const wchar_t*,
                 std::wstring, char16_t, const char16_t*, std::u16string, MemoryStreamView,
                 std::vector<std::uint8_t>, std::istream*>;

// Release callback handed to sqlite3_bind_blob with a block that BindData
// copied: frees the block when there is one.
void FreeBlobCopy(void* block);

class TSQLiteTable;
class TSQLiteRow;

// A column's declared type and collating sequence, as the schema gives them
// (an empty type when none is declared).
struct TSQLiteColumnInfo {
  std::string DeclaredType;
  std::string Collation;
};

// One open SQLite database. It exists only open: the constructor either opens
// or raises; the destructor closes the connection.
//
// The file is opened read-only and immutable (SQLiteOpen): nothing that runs
// here can change it or the files beside it, and a -wal, -shm or -journal
// file is not read. Immutable also means that the library no longer looks at
// the locks of other connections, so the layer looks itself, without taking
// a lock: while another connection holds a write lock on the file, a prepare
// that must first read the schema raises "Error executing SQL" with code 5
// ("The database file is locked") and a step raises "Could not prepare SQL
// statement" (a query) or "Error executing SQL statement" with code 5 (a
// statement), the outcomes the library gives for a locked file. A file that
// another program is writing is thus never read half-written.
class TSQLiteDatabase {
 public:
  // Opens fileNameUtf8 (UTF-8) read-only. key: key bytes for a keyed database
  // (every caller passes none). Raises
  // "Failed to open database \"<file>\" : <why>".
  explicit TSQLiteDatabase(const std::string& fileNameUtf8, const void* key = nullptr);
  virtual ~TSQLiteDatabase();
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

  sqlite3* Handle() const { return handle_.get(); }

  // Every row of sql; the caller owns the table.
  std::unique_ptr<TSQLiteTable> QueryAllRows(const std::string& sql);
  // A table named name exists (names compared case-insensitively).
  bool HasTable(const std::string& name);
  // The CREATE text of table name, or an empty text.
  std::string ReadCreateText(const std::string& name);
  // Column "sql" of the first row of the caller's query, or an empty text.
  std::string QuerySqlText(const std::string& sql);
  // Runs sql and hands each row to onRow as it is stepped, keeping none (for
  // one pass over a large table). Raises as a query does.
  void ForEachRow(const std::string& sql, const std::function<void(const TSQLiteRow&)>& onRow);
  // The declared type and collation of table.column, or none when the
  // library cannot tell (no such table or column, a view).
  std::optional<TSQLiteColumnInfo> ColumnInfo(const std::string& table, const std::string& column);

  // Statements without result; they raise "Error executing SQL statement"
  // unless the statement runs to its end.
  void RunStatement(const std::string& sql);
  void RunStatementWithArgs(const std::string& sql, const std::vector<BindValue>& values);
  void RollBackWork();

  // Raises msg, with the connection's result code and its text appended when
  // the connection reports one. Never returns.
  [[noreturn]] void RaiseDbError(const std::string& msg, const std::string& sql);

  // Steps shared by queries and statements.
  void BindData(sqlite3_stmt* statement, const std::vector<BindValue>& values);
  void ApplyNamedParams(sqlite3_stmt* statement);
  void ClearNamedParams();
  void NotifyQuery(const std::string& sql);
  // The lock look of the class note: LockCheckBeforePrepare raises msg with
  // code 5 while the schema is unread and a writer holds the file;
  // StatementPrepared records that a prepare went through (the schema is
  // read); WriterHoldsFile tells whether a step would find the file locked.
  void LockCheckBeforePrepare(const std::string& msg);
  void StatementPrepared() { schemaRead_ = true; }
  bool WriterHoldsFile() const;

  // A transaction is open. Nothing in the system opens one.
  bool InTransaction = false;
  // Bound by name to the next statement, emptied after it.
  std::vector<NamedParam> NamedParams;
  // Told of every statement before it runs.
  std::function<void(TSQLiteDatabase& sender, const std::string& sql)> OnQuery;

 private:
  struct Closer {
    void operator()(sqlite3* handle) const noexcept;
  };
  [[noreturn]] void RaiseWithCode(const std::string& msg, int code);
  std::unique_ptr<sqlite3, Closer> handle_;
  bool schemaRead_ = false;
};

// The complete result of one query: every row is fetched and the statement
// finalized when the constructor returns. Read-only; the cursor moves forward
// only. A column's kind is fixed on the first row: the declared type INTEGER
// or BOOLEAN gives 1, NUMERIC, FLOAT, DOUBLE or REAL 2, BLOB 4, any other
// declared type 3 (matched whole and case-sensitively); a column without a
// declared type takes the storage class of its first value (5 for NULL).
class TSQLiteTable {
 public:
  TSQLiteTable(TSQLiteDatabase& db, const std::string& sql);
  TSQLiteTable(TSQLiteDatabase& db, const std::string& sql, const std::vector<BindValue>& values);
  virtual ~TSQLiteTable() = default;
  TSQLiteTable(const TSQLiteTable&) = delete;
  TSQLiteTable& operator=(const TSQLiteTable&) = delete;

  std::uint32_t RowCount = 0;     // rows fetched
  std::uint32_t ColumnCount = 0;  // 0 when there was no row

  std::uint32_t RowTotal() const { return RowCount; }
  std::uint32_t CurrentRow() const { return currentRow_; }
  bool AtEnd() const { return currentRow_ >= RowCount; }
  bool AtStart() const { return currentRow_ == 0; }
  bool MoveNext();

  // Upper-cased column names and kind codes in column order; empty when there
  // was no row.
  const std::vector<std::string>& ColumnNames() const { return columnNames_; }
  const std::vector<int>& ColumnKinds() const { return columnKinds_; }

  // 0-based position of the column named name (case-insensitive). Raises
  // "Field <name> Not found. Empty dataset" on an empty result and
  // "Field not found in dataset: <name>" for an unknown name.
  int ColumnIndexOf(const std::string& name) const;

  // Cell accessors of the current row; each raises "Table is at End of File"
  // past the last row.
  std::string CellText(int col) const;    // by kind; NULL integer / float gives "0"
  std::string CellString(int col) const;  // empty for NULL, else CellText
  std::int64_t CellInt64(int col) const;  // kinds 1 and 2; 0 for NULL
  double CellDouble(int col) const;       // kinds 1 and 2; 0 for NULL
  // Kind 4: the table's own bytes (nullptr for NULL or zero bytes).
  const std::vector<std::uint8_t>* CellBlob(int col) const;
  std::string CellBlobText(int col) const;  // the blob's bytes as a byte text

 private:
  friend class TSQLitePreparedQuery;
  friend class TSQLiteRow;
  using Cell = std::variant<std::monostate, std::int64_t, double, std::string,
                            std::vector<std::uint8_t>>;
  // The kind of column c as a result whose first row is the statement's
  // current row fixes it, and the cell of that kind the current row holds.
  static int KindOfColumn(sqlite3_stmt* statement, int c);
  static Cell ReadCell(sqlite3_stmt* statement, int c, int kind);

  TSQLiteTable() = default;
  // Steps statement (already prepared and bound) to its end, keeping every
  // row; first, with lookAtLock, raises the busy text when a writer holds
  // the file.
  void FetchAll(TSQLiteDatabase& db, sqlite3_stmt* statement, const std::string& sql,
                bool lookAtLock = true);
  void AppendFirstRowColumns(sqlite3_stmt* statement);
  void AppendRowCells(sqlite3_stmt* statement);
  const Cell& CellAt(int col) const;
  int KindOf(int col) const;

  std::vector<Cell> cells_;  // row-major, RowCount x ColumnCount
  std::vector<std::string> columnNames_;
  std::vector<int> columnKinds_;
  bool hasColumns_ = false;
  std::uint32_t currentRow_ = 0;
};

// The current row of a query run by TSQLiteDatabase::ForEachRow; valid only
// inside the call that receives it. Read a column's storage class before its
// value: reading a value may convert it.
class TSQLiteRow {
 public:
  explicit TSQLiteRow(sqlite3_stmt* statement) : statement_(statement) {}
  int ColumnCount() const;
  // The storage class of the value: kColumnInteger, kColumnFloat,
  // kColumnText, kColumnBlob or kColumnNull.
  int StorageClass(int col) const;
  std::int64_t Int64(int col) const;
  double Double(int col) const;
  // The bytes of a text or blob value, whole (NUL bytes included).
  std::string_view Bytes(int col) const;
  // What CellString(col) gives for a result that holds only this row: the
  // column's kind from its declared type or, without one, from this value.
  std::string CellString(int col) const;

 private:
  sqlite3_stmt* statement_;
};

// A text as a comparison with a column of INTEGER, REAL or NUMERIC affinity
// sees it: SQLite's numeric affinity applied, so that a text that reads
// wholly as a number becomes that integer or real and any other text stays
// as it is.
struct TSQLiteNumericText {
  int StorageClass = kColumnText;  // kColumnInteger, kColumnFloat or kColumnText
  std::int64_t Int = 0;
  double Real = 0;
};

// Applies numeric affinity through the library itself (one small statement
// prepared once), for texts of any bytes. It must not outlive its database.
class TSQLiteNumericAffinity {
 public:
  explicit TSQLiteNumericAffinity(TSQLiteDatabase& db);
  ~TSQLiteNumericAffinity();
  TSQLiteNumericAffinity(const TSQLiteNumericAffinity&) = delete;
  TSQLiteNumericAffinity& operator=(const TSQLiteNumericAffinity&) = delete;

  TSQLiteNumericText Apply(std::string_view text);

 private:
  TSQLiteDatabase& db_;
  sqlite3_stmt* statement_ = nullptr;
};

// A query prepared once and run many times with values bound as parameters
// 1..n (text bound with its full length, so a NUL byte inside a value
// compares whole). Run gives a table with the same rules as an ordinary
// query, except that the lock of the file (see TSQLiteDatabase) is looked
// at on the first run and then at most once every kLockLookInterval: a scan
// runs such a look-up for every candidate, and a look at the lock each time
// would cost a system call each. It must not outlive its database.
class TSQLitePreparedQuery {
 public:
  // Raises "Error executing SQL" / "Could not prepare SQL statement" as a
  // query does.
  TSQLitePreparedQuery(TSQLiteDatabase& db, const std::string& sql);
  ~TSQLitePreparedQuery();
  TSQLitePreparedQuery(const TSQLitePreparedQuery&) = delete;
  TSQLitePreparedQuery& operator=(const TSQLitePreparedQuery&) = delete;

  std::unique_ptr<TSQLiteTable> Run(const std::vector<std::string>& textValues);
  std::unique_ptr<TSQLiteTable> Run(const std::vector<std::int64_t>& intValues);
  std::unique_ptr<TSQLiteTable> RunWithArgs(const std::vector<BindValue>& values);

 private:
  static constexpr std::chrono::milliseconds kLockLookInterval{50};
  TSQLiteDatabase& db_;
  std::string sql_;
  sqlite3_stmt* statement_ = nullptr;
  std::optional<std::chrono::steady_clock::time_point> lockLookedAt_;
};

}  // namespace velmora
