// Our FSK transmitter into our receiver: each start type's pair over the
// simulated line (attenuation, delay, a frequency offset, white noise),
// and type 15 through the front end's test loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/line/levels.h"
#include "pump/core/comram.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/framer/framer.h"

namespace pump {
namespace {

using fsk_testing::BitErrors;
using fsk_testing::Heard;
using fsk_testing::OverLine;
using fsk_testing::RandomBytes;
using fsk_testing::Receive;
using fsk_testing::Sender;
using fsk_testing::Transmit;

struct Pair {
  const char* name;
  Sender sender;
  int receive_type;
  int receive_direction;
  std::size_t bytes;
};

// 75 bit/s needs 96 marks before its carrier: 200 blocks are 150 bits.
const Pair kPairs[] = {
    {"V21 originate to answer", {kFskV21Data, 1}, kFskV21Data, 0, 60},
    {"V21 answer to originate", {kFskV21Data, 0}, kFskV21Data, 1, 60},
    {"Bell103 originate to answer", {kFskBell103Originate, 1}, kFskBell103Answer, 0, 60},
    {"Bell103 answer to originate", {kFskBell103Answer, 0}, kFskBell103Originate, 1, 60},
    {"V23 forward (7 to 6)", {kFskV23SendForward, 1}, kFskV23SendBackward, 1, 200},
    {"V23 backward (6 to 7)", {kFskV23SendBackward, 1, -10, 200}, kFskV23SendForward, 1, 16},
    {"V23 transmit only to receive only (9 to 8)", {kFskV23TransmitOnly, 1},
     kFskV23ReceiveOnly, 1, 200},
};

double LevelDbm0(std::span<const std::int16_t> samples) {
  double power = 0;
  std::size_t n = 0;
  for (const std::int16_t s : samples) {
    if (s == 0) continue;
    power += static_cast<double>(s) * s;
    ++n;
  }
  const double rms = std::sqrt(power / static_cast<double>(n));
  return 20 * std::log10(rms / plat::line::RmsAt(0));
}

plat::line::LineDirectionConfig Line(double signal_dbm0, double snr_db, std::uint64_t seed) {
  plat::line::LineDirectionConfig config;
  config.gain_db = -6;
  config.delay_samples = 97;
  config.frequency_offset_hz = 4;
  if (snr_db < 100) config.noise_dbm0 = signal_dbm0 - 6 - snr_db;
  config.seed = seed;
  return config;
}

struct Carried {
  std::vector<std::uint8_t> sent;
  Heard heard;
};

Carried Carry(const Pair& pair, double snr_db, std::uint32_t seed) {
  Carried run;
  run.sent = RandomBytes(pair.bytes, seed);
  // Runs of 0x00 and 0xFF: the longest stretches without a transition.
  for (std::size_t k = 0; k < 4 && k + 8 < run.sent.size(); ++k) {
    run.sent[k + 2] = 0x00;
    run.sent[k + 8] = 0xFF;
  }
  const std::vector<std::int16_t> line = Transmit(pair.sender, run.sent);
  const double level = LevelDbm0(line);
  const std::vector<std::int16_t> heard = OverLine(line, Line(level, snr_db, seed));
  run.heard = Receive(pair.receive_type, pair.receive_direction, heard);
  return run;
}

TEST(FskLoopback, EveryPairIsErrorFreeAt20DbSnrWithOffsetAndDelay) {
  for (const Pair& pair : kPairs) {
    SCOPED_TRACE(pair.name);
    const Carried run = Carry(pair, 20, 7);
    EXPECT_EQ(run.heard.bytes, run.sent);
    EXPECT_EQ(run.heard.status & (kStatusCodeMask | kStatusCarrier),
              kStatusConnected | kStatusCarrier);
  }
}

// Bit errors against SNR (noise over the whole 4 kHz band; lost bytes
// count 8 errors each). The bound: at 6 dB and above at most 1 bit in 100;
// below it the table only shows where the carrier detector gives up.
TEST(FskLoopback, BitErrorRatesFallWithSnr) {
  const double snrs[] = {0, 3, 6, 8, 10, 12, 15};
  for (const Pair& pair : kPairs) {
    std::printf("%-45s", pair.name);
    for (const double snr : snrs) {
      const Carried run = Carry(pair, snr, 11);
      const double ber = static_cast<double>(BitErrors(run.sent, run.heard.bytes)) /
                         static_cast<double>(8 * run.sent.size());
      std::printf(" %4.0f dB: %.4f", snr, ber);
      if (snr >= 6) {
        EXPECT_LE(ber, 0.01) << pair.name << " at " << snr << " dB";
      }
    }
    std::printf("\n");
  }
}

// The V.8 message channel's transmitter sends only what is queued: the
// V.8 states queue each message, and between messages the line is silent.
// A queued 0xFF goes as ten marks (the message's preamble), so the far
// receiver sees marks, then the octets.
TEST(FskLoopback, V8MessageChannelSendsWhatIsQueuedAndIsSilentOtherwise) {
  const Sender answer{kFskV8Answer, 0, -10, 20};  // channel 2; raises its own request
  std::vector<std::uint8_t> message(8, 0xFF);     // ten marks each
  const std::vector<std::uint8_t> octets = {0xE0, 0xC1, 0x05, 0x94, 0x3D, 0x00};
  message.insert(message.end(), octets.begin(), octets.end());
  std::vector<std::int16_t> line = Transmit(answer, message, 10);
  // Nothing queued before the message: exact silence.
  const std::size_t lead = static_cast<std::size_t>(answer.lead_blocks) * 96;
  ASSERT_GT(line.size(), lead + 5 * 96);
  EXPECT_EQ(std::count(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(lead), 0),
            static_cast<std::ptrdiff_t>(lead));
  // After it: silent again once the last bit is out.
  EXPECT_EQ(std::count(line.end() - 5 * 96, line.end(), 0), 5 * 96);
  // The message itself: 14 characters of 10 bits at 300 bit/s.
  const auto loud = std::count_if(line.begin(), line.end(), [](std::int16_t s) { return s != 0; });
  EXPECT_NEAR(static_cast<double>(loud), 14 * 10 * 32, 2 * 32);

  // The far receiver (a V.8 carrier needs no run of marks) passes what it
  // demodulates from the first check above its threshold: the onset, while
  // its filters and gain settle, may leave a character or two before the
  // octets, which the V.8 states' search for the message's sync skips.
  line.resize(line.size() + 10 * 96, 0);
  const Heard heard = Receive(kFskV8Originate, 1, line);
  ASSERT_GE(heard.bytes.size(), octets.size());
  const std::size_t onset = heard.bytes.size() - octets.size();
  EXPECT_LE(onset, 2u);
  EXPECT_EQ(std::vector<std::uint8_t>(heard.bytes.begin() + static_cast<std::ptrdiff_t>(onset),
                                      heard.bytes.end()),
            octets);
}

}  // namespace
}  // namespace pump
