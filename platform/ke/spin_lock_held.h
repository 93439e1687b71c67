// A spin lock held for one scope: raised to DISPATCH_LEVEL on entry, back to
// the caller's level on exit.
//
//   { plat::ke::SpinLockHeld held(queue.lock); ... }
#pragma once

#include "platform/ke/irql.h"

namespace plat::ke {

class SpinLockHeld {
 public:
  explicit SpinLockHeld(KSPIN_LOCK& lock) : lock_(lock) { KeAcquireSpinLock(&lock_, &old_); }
  ~SpinLockHeld() { KeReleaseSpinLock(&lock_, old_); }
  SpinLockHeld(const SpinLockHeld&) = delete;
  SpinLockHeld& operator=(const SpinLockHeld&) = delete;

 private:
  KSPIN_LOCK& lock_;
  KIRQL old_ = PASSIVE_LEVEL;
};

}  // namespace plat::ke
