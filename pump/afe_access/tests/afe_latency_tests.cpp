#include <gtest/gtest.h>

#include <map>

#include "pump/afe_access/tests/afe_access_fixture.h"

namespace pump::testing {
namespace {

// Input block k carries the marker k in every sample (block 0 is silence),
// and the data pump echoes each block, so every output block tells which
// input it answers.
class AfeAccessLatency : public AfeAccessTest {
 protected:
  static constexpr int kSettleTicks = 8;
  static constexpr int kAfterTicks = 12;

  struct Outcome {
    std::map<int, int> delay;    // marker -> output block index minus input block index
    int silent_after_start = 0;  // silent output blocks once the first answer played
    std::size_t writes_in_change_tick = 0;
    int change_marker = 0;  // the marker echoed in the tick right after the change
  };

  // Settles at latency `settle`, runs `change` between two ticks, and
  // reports the answers as they came out of the line.
  Outcome RunChange(int settle, const std::function<void(AfeAccess&)>& change) {
    Outcome outcome;
    Run([&](AfeAccess& access) {
      for (int k = 0; k <= kSettleTicks + kAfterTicks; ++k) {
        Afe().FeedLine(std::vector<std::int16_t>(96, static_cast<std::int16_t>(k)));
      }
      EXPECT_EQ(SetAfeLatency(access, settle), 0);
      for (int t = 0; t < kSettleTicks; ++t) EchoTick(access);
      change(access);
      const std::size_t writes = Calls(AfeEntry::kWriteBlock).size();
      EchoTick(access);
      outcome.writes_in_change_tick = Calls(AfeEntry::kWriteBlock).size() - writes;
      outcome.change_marker = kSettleTicks;
      for (int t = 0; t < kAfterTicks; ++t) EchoTick(access);

      const std::vector<std::int16_t>& out = Afe().LineOutput();
      bool started = false;
      for (std::size_t b = 0; b * 96 < out.size(); ++b) {
        const int marker = out[b * 96];
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(b * 96),
                                out.begin() + static_cast<std::ptrdiff_t>(b * 96 + 96),
                                [&](std::int16_t s) { return s == marker; }))
            << "output block " << b << " is one answer";
        if (marker == 0) {
          if (started) ++outcome.silent_after_start;
          continue;
        }
        started = true;
        outcome.delay[marker] = static_cast<int>(b) - marker;
      }
    });
    return outcome;
  }

  // Before the change every answer comes `before` blocks late. A raise
  // delays the answers after the change marker; a lowering by d lets the d
  // newest answers queued at the change go (those of the markers just
  // before the one echoed last) and advances everything after them.
  static void ExpectDelays(const Outcome& outcome, int before, int change) {
    const int c = outcome.change_marker;
    // The first marker whose answer moves: after c for a raise, c-1-d for a lowering.
    const int first_moved = change < 0 ? c - 1 + change : c + 1;
    for (const auto& [marker, delay] : outcome.delay) {
      EXPECT_EQ(delay, marker < first_moved ? before : before + change) << "marker " << marker;
    }
    ASSERT_FALSE(outcome.delay.empty());
    for (int marker = 1; marker <= outcome.delay.rbegin()->first; ++marker) {
      const bool dropped = change < 0 && marker >= first_moved && marker <= c - 2;
      EXPECT_EQ(outcome.delay.count(marker), dropped ? 0u : 1u) << "marker " << marker;
    }
  }
};

constexpr int kDelayAt3 = 4;  // latency value 3: the front end keeps 4 blocks
constexpr int kDelayAt5 = 6;

// 3 -> 5: the tick after the change writes two silent blocks behind its own,
// and every later answer plays two blocks later.
TEST_F(AfeAccessLatency, RaisingWritesSilentBlocksAfterTheNextTick) {
  const Outcome outcome = RunChange(3, [&](AfeAccess& access) {
    EXPECT_EQ(SetAfeLatency(access, 5), 0);
    EXPECT_EQ(Context().Latency, 6);
    EXPECT_EQ(Context().LatencyAdjustment, -2);
  });
  EXPECT_EQ(outcome.writes_in_change_tick, 3u);
  EXPECT_EQ(outcome.silent_after_start, 2);
  ExpectDelays(outcome, kDelayAt3, 2);
}

// 5 -> 3: nothing extra is written; the front end lets the two newest
// queued answers go, and the output arrives two blocks earlier.
TEST_F(AfeAccessLatency, LoweringWritesNothingAndTheOutputComesEarlier) {
  const Outcome outcome = RunChange(5, [&](AfeAccess& access) {
    EXPECT_EQ(SetAfeLatency(access, 3), 0);
    EXPECT_EQ(Context().LatencyAdjustment, 2);
  });
  EXPECT_EQ(outcome.writes_in_change_tick, 1u);
  EXPECT_EQ(outcome.silent_after_start, 0);
  ExpectDelays(outcome, kDelayAt5, -2);
}

TEST_F(AfeAccessLatency, OutsideTwoToSixOrRefusedGivesMinus999) {
  Run([&](AfeAccess& access) {
    for (const int value : {1, 7, 0, -1, 255}) {
      EXPECT_EQ(SetAfeLatency(access, value), afe::kAfeRefused) << value;
    }
    EXPECT_TRUE(Calls(AfeEntry::kRequest, afe::kAfeLatency).empty());
    EXPECT_EQ(SetAfeLatency(access, 2), 0);
    EXPECT_EQ(Context().Latency, 3);
    EXPECT_EQ(SetAfeLatency(access, 6), 0);
    EXPECT_EQ(Context().Latency, 7);
    EXPECT_EQ(Context().LatencyAdjustment, -4);

    for (const LONG refusal : {afe::kAfeRefused, LONG{-16}, LONG{1}}) {
      Afe().ForceResult(afe::kAfeLatency, refusal);
      EXPECT_EQ(SetAfeLatency(access, 3), afe::kAfeRefused);
      EXPECT_EQ(access.last_status, refusal);
      EXPECT_EQ(Context().Latency, 7);
      EXPECT_EQ(Context().LatencyAdjustment, -4) << "a refused change adjusts nothing";
    }
  });
}

// Two changes before the next tick act as their net change: the second
// joins the adjustment the first left pending instead of replacing it.
TEST_F(AfeAccessLatency, TwoChangesWithinOneTickAddUp) {
  struct Case {
    int first;
    int second;
    int silent_blocks;
    int delay_change;
  };
  for (const Case c : {Case{5, 3, 0, 0}, Case{6, 4, 1, 1}, Case{2, 5, 2, 2}, Case{6, 2, 0, -1}}) {
    SCOPED_TRACE(::testing::Message() << c.first << " then " << c.second);
    const Outcome outcome = RunChange(3, [&](AfeAccess& access) {
      EXPECT_EQ(SetAfeLatency(access, c.first), 0);
      EXPECT_EQ(SetAfeLatency(access, c.second), 0);
      EXPECT_EQ(Context().LatencyAdjustment, 3 - c.second);
    });
    EXPECT_EQ(outcome.writes_in_change_tick, 1u + c.silent_blocks);
    EXPECT_EQ(outcome.silent_after_start, c.silent_blocks);
    ExpectDelays(outcome, kDelayAt3, c.delay_change);
  }
}

}  // namespace
}  // namespace pump::testing
