// Our V.32 caller against our V.32 answerer on two machines over a
// simulated line, each started with command 0x68 as the controller starts
// a call: the start-up tones and their reversals, both trainings with the
// echo canceller learning, the rate sequences, E and data carried by the
// framers both ways.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "pump/core/comram.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/line_call_rig.h"
#include "pump/v32/connection_states.h"
#include "pump/v32/signal_sets.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
using fsk_testing::BitErrors;
using fsk_testing::RandomBytes;

constexpr std::uint64_t kMs = plat::hal::kMillisecond;
constexpr int kModeV32 = 12;
constexpr int kModeV32bis = 16;

struct LinkView {
  v32::TxState tx;
  v32::RxState rx;
  v32::DataRate rate;
  std::int32_t round_trip;
};

class V32Connect : public LineCallRig {
 protected:
  void MakeV32Line(double snr_db, double echo_erl_db, double reflection_erl_db, double offset_hz,
                   std::uint64_t seed) {
    pl::LineConfig config;
    config.heard_at = {ImpairedDirection(kTransmitLevel, snr_db),
                       ImpairedDirection(kTransmitLevel, snr_db)};
    for (pl::LineDirectionConfig& d : config.heard_at) {
      d.echo_erl_db = echo_erl_db;
      if (reflection_erl_db > 0) d.reflection_erl_db = reflection_erl_db;
    }
    config.heard_at[0].frequency_offset_hz = offset_hz;
    config.heard_at[1].frequency_offset_hz = -offset_hz;
    config.seed = seed;
    MakeLine(config);
    AddSecondMachine();
  }

  bool Connected(std::size_t m) {
    return (Status(m) & ~kStatusTxEmpty) == (kStatusConnected | kStatusCarrier);
  }

  // V32_TRACE=1 prints each side's states as they change.
  bool RunUntilConnected(std::uint64_t limit_ms) {
    const bool trace = std::getenv("V32_TRACE") != nullptr;
    std::string last;
    for (std::uint64_t t = 0; t < limit_ms; t += 10) {
      if (Connected(0) && Connected(1)) return true;
      // A side that gave up is back to idle.
      if ((Status(0) & kStatusCodeMask) == kStatusIdle || (Status(1) & kStatusCodeMask) == kStatusIdle) {
        return false;
      }
      sim.RunFor(10 * kMs);
      if (!trace) continue;
      const std::string now = Where();
      if (now != last) std::printf("%llu ms: %s\n", static_cast<unsigned long long>(t), now.c_str());
      last = now;
    }
    return false;
  }

  LinkView View(std::size_t m) {
    LinkView view{};
    OnKernelThread(*kernels_[m], [&] {
      const v32::V32Area& a = TestControllerOf(*kernels_[m]).Context()->receive.v32;
      view = {a.link.tx_state, a.link.rx_state, a.rx.rate, a.link.round_trip};
    });
    return view;
  }

  std::string Where() {
    std::string s;
    for (std::size_t m = 0; m < 2; ++m) {
      const LinkView v = View(m);
      s += std::string(m == 0 ? "caller " : " answerer ") + std::string(v32::TxStateName(v.tx)) + "/" +
           std::string(v32::RxStateName(v.rx)) + " status " + std::to_string(int{Status(m)});
    }
    return s;
  }
};

struct ConnectCase {
  const char* name;
  int mode;
  double snr_db;
  double echo_erl_db;
  double reflection_erl_db;  // the far end's, 0 for none
  double offset_hz;
  v32::DataRate rate;
};

class V32ConnectTable : public V32Connect, public ::testing::WithParamInterface<ConnectCase> {};

// 6 dB of loss each way, 12 ms of delay, the hybrid's echo at the ERL
// given and noise at the SNR given: both reach data at the rate both
// allow, and 200 bytes cross each way without an error.
TEST_P(V32ConnectTable, ReachDataAndCarryBytesBothWays) {
  const ConnectCase& c = GetParam();
  MakeV32Line(c.snr_db, c.echo_erl_db, c.reflection_erl_db, c.offset_hz, 3);
  StartCalls({{c.mode, 1}, {c.mode, 0}});
  ASSERT_TRUE(RunUntilConnected(12000)) << Where();
  EXPECT_EQ(View(0).rate, c.rate);
  EXPECT_EQ(View(1).rate, c.rate);
  const std::vector<std::uint8_t> sent[2] = {RandomBytes(200, 1), RandomBytes(200, 2)};
  Send(0, sent[0]);
  Send(1, sent[1]);
  sim.RunFor(500 * kMs);
  for (std::size_t m = 0; m < 2; ++m) {
    SCOPED_TRACE(m == 0 ? "caller to answerer" : "answerer to caller");
    const std::vector<std::uint8_t> got = Received(1 - m);
    ASSERT_EQ(got.size(), sent[m].size());
    EXPECT_EQ(BitErrors(sent[m], got), 0u);
  }
}

const ConnectCase kConnectCases[] = {
    {"V32bis", kModeV32bis, 40, 20, 0, 0, v32::DataRate::k14400},
    {"V32", kModeV32, 40, 20, 0, 0, v32::DataRate::k9600Trellis},
    {"V32bisNearEcho10dB", kModeV32bis, 35, 10, 0, 0, v32::DataRate::k14400},
    {"V32bisFarEchoAndOffset", kModeV32bis, 35, 15, 20, 2, v32::DataRate::k14400},
};

INSTANTIATE_TEST_SUITE_P(Lines, V32ConnectTable, ::testing::ValuesIn(kConnectCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same line as the 10 dB row with both cancellers off: the echo of
// each side's own rate sequence and data (10 dB down, against the far
// signal 6 dB down) drowns what the far end sends, so the call does not
// reach 14400 and carry the bytes cleanly; the canceller is what does.
TEST_F(V32Connect, WithoutTheCancellerTheSameLineFails) {
  MakeV32Line(35, 10, 0, 0, 3);
  for (plat::ke::Kernel* k : kernels_) {
    OnKernelThread(*k, [&] { TestControllerOf(*k).Context()->receive.v32_echo_off = 1; });
  }
  StartCalls({{kModeV32bis, 1}, {kModeV32bis, 0}});
  bool clean = RunUntilConnected(12000) && View(0).rate == v32::DataRate::k14400 &&
               View(1).rate == v32::DataRate::k14400;
  if (clean) {
    const std::vector<std::uint8_t> sent[2] = {RandomBytes(200, 1), RandomBytes(200, 2)};
    Send(0, sent[0]);
    Send(1, sent[1]);
    sim.RunFor(500 * kMs);
    for (std::size_t m = 0; m < 2; ++m) {
      const std::vector<std::uint8_t> got = Received(1 - m);
      clean = clean && got.size() == sent[m].size() && BitErrors(sent[m], got) == 0;
    }
  }
  EXPECT_FALSE(clean) << Where();
}

}  // namespace
}  // namespace pump::testing
