// Raw file access: opens by access kind, reads and writes at 64-bit offsets,
// sizes, and the descriptor's lifetime.

#include "platform/RawFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ScratchFolder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t n, std::uint8_t start = 0) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 13 + i / 256);
  return b;
}

class RawFileTest : public testsupport::ScratchFolderTest {
 protected:
  RawFileTest() : ScratchFolderTest("velmora-rawfile") {}
};

struct OpenCase {
  const char* name;
  RawFile::Access access;
  bool exists;
  bool opens;
  int error;
};

class RawFileOpenTest : public RawFileTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(RawFileOpenTest, OpensByAccessKind) {
  const OpenCase& c = GetParam();
  std::string p = c.exists ? MakeFile("f", Pattern(10)) : Path("f");
  RawFile f(p, c.access);
  EXPECT_EQ(f.IsOpen(), c.opens);
  EXPECT_EQ(f.Error(), c.error);
  EXPECT_EQ(fs::exists(p), c.exists || c.opens);
  if (c.exists) {
    EXPECT_EQ(Contents(p), Pattern(10)) << "opening alone changes nothing";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RawFileOpenTest,
    ::testing::Values(OpenCase{"MissingReadOnly", RawFile::Access::ReadOnly, false, false, ENOENT},
                      OpenCase{"MissingReadWrite", RawFile::Access::ReadWrite, false, false, ENOENT},
                      OpenCase{"MissingCreate", RawFile::Access::ReadWriteCreate, false, true, 0},
                      OpenCase{"ExistingReadOnly", RawFile::Access::ReadOnly, true, true, 0},
                      OpenCase{"ExistingReadWrite", RawFile::Access::ReadWrite, true, true, 0},
                      OpenCase{"ExistingCreate", RawFile::Access::ReadWriteCreate, true, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RawFileTest, ReadOnlyFileOpensOnlyForReading) {
  std::string p = MakeFile("ro", Pattern(10));
  ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
  EXPECT_TRUE(RawFile(p, RawFile::Access::ReadOnly).IsOpen());
  int fd = ::open(p.c_str(), O_RDWR);
  if (fd >= 0) {
    ::close(fd);
    GTEST_SKIP() << "permission bits are not enforced for this user";
  }
  RawFile rw(p, RawFile::Access::ReadWrite);
  EXPECT_FALSE(rw.IsOpen());
  EXPECT_EQ(rw.Error(), EACCES);
}

TEST_F(RawFileTest, DirectoryOpensForReadingOnly) {
  RawFile ro(dir_.string(), RawFile::Access::ReadOnly);
  ASSERT_TRUE(ro.IsOpen());
  EXPECT_TRUE(ro.IsDirectory());
  RawFile rw(dir_.string(), RawFile::Access::ReadWrite);
  EXPECT_FALSE(rw.IsOpen());
  EXPECT_EQ(rw.Error(), EISDIR);
}

struct ReadCase {
  const char* name;
  std::uint64_t offset;
  std::size_t length;
  std::size_t expectedCount;
  int error;
};

class RawFileReadTest : public RawFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(RawFileReadTest, ReadsWhatIsThere) {
  const ReadCase& c = GetParam();
  const Bytes data = Pattern(3000);
  RawFile f(MakeFile("f", data), RawFile::Access::ReadOnly);
  ASSERT_TRUE(f.IsOpen());
  Bytes out(c.length, 0xEE);
  EXPECT_EQ(f.ReadAt(c.offset, out), c.expectedCount);
  EXPECT_EQ(f.Error(), c.error);
  for (std::size_t i = 0; i < c.expectedCount; ++i)
    ASSERT_EQ(out[i], data[c.offset + i]) << "byte " << i;
  for (std::size_t i = c.expectedCount; i < c.length; ++i)
    ASSERT_EQ(out[i], 0xEE) << "byte " << i << " past what was read";
}

constexpr std::uint64_t kMaxOff = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

INSTANTIATE_TEST_SUITE_P(
    Cases, RawFileReadTest,
    ::testing::Values(ReadCase{"Start", 0, 512, 512, 0}, ReadCase{"Middle", 1024, 700, 700, 0},
                      ReadCase{"Whole", 0, 3000, 3000, 0},
                      ReadCase{"RunsPastEnd", 2560, 1024, 440, 0},
                      ReadCase{"AtEnd", 3000, 10, 0, 0}, ReadCase{"PastEnd", 5000, 10, 0, 0},
                      ReadCase{"Nothing", 0, 0, 0, 0},
                      ReadCase{"BeyondSignedRange", kMaxOff + 1, 10, 0, EINVAL},
                      ReadCase{"LargestOffset", kMaxOff, 10, 0, EINVAL},
                      ReadCase{"WrappingOffset", std::numeric_limits<std::uint64_t>::max(), 10, 0,
                               EINVAL}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RawFileTest, WritesAtOffsetsAndGrowsTheFile) {
  std::string p = Path("w");
  RawFile f(p, RawFile::Access::ReadWriteCreate);
  ASSERT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Size(), 0);
  const Bytes a = Pattern(100, 1), b = Pattern(50, 2);
  EXPECT_EQ(f.WriteAt(1000, a), 100u);
  EXPECT_EQ(f.Size(), 1100);
  EXPECT_EQ(f.WriteAt(10, b), 50u);
  EXPECT_EQ(f.Size(), 1100);
  EXPECT_EQ(f.WriteAt(kMaxOff + 1, b), 0u);
  EXPECT_EQ(f.Error(), EINVAL);
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.IsOpen());
  EXPECT_TRUE(f.Close()) << "closing twice is harmless";

  Bytes want(1100, 0);
  std::copy(a.begin(), a.end(), want.begin() + 1000);
  std::copy(b.begin(), b.end(), want.begin() + 10);
  EXPECT_EQ(Contents(p), want);
}

TEST_F(RawFileTest, WriteToReadOnlyDescriptorFails) {
  std::string p = MakeFile("f", Pattern(10));
  RawFile f(p, RawFile::Access::ReadOnly);
  EXPECT_EQ(f.WriteAt(0, Pattern(5, 9)), 0u);
  EXPECT_EQ(f.Error(), EBADF);
  EXPECT_EQ(Contents(p), Pattern(10));
}

TEST_F(RawFileTest, SizeOfLargeSparseFile) {
  std::string p = MakeFile("big", {});
  ASSERT_EQ(::truncate(p.c_str(), std::int64_t{6} << 30), 0);
  RawFile f(p, RawFile::Access::ReadWrite);
  EXPECT_EQ(f.Size(), std::int64_t{6} << 30);
  // A read near the end of a file beyond 4 GiB lands where it should.
  const Bytes tail = Pattern(64, 5);
  EXPECT_EQ(f.WriteAt((std::uint64_t{6} << 30) - 64, tail), 64u);
  Bytes back(64);
  EXPECT_EQ(f.ReadAt((std::uint64_t{6} << 30) - 64, back), 64u);
  EXPECT_EQ(back, tail);
}

TEST_F(RawFileTest, FifoNeitherWaitsNorReads) {
  std::string p = Path("fifo");
  ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
  for (auto access : {RawFile::Access::ReadOnly, RawFile::Access::ReadWrite}) {
    RawFile f(p, access);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_FALSE(f.Size().has_value());
    Bytes out(16, 0);
    EXPECT_EQ(f.ReadAt(0, out), 0u);
    EXPECT_EQ(f.Error(), ESPIPE);
  }
}

TEST_F(RawFileTest, MoveHandsOverTheDescriptor) {
  std::string p = MakeFile("f", Pattern(100));
  RawFile a(p, RawFile::Access::ReadOnly);
  ASSERT_TRUE(a.IsOpen());
  RawFile b(std::move(a));
  EXPECT_FALSE(a.IsOpen());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  ASSERT_TRUE(b.IsOpen());
  Bytes out(10);
  EXPECT_EQ(b.ReadAt(90, out), 10u);

  RawFile c;
  EXPECT_FALSE(c.IsOpen());
  c = std::move(b);
  EXPECT_FALSE(b.IsOpen());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(c.ReadAt(0, out), 10u);
  c = RawFile(p, RawFile::Access::ReadOnly);  // the old descriptor is closed, the new one kept
  EXPECT_EQ(c.ReadAt(0, out), 10u);
}

}  // namespace
}  // namespace platform
