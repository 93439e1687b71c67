// The HAL of one simulated machine, kept in its kernel's slot table: the
// bus model with its devices, the adapter objects handed out, and the
// machine's PCI interrupt lines as devices drive them. The calls of
// hal_calls.h find it through the calling context's kernel.
//
//   plat::hal::MachineHal& m = plat::hal::InstallHal(kernel);   // at boot
//   m.hal().Bus().Add(...);                                      // devices
//
// Installing adds the HAL's checks to the machine's shutdown: mappings,
// common buffers or connected interrupts left then are fatal.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/hal/hal.h"
#include "platform/hal/hal_calls.h"
#include "platform/ke/kernel.h"

struct ADAPTER_OBJECT {
  ULONG Number;  // in the machine's order of HalGetAdapter calls, from 1
  ULONG MaximumLength;
  ULONG MapRegisters;
};

namespace plat::hal {

class MachineHal {
 public:
  MachineHal(ke::Kernel& kernel, HalConfig config);
  MachineHal(const MachineHal&) = delete;
  MachineHal& operator=(const MachineHal&) = delete;

  Hal& hal() { return hal_; }
  ke::Kernel& kernel() { return kernel_; }

  // The device on PCI interrupt line `line` changed its level: the kernel's
  // line of the vector and level HalGetInterruptVector gives for it follows.
  // One device drives a line.
  void DriveInterruptLine(std::uint32_t line, bool asserted);
  // Assertions so far. An access that asserted a line lets the CPU take the
  // interrupt before its next instruction.
  std::uint64_t rising_edges() const { return rising_edges_; }

  ADAPTER_OBJECT* AddAdapter(ULONG maximum_length, ULONG map_registers);
  // Fatal unless `adapter` came from this machine's HalGetAdapter.
  void RequireAdapter(const ADAPTER_OBJECT* adapter, const char* service) const;

  // Fatal when mappings, common buffers or connected interrupts are left.
  void CheckShutdown() const;

 private:
  ke::Kernel& kernel_;
  Hal hal_;
  std::deque<ADAPTER_OBJECT> adapters_;  // stable addresses, in creation order
  std::uint64_t rising_edges_ = 0;
};

// Gives `kernel` its HAL and adds the HAL's checks to its shutdown.
MachineHal& InstallHal(ke::Kernel& kernel, HalConfig config = {});
// The machine's HAL; fatal "hal-not-installed" when it has none.
MachineHal& HalOf(ke::Kernel& kernel);

}  // namespace plat::hal
