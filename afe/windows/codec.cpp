// The codec side of the controller: register access, the controller's
// initialisation and sample-rate changes.
#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"
#include "platform/hal/hal_calls.h"
#include "platform/ke/interrupt.h"

namespace afe {
namespace {

constexpr ULONG kBusyPolls = 50000;  // every 10 us: half a second
constexpr ULONG kReadyPolls = 1000;  // every 10 us: 10 ms
constexpr ULONG kPollMicroseconds = 10;
constexpr ULONG kTakenAs10286 = 10287;

volatile UCHAR* At(const AfeState& state, ULONG reg) { return state.Registers + reg; }

}  // namespace

UCHAR ReadRegister(const AfeState& state, ULONG reg) {
  if (reg > regs::kHighestByteRegister) return 0;
  return READ_REGISTER_UCHAR(At(state, reg));
}

void WriteRegister(const AfeState& state, ULONG reg, UCHAR value) {
  if (reg > regs::kHighestByteRegister) return;
  WRITE_REGISTER_UCHAR(At(state, reg), value);
}

void SetRegisterBits(const AfeState& state, ULONG reg, UCHAR bits) {
  WriteRegister(state, reg, static_cast<UCHAR>(ReadRegister(state, reg) | bits));
}

void ClearRegisterBits(const AfeState& state, ULONG reg, UCHAR bits) {
  WriteRegister(state, reg, static_cast<UCHAR>(ReadRegister(state, reg) & ~bits));
}

ULONG ReadRegister32(const AfeState& state, ULONG reg) {
  return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(At(state, reg)));
}

void WriteRegister32(const AfeState& state, ULONG reg, ULONG value) {
  WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(At(state, reg)), value);
}

AfeRateCode ChooseRate(ULONG hz) {
  if (hz == kTakenAs10286) --hz;
  for (const AfeRateCode& rate : kAfeRateCodes) {
    if (rate.hz == hz) return {rate.hz, rate.code};
  }
  return ChooseRate(kAfeFallbackRate);
}

USHORT ClampBlockSamples(ULONG samples) {
  if (samples < kMinBlockSamples) return kMinBlockSamples;
  if (samples > kMaxBlockSamples) return kMaxBlockSamples;
  return static_cast<USHORT>(samples);
}

UCHAR LevelCode(SHORT step) {
  const int magnitude = step < 0 ? -step : step;
  return magnitude > 12 ? UCHAR{8} : static_cast<UCHAR>(magnitude / 3);
}

void WriteLineLevels(const AfeState& state) {
  WriteRegister(state, regs::kLineLevels,
                static_cast<UCHAR>(LevelCode(state.Attenuation) << 4 | LevelCode(state.Gain)));
}

bool SetSampleRate(AfeContext& context, ULONG value) {
  AfeState& state = *context.State;
  const USHORT samples = ClampBlockSamples(value >> 16);
  const AfeRateCode rate = ChooseRate(value & 0xFFFF);
  if (samples == context.SamplesPerBlock && rate.hz == context.SampleRate) return true;
  const bool restart = samples != context.SamplesPerBlock && context.DmaRunning != 0;
  if (restart) AfeStopDma(&context);

  WriteRegister(state, regs::kRateCode, rate.code);
  context.SampleRate = rate.hz;
  context.SamplesPerBlock = samples;
  ClearRegisterBits(state, regs::kDigitalPaths, regs::kDigitalLoopback);
  for (ULONG poll = 0; poll < kReadyPolls; ++poll) {
    if (ReadRegister(state, regs::kCodecReadings) & regs::kCodecReady) {
      if (restart) AfeStartDma(&context);
      return true;
    }
    KeStallExecutionProcessor(kPollMicroseconds);
  }
  return false;
}

ULONG AfeInit(AfeContext* context) {
  AfeState& state = *context->State;
  SetRegisterBits(state, regs::kCodecReset, 0x01);
  bool idle = false;
  for (ULONG poll = 0; poll < kBusyPolls && !idle; ++poll) {
    idle = (ReadRegister(state, regs::kBusy) & regs::kBusyBit) == 0;
    if (!idle) KeStallExecutionProcessor(kPollMicroseconds);
  }
  if (idle) {
    const ULONG current = ULONG{context->SamplesPerBlock} << 16 | context->SampleRate;
    context->SampleRate = 0;
    SetSampleRate(*context, current);
  }

  SetRegisterBits(state, regs::kCodecPaths, regs::kPathsInit);
  ClearRegisterBits(state, regs::kOffHookOutputs,
                    regs::kOffHookBit5 | regs::kOffHookBit6 | regs::kOffHookBit7);
  ClearRegisterBits(state, regs::kTestPaths, regs::kTestPathBit5);

  SetSpeakerLevel(*context, 0);
  WriteLineLevels(state);
  state.TestMode = 0;
  LineOff(*context);

  ClearRegisterBits(state, regs::kCodecPaths, regs::kTestLoop);
  ClearRegisterBits(state, regs::kCodecControl, regs::kTestMode4);
  SetRegisterBits(state, regs::kCodecControl, regs::kControlInit | regs::kControlTick);

  state.TestModeActive = 0;
  state.LineMonitor = 1;
  state.OffHookCounter = 0;
  state.ReferenceVoltage = 0;
  state.LineStatus = kLineStatusSteady;
  state.LastVoltage = 0;
  state.TxDmaPeriod = state.RxDmaPeriod = 0;
  state.FreeRunningPeriods[0] = state.FreeRunningPeriods[1] = 0;
  state.ScheduledBlock = 0;
  state.RateChangePending = 0;
  ResetRing(*context, kDmaPeriods - 1, kDmaPeriods - 1);
  // A controller that never leaves its reset serves no blocks: say so
  // rather than let the start hand out an interface to it.
  return idle ? 1 : 0;
}

}  // namespace afe
