// The transmit sequences block by block, with the receiver's reports set
// by the test: what goes to the line in each stretch (silence or the
// modulator's mode), the restarts the far end's answers cause, the
// fallbacks and the data report; and the line signal of the stretches
// through the reference demodulator, decoder and descrambler.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pump/core/comram.h"
#include "pump/core/host_interface.h"
#include "pump/fsk/fsk_tx.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/v22_reference.h"
#include "pump/v22/v22_start.h"
#include "pump/v22/v22_tx_states.h"

namespace pump {
namespace {

namespace ref = pump::testing::v22;

constexpr int kSilence = -1;

// A stretch of blocks sending one mode (kSilence: all zero).
struct Stretch {
  int mode;
  int blocks;
  bool operator==(const Stretch&) const = default;
};

std::string Show(const std::vector<Stretch>& stretches) {
  std::string s;
  for (const Stretch& r : stretches) s += std::to_string(r.mode) + "x" + std::to_string(r.blocks) + " ";
  return s;
}

struct Start {
  int direction;  // 1: caller
  int mode;
  int rate_code;
  bool loopback;
};

// What the far end reports through the receiver before block `block`.
struct Report {
  int block;
  std::uint16_t status;
  std::uint16_t s1_latched;
};

struct Outcome {
  std::vector<Stretch> stretches;  // while the supervisor state runs
  std::vector<double> line;        // from the first block
  std::uint8_t status_register;
  std::uint16_t rx_status;
  PendingCall v32;  // the V.32 start's pending entry
  int fsk_start_type;
  std::int32_t mode_code;
  std::int32_t rate_code;
};

// The receiver held still: its reports come from the test alone.
constexpr StateEntry<DspContext> kHeldReceiver[] = {{nullptr, -1, "held"}};

Outcome RunSequence(Start start, std::vector<Report> reports, int blocks) {
  Outcome out{};
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    context.call.direction = start.direction;
    context.call.mode = start.mode;
    context.call.max_rate_code = start.rate_code;
    if (start.loopback) {
      StartV22Loopback(context);
    } else {
      V22bConfig(context);
    }
    SetStateMachine(context.v22.rx_machine, StateOp::kGo, kHeldReceiver);
    std::vector<int> modes;
    // Until another modem starts.
    const auto v22_runs = [&] {
      return context.tx.table.data() == V22TxSeqTable().data();
    };
    for (int b = 0; b < blocks && v22_runs(); ++b) {
      for (const Report& r : reports) {
        if (r.block == b) {
          context.v22.rx.status = r.status;
          context.v22.rx.s1_latched = r.s1_latched;
        }
      }
      harness.RunBlocks(1);
      // V.32 takes the front end to its own sample rate inside the block it
      // starts in, so that block no longer lines up with the 96-sample slices.
      if (context.pending[Pending::kStartV32Connection].count != 0) break;
      modes.push_back(context.v22.tx.mode);
    }
    out.status_register = ReadDspReg(harness.Host(), kRegStatus);
    // The front end plays each block this many blocks later (after the reset's block).
    harness.RunBlocks(afe::kTxWriteCursorStart);
    const std::vector<std::int16_t>& output = harness.Afe().LineOutput();
    const auto first = output.begin() + (1 + afe::kTxWriteCursorStart) * kBlockSamples;
    out.line.assign(first, first + static_cast<std::ptrdiff_t>(modes.size()) * kBlockSamples);
    for (std::size_t b = 0; b < modes.size(); ++b) {
      const auto block = out.line.begin() + static_cast<std::ptrdiff_t>(b) * kBlockSamples;
      const bool silent = std::all_of(block, block + kBlockSamples, [](double v) { return v == 0; });
      const int mode = silent ? kSilence : modes[b];
      if (out.stretches.empty() || out.stretches.back().mode != mode) out.stretches.push_back({mode, 0});
      ++out.stretches.back().blocks;
    }
    out.rx_status = context.v22.rx.status;
    out.v32 = context.pending[Pending::kStartV32Connection];
    out.fsk_start_type = context.fsk.start_type;
    out.mode_code = context.call.mode;
    out.rate_code = context.call.max_rate_code;
  });
  return out;
}

constexpr std::uint16_t kS1Over = 0;  // S1 latched, no longer present
constexpr int kCall = 1;
constexpr int kAnswer = 0;

TEST(V22Handshake, TransmitSequencesBlockByBlock) {
  struct Case {
    const char* name;
    Start start;
    std::vector<Report> reports;
    int blocks;
    std::vector<Stretch> expected;
  };
  // Blocks 0-45 silence, 46-55 S1, then scrambled ones from block 56; the
  // far end's answer arrives before block 70.
  const Case cases[] = {
      {"caller: silence, S1, scrambled ones, then Bell 103", {kCall, 7, 4, false}, {}, 400,
       {{kSilence, 46}, {kV22SendS1, 10}, {kV22ScrambledOnes1200, 108}, {kSilence, 1}}},
      {"caller hears S1: V.22bis training", {kCall, 7, 4, false}, {{70, kS1Over, 1}}, 200,
       {{kSilence, 46}, {kV22SendS1, 10}, {kV22ScrambledOnes1200, 15 + 60},
        {kV22ScrambledOnes2400, 20}, {kV22Data2400, 200 - 46 - 10 - 75 - 20}}},
      {"caller hears scrambled ones: V.22", {kCall, 7, 4, false}, {{70, kV22Ones64, 0}}, 250,
       {{kSilence, 46}, {kV22SendS1, 10}, {kV22ScrambledOnes1200, 15 + 54 + 76},
        {kV22Data1200, 250 - 46 - 10 - 145}}},
      {"caller set to V.22 ignores S1", {kCall, 6, 3, false}, {{70, kS1Over, 1}}, 250,
       {{kSilence, 46}, {kV22ScrambledOnes1200, 130}, {kV22Data1200, 250 - 176}}},
      {"answerer: 3 s of unscrambled ones, then V.32", {kAnswer, 7, 4, false}, {}, 400,
       {{kSilence, 1}, {kV22UnscrambledOnes1200, 300}}},
      {"answerer hears S1: V.22bis training", {kAnswer, 7, 4, false}, {{50, kS1Over, 1}}, 200,
       {{kSilence, 1}, {kV22UnscrambledOnes1200, 50}, {kV22SendS1, 10},
        {kV22ScrambledOnes1200, 50}, {kV22ScrambledOnes2400, 20}, {kV22Data2400, 200 - 131}}},
      {"answerer hears scrambled ones: V.22", {kAnswer, 7, 4, false}, {{50, kV22Ones64, 0}}, 200,
       {{kSilence, 1}, {kV22UnscrambledOnes1200, 50}, {kV22ScrambledOnes1200, 96},
        {kV22Data1200, 200 - 147}}},
      {"V.22 answerer: unscrambled ones 3.01 s, then scrambled ones", {kAnswer, 6, 3, false}, {}, 420,
       {{kSilence, 1}, {kV22UnscrambledOnes1200, 301}, {kV22ScrambledOnes1200, 96},
        {kV22Data1200, 420 - 398}}},
      {"loopback V.22bis", {kCall, 7, 4, true}, {}, 150,
       {{kSilence, 21}, {kV22SendS1, 10}, {kV22ScrambledOnes1200, 50}, {kV22ScrambledOnes2400, 20},
        {kV22Data2400, 150 - 101}}},
      {"loopback V.22", {kAnswer, 6, 0, true}, {}, 200,
       {{kSilence, 21}, {kV22ScrambledOnes1200, 131}, {kV22Data1200, 200 - 152}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = RunSequence(c.start, c.reports, c.blocks);
    EXPECT_EQ(out.stretches, c.expected) << Show(out.stretches);
  }
}

TEST(V22Handshake, FallbacksStartTheOtherModems) {
  const Outcome caller = RunSequence({kCall, 7, 4, false}, {}, 400);
  EXPECT_EQ(caller.fsk_start_type, 4) << "Bell 103 originate";
  EXPECT_EQ(caller.v32.count, 0u);

  const Outcome answerer = RunSequence({kAnswer, 7, 4, false}, {}, 400);
  EXPECT_EQ(answerer.v32.count, 1u);
  EXPECT_EQ(answerer.v32.args[0], 2) << "V.32 answering";
  EXPECT_EQ(answerer.mode_code, 6);
  EXPECT_EQ(answerer.rate_code, 3);
}

TEST(V22Handshake, ModeAndRateCodesChooseTheRow) {
  struct Case {
    int mode;
    int rate_code;
    std::int32_t mode_after;
    std::int32_t rate_after;
  };
  const Case cases[] = {{7, 4, 7, 4}, {7, 3, 6, 3}, {6, 4, 6, 3}, {1, 4, 6, 3}, {12, 0, 7, 4}, {0, 2, 7, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " rate " << c.rate_code);
    const Outcome out = RunSequence({kAnswer, c.mode, c.rate_code, false}, {}, 1);
    EXPECT_EQ(out.mode_code, c.mode_after);
    EXPECT_EQ(out.rate_code, c.rate_after);
  }
}

TEST(V22Handshake, DataReachedIsReportedOnce) {
  struct Case {
    const char* name;
    Start start;
    int data_block;
    std::uint8_t status;
  };
  const Case cases[] = {
      {"call", {kAnswer, 7, 4, false}, 140, kStatusConnected | kStatusCarrier},
      {"loopback", {kCall, 7, 4, true}, 110, kStatusConnectedRestart | kStatusCarrier},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Report> reports = {{c.data_block, kV22DataReached, 0}};
    if (!c.start.loopback) reports.insert(reports.begin(), {50, kS1Over, 1});
    const Outcome out = RunSequence(c.start, reports, c.data_block + 5);
    EXPECT_EQ(out.status_register & ~kStatusTxEmpty, c.status);
    EXPECT_EQ(out.rx_status & kV22DataReached, 0) << "the report is cleared";
  }
}

// The line signal of a stretch through the reference: the points turned
// onto the constellation's axes (their fourth power as the expected
// points' is), decoded against the previous quadrant, descrambled when
// scrambled. Every stretch of ones must give ones.
TEST(V22Handshake, StretchesOfOnesDecodeToOnes) {
  struct Case {
    const char* name;
    Start start;
    std::vector<Report> reports;
    int mode;
    int bits_per_symbol;
    bool scrambled;
  };
  const Case cases[] = {
      {"answerer's unscrambled ones", {kAnswer, 7, 4, false}, {}, kV22UnscrambledOnes1200, 2, false},
      {"caller's scrambled ones at 1200", {kCall, 7, 4, false}, {{70, kS1Over, 1}}, kV22ScrambledOnes1200, 2, true},
      {"caller's scrambled ones at 2400", {kCall, 7, 4, false}, {{70, kS1Over, 1}}, kV22ScrambledOnes2400, 4, true},
      {"answerer's scrambled ones at 2400", {kAnswer, 7, 4, false}, {{50, kS1Over, 1}}, kV22ScrambledOnes2400, 4, true},
  };
  constexpr double kPi = 3.14159265358979323846;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = RunSequence(c.start, c.reports, 200);
    const double carrier = c.start.direction == kCall ? 1200 : 2400;
    std::size_t first = 0;
    std::size_t count = 0;
    for (const Stretch& s : out.stretches) {
      if (s.mode == c.mode) {
        count = static_cast<std::size_t>(s.blocks) * 6;
        break;
      }
      first += static_cast<std::size_t>(s.blocks) * 6;
    }
    ASSERT_GT(count, 40u);
    const auto all = ref::DemodulateModem(out.line, carrier, first + count);
    // Leave out the symbols whose pulses overlap the stretches before and after.
    std::vector<std::complex<double>> points(all.begin() + static_cast<std::ptrdiff_t>(first + 4),
                                             all.begin() + static_cast<std::ptrdiff_t>(first + count - 5));
    std::complex<double> fourth = 0;
    for (const auto& p : points) fourth += std::pow(p, 4);
    const double target = c.bits_per_symbol == 2 ? 4 * std::atan2(1.0, 3.0) : kPi;
    const double turn = (target - std::arg(fourth)) / 4;
    // Both constellations' mean power is 10 in units of the inner points.
    double power = 0;
    for (const auto& p : points) power += std::norm(p);
    const double scale = std::sqrt(10 / (power / static_cast<double>(points.size())));
    for (auto& p : points) p *= std::polar(scale, turn);
    ref::Decoder decoder(c.bits_per_symbol);
    ref::Descrambler descrambler;
    std::vector<int> bits;
    for (const int b : decoder.Decode(points)) bits.push_back(c.scrambled ? descrambler.Descramble(b) : b);
    const std::size_t skip = c.scrambled ? 24 : 4;
    ASSERT_GT(bits.size(), skip);
    EXPECT_EQ(std::count(bits.begin() + static_cast<std::ptrdiff_t>(skip), bits.end(), 0), 0);
  }
}

}  // namespace
}  // namespace pump

namespace pump {
namespace {

// A Bell 103 caller's 1270 Hz mark or a 520 Hz tone heard while the
// answerer waits for S1 starts the FSK modem of that caller; a tone of
// neither frequency starts none.
TEST(V22Handshake, TonesDuringS1DetectionStartTheFskModems) {
  struct Case {
    double hz;
    int fsk_start_type;  // -1: none
  };
  const Case cases[] = {{1270, 5}, {520, 7}, {1800, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.hz << " Hz");
    testing::PumpHarness harness;
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      harness.RunBlocks(1);
      DspContext& context = harness.Context();
      context.call.direction = 0;
      context.call.mode = 7;
      context.call.max_rate_code = 4;
      context.fsk.start_type = -1;
      V22bConfig(context);
      std::vector<std::int16_t> tone(kBlockSamples);
      std::size_t n = 0;
      for (int b = 0; b < 20 && context.fsk.start_type < 0; ++b) {
        for (std::int16_t& s : tone) {
          s = static_cast<std::int16_t>(std::lround(6000 * std::sin(2 * 3.14159265358979 * c.hz * static_cast<double>(n++) / 9600)));
        }
        harness.Afe().FeedLine(tone);
        harness.RunBlocks(1);
      }
      EXPECT_EQ(context.fsk.start_type, c.fsk_start_type);
    });
  }
}

}  // namespace
}  // namespace pump
