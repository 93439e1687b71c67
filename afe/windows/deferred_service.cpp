// What the front end does once per block at DISPATCH_LEVEL: a scheduled
// rate change, the off-hook sequence and the line-status evaluation; and
// the interrupt and deferred-call routines that drive the block rhythm.
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"
#include "platform/ke/kernel.h"

namespace afe {
namespace {

constexpr ULONG kPulseOn = 5;
constexpr ULONG kPulseOff = 26;
constexpr ULONG kSequenceBit5 = 50;
constexpr ULONG kSequenceBit6 = 51;
constexpr ULONG kSequenceEnd = 78;

}  // namespace

void StepOffHookSequence(AfeState& state) {
  if (state.LineMonitor != 0 && state.OffHookCounter != 0) {
    ++state.OffHookCounter;
    ClearRegisterBits(state, regs::kTestPaths, regs::kTestPathBit5);
    ClearRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookBit7);
    if (state.OffHookCounter == kSequenceBit5) {
      SetRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookBit5);
    } else if (state.OffHookCounter == kSequenceBit6) {
      SetRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookBit6);
    } else if (state.OffHookCounter == kSequenceEnd) {
      ClearRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookBit6 | regs::kOffHookBit5);
      state.OffHookCounter = 0;
    }
  }
  if (state.OffHookCounter == kPulseOn) {
    SetRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookPulse);
  } else if (state.OffHookCounter == kPulseOff) {
    ClearRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookPulse);
  }
}

ULONG AfeDeferredService(AfeContext* context) {
  AfeState& state = *context->State;
  if (state.RateChangePending != 0 && BlocksBetween(state.ScheduledBlock, context->BlockCounter) >= 0) {
    state.RateChangePending = 0;
    SetSampleRate(*context, state.ScheduledRate);
  }
  for (UCHAR& counter : state.FreeRunningPeriods) {
    counter = static_cast<UCHAR>((counter + 1) % kDmaPeriods);
  }
  StepOffHookSequence(state);
  SetRegisterBits(state, regs::kCodecControl, regs::kControlTick);
  return EvaluateLineStatus(*context);
}

BOOLEAN AfeIsr(PKINTERRUPT, PVOID service_context) {
  AfeDeviceExtension& extension = *static_cast<AfeDeviceExtension*>(service_context);
  AfeInterface& table = extension.Interface;
  const LONG counter = table.Context->BlockCounter;
  if (table.AfeInterruptService(table.Context) == 0) return FALSE;
  if (table.Context->BlockCounter != counter && extension.DiagnosticOwner == 0) {
    IoRequestDpc(extension.DeviceObject, nullptr, nullptr);
  }
  return TRUE;
}

void AfeDpc(PKDPC, PDEVICE_OBJECT device, PIRP, PVOID) {
  AfeDeviceExtension& extension = *AfeExtension(device);
  AfeInterface& table = extension.Interface;
  AfeEventBlock* events = extension.EventBlock;
  ULONG* flags = events != nullptr ? events->ProfileFlags : nullptr;
  const ULONG before = flags != nullptr ? *flags : 0;
  table.AfeDeferredService(table.Context);
  if (flags != nullptr && table.Context->BlockBalance >= 0) *flags = before | kProfileBlocksQueued;
  if (events != nullptr) KeSetEvent(&events->PerBlockEvent, 0, FALSE);
  if (extension.ClientBlockEvent != nullptr) KeSetEvent(extension.ClientBlockEvent, 0, FALSE);
}

}  // namespace afe
