// Small drivers for the machine host's tests.
//
// ImpulseDriver: finds the controller, maps its registers, takes two common
// buffers and starts the DMA ring at the power-on rate (7200 Hz) off hook,
// with a transmit ring that is silent but for one impulse of kImpulse at word
// kImpulseWord. Its unload stops the DMA and gives everything back.
//
// LeakDriver: leaves behind at unload the one thing its machine's LeakChoice
// names.
#pragma once

#include <cstdint>

#include "platform/io/io.h"

namespace plat::machine::testing {

inline constexpr std::int16_t kImpulse = 20000;
inline constexpr std::uint32_t kRingWords = 4096;
inline constexpr std::uint32_t kImpulseWord = 100;

NTSTATUS ImpulseDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

enum class Leak {
  kNothing,
  kPoolBlock,
  kHandle,
  kLink,
  kThread,
  kTimer,
  kRequest,
  kMapping,
  kCommonBuffer,
  kInterrupt,
};
// Kept in the machine's slots; set before boot.
struct LeakChoice {
  Leak leak = Leak::kNothing;
};
NTSTATUS LeakDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

// A DriverEntry that fails with STATUS_NO_SUCH_DEVICE.
NTSTATUS FailingDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

}  // namespace plat::machine::testing
