// Our caller against our answerer on two machines over a simulated line,
// each started with command 0x68 as the controller starts a call: the
// handshake reaches data at the rate both ends allow, bytes cross both
// ways through the framers, and a broken line ends the call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "pump/core/comram.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/v22/tests/v22_line_level.h"
#include "pump/tests/support/line_call_rig.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
using fsk_testing::BitErrors;
using fsk_testing::RandomBytes;

constexpr std::uint64_t kConnectMs = plat::hal::kMillisecond;
constexpr int kV22bis = 7;
constexpr int kV22 = 6;

class V22Connect : public LineCallRig {
 protected:
  // The impaired line both ways at `snr_db`, with a frequency offset, or
  // the caller's sample clock `clock_ppm` fast and the answerer's as slow.
  void MakeV22Line(double snr_db, double offset_hz, double clock_ppm, std::uint64_t seed) {
    pl::LineConfig config;
    config.heard_at = {ImpairedDirection(kTransmitLevel, snr_db),
                       ImpairedDirection(kTransmitLevel, snr_db)};
    config.heard_at[0].frequency_offset_hz = offset_hz;
    config.heard_at[1].frequency_offset_hz = -offset_hz;
    for (pl::LineDirectionConfig& d : config.heard_at) d.noise_dbm0 = V22NoiseDbm0(kTransmitLevel, snr_db);
    config.clock_ppm = {clock_ppm, -clock_ppm};
    config.seed = seed;
    MakeLine(config);
    AddSecondMachine();
  }

  // Runs until both machines report data (status 2 with the carrier bit)
  // or `limit_ms` passed.
  bool RunUntilConnected(std::uint64_t limit_ms) {
    for (std::uint64_t t = 0; t < limit_ms; t += 50) {
      if (Connected(0) && Connected(1)) return true;
      sim.RunFor(50 * kConnectMs);
    }
    return false;
  }
  bool Connected(std::size_t m) {
    return (Status(m) & ~kStatusTxEmpty) == (kStatusConnected | kStatusCarrier);
  }

  std::int32_t BitsPerSymbol(std::size_t m) {
    std::int32_t bits = 0;
    OnKernelThread(*kernels_[m],
                   [&] { bits = TestControllerOf(*kernels_[m]).Context()->v22.rx.bits_per_symbol; });
    return bits;
  }
};

struct V22ConnectCase {
  const char* name;
  int caller_mode;
  int answerer_mode;
  double snr_db;
  double offset_hz;
  double clock_ppm;
  std::int32_t bits_per_symbol;  // the rate both reach
};

class V22ConnectTable : public V22Connect, public ::testing::WithParamInterface<V22ConnectCase> {};

// 6 dB of loss each way, 12 ms of delay, the hybrid's echo 20 dB down and
// noise at the SNR given: both reach data at the rate both allow and 60
// bytes cross each way without an error.
TEST_P(V22ConnectTable, ReachDataAndCarryBytesBothWays) {
  const V22ConnectCase& c = GetParam();
  MakeV22Line(c.snr_db, c.offset_hz, c.clock_ppm, 5);
  StartCalls({{c.caller_mode, 1}, {c.answerer_mode, 0}});
  ASSERT_TRUE(RunUntilConnected(8000)) << "status " << int{Status(0)} << " and " << int{Status(1)};
  EXPECT_EQ(BitsPerSymbol(0), c.bits_per_symbol);
  EXPECT_EQ(BitsPerSymbol(1), c.bits_per_symbol);
  const std::vector<std::uint8_t> sent[2] = {RandomBytes(60, 1), RandomBytes(60, 2)};
  Send(0, sent[0]);
  Send(1, sent[1]);
  sim.RunFor((c.bits_per_symbol == 4 ? 400 : 700) * kConnectMs);
  for (std::size_t m = 0; m < 2; ++m) {
    SCOPED_TRACE(m == 0 ? "caller to answerer" : "answerer to caller");
    const std::vector<std::uint8_t> got = Received(1 - m);
    // Only the bytes sent: none where training turns to data.
    ASSERT_EQ(got.size(), sent[m].size());
    EXPECT_EQ(BitErrors(sent[m], got), 0u);
  }
}

// The SNR is counted under our signal as it arrives (V22NoiseDbm0).
const V22ConnectCase kConnectCases[] = {
    {"V22bis", kV22bis, kV22bis, 30, 0, 0, 4},
    {"V22", kV22, kV22, 30, 0, 0, 2},
    {"V22bisCallerV22Answerer", kV22bis, kV22, 30, 0, 0, 2},
    {"V22bisFrequencyOffset", kV22bis, kV22bis, 30, 3, 0, 4},
    {"V22bis20dB", kV22bis, kV22bis, 20, 1, 0, 4},
    {"V22at20dB", kV22, kV22, 20, 1, 0, 2},
    {"V22bisClocks100ppmApart", kV22bis, kV22bis, 30, 0, 100, 4},
    {"V22bisClocks100ppmApartTheOtherWay", kV22bis, kV22bis, 30, 0, -100, 4},
    {"V22Clocks100ppmApart", kV22, kV22, 30, 0, 100, 2},
};

INSTANTIATE_TEST_SUITE_P(Lines, V22ConnectTable, ::testing::ValuesIn(kConnectCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The line to the caller breaks in data: its receiver loses the carrier and
// after 600 symbols without signal (1 s) reports status 4 and leaves V.22.
TEST_F(V22Connect, LineBreakInDataGivesStatus4AfterOneSecond) {
  pl::Line& line = MakeLine(30, 7);
  AddSecondMachine();
  StartCalls({{kV22bis, 1}, {kV22bis, 0}});
  ASSERT_TRUE(RunUntilConnected(8000));
  sim.RunFor(200 * kConnectMs);
  const std::int64_t from = line.delivered(pl::Side::kA) + 800;  // 100 ms on
  line.AddBreak(pl::Side::kA, from, from + 8000 * 3);
  int dropped_ms = -1;
  for (int ms = 0; ms < 2000 && dropped_ms < 0; ms += 10) {
    sim.RunFor(10 * kConnectMs);
    if ((Status(0) & kStatusCodeMask) == kStatusDropping) dropped_ms = ms;
  }
  // From the break's start: 1 s of symbols, give or take the line and
  // block delays and the AGC's fall.
  EXPECT_GE(dropped_ms, 100 + 1000);
  EXPECT_LE(dropped_ms, 100 + 1200);
  EXPECT_EQ(Status(0) & kStatusCarrier, 0);
  EXPECT_TRUE(Connected(1)) << "the answerer still hears the caller";
}

}  // namespace
}  // namespace pump::testing
