// Our V.22bis modem against spandsp's on a simulated line: one machine
// (vxafe, vxdsp and the test controller) and spandsp's data peer, in both
// roles at 2400 and 1200 bit/s. A spandsp answerer sends its answer tone
// first, as in a real call. Bytes cross both ways through our framer and
// spandsp's async framing, with no stray byte where training turns to
// data.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/line.h"
#include "platform/line/peers/data_peer.h"
#include "pump/core/comram.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/line_call_rig.h"

namespace pump::testing {
namespace {

namespace pl = plat::line;
namespace peers = plat::line::peers;
using fsk_testing::BitErrors;
using fsk_testing::RandomBytes;

constexpr std::uint64_t kInteropMs = plat::hal::kMillisecond;

struct V22InteropCase {
  const char* name;
  int our_direction;  // 1: we call
  int mode;           // ours: 7 V.22bis, 6 V.22
  int spandsp_rate;   // bit/s
  std::int32_t bits_per_symbol;
};

class V22Interop : public LineCallRig, public ::testing::WithParamInterface<V22InteropCase> {};

TEST_P(V22Interop, ConnectsWithSpandspAndCarriesBytesBothWays) {
  const V22InteropCase& c = GetParam();
  pl::Line& line = MakeLine(30, 21);
  const auto ours = RandomBytes(40, 5);
  const auto theirs = RandomBytes(40, 6);
  peers::CallStart start{.rings = 0};
  if (c.our_direction == 0) start.role = peers::CallStart::Role::kOriginate;
  peers::DataPeer peer(line, pl::Side::kB,
                       {.modem = peers::DataModem::kV22bis,
                        .bit_rate = c.spandsp_rate,
                        .start = start,
                        .answer_silence_ms = 500,
                        .tx_dbm0 = kTransmitLevel,
                        .script = peers::ByteScript().Send(theirs).Expect(ours, 12'000)});
  StartCalls({{c.mode, c.our_direction}});
  bool connected = false;
  for (int t = 0; t < 120 && !connected; ++t) {
    sim.RunFor(100 * kInteropMs);
    connected = (Status(0) & ~kStatusTxEmpty) == (kStatusConnected | kStatusCarrier);
  }
  ASSERT_TRUE(connected) << "status " << int{Status(0)} << "; spandsp: " << peer.report().failure;
  // spandsp takes bytes from 800 ms after its own connection, which may
  // come after ours.
  for (int t = 0; t < 20 && peer.report().connected_at == 0; ++t) sim.RunFor(100 * kInteropMs);
  ASSERT_NE(peer.report().connected_at, 0u) << peer.report().failure;
  std::int32_t bits = 0;
  OnKernelThread(*kernels_[0],
                 [&] { bits = TestControllerOf(*kernels_[0]).Context()->v22.rx.bits_per_symbol; });
  EXPECT_EQ(bits, c.bits_per_symbol);
  sim.RunFor(800 * kInteropMs);
  Send(0, ours);
  for (int t = 0; t < 60 && !(peer.done() && Received(0).size() >= theirs.size()); ++t) {
    sim.RunFor(100 * kInteropMs);
  }
  EXPECT_TRUE(peer.done()) << peer.report().failure << peer.script().failure();
  const std::vector<std::uint8_t> got = Received(0);
  ASSERT_GE(got.size(), theirs.size());
  EXPECT_EQ(got.size(), theirs.size()) << "stray bytes";
  EXPECT_EQ(BitErrors(theirs, std::span(got).last(theirs.size())), 0u);
}

const V22InteropCase kInteropCases[] = {
    {"WeCall2400", 1, 7, 2400, 4},
    {"WeCall1200", 1, 6, 1200, 2},
    {"WeCallBis1200", 1, 7, 1200, 2},
    {"WeAnswer2400", 0, 7, 2400, 4},
    {"WeAnswer1200", 0, 6, 1200, 2},
    {"WeAnswerBis1200", 0, 7, 1200, 2},
};

INSTANTIATE_TEST_SUITE_P(Spandsp, V22Interop, ::testing::ValuesIn(kInteropCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::testing
