// The FSK receiver's carrier detector: a data carrier only after 96
// qualifying bits (marks), never on alternations; the level scale's
// -45/-47 dB hysteresis; and a fax carrier that fades 6 dB below its level
// at the first flags is lost; a data carrier's dropout allowance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/framer/framer.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;


// Continuous-phase FSK written here: `bits` at `rate` between `mark` and
// `space`, amplitude `amplitude`, from phase `phase`.
std::vector<std::int16_t> Fsk(const std::vector<int>& bits, double mark, double space,
                              double rate, double amplitude, double& phase) {
  std::vector<std::int16_t> out;
  const int per_bit = static_cast<int>(9600 / rate);
  for (const int bit : bits) {
    for (int k = 0; k < per_bit; ++k) {
      phase += 2 * std::numbers::pi * (bit == 1 ? mark : space) / 9600;
      out.push_back(static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase))));
    }
  }
  return out;
}

struct Trace {
  std::uint8_t status_at_start = 0;
  std::vector<std::uint8_t> status;  // register 54 after each block
  std::vector<int> level;            // the receiver's level (dB)
  std::vector<std::uint32_t> carrier;
  std::vector<int> interrupts;  // the controller's count after each block
};

// A receiver started with `start_type` hearing `line`; a V.21 answering
// receiver (channel 1, 980/1180 Hz) unless told otherwise. Its transmitter
// waits for a transmit request that never comes, so every interrupt is the
// receiver's.
Trace Hear(const std::vector<std::int16_t>& line, int start_type = kFskV21Data,
           int direction = 0) {
  Trace t;
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    harness.Context().call.direction = direction;
    StartFsk(harness.Context(), start_type);
    harness.Context().tx_request = 0;
    t.status_at_start = harness.Host().comram.reg[kRegStatus];
    harness.Afe().FeedLine(line);
    for (std::size_t b = 0; b < line.size() / 96; ++b) {
      harness.RunBlocks(1);
      t.status.push_back(harness.Host().comram.reg[kRegStatus]);
      t.level.push_back(harness.Context().fsk.agc.level_db);
      t.carrier.push_back(harness.Context().fsk.carrier_on);
      t.interrupts.push_back(harness.Controller().Interrupts());
    }
  });
  return t;
}

int FirstConnected(const Trace& t) {
  for (std::size_t b = 0; b < t.status.size(); ++b) {
    if ((t.status[b] & (kStatusCodeMask | kStatusCarrier)) == (kStatusConnected | kStatusCarrier)) {
      return static_cast<int>(b);
    }
  }
  return -1;
}

TEST(FskCarrierDetect, ADataCarrierWaitsForNinetySixMarks) {
  double phase = 0;
  // 300 ms of silence, then 1.5 s of marks.
  std::vector<std::int16_t> line(2880, 0);
  const auto marks = Fsk(std::vector<int>(450, 1), 980, 1180, 300, 6000, phase);
  line.insert(line.end(), marks.begin(), marks.end());
  const int at = FirstConnected(Hear(line));
  ASSERT_GE(at, 0);
  // 96 bits are 320 ms: not before 30 + 32 blocks.
  EXPECT_GE(at, 30 + 32);
  EXPECT_LE(at, 30 + 32 + 10);
}

TEST(FskCarrierDetect, AlternatingBitsNeverMakeADataCarrier) {
  double phase = 0;
  std::vector<int> bits;
  for (int k = 0; k < 600; ++k) bits.push_back(k & 1);
  const Trace t = Hear(Fsk(bits, 980, 1180, 300, 6000, phase));
  EXPECT_EQ(FirstConnected(t), -1);
}

// Marks at falling amplitudes: the carrier stays while the level is above
// -47 dB and ends at or below it; from off it comes back only at -45 dB
// or more.
TEST(FskCarrierDetect, LevelHysteresisOnTheReceiversScale) {
  double phase = 0;
  std::vector<std::int16_t> line;
  // Strong, then 1 dB quieter every half second down by 60 dB, then back up.
  std::vector<double> steps;
  for (int db = 0; db <= 60; ++db) steps.push_back(-db);
  for (int db = 60; db >= 0; --db) steps.push_back(-db);
  for (const double db : steps) {
    const auto part = Fsk(std::vector<int>(150, 1), 980, 1180, 300,
                          8000 * std::pow(10, db / 20), phase);
    line.insert(line.end(), part.begin(), part.end());
  }
  const Trace t = Hear(line);
  bool seen_on = false;
  bool seen_off_after_on = false;
  for (std::size_t b = 1; b < t.carrier.size(); ++b) {
    if (t.carrier[b] != 0) seen_on = true;
    if (t.carrier[b - 1] != 0 && t.carrier[b] == 0) {
      seen_off_after_on = true;
      EXPECT_LE(t.level[b], kFskCarrierOffDb + 1) << "block " << b;  // within the block's last checks
    }
    if (t.carrier[b - 1] == 0 && t.carrier[b] != 0) {
      EXPECT_GE(t.level[b], kFskCarrierOnDb - 1) << "block " << b;
    }
    if (t.carrier[b] != 0) {
      EXPECT_GT(t.level[b], kFskCarrierOffDb - 1) << "block " << b;
    }
  }
  EXPECT_TRUE(seen_on);
  EXPECT_TRUE(seen_off_after_on);
}

// A data carrier rides out its first 100 losses (carrier checks at or below
// -47 dB; V.21 checks every 16 samples, six a block): after the marks stop
// the carrier bit stays about 17 blocks past the first weak block, then
// clears while the status code stays connected.
TEST(FskCarrierDetect, ADataCarrierRidesOutOneHundredLowChecks) {
  double phase = 0;
  std::vector<std::int16_t> line = Fsk(std::vector<int>(450, 1), 980, 1180, 300, 6000, phase);
  line.resize(line.size() + 9600, 0);
  const Trace t = Hear(line);
  const int connected = FirstConnected(t);
  ASSERT_GE(connected, 0);
  std::size_t weak = static_cast<std::size_t>(connected);
  while (weak < t.level.size() && t.level[weak] > kFskCarrierOffDb) ++weak;
  ASSERT_LT(weak, t.level.size());
  std::size_t cleared = weak;
  while (cleared < t.status.size() && (t.status[cleared] & kStatusCarrier) != 0) ++cleared;
  ASSERT_LT(cleared, t.status.size()) << "the carrier goes in the end";
  const double allowed_blocks = 100.0 * 16 / 96;
  EXPECT_NEAR(static_cast<double>(cleared - weak), allowed_blocks, 2.0);
  EXPECT_EQ(t.status[cleared] & kStatusCodeMask, kStatusConnected);
}

// The V.8 and V.8bis message channels declare their carrier at the first
// check above -45 dB, without a run of marks, and lose it at -47 dB. The
// V.8 states read the carrier flag themselves, so the V.8 receiver changes
// no status and interrupts nothing; the V.8bis receiver shows the carrier
// in status bit 0x10 and interrupts the controller at each change.
TEST(FskCarrierDetect, MessageChannelsReportTheirCarrierByKind) {
  struct Case {
    const char* name;
    int start_type;
    int direction;
    double mark;  // the channel the start receives
    double space;
    bool reports;
  };
  const Case cases[] = {
      {"V.8 originate hears channel 2", kFskV8Originate, 1, 1650, 1850, false},
      {"V.8 answer hears channel 1", kFskV8Answer, 0, 980, 1180, false},
      {"V.8bis originate hears channel 2", kFskV8bisOriginate, 1, 1650, 1850, true},
      {"V.8bis answer hears channel 1", kFskV8bisAnswer, 0, 980, 1180, true},
  };
  constexpr int kSilentBlocks = 30;
  constexpr int kSignalBlocks = 60;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double phase = 0;
    std::vector<std::int16_t> line(kSilentBlocks * 96, 0);
    // 180 bits with a space in every ten: no run of marks a data carrier
    // would wait for.
    std::vector<int> bits;
    for (int k = 0; k < kSignalBlocks * 3; ++k) bits.push_back(k % 10 == 0 ? 0 : 1);
    const auto signal = Fsk(bits, c.mark, c.space, 300, 6000, phase);
    line.insert(line.end(), signal.begin(), signal.end());
    line.resize(line.size() + 40 * 96, 0);
    const Trace t = Hear(line, c.start_type, c.direction);

    int on = -1;
    int off = -1;
    for (std::size_t b = 0; b < t.carrier.size(); ++b) {
      if (on < 0 && t.carrier[b] != 0) on = static_cast<int>(b);
      if (on >= 0 && off < 0 && t.carrier[b] == 0) off = static_cast<int>(b);
    }
    // Found within the signal's first ten blocks (well before 96 bits, 32
    // blocks), lost within ten blocks of its end.
    ASSERT_GE(on, kSilentBlocks);
    EXPECT_LT(on, kSilentBlocks + 10);
    ASSERT_GE(off, kSilentBlocks + kSignalBlocks);
    EXPECT_LT(off, kSilentBlocks + kSignalBlocks + 10);
    EXPECT_EQ(std::count(t.carrier.begin() + on, t.carrier.begin() + off, 0u), 0)
        << "one carrier from start to end";

    const int interrupts = t.interrupts.back() - t.interrupts.front();
    if (!c.reports) {
      for (const std::uint8_t status : t.status) EXPECT_EQ(status, t.status_at_start);
      EXPECT_EQ(interrupts, 0);
      continue;
    }
    for (std::size_t b = 0; b < t.status.size(); ++b) {
      EXPECT_EQ((t.status[b] & kStatusCarrier) != 0, t.carrier[b] != 0) << "block " << b;
      EXPECT_EQ(t.status[b] & kStatusCodeMask, t.status_at_start & kStatusCodeMask);
    }
    EXPECT_EQ(interrupts, 2) << "one as the carrier comes, one as it goes";
    EXPECT_EQ(t.interrupts[on] - t.interrupts[on - 1], 1);
    EXPECT_EQ(t.interrupts[off] - t.interrupts[off - 1], 1);
  }
}

}  // namespace
}  // namespace pump
