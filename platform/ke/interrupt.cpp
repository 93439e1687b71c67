// Interrupt lines, interrupt objects and their delivery, and processor stalls.
#include "platform/ke/interrupt.h"

#include <algorithm>

#include "platform/ke/kernel.h"
#include "platform/ke/object.h"
#include "platform/ke/simulation.h"

namespace plat::ke {
namespace {

constexpr std::uint32_t kStormLimit = 1'000;  // unclaimed deliveries of a level line in a row

const ObjectType kInterruptObjectType{"Interrupt", nullptr};

}  // namespace

void Kernel::SetInterruptLine(ULONG vector, KIRQL level, bool asserted) {
  Line& line = lines_[vector];
  line.level = level;
  line.asserted = asserted;
  if (!asserted) line.unclaimed = 0;
}

void Kernel::PulseInterruptLine(ULONG vector, KIRQL level) {
  Line& line = lines_[vector];
  line.level = level;
  ++line.pulses;
}

std::vector<const KINTERRUPT*> Kernel::ConnectedInterrupts() const {
  std::vector<const KINTERRUPT*> connected;
  for (const auto& [vector, chain] : connected_)
    connected.insert(connected.end(), chain.begin(), chain.end());
  return connected;
}

bool Kernel::InterruptPendingAbove(KIRQL level) const {
  for (const auto& [vector, line] : lines_) {
    if ((line.asserted || line.pulses != 0) && line.level > level) return true;
  }
  return false;
}

void Kernel::ServiceInterrupts(Context& self) {
  for (;;) {
    // The highest pending level first; among equals the lowest vector.
    const std::pair<const ULONG, Line>* best = nullptr;
    for (const auto& entry : lines_) {
      const Line& line = entry.second;
      if ((line.asserted || line.pulses != 0) && line.level > self.irql &&
          (best == nullptr || line.level > best->second.level)) {
        best = &entry;
      }
    }
    if (best == nullptr) return;
    DeliverInterrupt(self, best->first);
  }
}

void Kernel::DeliverInterrupt(Context& self, ULONG vector) {
  Line& line = lines_[vector];
  const bool edge = !line.asserted;
  if (edge) --line.pulses;
  const KIRQL interrupted = self.irql;
  ++self.deferred_depth;
  Trace(MakeTrace(TraceKind::Interrupt, vector, line.level));
  bool claimed = false;
  const std::vector<KINTERRUPT*> chain = connected_[vector];  // an ISR may disconnect
  for (KINTERRUPT* interrupt : chain) {
    const KIRQL level = std::max(line.level, interrupt->SynchronizeIrql);
    self.irql = level;
    const int locks = self.spin_locks_held;
    KeAcquireSpinLockAtDpcLevel(interrupt->ActualLock);
    KFLOATING_SAVE save;
    if (interrupt->FloatingSave) KeSaveFloatingPointState(&save);
    {
      const OwnerScope owner(OwnerOf(interrupt));
      claimed = interrupt->ServiceRoutine(interrupt, interrupt->ServiceContext) != FALSE;
    }
    if (interrupt->FloatingSave) KeRestoreFloatingPointState(&save);
    if (self.irql != level) {
      Fatal("irql.level-changed", "an ISR returned at IRQL " + std::to_string(self.irql) +
                                      ", not " + std::to_string(level) + " where it ran");
    }
    KeReleaseSpinLockFromDpcLevel(interrupt->ActualLock);
    if (self.spin_locks_held != locks) RequireNoSpinLock(self, "returning from an ISR");
    if (claimed) break;
  }
  --self.deferred_depth;
  self.irql = interrupted;
  Line& after = lines_[vector];
  if (!edge && !claimed && after.asserted) {
    if (++after.unclaimed >= kStormLimit) {
      Fatal("irql.interrupt-storm", "level line of vector " + std::to_string(vector) +
                                        " stayed asserted after every ISR returned FALSE, " +
                                        std::to_string(kStormLimit) + " times running");
    }
  } else {
    after.unclaimed = 0;
  }
}

NTSTATUS Kernel::ConnectInterrupt(KINTERRUPT** out, const KINTERRUPT& request) {
  *out = nullptr;
  if (faults_.connect_interrupt.ShouldFail()) return faults_.connect_interrupt_status;
  if (request.SynchronizeIrql < request.Irql) return STATUS_INVALID_PARAMETER;
  std::vector<KINTERRUPT*>& chain = connected_[request.Vector];
  if (!chain.empty() && (!request.ShareVector || !chain.front()->ShareVector)) {
    return STATUS_INVALID_PARAMETER;  // the vector is taken and not shared
  }
  auto* interrupt =
      static_cast<KINTERRUPT*>(CreateObject(*this, kInterruptObjectType, sizeof(KINTERRUPT)));
  *interrupt = request;
  interrupt->SpinLock = 0;
  if (interrupt->ActualLock == nullptr) interrupt->ActualLock = &interrupt->SpinLock;
  interrupt->Connected = TRUE;
  chain.push_back(interrupt);
  NoteOwner(interrupt);
  *out = interrupt;
  return STATUS_SUCCESS;
}

void Kernel::DisconnectInterrupt(KINTERRUPT* interrupt) {
  std::vector<KINTERRUPT*>& chain = connected_[interrupt->Vector];
  if (std::find(chain.begin(), chain.end(), interrupt) == chain.end()) {
    Fatal("ke.interrupt-not-connected", "IoDisconnectInterrupt of an interrupt not connected");
  }
  std::erase(chain, interrupt);
  owners_.erase(interrupt);
  interrupt->Connected = FALSE;
  ObDereferenceObject(interrupt);
}

void Kernel::Stall(Context& self, std::uint64_t ns) { Advance(self, ns); }

}  // namespace plat::ke

using plat::ke::Context;
using plat::ke::CurrentKernel;
using plat::ke::Kernel;

NTSTATUS IoConnectInterrupt(PKINTERRUPT* InterruptObject, PKSERVICE_ROUTINE ServiceRoutine,
                            PVOID ServiceContext, PKSPIN_LOCK SpinLock, ULONG Vector, KIRQL Irql,
                            KIRQL SynchronizeIrql, KINTERRUPT_MODE InterruptMode,
                            BOOLEAN ShareVector, KAFFINITY ProcessorEnableMask,
                            BOOLEAN FloatingSave) {
  (void)ProcessorEnableMask;  // one CPU per machine
  plat::ke::RequirePassiveLevel("IoConnectInterrupt");
  KINTERRUPT request{};
  request.ServiceRoutine = ServiceRoutine;
  request.ServiceContext = ServiceContext;
  request.ActualLock = SpinLock;
  request.Vector = Vector;
  request.Irql = Irql;
  request.SynchronizeIrql = SynchronizeIrql;
  request.Mode = InterruptMode;
  request.ShareVector = ShareVector;
  request.FloatingSave = FloatingSave;
  return CurrentKernel().ConnectInterrupt(InterruptObject, request);
}

void IoDisconnectInterrupt(PKINTERRUPT InterruptObject) {
  plat::ke::RequirePassiveLevel("IoDisconnectInterrupt");
  CurrentKernel().DisconnectInterrupt(InterruptObject);
}

BOOLEAN KeSynchronizeExecution(PKINTERRUPT Interrupt, PKSYNCHRONIZE_ROUTINE SynchronizeRoutine,
                               PVOID SynchronizeContext) {
  Kernel& kernel = CurrentKernel();
  Context& self = kernel.RequireThread("KeSynchronizeExecution");
  const KIRQL old = self.irql;
  kernel.Raise(self, Interrupt->SynchronizeIrql, "KeSynchronizeExecution");
  KeAcquireSpinLockAtDpcLevel(Interrupt->ActualLock);
  const BOOLEAN result = SynchronizeRoutine(SynchronizeContext);
  KeReleaseSpinLockFromDpcLevel(Interrupt->ActualLock);
  kernel.Lower(self, old, "KeSynchronizeExecution");
  return result;
}

void KeStallExecutionProcessor(ULONG MicroSeconds) {
  Kernel& kernel = CurrentKernel();
  kernel.Stall(kernel.RequireThread("KeStallExecutionProcessor"),
               static_cast<std::uint64_t>(MicroSeconds) * 1'000);
}
