// The receiver: its parts on synthetic input (fractional timing, the
// decisions, the descrambler against the transmitter's scrambler), and our
// transmitter into our receiver through the front end's analog loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include "platform/line/line_direction.h"
#include "pump/core/comram.h"
#include "pump/core/host_interface.h"
#include "pump/framer/framer.h"
#include "pump/v22/v22_start.h"
#include <vector>

#include "pump/tests/support/pump_harness.h"
#include "pump/v22/v22_modulator.h"
#include "pump/v22/v22_receiver.h"

namespace pump {
namespace {

TEST(V22Receiver, DecisionsAreTheTransmittersPoints) {
  // The transmitter's constellation in units of the receiver's inner point.
  constexpr int kI[16] = {1, 3, 1, 3, -1, -1, -3, -3, -1, -3, -1, -3, 1, 1, 3, 3};
  constexpr int kQ[16] = {1, 1, 3, 3, 1, 3, 1, 3, -1, -1, -3, -3, -1, -3, -1, -3};
  for (int p = 0; p < 16; ++p) {
    SCOPED_TRACE(p);
    // Off the point by a fifth of the way to its neighbours, both ways.
    for (const int off : {-700, 0, 700}) {
      const auto i = static_cast<std::int16_t>(kI[p] * 1843 + off);
      const auto q = static_cast<std::int16_t>(kQ[p] * 1843 - off);
      const V22Decision d16 = V22Decide(true, i, q);
      EXPECT_EQ(d16.point, p);
      EXPECT_EQ(d16.i, kI[p] * 1843);
      EXPECT_EQ(d16.q, kQ[p] * 1843);
      const int outer = (std::abs(kI[p]) == 3) + (std::abs(kQ[p]) == 3);
      EXPECT_EQ(d16.weight, outer == 0 ? 14526 : outer == 1 ? 6496 : 4842);
      // Four points (1200 bit/s sends point 1 of each quadrant): the quadrant.
      if ((p & 3) == 1) {
        EXPECT_EQ(V22Decide(false, i, q).point & 12, p & 12);
      }
    }
  }
}

TEST(V22Receiver, DescramblerInvertsTheScrambler) {
  for (const int bits : {2, 4}) {
    SCOPED_TRACE(bits);
    V22TxRecord tx{};
    V22RxRecord rx{};
    std::mt19937 random(9);
    std::vector<std::uint32_t> sent;
    std::vector<std::uint32_t> back;
    for (int n = 0; n < 600; ++n) {
      // Ones in the middle third: the scrambler's 64-ones rule acts there.
      const std::uint32_t data = n > 200 && n < 400 ? 15u : random() & 15u;
      std::uint32_t line = 0;
      for (int k = 0; k < bits; ++k) line = line << 1 | static_cast<std::uint32_t>(V22Scramble(tx, static_cast<int>((data >> k) & 1u)));
      if (bits == 2) line <<= 2;
      sent.push_back(data & ((1u << bits) - 1));
      back.push_back(V22Descramble(rx, line, bits));
    }
    EXPECT_EQ(std::vector<std::uint32_t>(back.begin() + 10, back.end()),
              std::vector<std::uint32_t>(sent.begin() + 10, sent.end()));
  }
}

TEST(V22Receiver, TimingFractionSetsTheSamplesATickTakes) {
  struct Case {
    const char* name;
    std::int16_t mu;
    int ticks;  // after one input sample
    int samples_read;
  };
  const Case cases[] = {
      {"within a sample", 1000, 1, 1},
      {"past one sample: two samples in one tick", 23101, 1, 2},
      {"negative: a tick without a sample, then one with", -50, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::PumpHarness harness;
    harness.Run([&] {
      DspContext& context = harness.Context();
      V22RxRecord& rx = context.v22.rx;
      rx = {};
      rx.mantissa = 32767;
      rx.ring_read = 8;
      rx.mu = c.mu;
      const std::int16_t sample[1] = {1000};
      V22ReceiveSamples(context, sample);
      EXPECT_EQ(rx.tick, c.ticks);
      EXPECT_EQ(rx.ring_read, 8 + c.samples_read);
    });
  }
}

// The loop as it is, and through an impaired line: 6 dB down, noise
// about 30 dB under the signal, a bulk delay and a 3 Hz frequency offset.
plat::line::LineDirectionConfig ImpairedLine() {
  plat::line::LineDirectionConfig line;
  line.gain_db = -6;
  line.noise_dbm0 = -50;
  line.delay_samples = 37;
  line.frequency_offset_hz = 3;
  line.seed = 11;
  return line;
}

// Command 0x6E's loopback: our transmitter into our receiver through the
// front end's analog loop reaches data (status 5 with the carrier bit) at
// the rate asked for, and 8N1 data sent after training comes back.
TEST(V22Loopback, AnalogLoopReachesDataAndCarriesIt) {
  struct Case {
    const char* name;
    int mode;
    int rate_code;
    std::int32_t bits_per_symbol;
    std::optional<plat::line::LineDirectionConfig> line;
  };
  const Case cases[] = {{"V.22bis", 7, 4, 4, std::nullopt},
                        {"V.22", 6, 3, 2, std::nullopt},
                        {"V.22bis, impaired line", 7, 4, 4, ImpairedLine()},
                        {"V.22, impaired line", 6, 3, 2, ImpairedLine()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::PumpHarness harness;
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      harness.RunBlocks(1);
      DspContext& context = harness.Context();
      harness.Controller().Exchange(0x6E, {static_cast<std::uint8_t>(c.rate_code), static_cast<std::uint8_t>(c.mode), 0x00, 0x00});
      InitFramerTx(context, kFramerAsync);
      InitFramerRx(context, kFramerAsync);
      std::vector<std::uint8_t> sent(40);
      std::mt19937 random(3);
      for (auto& b : sent) b = static_cast<std::uint8_t>(random());
      std::optional<plat::line::LineDirection> line;
      if (c.line) line.emplace(*c.line);
      std::size_t looped = 0;
      for (int b = 0; b < 260; ++b) {
        if (b == 150) harness.Controller().StreamTx(0, sent);
        harness.RunBlocks(1);
        // The test loop: what the front end played comes back in.
        const auto& out = harness.Afe().LineOutput();
        const auto played = std::span(out).subspan(looped);
        looped = out.size();
        if (!line) {
          harness.Afe().FeedLine(played);
          continue;
        }
        line->SendFar(played);
        std::vector<std::int16_t> heard(played.size());
        line->Receive(heard);
        harness.Afe().FeedLine(heard);
      }
      EXPECT_EQ(ReadDspReg(harness.Host(), kRegStatus) & ~kStatusTxEmpty,
                kStatusConnectedRestart | kStatusCarrier);
      EXPECT_EQ(context.v22.rx.bits_per_symbol, c.bits_per_symbol);
      EXPECT_EQ(context.call.mode, c.mode);
      std::vector<std::uint8_t> heard;
      for (const auto& block : harness.Controller().RxBlocks()) {
        heard.insert(heard.end(), block.data.begin(), block.data.end());
      }
      const auto at = std::search(heard.begin(), heard.end(), sent.begin(), sent.end());
      EXPECT_NE(at, heard.end()) << heard.size() << " bytes heard";
    });
  }
}

}  // namespace
}  // namespace pump

namespace pump {
namespace {

// Whatever the delay puts the symbols at within the receiver's 16 ticks,
// the starting taps come from the acquisition sums and training reaches
// data: every timing phase of one symbol, at both carriers.
TEST(V22Receiver, TrainsFromEveryTimingPhaseOfASymbol) {
  for (const int direction : {0, 1}) {
    for (int delay = 30; delay < 30 + kV22SamplesPerSymbol; ++delay) {
      SCOPED_TRACE(::testing::Message() << "direction " << direction << ", delay " << delay);
      testing::PumpHarness harness;
      harness.Run([&] {
        harness.Controller().Post(0x60, {0});
        harness.RunBlocks(1);
        harness.Context().call.direction = direction;
        harness.Controller().Exchange(0x6E, {4, 7, 0x00, 0x00});
        plat::line::LineDirectionConfig config = ImpairedLine();
        config.delay_samples = delay;
        config.frequency_offset_hz = 0;
        plat::line::LineDirection line(config);
        std::size_t looped = 0;
        for (int b = 0; b < 150; ++b) {
          harness.RunBlocks(1);
          const auto& out = harness.Afe().LineOutput();
          const auto played = std::span(out).subspan(looped);
          looped = out.size();
          line.SendFar(played);
          std::vector<std::int16_t> heard(played.size());
          line.Receive(heard);
          harness.Afe().FeedLine(heard);
        }
        EXPECT_EQ(ReadDspReg(harness.Host(), kRegStatus) & ~kStatusTxEmpty,
                  kStatusConnectedRestart | kStatusCarrier);
      });
    }
  }
}

}  // namespace
}  // namespace pump
