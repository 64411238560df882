#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "support/dpi.h"

namespace wavenard {
namespace {

class TTableDpiSource final : public TDpiSource {
 public:
  std::optional<QString> Monitor = QString("A");
  std::map<QString, int> Dpi{{"A", 96}, {"B", 144}};
  std::int64_t Clock = 100000;
  int Reads = 0;

  std::optional<QString> CurrentMonitor() override { return Monitor; }
  int MonitorDpi(const QString& AMonitor) override {
    ++Reads;
    return Dpi.at(AMonitor);
  }
  int ScreenDpi() override { return 72; }
  std::int64_t Now() override { return Clock; }
};

TEST(ScaleByDPI, ScalesAndRoundsHalvesAwayFromZero) {
  struct Case {
    int Dpi;
    int Size;
    int Expected;
  } Cases[] = {{96, 8, 8}, {100, 8, 8}, {120, 8, 10}, {144, 8, 12}, {144, 3, 5}, {144, -3, -5}, {120, 0, 0}};
  for (const Case& C : Cases) {
    TTableDpiSource Source;
    Source.Dpi["A"] = C.Dpi;
    TDpiCache Cache(Source);
    EXPECT_EQ(Cache.ScaleByDPI(C.Size), C.Expected) << C.Size << " at " << C.Dpi;
  }
}

TEST(ScaleByDPI, MulDivHasNoIntermediateOverflowAndGivesMinusOneWhenTheResultDoesNotFit) {
  EXPECT_EQ(MulDiv(INT_MAX, 96, 96), INT_MAX);
  EXPECT_EQ(MulDiv(INT_MAX, 144, 96), -1);
  EXPECT_EQ(MulDiv(5, 1, 0), -1);
}

TEST(GetCurrentDPI, ReadsAMonitorOnceWithinThirtySecondsAndANewMonitorAtOnce) {
  TTableDpiSource Source;
  TDpiCache Cache(Source);
  EXPECT_EQ(Cache.GetCurrentDPI(), 96);
  Source.Clock += 30000;
  EXPECT_EQ(Cache.GetCurrentDPI(), 96);
  EXPECT_EQ(Source.Reads, 1);

  Source.Monitor = "B";
  EXPECT_EQ(Cache.GetCurrentDPI(), 144) << "a monitor not in the cache is read at the next call";
  EXPECT_EQ(Source.Reads, 2);

  // B's refresh renewed the shared timestamp, so A's old value counts as fresh again.
  Source.Dpi["A"] = 120;
  Source.Monitor = "A";
  Source.Clock += 20000;
  EXPECT_EQ(Cache.GetCurrentDPI(), 96);
  Source.Clock += 10001;
  EXPECT_EQ(Cache.GetCurrentDPI(), 120);
  EXPECT_EQ(Source.Reads, 3);
}

TEST(GetCurrentDPI, FallsBackToTheScreenDpiWithoutAMonitor) {
  TTableDpiSource Source;
  Source.Monitor.reset();
  TDpiCache Cache(Source);
  EXPECT_EQ(Cache.GetCurrentDPI(), 72);
}

}  // namespace
}  // namespace wavenard
