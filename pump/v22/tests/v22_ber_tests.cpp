// Bit errors of our modem against itself over the simulated line, measured
// on the framers' raw octets with the BER counter of the test support, and
// held to the constellation's theoretical curve with a margin. The counter
// itself is checked first. V22_BER_SWEEP=1 adds a longer sweep over SNR and
// prints its table (not run by default: minutes of simulated data).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "pump/core/comram.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/ber_counter.h"
#include "pump/tests/support/line_call_rig.h"
#include "pump/v22/tests/v22_ber_curve.h"
#include "pump/v22/tests/v22_line_level.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
using fsk_testing::RandomBytes;

constexpr std::uint64_t kBerMs = plat::hal::kMillisecond;

// ---- the counter

struct CounterCase {
  const char* name;
  int idle_ones_before;  // bits of line idle ahead of the data
  std::vector<std::size_t> flipped;  // data bits received wrong
  std::size_t cut_bytes;  // received bytes missing at the end
  std::size_t errors;
};

std::vector<std::uint8_t> BerPack(const std::vector<std::uint8_t>& bits) {
  std::vector<std::uint8_t> bytes((bits.size() + 7) / 8, 0xFF);
  for (std::size_t k = 0; k < bits.size(); ++k) {
    if (bits[k] == 0) bytes[k / 8] = static_cast<std::uint8_t>(bytes[k / 8] & ~(1u << (k % 8)));
  }
  return bytes;
}

TEST(V22BerCounter, FindsTheDataAtAnyBitOffsetAndCountsItsErrors) {
  const CounterCase cases[] = {
      {"aligned", 0, {}, 0, 0},
      {"three bits in", 3, {}, 0, 0},
      {"seven bits in, errors", 7 + 64, {0, 100, 999}, 0, 3},
      {"end missing", 13, {5}, 4, 1 + (13 + 1024 - 8 * 127)},  // 127 of 131 bytes: the last 21 data bits gone
  };
  const std::vector<std::uint8_t> sent = RandomBytes(128, 9);
  for (const CounterCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(c.idle_ones_before), 1);
    for (std::size_t k = 0; k < 8 * sent.size(); ++k) line.push_back((sent[k / 8] >> (k % 8)) & 1u);
    for (const std::size_t f : c.flipped) line[static_cast<std::size_t>(c.idle_ones_before) + f] ^= 1u;
    line.insert(line.end(), 8, 1);  // idle after
    std::vector<std::uint8_t> received = BerPack(line);
    received.resize(received.size() - c.cut_bytes);
    const BitErrorCount count = CountRawBitErrors(sent, received);
    EXPECT_EQ(count.bits, 8 * sent.size());
    EXPECT_EQ(count.errors, c.errors);
  }
  EXPECT_EQ(CountRawBitErrors(sent, std::vector<std::uint8_t>(10, 0xFF)).errors, 8 * sent.size());
}

// ---- the modem


class V22Ber : public LineCallRig {
 protected:
  struct Measured {
    bool connected = false;
    int bits_per_symbol = 0;
    BitErrorCount each_way[2];
  };

  // Our caller and answerer (both `mode`) at `snr_db` with a 1 Hz offset;
  // once connected both framers take raw octets and `bytes` random bytes
  // cross each way.
  Measured Run(int mode, double snr_db, std::size_t bytes, std::uint64_t seed) {
    pl::LineConfig config;
    config.heard_at = {ImpairedDirection(kTransmitLevel, snr_db), ImpairedDirection(kTransmitLevel, snr_db)};
    config.heard_at[0].frequency_offset_hz = 1;
    config.heard_at[1].frequency_offset_hz = -1;
    for (pl::LineDirectionConfig& d : config.heard_at) d.noise_dbm0 = V22NoiseDbm0(kTransmitLevel, snr_db);
    config.seed = seed;
    MakeLine(config);
    AddSecondMachine();
    StartCalls({{mode, 1}, {mode, 0}});
    Measured m;
    for (int t = 0; t < 160 && !m.connected; ++t) {
      sim.RunFor(50 * kBerMs);
      m.connected = BerConnected(0) && BerConnected(1);
    }
    if (!m.connected) return m;
    OnKernelThread(*kernels_[0], [&] {
      m.bits_per_symbol = TestControllerOf(*kernels_[0]).Context()->v22.rx.bits_per_symbol;
    });
    for (plat::ke::Kernel* k : kernels_) {
      OnKernelThread(*k, [&] { TestControllerOf(*k).Double().Exchange(0x61, {1, 0}); });
    }
    sim.RunFor(100 * kBerMs);
    const std::size_t before[2] = {Received(0).size(), Received(1).size()};
    const std::vector<std::uint8_t> sent[2] = {RandomBytes(bytes, seed + 1), RandomBytes(bytes, seed + 2)};
    Send(0, sent[0]);
    Send(1, sent[1]);
    const double seconds = static_cast<double>(8 * bytes) / (600.0 * m.bits_per_symbol);
    sim.RunFor(static_cast<std::uint64_t>(seconds * 1000 + 500) * kBerMs);
    for (std::size_t w = 0; w < 2; ++w) {
      const std::vector<std::uint8_t> got = Received(1 - w);
      m.each_way[w] = CountRawBitErrors(sent[w], std::span(got).subspan(before[1 - w]));
    }
    return m;
  }

  bool BerConnected(std::size_t m) {
    return (Status(m) & ~kStatusTxEmpty) == (kStatusConnected | kStatusCarrier);
  }
};

struct BerCase {
  const char* name;
  int mode;
  int bits_per_symbol;
  double snr_db;
  std::size_t bytes;
};

class V22BerTable : public V22Ber, public ::testing::WithParamInterface<BerCase> {};

TEST_P(V22BerTable, ErrorsStayUnderTheCurveWithItsMargin) {
  const BerCase& c = GetParam();
  const Measured m = Run(c.mode, c.snr_db, c.bytes, 11);
  ASSERT_TRUE(m.connected);
  ASSERT_EQ(m.bits_per_symbol, c.bits_per_symbol);
  for (const BitErrorCount& count : m.each_way) {
    EXPECT_EQ(count.bits, 8 * c.bytes);
    EXPECT_LE(count.errors, AllowedErrors(c.bits_per_symbol, c.snr_db, count.bits))
        << "BER " << count.Rate() << ", curve " << TheoreticalBer(c.bits_per_symbol, c.snr_db);
  }
}

const BerCase kBerCases[] = {
    {"V22bisAt12dB", 7, 4, 12, 400},
    {"V22At8dB", 6, 2, 8, 200},
};

INSTANTIATE_TEST_SUITE_P(Lines, V22BerTable, ::testing::ValuesIn(kBerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The sweep, on request: each rate over SNR, one row each, both
// directions pooled.
class V22BerSweep : public V22Ber, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(V22BerSweep, RowOnRequest) {
  if (std::getenv("V22_BER_SWEEP") == nullptr) GTEST_SKIP() << "set V22_BER_SWEEP=1 to run";
  const auto [mode, snr_db] = GetParam();
  const int bps = mode == 7 ? 4 : 2;
  const Measured m = Run(mode, snr_db, mode == 7 ? 3000 : 1500, 21);
  if (!m.connected || m.bits_per_symbol != bps) {
    std::printf("BER row: %4d bit/s  %2d dB  no connection at this rate\n", 600 * bps, snr_db);
    return;
  }
  const std::size_t bits = m.each_way[0].bits + m.each_way[1].bits;
  const std::size_t errors = m.each_way[0].errors + m.each_way[1].errors;
  std::printf("BER row: %4d bit/s  %2d dB  %6zu bits  %5zu errors  BER %.2e  curve %.2e  allowed %zu\n",
              600 * bps, snr_db, bits, errors, static_cast<double>(errors) / static_cast<double>(bits),
              TheoreticalBer(bps, snr_db), AllowedErrors(bps, snr_db, bits));
}

INSTANTIATE_TEST_SUITE_P(Snr, V22BerSweep,
                         ::testing::Combine(::testing::Values(7, 6), ::testing::Range(6, 22, 2)));

}  // namespace
}  // namespace pump::testing
