// Raw sector reads and writes, the file size and the SQLite header patch, on
// files built in a scratch folder (databases built with SQLite itself).

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/MyFuns_.h"
#include "platform/MessageBox.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using platform::MbIcon;
using platform::ScriptedMessageBoxes;

constexpr const char* kOpenError = "Open the device error......";
constexpr const char* kReadError = "Read then device error......";
constexpr const char* kWriteOpenError =
    "Error opening source device, check the source devices.. ....";
constexpr const char* kWriteError =
    "write the source device error, please check the source device can be written ... ...";

struct Box {
  std::string text;
  std::string caption;
};

const Box kOpenBox{kOpenError, "information"};
const Box kReadBox{kReadError, "提示"};
const Box kWriteOpenBox{kWriteOpenError, "Information"};
const Box kWriteBox{kWriteError, "Information"};

void ExpectBoxes(const ScriptedMessageBoxes& boxes, const std::vector<Box>& expected) {
  ASSERT_EQ(boxes.shown().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(boxes.shown()[i].text, expected[i].text);
    EXPECT_EQ(boxes.shown()[i].caption, expected[i].caption);
    EXPECT_EQ(boxes.shown()[i].icon, MbIcon::Error);
    EXPECT_EQ(boxes.shown()[i].buttons, platform::MbButtons::Ok);
  }
}

// Bytes 0, 1, 2, ... 255, 0, 1, ...: every sector differs from its neighbours
// by where it starts, so a read at the wrong offset shows.
Fbuf Pattern(std::size_t n, std::uint8_t start = 0) {
  Fbuf b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 7 + i / 256);
  return b;
}

// A scratch folder per test, removed afterwards (with write permission put
// back, so that read-only cases can be cleaned up).
class SectorFiles : public testsupport::ScratchFolderTest {
 protected:
  SectorFiles() : ScratchFolderTest("velmora-sectors") {}

  // Makes `p` read-only. False when this process can open it for writing all
  // the same (root ignores permission bits), so the case cannot be shown.
  static bool MakeReadOnly(const std::string& p) {
    if (::chmod(p.c_str(), 0444) != 0) return false;
    int fd = ::open(p.c_str(), O_RDWR);
    if (fd >= 0) {
      ::close(fd);
      return false;
    }
    return true;
  }

  // A real database with one table and a few rows, in WAL mode or not.
  std::string MakeDatabase(const std::string& name, int pageSize, bool wal) const {
    std::string p = Path(name);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(p.c_str(), &db), SQLITE_OK);
    std::string sql = "PRAGMA page_size=" + std::to_string(pageSize) + ";" +
                      (wal ? "PRAGMA journal_mode=WAL;" : "") +
                      "CREATE TABLE t(a INTEGER, b TEXT);"
                      "INSERT INTO t VALUES(1,'one'),(2,'two'),(3,'three');";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
    return p;
  }
};

// ---------------------------------------------------------------- ReadSectors

struct ReadCase {
  const char* name;
  std::optional<Fbuf> file;  // nothing: the file does not exist
  std::uint64_t sector;
  std::int32_t count;
  std::size_t bufferSize;
  bool expected;
  std::vector<Box> boxes;
};

std::vector<ReadCase> ReadCases() {
  const Fbuf text = [] {
    std::string s;
    while (s.size() < 1500) s += "This is a plain text file, not a database.\n";
    return Fbuf(s.begin(), s.end());
  }();
  const Fbuf shortText(text.begin(), text.begin() + 300);
  return {
      {"MissingFile", std::nullopt, 0, 512, 512, false, {kOpenBox}},
      {"ShorterThanASector", Pattern(100), 0, 512, 512, false, {kReadBox}},
      {"ZeroBytes", Fbuf{}, 0, 512, 512, false, {kReadBox}},
      {"ShortTextFile", shortText, 0, 512, 512, false, {kReadBox}},
      {"TextFile", text, 0, 512, 512, true, {}},
      {"ExactlyOneSector", Pattern(512), 0, 512, 512, true, {}},
      {"ThirdSector", Pattern(2048), 2, 512, 512, true, {}},
      {"RunIntoLargerBuffer", Pattern(2048), 1, 1024, 4096, true, {}},
      {"RunEndsPastEnd", Pattern(2048), 3, 1024, 1024, false, {kReadBox}},
      {"SectorPastEnd", Pattern(2048), 9, 512, 512, false, {kReadBox}},
      {"ZeroCount", Pattern(2048), 0, 0, 512, true, {}},
      {"NegativeCount", Pattern(2048), 0, -1, 512, false, {kReadBox}},
      {"MostNegativeCount", Pattern(2048), 0, std::numeric_limits<std::int32_t>::min(), 512, false,
       {kReadBox}},
      {"CountLargerThanBuffer", Pattern(2048), 0, 1024, 512, false, {kReadBox}},
      {"SectorOffsetWraps", Pattern(2048), std::numeric_limits<std::uint64_t>::max(), 512, 512,
       false, {kReadBox}},
      {"OffsetBeyondSignedRange", Pattern(2048), std::uint64_t{1} << 55, 512, 512, false,
       {kReadBox}},
  };
}

class ReadSectorsTest : public SectorFiles, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadSectorsTest, ResultBoxesAndBuffer) {
  const ReadCase& c = GetParam();
  std::string p = c.file ? MakeFile("f.db", *c.file) : Path("missing.db");
  Fbuf buffer(c.bufferSize, 0);
  ScriptedMessageBoxes boxes;
  EXPECT_EQ(ReadSectors(p, false, c.sector, c.count, buffer), c.expected);
  ExpectBoxes(boxes, c.boxes);
  ASSERT_EQ(buffer.size(), c.bufferSize) << "the routine never resizes the buffer";
  Fbuf want(c.bufferSize, 0);
  if (c.expected) {
    const std::size_t off = static_cast<std::size_t>(c.sector) * kSectorSize;
    std::copy_n(c.file->begin() + static_cast<std::ptrdiff_t>(off), c.count, want.begin());
  }
  EXPECT_EQ(buffer, want);
  if (!c.file) {
    EXPECT_FALSE(fs::exists(p)) << "a read creates no file";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadSectorsTest, ::testing::ValuesIn(ReadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A failed read leaves a buffer that already holds data exactly as it was,
// whether its bytes are all alike or not; a good read changes only the first
// count bytes.
TEST_F(SectorFiles, FailedReadKeepsFilledBuffer) {
  std::string p = MakeFile("short.db", Pattern(700));
  const Fbuf mixed = Pattern(1024, 99);
  const Fbuf uniform(1024, 0xAA);
  for (const Fbuf& before : {mixed, uniform}) {
    Fbuf buffer = before;
    ScriptedMessageBoxes boxes;
    EXPECT_FALSE(ReadSectors(p, false, 0, 1024, buffer));
    ExpectBoxes(boxes, {kReadBox});
    EXPECT_EQ(buffer, before);

    buffer = before;
    EXPECT_TRUE(ReadSectors(p, false, 1, 100, buffer));
    Fbuf want = before;
    const Fbuf file = Pattern(700);
    std::copy_n(file.begin() + 512, 100, want.begin());
    EXPECT_EQ(buffer, want);
  }
}

// The open asks for write access, so a file that its permissions make
// read-only cannot be read.
TEST_F(SectorFiles, ReadOnlyFileCannotBeRead) {
  std::string p = MakeFile("ro.db", Pattern(1024));
  if (!MakeReadOnly(p)) GTEST_SKIP() << "permission bits are not enforced for this user";
  Fbuf buffer(512, 0);
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(ReadSectors(p, false, 0, 512, buffer));
  ExpectBoxes(boxes, {kOpenBox});
  EXPECT_EQ(buffer, Fbuf(512, 0));
}

TEST_F(SectorFiles, DirectoryCannotBeRead) {
  Fbuf buffer(512, 0);
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(ReadSectors(dir_.string(), false, 0, 512, buffer));
  ExpectBoxes(boxes, {kOpenBox});
}

// A FIFO has no offsets: the read fails at once instead of waiting for data.
TEST_F(SectorFiles, FifoFailsWithoutWaiting) {
  std::string p = Path("fifo");
  ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
  Fbuf buffer(512, 0);
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(ReadSectors(p, false, 0, 512, buffer));
  ExpectBoxes(boxes, {kReadBox});
  EXPECT_EQ(buffer, Fbuf(512, 0));
}

// FromEnd counts from the end of the file: sector 0 from the end lies just
// past the last byte, so only a zero-byte run can be read there.
TEST_F(SectorFiles, FromEndStartsAtTheEnd) {
  std::string p = MakeFile("f.db", Pattern(1024));
  Fbuf buffer(512, 0);
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(ReadSectors(p, true, 0, 512, buffer));
  EXPECT_TRUE(ReadSectors(p, true, 0, 0, buffer));
  ExpectBoxes(boxes, {kReadBox});
}

// The page-size field is big-endian; 1 stands for 65536. Databases of each
// page size are made by SQLite and their header read back whole.
class PageSizeTest : public SectorFiles, public ::testing::WithParamInterface<int> {};

TEST_P(PageSizeTest, HeaderFieldsReadThroughSwap) {
  const int pageSize = GetParam();
  std::string p = MakeDatabase("p.db", pageSize, false);
  Fbuf header(512, 0);
  ScriptedMessageBoxes boxes;
  ASSERT_TRUE(ReadSectors(p, false, 0, 512, header));
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(std::string(header.begin(), header.begin() + 15), "SQLite format 3");

  std::uint16_t rawPageSize = 0;
  std::memcpy(&rawPageSize, &header[16], 2);
  const std::uint32_t decoded = SwapWord(rawPageSize) == 1 ? 65536u : SwapWord(rawPageSize);
  EXPECT_EQ(decoded, static_cast<std::uint32_t>(pageSize));
  if (pageSize == 65536) {
    EXPECT_EQ(SwapWord(rawPageSize), 1);
  }
  if (pageSize == 4096) {
    EXPECT_EQ(header[16], 0x10);
    EXPECT_EQ(header[17], 0x00);
  }

  std::uint32_t rawPages = 0;
  std::memcpy(&rawPages, &header[28], 4);
  const std::uint64_t pages = SwapLong(rawPages);
  EXPECT_EQ(pages * decoded, static_cast<std::uint64_t>(FileSize64(p)));

  // The whole image in one read, as a scan takes it.
  Fbuf image(static_cast<std::size_t>(pages * decoded), 0);
  ASSERT_TRUE(ReadSectors(p, false, 0, static_cast<std::int32_t>(image.size()), image));
  EXPECT_EQ(image, Contents(p));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PageSizeTest, ::testing::Values(512, 4096, 32768, 65536));

// ---------------------------------------------------------------- WriteSectors

struct WriteCase {
  const char* name;
  std::optional<Fbuf> file;  // nothing: the path does not exist yet
  std::uint64_t sector;
  std::int32_t count;
  Fbuf buffer;
  bool expected;
  std::vector<Box> boxes;
};

std::vector<WriteCase> WriteCases() {
  return {
      {"CreatesMissingFile", std::nullopt, 0, 512, Pattern(512, 3), true, {}},
      {"ThirdSectorOfNewFile", std::nullopt, 2, 512, Pattern(512, 5), true, {}},
      {"OneSectorInsideFile", Pattern(2048), 1, 512, Pattern(512, 9), true, {}},
      {"PastTheEndGrowsFile", Pattern(1024), 3, 512, Pattern(512, 11), true, {}},
      {"OnlyCountBytes", Pattern(2048), 0, 100, Pattern(512, 13), true, {}},
      {"ZeroCountCreatesEmptyFile", std::nullopt, 0, 0, Pattern(512), true, {}},
      {"NegativeCount", Pattern(2048), 0, -512, Pattern(512), false, {kWriteBox}},
      {"NegativeCountCreatesNothing", std::nullopt, 0, -1, Pattern(512), false, {kWriteBox}},
      {"CountLargerThanBuffer", Pattern(2048), 0, 1024, Pattern(512), false, {kWriteBox}},
      {"SectorOffsetWraps", Pattern(2048), std::numeric_limits<std::uint64_t>::max(), 512,
       Pattern(512), false, {kWriteBox}},
  };
}

class WriteSectorsTest : public SectorFiles, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteSectorsTest, ResultBoxesAndFile) {
  const WriteCase& c = GetParam();
  std::string p = c.file ? MakeFile("f.db", *c.file) : Path("new.db");
  ScriptedMessageBoxes boxes;
  EXPECT_EQ(WriteSectors(p, false, c.sector, c.count, c.buffer), c.expected);
  ExpectBoxes(boxes, c.boxes);

  if (!c.expected) {
    if (c.file) {
      EXPECT_EQ(Contents(p), *c.file) << "a failed call changes nothing";
    } else {
      EXPECT_FALSE(fs::exists(p)) << "a call that cannot write creates no file";
    }
    return;
  }
  Fbuf want = c.file.value_or(Fbuf{});
  const std::size_t off = static_cast<std::size_t>(c.sector) * kSectorSize;
  const std::size_t n = static_cast<std::size_t>(c.count);
  if (want.size() < off + n) want.resize(off + n, 0);
  std::copy_n(c.buffer.begin(), n, want.begin() + static_cast<std::ptrdiff_t>(off));
  EXPECT_EQ(Contents(p), want);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteSectorsTest, ::testing::ValuesIn(WriteCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SectorFiles, WriteIntoMissingFolderFailsToOpen) {
  std::string p = Path("no/such/folder/f.db");
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(WriteSectors(p, false, 0, 512, Pattern(512)));
  ExpectBoxes(boxes, {kWriteOpenBox});
  EXPECT_FALSE(fs::exists(p));
}

TEST_F(SectorFiles, WriteToReadOnlyFileFailsToOpen) {
  std::string p = MakeFile("ro.db", Pattern(1024));
  if (!MakeReadOnly(p)) GTEST_SKIP() << "permission bits are not enforced for this user";
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(WriteSectors(p, false, 0, 512, Pattern(512, 1)));
  ExpectBoxes(boxes, {kWriteOpenBox});
  EXPECT_EQ(Contents(p), Pattern(1024));
}

TEST_F(SectorFiles, WrittenSectorsReadBack) {
  std::string p = Path("round.db");
  ScriptedMessageBoxes boxes;
  const Fbuf data = Pattern(1536, 17);
  ASSERT_TRUE(WriteSectors(p, false, 4, 1536, data));
  Fbuf back(1536, 0);
  ASSERT_TRUE(ReadSectors(p, false, 4, 1536, back));
  EXPECT_EQ(back, data);
  EXPECT_EQ(FileSize64(p), 4 * 512 + 1536);
  EXPECT_TRUE(boxes.shown().empty());
}

// ---------------------------------------------------------------- FileSize64

TEST_F(SectorFiles, FileSizeOfFiles) {
  EXPECT_EQ(FileSize64(MakeFile("empty", {})), 0);
  EXPECT_EQ(FileSize64(MakeFile("small", Pattern(1000))), 1000);
  // Beyond 32 bits: a sparse file of 5 GiB.
  std::string big = MakeFile("big", {});
  ASSERT_EQ(::truncate(big.c_str(), std::int64_t{5} << 30), 0);
  EXPECT_EQ(FileSize64(big), std::int64_t{5} << 30);
}

// The size needs read access only: a read-only file has one.
TEST_F(SectorFiles, FileSizeOfReadOnlyFile) {
  std::string p = MakeFile("ro", Pattern(777));
  ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
  EXPECT_EQ(FileSize64(p), 777);
}

TEST_F(SectorFiles, FileSizeOfFifoDoesNotWait) {
  std::string p = Path("fifo");
  ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
  EXPECT_EQ(FileSize64(p), 0);
}

struct OpenErrorCase {
  const char* name;
  int error;
};

class FileSizeErrorTest : public SectorFiles, public ::testing::WithParamInterface<OpenErrorCase> {};

TEST_P(FileSizeErrorTest, RaisesStreamOpenError) {
  const OpenErrorCase& c = GetParam();
  std::string p = c.error == ENOENT ? Path("missing.db") : dir_.string();
  try {
    FileSize64(p);
    FAIL() << "no EFOpenError";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + p + "\". " + std::strerror(c.error));
  }
  if (c.error == ENOENT) {
    EXPECT_FALSE(fs::exists(p));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSizeErrorTest,
                         ::testing::Values(OpenErrorCase{"Missing", ENOENT},
                                           OpenErrorCase{"Directory", EISDIR}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- PatchSQLiteHeader

struct PatchCase {
  const char* name;
  PatchMode mode;
  std::uint8_t write, read;  // header bytes 18 and 19 on disk before
  bool writes;
};

class PatchTest : public SectorFiles, public ::testing::WithParamInterface<PatchCase> {};

TEST_P(PatchTest, SetsVersionBytesOnlyWhenAsked) {
  const PatchCase& c = GetParam();
  // A real database, then its version bytes set to the case's values.
  std::string p = MakeDatabase("v.db", 4096, false);
  Fbuf before = Contents(p);
  ASSERT_GE(before.size(), 4096u);
  before[18] = c.write;
  before[19] = c.read;
  MakeFile("v.db", before);
  // An old time stamp, so that any write would show in it.
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), old, 0), 0);

  ScriptedMessageBoxes boxes;
  Fbuf header(512, 0);
  ASSERT_TRUE(ReadSectors(p, false, 0, 512, header));
  const Fbuf headerBefore = header;
  PatchSQLiteHeader(p, header, c.mode);
  EXPECT_TRUE(boxes.shown().empty());

  Fbuf want = before;
  Fbuf wantHeader = headerBefore;
  if (c.writes) {
    want[18] = want[19] = 1;
    wantHeader[18] = wantHeader[19] = 1;
  }
  EXPECT_EQ(Contents(p), want) << "only bytes 18 and 19 may change";
  EXPECT_EQ(header, wantHeader);
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  if (!c.writes) {
    EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec) << "the file was not to be written";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatchTest,
    ::testing::Values(PatchCase{"IfNeeded_1_1", PatchMode::IfNeeded, 1, 1, false},
                      PatchCase{"IfNeeded_2_2", PatchMode::IfNeeded, 2, 2, true},
                      PatchCase{"IfNeeded_1_2", PatchMode::IfNeeded, 1, 2, true},
                      PatchCase{"IfNeeded_2_1", PatchMode::IfNeeded, 2, 1, true},
                      PatchCase{"IfNeeded_0_0", PatchMode::IfNeeded, 0, 0, false},
                      PatchCase{"IfNeeded_0_1", PatchMode::IfNeeded, 0, 1, false},
                      PatchCase{"IfNeeded_255_0", PatchMode::IfNeeded, 255, 0, true},
                      PatchCase{"Always_1_1", PatchMode::Always, 1, 1, true},
                      PatchCase{"Always_2_2", PatchMode::Always, 2, 2, true},
                      PatchCase{"Always_0_0", PatchMode::Always, 0, 0, true},
                      PatchCase{"Always_2_1", PatchMode::Always, 2, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

// IfNeeded with nothing to do does not even open the file: a path that does
// not exist stays missing.
TEST_F(SectorFiles, PatchIfNeededWithNothingToDoTouchesNoFile) {
  std::string p = Path("never.db");
  Fbuf header(512, 0);
  header[18] = header[19] = 1;
  ScriptedMessageBoxes boxes;
  PatchSQLiteHeader(p, header, PatchMode::IfNeeded);
  EXPECT_FALSE(fs::exists(p));
  EXPECT_TRUE(boxes.shown().empty());
}

// A buffer shorter than a sector is refused with the write box; nothing changes.
TEST_F(SectorFiles, PatchOfShortBufferWritesNothing) {
  std::string p = MakeFile("s.db", Pattern(1024));
  Fbuf header(100, 2);
  ScriptedMessageBoxes boxes;
  PatchSQLiteHeader(p, header, PatchMode::Always);
  ExpectBoxes(boxes, {kWriteBox});
  EXPECT_EQ(header, Fbuf(100, 2));
  EXPECT_EQ(Contents(p), Pattern(1024));
}

// A WAL database becomes a rollback-journal one that SQLite reads from the
// main file alone.
TEST_F(SectorFiles, PatchedWalDatabaseOpensInRollbackMode) {
  std::string p = MakeDatabase("wal.db", 4096, true);
  ASSERT_FALSE(fs::exists(p + "-wal"));
  ScriptedMessageBoxes boxes;
  Fbuf header(512, 0);
  ASSERT_TRUE(ReadSectors(p, false, 0, 512, header));
  ASSERT_EQ(header[18], 2);
  ASSERT_EQ(header[19], 2);
  PatchSQLiteHeader(p, header, PatchMode::IfNeeded);
  EXPECT_TRUE(boxes.shown().empty());

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(p.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM t", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 3);
  sqlite3_finalize(st);
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "delete");
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_FALSE(fs::exists(p + "-wal"));
}

}  // namespace
}  // namespace velmora
