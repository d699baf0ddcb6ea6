// The scan-setup logic without windows: the backup root, the backup list read
// from the property lists, the marker tables, file-mode identification, the
// identification rule of a backup file and the per-kind search.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>

#include "app/ScanSetup.h"
#include "engine/MyFuns_.h"
#include "engine/SQLiteTable3.h"
#include "platform/MessageBox.h"
#include "engine/KilledWriterFixtures.h"
#include "tests/app/DialogFixtures.h"

namespace velmora {
namespace {

using namespace testing_fixtures;

// ---------------------------------------------------------------- backup root

TEST(BackupRootTest, VersionNumberReadsMajorDotMinor) {
  EXPECT_DOUBLE_EQ(WindowsVersionNumber(6, 1), 6.1);
  EXPECT_DOUBLE_EQ(WindowsVersionNumber(10, 0), 10.0);
  EXPECT_DOUBLE_EQ(WindowsVersionNumber(5, 0), 5.0);
}

TEST(BackupRootTest, WindowsFormsByVersion) {
  struct Case {
    int major, minor;
    const char* expected;  // nullptr: no backup root
  } cases[] = {
      {10, 0, "c:\\users\\bob\\AppData\\Roaming\\Apple Computer\\MobileSync\\Backup\\"},
      {6, 0, "c:\\users\\bob\\AppData\\Roaming\\Apple Computer\\MobileSync\\Backup\\"},
      {5, 1,
       "C:\\Documents and Settings\\bob\\Application Data\\Apple Computer\\MobileSync\\Backup\\"},
      {5, 0, nullptr},
      {4, 9, nullptr},
  };
  for (const Case& c : cases) {
    const auto root = WindowsBackupRoot(WindowsVersionNumber(c.major, c.minor), "  bob ");
    if (c.expected) {
      ASSERT_TRUE(root.has_value()) << c.major << "." << c.minor;
      EXPECT_EQ(*root, c.expected);
    } else {
      EXPECT_FALSE(root.has_value()) << c.major << "." << c.minor;
    }
  }
}

TEST(BackupRootTest, LinuxFolderFollowsXdgDataHome) {
  ScopedHome home("/home/tester");
  EXPECT_EQ(BackupRoot(), "/home/tester/.local/share/MobileSync/Backup/");
  ::setenv("XDG_DATA_HOME", "/data/share/", 1);
  EXPECT_EQ(BackupRoot(), "/data/share/MobileSync/Backup/");
  ::setenv("XDG_DATA_HOME", "relative/share", 1);  // not absolute: ignored
  EXPECT_EQ(BackupRoot(), "/home/tester/.local/share/MobileSync/Backup/");
  ::setenv("XDG_DATA_HOME", "", 1);
  EXPECT_EQ(BackupRoot(), "/home/tester/.local/share/MobileSync/Backup/");
}

// ---------------------------------------------------------------- property list

TEST(BackupInfoTest, TakesTheTextsBetweenTheTagsOfTheNextLine) {
  const std::vector<std::string> lines = {
      "<dict>", "<key>Device Name</key>", "  <string>王的 iPhone</string> tail",
      "<key>Last Backup Date</key>", "<date>2014-03-05T04:12:33Z</date>", "</dict>"};
  int pumps = 0;
  const BackupEntry e = ParseBackupInfo(lines, [&] { ++pumps; });
  EXPECT_EQ(e.DeviceName, "王的 iPhone");
  EXPECT_EQ(e.BackupDate, "2014-03-05T04:12:33Z");
  EXPECT_EQ(pumps, 2 + 4);  // lines examined for each key
}

TEST(BackupInfoTest, MissingKeysTagsOrValueLinesGiveEmptyCells) {
  struct Case {
    std::vector<std::string> lines;
    const char* name;
    const char* date;
  } cases[] = {
      {{}, "", ""},
      {{"<key>Device Name</key>"}, "", ""},  // key on the last line
      {{"<key>Device Name</key>", "no tags here", "<key>Last Backup Date</key>",
        "<date>d</date>"},
       "", "d"},
      {{"<key>Device Name</key>", "<string>only open", "<key>Last Backup Date</key>"}, "", ""},
      {{"Device Name", "<string>first</string>", "Device Name", "<string>second</string>"},
       "first", ""},
  };
  for (const Case& c : cases) {
    const BackupEntry e = ParseBackupInfo(c.lines);
    EXPECT_EQ(e.DeviceName, c.name);
    EXPECT_EQ(e.BackupDate, c.date);
  }
}

// A property list's bytes made as they are read: `head`, then `tailBytes`
// bytes of `fill` (no line end), after which nothing more can be read.
// Counts the bytes handed out.
class GeneratedPlist {
 public:
  GeneratedPlist(std::string head, std::uint64_t tailBytes, char fill = 'x')
      : head_(std::move(head)), tailLeft_(tailBytes), fill_(fill) {}
  std::uint64_t served() const { return served_; }
  BackupInfoSource Source() {
    return [this](std::span<char> into, bool& failed) {
      std::size_t n = 0;
      while (n < into.size() && headAt_ < head_.size()) into[n++] = head_[headAt_++];
      while (n < into.size() && tailLeft_ > 0) into[n++] = fill_, --tailLeft_;
      served_ += n;
      failed = n < into.size();  // past the tail nothing can be read
      return n;
    };
  }

 private:
  std::string head_;
  std::size_t headAt_ = 0;
  std::uint64_t tailLeft_;
  char fill_;
  std::uint64_t served_ = 0;
};

// The bytes of `text`, then its end.
BackupInfoSource TextSource(const std::string& text) {
  return [text, at = std::size_t{0}](std::span<char> into, bool&) mutable {
    const std::size_t n = std::min(into.size(), text.size() - at);
    std::copy_n(text.data() + at, n, into.data());
    at += n;
    return n;
  };
}

constexpr std::size_t kPiece = 64 * 1024;  // the reader's piece and value-line bound

TEST(BackupInfoTest, ReadLineByLineAtEveryLineEndAndAcrossPieces) {
  const std::string name = "<key>Device Name</key>";
  const std::string date = "<key>Last Backup Date</key>";
  // A CR LF whose CR ends the first piece and whose LF starts the second.
  std::string crlfSplit = name + std::string(kPiece - 1 - name.size(), ' ') + "\r\n<string>A</string>\n";
  crlfSplit += date + "\n<date>D</date>\n";
  // "Last Backup Date" across the two pieces: "Last " in the first.
  std::string keySplit = "<key>Device Name</key>\n<string>A</string>\n";
  keySplit += std::string(kPiece - 5 - keySplit.size(), 'x') + "Last Backup Date\n<date>D</date>\n";
  // Keys in a line longer than a piece, however far on; values after it.
  const std::string longLine = std::string(3 * kPiece + 17, 'x') + name + std::string(kPiece, 'y') + date +
                               "\n<string>A</string><date>D</date>\n";
  const std::string afterLongLine = "<data>" + std::string(5 * kPiece, 'Q') + "</data>\n" +
                                    InfoPlistText("A", "D");
  struct Case {
    const char* name;
    std::string text;
    const char* device;
    const char* date;
  } cases[] = {
      {"CR LF", name + "\r\n<string>A</string>\r\n" + date + "\r\n<date>D</date>\r\n", "A", "D"},
      {"LF", name + "\n<string>A</string>\n" + date + "\n<date>D</date>", "A", "D"},
      {"CR", name + "\r<string>A</string>\r" + date + "\r<date>D</date>", "A", "D"},
      {"an empty line is a line", name + "\n\n<string>A</string>\n" + date + "\r\n\r\n<date>D</date>", "", ""},
      {"key on the last line", "<string>x</string>\n" + name, "", ""},
      {"CR LF across two pieces", crlfSplit, "A", "D"},
      {"key across two pieces", keySplit, "A", "D"},
      {"keys far into a long line", longLine, "A", "D"},
      {"values after a long line", afterLongLine, "A", "D"},
      {"empty", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BackupEntry e;
    e.DeviceName = "old";
    ASSERT_TRUE(ReadBackupInfo(TextSource(c.text), e));
    EXPECT_EQ(e.DeviceName, c.device);
    EXPECT_EQ(e.BackupDate, c.date);
  }
}

TEST(BackupInfoTest, ReadingStopsOnceBothValuesAreTaken) {
  // Values near the start of a 512 MB list whose end cannot be read: found,
  // and no more than the first piece is read.
  GeneratedPlist big(InfoPlistText("王的 iPhone", "2014-03-05T04:12:33Z"), 512ull << 20);
  BackupEntry e;
  ASSERT_TRUE(ReadBackupInfo(big.Source(), e));
  EXPECT_EQ(e.DeviceName, "王的 iPhone");
  EXPECT_EQ(e.BackupDate, "2014-03-05T04:12:33Z");
  EXPECT_EQ(big.served(), kPiece);

  // Nothing can be read right after the values: no matter.
  GeneratedPlist cut(InfoPlistText("A", "D"), 0);
  ASSERT_TRUE(ReadBackupInfo(cut.Source(), e));
  EXPECT_EQ(e.DeviceName, "A");
  EXPECT_EQ(e.BackupDate, "D");

  // Nothing can be read before the date: the list cannot be read.
  GeneratedPlist early("<key>Device Name</key>\n<string>A</string>\n", 3 * kPiece);
  EXPECT_FALSE(ReadBackupInfo(early.Source(), e));
}

TEST(BackupInfoTest, ALongLineIsReadInPiecesAndAValueLineLookedAtInItsFirst64KiB) {
  // 64 MiB without a line end and without the keys: read to its end in
  // pieces, the window's messages running at each.
  GeneratedPlist noBreaks("", 64ull << 20);
  BackupEntry e;
  int pumps = 0;
  EXPECT_FALSE(ReadBackupInfo(noBreaks.Source(), e, [&] { ++pumps; }));  // its end cannot be read
  EXPECT_EQ(noBreaks.served(), 64ull << 20);
  EXPECT_EQ(pumps, (64 << 20) / static_cast<int>(kPiece));

  // A value line's tags must lie in its first 64 KiB.
  const std::string pad(kPiece - 19, ' ');  // "<string>AB</string>" ends the first 64 KiB
  ASSERT_TRUE(ReadBackupInfo(TextSource("<key>Device Name</key>\n" + pad + "<string>AB</string>\n"), e));
  EXPECT_EQ(e.DeviceName, "AB");
  ASSERT_TRUE(ReadBackupInfo(TextSource("<key>Device Name</key>\n" + pad + "<string>ABC</string>\n"), e));
  EXPECT_EQ(e.DeviceName, "");
}

TEST(BackupListTest, LargePropertyListsAreListed) {
  // A 512 MB list, sparse past its text, and one whose values follow a line
  // of 8 MB.
  TempDir home;
  const std::string root = home.path() + "/Backup/";
  const std::string big = MakeBackupFolder(root, "big", "大文件", "2014-01-01T00:00:00Z");
  fs::resize_file(big + "/Info.plist", 512ull << 20);
  const std::string wide = root + "wide";
  WriteFileBytes(wide + "/Info.plist",
                 "<data>" + std::string(8 << 20, 'A') + "</data>\n" + InfoPlistText("Wide", "2015"));

  const std::vector<BackupEntry> list = ListBackups(root);
  ASSERT_EQ(list.size(), 2u);
  BackupEntry missing;
  EXPECT_FALSE(ReadBackupInfoFile(root + "none/Info.plist", missing));
  for (const BackupEntry& e : list) {
    if (e.Path == big) {
      EXPECT_EQ(e.DeviceName, "大文件");
      EXPECT_EQ(e.BackupDate, "2014-01-01T00:00:00Z");
    } else {
      EXPECT_EQ(e.Path, wide);
      EXPECT_EQ(e.DeviceName, "Wide");
      EXPECT_EQ(e.BackupDate, "2015");
    }
  }
}

TEST(BackupListTest, ListsBackupsWithAPropertyListInAnyCase) {
  TempDir home;
  const std::string root = home.path() + "/Backup/";
  const std::string a = MakeBackupFolder(root, "aaaa", "手机甲", "2014-01-01T00:00:00Z");
  const std::string b =
      MakeBackupFolder(root, "bbbb", "Phone B", "2015-02-02T00:00:00Z", "info.plist");
  fs::create_directories(root + "cccc");  // no property list: not listed
  WriteFileBytes(root + "cccc/Manifest.plist", InfoPlistText("x", "y"));
  WriteFileBytes(root + "info.plist", InfoPlistText("root", "z"));  // in the root: ignored
  fs::create_directories(root + "dddd/Info.plist");  // a folder of that name: not a list

  const std::vector<BackupEntry> list = ListBackups(root);
  std::vector<std::string> files, dirs;
  ListFolder(root, "", false, files, dirs);
  std::vector<std::string> expectedOrder;
  for (const std::string& d : dirs) {
    if (d == a || d == b) expectedOrder.push_back(d);
  }
  ASSERT_EQ(list.size(), 2u);
  for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].Path, expectedOrder[i]);
  for (const BackupEntry& e : list) {
    if (e.Path == a) {
      EXPECT_EQ(e.DeviceName, "手机甲");
      EXPECT_EQ(e.BackupDate, "2014-01-01T00:00:00Z");
    } else {
      EXPECT_EQ(e.DeviceName, "Phone B");
      EXPECT_EQ(e.BackupDate, "2015-02-02T00:00:00Z");
    }
  }
}

TEST(BackupListTest, MissingRootListsNothing) {
  EXPECT_TRUE(ListBackups("/nonexistent/velmora/Backup/").empty());
  EXPECT_TRUE(ListBackups("").empty());
}

TEST(BackupListTest, ExactLowerCaseNameIsPreferred) {
  TempDir dir;
  WriteFileBytes(dir / "Info.plist", "upper");
  WriteFileBytes(dir / "info.plist", "lower");
  EXPECT_EQ(FindBackupInfoFile(dir.path()), dir / "info.plist");
  EXPECT_EQ(FindBackupInfoFile(dir / "none"), "");
}

// ---------------------------------------------------------------- marker tables

TEST(MarkerTableTest, BothSpellingsPerKind) {
  const char* file[] = {"ABPersonFullTextSearch_content", "chat_message_join", "call", "Friend"};
  const char* backup[] = {"abpersonfulltextsearch_content", "chat_message_join", "call",
                          "friend"};
  for (std::uint8_t k = 0; k < 4; ++k) {
    EXPECT_STREQ(FileModeMarkerTable(k), file[k]);
    EXPECT_STREQ(BackupMarkerTable(k), backup[k]);
  }
}

// ---------------------------------------------------------------- file mode

class FileModeTest : public ::testing::Test {
 protected:
  platform::ScriptedMessageBoxes boxes_;
  TempDir dir_;
};

TEST_F(FileModeTest, HeaderIsPatchedWhateverItHeld) {
  const std::string db = dir_ / "a.db";
  MakeMarkerDatabase(db, "call");
  for (const auto& [w, r] : std::vector<std::pair<int, int>>{{2, 2}, {0, 0}, {1, 2}}) {
    SetVersionBytes(db, w, r);
    PatchChosenFile(db);
    EXPECT_EQ(VersionBytes(db), std::make_pair(1, 1));
  }
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(FileModeTest, NonDatabaseFileIsLeftUntouched) {
  const std::string text = dir_ / "notes.txt";
  const std::string bytes(2000, 'x');
  WriteFileBytes(text, bytes);
  PatchChosenFile(text);
  EXPECT_EQ(ReadFileBytes(text), bytes);
  EXPECT_THROW(IdentifyDatabaseKind(text), ESQLiteException);
  EXPECT_EQ(ReadFileBytes(text), bytes);
}

TEST_F(FileModeTest, LastMarkerFoundWins) {
  struct Case {
    std::vector<std::string> tables;
    std::optional<std::uint8_t> kind;
  } cases[] = {
      {{"ABPersonFullTextSearch_content"}, 0},
      {{"chat_message_join", "message"}, 1},
      {{"call"}, 2},
      {{"Friend"}, 3},
      {{"call", "Friend"}, 3},
      {{"friend", "ABPersonFullTextSearch_content"}, 3},
      {{"CALL", "chat_message_join"}, 2},
      {{"other"}, std::nullopt},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string db = dir_ / ("k" + std::to_string(n++) + ".db");
    std::vector<std::string> sql;
    for (const std::string& t : c.tables) sql.push_back("CREATE TABLE " + t + " (v)");
    MakeDatabase(db, sql);
    EXPECT_EQ(IdentifyDatabaseKind(db), c.kind) << db;
  }
}

// ---------------------------------------------------------------- backup files

class BackupFileTest : public ::testing::Test {
 protected:
  platform::ScriptedMessageBoxes boxes_;
  TempDir dir_;
};

TEST_F(BackupFileTest, SizeLimitIs1024Bytes) {
  const std::string small = dir_ / "small";
  const std::string exact = dir_ / "exact";
  MakeMarkerDatabase(exact, "call", 512);
  ASSERT_EQ(fs::file_size(exact), 1024u);
  fs::copy_file(exact, small);
  fs::resize_file(small, 1023);
  SetVersionBytes(small, 2, 2);
  SetVersionBytes(exact, 2, 2);

  EXPECT_FALSE(IsKindDatabase(small, 2));
  EXPECT_EQ(VersionBytes(small), std::make_pair(2, 2));  // never written
  EXPECT_TRUE(IsKindDatabase(exact, 2));
  EXPECT_EQ(VersionBytes(exact), std::make_pair(1, 1));
  EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(BackupFileTest, EachKindMatchesOnlyItsMarker) {
  const char* tables[] = {"ABPersonFullTextSearch_content", "chat_message_join", "call",
                          "Friend"};
  for (std::uint8_t file = 0; file < 4; ++file) {
    const std::string db = dir_ / ("db" + std::to_string(file));
    MakeMarkerDatabase(db, tables[file]);
    for (std::uint8_t kind = 0; kind < 4; ++kind) {
      EXPECT_EQ(IsKindDatabase(db, kind), file == kind) << int(file) << " " << int(kind);
    }
  }
}

TEST_F(BackupFileTest, NonSQLiteFilesAreNotWritten) {
  const std::string plain = dir_ / "plain";
  const std::string bytes(4096, '\x02');
  WriteFileBytes(plain, bytes);
  EXPECT_FALSE(IsKindDatabase(plain, 0));
  EXPECT_EQ(ReadFileBytes(plain), bytes);
}

TEST_F(BackupFileTest, PatchedHeaderAlreadyAtOneKeepsItsContent) {
  const std::string db = dir_ / "db";
  MakeMarkerDatabase(db, "friend");
  const std::string before = ReadFileBytes(db);
  ASSERT_EQ(VersionBytes(db), std::make_pair(1, 1));
  EXPECT_TRUE(IsKindDatabase(db, 3));
  EXPECT_EQ(ReadFileBytes(db), before);
}

TEST_F(BackupFileTest, DamagedDatabaseRaises) {
  const std::string db = dir_ / "damaged";
  std::string bytes = "SQLite format 3";
  bytes.push_back('\0');
  bytes.resize(4096, '\x7f');
  WriteFileBytes(db, bytes);
  EXPECT_THROW(IsKindDatabase(db, 0), ESQLiteException);
}

// ---------------------------------------------------------------- search

class BackupSearchTest : public ::testing::Test {
 protected:
  void SetUp() override { backup_ = dir_.path() + "/backup/"; }
  platform::ScriptedMessageBoxes boxes_;
  TempDir dir_;
  std::string backup_;
};

TEST_F(BackupSearchTest, FirstMatchInListingOrderAndEarlierSQLiteFilesPatched) {
  for (unsigned n = 0; n < 12; ++n) {
    const std::string f = BackupFilePath(backup_, n);
    if (n % 3 == 0) {
      MakeMarkerDatabase(f, "ABPersonFullTextSearch_content");
    } else if (n % 3 == 1) {
      MakeMarkerDatabase(f, "other");
    } else {
      WriteFileBytes(f, std::string(3000, 'z'));
    }
    if (n % 3 != 2) SetVersionBytes(f, 2, 2);
  }
  const std::vector<std::string> files = ListBackupFiles(backup_);
  ASSERT_EQ(files.size(), 12u);
  std::size_t first = files.size();
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (first == files.size() && ReadFileBytes(files[i]).find("ABPersonFullTextSearch_content") !=
                                     std::string::npos) {
      first = i;
    }
  }
  ASSERT_LT(first, files.size());

  int begun = -1;
  std::vector<int> steps;
  const std::vector<std::string> found = SearchBackupForKind(
      backup_, 0, false, {[&](int n) { begun = n; }, [&](int p) { steps.push_back(p); }});
  ASSERT_EQ(found, std::vector<std::string>{files[first]});
  EXPECT_EQ(begun, 12);
  ASSERT_EQ(steps.size(), first + 1);
  for (std::size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i], static_cast<int>(i + 1));
  for (std::size_t i = 0; i < files.size(); ++i) {
    const bool sqlite = ReadFileBytes(files[i]).rfind("SQLite format 3", 0) == 0;
    if (!sqlite) continue;
    EXPECT_EQ(VersionBytes(files[i]), i <= first ? std::make_pair(1, 1) : std::make_pair(2, 2))
        << i;
  }
}

TEST_F(BackupSearchTest, AllMatchesAndDamagedFilesSkipped) {
  std::vector<std::string> wechat;
  for (unsigned n = 0; n < 9; ++n) {
    const std::string f = BackupFilePath(backup_, n);
    if (n == 2 || n == 6) {
      MakeMarkerDatabase(f, "Friend");
      wechat.push_back(f);
    } else if (n == 4) {
      std::string bytes = "SQLite format 3";
      bytes.push_back('\0');
      bytes.resize(2048, '\x55');
      WriteFileBytes(f, bytes);
    } else {
      WriteFileBytes(f, std::string(100, 'q'));
    }
  }
  std::vector<std::string> found = SearchBackupForKind(backup_, 3, true);
  std::sort(found.begin(), found.end());
  std::sort(wechat.begin(), wechat.end());
  EXPECT_EQ(found, wechat);
  EXPECT_TRUE(SearchBackupForKind(backup_, 2, false).empty());
}

TEST_F(BackupSearchTest, EmptyOrMissingFolderFindsNothing) {
  int begun = -1;
  EXPECT_TRUE(SearchBackupForKind(backup_, 1, false, {[&](int n) { begun = n; }, {}}).empty());
  EXPECT_EQ(begun, 0);
}

// ---------------------------------------------------------------- evidence

// File-mode identification and the backup search on databases that a writer
// left with a -wal, a -shm or a hot -journal beside them, in folders and
// files whose names carry blanks, "%", "?", "#" and Chinese characters:
// every file keeps its bytes but header bytes 18 and 19 of the database, and
// no file comes or goes.
TEST(EvidenceSetupTest, IdentificationAndTheBackupSearchLeaveLeftoversAsTheyWere) {
  const char* markers[] = {"ABPersonFullTextSearch_content", "chat_message_join", "call", "Friend"};
  for (const killedwriter::LeftoverCase& c : killedwriter::LeftoverCases()) {
    SCOPED_TRACE(c.name);
    platform::ScriptedMessageBoxes boxes;
    TempDir dir;
    const std::string backup = dir / "backup/";
    std::vector<std::string> folders, paths;
    for (std::uint8_t kind = 0; kind < 4; ++kind) {
      folders.push_back(backup + std::to_string(kind) + " " + killedwriter::kOddFolder);
      paths.push_back(folders.back() + "/" + killedwriter::kOddFile);
      MakeDatabase(paths.back(), {std::string("CREATE TABLE ") + markers[kind] + " (id INTEGER PRIMARY KEY, v TEXT)",
                                  "CREATE TABLE other (v)", "INSERT INTO other VALUES ('x')"});
      killedwriter::LeaveSidecars(paths.back(), c.leftover, killedwriter::DefaultLateWrites("other"));
    }
    std::vector<killedwriter::FolderBytes> left;
    for (const std::string& f : folders) left.push_back(killedwriter::Snapshot(f));
    const auto expectUnchanged = [&](const char* step) {
      for (std::size_t k = 0; k < folders.size(); ++k)
        EXPECT_EQ(killedwriter::EvidenceChanges(left[k], killedwriter::Snapshot(folders[k]),
                                                killedwriter::kOddFile),
                  "")
            << step << ", kind " << k;
    };

    for (std::uint8_t kind = 0; kind < 4; ++kind) {
      PatchChosenFile(paths[kind]);
      EXPECT_EQ(IdentifyDatabaseKind(paths[kind]), std::optional<std::uint8_t>(kind));
    }
    expectUnchanged("file-mode identification");
    for (std::uint8_t kind = 0; kind < 4; ++kind) {
      EXPECT_EQ(SearchBackupForKind(backup, kind, true), std::vector<std::string>{paths[kind]});
      for (std::uint8_t other = 0; other < 4; ++other)
        EXPECT_EQ(IsKindDatabase(paths[other], kind), other == kind);
    }
    expectUnchanged("backup search");
    for (const std::string& p : paths) EXPECT_EQ(VersionBytes(p), std::make_pair(1, 1));
    EXPECT_TRUE(boxes.shown().empty());
  }
}

TEST(FileNameOfTest, DropsTheFolder) {
  EXPECT_EQ(FileNameOf("/a/b/c.db"), "c.db");
  EXPECT_EQ(FileNameOf("c.db"), "c.db");
}

}  // namespace
}  // namespace velmora
