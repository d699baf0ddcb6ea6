// Fixtures of the Android scanner tests: the tables of an Android 4.x phone
// (calls of contacts2.db, sms of mmssms.db, data / mimetypes / raw_contacts
// of contacts2.db) as the phone creates them, row builders, and a fixture
// base with a program folder of its own for the temporary-copy tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestDb.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidTemporaryCopy.h"

namespace velmora::androidtest {

using testdb::Quote;

// SQL literal of a value: "\0NULL" stores NULL, a text starting with "#"
// stores the rest as a number (or any SQL expression), else a text literal.
inline std::string Sql(const std::string& v) {
  if (v == testdb::kSqlNull) return "NULL";
  if (!v.empty() && v[0] == '#') return v.substr(1);
  return Quote(v);
}
inline std::string Num(std::int64_t v) { return "#" + std::to_string(v); }
inline const std::string kNull = testdb::kSqlNull;

// ---------------------------------------------------------------- calls

// The call log table of contacts2.db (Android 4.4).
inline constexpr const char* kCallsTable =
    "CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT,number TEXT,presentation INTEGER "
    "NOT NULL DEFAULT 1,date INTEGER,duration INTEGER,type INTEGER,new INTEGER,name TEXT,numbertype "
    "INTEGER,numberlabel TEXT,countryiso TEXT,voicemail_uri TEXT,is_read INTEGER,geocoded_location "
    "TEXT,lookup_uri TEXT,matched_number TEXT,normalized_number TEXT,photo_id INTEGER NOT NULL "
    "DEFAULT 0,formatted_number TEXT,_data TEXT,has_content INTEGER,mime_type TEXT,source_data "
    "TEXT,source_package TEXT,state INTEGER);";

struct AndroidCall {
  std::string number = "13800138000";
  std::string date = Num(1400000000000);  // ms since 1970-01-01
  std::string duration = Num(60);
  std::string type = Num(1);
  std::string name = "张伟";
};

inline std::string InsertCall(const AndroidCall& c) {
  return "INSERT INTO calls (number, presentation, date, duration, type, new, name, numbertype, "
         "numberlabel, countryiso, is_read, geocoded_location, normalized_number, photo_id, "
         "formatted_number) VALUES (" +
         Sql(c.number) + ", 1, " + Sql(c.date) + ", " + Sql(c.duration) + ", " + Sql(c.type) +
         ", 0, " + Sql(c.name) + ", 2, NULL, 'CN', 1, '北京', '+86' || " + Sql(c.number) +
         ", 0, " + Sql(c.number) + ");";
}

// ---------------------------------------------------------------- sms

// The sms table of an Android 4.x phone whose system adds its own columns
// after the platform's 18 (30 columns, date_sent after date).
inline constexpr const char* kSms4xTable =
    "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person "
    "INTEGER,date INTEGER,date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT "
    "0,status INTEGER DEFAULT -1,type INTEGER,reply_path_present INTEGER,subject TEXT,body "
    "TEXT,service_center TEXT,locked INTEGER DEFAULT 0,error_code INTEGER DEFAULT 0,creator "
    "TEXT,seen INTEGER DEFAULT 0,sim_id INTEGER DEFAULT -1,ipmsg_id INTEGER DEFAULT 0,ref_id "
    "INTEGER,total_len INTEGER,rec_len INTEGER,m_size INTEGER DEFAULT 0,sub_id INTEGER DEFAULT "
    "-1,priority INTEGER DEFAULT -1,group_id INTEGER DEFAULT 0,lock_state INTEGER DEFAULT "
    "0,deleted INTEGER DEFAULT 0,sync_state INTEGER DEFAULT 0);";

// The message table of mmssms.db (Android 4.4).
inline constexpr const char* kSmsTable =
    "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person "
    "INTEGER,date INTEGER,date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT "
    "0,status INTEGER DEFAULT -1,type INTEGER,reply_path_present INTEGER,subject TEXT,body "
    "TEXT,service_center TEXT,locked INTEGER DEFAULT 0,error_code INTEGER DEFAULT 0,creator "
    "TEXT,seen INTEGER DEFAULT 0);"
    "CREATE TABLE threads (_id INTEGER PRIMARY KEY AUTOINCREMENT,date INTEGER DEFAULT 0,"
    "message_count INTEGER DEFAULT 0,recipient_ids TEXT,snippet TEXT,snippet_cs INTEGER DEFAULT "
    "0,read INTEGER DEFAULT 1,archived INTEGER DEFAULT 0,type INTEGER DEFAULT 0,error INTEGER "
    "DEFAULT 0,has_attachment INTEGER DEFAULT 0);"
    "CREATE TABLE canonical_addresses (_id INTEGER PRIMARY KEY AUTOINCREMENT,address TEXT);";

struct AndroidSms {
  std::string address = "10086";
  std::string date = Num(1400000000000);  // ms since 1970-01-01
  std::string type = Num(1);
  std::string body = "您好，您的话费余额为 12.50 元。";
};

inline std::string InsertSms(const AndroidSms& m) {
  return "INSERT INTO sms (thread_id, address, person, date, date_sent, protocol, read, status, "
         "type, reply_path_present, body, service_center, locked, error_code, creator, seen) "
         "VALUES (1, " +
         Sql(m.address) + ", NULL, " + Sql(m.date) + ", 0, 0, 1, -1, " + Sql(m.type) + ", 0, " +
         Sql(m.body) + ", '+8613800100500', 0, 0, 'com.android.mms', 1);";
}

// ---------------------------------------------------------------- contacts

// The contact data tables of contacts2.db (Android 4.x). The data table ends
// its CREATE text with " )", as the phone writes it.
inline constexpr const char* kDataTable =
    "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER REFERENCES "
    "package(_id),mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,raw_contact_id INTEGER "
    "REFERENCES raw_contacts(_id) NOT NULL,is_read_only INTEGER NOT NULL DEFAULT 0,is_primary "
    "INTEGER NOT NULL DEFAULT 0,is_super_primary INTEGER NOT NULL DEFAULT 0,data_version INTEGER "
    "NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,data3 TEXT,data4 TEXT,data5 TEXT,data6 TEXT,data7 "
    "TEXT,data8 TEXT,data9 TEXT,data10 TEXT,data11 TEXT,data12 TEXT,data13 TEXT,data14 TEXT,data15 "
    "TEXT,data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, data_sync4 TEXT );";
inline constexpr const char* kMimeTypesTable =
    "CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT,mimetype TEXT NOT NULL);"
    "CREATE UNIQUE INDEX mime_type ON mimetypes (mimetype);";
inline constexpr const char* kRawContactsTable =
    "CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY AUTOINCREMENT,account_id INTEGER "
    "REFERENCES accounts(_id) DEFAULT 1,sourceid TEXT,raw_contact_is_read_only INTEGER NOT NULL "
    "DEFAULT 0,version INTEGER NOT NULL DEFAULT 1,dirty INTEGER NOT NULL DEFAULT 0,deleted "
    "INTEGER NOT NULL DEFAULT 0,contact_id INTEGER REFERENCES contacts(_id),aggregation_mode "
    "INTEGER NOT NULL DEFAULT 0,aggregation_needed INTEGER NOT NULL DEFAULT 1,custom_ringtone "
    "TEXT,send_to_voicemail INTEGER NOT NULL DEFAULT 0,times_contacted INTEGER NOT NULL DEFAULT "
    "0,last_time_contacted INTEGER,starred INTEGER NOT NULL DEFAULT 0,display_name "
    "TEXT,display_name_alt TEXT,display_name_source INTEGER NOT NULL DEFAULT 0,phonetic_name "
    "TEXT,phonetic_name_style TEXT,sort_key TEXT,sort_key_alt TEXT,name_verified INTEGER NOT NULL "
    "DEFAULT 0,sync1 TEXT, sync2 TEXT, sync3 TEXT, sync4 TEXT );";

inline constexpr const char* kNameMime = "vnd.android.cursor.item/name";
inline constexpr const char* kPhoneMime = "vnd.android.cursor.item/phone_v2";

// The mime types in the order a 4.x phone registers them: phone_v2 is the
// 5th row, name the 7th, note the 12th.
inline const std::vector<std::string> kPhoneMimeTypes = {
    "vnd.android.cursor.item/email_v2",         "vnd.android.cursor.item/im",
    "vnd.android.cursor.item/nickname",         "vnd.android.cursor.item/organization",
    kPhoneMime,                                 "vnd.android.cursor.item/sip_address",
    kNameMime,                                  "vnd.android.cursor.item/postal-address_v2",
    "vnd.android.cursor.item/identity",         "vnd.android.cursor.item/photo",
    "vnd.android.cursor.item/group_membership", "vnd.android.cursor.item/note"};
inline constexpr int kPhoneId = 5;
inline constexpr int kNameId = 7;

inline std::string InsertMimeTypes(const std::vector<std::string>& types) {
  std::string sql;
  for (const std::string& t : types) sql += "INSERT INTO mimetypes (mimetype) VALUES (" + Quote(t) + ");";
  return sql;
}

inline std::string InsertRawContact(int id, const std::string& displayName) {
  return "INSERT INTO raw_contacts (_id, account_id, sourceid, contact_id, display_name, "
         "display_name_alt, display_name_source, sort_key, sort_key_alt) VALUES (" +
         std::to_string(id) + ", 1, NULL, " + std::to_string(id) + ", " + Quote(displayName) + ", " +
         Quote(displayName) + ", 40, " + Quote(displayName) + ", " + Quote(displayName) + ");";
}

// A name row (data1 the display name, data2/data3 given and family name).
inline std::string InsertName(int rawContactId, const std::string& name, int mimeTypeId = kNameId) {
  return "INSERT INTO data (package_id, mimetype_id, raw_contact_id, is_primary, data_version, "
         "data1, data2, data3, data10, data11) VALUES (NULL, " +
         std::to_string(mimeTypeId) + ", " + std::to_string(rawContactId) + ", 0, 0, " +
         Quote(name) + ", " + Quote(name) + ", NULL, '1', '0');";
}

// A phone row (data1 the number as typed, data2 its type, data4 the
// normalized number). mimeType and rawContact take SQL values (Sql()).
inline std::string InsertPhoneValues(const std::string& rawContact, const std::string& number,
                                     const std::string& mimeType = Num(kPhoneId)) {
  return "INSERT INTO data (package_id, mimetype_id, raw_contact_id, is_primary, data_version, "
         "data1, data2, data4) VALUES (NULL, " +
         Sql(mimeType) + ", " + Sql(rawContact) + ", 1, 0, " + Sql(number) + ", '2', " +
         Quote("+86" + number) + ");";
}
inline std::string InsertPhone(int rawContactId, const std::string& number) {
  return InsertPhoneValues(Num(rawContactId), number);
}

// ---------------------------------------------------------------- fixture

// A file the scanner rejects (RejectedSource) and the box it shows.
struct RejectCase {
  const char* label;
  std::string sql;  // empty: not an SQLite file
  const char* box;
};

// A scanner test: its own folder, the scan state, and a program folder in
// that folder with a temp/ subfolder for the temporary copies.
class AndroidScanTest : public ::testing::Test {
 protected:
  testdb::TempDir dir;
  testdb::ScanFixtureState state;
  RecordingScanView& view = state.view;
  std::string programFolder = dir.File("program") + "/";

  AndroidScanTest() {
    std::filesystem::create_directories(programFolder + "temp");
    SetProgramFolder(programFolder);
  }
  ~AndroidScanTest() override { SetProgramFolder(""); }

  std::string TempCopy(const std::string& name) const { return programFolder + "temp/" + name; }
  void PutTempCopy(const std::string& name) const { std::ofstream(TempCopy(name)) << "copy"; }
  bool HasTempCopy(const std::string& name) const { return std::filesystem::exists(TempCopy(name)); }

  // The result row whose first cell is `first`, or null.
  const std::vector<std::string>* RowOf(const std::string& first) const {
    for (const auto& r : view.rows)
      if (!r.empty() && r[0] == first) return &r;
    return nullptr;
  }

  // A source file the scanner rejects: the database `sql` builds, or with no
  // sql a page of bytes that is no SQLite file.
  static void WriteRejectedSource(const std::string& path, const std::string& sql) {
    if (sql.empty())
      std::ofstream(path) << std::string(4096, 'x');
    else
      testdb::Build(path, sql);
  }

  // Exactly one box was shown: `text`, captioned "提示", with the information icon.
  void ExpectOneInformationBox(const std::string& text) const {
    ASSERT_EQ(state.boxes.shown().size(), 1u);
    EXPECT_EQ(state.boxes.shown()[0].text, text);
    EXPECT_EQ(state.boxes.shown()[0].caption, "提示");
    EXPECT_EQ(state.boxes.shown()[0].icon, platform::MbIcon::Information);
  }

  // Pre-existing tree nodes of an earlier scan, with tags.
  void SeedTree() { view.TreeInsertRootFirst("微信", "正常微信", "删除微信", kKindWeChat); }

  void ExpectIdle() const {
    EXPECT_TRUE(ScanStopRequested);
    EXPECT_TRUE(ScanEnabled);
    EXPECT_TRUE(view.IsEnabled(ScanCommand::Start));
    EXPECT_FALSE(view.IsEnabled(ScanCommand::Stop));
    EXPECT_EQ(view.IsEnabled(ScanCommand::Recover), !view.rows.empty());
  }
  // The three untagged nodes of this kind, and nothing else.
  void ExpectUntaggedTree(const std::string& root, const std::string& live,
                          const std::string& deleted) const {
    ASSERT_EQ(view.tree.size(), 3u);
    EXPECT_EQ(view.TreeText(0), root);
    EXPECT_EQ(view.TreeText(1), live);
    EXPECT_EQ(view.TreeText(2), deleted);
    for (const auto& node : view.tree) EXPECT_FALSE(node.tag.has_value());
    EXPECT_TRUE(view.treeExpanded);
  }
};

}  // namespace velmora::androidtest
