// The controller's registry settings: the registry context (the serial
// device's extension, present from the port configuration's start to its
// stop) and the one-byte feature switches of the Parameters key. One per
// machine (reg_settings()). The switches keep their defaults until the
// settings are loaded from the registry.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

struct RegFeatureFlags {
  // "BlkLlstInfoPreserved": the black list is saved at the port's close
  // and restored at its open.
  std::atomic<std::uint8_t> black_list_preserved{0};
};

// The emulated EEPROM: byte 0 the checksum of bytes 1..284, the rest the
// command interpreter's stored profiles, numbers and options.
inline constexpr std::size_t kEepromSize = 285;
using EepromImage = std::array<std::uint8_t, kEepromSize>;

struct RegSettings {
  std::atomic<void*> context{nullptr};
  RegFeatureFlags features;
  EepromImage eeprom{};
};

inline RegSettings& reg_settings() { return MachineState<RegSettings>(); }

}  // namespace vxctl
