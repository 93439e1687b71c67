// The block thread: one system thread per device at priority 28. The front
// end's deferred routine signals the per-block event; the thread wakes and
// runs the block work for every block the front end reports ready.
#include "platform/ex/ob.h"
#include "platform/ke/interlocked.h"
#include "pump/afe_access/afe_access.h"
#include "pump/driver/dsp_device.h"

namespace pump {
namespace {

bool Running() { return InterlockedCompareExchange(&Globals().run, 0, 0) != 0; }

void BlockThread(PVOID start_context) {
  auto& e = *static_cast<DspDeviceExtension*>(start_context);
  KeSetPriorityThread(KeGetCurrentThread(), kBlockThreadPriority);
  afe::AfeEventBlock& events = *Globals().thread_events;
  for (;;) {
    KeWaitForSingleObject(&events.PerBlockEvent, Executive, KernelMode, FALSE, nullptr);
    if (!Running()) PsTerminateSystemThread(STATUS_SUCCESS);
    events.BlockWorkBusy = 1;
    RunBlockWork(&e.context);
    events.BlockWorkBusy = 0;
  }
}

}  // namespace

NTSTATUS StartBlockThread(DspDeviceExtension& e) {
  DspGlobals& globals = Globals();
  globals.thread_events = &e.events;
  // Set before the thread exists, so that a stop coming before its first
  // turn is not undone by it.
  InterlockedExchange(&globals.run, 1);
  HANDLE handle = 0;
  NTSTATUS status =
      PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, 0, nullptr, BlockThread, &e);
  if (!NT_SUCCESS(status)) {
    InterlockedExchange(&globals.run, 0);
    return status;
  }
  PVOID thread = nullptr;
  status = ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &thread,
                                     nullptr);
  ZwClose(handle);
  if (!NT_SUCCESS(status)) {
    // Without a reference the stop could not wait for it: it ends now,
    // before its first block.
    InterlockedExchange(&globals.run, 0);
    KeSetEvent(&e.events.PerBlockEvent, IO_NO_INCREMENT, FALSE);
    return status;
  }
  e.block_thread = static_cast<PKTHREAD>(thread);
  return status;
}

NTSTATUS StopBlockThread(DspDeviceExtension& e) {
  if (e.block_thread == nullptr) return STATUS_SUCCESS;
  InterlockedExchange(&Globals().run, 0);
  // A thread held back by the first-call gate must see the run flag too.
  OpenFirstCallGate(e.exclusion);
  KeSetEvent(&e.events.PerBlockEvent, IO_NO_INCREMENT, FALSE);
  LARGE_INTEGER timeout;
  timeout.QuadPart = kStopWait;
  const NTSTATUS status =
      KeWaitForSingleObject(e.block_thread, Executive, KernelMode, FALSE, &timeout);
  if (status == STATUS_TIMEOUT) return status;
  ObDereferenceObject(e.block_thread);
  e.block_thread = nullptr;
  return status;
}

void RunBlockWork(DspContext* context) {
  DspContext& c = *context;
  DspDeviceExtension& e = ExtensionOf(c);
  DspExclusion& exclusion = e.exclusion;
  WaitFirstCallGate(exclusion);
  AfeAccess& afe = *c.afe;
  // One block per turn of the exclusion, so controller calls get in
  // between blocks. The readiness request and the cursors touch the access
  // state the controller's commands use too, so they run inside it.
  while (Running()) {
    EnterDspExclusion(exclusion);
    ULONG none = 0;
    if (IssueAfeRequest(afe, afe::kAfeBlockReady, nullptr, &none) != afe::kAfeBlockWaiting) {
      LeaveExclusion(e);
      return;
    }
    KFLOATING_SAVE save;
    if (NT_SUCCESS(KeSaveFloatingPointState(&save))) {
      if (c.block_entry != nullptr) c.block_entry(c);
      KeRestoreFloatingPointState(&save);
    }
    AdvanceAfeBlock(afe);
    LeaveExclusion(e);
  }
}

}  // namespace pump
