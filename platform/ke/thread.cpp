// Thread services: the current thread, priorities, previous mode and the
// termination of a system thread.
#include "platform/ke/kernel.h"

using plat::ke::Context;
using plat::ke::CurrentKernel;
using plat::ke::Kernel;

PKTHREAD KeGetCurrentThread() { return CurrentKernel().RequireThread("KeGetCurrentThread").thread; }

KPRIORITY KeSetPriorityThread(PKTHREAD Thread, KPRIORITY Priority) {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("KeSetPriorityThread");
  kernel.CheckedHeader(Thread, "KeSetPriorityThread");
  const KPRIORITY old = Thread->Priority;
  if (Thread->context != nullptr) {
    kernel.SetPriority(*Thread->context, Priority);
    kernel.SwitchPoint(self);
  } else {
    Thread->Priority = Priority;
  }
  return old;
}

KPRIORITY KeQueryPriorityThread(PKTHREAD Thread) {
  CurrentKernel().CheckedHeader(Thread, "KeQueryPriorityThread");
  return Thread->Priority;
}

KPROCESSOR_MODE ExGetPreviousMode() {
  return CurrentKernel().RequireThread("ExGetPreviousMode").previous_mode;
}

NTSTATUS PsTerminateSystemThread(NTSTATUS ExitStatus) {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("PsTerminateSystemThread");
  if (self.kind != plat::ke::ContextKind::System || self.deferred_depth > 0) {
    kernel.Fatal("ke.terminate-other-thread",
                 "PsTerminateSystemThread called by " + self.label() +
                     (self.deferred_depth > 0 ? " inside a DPC or ISR that borrowed it"
                                              : ", which is no system thread") +
                     ": it would end a thread other than its caller");
  }
  kernel.TerminateCurrent(self, ExitStatus);
}
