// The V.32 mode on a started data pump: command 0x6E's loopback start,
// through training, the rate word and E into data carried by the framer;
// on one machine through the front end's analog test loop, and on the
// harness with the line looped by the test where it changes the loop's
// level on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <span>
#include <vector>

#include "platform/hal/instant.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"
#include "pump/pending/pending_log.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/v32/rate_words.h"
#include "pump/v32/v32_mode.h"

namespace pump::v32 {
namespace {

using testing::PumpHarness;

struct LoopbackRun {
  std::uint8_t status = 0;
  std::uint8_t quality = 0;
  std::vector<std::uint16_t> connect_words;
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> received;
  DataRate rate = DataRate::k4800;
  int mode = 0;
  double data_power = 0;  // mean square of the looped line over data's first 100 blocks
  bool ended = false;     // the mode gave the block handler back
};

// Runs a loopback start with the line looped back, then offers `bytes`
// random bytes to the transmitter; 100 blocks into data the loop's gain
// becomes `later_gain`.
LoopbackRun RunLoopback(std::uint8_t mode, std::uint8_t allowed, int bytes, double noise_rms = 0,
                        double later_gain = 1.0) {
  LoopbackRun run;
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x64, {allowed, 0x00});
    controller.Exchange(0x6E, {0x00, mode, 0x04, 0x00});
    std::mt19937 random(allowed);
    std::normal_distribution<double> noise(0, noise_rms);
    std::size_t looped = 0;
    std::size_t offered = 0;
    int data_blocks = 0;
    double power = 0;
    std::size_t powered = 0;
    for (int block = 0; block < 1400; ++block) {
      harness.RunBlocks(1);
      const bool connected = harness.Context().receive.v32.connected != 0;
      data_blocks += connected ? 1 : 0;
      const double gain = data_blocks > 100 ? later_gain : 1.0;
      const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
      std::vector<std::int16_t> back;
      for (; looped < out.size(); ++looped) {
        const double x = out[looped] * gain + noise(random);
        if (connected && data_blocks <= 100) {
          power += x * x;
          ++powered;
        }
        back.push_back(static_cast<std::int16_t>(std::clamp(std::lround(x), -32768L, 32767L)));
      }
      harness.Afe().FeedLine(back);
      if (harness.Context().receive.v32.connected != 0 && offered < static_cast<std::size_t>(bytes)) {
        std::vector<std::uint8_t> chunk(std::min<std::size_t>(32, bytes - offered));
        for (auto& b : chunk) b = static_cast<std::uint8_t>(random());
        if (controller.FillTx(0, chunk)) {
          run.sent.insert(run.sent.end(), chunk.begin(), chunk.end());
          offered += chunk.size();
        }
      }
    }
    for (const auto& p : controller.TakePackets()) {
      if (p.code == kDpModemConnectRate) run.connect_words.push_back(static_cast<std::uint16_t>(p.payload[0] | p.payload[1] << 8));
    }
    for (const auto& b : controller.RxBlocks()) run.received.insert(run.received.end(), b.data.begin(), b.data.end());
    run.status = harness.Host().comram.reg[kRegStatus];
    run.quality = harness.Host().comram.reg[kRegLineQuality];
    run.rate = harness.Context().receive.v32.rx.rate;
    run.mode = harness.Context().call.mode;
    run.data_power = powered == 0 ? 0 : power / static_cast<double>(powered);
    run.ended = harness.Context().mode_block != V32Block;
  });
  return run;
}

// V.32 with only 12000 and 14400 allowed offers no rate: the rate word is
// confirmed and reported, but E is the clear-down E, so the mode never
// reaches data and ends once the line falls silent.
TEST(V32Loopback, AWordWithoutARateClearsDown) {
  const LoopbackRun run = RunLoopback(12, 0x30, 0);
  EXPECT_EQ(run.connect_words, std::vector<std::uint16_t>{0x8980});
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.status & (kStatusCodeMask | kStatusCarrier), kStatusIdle);
}

// White noise on the looped line, 30 dB below the 14400 signal at the
// loudest setting: the framer's bytes still come through unchanged.
TEST(V32Loopback, DataSurvivesNoiseOnTheLoop) {
  const LoopbackRun run = RunLoopback(16, 0x20, 600, 180.0);
  EXPECT_EQ(run.rate, DataRate::k14400);
  ASSERT_EQ(run.sent.size(), 600u);
  ASSERT_GE(run.received.size(), run.sent.size());
  EXPECT_TRUE(std::equal(run.sent.begin(), run.sent.end(), run.received.begin()));
}

// Carrier loss in data: the loop's level drops to a fraction of the floor
// (twice the averaged power at least 19894, about -47 dB of full scale).
// Above it the call stays up; below it, or with the line cut, the mode
// ends: status idle with the carrier bit cleared.
TEST(V32Loopback, CarrierLossBelowTheDataFloorEndsTheMode) {
  const LoopbackRun full = RunLoopback(16, 0x02, 0);
  ASSERT_GT(full.data_power, 0.0);
  EXPECT_FALSE(full.ended);
  struct Case {
    double floor_ratio;  // twice the later power over the floor
    bool ends;
  };
  const Case cases[] = {{1.5, false}, {0.7, true}, {0.0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ratio " << c.floor_ratio);
    const double gain = std::sqrt(c.floor_ratio * 19894 / 2 / full.data_power);
    const LoopbackRun run = RunLoopback(16, 0x02, 0, 0, gain);
    EXPECT_EQ(run.ended, c.ends);
    const std::uint8_t expected = c.ends ? kStatusIdle : (kStatusConnectedRestart | kStatusCarrier);
    EXPECT_EQ(run.status & (kStatusCodeMask | kStatusCarrier), expected);
  }
}

// The transmit level setting: every setting from 0 to -16 dB is heard; from
// -5 up the gain stays at the table's top, below it each step is 1 dB (but
// the table's first, whose top entry is held at 32767).
TEST(V32Loopback, EveryTransmitLevelIsHeardAndStepsByOneDecibel) {
  std::vector<double> rms_db;
  int peak = 0;
  for (int setting = 0; setting >= -16; --setting) {
    PumpHarness harness;
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      harness.RunBlocks(1);
      harness.Context().transmit_level = static_cast<std::int16_t>(setting);
      harness.Controller().Exchange(0x6E, {0x00, 16, 0x04, 0x00});
      harness.RunBlocks(40);
      const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
      const std::size_t from = out.size() / 2;  // S, well after the start
      double power = 0;
      for (std::size_t k = from; k < out.size(); ++k) {
        power += static_cast<double>(out[k]) * out[k];
        if (setting == 0) peak = std::max(peak, std::abs(int{out[k]}));
      }
      power /= static_cast<double>(out.size() - from);
      ASSERT_GT(power, 0.0) << "setting " << setting;
      rms_db.push_back(10 * std::log10(power));
    });
  }
  for (int k = 1; k < static_cast<int>(rms_db.size()); ++k) {
    const int setting = -k;
    const double step = rms_db[k - 1] - rms_db[k];
    if (setting >= -5) {
      EXPECT_NEAR(step, 0.0, 0.01) << "setting " << setting;
    } else if (setting == -6) {
      EXPECT_GT(step, 0.1) << "setting " << setting;
    } else {
      EXPECT_NEAR(step, 1.0, 0.15) << "setting " << setting;
    }
  }
  RecordProperty("peak_at_loudest", peak);
  std::printf("peak sample at the loudest setting: %d\n", peak);
}

// One machine (vxafe on the simulator, vxdsp and the test controller):
// command 0x6E puts the front end in its analog test loop, where the
// simulator's codec feeds the line output back to the input with the
// controller's loopback gain and noise (uniform, `noise_amplitude` peak).
class V32AnalogLoop : public testing::DspRig {
 protected:
  struct Outcome {
    std::uint8_t status = 0;
    DataRate rate = DataRate::k4800;
    int mode = 0;
    std::vector<std::uint16_t> connect_words;
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> received;
    double heard_power = 0;  // mean square of the codec's input while data is carried
    bool canceller_idle = false;  // the loopback's canceller neither trains nor cancels
    std::uint8_t status_after_retrain = 0;
  };

  // The codec's input, summed while `on`.
  struct PowerTap : plat::sim::CodecTap {
    void Sample(plat::sim::Instant, std::int16_t, std::int16_t adc, std::int16_t) override {
      if (!on) return;
      sum += static_cast<double>(adc) * adc;
      ++count;
    }
    bool on = false;
    double sum = 0;
    std::size_t count = 0;
  };

  // `noise_amplitude` 0 adds none; a negative one cuts the loop.
  // With `retrain`, command 0x69 once data is reached; the status right
  // after it is kept and the bytes go once data is reached again.
  Outcome Run(std::uint8_t mode, std::uint8_t allowed, int noise_amplitude, std::size_t bytes, bool retrain = false) {
    plat::MachineConfig config;
    config.controller.loopback.all_zero = noise_amplitude < 0;
    config.controller.loopback.noise_amplitude = static_cast<std::uint32_t>(std::max(noise_amplitude, 0));
    config.controller.loopback.noise_seed = 1u + allowed + static_cast<std::uint32_t>(std::max(noise_amplitude, 0));
    plat::Machine& machine = BootOnVxafe(Controller::kStarted, std::move(config));
    PowerTap tap;
    machine.controller().SetTap(&tap);
    Outcome out;
    testing::TestController& controller = testing::TestControllerOf(kernel());
    OnKernelThread([&] {
      controller.Double().WritePowerState(0xD0);
      controller.Double().Exchange(0x60, {0});
      controller.Double().Exchange(0x64, {allowed, 0x00});
      controller.Double().Exchange(0x6E, {0x00, mode, 0x04, 0x00});
    });
    auto keep_connect_words = [&](const std::vector<testing::ReceivedPacket>& packets) {
      for (const auto& p : packets) {
        if (p.code == kDpModemConnectRate) out.connect_words.push_back(static_cast<std::uint16_t>(p.payload[0] | p.payload[1] << 8));
      }
    };
    auto run_to_data = [&] {
      bool connected = false;
      for (int ms = 0; ms < 5000 && !connected; ms += 50) {
        sim.RunFor(50 * plat::hal::kMillisecond);
        OnKernelThread([&] { connected = controller.Context()->receive.v32.connected != 0; });
      }
    };
    run_to_data();
    if (retrain) {
      OnKernelThread([&] {
        keep_connect_words(controller.Double().Exchange(0x69, {0x00}));
        out.status_after_retrain = controller.Host().comram.reg[kRegStatus];
      });
      run_to_data();
    }
    std::mt19937 random(allowed + 7u * mode);
    out.sent.resize(bytes);
    for (auto& b : out.sent) b = static_cast<std::uint8_t>(random());
    tap.on = true;
    OnKernelThread([&] { controller.Double().StreamTx(0, out.sent); });
    // Ten bits a byte at the rate's data bits, and a second to spare (the
    // mailbox's first blocks reach the line about 0.8 s after the connect).
    const double bits_per_second = 2400.0 * ModeOf(controller.Context()->receive.v32.rx.rate).bits;
    sim.RunFor(static_cast<std::uint64_t>(10.0 * static_cast<double>(bytes) / bits_per_second * 1000 + 1000) *
               plat::hal::kMillisecond);
    machine.controller().SetTap(nullptr);
    OnKernelThread([&] {
      keep_connect_words(controller.Double().TakePackets());
      for (const auto& b : controller.Double().RxBlocks()) out.received.insert(out.received.end(), b.data.begin(), b.data.end());
      out.status = controller.Host().comram.reg[kRegStatus];
      out.rate = controller.Context()->receive.v32.rx.rate;
      out.mode = controller.Context()->call.mode;
      const EchoCanceller& echo = controller.Context()->receive.v32.echo;
      out.canceller_idle = echo.adapt == 0 && echo.output_enabled == 0 && echo.near_taps == EchoTapSet{} &&
                           echo.far_taps == EchoTapSet{};
    });
    out.heard_power = tap.count == 0 ? 0 : tap.sum / static_cast<double>(tap.count);
    return out;
  }
};

// Bits that differ between what was sent and the first bytes received
// (a missing byte counts eight, bytes after the sent ones do not count).
std::size_t V32LoopBitErrors(const std::vector<std::uint8_t>& sent, const std::vector<std::uint8_t>& received) {
  return fsk_testing::BitErrors(sent, std::span(received).first(std::min(received.size(), sent.size())));
}

// Modes 12 and 16 at each rate they allow, noise well under the signal
// (about 36 dB below 14400's level): status 5 with the carrier bit, the
// connect-rate packet with the rate reached, and the framer's bytes back
// unchanged.
struct V32LoopCase {
  std::uint8_t mode;
  std::uint8_t allowed;
  DataRate rate;
};
const V32LoopCase kV32LoopCases[] = {{16, 0x20, DataRate::k14400}, {16, 0x10, DataRate::k12000},
                                     {16, 0x08, DataRate::k9600Trellis}, {16, 0x04, DataRate::k7200},
                                     {16, 0x02, DataRate::k4800}, {12, 0x00, DataRate::k9600Trellis},
                                     {12, 0x02, DataRate::k4800}};

class V32AnalogLoopRates : public V32AnalogLoop, public ::testing::WithParamInterface<V32LoopCase> {};

TEST_P(V32AnalogLoopRates, ConnectsAndCarriesFramerData) {
  const V32LoopCase& c = GetParam();
  const Outcome out = Run(c.mode, c.allowed, 60, 400);
  EXPECT_EQ(out.status & (kStatusCodeMask | kStatusCarrier), kStatusConnectedRestart | kStatusCarrier);
  EXPECT_EQ(out.rate, c.rate);
  EXPECT_EQ(out.mode, c.mode);
  EXPECT_TRUE(out.canceller_idle);
  const std::uint16_t word = LocalRateWord(c.mode, c.allowed) & HighestRateWord(LocalRateWord(c.mode, c.allowed));
  EXPECT_EQ(out.connect_words, std::vector<std::uint16_t>{word});
  EXPECT_EQ(V32LoopBitErrors(out.sent, out.received), 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, V32AnalogLoopRates, ::testing::ValuesIn(kV32LoopCases),
                         [](const auto& info) {
                           return "Mode" + std::to_string(info.param.mode) + "Allowed" + std::to_string(info.param.allowed);
                         });

// Command 0x69 in data: status 3 at once, then training again from S to
// data at the same rate (status 5 with the carrier bit, a second
// connect-rate packet), and the framer's bytes carried after it.
TEST_F(V32AnalogLoop, RetrainTrainsAgainIntoData) {
  const Outcome out = Run(16, 0x20, 60, 200, true);
  EXPECT_EQ(out.status_after_retrain & kStatusCodeMask, kStatusRetraining);
  EXPECT_EQ(out.status & (kStatusCodeMask | kStatusCarrier), kStatusConnectedRestart | kStatusCarrier);
  EXPECT_EQ(out.rate, DataRate::k14400);
  EXPECT_TRUE(out.canceller_idle);
  const std::uint16_t word = LocalRateWord(16, 0x20) & HighestRateWord(LocalRateWord(16, 0x20));
  EXPECT_EQ(out.connect_words, (std::vector<std::uint16_t>{word, word}));
  EXPECT_EQ(V32LoopBitErrors(out.sent, out.received), 0u);
}

// A loop that brings nothing back: no rate word, no data, no carrier.
TEST_F(V32AnalogLoop, ASilentLoopNeverConnects) {
  const Outcome out = Run(16, 0x20, -1, 40);
  EXPECT_NE(out.status & kStatusCodeMask, kStatusConnectedRestart);
  EXPECT_EQ(out.status & kStatusCarrier, 0);
  EXPECT_TRUE(out.connect_words.empty());
  EXPECT_TRUE(out.received.empty());
}

// The measured table: V32_BER_SWEEP=1 prints, per rate, the bit errors of
// 4 seconds of framer data against the loop's noise and the SNR it gives
// (the codec's input power over the noise's, A^2 / 3).
TEST_F(V32AnalogLoop, BerTableWhenAsked) {
  if (std::getenv("V32_BER_SWEEP") == nullptr) GTEST_SKIP() << "set V32_BER_SWEEP=1";
  struct Rate {
    std::uint8_t allowed;
    int bits;
  };
  const Rate rates[] = {{0x02, 2}, {0x04, 3}, {0x08, 4}, {0x10, 5}, {0x20, 6}};
  for (const auto [allowed, bits] : rates) {
    for (const int amplitude : {100, 200, 300, 400, 500, 630, 800, 1000, 1260, 1600}) {
      const Outcome out = Run(16, allowed, amplitude,
                              static_cast<std::size_t>(240 * bits * 4));
      const double noise = static_cast<double>(amplitude) * amplitude / 3;
      const std::size_t errors = V32LoopBitErrors(out.sent, out.received);
      std::printf("allowed 0x%02X noise peak %4d: SNR %5.1f dB, connected %d, %zu errors in %zu bits\n", allowed, amplitude,
                  10 * std::log10(std::max(out.heard_power - noise, 1.0) / noise),
                  (out.status & kStatusCarrier) != 0, errors, 8 * out.sent.size());
      TearDown();
    }
  }
}

}  // namespace
}  // namespace pump::v32
