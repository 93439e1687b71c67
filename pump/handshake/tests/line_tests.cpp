// Handshakes over a simulated line: one machine (vxafe, vxdsp and the test
// controller) calling a spandsp data peer, and two machines, our caller
// against our answerer, through attenuation, delay and noise. A call runs
// as the controller runs it: reset, the line taken, command 0x68, and the
// bytes through the data mailboxes once the modem is up.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "platform/line/peers/data_peer.h"
#include "pump/core/comram.h"
#include "pump/core/time_us.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/line_call_rig.h"
#include "pump/v22/v22_tx_states.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
namespace peers = plat::line::peers;
using fsk_testing::BitErrors;
using fsk_testing::RandomBytes;

using plat::hal::kMillisecond;
// From a modem's start to the first byte: both ends' carriers settle (the
// spandsp peer takes bytes from 800 ms after its connection).
constexpr std::uint64_t kSettleMs = 1500;

class HandshakeLine : public LineCallRig {
 protected:
  // Whether machine `m` runs V.22 or V.22bis; the time it was asked at.
  bool V22StartedOn(std::size_t m, std::uint64_t* now_us = nullptr) {
    bool started = false;
    OnKernelThread(*kernels_[m], [&] {
      started = TestControllerOf(*kernels_[m]).Context()->rx.table.data() == V22RxSeqTable().data();
      if (now_us != nullptr) *now_us = GetTimeUs();
    });
    return started;
  }
};

// Against spandsp answerers preceded by their answer tone: our caller's
// modem start, and data both ways through the framers.
struct PeerCase {
  const char* name;
  peers::DataModem modem;
  int mode;
  int fsk_type;
};

const PeerCase kPeerCases[] = {
    {"V21", peers::DataModem::kV21, 2, kFskV21Data},
    {"Bell103", peers::DataModem::kBell103, 0, kFskBell103Originate},
};

void PrintTo(const PeerCase& c, std::ostream* out) { *out << c.name; }

class ModeSelectionCallerOnTheLine : public HandshakeLine,
                                     public ::testing::WithParamInterface<PeerCase> {};

TEST_P(ModeSelectionCallerOnTheLine, CallsTheSpandspAnswererAndCarriesDataBothWays) {
  const PeerCase& c = GetParam();
  pl::Line& line = MakeLine(30, 3);
  const auto ours = RandomBytes(40, 5);
  const auto theirs = RandomBytes(40, 6);
  peers::DataPeer peer(line, pl::Side::kB,
                       {.modem = c.modem,
                        .start = {.rings = 0},
                        .answer_silence_ms = 500,
                        .tx_dbm0 = kTransmitLevel,
                        .script = peers::ByteScript().Send(theirs).Expect(ours, 12'000)});
  StartCalls({{c.mode, 1}});
  ASSERT_TRUE(RunUntilModems(8000)) << peer.report().failure;
  EXPECT_EQ(FskStartOf(0), c.fsk_type);
  sim.RunFor(kSettleMs * kMillisecond);
  Send(0, ours);
  for (int t = 0; t < 100 && !(peer.done() && Received(0).size() >= theirs.size()); ++t) {
    sim.RunFor(100 * kMillisecond);
  }
  EXPECT_TRUE(peer.done()) << peer.report().failure << peer.script().failure();
  EXPECT_EQ(Received(0), theirs);
  EXPECT_EQ(Status(0) & kStatusCodeMask, kStatusConnected);
}

INSTANTIATE_TEST_SUITE_P(Peers, ModeSelectionCallerOnTheLine, ::testing::ValuesIn(kPeerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The automode answerer on a machine, the line silent: V.22bis after its
// 2.7 s tone and 70 ms of silence, found to the millisecond.
TEST_F(HandshakeLine, AutomodeAnswererStartsItsModemWhenItsToneAndSilenceEnd) {
  MakeLine(100, 9);
  const std::uint64_t start_us = StartCalls({{12, 0, 1}});
  sim.RunFor(2700 * kMillisecond);
  ASSERT_FALSE(V22StartedOn(0)) << "during the answer tone";
  std::uint64_t now_us = 0;
  for (int ms = 0; ms < 200 && !V22StartedOn(0, &now_us); ++ms) sim.RunFor(kMillisecond);
  ASSERT_TRUE(V22StartedOn(0));
  const auto after_ms = static_cast<double>(now_us - start_us) / 1000.0;
  EXPECT_NEAR(after_ms, 2700 + 70, 15);
}

// Our caller against our answerer, selector 0: each starts the modem of the
// mode, and bytes cross both ways. The line loses 6 dB each way, delays
// 12 ms and echoes 20 dB down; the table runs each mode at falling SNRs and
// prints what connected and what crossed. At 6 dB and above every call
// must connect and carry its bytes without an error.
struct LoopCase {
  const char* name;
  int mode;
  int caller_type;
  int answerer_type;
  std::size_t caller_bytes;  // the V.23 caller sends on the 75 bit/s channel
  std::size_t answerer_bytes;
};

const LoopCase kLoopCases[] = {
    {"Bell103", 0, kFskBell103Originate, kFskBell103Answer, 20, 20},
    {"V21", 2, kFskV21Data, kFskV21Data, 20, 20},
    {"V23", 4, kFskV23SendBackward, kFskV23SendForward, 4, 60},
};

class HandshakeLoopback : public HandshakeLine,
                          public ::testing::WithParamInterface<std::tuple<LoopCase, double>> {};

TEST_P(HandshakeLoopback, OurCallerAndAnswererConnectAndCarryData) {
  const auto& [c, snr] = GetParam();
  MakeLine(snr, 17);
  AddSecondMachine();
  const std::vector<std::uint8_t> sent[2] = {RandomBytes(c.caller_bytes, 1),
                                             RandomBytes(c.answerer_bytes, 2)};
  StartCalls({{c.mode, 1}, {c.mode, 0}});
  const bool connected = RunUntilModems(6000);
  const bool right_modems = FskStartOf(0) == c.caller_type && FskStartOf(1) == c.answerer_type;
  std::size_t errors = 0;
  if (connected) {
    sim.RunFor(kSettleMs * kMillisecond);
    Send(0, sent[0]);
    Send(1, sent[1]);
    sim.RunFor(1200 * kMillisecond);
    errors = BitErrors(sent[0], Received(1)) + BitErrors(sent[1], Received(0));
  }
  const bool success = connected && right_modems && errors == 0;
  std::printf("%-8s %4.0f dB SNR: %s (FSK types %d and %d), %zu bit errors\n", c.name, snr,
              success     ? "connected, data intact"
              : connected ? "connected"
                          : "no modem",
              FskStartOf(0), FskStartOf(1), errors);
  if (snr >= 6) {
    EXPECT_TRUE(connected);
    EXPECT_EQ(FskStartOf(0), c.caller_type);
    EXPECT_EQ(FskStartOf(1), c.answerer_type);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(Status(0) & kStatusCodeMask, kStatusConnected);
    EXPECT_EQ(Status(1) & kStatusCodeMask, kStatusConnected);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, HandshakeLoopback,
                         ::testing::Combine(::testing::ValuesIn(kLoopCases),
                                            ::testing::Values(20.0, 6.0, 0.0)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(static_cast<int>(std::get<1>(info.param))) + "dB";
                         });

}  // namespace
}  // namespace pump::testing
