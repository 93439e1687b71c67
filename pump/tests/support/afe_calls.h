// Calls into a front end the way the data pump makes them: requests under
// the interface's spin lock, sound-path requests without it.
#pragma once

#include "afe/windows/afe_contract.h"
#include "platform/ke/irql.h"

namespace pump::testing {

inline LONG CallAfeRequest(afe::AfeInterface& afe, ULONG code, void* data = nullptr,
                           ULONG size = 0) {
  KIRQL old;
  KeAcquireSpinLock(&afe.Lock, &old);
  const LONG result = afe.AfeRequest(afe.Context, code, data, &size);
  KeReleaseSpinLock(&afe.Lock, old);
  return result;
}

inline LONG CallAfeRequestWord(afe::AfeInterface& afe, ULONG code, ULONG value) {
  return CallAfeRequest(afe, code, &value, sizeof value);
}

inline LONG CallSoundPath(afe::AfeInterface& afe, ULONG code, void* data = nullptr,
                          ULONG count = 0) {
  return afe.SoundPathRequest(afe.Context, code, data, &count);
}

}  // namespace pump::testing
