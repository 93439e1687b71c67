#include <gtest/gtest.h>

#include <cstdint>

#include "pump/core/dp_status.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;

struct LossCase {
  std::int32_t mantissa;
  std::int32_t exponent;
  bool lost;
};

TEST(CheckSignalLoss, ReturnsToIdleAbove1700000AndNeverWraps) {
  const LossCase cases[] = {
      {1'700'000, 0, false}, {1'700'001, 0, true},  {850'000, 1, false},
      {850'001, 1, true},    {1'700'001, -3, true},  // a negative exponent counts as 0
      {1, 40, true},                                 // 2^40 does not wrap to a small value
      {-5, 40, false},       {0, 31, false},
  };
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    for (const LossCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.mantissa << " << " << c.exponent);
      context.mode_block = [](DspContext&) {};
      SetDpStatus(harness.Host(), kStatusConnected, false);
      SetDpStatus(harness.Host(), kStatusCarrier, true);
      const int interrupts = harness.Controller().Interrupts();
      EXPECT_EQ(CheckSignalLoss(context, c.mantissa, c.exponent), c.lost);
      EXPECT_EQ(context.mode_block == &DefaultBlock, c.lost);
      EXPECT_EQ(harness.Host().comram.reg[kRegStatus] & (kStatusCodeMask | kStatusCarrier),
                c.lost ? 0 : kStatusConnected | kStatusCarrier);
      EXPECT_EQ(harness.Controller().Interrupts(), interrupts + (c.lost ? 1 : 0));
    }
  });
}

}  // namespace
}  // namespace pump
