// Interrupt request levels, spin locks and the level rules of the pool.
#include "platform/ke/irql.h"

#include <string>

#include "platform/ke/kernel.h"

namespace plat::ke {
namespace {

std::string Level(KIRQL level) { return std::to_string(level); }

// A spin lock holds the token of the context that owns it.
KSPIN_LOCK TokenOf(const Context& context) { return reinterpret_cast<KSPIN_LOCK>(&context); }

class PoolChecks final : public ex::PoolGuard {
 public:
  explicit PoolChecks(Kernel& kernel) : kernel_(kernel) {}
  void CheckAllocate(POOL_TYPE type) override { kernel_.CheckPoolCall(type); }
  void CheckFree(const void* block, SIZE_T bytes, POOL_TYPE type) override {
    kernel_.CheckPoolCall(type);
    kernel_.CheckPoolFree(block, bytes);
  }

 private:
  Kernel& kernel_;
};

}  // namespace

std::unique_ptr<ex::PoolGuard> MakePoolChecks(Kernel& kernel) {
  return std::make_unique<PoolChecks>(kernel);
}

KIRQL Kernel::LevelOf(const Context* context) const {
  return context != nullptr && &context->kernel == this ? context->irql : PASSIVE_LEVEL;
}

void Kernel::Raise(Context& self, KIRQL level, const char* service) {
  if (level < self.irql) {
    Fatal("irql.raise-to-lower", std::string(service) + " to IRQL " + Level(level) +
                                     " from the higher IRQL " + Level(self.irql));
  }
  self.irql = level;
}

void Kernel::Lower(Context& self, KIRQL level, const char* service) {
  if (level > self.irql) {
    Fatal("irql.lower-to-higher", std::string(service) + " to IRQL " + Level(level) +
                                      " from the lower IRQL " + Level(self.irql));
  }
  self.irql = level;
  SwitchPoint(self);  // interrupts now above the level, DPCs below DISPATCH_LEVEL, threads
}

void Kernel::RequireBelowDispatch(Context& self, const char* service) {
  RequireNoSpinLock(self, service);
  if (self.irql >= DISPATCH_LEVEL) {
    Fatal("irql.wait-at-dispatch", std::string(service) + " at IRQL " + Level(self.irql) +
                                       ": only below DISPATCH_LEVEL may a thread block");
  }
}

void Kernel::RequireNoSpinLock(Context& self, const char* what) {
  if (self.spin_locks_held > 0) {
    Fatal("irql.holding-spin-lock", std::string(what) + " while holding " +
                                        std::to_string(self.spin_locks_held) + " spin lock(s)");
  }
}

void Kernel::CheckPoolCall(POOL_TYPE type) {
  const KIRQL level = LevelOf(CurrentContextOrNull());
  if (type == PagedPool && level > APC_LEVEL) {
    Fatal("irql.paged-pool", "paged pool used at IRQL " + Level(level) + " (above APC_LEVEL)");
  }
  if (level > DISPATCH_LEVEL) {
    Fatal("irql.pool-above-dispatch",
          "pool used at IRQL " + Level(level) + " (above DISPATCH_LEVEL)");
  }
}

void Kernel::CheckPoolFree(const void* block, SIZE_T bytes) {
  const auto* begin = static_cast<const std::byte*>(block);
  auto inside = [&](const void* object) {
    const auto* p = static_cast<const std::byte*>(object);
    return p >= begin && p < begin + bytes;
  };
  for (const KTIMER* timer : queued_timers_) {
    if (inside(timer)) {
      Fatal("ke.free-queued-timer", "ExFreePool of a block holding timer #" +
                                        std::to_string(timer->Header.Number) + ", still queued");
    }
  }
  for (const QueuedDpc& queued : dpcs_) {
    if (queued.dpc != nullptr && inside(queued.dpc)) {
      Fatal("ke.free-queued-dpc", "ExFreePool of a block holding a DPC that is still queued");
    }
  }
}

void RequirePassiveLevel(const char* service) {
  Kernel& kernel = CurrentKernel();
  const KIRQL level = kernel.LevelOf(CurrentContextOrNull());
  if (level != PASSIVE_LEVEL) {
    kernel.Fatal("irql.not-passive", std::string(service) + " called at IRQL " + Level(level) +
                                         "; it runs only at PASSIVE_LEVEL");
  }
}

}  // namespace plat::ke

using plat::ke::Context;
using plat::ke::CurrentKernel;
using plat::ke::Kernel;

KIRQL KeGetCurrentIrql() { return CurrentKernel().LevelOf(plat::ke::CurrentContextOrNull()); }

void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("KeRaiseIrql");
  *OldIrql = self.irql;
  kernel.Raise(self, NewIrql, "KeRaiseIrql");
}

void KeLowerIrql(KIRQL NewIrql) {
  Kernel& kernel = CurrentKernel();
  kernel.Lower(kernel.RequireThread("KeLowerIrql"), NewIrql, "KeLowerIrql");
}

KIRQL KeRaiseIrqlToDpcLevel() {
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  return old;
}

void KeInitializeSpinLock(PKSPIN_LOCK SpinLock) { *SpinLock = 0; }

void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock) {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("KeAcquireSpinLockAtDpcLevel");
  if (self.irql < DISPATCH_LEVEL) {
    kernel.Fatal("irql.spin-lock-below-dispatch",
                 "a spin lock taken at IRQL " + std::to_string(self.irql) + " without raising");
  }
  if (*SpinLock != 0) {
    kernel.Fatal("irql.spin-lock-deadlock",
                 *SpinLock == plat::ke::TokenOf(self)
                     ? "acquiring a spin lock this context already holds: a deadlock on one CPU"
                     : "acquiring a spin lock that is held (or was never initialised): on one "
                       "CPU its holder can never release it");
  }
  *SpinLock = plat::ke::TokenOf(self);
  ++self.spin_locks_held;
}

void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock) {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("KeReleaseSpinLockFromDpcLevel");
  if (*SpinLock != plat::ke::TokenOf(self)) {
    kernel.Fatal("irql.spin-lock-not-owned", *SpinLock == 0
                                                 ? "releasing a spin lock that is not held"
                                                 : "releasing a spin lock another context holds");
  }
  *SpinLock = 0;
  --self.spin_locks_held;
}

void KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql) {
  KeRaiseIrql(DISPATCH_LEVEL, OldIrql);
  KeAcquireSpinLockAtDpcLevel(SpinLock);
}

void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
  KeReleaseSpinLockFromDpcLevel(SpinLock);
  KeLowerIrql(NewIrql);
}

void _disable() {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("_disable");
  if (self.interrupts_disabled)
    kernel.Fatal("irql.nested-disable", "_disable while interrupts are disabled");
  self.irql_before_disable = self.irql;
  kernel.Raise(self, HIGH_LEVEL, "_disable");
  self.interrupts_disabled = true;
}

void _enable() {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("_enable");
  if (!self.interrupts_disabled)
    kernel.Fatal("irql.enable-without-disable", "_enable without _disable");
  self.interrupts_disabled = false;
  kernel.Lower(self, self.irql_before_disable, "_enable");
}
