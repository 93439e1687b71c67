// A retrain against a scripted far end built from the double-precision
// reference modulator (the data pump's receiver and transmitter run in the
// test harness; the far end's line signal is fed in block by block). The
// far end plays the V.22bis start-up as the other role, reaches data with
// ours, then starts a retrain as the recommendation has the initiating
// modem do: S1 for 100 ms, scrambled ones at 1200 bit/s until 600 ms after
// the responder's S1 has ended, scrambled ones at 2400 bit/s for 200 ms,
// data. Our modem, the responder, must post status 3 once, answer with
// its retrain table (S1, scrambled ones at 1200, then at 2400, then data,
// the order the recommendation gives the responder) and take the far
// end's data again without an error. Both roles.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "platform/line/levels.h"
#include "pump/core/comram.h"
#include "pump/core/host_interface.h"
#include "pump/framer/framer.h"
#include "pump/tests/support/ber_counter.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/v22_reference.h"
#include "pump/v22/v22_start.h"
#include "pump/v22/v22_tx_states.h"

namespace pump {
namespace {

namespace ref = testing::v22;
using ScriptPoints = std::vector<std::complex<double>>;

constexpr int kScriptSymbolsPerBlock = kBlockSamples / kV22SamplesPerSymbol;

enum class FarSignal { kSilence, kUnscrambledOnes, kS1, kOnes1200, kOnes2400, kData };

struct FarStretch {
  FarSignal signal;
  int blocks;
};

// The far end's line signal: each stretch's symbols (scrambled ones and
// data through one running scrambler, the quadrant carried across
// stretches), modulated on `carrier_hz` at about -16 dBm0. `data` gives
// the data stretches' bits, bit 0 of each byte first.
std::vector<std::int16_t> FarLine(const std::vector<FarStretch>& script, double carrier_hz,
                                  const std::vector<std::uint8_t>& data) {
  ref::Scrambler scrambler;
  ScriptPoints symbols;
  std::size_t data_bit = 0;
  int s1_phase = 0;
  // The quadrant the previous symbol left: each stretch's encoder starts
  // in the first quadrant and its points are turned on from there.
  std::complex<double> turn = 1;
  for (const FarStretch& s : script) {
    const int count = s.blocks * kScriptSymbolsPerBlock;
    if (s.signal == FarSignal::kSilence) {
      symbols.insert(symbols.end(), static_cast<std::size_t>(count), 0.0);
      continue;
    }
    const int bits = s.signal == FarSignal::kOnes2400 || s.signal == FarSignal::kData ? 4 : 2;
    std::vector<int> line_bits;
    for (int k = 0; k < count * bits; ++k) {
      switch (s.signal) {
        case FarSignal::kUnscrambledOnes:
          line_bits.push_back(1);
          break;
        case FarSignal::kS1:  // unscrambled double dibits 00 and 11
          line_bits.push_back((s1_phase++ / 2) % 2);
          break;
        case FarSignal::kData: {
          const int bit = data_bit < 8 * data.size() ? (data[data_bit / 8] >> (data_bit % 8)) & 1 : 1;
          ++data_bit;
          line_bits.push_back(scrambler.Scramble(bit));
          break;
        }
        default:
          line_bits.push_back(scrambler.Scramble(1));
          break;
      }
    }
    ref::Encoder encoder(bits);
    for (const std::complex<double>& p : encoder.Encode(line_bits)) symbols.push_back(p * turn);
    const std::complex<double> last = symbols.back();
    turn = std::polar(1.0, std::floor(std::arg(last) / (3.14159265358979 / 2)) * 3.14159265358979 / 2);
  }
  const std::vector<double> line = ref::Modulate(symbols, carrier_hz);
  // The points' mean power is 10; scaled so the signal is about -16 dBm0.
  double power = 0;
  std::size_t n = 0;
  for (const double v : line) {
    if (v != 0) {
      power += v * v;
      ++n;
    }
  }
  const double scale = plat::line::RmsAt(-16) / std::sqrt(power / static_cast<double>(n));
  std::vector<std::int16_t> out;
  for (const double v : line) out.push_back(static_cast<std::int16_t>(std::lround(v * scale)));
  return out;
}

struct ScriptRole {
  const char* name;
  int our_direction;  // 1: we call
  double far_carrier_hz;
  std::vector<FarStretch> start_up;  // the far end's, to data
};

TEST(V22Retrain, ScriptedFarEndRetrainsWithUsAndDataResumes) {
  // The far end's retrain as initiator, block counts from its start: S1
  // 100 ms; scrambled ones at 1200 bit/s until 600 ms after our S1 (150 ms
  // from about 20 ms after its own) ends; 200 ms at 2400 bit/s; data.
  const std::vector<FarStretch> retrain = {
      {FarSignal::kS1, 10}, {FarSignal::kOnes1200, 2 + 15 + 60 + 4}, {FarSignal::kOnes2400, 20}, {FarSignal::kData, 200}};
  const ScriptRole roles[] = {
      // We call: the far answerer sends unscrambled ones until our S1 (blocks
      // 46 to 55) has ended, then S1 100 ms, scrambled ones at 1200 for 500
      // ms and at 2400 for 200 ms, then data.
      {"we call", 1, 2400,
       {{FarSignal::kUnscrambledOnes, 58}, {FarSignal::kS1, 10}, {FarSignal::kOnes1200, 50},
        {FarSignal::kOnes2400, 20}, {FarSignal::kData, 120}}},
      // We answer: the far caller's 450 ms of silence, S1 100 ms, scrambled
      // ones at 1200 until 600 ms after our S1 (100 ms from about 20 ms after
      // its own) ends, 200 ms at 2400, then data.
      {"we answer", 0, 1200,
       {{FarSignal::kSilence, 46}, {FarSignal::kS1, 10}, {FarSignal::kOnes1200, 2 + 10 + 60 + 4},
        {FarSignal::kOnes2400, 20}, {FarSignal::kData, 120}}},
  };
  std::mt19937 random(17);
  std::vector<std::uint8_t> before(300);
  for (auto& b : before) b = static_cast<std::uint8_t>(random());
  std::vector<std::uint8_t> after(400);
  for (auto& b : after) b = static_cast<std::uint8_t>(random());
  for (const ScriptRole& role : roles) {
    SCOPED_TRACE(role.name);
    std::vector<FarStretch> script = role.start_up;
    int retrain_block = 0;
    for (const FarStretch& s : script) retrain_block += s.blocks;
    script.insert(script.end(), retrain.begin(), retrain.end());
    script.push_back({FarSignal::kOnes2400, 30});
    // One data stream across both data stretches: the bytes before the
    // retrain, then the ones after it.
    std::vector<std::uint8_t> data = before;
    data.resize(role.start_up.back().blocks * kScriptSymbolsPerBlock * 4 / 8, 0xFF);
    data.insert(data.end(), after.begin(), after.end());
    const std::vector<std::int16_t> far = FarLine(script, role.far_carrier_hz, data);
    const std::size_t blocks = far.size() / kBlockSamples;

    testing::PumpHarness harness;
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      harness.RunBlocks(1);
      DspContext& context = harness.Context();
      context.call.direction = role.our_direction;
      context.call.mode = 7;
      context.call.max_rate_code = 4;
      V22bConfig(context);
      InitFramerRx(context, kFramerRawOctets);
      int retrain_reports = 0;
      std::uint8_t previous = 0;
      bool in_data_before = false;
      std::vector<std::uint16_t> response;  // our mode a block while the retrain table runs
      int response_block = -1;               // the block it began
      for (std::size_t b = 0; b < blocks; ++b) {
        harness.Afe().FeedLine(std::span(far).subspan(b * kBlockSamples, kBlockSamples));
        harness.RunBlocks(1);
        const std::uint8_t status = ReadDspReg(harness.Host(), kRegStatus) & ~kStatusTxEmpty;
        if (static_cast<int>(b) == retrain_block) {
          in_data_before = status == (kStatusConnected | kStatusCarrier);
        }
        const std::uint8_t code = status & kStatusCodeMask;
        if (code == kStatusRetraining && previous != kStatusRetraining) ++retrain_reports;
        previous = code;
        if (context.v22.tx_machine.table.data() == V22RetrainTable().data()) {
          if (response.empty()) response_block = static_cast<int>(b);
          response.push_back(context.v22.tx.mode);
        }
      }
      EXPECT_TRUE(in_data_before) << "data before the far end's retrain";
      EXPECT_EQ(retrain_reports, 1);
      EXPECT_EQ(ReadDspReg(harness.Host(), kRegStatus) & ~kStatusTxEmpty, kStatusConnected | kStatusCarrier);
      EXPECT_EQ(context.v22.rx.bits_per_symbol, 4);
      // Our answer: once S1 has been seen in 24 checks (12 symbols, 2
      // blocks, after the reference pulse's one block of delay and our
      // filters'), the data mode while the far S1 lasts, then S1 150 ms,
      // scrambled ones at 1200 for 760 ms and at 2400 for 300 ms, data.
      EXPECT_GE(response_block, retrain_block + 2);
      EXPECT_LE(response_block, retrain_block + 4);
      std::vector<std::pair<std::uint16_t, int>> stretches;
      for (const std::uint16_t m : response) {
        if (stretches.empty() || stretches.back().first != m) stretches.push_back({m, 0});
        ++stretches.back().second;
      }
      ASSERT_EQ(stretches.size(), 5u);
      EXPECT_EQ(stretches[0].first, kV22Data2400);
      const int s1_from = response_block + stretches[0].second;
      EXPECT_GE(s1_from, retrain_block + 10) << "our S1 after the far S1";
      EXPECT_LE(s1_from, retrain_block + 10 + 3);
      EXPECT_EQ(stretches[1], std::make_pair(std::uint16_t{kV22SendS1}, 15));
      EXPECT_EQ(stretches[2], std::make_pair(std::uint16_t{kV22ScrambledOnes1200}, 76));
      EXPECT_EQ(stretches[3], std::make_pair(std::uint16_t{kV22ScrambledOnes2400}, 30));
      EXPECT_EQ(stretches[4].first, kV22Data2400);
      // The far end's data after the retrain, every bit.
      std::vector<std::uint8_t> heard;
      for (const auto& block : harness.Controller().RxBlocks()) {
        heard.insert(heard.end(), block.data.begin(), block.data.end());
      }
      const testing::BitErrorCount count = testing::CountRawBitErrors(after, heard);
      EXPECT_EQ(count.errors, 0u) << count.bits << " bits";
    });
  }
}

}  // namespace
}  // namespace pump
