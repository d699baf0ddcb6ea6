// The export writer: the bytes of each kind's file, the queue walk, the
// replacement of earlier files and the stop at a file that cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/Export.h"
#include "engine/ScanContext.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// GB18030 bytes of the words the lines use.
const std::string kLive = "\xD5\xFD\xB3\xA3";       // 正常
const std::string kDeleted = "\xC9\xBE\xB3\xFD";    // 删除
const std::string kZhangSan = "\xD5\xC5\xC8\xFD";   // 张三
const std::string kReceived = "\xBD\xD3\xCA\xD5";   // 接收
const std::string kOutgoing = "\xBA\xF4\xB3\xF6";   // 呼出
const std::string kSent = "\xB7\xA2\xCB\xCD";       // 发送

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetScanContext();
    char tmpl[] = "/tmp/velmora-export-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    folder_ = dir_.string() + "/";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    ResetScanContext();
  }
  fs::path File(const char* name) const { return dir_ / fs::u8path(name); }

  fs::path dir_;
  std::string folder_;
};

TEST(ExportFileNameTest, OneNamePerKind) {
  EXPECT_STREQ(ExportFileName(kKindContacts), "电话本.txt");
  EXPECT_STREQ(ExportFileName(kKindMessages), "短信.txt");
  EXPECT_STREQ(ExportFileName(kKindCalls), "通话记录.txt");
  EXPECT_STREQ(ExportFileName(kKindWeChat), "微信.txt");
  EXPECT_STREQ(ExportFileName(4), "");
}

TEST_F(ExportTest, ContactsLiveAndDeletedGiveTwoLines) {
  ContactRecords = {{"张三", "13800000000", false}, {"Li", "+86 10 1234", true}};
  ScanKinds = {kKindContacts};
  const ExportOutcome out = ExportResults(folder_);
  ASSERT_TRUE(out.Ok) << out.Error;
  EXPECT_EQ(ReadBytes(File("电话本.txt")),
            kZhangSan + "\t13800000000\t" + kLive + "\r\n" + "Li\t+86 10 1234\t" + kDeleted +
                "\r\n");
  ASSERT_EQ(out.FilesWritten.size(), 1u);
}

TEST_F(ExportTest, EachKindsFieldsInOrder) {
  SmsRecords = {{"+8613900000000", "2014-03-05 12:34:56", "接收", "body\twith tab\nand line", true}};
  CallRecords = {{"张三", "10086", "呼出", "65", "2014-03-05 12:00:00", false}};
  WeChatRecords = {{"", "2015-01-02 03:04:05", "发送", "<msg><voicemsg/></msg>", false}};
  ScanKinds = {kKindMessages, kKindCalls, kKindWeChat};
  const ExportOutcome out = ExportResults(folder_);
  ASSERT_TRUE(out.Ok) << out.Error;
  // Messages: address, date, type, status, body (TAB and LF inside kept).
  EXPECT_EQ(ReadBytes(File("短信.txt")), "+8613900000000\t2014-03-05 12:34:56\t" + kReceived +
                                             "\t" + kDeleted + "\tbody\twith tab\nand line\r\n");
  // Calls: number, name, date, duration, type, status last.
  EXPECT_EQ(ReadBytes(File("通话记录.txt")),
            "10086\t" + kZhangSan + "\t2014-03-05 12:00:00\t65\t" + kOutgoing + "\t" + kLive +
                "\r\n");
  // WeChat: an empty first field, date, type, status, message.
  EXPECT_EQ(ReadBytes(File("微信.txt")),
            "\t2015-01-02 03:04:05\t" + kSent + "\t" + kLive + "\t<msg><voicemsg/></msg>\r\n");
  EXPECT_EQ(ScanKind, kKindWeChat);
  EXPECT_EQ(out.FilesWritten.size(), 3u);
}

TEST_F(ExportTest, CharactersBeyondGbkKeepTheirGb18030Bytes) {
  WeChatRecords = {{"", "d", "t", "\xE2\x82\xAC \xF0\x9F\x98\x80", false}};  // € and an emoji
  ScanKinds = {kKindWeChat};
  ASSERT_TRUE(ExportResults(folder_).Ok);
  const std::string bytes = ReadBytes(File("微信.txt"));
  EXPECT_NE(bytes.find("\xA2\xE3 \x94\x39\xFC\x36"), std::string::npos);
  EXPECT_EQ(bytes.find('?'), std::string::npos);
  EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");  // no byte-order mark
}

TEST_F(ExportTest, KindsWithoutRecordsWriteNothingAndLeaveOldFiles) {
  WriteBytes(File("短信.txt"), "old");
  ContactRecords = {{"a", "1", false}};
  ScanKinds = {kKindMessages, kKindContacts, kKindCalls, 7};
  const ExportOutcome out = ExportResults(folder_);
  ASSERT_TRUE(out.Ok);
  EXPECT_EQ(ReadBytes(File("短信.txt")), "old");
  EXPECT_FALSE(fs::exists(File("通话记录.txt")));
  EXPECT_TRUE(fs::exists(File("电话本.txt")));
  EXPECT_EQ(out.FilesWritten.size(), 1u);
}

TEST_F(ExportTest, EmptyQueueWritesNothing) {
  ContactRecords = {{"a", "1", false}};
  const ExportOutcome out = ExportResults(folder_);
  EXPECT_TRUE(out.Ok);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(ExportTest, SecondExportReplacesTheFiles) {
  ContactRecords = {{"first", "1", false}, {"second", "2", false}, {"third", "3", true}};
  ScanKinds = {kKindContacts};
  ASSERT_TRUE(ExportResults(folder_).Ok);
  ContactRecords = {{"only", "9", false}};
  ASSERT_TRUE(ExportResults(folder_).Ok);
  EXPECT_EQ(ReadBytes(File("电话本.txt")), "only\t9\t" + kLive + "\r\n");
}

TEST_F(ExportTest, DuplicateQueueEntryWritesTheSameFileTwice) {
  CallRecords = {{"n", "1", "t", "0", "d", false}};
  ScanKinds = {kKindCalls, kKindCalls};
  const ExportOutcome out = ExportResults(folder_);
  ASSERT_TRUE(out.Ok);
  EXPECT_EQ(out.FilesWritten.size(), 2u);
  EXPECT_EQ(ReadBytes(File("通话记录.txt")), "1\tn\td\t0\tt\t" + kLive + "\r\n");
}

TEST_F(ExportTest, AFileThatCannotBeCreatedStopsTheExport) {
  ContactRecords = {{"a", "1", false}};
  SmsRecords = {{"b", "d", "t", "x", false}};
  CallRecords = {{"n", "1", "t", "0", "d", false}};
  ScanKinds = {kKindContacts, kKindMessages, kKindCalls};
  fs::create_directory(File("短信.txt"));  // a folder of the same name
  const ExportOutcome out = ExportResults(folder_);
  EXPECT_FALSE(out.Ok);
  EXPECT_NE(out.Error.find("短信.txt"), std::string::npos) << out.Error;
  EXPECT_NE(out.Error.find("Is a directory"), std::string::npos) << out.Error;
  EXPECT_TRUE(fs::exists(File("电话本.txt")));     // written before the failure: stays
  EXPECT_FALSE(fs::exists(File("通话记录.txt")));  // after it: never written
  EXPECT_EQ(out.FilesWritten.size(), 1u);
}

TEST_F(ExportTest, AMissingFolderIsReported) {
  ContactRecords = {{"a", "1", false}};
  ScanKinds = {kKindContacts};
  const ExportOutcome out = ExportResults(folder_ + "no-such-folder/");
  EXPECT_FALSE(out.Ok);
  EXPECT_NE(out.Error.find("No such file or directory"), std::string::npos) << out.Error;
}

TEST_F(ExportTest, PumpRunsBeforeEachBatchOfRecords) {
  ContactRecords.assign(5, {"a", "1", false});
  WeChatRecords.assign(129, {"", "d", "t", "m", true});
  ScanKinds = {kKindContacts, kKindWeChat};
  int pumps = 0;
  ASSERT_TRUE(ExportResults(folder_, [&] { ++pumps; }).Ok);
  EXPECT_EQ(pumps, 1 + 3);  // records 0 of the first; 0, 64 and 128 of the second
}

TEST_F(ExportTest, ArraysEmptiedInsideThePumpEndTheKindSafely) {
  ContactRecords.assign(200, {"a", "1", false});
  ScanKinds = {kKindContacts};
  int pumps = 0;
  const ExportOutcome out = ExportResults(folder_, [&] {
    if (++pumps == 2) ContactRecords.clear();  // the pump before record 64
  });
  EXPECT_TRUE(out.Ok);
  std::string expected;
  for (int i = 0; i < 64; ++i) expected += "a\t1\t" + kLive + "\r\n";
  EXPECT_EQ(ReadBytes(File("电话本.txt")), expected);
}

TEST_F(ExportTest, LargeExportSpansManyChunks) {
  ContactRecords.assign(200000, {"张三", "13800000000", true});
  ScanKinds = {kKindContacts};
  ASSERT_TRUE(ExportResults(folder_).Ok);
  const std::string line = kZhangSan + "\t13800000000\t" + kDeleted + "\r\n";
  const std::string bytes = ReadBytes(File("电话本.txt"));
  ASSERT_EQ(bytes.size(), line.size() * 200000);
  EXPECT_EQ(bytes.substr(0, line.size()), line);
  EXPECT_EQ(bytes.substr(bytes.size() - line.size()), line);
  EXPECT_EQ(bytes.find('?'), std::string::npos);
}

}  // namespace
}  // namespace velmora
