// The line voltage and the line-status evaluation built on it.
#include <gtest/gtest.h>

#include <vector>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/tests/afe_rig.h"

namespace afe::testing {
namespace {

class AfeLine : public AfeRig {};

TEST_F(AfeLine, VoltageTable) {
  struct Case {
    bool line_on;
    UCHAR reading;  // register 60 bits 0-4
    bool invalid;   // register 67 bit 0
    USHORT volts;
  };
  const Case cases[] = {
      {false, 20, false, 141}, {true, 31, false, 141}, {true, 20, false, 66}, {true, 0, false, 0},
      {true, 1, false, 3},     {true, 30, false, 99},  {true, 20, true, 141},
  };
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "on " << c.line_on << ", reading " << int{c.reading}
                                        << ", invalid " << c.invalid);
      machine().controller().Knobs().ForceByte(regs::kCodecReadings, c.reading,
                                               regs::kVoltageMask & ~c.reading);
      machine().controller().Knobs().ForceByte(regs::kLineFlags, c.invalid ? 1 : 0, 0);
      Locked(afe, [&](AfeContext& context) {
        c.line_on ? LineOn(context) : LineOff(context);
        EXPECT_EQ(MeasureLineVoltage(context), c.volts);
        EXPECT_EQ(context.State->LastVoltage, c.volts);
      });
    }
  });
}

// Line status: the evaluation that sees a voltage change starts a stable
// count at 0; the reference is taken when the count reaches 250, and a
// later voltage is compared with it when its count reaches 50: more than 4
// above gives 1, more than 4 below gives 3, else 2, and 0 forgets the
// reference. The evaluation runs with the line on and no DMA running, so
// only the test evaluates.
TEST_F(AfeLine, StatusSequences) {
  struct Case {
    SHORT then;
    ULONG result;  // of the 52nd evaluation of `then`: the change, then 50 stable ones
    SHORT reference_after;
  };
  constexpr SHORT kReference = 50;
  const Case cases[] = {
      {54, 2, 54}, {46, 2, 46}, {55, 1, 55}, {45, 3, 45}, {0, 2, 0},
  };
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    AfeContext& context = *afe.Context;
    AfeState& state = *context.State;
    Locked(afe, [](AfeContext& c) { LineOn(c); });
    auto hold = [&](SHORT volts, int evaluations) {
      std::vector<ULONG> results;
      state.LastVoltage = volts;
      for (int i = 0; i < evaluations; ++i) results.push_back(EvaluateLineStatus(context));
      return results;
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.then);
      hold(1, 1);  // a change: the count starts over
      state.ReferenceVoltage = 0;
      state.LineStatus = kLineStatusSteady;
      hold(kReference, 251);
      EXPECT_EQ(state.ReferenceVoltage, 0) << "not before a stable count of 250";
      hold(kReference, 1);
      EXPECT_EQ(state.ReferenceVoltage, kReference);
      const std::vector<ULONG> results = hold(c.then, 60);
      for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(results[i], i == 51 ? c.result : kLineStatusSteady) << "evaluation " << i;
      }
      EXPECT_EQ(state.ReferenceVoltage, c.reference_after);
      EXPECT_EQ(state.LineStatus, c.result);
    }
    // With the line off the voltage counts as 0, whatever was measured.
    hold(70, 260);
    Locked(afe, [](AfeContext& c) { LineOff(c); });
    state.LastVoltage = 70;
    EXPECT_EQ(EvaluateLineStatus(context), kLineStatusSteady);
    EXPECT_EQ(Globals().PreviousVoltage, 0);
  });
}

}  // namespace
}  // namespace afe::testing
