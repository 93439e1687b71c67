#include "platform/hal/machine_hal.h"

#include <string>

#include "platform/diag/fatal.h"
#include "platform/hal/hex_text.h"
#include "platform/ke/interrupt.h"

namespace plat::hal {

MachineHal::MachineHal(ke::Kernel& kernel, HalConfig config) : kernel_(kernel), hal_(config) {}

void MachineHal::DriveInterruptLine(std::uint32_t line, bool asserted) {
  const InterruptVector vector = InterruptVectorFor(line);
  if (vector.vector == 0) {
    plat::diag::Fatal("hal-interrupt-line", "a device drives line " + std::to_string(line) +
                                                ", which has no interrupt vector");
  }
  if (asserted) ++rising_edges_;
  kernel_.SetInterruptLine(vector.vector, vector.irql, asserted);
}

ADAPTER_OBJECT* MachineHal::AddAdapter(ULONG maximum_length, ULONG map_registers) {
  const auto number = static_cast<ULONG>(adapters_.size() + 1);
  return &adapters_.emplace_back(ADAPTER_OBJECT{number, maximum_length, map_registers});
}

void MachineHal::RequireAdapter(const ADAPTER_OBJECT* adapter, const char* service) const {
  for (const ADAPTER_OBJECT& own : adapters_) {
    if (&own == adapter) return;
  }
  kernel_.Fatal("hal-unknown-adapter",
                std::string(service) + " with an adapter no HalGetAdapter of this machine gave");
}

void MachineHal::CheckShutdown() const {
  hal_.CheckShutdown();
  const std::vector<const KINTERRUPT*> connected = kernel_.ConnectedInterrupts();
  if (connected.empty()) return;
  std::string detail = std::to_string(connected.size()) + " interrupt(s) still connected:";
  for (const KINTERRUPT* interrupt : connected) {
    detail += " vector " + HexText(interrupt->Vector) + " at IRQL " +
              std::to_string(interrupt->Irql) + ke::MadeBy(kernel_.OwnerOf(interrupt));
  }
  kernel_.Fatal("hal-interrupt-leak", detail);
}

MachineHal& InstallHal(ke::Kernel& kernel, HalConfig config) {
  MachineHal& machine = kernel.slots().Emplace<MachineHal>(kernel, config);
  kernel.AddShutdownCheck([&machine] { machine.CheckShutdown(); });
  return machine;
}

MachineHal& HalOf(ke::Kernel& kernel) {
  if (MachineHal* machine = kernel.slots().Find<MachineHal>()) return *machine;
  kernel.Fatal("hal-not-installed", "a HAL call on a machine that has no HAL");
}

}  // namespace plat::hal
