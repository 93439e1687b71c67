// Bit errors of spandsp's V.22bis transmitter into our receiver and of ours
// into spandsp's receiver over the simulated noisy line (spandsp's data
// peer on our machine's line). The
// handshake runs at 30 dB; in data the noise rises to the SNR measured
// (with the noise there from the start spandsp 0.0.6's handshake with ours
// completes from about 26 dB: the table measures the data path). Both ends send and take raw bits (our framer's raw octets, the
// peer's raw-bit framing), so every line bit counts. The noise is set under spandsp's level as it arrives, measured
// off spandsp's own transmitter. Limits: the constellation's curve with its
// margin (v22_ber_curve.h). V22_BER_SWEEP=1 adds the sweep over SNR, one
// printed row each.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/levels.h"
#include "platform/line/line.h"
#include "platform/line/peers/data_peer.h"
#include "platform/line/peers/spandsp_link.h"
#include "pump/core/comram.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/ber_counter.h"
#include "pump/tests/support/line_call_rig.h"
#include "pump/v22/tests/v22_ber_curve.h"
#include "pump/v22/tests/v22_line_level.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
namespace peers = plat::line::peers;
using fsk_testing::RandomBytes;

constexpr std::uint64_t kSpandspBerMs = plat::hal::kMillisecond;
constexpr double kHandshakeSnrDb = 30;

// spandsp's line level at `dbm0`: its answerer's unscrambled ones (the
// constellation's outer-and-inner point every symbol, the data's power)
// over a second, once it sends.
double SpandspLineDbm0(int bit_rate, double dbm0) {
  peers::SpandspPtr<v22bis_state_t, v22bis_free> modem(v22bis_init(
      nullptr, bit_rate, V22BIS_GUARD_TONE_NONE, false, [](void*) { return 1; }, nullptr,
      [](void*, int) {}, nullptr));
  v22bis_tx_power(modem.get(), static_cast<float>(dbm0));
  std::vector<std::int16_t> samples(16000);
  v22bis_tx(modem.get(), samples.data(), static_cast<int>(samples.size()));
  double power = 0;
  for (std::size_t n = 8000; n < samples.size(); ++n) power += static_cast<double>(samples[n]) * samples[n];
  power /= 8000;
  const double zero = pl::RmsAt(0);
  return 10 * std::log10(power / (zero * zero));
}

struct SpandspBerRun {
  bool connected = false;
  std::int32_t bits_per_symbol = 0;
  BitErrorCount count;       // spandsp into ours
  BitErrorCount back_count;  // ours into spandsp
};

class V22SpandspBer : public LineCallRig {
 protected:
  // spandsp (`spandsp_rate`, the other role) and our modem (`mode`,
  // `our_direction`) at `snr_db` each way; once both are in data our
  // framer takes raw octets and `bytes` random bytes cross each way. The
  // handshake runs at `handshake_snr_db`, the noise there from the start.
  SpandspBerRun Run(int our_direction, int mode, int spandsp_rate, double snr_db, std::size_t bytes,
                    std::uint64_t seed, double handshake_snr_db = kHandshakeSnrDb) {
    const double theirs = SpandspLineDbm0(spandsp_rate, kTransmitLevel) - kImpairedLossDb;
    const double ours = V22LineDbm0(kTransmitLevel) - kImpairedLossDb;
    pl::LineConfig config;
    config.heard_at = {ImpairedDirection(kTransmitLevel, 100), ImpairedDirection(kTransmitLevel, 100)};
    config.heard_at[0].noise_dbm0 = theirs - handshake_snr_db;
    config.heard_at[1].noise_dbm0 = ours - handshake_snr_db;
    config.seed = seed;
    pl::Line& line = MakeLine(config);
    const std::vector<std::uint8_t> sent = RandomBytes(bytes, seed + 1);
    const std::vector<std::uint8_t> ours_sent = RandomBytes(bytes, seed + 2);
    peers::CallStart start{.rings = 0};
    if (our_direction == 0) start.role = peers::CallStart::Role::kOriginate;
    peers::DataPeer peer(line, pl::Side::kB,
                         {.modem = peers::DataModem::kV22bis,
                          .bit_rate = spandsp_rate,
                          .framing = peers::DataFraming::kRawBits,
                          .start = start,
                          .answer_silence_ms = 500,
                          .tx_dbm0 = kTransmitLevel,
                          .script = peers::ByteScript().Send(sent)});
    StartCalls({{mode, our_direction}});
    SpandspBerRun run;
    for (int t = 0; t < 120 && !run.connected; ++t) {
      sim.RunFor(100 * kSpandspBerMs);
      run.connected = (Status(0) & ~kStatusTxEmpty) == (kStatusConnected | kStatusCarrier) &&
                      peer.report().connected_at != 0;
    }
    if (!run.connected) return run;
    line.SetNoise(pl::Side::kA, theirs - snr_db);
    line.SetNoise(pl::Side::kB, ours - snr_db);
    OnKernelThread(*kernels_[0], [&] {
      run.bits_per_symbol = TestControllerOf(*kernels_[0]).Context()->v22.rx.bits_per_symbol;
      TestControllerOf(*kernels_[0]).Double().Exchange(0x61, {1, 0});
    });
    const std::size_t before = Received(0).size();
    // spandsp takes bits from 800 ms after its connection and sends from
    // 1.5 s after it: ours go when its script starts.
    for (int t = 0; t < 30 && !peer.script().started(); ++t) sim.RunFor(100 * kSpandspBerMs);
    Send(0, ours_sent);
    const double seconds = static_cast<double>(8 * bytes) / spandsp_rate;
    sim.RunFor(static_cast<std::uint64_t>(seconds * 1000 + 500) * kSpandspBerMs);
    const std::vector<std::uint8_t> got = Received(0);
    run.count = CountRawBitErrors(sent, std::span(got).subspan(before));
    run.back_count = CountRawBitErrors(ours_sent, peer.script().received_bytes());
    return run;
  }
};

struct SpandspBerCase {
  const char* name;
  int our_direction;
  int mode;
  int spandsp_rate;
  double snr_db;
  std::size_t bytes;
};

class V22SpandspBerTable : public V22SpandspBer, public ::testing::WithParamInterface<SpandspBerCase> {};

TEST_P(V22SpandspBerTable, BothWaysUnderTheCurveWithItsMargin) {
  const SpandspBerCase& c = GetParam();
  const SpandspBerRun run = Run(c.our_direction, c.mode, c.spandsp_rate, c.snr_db, c.bytes, 31);
  ASSERT_TRUE(run.connected);
  const int bits_per_symbol = c.spandsp_rate / 600;
  ASSERT_EQ(run.bits_per_symbol, bits_per_symbol);
  for (const BitErrorCount& count : {run.count, run.back_count}) {
    EXPECT_EQ(count.bits, 8 * c.bytes);
    EXPECT_LE(count.errors, AllowedErrors(bits_per_symbol, c.snr_db, count.bits))
        << "BER " << count.Rate() << ", curve " << TheoreticalBer(bits_per_symbol, c.snr_db);
  }
}

const SpandspBerCase kSpandspBerCases[] = {
    {"WeAnswer2400At12dB", 0, 7, 2400, 12, 800},
    {"WeCall1200At8dB", 1, 6, 1200, 8, 400},
};

INSTANTIATE_TEST_SUITE_P(Spandsp, V22SpandspBerTable, ::testing::ValuesIn(kSpandspBerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The handshake itself under noise, present on the line from before either
// end starts: both roles reach data at the rate asked and carry bytes
// under the curve. The SNRs are the lowest where spandsp 0.0.6 completes
// (its caller leaves out S1 or never starts, its answerer leaves its
// unscrambled ones before our S1; the sweep below shows where).
struct SpandspNoisyHandshakeCase {
  const char* name;
  int our_direction;
  int spandsp_rate;
  double snr_db;
};

class V22SpandspNoisyHandshake : public V22SpandspBer,
                                 public ::testing::WithParamInterface<SpandspNoisyHandshakeCase> {};

TEST_P(V22SpandspNoisyHandshake, ReachesDataAtTheRateAsked) {
  const SpandspNoisyHandshakeCase& c = GetParam();
  const int bits_per_symbol = c.spandsp_rate / 600;
  const std::size_t bytes = 100;
  const SpandspBerRun run = Run(c.our_direction, bits_per_symbol == 4 ? 7 : 6, c.spandsp_rate, c.snr_db, bytes,
                                51, c.snr_db);
  ASSERT_TRUE(run.connected);
  ASSERT_EQ(run.bits_per_symbol, bits_per_symbol);
  for (const BitErrorCount& count : {run.count, run.back_count}) {
    EXPECT_EQ(count.bits, 8 * bytes);
    EXPECT_LE(count.errors, AllowedErrors(bits_per_symbol, c.snr_db, count.bits)) << "BER " << count.Rate();
  }
}

const SpandspNoisyHandshakeCase kNoisyHandshakeCases[] = {
    {"WeAnswer2400", 0, 2400, 26},
    {"WeCall2400", 1, 2400, 28},
    {"WeAnswer1200", 0, 1200, 26},
    {"WeCall1200", 1, 1200, 26},
};

INSTANTIATE_TEST_SUITE_P(Spandsp, V22SpandspNoisyHandshake, ::testing::ValuesIn(kNoisyHandshakeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The sweep, on request: spandsp's caller and our answerer at each rate
// over SNR, both ways.
class V22SpandspBerSweep : public V22SpandspBer, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(V22SpandspBerSweep, RowOnRequest) {
  if (std::getenv("V22_BER_SWEEP") == nullptr) GTEST_SKIP() << "set V22_BER_SWEEP=1 to run";
  const auto [rate, snr_db] = GetParam();
  const int bps = rate / 600;
  const SpandspBerRun run = Run(0, rate == 2400 ? 7 : 6, rate, snr_db, rate == 2400 ? 6000 : 3000, 41);
  if (!run.connected || run.bits_per_symbol != bps) {
    std::printf("spandsp BER row: %4d bit/s  %2d dB  no connection at this rate\n", rate, snr_db);
    return;
  }
  std::printf("spandsp BER row: %4d bit/s  %2d dB  %6zu bits  into ours %5zu errors (%.2e)  into spandsp %5zu "
              "errors (%.2e)  curve %.2e  allowed %zu\n",
              rate, snr_db, run.count.bits, run.count.errors, run.count.Rate(), run.back_count.errors,
              run.back_count.Rate(), TheoreticalBer(bps, snr_db), AllowedErrors(bps, snr_db, run.count.bits));
}

INSTANTIATE_TEST_SUITE_P(Snr, V22SpandspBerSweep,
                         ::testing::Combine(::testing::Values(2400, 1200), ::testing::Range(6, 22, 2)));

// The handshake under noise over SNR, on request: each role and rate, one
// printed row each.
class V22SpandspHandshakeSweep : public V22SpandspBer,
                                 public ::testing::WithParamInterface<std::tuple<int, int, int>> {};

TEST_P(V22SpandspHandshakeSweep, RowOnRequest) {
  if (std::getenv("V22_BER_SWEEP") == nullptr) GTEST_SKIP() << "set V22_BER_SWEEP=1 to run";
  const auto [direction, rate, snr_db] = GetParam();
  const SpandspBerRun run = Run(direction, rate == 2400 ? 7 : 6, rate, snr_db, 100, 61, snr_db);
  std::printf("spandsp handshake row: we %s  %4d bit/s  %2d dB  %s  errors into ours %zu, into spandsp %zu\n",
              direction == 1 ? "call  " : "answer", rate, snr_db,
              !run.connected ? "no connection" : (run.bits_per_symbol == rate / 600 ? "connected" : "other rate"),
              run.count.errors, run.back_count.errors);
}

INSTANTIATE_TEST_SUITE_P(Snr, V22SpandspHandshakeSweep,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(2400, 1200),
                                            ::testing::Range(4, 32, 2)));

}  // namespace
}  // namespace pump::testing
