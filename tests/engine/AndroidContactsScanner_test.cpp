#include "engine/AndroidContactsScanner.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "AndroidFixtures.h"

namespace velmora {
namespace {

using androidtest::InsertName;
using androidtest::InsertPhone;
using androidtest::InsertPhoneValues;
using androidtest::InsertRawContact;
using androidtest::kNull;
using androidtest::Num;

class AndroidContactsScanTest : public androidtest::AndroidScanTest {
 protected:
  std::string path = dir.File("contacts2.db");

  // The phone's tables with its mime types, then `rowsSql` in one
  // transaction, then `afterSql` (deletions).
  void BuildContacts(const std::string& rowsSql, const std::string& afterSql = "",
                     const std::vector<std::string>& mimeTypes = androidtest::kPhoneMimeTypes) {
    testdb::Build(path, std::string(androidtest::kMimeTypesTable) + androidtest::kRawContactsTable +
                            androidtest::kDataTable + androidtest::InsertMimeTypes(mimeTypes) +
                            "BEGIN;" + rowsSql + "COMMIT;" + afterSql);
  }
  void Scan() {
    testdb::ScanFixtureState::Target(path);
    RunAndroidContactsScan(view);
  }
  // Contacts as "name|phone|status", in array order.
  std::vector<std::string> Contacts() const {
    std::vector<std::string> out;
    for (const PtelValue& c : ContactRecords)
      out.push_back(c.Name.str() + "|" + c.Phone.str() + "|" + StatusWord(c.Deleted));
    return out;
  }
};

TEST_F(AndroidContactsScanTest, PhoneRowsArePairedWithTheirNamesInArrayOrder) {
  BuildContacts(InsertRawContact(1, "张伟") + InsertName(1, "张伟") + InsertPhone(1, "13800138000") +
                InsertRawContact(2, "Alice") + InsertName(2, "Alice") + InsertPhone(2, "10086") +
                InsertPhone(2, "95555"));
  SeedTree();
  Scan();

  // Later rows lie lower on the page, so the array holds them first.
  EXPECT_EQ(Contacts(), (std::vector<std::string>{"Alice|95555|正常", "Alice|10086|正常",
                                                  "张伟|13800138000|正常"}));
  ASSERT_EQ(view.rows.size(), 3u);
  EXPECT_EQ(view.rows[2], (std::vector<std::string>{"张伟", "13800138000", "正常"}));
  EXPECT_EQ(ContactDataRows.size(), 5u);
  EXPECT_EQ(NameMimeTypeId, androidtest::kNameId);
  EXPECT_EQ(PhoneMimeTypeId, androidtest::kPhoneId);
  EXPECT_EQ(view.status[0], "扫描完成");
  EXPECT_EQ(view.status[2], "找到 3 条联系人, 0条删除");
  ASSERT_EQ(view.log.size(), 2u);
  EXPECT_EQ(view.log[1].message, "扫描完成,共找到 3 条联系人, 其中有0条删除");
  ExpectUntaggedTree("通讯录(3)", "正常通讯录(3)", "删除通讯录(0)");
  ExpectIdle();
  EXPECT_TRUE(state.boxes.shown().empty());
}

TEST_F(AndroidContactsScanTest, MimeTypeIdsAreThePositionsOfTheirRowsWhateverTheIdColumnHolds) {
  testdb::Build(path, std::string(androidtest::kMimeTypesTable) + androidtest::kDataTable +
                          "INSERT INTO mimetypes VALUES (50, 'vnd.android.cursor.item/email_v2');"
                          "INSERT INTO mimetypes VALUES (60, 'VND.android.cursor.item/Name');"
                          "INSERT INTO mimetypes VALUES (70, 'vnd.android.cursor.item/phone_v2');" +
                          InsertName(8, "Bob", 2) + InsertPhoneValues(Num(8), "110", Num(3)) +
                          InsertPhoneValues(Num(8), "120", Num(70)));
  Scan();
  EXPECT_EQ(NameMimeTypeId, 2);
  EXPECT_EQ(PhoneMimeTypeId, 3);
  EXPECT_EQ(Contacts(), (std::vector<std::string>{"Bob|110|正常"}));
}

TEST_F(AndroidContactsScanTest, NoPhoneMimeTypeEndsBeforeAnyPageIsRead) {
  std::vector<std::string> types = androidtest::kPhoneMimeTypes;
  types[androidtest::kPhoneId - 1] = "vnd.android.cursor.item/phone";
  BuildContacts(InsertName(1, "张伟") + InsertPhone(1, "13800138000"), "", types);
  PutTempCopy("contacts2.db");
  SourceMode = 1;
  Scan();
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  EXPECT_EQ(state.boxes.shown()[0].text, "没有找到通讯录，扫描结束！");
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_TRUE(ContactDataRows.empty());
  EXPECT_EQ(view.progressMax, 0);  // the walk never set its range
  EXPECT_TRUE(HasTempCopy("contacts2.db"));
  ExpectIdle();
}

struct ContactsRejectCase {
  const char* label;
  std::string sql;  // empty: not an SQLite file
  const char* box;
  platform::MbIcon icon;
};

class AndroidContactsRejected : public AndroidContactsScanTest,
                                public ::testing::WithParamInterface<ContactsRejectCase> {};

TEST_P(AndroidContactsRejected, EndsWithTheBoxAndIdleControls) {
  const ContactsRejectCase& c = GetParam();
  WriteRejectedSource(path, c.sql);
  Scan();
  ASSERT_EQ(state.boxes.shown().size(), 1u);
  // The SQLite layer's texts go on with the connection's error.
  EXPECT_EQ(state.boxes.shown()[0].text.rfind(c.box, 0), 0u) << state.boxes.shown()[0].text;
  EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
  EXPECT_EQ(state.boxes.shown()[0].icon, c.icon);
  EXPECT_TRUE(ContactRecords.empty());
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidContactsRejected,
    ::testing::Values(
        ContactsRejectCase{"NotSQLite", "", "无效的数据文件！", platform::MbIcon::Information},
        ContactsRejectCase{"NoDataTable", std::string(androidtest::kMimeTypesTable),
                           "没有找到通讯录，扫描结束！", platform::MbIcon::Information},
        ContactsRejectCase{"EmptyMimeTypes",
                           std::string(androidtest::kMimeTypesTable) + androidtest::kDataTable,
                           "没有找到通讯录，扫描结束！", platform::MbIcon::Information},
        ContactsRejectCase{"NoMimeTypesTable", std::string(androidtest::kDataTable),
                           "Error executing SQL", platform::MbIcon::Error},
        ContactsRejectCase{"NoMimeTypeColumn",
                           std::string(androidtest::kDataTable) +
                               "CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY, kind TEXT);"
                               "INSERT INTO mimetypes (kind) VALUES ('x');",
                           "Field not found in dataset: mimetype", platform::MbIcon::Error}),
    [](const auto& info) { return std::string(info.param.label); });

struct Data1Case {
  const char* label;
  std::size_t length;
  bool kept;
};

class AndroidContactsData1 : public AndroidContactsScanTest,
                             public ::testing::WithParamInterface<Data1Case> {};

// Every serial type of the candidate test is one byte: a text of 58 bytes
// needs two (serial type 129), so it fails; 57 bytes is 127 and passes.
TEST_P(AndroidContactsData1, OnlyTextsUpTo57BytesPassTheSingleByteTest) {
  const Data1Case& c = GetParam();
  const std::string name(c.length, 'n');
  BuildContacts(InsertName(1, name) + InsertPhone(1, "10086"));
  Scan();
  bool nameKept = false;
  for (const PAlltelvalue& r : ContactDataRows) nameKept |= r.Data1 == name;
  EXPECT_EQ(nameKept, c.kept);
  EXPECT_EQ(ContactRecords.size(), c.kept ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, AndroidContactsData1,
                         ::testing::Values(Data1Case{"Bytes57", 57, true},
                                           Data1Case{"Bytes58", 58, false},
                                           Data1Case{"Bytes300", 300, false}),
                         [](const auto& info) { return std::string(info.param.label); });

struct MimeIdCase {
  const char* label;
  std::string mimeType;
  std::string rawContact;
  bool kept;
};

class AndroidContactsRowChecks : public AndroidContactsScanTest,
                                 public ::testing::WithParamInterface<MimeIdCase> {};

// The data table without NOT NULL on the two key columns, so that NULL
// values can be stored.
constexpr const char* kLooseDataTable =
    "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER,mimetype_id "
    "INTEGER,raw_contact_id INTEGER,is_primary INTEGER NOT NULL DEFAULT 0,data_version INTEGER "
    "NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,data3 TEXT,data4 TEXT );";

TEST_P(AndroidContactsRowChecks, MimeTypeAndRawContactIdDecideWhetherARowIsKept) {
  const MimeIdCase& c = GetParam();
  testdb::Build(path, std::string(androidtest::kMimeTypesTable) + kLooseDataTable +
                          androidtest::InsertMimeTypes(androidtest::kPhoneMimeTypes) +
                          InsertPhoneValues(c.rawContact, "10086", c.mimeType));
  Scan();
  ASSERT_EQ(ContactDataRows.size(), c.kept ? 1u : 0u);
  if (c.kept) {
    EXPECT_EQ(ContactDataRows[0].Data1, "10086");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidContactsRowChecks,
    ::testing::Values(MimeIdCase{"Mime1", Num(1), Num(4), true},
                      MimeIdCase{"Mime11", Num(11), Num(4), true},
                      MimeIdCase{"Mime12", Num(12), Num(4), false},
                      MimeIdCase{"Mime0", Num(0), Num(4), false},
                      MimeIdCase{"MimeNull", kNull, Num(4), false},
                      MimeIdCase{"MimeMinus1", Num(-1), Num(4), true},
                      MimeIdCase{"RawNull", Num(5), kNull, false},
                      MimeIdCase{"RawAbove32Bits", Num(5), Num(4294967296LL), false},
                      MimeIdCase{"RawLargest32Bit", Num(5), Num(2147483647), true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AndroidContactsScanTest, RequiredIntegerColumnsTakeEightByteIntegersButNeverFloats) {
  // is_primary is declared with a default, so Required.
  BuildContacts(InsertName(1, "Ann") +
                "INSERT INTO data (mimetype_id, raw_contact_id, is_primary, data1) VALUES "
                "(5, 1, 1125899906842624, '111'), (5, 1, 1.5, '222');");
  Scan();
  EXPECT_EQ(Contacts(), (std::vector<std::string>{"Ann|111|正常"}));
}

struct StatusCase {
  const char* label;
  std::string deleteSql;
  std::string status;
};

class AndroidContactsStatus : public AndroidContactsScanTest,
                              public ::testing::WithParamInterface<StatusCase> {};

TEST_P(AndroidContactsStatus, AContactIsDeletedOnlyWhenBothRowsAre) {
  const StatusCase& c = GetParam();
  // Another contact keeps the page a table leaf with cells.
  BuildContacts(InsertName(1, "张伟") + InsertPhone(1, "13800138000") + InsertName(2, "Keep") +
                    InsertPhone(2, "12345"),
                c.deleteSql);
  Scan();
  ASSERT_EQ(ContactRecords.size(), 2u);
  std::string status;
  for (const PtelValue& r : ContactRecords) {
    if (r.Name == "张伟") status = StatusWord(r.Deleted);
  }
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(view.TreeText(2), c.status == "删除" ? "删除通讯录(1)" : "删除通讯录(0)");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidContactsStatus,
    ::testing::Values(
        StatusCase{"BothLive", "", "正常"},
        StatusCase{"PhoneDeleted", "DELETE FROM data WHERE data1 = '13800138000';", "正常"},
        StatusCase{"NameDeleted", "DELETE FROM data WHERE data1 = '张伟';", "正常"},
        StatusCase{"BothDeleted", "DELETE FROM data WHERE raw_contact_id = 1;", "删除"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AndroidContactsScanTest, TheFirstKeptNameRowNamesEveryPhoneRowOfItsContact) {
  // The second name row lies lower on the page, so it is kept first.
  BuildContacts(InsertName(3, "First") + InsertName(3, "Second") + InsertPhone(3, "111") +
                InsertPhone(3, "222"));
  Scan();
  EXPECT_EQ(Contacts(), (std::vector<std::string>{"Second|222|正常", "Second|111|正常"}));
}

// Raw contact ids that lie close together and ids spread over the whole
// 32-bit range are joined alike: every phone row, in array order, with the
// first kept name row of its id, as a search of the kept rows from the first
// one finds it; phone ids below, between and above the names' ids find none.
struct JoinIdsCase {
  const char* name;
  std::vector<int> nameIds;
  std::vector<int> phoneIds;
};
std::ostream& operator<<(std::ostream& os, const JoinIdsCase& c) { return os << c.name; }

class AndroidContactsJoinIds : public AndroidContactsScanTest,
                               public ::testing::WithParamInterface<JoinIdsCase> {};

TEST_P(AndroidContactsJoinIds, EveryPhoneRowGetsTheFirstNameRowOfItsId) {
  std::string rows;
  int n = 0;
  for (const int id : GetParam().nameIds) rows += InsertName(id, "n" + std::to_string(n++));
  for (const int id : GetParam().phoneIds) rows += InsertPhone(id, "p" + std::to_string(n++));
  BuildContacts(rows);
  Scan();

  std::vector<std::string> expected;
  for (const PAlltelvalue& phone : ContactDataRows) {
    if (phone.MimeTypeId != PhoneMimeTypeId) continue;
    for (const PAlltelvalue& name : ContactDataRows) {
      if (name.MimeTypeId == NameMimeTypeId && name.RawContactId == phone.RawContactId) {
        expected.push_back(name.Data1.str() + "|" + phone.Data1.str() + "|正常");
        break;
      }
    }
  }
  EXPECT_EQ(ContactDataRows.size(), GetParam().nameIds.size() + GetParam().phoneIds.size());
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(Contacts(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AndroidContactsJoinIds,
    ::testing::Values(
        JoinIdsCase{"CloseTogether", {5, 6, 6, 8, 9, 12, 7}, {4, 5, 6, 7, 8, 10, 12, 13, 6}},
        JoinIdsCase{"SpreadOver32Bits",
                    {1, 100000, 2147483647, -2147483647 - 1, -1, 0, 100000},
                    {0, -1, 2, 100000, 2147483647, -2147483647 - 1, 99999, -2, 1}},
        JoinIdsCase{"OneName", {42}, {41, 42, 43, 42}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AndroidContactsScanTest, NamesWithoutPhonesGiveNothingAndPhonesWithoutNamesOnlyTheStatus) {
  BuildContacts(InsertName(1, "Lonely"));
  view.status[2] = "earlier";
  Scan();
  EXPECT_TRUE(ContactRecords.empty());
  EXPECT_EQ(ContactDataRows.size(), 1u);
  EXPECT_EQ(view.status[2], "earlier");
  EXPECT_EQ(view.TreeText(0), "通讯录(0)");

  BuildContacts(InsertName(1, "Lonely") + InsertPhone(2, "10086"));
  Scan();
  EXPECT_TRUE(ContactRecords.empty());
  EXPECT_EQ(view.status[2], "找到 0 条联系人, 0条删除");
}

TEST_F(AndroidContactsScanTest, ContactRecordsAreReplacedFromIndexZeroOnlyWhenTheJoinFindsOne) {
  ContactRecords.assign(5, PtelValue{"old", "000", false});
  BuildContacts(InsertName(1, "Lonely"));
  Scan();
  EXPECT_EQ(ContactRecords.size(), 5u);

  BuildContacts(InsertName(1, "Ann") + InsertPhone(1, "111"));
  Scan();
  EXPECT_EQ(Contacts(), (std::vector<std::string>{"Ann|111|正常"}));
}

TEST_F(AndroidContactsScanTest, AMissingKeyColumnReadsEmpty) {
  testdb::Build(path, std::string(androidtest::kMimeTypesTable) +
                          "CREATE TABLE data (_id INTEGER PRIMARY KEY,mimetype_id "
                          "INTEGER,raw_contact_id INTEGER,value TEXT,data2 TEXT );" +
                          androidtest::InsertMimeTypes(androidtest::kPhoneMimeTypes) +
                          "INSERT INTO data (mimetype_id, raw_contact_id, value) VALUES (7, 1, "
                          "'Ann'), (5, 1, '111');");
  Scan();
  EXPECT_EQ(Contacts(), (std::vector<std::string>{"||正常"}));
}

TEST_F(AndroidContactsScanTest, StopDuringTheWalkJoinsTheRowsSoFarAndDeletesTheCopyInBackupMode) {
  std::string rows;
  for (int i = 1; i <= 300; ++i)
    rows += InsertName(i, "Name" + std::to_string(i)) + InsertPhone(i, "1380013" + std::to_string(1000 + i));
  BuildContacts(rows);
  PutTempCopy("contacts2.db");
  SourceMode = 1;
  view.onPump = [this] {
    if (view.progressPosition >= 8) ScanStopRequested = true;  // the user presses Stop
  };
  Scan();
  EXPECT_GT(ContactRecords.size(), 0u);
  EXPECT_LT(ContactRecords.size(), 300u);
  EXPECT_EQ(view.TreeText(0), "通讯录(" + std::to_string(ContactRecords.size()) + ")");
  EXPECT_EQ(view.status[0], "扫描完成");
  ExpectIdle();
  EXPECT_FALSE(HasTempCopy("contacts2.db"));
}

TEST_F(AndroidContactsScanTest, FileModeDeletesNothing) {
  BuildContacts(InsertName(1, "Ann") + InsertPhone(1, "111"));
  PutTempCopy("contacts2.db");
  SourceMode = 0;
  Scan();
  EXPECT_EQ(ContactRecords.size(), 1u);
  EXPECT_TRUE(HasTempCopy("contacts2.db"));
}

}  // namespace
}  // namespace velmora
