// The profile-style INI reader and writer on files in a scratch folder: what a
// missing file, section or key reads, names without regard to case, and writes
// that change one line and keep every other byte.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/IniFile.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "inifile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "config.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(IniFileTest, MissingFileReadsDefaultAndIsNotCreated) {
  const IniFile ini(path_);
  EXPECT_EQ(ini.Read("main", "ver"), std::nullopt);
  EXPECT_EQ(ini.ReadString("main", "ver", "0"), "0");
  EXPECT_FALSE(fs::exists(path_));
}

struct ReadCase {
  const char* name;
  const char* file;
  const char* section;
  const char* key;
  std::optional<std::string> value;
};

class IniRead : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniRead, FindsValue) {
  Put(GetParam().file);
  EXPECT_EQ(IniFile(path_).Read(GetParam().section, GetParam().key), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    ::testing::Values(
        ReadCase{"CrLf", "[main]\r\nver=2.0\r\n", "main", "ver", "2.0"},
        ReadCase{"LfOnly", "[main]\nver=2.0\n", "main", "ver", "2.0"},
        ReadCase{"NoFinalLineEnd", "[main]\nver=2.0", "main", "ver", "2.0"},
        ReadCase{"SectionAnyCase", "[MAIN]\r\nver=1\r\n", "Main", "ver", "1"},
        ReadCase{"KeyAnyCase", "[main]\r\nUpdateURL=http://h/x\r\n", "IOSver", "updateurl",
                 std::nullopt},
        ReadCase{"KeyAnyCaseInItsSection", "[IOSver]\r\nUpdateURL=http://h/x\r\n", "iosver",
                 "UPDATEURL", "http://h/x"},
        ReadCase{"BlanksAroundTrimmed", "[ main ]\r\n  ver =  2.0   \r\n", "main", "ver", "2.0"},
        ReadCase{"QuotesDropped", "[main]\r\ntitle=\" a b \"\r\n", "main", "title", " a b "},
        ReadCase{"EmptyValue", "[main]\r\ndate=\r\n", "main", "date", ""},
        ReadCase{"EqualsInValue", "[main]\r\nurl=a=b\r\n", "main", "url", "a=b"},
        ReadCase{"MissingSection", "[other]\r\nver=1\r\n", "main", "ver", std::nullopt},
        ReadCase{"MissingKey", "[main]\r\nversion=1\r\n", "main", "ver", std::nullopt},
        ReadCase{"KeyOfLaterSectionNotSeen", "[main]\r\na=1\r\n[other]\r\nver=1\r\n", "main",
                 "ver", std::nullopt},
        ReadCase{"LinesBeforeAnySectionIgnored", "ver=9\r\n[main]\r\n", "main", "ver",
                 std::nullopt},
        ReadCase{"CommentNotAKey", "[main]\r\n;ver=9\r\n", "main", ";ver", std::nullopt},
        ReadCase{"FirstOfDuplicates", "[main]\r\nver=1\r\nver=2\r\n[main]\r\nver=3\r\n", "main",
                 "ver", "1"},
        ReadCase{"AnsiValueToUtf8", "[main]\r\ntitle=\xD6\xD0\xCE\xC4\r\n", "main", "title",
                 "中文"},
        ReadCase{"EmptyFile", "", "main", "ver", std::nullopt}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // nothing: no file
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

class IniWrite : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWrite, ChangesOnlyItsLine) {
  const WriteCase& c = GetParam();
  if (c.before) Put(*c.before);
  ASSERT_TRUE(IniFile(path_).Write(c.section, c.key, c.value));
  EXPECT_EQ(Get(), c.after);
  // Reading trims the blanks that the write kept.
  std::string value = c.value;
  while (!value.empty() && value.back() == ' ') value.pop_back();
  EXPECT_EQ(IniFile(path_).Read(c.section, c.key), value);
}

const std::string kBusyFile =
    "; settings\r\n"
    "[main]\r\n"
    "title = Kestrova\r\n"
    "Ver=1.0\r\n"
    "\r\n"
    "[other]\r\n"
    "x=1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWrite,
    ::testing::Values(
        WriteCase{"CreatesFileWithCrLf", std::nullopt, "main", "ver", "2.0 ",
                  "[main]\r\nver=2.0 \r\n"},
        WriteCase{"RewritesExistingKeyOnly", kBusyFile, "MAIN", "ver", "2.0 ",
                  "; settings\r\n[main]\r\ntitle = Kestrova\r\nVer=2.0 \r\n\r\n[other]\r\nx=1\r\n"},
        WriteCase{"NewKeyAtEndOfItsSection", kBusyFile, "main", "date", "2024/1/2",
                  "; settings\r\n[main]\r\ntitle = Kestrova\r\nVer=1.0\r\ndate=2024/1/2\r\n\r\n"
                  "[other]\r\nx=1\r\n"},
        WriteCase{"NewSectionAtEnd", kBusyFile, "IOSver", "lastver", "2.1",
                  kBusyFile + "[IOSver]\r\nlastver=2.1\r\n"},
        WriteCase{"LfFileStaysLf", std::string("[main]\nver=1\n"), "main", "date", "d",
                  "[main]\nver=1\ndate=d\n"},
        WriteCase{"NoFinalLineEndGetsOne", std::string("[main]\nver=1"), "other", "k", "v",
                  "[main]\nver=1\n[other]\nk=v\n"},
        WriteCase{"EmptyFile", std::string(""), "main", "ver", "1", "[main]\r\nver=1\r\n"},
        WriteCase{"ChineseValueStoredAsAnsi", std::nullopt, "main", "title", "中文",
                  "[main]\r\ntitle=\xD6\xD0\xCE\xC4\r\n"},
        WriteCase{"OtherAnsiLinesKeptByteForByte",
                  std::string("[main]\r\nname=\xD5\xFD\xB3\xA3\r\nver=1\r\n"), "main", "ver", "2",
                  "[main]\r\nname=\xD5\xFD\xB3\xA3\r\nver=2\r\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, LineBreakInValueStaysOnOneLine) {
  ASSERT_TRUE(IniFile(path_).Write("main", "title", "a\r\n[x]\nb"));
  EXPECT_EQ(Get(), "[main]\r\ntitle=a  [x] b\r\n");
  EXPECT_EQ(IniFile(path_).Read("x", "b"), std::nullopt);
}

TEST_F(IniFileTest, ReadAfterWriteSeesNewValue) {
  const IniFile ini(path_);
  ASSERT_TRUE(ini.Write("main", "ver", "1"));
  ASSERT_TRUE(ini.Write("main", "date", "d"));
  ASSERT_TRUE(ini.Write("main", "ver", "2"));
  EXPECT_EQ(ini.ReadString("main", "ver", "0"), "2");
  EXPECT_EQ(ini.ReadString("main", "date", ""), "d");
  EXPECT_EQ(Get(), "[main]\r\nver=2\r\ndate=d\r\n");
}

TEST_F(IniFileTest, WriteFailsWhereNoFileCanBe) {
  EXPECT_FALSE(IniFile(dir_.string()).Write("main", "ver", "1"));  // a folder
  EXPECT_FALSE(IniFile((dir_ / "no" / "such.ini").string()).Write("main", "ver", "1"));
  EXPECT_EQ(IniFile(dir_.string()).Read("main", "ver"), std::nullopt);
}

}  // namespace
}  // namespace platform
