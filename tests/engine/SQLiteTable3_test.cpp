// The SQLite access layer against small databases built here with SQLite
// itself, in a private temporary folder that each test removes.
#include "engine/SQLiteTable3.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "engine/SQLite3.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Runs sql on the file with the library directly (fixture building only).
void Exec(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

// The message of the ESQLiteException that body raises ("" when none).
template <typename Body>
std::string RaisedText(Body&& body) {
  try {
    body();
  } catch (const ESQLiteException& e) {
    return e.what();
  }
  return "";
}

class SQLiteLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    folder_ = fs::temp_directory_path() /
              ("velmora-sqlite-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(folder_);
    db_ = folder_ / "fixture.db";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path folder_;
  fs::path db_;
};

// ---------------------------------------------------------------- result code texts

struct ErrorTextCase {
  int code;
  const char* text;
};

class SQLiteErrorTextTest : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(SQLiteErrorTextTest, GivesTheFixedText) {
  EXPECT_EQ(SQLiteErrorText(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SQLiteErrorTextTest,
    ::testing::Values(ErrorTextCase{0, "Successful result"},
                      ErrorTextCase{1, "SQL error or missing database"},
                      ErrorTextCase{5, "The database file is locked"},
                      ErrorTextCase{12, "(Internal Only) Table or record not found"},
                      ErrorTextCase{19, "Abort due to contraint violation"},
                      ErrorTextCase{25, "2nd parameter to sqlite3_bind out of range"},
                      ErrorTextCase{26, "File opened that is not a database file"},
                      ErrorTextCase{100, "sqlite3_step() has another row ready"},
                      ErrorTextCase{101, "sqlite3_step() has finished executing"},
                      ErrorTextCase{27, "Unknown SQLite Error Code \"27\""},
                      ErrorTextCase{-1, "Unknown SQLite Error Code \"-1\""},
                      ErrorTextCase{266, "Unknown SQLite Error Code \"266\""}));

// ---------------------------------------------------------------- declared type to kind

struct KindCase {
  const char* declared;  // column declaration after the name
  const char* value;     // SQL literal stored in the column
  int kind;
  const char* text;      // CellText of the value
};

int LowerCaseIntegerKind() { return sqlite3_libversion_number() >= 3037000 ? 1 : 3; }

class ColumnKindTest : public SQLiteLayerTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ColumnKindTest, FollowsTheWholeCaseSensitiveDeclaredType) {
  const KindCase& c = GetParam();
  Exec(db_, std::string("create table t(c ") + c.declared + "); insert into t(c) values (" +
                c.value + ");");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select c from t");
  ASSERT_EQ(table->RowCount, 1u);
  ASSERT_EQ(table->ColumnCount, 1u);
  EXPECT_EQ(table->ColumnKinds().at(0), c.kind);
  EXPECT_EQ(table->CellText(0), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Declared, ColumnKindTest,
    ::testing::Values(KindCase{"INTEGER", "42", 1, "42"},
                      KindCase{"BOOLEAN", "1", 1, "1"},
                      KindCase{"NUMERIC", "2.5", 2, "2.5"},
                      KindCase{"FLOAT", "2.5", 2, "2.5"},
                      KindCase{"DOUBLE", "-0.125", 2, "-0.125"},
                      KindCase{"REAL", "7", 2, "7"},
                      KindCase{"BLOB", "x'414243'", 4, "ABC"},
                      // From 3.37 the library reports the six standard type
                      // names (INT, INTEGER, REAL, TEXT, BLOB, ANY) upper-cased
                      // whatever their spelling, so "integer" arrives as
                      // "INTEGER" there.
                      KindCase{"integer", "42", LowerCaseIntegerKind(), "42"},
                      KindCase{"boolean", "1", 3, "1"},
                      KindCase{"Float", "2.5", 3, "2.5"},
                      KindCase{"numeric", "2.5", 3, "2.5"},
                      KindCase{"INTEGER(10)", "42", 3, "42"},
                      KindCase{"INT", "42", 3, "42"},
                      KindCase{"TEXT", "'abc'", 3, "abc"},
                      KindCase{"VARCHAR(20)", "'abc'", 3, "abc"},
                      KindCase{"INTEGER PRIMARY KEY", "9", 1, "9"},
                      // A text in an integer column goes through SQLite's own
                      // conversion.
                      KindCase{"INTEGER", "'12abc'", 1, "12"},
                      KindCase{"REAL", "'x'", 2, "0"}));

TEST_F(SQLiteLayerTest, ColumnWithoutDeclaredTypeTakesItsFirstValuesClass) {
  Exec(db_,
       "create table n(v); insert into n values (NULL), ('x'), (5);"
       "create table i(v); insert into i values (5), ('x'), (2.75);");
  TSQLiteDatabase db(db_.string());

  auto nullFirst = db.QueryAllRows("select v from n order by rowid");
  ASSERT_EQ(nullFirst->RowCount, 3u);
  EXPECT_EQ(nullFirst->ColumnKinds().at(0), kColumnNull);
  for (; !nullFirst->AtEnd(); nullFirst->MoveNext()) {
    EXPECT_EQ(nullFirst->CellText(0), "");
    EXPECT_EQ(nullFirst->CellString(0), "");
  }

  auto intFirst = db.QueryAllRows("select v from i order by rowid");
  EXPECT_EQ(intFirst->ColumnKinds().at(0), kColumnInteger);
  std::vector<std::string> texts;
  for (; !intFirst->AtEnd(); intFirst->MoveNext()) texts.push_back(intFirst->CellText(0));
  EXPECT_EQ(texts, (std::vector<std::string>{"5", "0", "2"}));

  auto expressions = db.QueryAllRows("select 1.5 as f, 'a' as s, x'00' as b, 3 as i");
  EXPECT_EQ(expressions->ColumnKinds(), (std::vector<int>{2, 3, 4, 1}));
}

// ---------------------------------------------------------------- empty result

TEST_F(SQLiteLayerTest, EmptyResultHasNoColumns) {
  Exec(db_, "create table t(a INTEGER);");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select a from t");
  EXPECT_EQ(table->RowCount, 0u);
  EXPECT_EQ(table->RowTotal(), 0u);
  EXPECT_EQ(table->ColumnCount, 0u);
  EXPECT_TRUE(table->ColumnNames().empty());
  EXPECT_TRUE(table->ColumnKinds().empty());
  EXPECT_TRUE(table->AtEnd());
  EXPECT_TRUE(table->AtStart());
  EXPECT_FALSE(table->MoveNext());
  EXPECT_EQ(RaisedText([&] { table->ColumnIndexOf("sql"); }),
            "Field sql Not found. Empty dataset");
  EXPECT_EQ(RaisedText([&] { table->ColumnIndexOf("a"); }), "Field a Not found. Empty dataset");
  EXPECT_EQ(RaisedText([&] { table->CellString(0); }), "Table is at End of File");
  EXPECT_EQ(db.ReadCreateText("missing"), "");
  EXPECT_EQ(db.QuerySqlText("select sql from sqlite_master where name = 'missing'"), "");
}

// ---------------------------------------------------------------- accessors

TEST_F(SQLiteLayerTest, AccessorsReadTheCurrentRowByColumnKind) {
  Exec(db_,
       "create table p(id INTEGER PRIMARY KEY, Name TEXT, score REAL, photo BLOB);"
       "insert into p values (1, '张三', 2.9, x'0102');"
       "insert into p values (2, 'Bob', -2.9, NULL);");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select id, Name, score as MixedCase, photo from p order by id");
  ASSERT_EQ(table->RowCount, 2u);
  ASSERT_EQ(table->ColumnCount, 4u);
  EXPECT_EQ(table->ColumnNames(), (std::vector<std::string>{"ID", "NAME", "MIXEDCASE", "PHOTO"}));
  EXPECT_EQ(table->ColumnIndexOf("name"), 1);
  EXPECT_EQ(table->ColumnIndexOf("mixedcase"), 2);
  EXPECT_EQ(table->ColumnIndexOf("Photo"), 3);
  EXPECT_EQ(RaisedText([&] { table->ColumnIndexOf("nope"); }), "Field not found in dataset: nope");

  EXPECT_TRUE(table->AtStart());
  EXPECT_EQ(table->CellInt64(0), 1);
  EXPECT_EQ(table->CellDouble(0), 1.0);
  EXPECT_EQ(table->CellString(1), "张三");
  EXPECT_EQ(table->CellInt64(2), 2);  // truncated toward zero
  EXPECT_DOUBLE_EQ(table->CellDouble(2), 2.9);
  EXPECT_EQ(table->CellText(2), "2.9");
  ASSERT_NE(table->CellBlob(3), nullptr);
  EXPECT_EQ(*table->CellBlob(3), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(table->CellBlobText(3), std::string("\x01\x02", 2));
  EXPECT_EQ(table->CellString(3), std::string("\x01\x02", 2));

  EXPECT_TRUE(table->MoveNext());
  EXPECT_FALSE(table->AtStart());
  EXPECT_FALSE(table->AtEnd());
  EXPECT_EQ(table->CurrentRow(), 1u);
  EXPECT_EQ(table->CellString(0), "2");
  EXPECT_EQ(table->CellInt64(2), -2);
  EXPECT_EQ(table->CellBlob(3), nullptr);

  EXPECT_TRUE(table->MoveNext());
  EXPECT_TRUE(table->AtEnd());
  EXPECT_FALSE(table->MoveNext());
  EXPECT_EQ(table->CurrentRow(), 2u);
}

struct AccessorFailureCase {
  const char* name;
  std::string (*read)(const TSQLiteTable&);
  const char* text;
};

TEST_F(SQLiteLayerTest, AccessorFailuresCarryTheirTexts) {
  Exec(db_, "create table p(i INTEGER, s TEXT, b BLOB); insert into p values (1, 'x', x'00');");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select i, s, b from p");
  const AccessorFailureCase cases[] = {
      {"int64 of text", [](const TSQLiteTable& t) { return std::to_string(t.CellInt64(1)); },
       "Not an integer or numeric field"},
      {"double of text", [](const TSQLiteTable& t) { return std::to_string(t.CellDouble(1)); },
       "Not an integer or numeric field"},
      {"int64 of blob", [](const TSQLiteTable& t) { return std::to_string(t.CellInt64(2)); },
       "Not an integer or numeric field"},
      {"blob of integer", [](const TSQLiteTable& t) { return std::to_string(!!t.CellBlob(0)); },
       "Not a Blob field"},
      {"blob text of text", [](const TSQLiteTable& t) { return t.CellBlobText(1); },
       "Not a Blob field"},
      {"column past the last", [](const TSQLiteTable& t) { return t.CellText(3); },
       "Column index out of range: 3"},
      {"negative column", [](const TSQLiteTable& t) { return t.CellString(-1); },
       "Column index out of range: -1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RaisedText([&] { c.read(*table); }), c.text) << c.name;
  }
  table->MoveNext();
  for (const auto& c : cases) {
    EXPECT_EQ(RaisedText([&] { c.read(*table); }), "Table is at End of File") << c.name;
  }
}

TEST_F(SQLiteLayerTest, NullCellsAndTheEmptyBlob) {
  Exec(db_,
       "create table z(i INTEGER, f REAL, s TEXT, b BLOB, e BLOB);"
       "insert into z values (NULL, NULL, NULL, NULL, x'');");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select i, f, s, b, e from z");
  ASSERT_EQ(table->RowCount, 1u);
  EXPECT_EQ(table->CellText(0), "0");
  EXPECT_EQ(table->CellString(0), "");
  EXPECT_EQ(table->CellInt64(0), 0);
  EXPECT_EQ(table->CellText(1), "0");
  EXPECT_EQ(table->CellString(1), "");
  EXPECT_EQ(table->CellDouble(1), 0.0);
  EXPECT_EQ(table->CellText(2), "");
  EXPECT_EQ(table->CellString(2), "");
  EXPECT_EQ(table->CellInt64(2), 0);  // a NULL cell reads 0 whatever its kind
  EXPECT_EQ(table->CellBlob(3), nullptr);
  // A blob of zero bytes is kept as no cell at all.
  EXPECT_EQ(table->CellBlob(4), nullptr);
  EXPECT_EQ(table->CellBlobText(4), "");
  EXPECT_EQ(table->CellText(4), "");
  EXPECT_EQ(table->CellString(4), "");
}

TEST_F(SQLiteLayerTest, TextStopsAtItsFirstZeroByte) {
  Exec(db_, "create table k(v TEXT); insert into k values ('ab' || char(0) || 'cd');");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select v from k");
  EXPECT_EQ(table->CellString(0), "ab");
}

// ---------------------------------------------------------------- float text

struct FloatTextCase {
  double value;
  const char* text;
};

class FloatTextTest : public SQLiteLayerTest,
                      public ::testing::WithParamInterface<FloatTextCase> {};

TEST_P(FloatTextTest, ShortestGeneralTextOfFifteenDigits) {
  Exec(db_, "create table f(v REAL);");
  TSQLiteDatabase db(db_.string());
  TSQLitePreparedQuery query(db, "select v from (select CAST(?1 AS REAL) as v)");
  auto table = query.RunWithArgs({GetParam().value});
  ASSERT_EQ(table->ColumnKinds().at(0), kColumnFloat);
  EXPECT_EQ(table->CellText(0), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FloatTextTest,
    ::testing::Values(FloatTextCase{2.5, "2.5"}, FloatTextCase{0.1 + 0.2, "0.3"},
                      FloatTextCase{100.0, "100"}, FloatTextCase{-3.25, "-3.25"},
                      FloatTextCase{0.0, "0"}, FloatTextCase{1.0 / 3.0, "0.333333333333333"},
                      FloatTextCase{123456789012345.0, "123456789012345"},
                      FloatTextCase{1234567890123456.0, "1.23456789012346E15"},
                      FloatTextCase{1e20, "1E20"}, FloatTextCase{1.5e-7, "1.5E-7"},
                      FloatTextCase{0.00001, "0.00001"}, FloatTextCase{0.000001, "1E-6"},
                      FloatTextCase{-2.5e300, "-2.5E300"}));

TEST_F(SQLiteLayerTest, HugeFloatSaturatesAsInteger) {
  Exec(db_, "create table f(v REAL); insert into f values (1e300), (-1e300);");
  TSQLiteDatabase db(db_.string());
  auto table = db.QueryAllRows("select v from f order by rowid");
  EXPECT_EQ(table->CellInt64(0), INT64_MAX);
  table->MoveNext();
  EXPECT_EQ(table->CellInt64(0), INT64_MIN);
}

// ---------------------------------------------------------------- schema look-ups

TEST_F(SQLiteLayerTest, HasTableFindsNamesWhateverTheirCase) {
  Exec(db_,
       "create table friend(id INTEGER, name TEXT);"
       "create view friendview as select * from friend;");
  TSQLiteDatabase db(db_.string());
  std::vector<std::string> seen;
  db.OnQuery = [&](TSQLiteDatabase& sender, const std::string& sql) {
    EXPECT_EQ(&sender, &db);
    seen.push_back(sql);
  };
  EXPECT_TRUE(db.HasTable("Friend"));
  EXPECT_TRUE(db.HasTable("friend"));
  EXPECT_TRUE(db.HasTable("FRIEND"));
  EXPECT_FALSE(db.HasTable("friends"));
  EXPECT_FALSE(db.HasTable("friendview"));  // a view is no table
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0],
            "select [sql] from sqlite_master where [type] = 'table' and lower(name) = 'friend' ");
  EXPECT_EQ(db.ReadCreateText("FRIEND"), "CREATE TABLE friend(id INTEGER, name TEXT)");
  EXPECT_EQ(db.QuerySqlText("select sql from sqlite_master where name = 'friend'"),
            "CREATE TABLE friend(id INTEGER, name TEXT)");
}

// ---------------------------------------------------------------- bad files

TEST_F(SQLiteLayerTest, OpenOfAPathInAMissingFolderFails) {
  const fs::path path = folder_ / "no-such-folder" / "a.db";
  EXPECT_EQ(RaisedText([&] { TSQLiteDatabase db(path.string()); }),
            "Failed to open database \"" + path.string() + "\" : unable to open database file");
}

TEST_F(SQLiteLayerTest, OpenOfAMissingFileFailsAndCreatesNothing) {
  const fs::path path = folder_ / "missing.db";
  EXPECT_EQ(RaisedText([&] { TSQLiteDatabase db(path.string()); }),
            "Failed to open database \"" + path.string() + "\" : unable to open database file");
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SQLiteLayerTest, TextFileOpensButItsFirstQueryFails) {
  const std::string content = "this is a plain text file, not a database\n";
  { std::ofstream(db_) << content; }
  TSQLiteDatabase db(db_.string());
  const std::string expected =
      "Error executing SQL.\rError [26]: File opened that is not a database file.\r ";
  EXPECT_EQ(RaisedText([&] { db.HasTable("sms"); }), expected);
  EXPECT_EQ(RaisedText([&] { db.ReadCreateText("sms"); }), expected);
  EXPECT_EQ(fs::file_size(db_), content.size());  // untouched
}

TEST_F(SQLiteLayerTest, ZeroByteFileIsAnEmptyDatabase) {
  { std::ofstream touch(db_); }
  TSQLiteDatabase db(db_.string());
  EXPECT_FALSE(db.HasTable("message"));
  EXPECT_EQ(db.ReadCreateText("message"), "");
  EXPECT_EQ(db.QueryAllRows("select * from sqlite_master")->RowCount, 0u);
  EXPECT_EQ(fs::file_size(db_), 0u);
}

TEST_F(SQLiteLayerTest, ReadOnlyFileIsStillRead) {
  Exec(db_, "create table call(id INTEGER);");
  fs::permissions(db_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TSQLiteDatabase db(db_.string());
  EXPECT_TRUE(db.HasTable("call"));
}

// Another connection holding the exclusive lock of the file.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(const fs::path& file) {
    sqlite3_open(file.c_str(), &db_);
    sqlite3_exec(db_, "begin exclusive; insert into t values (2);", nullptr, nullptr, nullptr);
  }
  ~ExclusiveLock() {
    sqlite3_exec(db_, "rollback;", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST_F(SQLiteLayerTest, BusyDatabaseDuringTheStep) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1);");
  TSQLiteDatabase db(db_.string());
  ASSERT_TRUE(db.HasTable("t"));  // the schema is read: the next prepare needs no lock
  {
    ExclusiveLock lock(db_);
    EXPECT_EQ(RaisedText([&] { db.QueryAllRows("select a from t"); }),
              "Could not prepare SQL statement");
  }
  EXPECT_EQ(db.QueryAllRows("select a from t")->RowCount, 1u);  // released again
}

TEST_F(SQLiteLayerTest, BusyDatabaseWhileTheSchemaIsRead) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1);");
  ExclusiveLock lock(db_);
  TSQLiteDatabase db(db_.string());
  EXPECT_EQ(RaisedText([&] { db.HasTable("t"); }),
            "Error executing SQL.\rError [5]: The database file is locked.\r ");
}

TEST_F(SQLiteLayerTest, AFileAnotherProcessIsWritingIsLocked) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1);");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // The writer: in the middle of a transaction, holding its lock.
    sqlite3* db = nullptr;
    sqlite3_open(db_.c_str(), &db);
    const bool locked =
        sqlite3_exec(db, "begin exclusive; insert into t values (2);", nullptr, nullptr, nullptr) ==
        SQLITE_OK;
    const char byte = locked ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    ::pause();
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y');
  {
    TSQLiteDatabase db(db_.string());
    EXPECT_EQ(RaisedText([&] { db.HasTable("t"); }),
              "Error executing SQL.\rError [5]: The database file is locked.\r ");
  }
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  TSQLiteDatabase db(db_.string());
  EXPECT_EQ(db.QueryAllRows("select a from t")->RowCount, 1u);  // its insert never happened
}

TEST_F(SQLiteLayerTest, ALockedStatementCarriesTheLockedCode) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1);");
  TSQLiteDatabase db(db_.string());
  ASSERT_TRUE(db.HasTable("t"));
  ExclusiveLock lock(db_);
  EXPECT_EQ(RaisedText([&] { db.RunStatement("select a from t where a > 5"); }),
            "Error executing SQL statement.\rError [5]: The database file is locked.\r ");
}

TEST_F(SQLiteLayerTest, APreparedLookUpLooksAtTheLockOnItsFirstRunAndNowAndThen) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1);");
  TSQLiteDatabase db(db_.string());
  TSQLitePreparedQuery query(db, "select a from t where a = ?1");
  {
    ExclusiveLock lock(db_);
    EXPECT_EQ(RaisedText([&] { query.Run(std::vector<std::int64_t>{1}); }),
              "Could not prepare SQL statement");
  }
  EXPECT_EQ(query.Run(std::vector<std::int64_t>{1})->RowCount, 1u);
  ExclusiveLock lock(db_);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // past the look's interval
  EXPECT_EQ(RaisedText([&] { query.Run(std::vector<std::int64_t>{1}); }),
            "Could not prepare SQL statement");
}

// ---------------------------------------------------------------- read-only opens

TEST_F(SQLiteLayerTest, NothingThatWritesGetsThroughAndTheFileStaysAsItWas) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1);");
  const auto bytes = [&] {
    std::ifstream in(db_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string before = bytes();
  {
    TSQLiteDatabase db(db_.string());
    const std::string readOnly =
        "Error executing SQL statement.\rError [8]: Attempt to write a readonly database.\r ";
    EXPECT_EQ(RaisedText([&] { db.RunStatement("insert into t values (2)"); }), readOnly);
    EXPECT_EQ(RaisedText([&] { db.RunStatement("create table u(b)"); }), readOnly);
    EXPECT_EQ(RaisedText([&] { db.RunStatement("pragma user_version = 3"); }), readOnly);
    EXPECT_EQ(db.QueryAllRows("select a from t")->RowCount, 1u);
  }
  EXPECT_EQ(bytes(), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

struct UriCase {
  const char* path;
  const char* uri;
};

TEST(SQLiteUriTest, EscapesEveryByteThatCouldEndOrChangeTheName) {
  const UriCase cases[] = {
      {"/tmp/a.db", "file:///tmp/a.db?mode=ro&immutable=1"},
      {"/tmp/a b/c.db", "file:///tmp/a%20b/c.db?mode=ro&immutable=1"},
      {"/x/100%.db", "file:///x/100%25.db?mode=ro&immutable=1"},
      {"/x/%41.db", "file:///x/%2541.db?mode=ro&immutable=1"},
      {"/x/q?mode=rw.db", "file:///x/q%3Fmode%3Drw.db?mode=ro&immutable=1"},
      {"/x/h#1.db", "file:///x/h%231.db?mode=ro&immutable=1"},
      {"/x/通话.db", "file:///x/%E9%80%9A%E8%AF%9D.db?mode=ro&immutable=1"},
      {"//server/a.db", "file:////server/a.db?mode=ro&immutable=1"},
      {"rel/a-b_c~d.db", "file:rel/a-b_c~d.db?mode=ro&immutable=1"},
      {"c:x.db", "file:c%3Ax.db?mode=ro&immutable=1"},
  };
  for (const UriCase& c : cases) EXPECT_EQ(SQLiteReadOnlyUri(c.path), c.uri) << c.path;
}

TEST_F(SQLiteLayerTest, NamesWithBlanksPercentQuestionHashAndChineseOpen) {
  const char* names[] = {"a b.db", "100%.db", "%41.db", "q?mode=rw.db", "h#1.db",
                         "通话 记录.db", "%E9%80%9A.db", "x?immutable=0&mode=rwc#f"};
  const fs::path folder = folder_ / "案件 #1 %20?";
  fs::create_directories(folder);
  // The files an unescaped "%41" or "%E9%80%9A" would name.
  Exec(folder / "A.db", "create table decoy(a);");
  Exec(folder / "通.db", "create table decoy(a);");
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Exec(folder / name, "create table t(a); insert into t values (1);");
    TSQLiteDatabase db((folder / name).string());
    EXPECT_TRUE(db.HasTable("t"));
    EXPECT_FALSE(db.HasTable("decoy"));
  }
  const fs::path missing = folder_ / "缺 少?.db";
  EXPECT_EQ(RaisedText([&] { TSQLiteDatabase db(missing.string()); }),
            "Failed to open database \"" + missing.string() + "\" : unable to open database file");
  EXPECT_FALSE(fs::exists(missing));
}

// ---------------------------------------------------------------- prepare and statements

TEST_F(SQLiteLayerTest, PrepareFailures) {
  Exec(db_, "create table t(a INTEGER);");
  TSQLiteDatabase db(db_.string());
  EXPECT_EQ(RaisedText([&] { db.QueryAllRows("selec a from t"); }),
            "Error executing SQL.\rError [1]: SQL error or missing database.\r ");
  EXPECT_EQ(RaisedText([&] { db.QueryAllRows(""); }), "Could not prepare SQL statement");
  EXPECT_EQ(RaisedText([&] { db.QueryAllRows("  -- nothing to run"); }),
            "Could not prepare SQL statement");
  EXPECT_EQ(RaisedText([&] { TSQLitePreparedQuery q(db, "select nope from t"); }),
            "Error executing SQL.\rError [1]: SQL error or missing database.\r ");
  EXPECT_EQ(RaisedText([&] { TSQLitePreparedQuery q(db, ""); }),
            "Could not prepare SQL statement");
}

TEST_F(SQLiteLayerTest, StepFailureIsCouldNotRetrieveData) {
  Exec(db_, "create table t(a INTEGER); insert into t values (1), (2);");
  TSQLiteDatabase db(db_.string());
  // The second row overflows the integer sum after the first went through.
  EXPECT_EQ(RaisedText([&] {
              db.QueryAllRows("select sum(v) from (select 9223372036854775807 as v union all "
                              "select a from t)");
            }),
            "Could not retrieve data.\rError [1]: SQL error or missing database.\r ");
}

TEST_F(SQLiteLayerTest, StatementsWithoutResult) {
  Exec(db_, "create table t(a INTEGER);");
  TSQLiteDatabase db(db_.string());
  EXPECT_NO_THROW(db.RunStatement("select a from t"));  // no row: runs to its end
  EXPECT_EQ(RaisedText([&] { db.RunStatement("select 1"); }), "Error executing SQL statement");
  EXPECT_EQ(RaisedText([&] { db.RollBackWork(); }),
            "Error executing SQL statement.\rError [1]: SQL error or missing database.\r ");
  db.InTransaction = true;  // the destructor's roll-back fails quietly
}

TEST_F(SQLiteLayerTest, NamedParamsAreBoundOnceThenCleared) {
  Exec(db_, "create table t(a INTEGER);");
  TSQLiteDatabase db(db_.string());
  db.NamedParams = {{":a", 1, 5, 0, ""},     {":b", 3, 0, 0, "x"}, {":c", 2, 0, 0.5, ""},
                    {":d", 5, 0, 0, ""},     {":absent", 1, 9, 0, ""}};
  auto table = db.QueryAllRows("select :a as a, :b as b, :c as c, :d as d");
  EXPECT_EQ(table->CellString(0), "5");
  EXPECT_EQ(table->CellString(1), "x");
  EXPECT_EQ(table->CellString(2), "0.5");
  EXPECT_EQ(table->ColumnKinds().at(3), kColumnNull);
  EXPECT_TRUE(db.NamedParams.empty());
  auto again = db.QueryAllRows("select :a as a");
  EXPECT_EQ(again->ColumnKinds().at(0), kColumnNull);
}

// ---------------------------------------------------------------- binding

struct BindCase {
  const char* name;
  BindValue value;
  const char* storage;  // typeof() of the bound value
  std::string text;     // CellString of it
};

TEST_F(SQLiteLayerTest, BindDataBindsEveryKindOfValue) {
  Exec(db_, "create table t(a INTEGER);");
  TSQLiteDatabase db(db_.string());
  static const std::uint8_t bytes[] = {'a', 'b', 'c', 'd'};
  std::istringstream stream(std::string("wxyz"));
  stream.seekg(2);
  const BindCase cases[] = {
      {"int32", std::int32_t{7}, "integer", "7"},
      {"bool", true, "integer", "1"},
      {"int64", std::int64_t{9000000000}, "integer", "9000000000"},
      {"double", 2.5, "real", "2.5"},
      {"nullptr", nullptr, "null", ""},
      {"null pointer", static_cast<const void*>(nullptr), "null", ""},
      {"char", 'x', "text", "x"},
      {"zero-terminated", "abc", "text", "abc"},
      {"bytes with NUL", std::string("a\0b", 3), "text", "a"},
      {"empty text", std::string(), "text", ""},
      {"wide char", L'中', "text", "中"},
      {"wide text", L"中文", "text", "中文"},
      {"wstring", std::wstring(L"短信"), "text", "短信"},
      {"utf-16 pair", std::u16string(u"\U0001F600"), "text", "\xF0\x9F\x98\x80"},
      {"utf-16 unpaired", std::u16string(1, char16_t(0xD800)), "text", "\xEF\xBF\xBD"},
      {"utf-16 char", u'é', "text", "é"},
      {"utf-16 pointer", u"ok", "text", "ok"},
      {"memory stream", MemoryStreamView{bytes, 1}, "blob", "bcd"},
      {"memory stream at end", MemoryStreamView{bytes, 9}, "blob", ""},
      {"byte vector", std::vector<std::uint8_t>{'q', 0, 'r'}, "blob", std::string("q\0r", 3)},
      {"empty byte vector", std::vector<std::uint8_t>{}, "blob", ""},
      {"other stream", static_cast<std::istream*>(&stream), "blob", "wxyz"},
  };
  for (const BindCase& c : cases) {
    TSQLiteTable table(db, "select typeof(?1) as t, ?1 as v", {c.value});
    ASSERT_EQ(table.RowCount, 1u) << c.name;
    EXPECT_EQ(table.CellString(0), c.storage) << c.name;
    EXPECT_EQ(table.CellString(1), c.text) << c.name;
    stream.seekg(2);
  }
}

TEST_F(SQLiteLayerTest, BindDataFailuresCarryTheirTexts) {
  Exec(db_, "create table t(a INTEGER);");
  TSQLiteDatabase db(db_.string());
  static const std::uint8_t bytes[] = {1, 2};
  const auto outOfRange = [](const std::string& msg) {
    return msg + ".\rError [25]: 2nd parameter to sqlite3_bind out of range.\r ";
  };
  const struct {
    BindValue value;
    std::string text;
  } cases[] = {
      {std::int32_t{1}, outOfRange("Could not bind integer")},
      {false, outOfRange("Could not bind boolean")},
      {std::int64_t{1}, outOfRange("Could not bind int64")},
      {1.5, outOfRange("Could not bind extended")},
      {nullptr, outOfRange("Could not bind null")},
      {std::string("x"), outOfRange("Could not bind text")},
      {"x", outOfRange("Could not bind text")},
      {std::u16string(u"x"), outOfRange("Could not bind text")},
      {MemoryStreamView{bytes, 0}, outOfRange("Could not bind BLOB")},
      {std::vector<std::uint8_t>{1}, outOfRange("Could not bind BLOB")},
      {static_cast<const void*>(bytes), "Unhandled pointer (<> nil)"},
      {static_cast<std::istream*>(nullptr), "Unhandled object-type in binding"},
      {std::monostate{}, "Unhandled binding"},
  };
  for (const auto& c : cases) {
    // The statement has no parameter, so value 1 is out of range.
    EXPECT_EQ(RaisedText([&] { TSQLiteTable table(db, "select 1", {c.value}); }), c.text);
    EXPECT_EQ(RaisedText([&] { db.RunStatementWithArgs("select a from t", {c.value}); }), c.text);
  }
}

// ---------------------------------------------------------------- prepared query

TEST_F(SQLiteLayerTest, PreparedQueryComparesTextWithNulWhole) {
  Exec(db_,
       "create table k(id INTEGER, v TEXT);"
       "insert into k values (1, 'a' || char(0) || 'b'), (2, 'a'), (3, 'c');");
  TSQLiteDatabase db(db_.string());
  TSQLitePreparedQuery query(db, "select id from k where v = ?1 order by id");
  const struct {
    std::string value;
    std::vector<std::int64_t> ids;
  } cases[] = {
      {std::string("a\0b", 3), {1}},
      {"a", {2}},
      {std::string("a\0c", 3), {}},
      {"c", {3}},
      {std::string("a\0b", 3), {1}},  // the same statement, run again
  };
  for (const auto& c : cases) {
    auto table = query.Run(std::vector<std::string>{c.value});
    std::vector<std::int64_t> ids;
    for (; !table->AtEnd(); table->MoveNext()) ids.push_back(table->CellInt64(0));
    EXPECT_EQ(ids, c.ids) << c.value.size();
  }
}

TEST_F(SQLiteLayerTest, PreparedQueryRunsWithIntegersAndForgetsOldValues) {
  Exec(db_, "create table k(id INTEGER, v TEXT); insert into k values (1, 'one'), (2, 'two');");
  TSQLiteDatabase db(db_.string());
  TSQLitePreparedQuery query(db, "select v, ?2 as extra from k where id = ?1");
  auto first = query.Run(std::vector<std::int64_t>{2, 7});
  ASSERT_EQ(first->RowCount, 1u);
  EXPECT_EQ(first->CellString(first->ColumnIndexOf("V")), "two");
  EXPECT_EQ(first->CellString(1), "7");
  auto second = query.Run(std::vector<std::int64_t>{1});
  ASSERT_EQ(second->RowCount, 1u);
  EXPECT_EQ(second->CellString(0), "one");
  EXPECT_EQ(second->ColumnKinds().at(1), kColumnNull);  // ?2 is unbound again
  EXPECT_EQ(query.Run(std::vector<std::int64_t>{3})->RowCount, 0u);
  EXPECT_EQ(RaisedText([&] { query.Run(std::vector<std::int64_t>{1, 2, 3}); }),
            "Could not bind int64.\rError [25]: 2nd parameter to sqlite3_bind out of range.\r ");
  EXPECT_EQ(query.Run(std::vector<std::int64_t>{1})->RowCount, 1u);  // usable after a failure
}

// ---------------------------------------------------------------- row by row

// A row handed over by ForEachRow gives the text a result holding only that
// row gives, for every declared type and storage class (the kind of a column
// without a declared type coming from the row's own value), and the whole
// bytes of texts and blobs.
TEST_F(SQLiteLayerTest, RowByRowCellsAreThoseOfAOneRowResult) {
  const char* types[] = {"", "INTEGER", "REAL", "NUMERIC", "TEXT", "BLOB", "VARCHAR(9)"};
  const char* values[] = {"NULL", "5", "1.5", "1e20", "CAST(X'610062' AS TEXT)", "X'6869'",
                          "'7'", "''"};
  std::string sql = "CREATE TABLE t (";
  for (std::size_t i = 0; i < std::size(types); ++i)
    sql += (i ? ", c" : "c") + std::to_string(i) + " " + types[i];
  sql += ");";
  for (const char* v : values) {
    sql += "INSERT INTO t VALUES (";
    for (std::size_t i = 0; i < std::size(types); ++i) sql += std::string(i ? ", " : "") + v;
    sql += ");";
  }
  Exec(db_, sql);
  TSQLiteDatabase db(db_.string());
  int rows = 0;
  db.ForEachRow("SELECT rowid, * FROM t ORDER BY rowid", [&](const TSQLiteRow& row) {
    ++rows;
    const std::int64_t rowid = row.Int64(0);
    for (std::size_t i = 0; i < std::size(types); ++i) {
      const std::string column = "c" + std::to_string(i);
      TSQLiteTable one(db, "SELECT " + column + " FROM t WHERE rowid = " + std::to_string(rowid));
      EXPECT_EQ(row.CellString(static_cast<int>(i) + 1), one.CellString(0))
          << "row " << rowid << " column " << types[i];
    }
  });
  EXPECT_EQ(rows, static_cast<int>(std::size(values)));
  db.ForEachRow("SELECT c0, typeof(c0) FROM t WHERE rowid = 5", [&](const TSQLiteRow& row) {
    EXPECT_EQ(row.StorageClass(0), kColumnText);
    EXPECT_EQ(row.Bytes(0), std::string_view("a\0b", 3));
  });
  db.ForEachRow("SELECT c0 FROM t WHERE rowid = 6", [&](const TSQLiteRow& row) {
    EXPECT_EQ(row.StorageClass(0), kColumnBlob);
    EXPECT_EQ(row.Bytes(0), "hi");
  });
}

TEST_F(SQLiteLayerTest, ColumnInfoGivesTheDeclaredTypeAndCollation) {
  Exec(db_, "CREATE TABLE t (a, b TEXT COLLATE NOCASE, c INTEGER); CREATE VIEW v AS SELECT a FROM t");
  TSQLiteDatabase db(db_.string());
  const auto a = db.ColumnInfo("t", "a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->DeclaredType, "");
  EXPECT_EQ(a->Collation, "BINARY");
  const auto b = db.ColumnInfo("t", "b");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->DeclaredType, "TEXT");
  EXPECT_EQ(b->Collation, "NOCASE");
  EXPECT_FALSE(db.ColumnInfo("t", "missing"));
  EXPECT_FALSE(db.ColumnInfo("missing", "a"));
}

TEST_F(SQLiteLayerTest, NumericAffinityTurnsOnlyWholeNumbersIntoNumbers) {
  Exec(db_, "CREATE TABLE t (a)");
  TSQLiteDatabase db(db_.string());
  TSQLiteNumericAffinity affinity(db);
  struct Case {
    std::string text;
    int storage;
    double value;
  };
  const Case cases[] = {{"5", kColumnInteger, 5},      {"-12", kColumnInteger, -12},
                        {"5.0", kColumnFloat, 5},      {"1e2", kColumnFloat, 100},
                        {"1.5", kColumnFloat, 1.5},    {"5abc", kColumnText, 0},
                        {"0x10", kColumnText, 0},      {"", kColumnText, 0},
                        {"abc", kColumnText, 0},       {std::string("5\0", 2), kColumnText, 0}};
  for (const Case& c : cases) {
    const TSQLiteNumericText n = affinity.Apply(c.text);
    EXPECT_EQ(n.StorageClass, c.storage) << c.text;
    if (c.storage == kColumnInteger) {
      EXPECT_EQ(n.Int, static_cast<std::int64_t>(c.value)) << c.text;
    }
    if (c.storage == kColumnFloat) {
      EXPECT_EQ(n.Real, c.value) << c.text;
    }
  }
}

TEST_F(SQLiteLayerTest, RowByRowErrorsRaiseAsAQueryDoes) {
  Exec(db_, "CREATE TABLE t (a)");
  TSQLiteDatabase db(db_.string());
  const auto ignore = [](const TSQLiteRow&) {};
  EXPECT_EQ(RaisedText([&] { db.ForEachRow("SELECT * FROM missing", ignore); }),
            RaisedText([&] { db.QueryAllRows("SELECT * FROM missing"); }));
}

}  // namespace
}  // namespace velmora
