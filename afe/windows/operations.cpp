// The plain operations behind the numbered requests (see afe_operations.h).
#include <algorithm>
#include <iterator>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"

namespace afe {
namespace {

constexpr UCHAR kSpeakerLevels[] = {32, 63, 127};

// A gain request up to `most` dB gives `step`; above the last row, muted.
struct LevelStepRow {
  int most;
  SHORT step;
};
constexpr LevelStepRow kGainSteps[] = {{1, 0}, {4, 3}, {7, 6}, {10, 9}, {13, 12}};
constexpr SHORT kMutedStep = 100;

// Byte 0x85 of configuration space: the power-management control's upper
// byte, whose bits 0 and 7 the power-down sets.
constexpr ULONG kPowerControlByte = 0x85;
constexpr UCHAR kPowerDownRequest = 0x81;

constexpr ULONG kSoundMuteBlocks = 78;
constexpr USHORT kHighestRate = 16000;
constexpr USHORT kLineLowThreshold = 9;
constexpr USHORT kLineHighThresholdSensed = 61;
constexpr USHORT kLineHighThreshold = 121;
constexpr USHORT kHighCountLimit = 30;
constexpr ULONG kFirstTable[] = {256, 0, 8, 12, 16, 20, 24, 28, 32, 36, 40};
constexpr ULONG kSecondTable[] = {48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92, 96, 100};

constexpr ULONG kLineMonitorLocked = 50;  // off-hook services after which request 44 is ignored

SHORT StepFor(int db) {
  for (const LevelStepRow& row : kGainSteps) {
    if (db <= row.most) return row.step;
  }
  return kMutedStep;
}

// Power states 1 and 2: the codec's power-down bits, and the controller's
// own through its saved configuration space.
void PowerDown(AfeContext& context) {
  AfeState& state = *context.State;
  SetRegisterBits(state, regs::kPowerDownB, regs::kPowerBit);
  state.SavedConfig[kPowerControlByte] |= kPowerDownRequest;
  context.ConfigAccess(context.Owner, 1, state.SavedConfig, 0, kSavedConfigBytes);
  ClearRegisterBits(state, regs::kCodecStatus, regs::kPowerBit);
  SetRegisterBits(state, regs::kPowerDownA, regs::kPowerBit);
}

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
  state.ScheduledBlock = BlocksAfter(context.BlockCounter, context.Latency - 1u);
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

SHORT GainStep(SHORT db) { return StepFor(db); }

// Attenuation mirrors gain: -2 dB attenuates as 2 dB would amplify.
SHORT AttenuationStep(SHORT db) { return static_cast<SHORT>(-StepFor(-int{db})); }

void SetAttenuation(AfeContext& context, SHORT db) {
  context.State->Attenuation = AttenuationStep(db);
  WriteLineLevels(*context.State);
}

void SetGain(AfeContext& context, SHORT db) {
  context.State->Gain = GainStep(db);
  WriteLineLevels(*context.State);
}

LONG SetTestMode(AfeContext& context, ULONG mode) {
  AfeState& state = *context.State;
  if (mode > 4) return kAfeRefused;
  if (mode == state.TestMode) return kAfeOk;
  if (state.TestModeActive != 0) LineOff(context);
  AfeInit(&context);
  state.TestMode = mode;
  switch (mode) {
    case 1:
      SetRegisterBits(state, regs::kDigitalPaths, regs::kDigitalLoopback);
      break;
    case 2:
      state.TestModeActive = 1;
      SetRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookBit5);
      SetRegisterBits(state, regs::kTestPaths, regs::kTestPathBit5);
      ClearRegisterBits(state, regs::kOffHookOutputs, regs::kOffHookBit6);
      LineOn(context);
      SetRegisterBits(state, regs::kCodecPaths, regs::kTestLoop);
      break;
    case 3:
      state.TestModeActive = 1;
      LineOn(context);
      SetRegisterBits(state, regs::kCodecPaths, regs::kTestLoop);
      break;
    case 4:
      state.TestModeActive = 1;
      LineOn(context);
      SetRegisterBits(state, regs::kCodecControl, regs::kTestMode4);
      break;
    default:  // 0: the initialisation alone
      break;
  }
  return kAfeOk;
}

LONG SetPowerState(AfeContext& context, ULONG state) {
  if (state > 3) return kAfeRefused;
  if (static_cast<LONG>(state) == context.PowerState) return kAfeOk;
  if (state == 0) {
    PowerUp(context);
  } else {
    AfeStopDma(&context);
    LineOff(context);
    if (state != 3) PowerDown(context);
  }
  context.PowerState = static_cast<LONG>(state);
  return kAfeOk;
}

void PowerUp(AfeContext& context) {
  context.BlockCounter = 0;
  AfeInit(&context);
  RunPowerOnSelfTests(context);
  AfeStartDma(&context);
}

void FillAfeInfo(const AfeContext& context, AfeInfo& info) {
  info = {};
  info.SoundMuteBlocks = kSoundMuteBlocks;
  info.VendorId = context.VendorId;
  info.DeviceId = context.DeviceId;
  info.LatencyLessOne = static_cast<USHORT>(context.Latency - 1);
  info.One = 1;
  std::copy(std::begin(kFirstTable), std::end(kFirstTable), info.FirstTable);
  std::copy(std::begin(kSecondTable), std::end(kSecondTable), info.SecondTable);
  info.ControllerKind = context.ControllerKind;
  info.Constant28 = 28;
  info.HighestRate = kHighestRate;
  info.LineLowThreshold = kLineLowThreshold;
  const bool sensed = (ReadRegister(*context.State, regs::kLineSense) & regs::kLowThresholdLine) ==
                      regs::kLowThresholdLine;
  info.LineHighThreshold = sensed ? kLineHighThresholdSensed : kLineHighThreshold;
  info.Constant9 = 9;
  info.Constant1 = 1;
  info.HighCountLimit = kHighCountLimit;
}

void SetLineMonitor(AfeContext& context, ULONG enable) {
  AfeState& state = *context.State;
  if (state.OffHookCounter > kLineMonitorLocked) return;
  state.LineMonitor = enable;
  if (enable == 0) state.OffHookCounter = 0;
}

}  // namespace afe
