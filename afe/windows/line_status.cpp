// The line voltage and the line status the deferred service derives from it.
#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"

namespace afe {
namespace {

constexpr USHORT kNoVoltage = 141;
constexpr ULONG kStableForComparison = 50;
constexpr ULONG kStableForReference = 250;
constexpr int kTolerance = 4;

bool LineIsOn(const AfeState& state) {
  return (ReadRegister(state, regs::kHook) & regs::kLineOn) != 0;
}

}  // namespace

USHORT MeasureLineVoltage(AfeContext& context) {
  AfeState& state = *context.State;
  const UCHAR reading = ReadRegister(state, regs::kCodecReadings) & regs::kVoltageMask;
  USHORT voltage = 0;
  if (!LineIsOn(state) || reading == regs::kNoVoltageReading ||
      (ReadRegister(state, regs::kLineFlags) & regs::kVoltageInvalid) != 0) {
    voltage = kNoVoltage;
  } else if (reading == 0) {
    ReadRegister(state, regs::kCodecStatus);  // read for the codec's sake; the value is not used
  } else {
    voltage = static_cast<USHORT>(reading * 33 / 10);
  }
  state.LastVoltage = static_cast<SHORT>(voltage);
  return voltage;
}

ULONG EvaluateLineStatus(AfeContext& context) {
  AfeState& state = *context.State;
  AfeGlobals& globals = Globals();
  const SHORT v = LineIsOn(state) ? state.LastVoltage : SHORT{0};
  ULONG result = kLineStatusSteady;
  if (v != globals.PreviousVoltage) {
    globals.StableCount = 0;
  } else {
    if (globals.StableCount == kStableForReference && state.ReferenceVoltage == 0) {
      state.ReferenceVoltage = v;
    }
    if (globals.StableCount == kStableForComparison && state.ReferenceVoltage != 0) {
      if (v != 0 && v > state.ReferenceVoltage + kTolerance) result = kLineStatusRising;
      if (v != 0 && v < state.ReferenceVoltage - kTolerance) result = kLineStatusFalling;
      state.ReferenceVoltage = v;
    }
    ++globals.StableCount;
  }
  globals.PreviousVoltage = v;
  if (result != kLineStatusSteady) state.LineStatus = result;
  return result;
}

}  // namespace afe
