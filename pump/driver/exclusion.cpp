#include "pump/driver/exclusion.h"

namespace pump {

void InitDspExclusion(DspExclusion& exclusion) {
  KeInitializeEvent(&exclusion.free, SynchronizationEvent, TRUE);
  KeInitializeEvent(&exclusion.first_call_ended, NotificationEvent, FALSE);
  exclusion.holder = nullptr;
  exclusion.deferred = 0;
  exclusion.deferrals = 0;
  exclusion.deferred_runs = 0;
}

void EnterDspExclusion(DspExclusion& exclusion) {
  KeWaitForSingleObject(&exclusion.free, Executive, KernelMode, FALSE, nullptr);
  exclusion.holder = KeGetCurrentThread();
}

bool TryEnterDspExclusion(DspExclusion& exclusion) {
  LARGE_INTEGER no_wait;
  no_wait.QuadPart = 0;
  if (KeWaitForSingleObject(&exclusion.free, Executive, KernelMode, FALSE, &no_wait) !=
      STATUS_SUCCESS) {
    return false;
  }
  exclusion.holder = KeGetCurrentThread();
  return true;
}

void ReleaseDspExclusion(DspExclusion& exclusion) {
  exclusion.holder = nullptr;
  KeSetEvent(&exclusion.free, 0, FALSE);
}

bool HeldByCaller(const DspExclusion& exclusion) {
  return exclusion.holder == KeGetCurrentThread();
}

void OpenFirstCallGate(DspExclusion& exclusion) {
  if (KeReadStateEvent(&exclusion.first_call_ended) == 0) {
    KeSetEvent(&exclusion.first_call_ended, 0, FALSE);
  }
}

void WaitFirstCallGate(DspExclusion& exclusion) {
  KeWaitForSingleObject(&exclusion.first_call_ended, Executive, KernelMode, FALSE, nullptr);
}

}  // namespace pump
