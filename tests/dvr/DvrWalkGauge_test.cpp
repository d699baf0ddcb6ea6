// An index walk shown on a progress bar: the walk's range and positions on
// the bar, never the busy animation of a bar without range, and the pump.
#include "dvr/DvrWalkGauge.h"

#include <gtest/gtest.h>

#include <QProgressBar>
#include <cstdint>
#include <limits>

#include "tests/dvr/DvrIndexImage.h"

namespace velmora {
namespace {

// A bar shows the busy animation when its minimum equals its maximum.
bool Busy(const QProgressBar& bar) { return bar.minimum() == bar.maximum(); }
bool Empty(const QProgressBar& bar) { return bar.value() <= bar.minimum(); }

TEST(DvrWalkGaugeTest, RangeAndPositionsReachTheBarWithAtLeastOneStep) {
  struct Case {
    const char* name;
    std::int64_t minimum, maximum, position;
    int barMinimum, barMaximum;
    int value;  // what the bar shows
    bool empty;
  };
  const Case cases[] = {
      {"an index of 1024 bytes, at the end", 0, 1023, 1023, 0, 1023, 1023, false},
      {"an index of 1024 bytes, at an entry", 0, 1023, 64, 0, 1023, 64, false},
      {"an index of 1024 bytes, at the start", 0, 1023, 0, 0, 1023, 0, true},
      {"an empty index area: 0 .. -1, at -1", 0, -1, -1, 0, 1, -1, true},
      {"a one-byte index: 0 .. 0, at 0", 0, 0, 0, 0, 1, 0, true},
      {"a position past the maximum", 0, 99, 500, 0, 99, 99, false},
      {"beyond the bar's numbers", 0, std::int64_t{1} << 40, std::int64_t{1} << 40, 0,
       std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QProgressBar bar;
    bar.setRange(0, 0);  // busy before: the walk's range replaces it
    DvrWalkGauge gauge(&bar, nullptr);
    gauge.SetRange(c.minimum, c.maximum);
    gauge.SetPosition(c.position);
    EXPECT_FALSE(Busy(bar));
    EXPECT_EQ(bar.minimum(), c.barMinimum);
    EXPECT_EQ(bar.maximum(), c.barMaximum);
    EXPECT_EQ(bar.value(), c.value);
    EXPECT_EQ(Empty(bar), c.empty);
  }
}

TEST(DvrWalkGaugeTest, AWalkOverAnEmptyIndexLeavesAnEmptyBarAndOneOverEntriesAFullOne) {
  using dvr_fixtures::IndexImage;
  F_Main::DvrWizardClusterMap.assign(8, 0);
  int pumps = 0;
  QProgressBar bar;
  DvrWalkGauge gauge(&bar, [&pumps] { ++pumps; });
  F_Main::TDvrFile files;
  F_Main::ReadDhfsIndex(Fbuf{}, 0, files, &gauge);
  EXPECT_TRUE(files.empty());
  EXPECT_FALSE(Busy(bar));
  EXPECT_TRUE(Empty(bar));
  EXPECT_EQ(pumps, 0);

  // Four continuation entries: one pump per entry, the bar full at the end.
  F_Main::ReadDhfsIndex(IndexImage(DvrLayout::Dhfs, 4).Bytes(), 0, files, &gauge);
  EXPECT_EQ(pumps, 4);
  EXPECT_EQ(bar.minimum(), 0);
  EXPECT_EQ(bar.maximum(), 127);
  EXPECT_EQ(bar.value(), 127);
}

TEST(DvrWalkGaugeTest, ShowEmptyGaugeLeavesOneStepAndNoProgress) {
  QProgressBar bar;
  bar.setRange(0, 0);
  ShowEmptyGauge(&bar);
  EXPECT_FALSE(Busy(bar));
  EXPECT_TRUE(Empty(bar));
  ShowEmptyGauge(nullptr);  // nothing to show: nothing happens
}

}  // namespace
}  // namespace velmora
