#include "engine/SQLiteTable3.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <iterator>
#include <limits>
#include <type_traits>

#include "engine/SQLite3.h"

namespace velmora {

namespace {

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    AppendUtf8(out, unit);
  }
  return out;
}

// Wide text (UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere) to UTF-8.
std::string WideToUtf8(const wchar_t* text, std::size_t length) {
  if constexpr (sizeof(wchar_t) == 2) {
    std::u16string units(text, text + length);
    return Utf16ToUtf8(units.data(), units.size());
  } else {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) AppendUtf8(out, static_cast<char32_t>(text[i]));
    return out;
  }
}

// The general text of a double: at most 15 significant digits, no trailing
// zeros, '.' as decimal separator; fixed notation for values from 0.00001 up
// to 15 digits before the point, otherwise "1.5E20" / "1E-6".
std::string FloatText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);  // [-]d.dddddddddddddde[+-]x
  const char* p = buf;
  std::string out;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  std::string digits;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits += *p;
  }
  const int exponent = (*p == 'e') ? std::atoi(p + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exponent > 14 || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent >= 0) {
    const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits;
      out.append(intDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, intDigits);
      out += '.';
      out.append(digits, intDigits, std::string::npos);
    }
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  }
  return out;
}

// A double truncated toward zero; values beyond the 64-bit range saturate and
// NaN gives 0, so no stored value leads to an undefined conversion.
std::int64_t TruncateToInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  if (value < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// Prepares sql on db. A library failure raises "Error executing SQL"; a text
// with nothing to run raises "Could not prepare SQL statement".
SQLiteStatement PrepareStatement(TSQLiteDatabase& db, const std::string& sql) {
  db.LockCheckBeforePrepare("Error executing SQL");
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &raw, &tail);
  SQLiteStatement statement(raw);
  if (rc != SQLITE_OK) db.RaiseDbError("Error executing SQL", sql);
  if (!statement) db.RaiseDbError("Could not prepare SQL statement", sql);
  db.StatementPrepared();
  return statement;
}

// Never a null data pointer: SQLite binds NULL for one, and an empty text or
// blob must stay an empty value.
const char kEmptyBytes[1] = {0};

}  // namespace

void FreeBlobCopy(void* block) {
  if (block) std::free(block);
}

// ---------------------------------------------------------------- database

void TSQLiteDatabase::Closer::operator()(sqlite3* handle) const noexcept { sqlite3_close(handle); }

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileNameUtf8, const void* key) {
  sqlite3* raw = nullptr;
  const int rc = SQLiteOpen(fileNameUtf8, &raw);
  handle_.reset(raw);
  if (rc != SQLITE_OK) {
    std::string why = "unknown error";
    if (handle_) {
      const char* message = sqlite3_errmsg(handle_.get());
      why = message ? message : "";
    }
    throw ESQLiteException("Failed to open database \"" + fileNameUtf8 + "\" : " + why);
  }
  SQLiteKey(handle_.get(), key, 4);  // result deliberately not looked at
}

TSQLiteDatabase::~TSQLiteDatabase() {
  if (InTransaction) {
    try {
      RollBackWork();
    } catch (...) {
      // A destructor must not throw; the connection closes below in any case.
    }
  }
  ClearNamedParams();
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::QueryAllRows(const std::string& sql) {
  return std::make_unique<TSQLiteTable>(*this, sql);
}

bool TSQLiteDatabase::HasTable(const std::string& name) {
  const std::string sql =
      "select [sql] from sqlite_master where [type] = 'table' and lower(name) = '" +
      AsciiLower(name) + "' ";
  return QueryAllRows(sql)->RowCount > 0;
}

std::string TSQLiteDatabase::ReadCreateText(const std::string& name) {
  return QuerySqlText(
      "select [sql] from sqlite_master where [type] = 'table' and lower(name) = '" +
      AsciiLower(name) + "' ");
}

std::string TSQLiteDatabase::QuerySqlText(const std::string& sql) {
  const std::unique_ptr<TSQLiteTable> table = QueryAllRows(sql);
  if (table->RowCount == 0) return "";
  return table->CellString(table->ColumnIndexOf("sql"));
}

void TSQLiteDatabase::RunStatement(const std::string& sql) { RunStatementWithArgs(sql, {}); }

void TSQLiteDatabase::RunStatementWithArgs(const std::string& sql,
                                           const std::vector<BindValue>& values) {
  SQLiteStatement statement = PrepareStatement(*this, sql);
  NotifyQuery(sql);
  ApplyNamedParams(statement.get());
  BindData(statement.get(), values);
  if (WriterHoldsFile()) RaiseWithCode("Error executing SQL statement", SQLITE_BUSY);
  if (sqlite3_step(statement.get()) != SQLITE_DONE) {
    sqlite3_reset(statement.get());
    RaiseDbError("Error executing SQL statement", sql);
  }
}

void TSQLiteDatabase::RollBackWork() {
  RunStatement("ROLLBACK");
  InTransaction = false;
}

void TSQLiteDatabase::RaiseDbError(const std::string& msg, const std::string& /*sql*/) {
  const int code = handle_ ? sqlite3_errcode(handle_.get()) : 0;
  const char* libraryText = handle_ ? sqlite3_errmsg(handle_.get()) : nullptr;
  if (code != 0 && libraryText) RaiseWithCode(msg, code);
  throw ESQLiteException(msg);
}

void TSQLiteDatabase::RaiseWithCode(const std::string& msg, int code) {
  throw ESQLiteException(msg + ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorText(code) +
                         ".\r ");
}

void TSQLiteDatabase::LockCheckBeforePrepare(const std::string& msg) {
  // Once the schema is read, a prepare needs the file no more; before, the
  // library would have to read page 1 under a shared lock.
  if (!schemaRead_ && WriterHoldsFile()) RaiseWithCode(msg, SQLITE_BUSY);
}

bool TSQLiteDatabase::WriterHoldsFile() const { return SQLiteWriterHoldsFile(handle_.get()); }

void TSQLiteDatabase::NotifyQuery(const std::string& sql) {
  if (OnQuery) OnQuery(*this, sql);
}

void TSQLiteDatabase::ClearNamedParams() { NamedParams.clear(); }

void TSQLiteDatabase::ApplyNamedParams(sqlite3_stmt* statement) {
  struct ClearAfter {
    TSQLiteDatabase& db;
    ~ClearAfter() { db.ClearNamedParams(); }
  } clearAfter{*this};
  for (const NamedParam& param : NamedParams) {
    const int index = sqlite3_bind_parameter_index(statement, param.Name.c_str());
    if (index <= 0) continue;
    switch (param.Kind) {
      case 1: sqlite3_bind_int64(statement, index, param.IntValue); break;
      case 2: sqlite3_bind_double(statement, index, param.FloatValue); break;
      case 3:
        sqlite3_bind_text64(statement, index, param.TextValue.data(), param.TextValue.size(),
                            SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
      case 5: sqlite3_bind_null(statement, index); break;
      default: break;
    }
  }
}

void TSQLiteDatabase::BindData(sqlite3_stmt* statement, const std::vector<BindValue>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int index = static_cast<int>(i + 1);
    // Binds text of the given bytes (NULL for a null pointer), copied.
    auto bindText = [&](const char* bytes, std::size_t length) {
      if (!bytes) return sqlite3_bind_text64(statement, index, nullptr, 0, SQLITE_TRANSIENT,
                                             SQLITE_UTF8);
      return sqlite3_bind_text64(statement, index, length ? bytes : kEmptyBytes, length,
                                 SQLITE_TRANSIENT, SQLITE_UTF8);
    };
    // Binds a block already copied with malloc; SQLite releases it through
    // FreeBlobCopy, on failure too.
    auto bindBlobCopy = [&](const std::uint8_t* bytes, std::size_t length) {
      void* block = std::malloc(length ? length : 1);
      if (!block) throw ESQLiteException("Error getting memory to save blob");
      if (length) std::memcpy(block, bytes, length);
      return sqlite3_bind_blob64(statement, index, block, length, FreeBlobCopy);
    };
    const char* failure = nullptr;
    int rc = SQLITE_OK;
    std::visit(
        [&](const auto& value) {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::monostate>) {
            throw ESQLiteException("Unhandled binding");
          } else if constexpr (std::is_same_v<T, std::int32_t>) {
            failure = "Could not bind integer";
            rc = sqlite3_bind_int(statement, index, value);
          } else if constexpr (std::is_same_v<T, bool>) {
            failure = "Could not bind boolean";
            rc = sqlite3_bind_int(statement, index, value ? 1 : 0);
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            failure = "Could not bind int64";
            rc = sqlite3_bind_int64(statement, index, value);
          } else if constexpr (std::is_same_v<T, double>) {
            failure = "Could not bind extended";
            rc = sqlite3_bind_double(statement, index, value);
          } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
            failure = "Could not bind null";
            rc = sqlite3_bind_null(statement, index);
          } else if constexpr (std::is_same_v<T, const void*>) {
            if (value) throw ESQLiteException("Unhandled pointer (<> nil)");
            failure = "Could not bind null";
            rc = sqlite3_bind_null(statement, index);
          } else if constexpr (std::is_same_v<T, char>) {
            failure = "Could not bind text";
            rc = bindText(&value, 1);
          } else if constexpr (std::is_same_v<T, const char*>) {
            failure = "Could not bind text";
            rc = bindText(value, value ? std::strlen(value) : 0);
          } else if constexpr (std::is_same_v<T, std::string>) {
            failure = "Could not bind text";
            rc = bindText(value.data(), value.size());
          } else if constexpr (std::is_same_v<T, wchar_t>) {
            failure = "Could not bind text";
            const std::string utf8 = WideToUtf8(&value, 1);
            rc = bindText(utf8.data(), utf8.size());
          } else if constexpr (std::is_same_v<T, const wchar_t*>) {
            failure = "Could not bind text";
            if (!value) {
              rc = bindText(nullptr, 0);
            } else {
              const std::string utf8 = WideToUtf8(value, std::wcslen(value));
              rc = bindText(utf8.data(), utf8.size());
            }
          } else if constexpr (std::is_same_v<T, std::wstring>) {
            failure = "Could not bind text";
            const std::string utf8 = WideToUtf8(value.data(), value.size());
            rc = bindText(utf8.data(), utf8.size());
          } else if constexpr (std::is_same_v<T, char16_t>) {
            failure = "Could not bind text";
            const std::string utf8 = Utf16ToUtf8(&value, 1);
            rc = bindText(utf8.data(), utf8.size());
          } else if constexpr (std::is_same_v<T, const char16_t*>) {
            failure = "Could not bind text";
            if (!value) {
              rc = bindText(nullptr, 0);
            } else {
              const std::string utf8 =
                  Utf16ToUtf8(value, std::char_traits<char16_t>::length(value));
              rc = bindText(utf8.data(), utf8.size());
            }
          } else if constexpr (std::is_same_v<T, std::u16string>) {
            failure = "Could not bind text";
            const std::string utf8 = Utf16ToUtf8(value.data(), value.size());
            rc = bindText(utf8.data(), utf8.size());
          } else if constexpr (std::is_same_v<T, MemoryStreamView>) {
            failure = "Could not bind BLOB";
            const std::size_t size = value.Bytes.size();
            const std::size_t from = value.Position < size ? value.Position : size;
            const std::size_t length = size - from;
            const void* bytes = length ? static_cast<const void*>(value.Bytes.data() + from)
                                       : static_cast<const void*>(kEmptyBytes);
            rc = sqlite3_bind_blob64(statement, index, bytes, length, SQLITE_STATIC);
          } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
            failure = "Could not bind BLOB";
            rc = bindBlobCopy(value.data(), value.size());
          } else if constexpr (std::is_same_v<T, std::istream*>) {
            if (!value) throw ESQLiteException("Unhandled object-type in binding");
            failure = "Could not bind BLOB";
            value->clear();
            value->seekg(0);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(*value),
                                                  std::istreambuf_iterator<char>()};
            rc = bindBlobCopy(bytes.data(), bytes.size());
          } else {
            static_assert(!sizeof(T), "every kind of BindValue is bound");
          }
        },
        values[i]);
    if (rc != SQLITE_OK) RaiseDbError(failure, "BindData");
  }
}

// ---------------------------------------------------------------- table

TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, const std::string& sql)
    : TSQLiteTable(db, sql, {}) {}

TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, const std::string& sql,
                           const std::vector<BindValue>& values) {
  SQLiteStatement statement = PrepareStatement(db, sql);
  db.NotifyQuery(sql);
  db.ApplyNamedParams(statement.get());
  db.BindData(statement.get(), values);
  FetchAll(db, statement.get(), sql);
}

void TSQLiteTable::FetchAll(TSQLiteDatabase& db, sqlite3_stmt* statement,
                            const std::string& sql, bool lookAtLock) {
  RowCount = 0;
  ColumnCount = 0;
  if (lookAtLock && db.WriterHoldsFile()) throw ESQLiteException("Could not prepare SQL statement");
  for (;;) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) break;
    if (rc == SQLITE_BUSY) throw ESQLiteException("Could not prepare SQL statement");
    if (rc != SQLITE_ROW) {
      sqlite3_reset(statement);
      db.RaiseDbError("Could not retrieve data", sql);
    }
    ++RowCount;
    if (RowCount == 1) AppendFirstRowColumns(statement);
    AppendRowCells(statement);
  }
  currentRow_ = 0;
}

int TSQLiteTable::KindOfColumn(sqlite3_stmt* statement, int c) {
  const char* declared = sqlite3_column_decltype(statement, c);
  if (!declared) return sqlite3_column_type(statement, c);
  if (std::strcmp(declared, "INTEGER") == 0 || std::strcmp(declared, "BOOLEAN") == 0) {
    return kColumnInteger;
  }
  if (std::strcmp(declared, "NUMERIC") == 0 || std::strcmp(declared, "FLOAT") == 0 ||
      std::strcmp(declared, "DOUBLE") == 0 || std::strcmp(declared, "REAL") == 0) {
    return kColumnFloat;
  }
  if (std::strcmp(declared, "BLOB") == 0) return kColumnBlob;
  return kColumnText;
}

TSQLiteTable::Cell TSQLiteTable::ReadCell(sqlite3_stmt* statement, int col, int kind) {
  // The storage class is read before any conversion below changes it.
  if (sqlite3_column_type(statement, col) == SQLITE_NULL) return Cell();
  switch (kind) {
    case kColumnInteger:
      return Cell(static_cast<std::int64_t>(sqlite3_column_int64(statement, col)));
    case kColumnFloat:
      return Cell(sqlite3_column_double(statement, col));
    case kColumnBlob: {
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, col));
      const int length = sqlite3_column_bytes(statement, col);
      if (!bytes || length <= 0) return Cell();
      return Cell(std::vector<std::uint8_t>(bytes, bytes + length));
    }
    default: {  // text and null kinds: the text up to its first zero byte
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, col));
      return Cell(std::string(text ? text : ""));
    }
  }
}

void TSQLiteTable::AppendFirstRowColumns(sqlite3_stmt* statement) {
  const int count = sqlite3_column_count(statement);
  ColumnCount = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  hasColumns_ = true;
  columnNames_.reserve(ColumnCount);
  columnKinds_.reserve(ColumnCount);
  for (int c = 0; c < count; ++c) {
    const char* name = sqlite3_column_name(statement, c);
    columnNames_.push_back(AsciiUpper(name ? name : ""));
  }
  for (int c = 0; c < count; ++c) columnKinds_.push_back(KindOfColumn(statement, c));
}

void TSQLiteTable::AppendRowCells(sqlite3_stmt* statement) {
  for (std::uint32_t c = 0; c < ColumnCount; ++c) {
    cells_.push_back(ReadCell(statement, static_cast<int>(c), columnKinds_[c]));
  }
}

bool TSQLiteTable::MoveNext() {
  if (AtEnd()) return false;
  ++currentRow_;
  return true;
}

int TSQLiteTable::ColumnIndexOf(const std::string& name) const {
  if (!hasColumns_) throw ESQLiteException("Field " + name + " Not found. Empty dataset");
  const std::string wanted = AsciiUpper(name);
  for (std::size_t i = 0; i < columnNames_.size(); ++i) {
    if (columnNames_[i] == wanted) return static_cast<int>(i);
  }
  throw ESQLiteException("Field not found in dataset: " + name);
}

const TSQLiteTable::Cell& TSQLiteTable::CellAt(int col) const {
  if (AtEnd()) throw ESQLiteException("Table is at End of File");
  // A column outside the result would read another row's cell or past the
  // end of the cells.
  const std::size_t index =
      static_cast<std::size_t>(currentRow_) * ColumnCount + static_cast<std::size_t>(col);
  if (col < 0 || static_cast<std::uint32_t>(col) >= ColumnCount || index >= cells_.size() ||
      static_cast<std::size_t>(col) >= columnKinds_.size()) {
    throw ESQLiteException("Column index out of range: " + std::to_string(col));
  }
  return cells_[index];
}

int TSQLiteTable::KindOf(int col) const { return columnKinds_[static_cast<std::size_t>(col)]; }

std::string TSQLiteTable::CellText(int col) const {
  const Cell& cell = CellAt(col);
  switch (KindOf(col)) {
    case kColumnInteger: return std::to_string(CellInt64(col));
    case kColumnFloat: return FloatText(CellDouble(col));
    case kColumnText: {
      const auto* text = std::get_if<std::string>(&cell);
      return text ? *text : std::string();
    }
    case kColumnBlob: return CellBlobText(col);
    default: return "";
  }
}

std::string TSQLiteTable::CellString(int col) const {
  if (std::holds_alternative<std::monostate>(CellAt(col))) return "";
  return CellText(col);
}

std::int64_t TSQLiteTable::CellInt64(int col) const {
  const Cell& cell = CellAt(col);
  if (std::holds_alternative<std::monostate>(cell)) return 0;
  switch (KindOf(col)) {
    case kColumnInteger:
      if (const auto* v = std::get_if<std::int64_t>(&cell)) return *v;
      break;
    case kColumnFloat:
      if (const auto* v = std::get_if<double>(&cell)) return TruncateToInt64(*v);
      break;
    default: break;
  }
  throw ESQLiteException("Not an integer or numeric field");
}

double TSQLiteTable::CellDouble(int col) const {
  const Cell& cell = CellAt(col);
  if (std::holds_alternative<std::monostate>(cell)) return 0;
  switch (KindOf(col)) {
    case kColumnInteger:
      if (const auto* v = std::get_if<std::int64_t>(&cell)) return static_cast<double>(*v);
      break;
    case kColumnFloat:
      if (const auto* v = std::get_if<double>(&cell)) return *v;
      break;
    default: break;
  }
  throw ESQLiteException("Not an integer or numeric field");
}

const std::vector<std::uint8_t>* TSQLiteTable::CellBlob(int col) const {
  const Cell& cell = CellAt(col);
  if (std::holds_alternative<std::monostate>(cell)) return nullptr;
  if (KindOf(col) == kColumnBlob) {
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&cell)) return bytes;
  }
  throw ESQLiteException("Not a Blob field");
}

std::string TSQLiteTable::CellBlobText(int col) const {
  const std::vector<std::uint8_t>* bytes = CellBlob(col);
  if (!bytes || bytes->empty()) return "";
  return std::string(bytes->begin(), bytes->end());
}

// ---------------------------------------------------------------- row by row

void TSQLiteDatabase::ForEachRow(const std::string& sql,
                                 const std::function<void(const TSQLiteRow&)>& onRow) {
  SQLiteStatement statement = PrepareStatement(*this, sql);
  NotifyQuery(sql);
  ApplyNamedParams(statement.get());
  const TSQLiteRow row(statement.get());
  for (;;) {
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) break;
    if (rc == SQLITE_BUSY) throw ESQLiteException("Could not prepare SQL statement");
    if (rc != SQLITE_ROW) {
      sqlite3_reset(statement.get());
      RaiseDbError("Could not retrieve data", sql);
    }
    onRow(row);
  }
}

std::optional<TSQLiteColumnInfo> TSQLiteDatabase::ColumnInfo(const std::string& table,
                                                             const std::string& column) {
  const char* declared = nullptr;
  const char* collation = nullptr;
  if (sqlite3_table_column_metadata(Handle(), nullptr, table.c_str(), column.c_str(), &declared,
                                    &collation, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return std::nullopt;
  }
  return TSQLiteColumnInfo{declared ? declared : "", collation ? collation : ""};
}

int TSQLiteRow::ColumnCount() const { return sqlite3_column_count(statement_); }

int TSQLiteRow::StorageClass(int col) const { return sqlite3_column_type(statement_, col); }

std::int64_t TSQLiteRow::Int64(int col) const { return sqlite3_column_int64(statement_, col); }

double TSQLiteRow::Double(int col) const { return sqlite3_column_double(statement_, col); }

std::string_view TSQLiteRow::Bytes(int col) const {
  const void* bytes = sqlite3_column_type(statement_, col) == SQLITE_BLOB
                          ? sqlite3_column_blob(statement_, col)
                          : static_cast<const void*>(sqlite3_column_text(statement_, col));
  const int length = sqlite3_column_bytes(statement_, col);
  if (!bytes || length <= 0) return {};
  return {static_cast<const char*>(bytes), static_cast<std::size_t>(length)};
}

std::string TSQLiteRow::CellString(int col) const {
  if (col < 0 || col >= ColumnCount()) {
    throw ESQLiteException("Column index out of range: " + std::to_string(col));
  }
  TSQLiteTable one;
  one.RowCount = 1;
  one.ColumnCount = 1;
  one.hasColumns_ = true;
  const int kind = TSQLiteTable::KindOfColumn(statement_, col);
  one.columnKinds_.push_back(kind);
  one.cells_.push_back(TSQLiteTable::ReadCell(statement_, col, kind));
  return one.CellString(0);
}

TSQLiteNumericAffinity::TSQLiteNumericAffinity(TSQLiteDatabase& db)
    : db_(db), statement_(PrepareStatement(db, "SELECT ?1").release()) {}

TSQLiteNumericAffinity::~TSQLiteNumericAffinity() { sqlite3_finalize(statement_); }

TSQLiteNumericText TSQLiteNumericAffinity::Apply(std::string_view text) {
  struct ResetAfter {
    sqlite3_stmt* statement;
    ~ResetAfter() {
      sqlite3_reset(statement);
      sqlite3_clear_bindings(statement);
    }
  } resetAfter{statement_};
  if (sqlite3_bind_text64(statement_, 1, text.empty() ? kEmptyBytes : text.data(), text.size(),
                          SQLITE_STATIC, SQLITE_UTF8) != SQLITE_OK) {
    db_.RaiseDbError("Could not bind text", "SELECT ?1");
  }
  if (sqlite3_step(statement_) != SQLITE_ROW) db_.RaiseDbError("Could not retrieve data", "SELECT ?1");
  // A protected copy of the value, which the library may convert in place.
  sqlite3_value* value = sqlite3_value_dup(sqlite3_column_value(statement_, 0));
  if (!value) throw ESQLiteException("Error getting memory");
  TSQLiteNumericText result;
  switch (sqlite3_value_numeric_type(value)) {
    case SQLITE_INTEGER:
      result.StorageClass = kColumnInteger;
      result.Int = sqlite3_value_int64(value);
      break;
    case SQLITE_FLOAT:
      result.StorageClass = kColumnFloat;
      result.Real = sqlite3_value_double(value);
      break;
    default: break;
  }
  sqlite3_value_free(value);
  return result;
}

// ---------------------------------------------------------------- prepared query

TSQLitePreparedQuery::TSQLitePreparedQuery(TSQLiteDatabase& db, const std::string& sql)
    : db_(db), sql_(sql), statement_(PrepareStatement(db, sql).release()) {}

TSQLitePreparedQuery::~TSQLitePreparedQuery() { sqlite3_finalize(statement_); }

std::unique_ptr<TSQLiteTable> TSQLitePreparedQuery::Run(const std::vector<std::string>& textValues) {
  return RunWithArgs(std::vector<BindValue>(textValues.begin(), textValues.end()));
}

std::unique_ptr<TSQLiteTable> TSQLitePreparedQuery::Run(const std::vector<std::int64_t>& intValues) {
  return RunWithArgs(std::vector<BindValue>(intValues.begin(), intValues.end()));
}

std::unique_ptr<TSQLiteTable> TSQLitePreparedQuery::RunWithArgs(
    const std::vector<BindValue>& values) {
  // The statement is reset before and after every run, so no run sees the
  // values of the one before and none leaves a read open on the file.
  struct ResetAfter {
    sqlite3_stmt* statement;
    ~ResetAfter() { sqlite3_reset(statement); }
  } resetAfter{statement_};
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
  db_.NotifyQuery(sql_);
  db_.ApplyNamedParams(statement_);
  db_.BindData(statement_, values);
  const auto now = std::chrono::steady_clock::now();
  const bool lookAtLock = !lockLookedAt_ || now - *lockLookedAt_ >= kLockLookInterval;
  if (lookAtLock) lockLookedAt_ = now;
  std::unique_ptr<TSQLiteTable> table(new TSQLiteTable());
  table->FetchAll(db_, statement_, sql_, lookAtLock);
  return table;
}

}  // namespace velmora
