// The front end's private state beside the shared AfeContext, the
// per-machine globals holding both, and the routines of the DMA ring, the
// codec and the deferred service that the AfeInterface entries are made of.
#pragma once

#include "afe/windows/afe_contract.h"
#include "afe/windows/afe_device.h"
#include "afe/windows/self_test_log.h"

namespace afe {

inline constexpr ULONG kSavedConfigBytes = 134;
inline constexpr ULONG kCommonBufferBytes = kDmaPeriods * kMaxBlockSamples * 4;  // 0x4500
inline constexpr ULONG kSlotBytes = kSlotSamples * sizeof(SHORT);                // 278
inline constexpr int kLineStatusRising = 1;
inline constexpr int kLineStatusSteady = 2;
inline constexpr int kLineStatusFalling = 3;
inline constexpr LONG kInitialPowerState = 4;
inline constexpr ULONG kInfoConstant = 6;

struct AfeState {
  AfeContext* Context;
  UCHAR SavedConfig[kSavedConfigBytes];
  volatile UCHAR* Registers;
  LARGE_INTEGER TransmitLogical;
  LARGE_INTEGER ReceiveLogical;
  PVOID TransmitVirtual;
  PVOID ReceiveVirtual;
  ULONG TestMode;  // 0 to 4
  ULONG LineStatus;
  ULONG ScheduledRate;  // samples << 16 | rate
  LONG ScheduledBlock;
  ULONG OffHookCounter;
  ULONG TestModeActive;
  ULONG LineMonitor;
  SHORT Attenuation;  // dB steps
  SHORT Gain;
  SHORT LastVoltage;
  SHORT ReferenceVoltage;
  UCHAR TxDmaPeriod;  // 0 to 31
  UCHAR RxDmaPeriod;
  UCHAR FreeRunningPeriods[2];
  // A scheduled rate change not yet applied: it lands once the block
  // counter reaches or passes the scheduled block, even when several
  // interrupts ran before one deferred service.
  UCHAR RateChangePending;
  // The self tests' logs, and the one the running tests write to.
  SelfTestLog PowerOnLog{kPowerOnLogRecords, SelfTestLog::WhenFull::kStops};
  SelfTestLog RequestLog{kRequestLogRecords, SelfTestLog::WhenFull::kDropsOldest};
  SelfTestLog* SelectedLog = &PowerOnLog;
};

// What the driver keeps per machine.
struct AfeGlobals {
  AfeContext Context{};
  AfeState State{};
  // The line-status evaluation's memory between deferred services.
  SHORT PreviousVoltage = 0;
  ULONG StableCount = 0;
  // DriverEntry's copy of the registry path until the device takes its own.
  UNICODE_STRING RegistryPath{};
};

AfeGlobals& Globals();

// ---- context (afe_context.cpp) ----
// Gives the context its fixed identity, owner and defaults, and tells the
// extension what the start must claim.
void InitAfeContext(AfeDeviceExtension& extension);
void ResetRing(AfeContext& context, UCHAR tx_period_cursor, UCHAR rx_period_cursor);

// ---- codec (codec.cpp) ----
UCHAR ReadRegister(const AfeState& state, ULONG reg);
void WriteRegister(const AfeState& state, ULONG reg, UCHAR value);
void SetRegisterBits(const AfeState& state, ULONG reg, UCHAR bits);
void ClearRegisterBits(const AfeState& state, ULONG reg, UCHAR bits);
ULONG ReadRegister32(const AfeState& state, ULONG reg);
void WriteRegister32(const AfeState& state, ULONG reg, ULONG value);

// The rate a request names as the codec runs it, with its register 55 code.
AfeRateCode ChooseRate(ULONG hz);
USHORT ClampBlockSamples(ULONG samples);
// value = samples per block << 16 | rate in Hz. False when the codec never
// became ready (the DMA then stays stopped).
bool SetSampleRate(AfeContext& context, ULONG value);
// The attenuation or gain code of register 63 for a step in dB.
UCHAR LevelCode(SHORT step);
// Register 63 from the state's attenuation and gain steps.
void WriteLineLevels(const AfeState& state);

// ---- interface entries ----
// 1; 0 when the controller never left its reset.
ULONG AfeInit(AfeContext* context);
ULONG AfeReadBlock(AfeContext* context, PVOID buffer, ULONG bytes);
ULONG AfeWriteBlock(AfeContext* context, PVOID buffer, ULONG bytes);
LONG AfeRequest(AfeContext* context, ULONG code, PVOID argument, ULONG* size);
LONG SoundPathRequest(AfeContext* context, ULONG code, PVOID argument, ULONG* count);
ULONG AfeStartDma(AfeContext* context);
ULONG AfeStopDma(AfeContext* context);
void AfeSetResources(AfeContext* context, PVOID* memory_windows, PVOID* ports,
                     LARGE_INTEGER first_logical, PVOID first_virtual, LARGE_INTEGER second_logical,
                     PVOID second_virtual);
ULONG AfeInterruptService(AfeContext* context);
ULONG AfeDeferredService(AfeContext* context);

// Fills slots 0-3 and 5-9 of the table (slot 4 is filled first by the probe).
void FillAfeInterface(AfeInterface& table);

// The interrupt object's routine and the AFE device's deferred call.
BOOLEAN AfeIsr(PKINTERRUPT interrupt, PVOID service_context);
void AfeDpc(PKDPC dpc, PDEVICE_OBJECT device, PIRP irp, PVOID context);

// ---- line (line_status.cpp) ----
// The line-status evaluation of every deferred service: 1, 2 or 3.
ULONG EvaluateLineStatus(AfeContext& context);
// One deferred service's step of the off-hook sequence.
void StepOffHookSequence(AfeState& state);

}  // namespace afe
