// The front end's context: the per-machine instance, its initialisation,
// the ring reset and the resources the start hands it.
#include <cstring>

#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"
#include "afe/windows/controller_table.h"
#include "afe/windows/self_test.h"
#include "platform/ke/kernel.h"

namespace afe {
namespace {

struct RingReset {
  AfeContext* context;
  UCHAR tx_period_cursor;
  UCHAR rx_period_cursor;
};

BOOLEAN ResetRingNow(PVOID argument) {
  const RingReset& reset = *static_cast<RingReset*>(argument);
  AfeContext& context = *reset.context;
  context.RxPeriodCursor = reset.rx_period_cursor;
  context.Latency = kDefaultLatency;
  context.BlockBalance = 0;
  context.TxReadCursor = 0;
  context.RxWriteCursor = 0;
  context.Phase2Flag = 0;
  context.RxReadCursor = 0;
  context.TxWriteCursor = kTxWriteCursorStart;
  context.TxPeriodCursor = reset.tx_period_cursor;
  context.LatencyAdjustment = 0;
  return TRUE;
}

}  // namespace

AfeGlobals& Globals() { return plat::ke::CurrentKernel().slots().Get<AfeGlobals>(); }

void ResetRing(AfeContext& context, UCHAR tx_period_cursor, UCHAR rx_period_cursor) {
  RingReset reset{&context, tx_period_cursor, rx_period_cursor};
  // The interrupt moves the same cursors; once it is connected, AfeInit and
  // a rate change may reset the ring while the DMA runs.
  PKINTERRUPT interrupt = context.Owner != nullptr ? context.Owner->Interrupt : nullptr;
  if (interrupt != nullptr) {
    KeSynchronizeExecution(interrupt, ResetRingNow, &reset);
  } else {
    ResetRingNow(&reset);
  }
}

void InitAfeContext(AfeDeviceExtension& extension) {
  AfeGlobals& globals = Globals();
  AfeContext& context = globals.Context;
  AfeState& state = globals.State;
  context.VendorId = kKind3Identity.vendor_id;
  context.DeviceId = kKind3Identity.device_id;
  context.Owner = &extension;
  context.ConfigAccess = PciConfigAccess;
  context.State = &state;
  state.Context = &context;
  context.PowerState = kInitialPowerState;
  context.ControllerKind = kInfoConstant;
  context.BlockCounter = 0;
  context.DmaRunning = 0;
  context.SampleRate = 9600;
  context.SamplesPerBlock = 96;
  state.ScheduledBlock = 0;
  state.RateChangePending = 0;
  state.Attenuation = state.Gain = 0;
  state.LastVoltage = state.ReferenceVoltage = 0;
  state.LineStatus = kLineStatusSteady;
  ResetRing(context, kDmaPeriods - 1, kDmaPeriods - 1);
  InitSelfTests(context);

  extension.PortCount = 1;
  extension.MemoryCount = 1;
  extension.CommonBufferSize = kCommonBufferBytes;
}

void AfeSetResources(AfeContext* context, PVOID* memory_windows, PVOID*,
                     LARGE_INTEGER first_logical, PVOID first_virtual, LARGE_INTEGER second_logical,
                     PVOID second_virtual) {
  AfeState& state = *context->State;
  context->ConfigAccess(context->Owner, 0, state.SavedConfig, 0, kSavedConfigBytes);
  state.Registers = static_cast<volatile UCHAR*>(memory_windows[0]);
  state.TransmitLogical = first_logical;
  state.TransmitVirtual = first_virtual;
  state.ReceiveLogical = second_logical;
  state.ReceiveVirtual = second_virtual;
}

}  // namespace afe
