// ControllerCall: the controller's way into the data pump. Its writes of
// registers 252 and 254 call it, and it runs the controller entry (the
// packet dispatcher) under the exclusion, or defers it to whoever holds the
// exclusion when it cannot wait for it.
#include <cstddef>
#include <type_traits>

#include "platform/ke/interlocked.h"
#include "platform/ke/irql.h"
#include "pump/driver/dsp_device.h"

namespace pump {
namespace {

// One dispatch, by the exclusion's holder. Nothing runs once the data pump
// has stopped (or before it started).
NTSTATUS RunDispatch(DspDeviceExtension& e) {
  if (e.started == 0) return STATUS_INVALID_DEVICE_STATE;
  DspContext& context = e.context;
  e.events.ControllerCallBusy = 1;
  if (context.controller_entry != nullptr) context.controller_entry(context);
  e.events.ControllerCallBusy = 0;
  OpenFirstCallGate(e.exclusion);
  return STATUS_SUCCESS;
}

// A deferred dispatch, with its own floating-point save area; a failed save
// skips it as it would have skipped the call itself.
void RunDeferredDispatch(DspDeviceExtension& e) {
  KFLOATING_SAVE save;
  if (!NT_SUCCESS(KeSaveFloatingPointState(&save))) return;
  RunDispatch(e);
  KeRestoreFloatingPointState(&save);
  InterlockedIncrement(&e.exclusion.deferred_runs);
}

// The exclusion is held elsewhere: the holder runs this dispatch before it
// lets go. Should the holder have let go between the caller's attempt and
// the count, the caller takes the exclusion now and runs it itself.
void DeferDispatch(DspDeviceExtension& e) {
  DspExclusion& exclusion = e.exclusion;
  InterlockedIncrement(&exclusion.deferred);
  InterlockedIncrement(&exclusion.deferrals);
  if (TryEnterDspExclusion(exclusion)) LeaveExclusion(e);
}

}  // namespace

DspDeviceExtension& ExtensionOf(DspContext& context) {
  static_assert(std::is_standard_layout_v<DspDeviceExtension>);
  return *reinterpret_cast<DspDeviceExtension*>(reinterpret_cast<std::byte*>(&context) -
                                                offsetof(DspDeviceExtension, context));
}

void LeaveExclusion(DspDeviceExtension& e) {
  DspExclusion& exclusion = e.exclusion;
  for (;;) {
    for (LONG n = InterlockedExchange(&exclusion.deferred, 0); n > 0; --n) {
      RunDeferredDispatch(e);
    }
    ReleaseDspExclusion(exclusion);
    // A call deferred after the drain but before the release is taken back
    // and run here, unless another holder took the exclusion meanwhile: that
    // one drains it when it lets go.
    if (InterlockedCompareExchange(&exclusion.deferred, 0, 0) == 0 ||
        !TryEnterDspExclusion(exclusion)) {
      return;
    }
  }
}

NTSTATUS ControllerCall(DspContext* context) {
  DspDeviceExtension& e = ExtensionOf(*context);
  // Each call saves into its own area: calls from several threads may be in
  // here at once, each waiting for the exclusion.
  KFLOATING_SAVE save;
  const NTSTATUS saved = KeSaveFloatingPointState(&save);
  if (!NT_SUCCESS(saved)) return saved;

  DspExclusion& exclusion = e.exclusion;
  NTSTATUS status;
  bool entered;
  if (KeGetCurrentIrql() == PASSIVE_LEVEL && !HeldByCaller(exclusion)) {
    EnterDspExclusion(exclusion);
    entered = true;
  } else {
    // Above PASSIVE_LEVEL, or called back from inside the work that holds it.
    entered = TryEnterDspExclusion(exclusion);
  }
  if (entered) {
    status = RunDispatch(e);
    LeaveExclusion(e);
  } else {
    DeferDispatch(e);
    status = STATUS_PENDING;
  }
  const NTSTATUS restored = KeRestoreFloatingPointState(&save);
  return NT_SUCCESS(status) && status != STATUS_PENDING ? restored : status;
}

}  // namespace pump
