// The DVR cluster index: the location record, both entry layouts, the walk,
// its chains and the four readers, on small index images built byte by byte.

#include "dvr/DvrIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/dvr/DvrIndexImage.h"

namespace velmora {
namespace {

using namespace dvr_fixtures;

struct RecordingProgress : DvrWalkProgress {
  std::vector<std::pair<std::int64_t, std::int64_t>> Ranges;
  std::vector<std::int64_t> Positions;
  int Pumps = 0;
  void SetRange(std::int64_t minimum, std::int64_t maximum) override {
    Ranges.emplace_back(minimum, maximum);
  }
  void SetPosition(std::int64_t position) override { Positions.push_back(position); }
  void PumpMessages() override { ++Pumps; }
};

F_Main::TDvrFile WizardRead(DvrLayout layout, const Fbuf& index, std::int32_t start,
                            DvrWalkProgress* progress = nullptr) {
  F_Main::TDvrFile files;
  if (layout == DvrLayout::Dhfs) {
    F_Main::ReadDhfsIndex(index, start, files, progress);
  } else {
    F_Main::ReadWfsIndex(index, start, files, progress);
  }
  return files;
}

std::unique_ptr<T_Main::TDvrFileList> MainRead(DvrLayout layout, const Fbuf& index,
                                               std::int32_t start) {
  return layout == DvrLayout::Dhfs ? T_Main::Read_DHFS_Index(index, start)
                                   : T_Main::Read_WFS_Index(index, start);
}

using Clusters = std::vector<std::uint32_t>;

class DvrIndexTest : public ::testing::TestWithParam<DvrLayout> {
 protected:
  void SetUp() override {
    F_Main::DvrWizardClusterMap.assign(64, 0);
    F_Main::DvrWizardFileCount = -7;
    T_Main::DvrClusterMap.assign(64, 0);
    T_Main::DvrClusterSize = 0;
    T_Main::DvrDataStart = 0;
    T_Main::DvrNextFileId = -7;
  }
  DvrLayout Layout() const { return GetParam(); }
  Entry File(std::uint32_t cluster, std::uint32_t next, std::uint16_t sizeHigh = 0) const {
    return Entry{.Type = Layout() == DvrLayout::Dhfs ? std::uint8_t{1} : std::uint8_t{2},
                 .Channel = 3, .MainChannel = 8, .SizeHigh = sizeHigh, .StartTime = kStart,
                 .EndTime = kEnd, .Next = next, .SizeLow = 10, .Cluster = cluster};
  }
};

INSTANTIATE_TEST_SUITE_P(Layouts, DvrIndexTest, ::testing::Values(DvrLayout::Dhfs, DvrLayout::Wfs),
                         [](const auto& info) {
                           return info.param == DvrLayout::Dhfs ? "Dhfs" : "Wfs";
                         });

// ---------------------------------------------------------------- location record
TEST(DvrGeometryTest, EightLittleEndianValuesFromByte48) {
  Fbuf sector(512, 0);
  for (std::uint32_t i = 0; i < 8; ++i) PutLe32(sector, 48 + 4 * i, 0x01020300u + i);
  const TDvrGeometry g = ReadDvrGeometry(sector);
  EXPECT_EQ(g.Value1, 0x01020300u);
  EXPECT_EQ(g.Value2, 0x01020301u);
  EXPECT_EQ(g.FirstEntry, 0x01020302u);
  EXPECT_EQ(g.IndexEndSector, 0x01020303u);
  EXPECT_EQ(g.Value5, 0x01020304u);
  EXPECT_EQ(g.IndexStartSector, 0x01020305u);
  EXPECT_EQ(g.Value7, 0x01020306u);
  EXPECT_EQ(g.ClusterCount, 0x01020307u);
}

TEST(DvrGeometryTest, ShortSectorLeavesMissingFieldsZero) {
  Fbuf sector(64, 0xFF);  // bytes 48..63: the first four values only
  const TDvrGeometry g = ReadDvrGeometry(sector);
  EXPECT_EQ(g.FirstEntry, 0xFFFFFFFFu);
  EXPECT_EQ(g.IndexEndSector, 0xFFFFFFFFu);
  EXPECT_EQ(g.IndexStartSector, 0u);
  EXPECT_EQ(g.ClusterCount, 0u);
  EXPECT_EQ(ReadDvrGeometry({}).ClusterCount, 0u);
}

TEST(DvrGeometryTest, IndexAreaBytes) {
  struct Case { std::uint32_t start, end; std::optional<std::uint64_t> bytes; };
  const Case cases[] = {
      {100, 100, 0},
      {100, 102, 1024},
      {0, 0xFFFFFFFFu, std::uint64_t{0xFFFFFFFFu} * 512},  // beyond 32 bits
      {5, 4, std::nullopt},
  };
  for (const Case& c : cases) {
    TDvrGeometry g;
    g.IndexStartSector = c.start;
    g.IndexEndSector = c.end;
    EXPECT_EQ(DvrIndexAreaBytes(g), c.bytes) << c.start << ".." << c.end;
  }
}

TEST(DvrGeometryTest, FitsTheDeviceWhenItsIndexAreaAndClustersLieOnIt) {
  // A device of 128 sectors (a 64 KB image).
  constexpr std::uint64_t kDevice = 128 * 512;
  struct Case {
    const char* name;
    std::uint32_t start, end, clusters;
    std::uint64_t deviceBytes;
    bool fits;
  };
  const Case cases[] = {
      {"index and clusters on the device", 40, 42, 63, kDevice, true},
      {"index area ending at the last sector", 0, 128, 0, kDevice, true},
      {"one cluster per sector", 40, 42, 127, kDevice, true},
      {"empty index area", 40, 40, 0, kDevice, true},
      {"a trailing partial sector is not a sector", 0, 128, 0, kDevice + 511, true},
      {"index area one sector past the end", 0, 129, 0, kDevice, false},
      {"index area far past the end", 0, 0xFFFFFFFFu, 0, kDevice, false},
      {"index area starting past the end", 200, 201, 0, kDevice, false},
      {"one cluster more than sectors", 40, 42, 128, kDevice, false},
      {"four billion clusters", 40, 42, 0xFFFFFFFFu, kDevice, false},
      {"end below start", 42, 40, 0, kDevice, false},
      {"no device", 0, 0, 0, 0, false},
      {"a device of four billion sectors and more", 0, 0xFFFFFFFFu, 0xFFFFFFFFu,
       std::uint64_t{0x100000000} * 512, true},
  };
  for (const Case& c : cases) {
    TDvrGeometry g;
    g.IndexStartSector = c.start;
    g.IndexEndSector = c.end;
    g.ClusterCount = c.clusters;
    EXPECT_EQ(DvrGeometryFitsDevice(g, c.deviceBytes), c.fits) << c.name;
  }
}

// ---------------------------------------------------------------- entries
TEST(DvrEntryTest, DecodesBothLayouts) {
  IndexImage dhfs(DvrLayout::Dhfs, 1);
  dhfs.Set(0, Entry{.Type = 3, .Channel = 0xA5, .SizeHigh = 0x1234, .StartTime = 0x11223344,
                    .EndTime = 0x55667788, .Next = 0x99AABBCC, .SizeLow = 0x0D0E0F10,
                    .Cluster = 0x21222324});
  const auto d = DecodeDvrEntry(DvrLayout::Dhfs, std::span<const std::uint8_t, 32>(dhfs.Bytes()));
  EXPECT_EQ(d.EntryType, 3);
  EXPECT_EQ(d.ChannelCode, 0xA5);
  EXPECT_EQ(d.MainChannelCode, 0xA5);
  EXPECT_EQ(d.SizeHigh, 0x1234);
  EXPECT_EQ(d.StartTime, 0x11223344u);
  EXPECT_EQ(d.EndTime, 0x55667788u);
  EXPECT_EQ(d.NextEntry, 0x99AABBCCu);
  EXPECT_EQ(d.SizeLow, 0x0D0E0F10u);
  EXPECT_EQ(d.ClusterNo, 0x21222324u);

  IndexImage wfs(DvrLayout::Wfs, 1);
  wfs.Set(0, Entry{.Type = 3, .Channel = 0x31, .MainChannel = 0x42, .SizeHigh = 0x1234,
                   .StartTime = 0x11223344, .EndTime = 0x55667788, .Next = 0x99AABBCC,
                   .SizeLow = 0xBEEF, .Cluster = 0x21222324});
  const auto w = DecodeDvrEntry(DvrLayout::Wfs, std::span<const std::uint8_t, 32>(wfs.Bytes()));
  EXPECT_EQ(w.EntryType, 3);
  EXPECT_EQ(w.ChannelCode, 0x31);
  EXPECT_EQ(w.MainChannelCode, 0x42);
  EXPECT_EQ(w.SizeHigh, 0x1234);
  EXPECT_EQ(w.StartTime, 0x11223344u);
  EXPECT_EQ(w.EndTime, 0x55667788u);
  EXPECT_EQ(w.NextEntry, 0x99AABBCCu);
  EXPECT_EQ(w.SizeLow, 0xBEEFu);
  EXPECT_EQ(w.ClusterNo, 0x21222324u);
}

TEST(DvrEntryTest, EndAndFileTests) {
  struct Case { DvrLayout layout; std::uint8_t b0, b1, b2, b3; bool end, file; };
  const Case cases[] = {
      {DvrLayout::Dhfs, 0, 0, 0, 0, true, false},
      {DvrLayout::Dhfs, 0xFE, 0, 0, 0, true, false},
      {DvrLayout::Dhfs, 0, 1, 0, 0, false, false},  // type 0 with a channel byte: passed over
      {DvrLayout::Dhfs, 0xFE, 0, 0, 1, false, false},
      {DvrLayout::Dhfs, 1, 0, 0, 0, false, true},
      {DvrLayout::Dhfs, 3, 0, 0, 0, false, true},
      {DvrLayout::Dhfs, 2, 5, 0, 0, false, false},  // type 2 is no file start
      {DvrLayout::Dhfs, 4, 0, 0, 0, false, false},
      {DvrLayout::Wfs, 0x77, 0, 0, 0, true, false},  // byte 0 plays no part
      {DvrLayout::Wfs, 0, 0, 1, 0, false, false},    // zero type, SizeHigh set: passed over
      {DvrLayout::Wfs, 0, 0, 0, 1, false, false},
      {DvrLayout::Wfs, 0, 2, 0, 0, false, true},
      {DvrLayout::Wfs, 0, 3, 0, 0, false, true},
      {DvrLayout::Wfs, 1, 1, 0, 0, false, false},
      {DvrLayout::Wfs, 3, 4, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    std::array<std::uint8_t, 32> bytes{};
    bytes[0] = c.b0;
    bytes[1] = c.b1;
    bytes[2] = c.b2;
    bytes[3] = c.b3;
    const auto name = (c.layout == DvrLayout::Dhfs ? "DHFS " : "WFS ") + std::to_string(c.b0) +
                      "," + std::to_string(c.b1) + "," + std::to_string(c.b2) + "," +
                      std::to_string(c.b3);
    EXPECT_EQ(IsDvrEndEntry(c.layout, bytes), c.end) << name;
    EXPECT_EQ(IsDvrFileEntry(c.layout, bytes), c.file) << name;
  }
}

TEST(DvrEntryTest, SizeInKbAndFileName) {
  struct Case { std::uint16_t high; std::uint32_t low; std::uint32_t kb; };
  const Case cases[] = {{0, 3, 1}, {0, 1, 0}, {2, 0, 4096}, {1, 4097, 4096},
                        {0xFFFF, 0xFFFFFFFF, 0xFFFFu * 2048u + 0x7FFFFFFFu}};
  for (const Case& c : cases) {
    DvrIndexEntry e;
    e.SizeHigh = c.high;
    e.SizeLow = c.low;
    EXPECT_EQ(DvrSizeKb(e), c.kb) << c.high << "/" << c.low;
  }
  EXPECT_EQ(DvrFileName(DvrLayout::Dhfs, 3, "2013-7-4 9.5.3", "2013-7-4 10.0.0", 4097),
            "3_2013-7-4 9.5.3-2013-7-4 10.0.0_4097Kb.dav");
  EXPECT_EQ(DvrFileName(DvrLayout::Wfs, 12, "a", "b", 0), "12_a-b_0Kb.264");
}

// ---------------------------------------------------------------- the walk
TEST_P(DvrIndexTest, OneFileRecordWithItsChain) {
  IndexImage image(Layout(), 8);
  image.Set(1, File(1, 4, 2)).Link(4, 6, 2).Link(6, 0);
  const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 0);
  ASSERT_EQ(files.size(), 1u);
  const F_Main::DvrFile& f = files[0];
  EXPECT_EQ(f.Id, 0);
  EXPECT_EQ(f.Channel, 3);
  EXPECT_EQ(f.StartText, "2013-7-4 9.5.3");
  EXPECT_EQ(f.EndText, "2013-7-4 10.0.0");
  EXPECT_EQ(f.SizeLow, 10u);
  EXPECT_EQ(f.Clusters, (Clusters{1, 4, 6}));
  EXPECT_EQ(f.FileName, std::string("3_2013-7-4 9.5.3-2013-7-4 10.0.0_4101") +
                            (Layout() == DvrLayout::Dhfs ? "Kb.dav" : "Kb.264"));
  EXPECT_EQ(F_Main::DvrWizardFileCount, 1);
  std::vector<std::uint8_t> map(64, 0);
  map[1] = map[4] = map[6] = 1;
  EXPECT_EQ(F_Main::DvrWizardClusterMap, map);
}

TEST_P(DvrIndexTest, ClusterNumbersAreLinksAndTheFirstEntrysClusterNo) {
  // The first cluster is the first entry's ClusterNo; linked clusters are the
  // link values, whatever ClusterNo their entries hold.
  IndexImage image(Layout(), 6);
  Entry linked = image.Continuation();
  linked.Cluster = 40;
  linked.Next = 5;
  image.Set(0, File(33, 3)).Set(3, linked).Link(5, 0xFFFFFFFFu);
  EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0)[0].Clusters, (Clusters{33, 3, 5}));
}

TEST_P(DvrIndexTest, ChannelsOfTheWizardReaders) {
  IndexImage image(Layout(), 2);
  Entry e = File(0, 0);
  e.Channel = 0xF7;
  image.Set(0, e);
  // DHFS: low 4 bits of byte 1; WFS: byte 30 as it is.
  EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0)[0].Channel,
            Layout() == DvrLayout::Dhfs ? 7 : 0xF7);
}

TEST_P(DvrIndexTest, SeveralFilesInIndexOrderWithIdsFromZero) {
  IndexImage image(Layout(), 10);
  image.Set(0, File(0, 0)).Set(2, File(2, 3)).Link(3, 0).Set(5, File(5, 0xFFFFFFFFu));
  F_Main::TDvrFile files{F_Main::DvrFile{}, F_Main::DvrFile{}, F_Main::DvrFile{},
                         F_Main::DvrFile{}};  // an earlier result is replaced
  if (Layout() == DvrLayout::Dhfs) {
    F_Main::ReadDhfsIndex(image.Bytes(), 0, files);
  } else {
    F_Main::ReadWfsIndex(image.Bytes(), 0, files);
  }
  ASSERT_EQ(files.size(), 3u);
  for (std::int32_t i = 0; i < 3; ++i) EXPECT_EQ(files[static_cast<std::size_t>(i)].Id, i);
  EXPECT_EQ(files[0].Clusters, (Clusters{0}));
  EXPECT_EQ(files[1].Clusters, (Clusters{2, 3}));
  EXPECT_EQ(files[2].Clusters, (Clusters{5}));
  EXPECT_EQ(F_Main::DvrWizardFileCount, 3);
}

TEST_P(DvrIndexTest, StartEntrySkipsTheEntriesBeforeIt) {
  IndexImage image(Layout(), 6);
  image.Set(1, File(1, 0)).Set(4, File(4, 0));
  const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 2);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].Clusters, (Clusters{4}));
  EXPECT_EQ(files[0].Id, 0);
}

TEST_P(DvrIndexTest, WalkEndsAtTheEndEntry) {
  IndexImage image(Layout(), 6);
  image.Set(0, File(0, 0)).Set(2, File(2, 0)).Set(4, File(4, 0));
  std::fill(image.Bytes().begin() + 3 * 32, image.Bytes().begin() + 4 * 32, std::uint8_t{0});
  if (Layout() == DvrLayout::Dhfs) image.Raw(3 * 32, {0xFE});
  const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 0);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1].Clusters, (Clusters{2}));
}

TEST_P(DvrIndexTest, NoRecordsForAStartAtOrPastTheEndOrAnEmptyIndex) {
  IndexImage image(Layout(), 4);
  image.Set(0, File(0, 0)).Set(3, File(3, 0));
  struct Case { std::size_t size; std::int32_t start; };
  const Case cases[] = {{128, 4}, {128, 5}, {128, 0x7FFFFFFF}, {0, 0}, {128, -1},
                        {128, -0x7FFFFFFF - 1},
                        // 32 * start wraps to 32 in 32 bits; it still reads nothing
                        {128, 0x08000001}};
  for (const Case& c : cases) {
    Fbuf index(image.Bytes().begin(), image.Bytes().begin() + static_cast<std::ptrdiff_t>(c.size));
    RecordingProgress progress;
    const F_Main::TDvrFile files = WizardRead(Layout(), index, c.start, &progress);
    EXPECT_TRUE(files.empty()) << c.size << " from " << c.start;
    const auto last = static_cast<std::int64_t>(c.size) - 1;
    ASSERT_EQ(progress.Ranges.size(), 1u);
    EXPECT_EQ(progress.Ranges[0], std::make_pair(std::int64_t{0}, last));
    ASSERT_FALSE(progress.Positions.empty());
    EXPECT_EQ(progress.Positions.back(), last);
    EXPECT_EQ(F_Main::DvrWizardFileCount, 0);
  }
}

TEST_P(DvrIndexTest, ProgressFollowsTheEntriesAndPumpsPerEntryAndChainStep) {
  IndexImage image(Layout(), 4);
  image.Set(0, File(0, 2)).Link(2, 3).Link(3, 0);
  RecordingProgress progress;
  WizardRead(Layout(), image.Bytes(), 0, &progress);
  EXPECT_EQ(progress.Ranges, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 127}}));
  EXPECT_EQ(progress.Positions, (std::vector<std::int64_t>{0, 32, 64, 96, 127}));
  EXPECT_EQ(progress.Pumps, 4 + 2);  // four entries; chain steps at entries 2 and 3
}

TEST_P(DvrIndexTest, EndLinksGiveOneCluster) {
  for (std::uint32_t next : {0u, 0xFFFFFFFFu}) {
    IndexImage image(Layout(), 3);
    image.Set(1, File(9, next));
    const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 0);
    ASSERT_EQ(files.size(), 1u) << next;
    EXPECT_EQ(files[0].Clusters, (Clusters{9})) << next;
  }
}

TEST_P(DvrIndexTest, SizeHighBoundsTheChainFromTheSecondLinkOn) {
  struct Case { std::uint16_t firstHigh, secondHigh, thirdHigh; Clusters clusters; };
  const Case cases[] = {
      // The first link is taken even when its entry's SizeHigh is larger.
      {1, 9, 0, {0, 2, 3}},
      // A larger SizeHigh cuts the chain before that entry.
      {1, 1, 2, {0, 2}},
      // An equal one stays in the chain.
      {1, 0, 1, {0, 2, 3}},
      {0, 0, 1, {0, 2}},
  };
  for (const Case& c : cases) {
    IndexImage image(Layout(), 5);
    image.Set(0, File(0, 2, c.firstHigh)).Link(2, 3, c.secondHigh).Link(3, 0, c.thirdHigh);
    EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0)[0].Clusters, c.clusters)
        << c.firstHigh << "/" << c.secondHigh << "/" << c.thirdHigh;
  }
}

TEST_P(DvrIndexTest, SizeOfTheNameComesFromTheFirstEntryOnly) {
  IndexImage image(Layout(), 4);
  Entry first = File(0, 2, 1);
  first.SizeLow = 3;  // 3 sectors: 1 KB
  Entry linked = image.Continuation();
  linked.SizeLow = 5000;
  linked.Next = 0;
  linked.SizeHigh = 1;
  image.Set(0, first).Set(2, linked);
  const F_Main::DvrFile f = WizardRead(Layout(), image.Bytes(), 0)[0];
  EXPECT_NE(f.FileName.find("_2049Kb."), std::string::npos) << f.FileName;
  EXPECT_EQ(f.SizeLow, 3u);
}

TEST_P(DvrIndexTest, LinksOutsideTheIndex) {
  // The first link is always taken, even to an entry past the end; a later
  // link past the end is not appended. Either ends the chain.
  {
    IndexImage image(Layout(), 3);
    image.Set(0, File(0, 1000));
    EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0)[0].Clusters, (Clusters{0, 1000}));
  }
  {
    IndexImage image(Layout(), 3);
    image.Set(0, File(0, 2)).Link(2, 3);  // entry 3 does not exist
    EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0)[0].Clusters, (Clusters{0, 2}));
  }
  {
    IndexImage image(Layout(), 3);
    image.Set(0, File(0, 2)).Link(2, 0x7FFFFFFF);
    EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0)[0].Clusters, (Clusters{0, 2}));
  }
}

TEST_P(DvrIndexTest, ChainCyclesEndAtTheFirstRepeatedEntry) {
  // The file starts at entry 1 (cluster 7); a link back to an entry already in
  // the chain ends it without that entry.
  struct Case { std::uint32_t first; std::vector<std::pair<std::size_t, std::uint32_t>> links;
                Clusters clusters; };
  const Case cases[] = {
      {1, {}, {7, 1}},                          // the first entry links to itself
      {2, {{2, 2}}, {7, 2}},                    // a linked entry links to itself
      {2, {{2, 3}, {3, 2}}, {7, 2, 3}},         // two entries link to each other
      {2, {{2, 1}}, {7, 2}},                    // back to the first entry at once
      {2, {{2, 3}, {3, 4}, {4, 1}}, {7, 2, 3, 4}},  // back to the first entry later
  };
  for (const Case& c : cases) {
    IndexImage image(Layout(), 6);
    image.Set(1, File(7, c.first));
    for (const auto& [k, next] : c.links) image.Link(k, next);
    RecordingProgress progress;
    const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 0, &progress);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Clusters, c.clusters) << "first link " << c.first;
  }
}

TEST_P(DvrIndexTest, EachFileOfASharedChainGetsTheWholeChain) {
  // Cycle detection is per chain: two files may name the same clusters.
  IndexImage image(Layout(), 6);
  image.Set(0, File(0, 4)).Set(1, File(1, 4)).Link(4, 5).Link(5, 0);
  const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 0);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].Clusters, (Clusters{0, 4, 5}));
  EXPECT_EQ(files[1].Clusters, (Clusters{1, 4, 5}));
}

TEST_P(DvrIndexTest, ClustersBeyondTheMapLeaveItUnchanged) {
  F_Main::DvrWizardClusterMap.assign(3, 0);
  IndexImage image(Layout(), 6);
  image.Set(0, File(2, 4)).Link(4, 5).Link(5, 0);
  image.Set(1, File(0xFFFFFFF0u, 0));
  EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0).size(), 2u);
  EXPECT_EQ(F_Main::DvrWizardClusterMap, (std::vector<std::uint8_t>{0, 0, 1}));
  F_Main::DvrWizardClusterMap.clear();
  EXPECT_EQ(WizardRead(Layout(), image.Bytes(), 0).size(), 2u);
  EXPECT_TRUE(F_Main::DvrWizardClusterMap.empty());
}

TEST_P(DvrIndexTest, TruncatedIndexStopsBeforeThePartialEntry) {
  IndexImage image(Layout(), 4);
  image.Set(0, File(0, 3)).Set(3, File(3, 0));
  image.Bytes().resize(3 * 32 + 31);
  const F_Main::TDvrFile files = WizardRead(Layout(), image.Bytes(), 0);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].Clusters, (Clusters{0, 3}));  // first link taken, entry 3 unreadable
}

TEST_P(DvrIndexTest, AnImageCutAtEveryLengthNeverReadsPastIt) {
  IndexImage image(Layout(), 8);
  image.Set(0, File(0, 6, 1)).Link(6, 7, 1).Link(7, 2).Set(2, File(2, 5)).Link(5, 1);
  for (std::size_t n = 0; n <= image.Bytes().size(); ++n) {
    const Fbuf cut(image.Bytes().begin(), image.Bytes().begin() + static_cast<std::ptrdiff_t>(n));
    const F_Main::TDvrFile files = WizardRead(Layout(), cut, 0);
    EXPECT_EQ(files.size(), n < 32 ? 0u : n < 96 ? 1u : 2u) << n;
  }
}

TEST_P(DvrIndexTest, HostileBytesEndEveryWalk) {
  // Deterministic pseudo-random images: links everywhere, cycles, huge values.
  std::uint32_t seed = 12345;
  const auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(seed >> 16);
  };
  for (int round = 0; round < 200; ++round) {
    Fbuf index(static_cast<std::size_t>(32 * (1 + round % 17) + round % 5));
    for (auto& b : index) b = next();
    for (std::size_t o = 0; o + 32 <= index.size(); o += 32) {
      index[o] = static_cast<std::uint8_t>(1 + (next() & 2));      // DHFS file start
      index[o + 1] = static_cast<std::uint8_t>(2 + (next() & 1));  // WFS file start
      index[o + 2] = index[o + 3] = 0;                             // SizeHigh 0
      const std::uint32_t link = next() % 24;                      // mostly inside
      index[o + 8] = index[o + 12] = static_cast<std::uint8_t>(link);
      index[o + 9] = index[o + 10] = index[o + 11] = 0;
      index[o + 13] = index[o + 14] = index[o + 15] = 0;
    }
    const F_Main::TDvrFile files = WizardRead(Layout(), index, 0);
    EXPECT_EQ(files.size(), index.size() / 32) << round;
    for (const auto& f : files) EXPECT_LE(f.Clusters.size(), index.size() / 32 + 2) << round;
    EXPECT_EQ(MainRead(Layout(), index, 0)->size(), index.size() / 32) << round;
  }
}

// ---------------------------------------------------------------- main-window readers
TEST_P(DvrIndexTest, MainReadersNumberFromOneAndGiveClusterOffsets) {
  T_Main::DvrClusterSize = 0x1000;
  T_Main::DvrDataStart = 0x200;
  IndexImage image(Layout(), 6);
  image.Set(0, File(1, 3)).Link(3, 0).Set(4, File(0x00100001u, 0));
  const auto list = MainRead(Layout(), image.Bytes(), 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->size(), 2u);
  const T_Main::DvrFile& a = (*list)[0];
  EXPECT_EQ(a.Id, 1);
  EXPECT_EQ((*list)[1].Id, 2);
  EXPECT_EQ(T_Main::DvrNextFileId, 3);
  EXPECT_EQ(a.ClusterOffsets, (Clusters{0x1200, 0x3200}));
  // 32-bit arithmetic: 0x00100001 * 0x1000 wraps to 0x1000.
  EXPECT_EQ((*list)[1].ClusterOffsets, (Clusters{0x1200}));
  EXPECT_EQ(a.StartText, "2013-7-4 9.5.3");
  EXPECT_EQ(a.SizeLow, 10u);
  EXPECT_EQ(a.SpareA, 0u);
  EXPECT_EQ(a.SpareB, 0u);
  EXPECT_TRUE(a.SpareOffsets.empty());
  EXPECT_EQ(T_Main::DvrClusterMap[1], 1);
  EXPECT_EQ(T_Main::DvrClusterMap[3], 1);
  EXPECT_EQ(F_Main::DvrWizardClusterMap, std::vector<std::uint8_t>(64, 0));
}

TEST_P(DvrIndexTest, MainReadersGiveAnEmptyListForNoFiles) {
  const auto list = MainRead(Layout(), Fbuf{}, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->empty());
  EXPECT_EQ(T_Main::DvrNextFileId, 1);
}

TEST(DvrMainChannelTest, ChannelsOfTheMainWindowReaders) {
  struct Case { DvrLayout layout; std::uint8_t code; std::uint8_t channel; };
  const Case cases[] = {
      {DvrLayout::Dhfs, 0x00, 1}, {DvrLayout::Dhfs, 0x0F, 16}, {DvrLayout::Dhfs, 0xF3, 4},
      {DvrLayout::Wfs, 0, 1},     {DvrLayout::Wfs, 1, 1},      {DvrLayout::Wfs, 2, 1},
      {DvrLayout::Wfs, 5, 1},     {DvrLayout::Wfs, 6, 2},      {DvrLayout::Wfs, 9, 2},
      {DvrLayout::Wfs, 10, 3},    {DvrLayout::Wfs, 254, 64},   {DvrLayout::Wfs, 255, 64},
  };
  for (const Case& c : cases) {
    IndexImage image(c.layout, 1);
    Entry e{.Type = image.FileType(), .Channel = 0x77, .MainChannel = 0x77};
    if (c.layout == DvrLayout::Dhfs) e.Channel = c.code; else e.MainChannel = c.code;
    image.Set(0, e);
    const auto list = c.layout == DvrLayout::Dhfs ? T_Main::Read_DHFS_Index(image.Bytes(), 0)
                                                  : T_Main::Read_WFS_Index(image.Bytes(), 0);
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0].Channel, c.channel)
        << (c.layout == DvrLayout::Dhfs ? "DHFS " : "WFS ") << int{c.code};
    EXPECT_EQ((*list)[0].FileName.substr(0, (*list)[0].FileName.find('_')),
              std::to_string(c.channel));
  }
}

}  // namespace
}  // namespace velmora
