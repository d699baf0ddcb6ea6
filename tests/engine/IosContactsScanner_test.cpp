#include "engine/IosContactsScanner.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>

#include "IosKindsFixtures.h"
#include "TestDb.h"
#include "engine/SQLiteTable3.h"

namespace velmora {
namespace {

using iosfix::FixtureDb;
using iosfix::PhoneText;
using iosfix::Val;

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// ------------------------------------------------------- phone-text test

struct PhoneCase {
  const char* text;  // the bytes from the anchor on
  bool holds;
  std::size_t g;
  const char* phone;
};

class MatchPhoneTextTest : public ::testing::TestWithParam<PhoneCase> {};

TEST_P(MatchPhoneTextTest, FindsTheThreeNotations) {
  const PhoneCase& c = GetParam();
  const auto image = Bytes(c.text);
  const PhoneTextMatch m = MatchPhoneText(image, 0);
  EXPECT_EQ(m.holds, c.holds);
  if (c.holds) {
    EXPECT_EQ(m.g, c.g);
    EXPECT_EQ(m.phone, c.phone);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchPhoneTextTest,
    ::testing::Values(
        // X of 13 characters: the test ends at 3m + 9, past the third X.
        PhoneCase{" +8613800138000 008613800138000 0118613800138000", true, 48, "13800138000"},
        PhoneCase{" +8613800138000 008613800138000 0118613800138000 tail", true, 48, "13800138000"},
        // The 00 prefix without the 011 prefix.
        PhoneCase{" +8613800138000 008613800138000", false, 0, ""},
        PhoneCase{" +8613800138000 008613800138000 +8613800138000", false, 0, ""},
        // X of 17 characters still passes; of 18 it does not.
        PhoneCase{" +86123456789012345 0086123456789012345 01186123456789012345", true, 60,
                  "123456789012345"},
        PhoneCase{" +861234567890123456 00861234567890123456 011861234567890123456", false, 0, ""},
        // X of two characters or fewer gives an empty phone number.
        PhoneCase{" +86 0086 01186", true, 15, ""}, PhoneCase{" + 00 011", true, 9, ""},
        // No anchor.
        PhoneCase{"+8613800138000 008613800138000 0118613800138000", false, 0, ""},
        PhoneCase{"  +86", false, 0, ""}));

TEST(MatchPhoneText, ReadsStayInsideTheImageWhereverItIsCut) {
  const std::string text = " +8613800138000 008613800138000 0118613800138000";
  for (std::size_t n = 0; n <= text.size(); ++n) {
    const std::vector<std::uint8_t> image(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    const PhoneTextMatch m = MatchPhoneText(image, 0);
    // The test holds once the " 011" of the second notation is inside.
    EXPECT_EQ(m.holds, n >= 35) << n;
    // An anchor at the last byte, or past the end.
    EXPECT_FALSE(MatchPhoneText(image, n).holds);
    if (n > 0) {
      EXPECT_FALSE(MatchPhoneText(image, n - 1).holds);
    }
  }
}

// ---------------------------------------------------- walk back to header

// The naive walk back: nearest zero from the anchor down to offset 1, then
// the count back of `n` serial types.
std::optional<std::size_t> NaiveHeaderStart(const std::vector<std::uint8_t>& img, std::size_t p, int n) {
  std::int64_t q = static_cast<std::int64_t>(p);
  while (q >= 1 && img[static_cast<std::size_t>(q)] != 0) --q;
  if (q < 1) return std::nullopt;
  int c = 0;
  while (c < n && q > 0) {
    if (img[static_cast<std::size_t>(q)] < 0x80) ++c, --q;
    if (img[static_cast<std::size_t>(q)] >= 0x80) --q;
  }
  if (c < n) return std::nullopt;
  return static_cast<std::size_t>(q + 1);
}

TEST(ContactHeaderFinder, FindsTheFirstSerialTypeOfARecord) {
  // [payload][rowid][header length][docid 0][3 texts, one of two bytes][last 0] body
  std::vector<std::uint8_t> img = {'S', 'Q', 0x40, 0x05, 0x07, 0x00, 0x17, 0x81, 0x03, 0x15, 0x00};
  const std::size_t first = 5;
  img.insert(img.end(), {'a', 'b', 'c', 'd', 'e'});
  const std::size_t anchor = img.size() - 1;
  ContactHeaderFinder finder(img, 5);
  EXPECT_EQ(finder.HeaderStart(anchor), first);
  EXPECT_EQ(NaiveHeaderStart(img, anchor, 5), first);
}

TEST(ContactHeaderFinder, GivesUpWithoutAZeroOrWithTooFewSerialTypes) {
  const auto noZero = Bytes("SQLite format 3 +86 0086 01186");
  ContactHeaderFinder a(noZero, 24);
  EXPECT_EQ(a.HeaderStart(15), std::nullopt);
  // The count back reaches offset 0 before 24 serial types.
  std::vector<std::uint8_t> shortHeader = {0xFF, 0x85, 0x01, 0x00, ' ', '+'};
  ContactHeaderFinder b(shortHeader, 24);
  EXPECT_EQ(b.HeaderStart(4), std::nullopt);
  EXPECT_EQ(NaiveHeaderStart(shortHeader, 4, 24), std::nullopt);
  // Exactly enough serial types, the first at offset 0 after a byte of 0x80
  // or above was passed over at offset 0.
  ContactHeaderFinder c(shortHeader, 2);
  EXPECT_EQ(c.HeaderStart(4), NaiveHeaderStart(shortHeader, 4, 2));
}

TEST(ContactHeaderFinder, RemembersWithoutChangingAnyAnswer) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::uint8_t> img(3000);
    for (auto& b : img) {
      const unsigned r = rng() % 8;
      b = r == 0 ? 0 : r < 4 ? static_cast<std::uint8_t>(0x80 + rng() % 128)
                             : static_cast<std::uint8_t>(1 + rng() % 127);
    }
    const int n = 1 + static_cast<int>(rng() % 30);
    ContactHeaderFinder finder(img, n);
    // Ascending anchors with a step back now and then, as the page walk does.
    std::size_t p = 1;
    while (p < img.size()) {
      ASSERT_EQ(finder.HeaderStart(p), NaiveHeaderStart(img, p, n)) << round << " " << p;
      p += 1 + rng() % 40;
      if (rng() % 10 == 0 && p > 60) p -= 50;
    }
  }
}

// ------------------------------------------------------------- name, query

TEST(ContactDisplayName, RemovesEveryNull) {
  EXPECT_EQ(ContactDisplayName("Alice", "Wang"), "Alice Wang");
  EXPECT_EQ(ContactDisplayName("NULL", "Wang"), " Wang");
  EXPECT_EQ(ContactDisplayName("NULL", "NULL"), " ");
  EXPECT_EQ(ContactDisplayName("NULLy", "McNULLan"), "y Mcan");
  EXPECT_EQ(ContactDisplayName("null", "Null"), "null Null");
}

TEST(ContactLiveQueryText, HasTheShapeOfEachNullValueCombination) {
  const std::string head = "select * from ABPersonFullTextSearch_content where ";
  EXPECT_EQ(ContactLiveQueryText(false, false, false),
            head + "   c0First=? and c1Last=? and c15Phone=?");
  EXPECT_EQ(ContactLiveQueryText(true, false, false),
            head + "   c0First is NULL and c1Last=? and c15Phone=?");
  EXPECT_EQ(ContactLiveQueryText(false, true, false),
            head + "   c0First=? and c1Last is NULL and c15Phone=?");
  EXPECT_EQ(ContactLiveQueryText(true, true, true),
            head + "   c0First is NULL and c1Last is NULL and c15Phone is NULL");
  EXPECT_EQ(ContactLiveQueryText(false, false, true),
            head + "   c0First=? and c1Last=? and c15Phone is NULL");
}

// ------------------------------------------------------------------- scans

class IosContactsScanTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string path = dir.File("AddressBook.sqlitedb");

  template <typename Fill>
  void Build(Fill fill) {
    FixtureDb db(path);
    db.Exec("PRAGMA page_size=4096; PRAGMA journal_mode=DELETE");
    db.Exec("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last "
            "TEXT, Middle TEXT, Organization TEXT, Note TEXT)");
    db.Exec(iosfix::kContactsFtsTable);
    fill(db);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunIosContactsScan(view);
  }
  // Rows (name, phone, status) in list order.
  using Row = std::vector<std::string>;
  std::vector<Row> RowsOf(const std::string& name) const {
    std::vector<Row> out;
    for (const auto& r : view.rows)
      if (!r.empty() && r[0] == name) out.push_back(r);
    return out;
  }
};

TEST_F(IosContactsScanTest, ContactsAreCarvedFromTheirPhoneTextAndTestedLive) {
  Build([](FixtureDb& db) {
    iosfix::AddContact(db, 1, std::string("Alice"), std::string("Wang"),
                               PhoneText("13800138000", "8613800138000"), "Acme", "a@example.com");
    iosfix::AddContact(db, 2, nullptr, std::string("Smith"), PhoneText("10086", "8610086"));
    iosfix::AddContact(db, 3, nullptr, nullptr, PhoneText("95555", "8695555"));
    iosfix::AddContact(db, 4, std::string("NULLy"), std::string("张"),
                               PhoneText("13900139000", "8613900139000"));
    iosfix::AddContact(db, 5, std::string("Gone"), std::string("Away"),
                               PhoneText("13700137000", "8613700137000"));
    db.Exec("DELETE FROM ABPersonFullTextSearch WHERE docid = 5");
  });
  ContactRecords.push_back({"stale", "", false});   // replaced by the first hit
  ContactDataRows.push_back({1, 2, "x", false});    // emptied at the start
  Scan();

  EXPECT_EQ(RowsOf("Alice Wang"), (std::vector<Row>{{"Alice Wang", "13800138000", "正常"}}));
  // A NULL first name: the query's "is NULL" shape finds the live row.
  EXPECT_EQ(RowsOf(" Smith"), (std::vector<Row>{{" Smith", "10086", "正常"}}));
  EXPECT_EQ(RowsOf(" "), (std::vector<Row>{{" ", "95555", "正常"}}));
  // "NULL" inside a name is removed from the Name; the query uses the value.
  EXPECT_EQ(RowsOf("y 张"), (std::vector<Row>{{"y 张", "13900139000", "正常"}}));
  EXPECT_EQ(RowsOf("Gone Away"), (std::vector<Row>{{"Gone Away", "13700137000", "删除"}}));

  ASSERT_EQ(view.rows.size(), 5u);
  ASSERT_EQ(ContactRecords.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(ContactRecords[i].Name, view.rows[i][0]);
    EXPECT_EQ(ContactRecords[i].Phone, view.rows[i][1]);
    EXPECT_EQ(StatusWord(ContactRecords[i].Deleted), view.rows[i][2]);
  }
  EXPECT_TRUE(ContactDataRows.empty());
  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.status[2], "找到 5 条联系人, 1条删除");
  EXPECT_EQ(view.log.back().message, "扫描完成,共找到 5 条联系人, 其中有1条删除");
  EXPECT_EQ(view.TreeText(0), "通讯录(5)");
  EXPECT_EQ(view.TreeText(1), "正常通讯录(4)");
  EXPECT_EQ(view.TreeText(2), "删除通讯录(1)");
  EXPECT_EQ(view.tree[0].tag, (TResultNodeTag{kKindContacts, kFilterAll}));
  EXPECT_EQ(view.tree[1].tag, (TResultNodeTag{kKindContacts, kFilterLive}));
  EXPECT_TRUE(state.boxes.shown().empty());
  EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
  EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
  EXPECT_TRUE(view.IsEnabled(ScanCommand::Recover));
}

TEST_F(IosContactsScanTest, NoStatusTextIsWrittenPerHit) {
  Build([](FixtureDb& db) {
    iosfix::AddContact(db, 1, std::string("Alice"), std::string("Wang"),
                               PhoneText("13800138000", "8613800138000"));
  });
  std::vector<std::string> seen;
  view.onPump = [&] { seen.push_back(view.status[2]); };
  Scan();
  for (const auto& s : seen) EXPECT_EQ(s, "");
  EXPECT_EQ(view.status[2], "找到 1 条联系人, 0条删除");
}

TEST_F(IosContactsScanTest, PhoneTextsWithoutAllThreeNotationsGiveNoContact) {
  Build([](FixtureDb& db) {
    iosfix::AddContact(db, 1, std::string("No"), std::string("Eleven"),
                               std::string("13800138000 +8613800138000 008613800138000"));
    iosfix::AddContact(db, 2, std::string("Too"), std::string("Long"),
                               PhoneText("1234567890123456", "861234567890123456"));
    iosfix::AddContact(db, 3, std::string("Just"), std::string("Fits"),
                               PhoneText("123456789012345", "86123456789012345"));
    iosfix::AddContact(db, 4, std::string("Short"), std::string("X"), PhoneText("", "86"));
  });
  Scan();
  EXPECT_TRUE(RowsOf("No Eleven").empty());
  EXPECT_TRUE(RowsOf("Too Long").empty());
  EXPECT_EQ(RowsOf("Just Fits"), (std::vector<Row>{{"Just Fits", "123456789012345", "正常"}}));
  EXPECT_EQ(RowsOf("Short X"), (std::vector<Row>{{"Short X", "", "正常"}}));
}

TEST_F(IosContactsScanTest, ARowWithTwoNumbersIsRecordedOncePerNumber) {
  Build([](FixtureDb& db) {
    const std::string phones =
        PhoneText("13800138000", "8613800138000") + " " + PhoneText("13900139000", "8613900139000");
    iosfix::AddContact(db, 1, std::string("Two"), std::string("Numbers"), phones);
    iosfix::AddContact(db, 2, std::string("Deleted"), std::string("Twice"), phones);
    db.Exec("DELETE FROM ABPersonFullTextSearch WHERE docid = 2");
  });
  Scan();
  EXPECT_EQ(RowsOf("Two Numbers"), (std::vector<Row>{{"Two Numbers", "13800138000", "正常"},
                                                     {"Two Numbers", "13900139000", "正常"}}));
  EXPECT_EQ(RowsOf("Deleted Twice"), (std::vector<Row>{{"Deleted Twice", "13800138000", "删除"},
                                                       {"Deleted Twice", "13900139000", "删除"}}));
}

TEST_F(IosContactsScanTest, ADeletedCopyOfALiveContactIsReportedLive) {
  Build([](FixtureDb& db) {
    for (std::int64_t docid : {1, 2})
      iosfix::AddContact(db, docid, std::string("Copy"), std::string("Kept"),
                         PhoneText("10010", "8610010"));
    db.Exec("DELETE FROM ABPersonFullTextSearch WHERE docid = 2");
  });
  Scan();
  EXPECT_EQ(RowsOf("Copy Kept"),
            (std::vector<Row>{{"Copy Kept", "10010", "正常"}, {"Copy Kept", "10010", "正常"}}));
  EXPECT_EQ(view.TreeText(2), "删除通讯录(0)");
}

// A quote or a NUL byte inside a carved value is compared as part of the
// value: no statement text is built from it, so the scan goes on.
TEST_F(IosContactsScanTest, QuotesAndNulBytesInsideValuesAreComparedWhole) {
  const std::string nulPhone = PhoneText("13800138000", "8613800138000") + std::string("\0'x", 3);
  Build([&](FixtureDb& db) {
    iosfix::AddContact(db, 1, std::string("O'Brien"), std::string("Sean"),
                               PhoneText("10086", "8610086"));
    iosfix::AddContact(db, 2, std::string("Nul"), std::string("Inside"), nulPhone);
    iosfix::AddContact(db, 3, std::string("Nul"), std::string("Gone"), nulPhone);
    iosfix::AddContact(db, 4, std::string("After"), std::string("All"),
                               PhoneText("10010", "8610010"));
    db.Exec("DELETE FROM ABPersonFullTextSearch WHERE docid = 3");
  });
  Scan();
  EXPECT_TRUE(state.boxes.shown().empty());
  EXPECT_EQ(RowsOf("O'Brien Sean"), (std::vector<Row>{{"O'Brien Sean", "10086", "正常"}}));
  EXPECT_EQ(RowsOf("Nul Inside"), (std::vector<Row>{{"Nul Inside", "13800138000", "正常"}}));
  EXPECT_EQ(RowsOf("Nul Gone"), (std::vector<Row>{{"Nul Gone", "13800138000", "删除"}}));
  EXPECT_EQ(RowsOf("After All"), (std::vector<Row>{{"After All", "10010", "正常"}}));
}

TEST(ContactLiveTest, ComparesBoundValuesWhole) {
  testdb::TempDir dir;
  const std::string path = dir.File("ab.db");
  {
    FixtureDb db(path);
    db.Exec(iosfix::kContactsFtsTable);
    iosfix::AddContact(db, 1, std::string("A\0B", 3), std::string("it's"), std::string("P"));
    iosfix::AddContact(db, 2, nullptr, std::string("L"), nullptr);
  }
  TSQLiteDatabase db(path);
  ContactLiveTest live(db);
  EXPECT_TRUE(live.ContactIsLive(std::string("A\0B", 3), "it's", "P"));
  EXPECT_FALSE(live.ContactIsLive("A", "it's", "P"));
  EXPECT_FALSE(live.ContactIsLive(std::string("A\0B", 3), "it", "P"));
  EXPECT_TRUE(live.ContactIsLive("NULL", "L", "NULL"));
  EXPECT_FALSE(live.ContactIsLive("NULL", "L", "P"));
  // Again, through the statements prepared above.
  EXPECT_TRUE(live.ContactIsLive(std::string("A\0B", 3), "it's", "P"));
  EXPECT_TRUE(live.ContactIsLive("NULL", "L", "NULL"));
}

// ------------------------------------------- row set against the statements

// A content table whose three key columns are declared one way.
struct LiveTableCase {
  const char* name;
  const char* keyDeclaration;  // what follows each key column's name
  bool rowSet;                 // answered from the row set, not the statements
  const char* encoding = "UTF-8";
};
std::ostream& operator<<(std::ostream& os, const LiveTableCase& c) { return os << c.name; }

class ContactLiveRowSetTest : public ::testing::TestWithParam<LiveTableCase> {};

// Every carved row gets the live or deleted answer of the statements, on a
// table of NULL cells, "NULL" texts, texts with a NUL byte, integer, real and
// blob cells, and texts that read as numbers, under each kind of column.
TEST_P(ContactLiveRowSetTest, GivesTheAnswerOfTheStatementForEveryCarvedRow) {
  testdb::TempDir dir;
  const std::string path = dir.File("ab.db");
  std::string create = "CREATE TABLE 'ABPersonFullTextSearch_content'(docid INTEGER PRIMARY KEY";
  for (int i = 0; i < 23; ++i) {
    const bool key = i == 0 || i == 1 || i == 15;
    const std::string name = i == 0 ? "c0First" : i == 1 ? "c1Last" : i == 15 ? "c15Phone"
                                                                  : "c" + std::to_string(i) + "x";
    create += ", '" + name + "' " + (key ? GetParam().keyDeclaration : "");
  }
  create += ")";
  const char* cells[] = {"NULL",    "'NULL'",  "CAST(X'410042' AS TEXT)", "5",   "5.0",
                         "1.5",     "X'35'",   "'5'",  "''",    "'it''s'", "'a'",
                         "CAST(X'610078' AS TEXT)", "'A '", "-0.0", "9007199254740993", "1e20",
                         "'5abc'"};
  const char* lasts[] = {"NULL", "'L'", "7"};
  const char* phones[] = {"'P'", "NULL"};
  std::string sql = std::string("PRAGMA encoding='") + GetParam().encoding + "';" + create + ";";
  for (const char* first : cells)
    for (const char* last : lasts)
      for (const char* phone : phones)
        sql += std::string("INSERT INTO ABPersonFullTextSearch_content (c0First, c1Last, c15Phone) "
                           "VALUES (") + first + ", " + last + ", " + phone + ");";
  testdb::Build(path, sql);

  TSQLiteDatabase db(path);
  ContactLiveTest live(db);
  ContactLiveStatements statements(db);
  const std::string firsts[] = {"NULL", std::string("A\0B", 3), "A", "a", "A ", "5", "5.0",
                                " 5", "5 ", "+5", "1e0", "0x5", "5abc", "1.5", "", "it's",
                                std::string("a\0y", 3), std::string("A\0x", 3), "-0",
                                "9007199254740993", "9007199254740992.0", "1e20",
                                "100000000000000000000", "A\0"};
  const std::string lastValues[] = {"NULL", "L", "7", "7.0", "x"};
  const std::string phoneValues[] = {"P", "NULL", "p"};
  int liveCount = 0;
  for (const std::string& first : firsts)
    for (const std::string& last : lastValues)
      for (const std::string& phone : phoneValues) {
        const bool expected = statements.ContactIsLive(first, last, phone);
        EXPECT_EQ(live.ContactIsLive(first, last, phone), expected)
            << "first [" << first << "] last [" << last << "] phone [" << phone << "]";
        liveCount += expected ? 1 : 0;
      }
  EXPECT_GT(liveCount, 5);  // the cases reach both answers
  EXPECT_EQ(live.UsesRowSet(), GetParam().rowSet);
}

INSTANTIATE_TEST_SUITE_P(
    ColumnKinds, ContactLiveRowSetTest,
    ::testing::Values(LiveTableCase{"NoType", "", true}, LiveTableCase{"Text", "TEXT", true},
                      LiveTableCase{"Varchar", "VARCHAR(20)", true},
                      LiveTableCase{"Blob", "BLOB", true},
                      LiveTableCase{"Integer", "INTEGER", true},
                      LiveTableCase{"Numeric", "NUMERIC", true},
                      LiveTableCase{"Real", "REAL", true},
                      LiveTableCase{"NoCase", "TEXT COLLATE NOCASE", true},
                      LiveTableCase{"NumericNoCase", "NUMERIC COLLATE NOCASE", true},
                      LiveTableCase{"RTrim", "COLLATE RTRIM", true},
                      LiveTableCase{"Utf16", "TEXT", false, "UTF-16le"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContactLiveRowSet, TheAddressBooksFullTextTableIsAnsweredFromTheRowSet) {
  testdb::TempDir dir;
  const std::string path = dir.File("ab.db");
  {
    FixtureDb db(path);
    db.Exec(iosfix::kContactsFtsTable);
    iosfix::AddContact(db, 1, std::string("A\0B", 3), std::string("it's"), std::string("P"));
  }
  TSQLiteDatabase db(path);
  ContactLiveTest live(db);
  EXPECT_TRUE(live.ContactIsLive(std::string("A\0B", 3), "it's", "P"));
  EXPECT_TRUE(live.UsesRowSet());
}

TEST(ContactLiveRowSet, AMissingKeyColumnFailsAsTheStatementFails) {
  testdb::TempDir dir;
  const std::string path = dir.File("ab.db");
  testdb::Build(path, "CREATE TABLE ABPersonFullTextSearch_content (docid INTEGER PRIMARY KEY, "
                      "c0First, c1Last)");
  TSQLiteDatabase db(path);
  ContactLiveTest live(db);
  ContactLiveStatements statements(db);
  std::string expected, got;
  try {
    statements.ContactIsLive("A", "B", "C");
  } catch (const ESQLiteException& e) {
    expected = e.what();
  }
  try {
    live.ContactIsLive("A", "B", "C");
  } catch (const ESQLiteException& e) {
    got = e.what();
  }
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(got, expected);
}

TEST(IosContactsSchemaTest, ALiveTableOfFewerThan17ColumnsReportsNoRows) {
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  const std::string path = dir.File("ab.db");
  testdb::Build(path,
                "CREATE TABLE ABPersonFullTextSearch_content(docid INTEGER PRIMARY KEY, "
                "'c0First', 'c1Last', 'c2Middle', 'c3Phone', 'c4Email');"
                "INSERT INTO ABPersonFullTextSearch_content VALUES (1, 'A', 'B', NULL, "
                "'10086 +8610086 008610086 01186100860', NULL);");
  testdb::ScanFixtureState::Target(path);
  RunIosContactsScan(state.view);
  EXPECT_TRUE(state.view.rows.empty());
  EXPECT_TRUE(state.boxes.shown().empty());
  EXPECT_EQ(state.view.TreeText(0), "通讯录(0)");
  EXPECT_EQ(state.view.status[2], "找到 0 条联系人, 0条删除");
}

TEST(IosContactsSchemaTest, AFileWithoutTheTableShowsTheNotFoundText) {
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  const std::string path = dir.File("ab.db");
  testdb::Build(path, "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT);");
  testdb::ScanFixtureState::Target(path);
  RunIosContactsScan(state.view);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "没有找到通讯录，扫描结束！");
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_EQ(state.view.TreeText(0), "通讯录");
  EXPECT_EQ(state.view.TreeText(1), "正常通讯录");
  EXPECT_EQ(state.view.TreeText(2), "删除通讯录");
  EXPECT_TRUE(state.view.IsEnabled(ScanCommand::Start));
}

// The live test reads the table once, at the first carved row: an error
// there ends the scan with an error box before any hit.
TEST_F(IosContactsScanTest, ALiveTestErrorEndsTheScanWithAnErrorBox) {
  Build([](FixtureDb& db) {
    for (int i = 0; i < 3; ++i)
      iosfix::AddContact(db, i + 1, "First" + std::to_string(i), std::string("Last"),
                         PhoneText("10086", "8610086" + std::to_string(i)));
  });
  CarveKind kind = IosContactsKind();
  const auto walk = kind.scanPage;
  kind.scanPage = [&](CarveRun& run, std::size_t pageEnd) {
    testdb::InterruptEveryStatement(*run.database);
    walk(run, pageEnd);
  };
  testdb::ScanFixtureState::Target(path);
  RunCarve(view, kind);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Error);
  EXPECT_TRUE(ContactRecords.empty());
  EXPECT_TRUE(view.rows.empty());
  EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
  EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
}

// Where the live test runs its statement per carved row (a STRICT table
// here, whose column types the row set does not read), an error in a later
// row's statement ends the scan and keeps the hits so far.
TEST_F(IosContactsScanTest, ALiveTestErrorDuringTheWalkKeepsTheHitsSoFar) {
  Build([](FixtureDb& db) {
    db.Exec("DROP TABLE ABPersonFullTextSearch");
    std::string create =
        "CREATE TABLE ABPersonFullTextSearch_content (docid INTEGER PRIMARY KEY, c0First "
        "ANY, c1Last ANY";
    for (int i = 2; i < 23; ++i)
      create += i == 15 ? std::string(", c15Phone ANY") : ", c" + std::to_string(i) + "x ANY";
    db.Exec(create + ") STRICT");
    for (int i = 0; i < 60; ++i)
      db.Run("INSERT INTO ABPersonFullTextSearch_content (docid, c0First, c1Last, c15Phone) "
             "VALUES (?, ?, ?, ?)",
             {std::int64_t{i + 1}, "First" + std::to_string(i), std::string(1200, 'n'),
              PhoneText("10086", "8610086" + std::to_string(i % 10))});
  });
  // After the first hit every live test of the scan's own connection (which
  // holds the file for the walk) fails.
  CarveKind kind = IosContactsKind();
  const auto walk = kind.scanPage;
  bool dropped = false;
  kind.scanPage = [&](CarveRun& run, std::size_t pageEnd) {
    if (!dropped && !ContactRecords.empty()) {
      testdb::InterruptEveryStatement(*run.database);
      dropped = true;
    }
    walk(run, pageEnd);
  };
  testdb::ScanFixtureState::Target(path);
  RunCarve(view, kind);
  ASSERT_TRUE(dropped);
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Error);
  EXPECT_GT(ContactRecords.size(), 0u);
  EXPECT_LT(ContactRecords.size(), 60u);
  EXPECT_EQ(view.rows.size(), ContactRecords.size());
  EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
  EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
}

}  // namespace
}  // namespace velmora
