// The exchange rings our line. On hook the line monitor has stopped the line
// interface; call progress in mode 0 with the cadence report watches the
// line (asked for when idle, or before the hang-up's on-hook pattern): the
// on-hook front end passes the ringing voltage (20 Hz) to the receive
// blocks, and the burst-cadence detector reports each ring's start and end
// with a time stamp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/exchange/exchange.h"
#include "platform/line/exchange/signals.h"
#include "platform/line/line.h"
#include "pump/callprogress/tests/cadence_reports.h"
#include "pump/core/comram.h"
#include "pump/tests/support/called_machine_rig.h"

namespace pump::testing {
namespace {

namespace ex = plat::line::exchange;
namespace pl = plat::line;
using cp_test::Reports;
using cp_test::StampDifference;

using plat::hal::kMillisecond;
constexpr double kBlockMs = 10.0;

struct RingCase {
  const char* name;
  std::vector<std::uint32_t> ring_ms;  // the plan's cadence: on, off, ...
  int watch_ms;                        // from the caller's off hook
  // Our machine had the line and hangs up as the controller does: 0x65
  // {0, 1} first, the on-hook pattern at its next pass.
  bool after_a_call;
};

void PrintTo(const RingCase& c, std::ostream* out) { *out << c.name; }

class RingCadence : public CalledMachineRig, public ::testing::WithParamInterface<RingCase> {
 protected:
  void SetUp() override {
    config_.plan.ring_ms = GetParam().ring_ms;
    BuildAndBoot({});
    OnKernelThread([&] {
      TheController().Double().WritePowerState(0xD0);
      TheController().Double().Exchange(0x60, {0});
    });
    sim.RunFor(100 * kMillisecond);
    if (GetParam().after_a_call) {
      SetOnHook(false);
      sim.RunFor(300 * kMillisecond);
      OnKernelThread([&] { TheController().Double().Exchange(0x65, {0, 1}); });
      sim.RunFor(10 * kMillisecond);
      SetOnHook(true);
      // The exchange takes a break longer than a flash for a hang-up.
      CallUs(pl::LineSamplesInMs(1500));
    } else {
      OnKernelThread([&] { TheController().Double().Exchange(0x65, {0, 1}); });
      CallUs();
    }
  }
};

// Each ring's start (count 0) and end (count: the ring cycles) are reported;
// the stamps differ by the ring and silence lengths of the exchange's log
// within a block, and the count over the ring's length is the 20 Hz of the
// ringing voltage.
TEST_P(RingCadence, StampsFollowTheExchangesRings) {
  const RingCase& c = GetParam();
  sim.RunFor(static_cast<std::uint64_t>(c.watch_ms) * kMillisecond);
  std::vector<cp_test::Progress> reports;
  OnKernelThread([&] { reports = Reports(TheController().Double().TakePackets()); });
  const auto& log = built_.exchange->log();
  const auto rings = log.Of(0, ex::EventKind::kRing);
  // The last edge may still be on its way through the receive path.
  ASSERT_GE(reports.size() + 1, rings.size()) << log.Text();
  ASSERT_LE(reports.size(), rings.size()) << log.Text();
  ASSERT_GE(reports.size(), c.ring_ms.size() + 1) << "at least a cycle";
  for (std::size_t i = 0; i < reports.size(); ++i) {
    SCOPED_TRACE("report " + std::to_string(i));
    EXPECT_EQ(reports[i].kind, kCallProgressBurstCadence);
    EXPECT_EQ(rings[i].detail, i % 2 == 0 ? "on" : "off");
    if (i % 2 == 0) {
      EXPECT_EQ(reports[i].count, 0);
    }
    if (i == 0) continue;
    const int stamps = StampDifference(reports[i - 1].stamp, reports[i].stamp);
    const double logged = static_cast<double>(rings[i].at - rings[i - 1].at) / kMillisecond;
    EXPECT_NEAR(stamps, logged, kBlockMs);
    if (i % 2 == 1) {
      EXPECT_NEAR(reports[i].count * 1000.0 / stamps, 20.0, 0.5);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, RingCadence,
                         ::testing::Values(RingCase{"Us", {2000, 4000}, 14000, false},
                                           RingCase{
                                               "UkDoubleRing", {400, 200, 400, 2000}, 7000, false},
                                           RingCase{"UsAfterAHangUp", {2000, 4000}, 10000, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::testing
