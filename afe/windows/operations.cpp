// The plain operations behind the numbered requests (see afe_operations.h).
#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"

namespace afe {
namespace {

constexpr UCHAR kSpeakerLevels[] = {32, 63, 127};

}  // namespace

void LineOn(AfeContext& context) {
  AfeState& state = *context.State;
  if (state.TestModeActive == 0) state.OffHookCounter = 1;
  ClearRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookPulse);
  SetRegisterBits(state, regs::kHook, regs::kLineOn);
}

void LineOff(AfeContext& context) {
  AfeState& state = *context.State;
  state.OffHookCounter = 0;
  ClearRegisterBits(state, regs::kHook, regs::kLineOn);
}

void ScheduleRateChange(AfeContext& context, ULONG value) {
  AfeState& state = *context.State;
  state.ScheduledRate = value;
  state.ScheduledBlock = context.Latency + context.BlockCounter - 1;
  state.RateChangePending = 1;
}

void SetSpeakerLevel(AfeContext& context, ULONG level) {
  const AfeState& state = *context.State;
  UCHAR value = 0;
  if (level >= 1 && level <= 3) {
    value = kSpeakerLevels[level - 1];
  } else {
    ClearRegisterBits(state, regs::kCodecPaths, regs::kSpeakerMuteA);
    SetRegisterBits(state, regs::kCodecPaths, regs::kSpeakerMuteB);
  }
  WriteRegister(state, regs::kSpeakerLevelA, value);
  WriteRegister(state, regs::kSpeakerLevelB, value);
  SetRegisterBits(state, regs::kCodecPaths, regs::kSpeakerOn);
}

void SetLatency(AfeContext& context, UCHAR value) {
  context.Latency = static_cast<UCHAR>(value + 1);
}

LONG BlockReady(const AfeContext& context) {
  return context.RxWriteCursor != static_cast<UCHAR>(context.RxReadCursor) ? kAfeBlockWaiting
                                                                           : kAfeOk;
}

void PowerUp(AfeContext& context) {
  context.BlockCounter = 0;
  AfeInit(&context);
  AfeStartDma(&context);
}

}  // namespace afe
