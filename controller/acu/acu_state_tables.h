// The controller state machine's tables: for each (variant, state) pair a
// row of 22 cells, one per event code, each {next state, action}, and a
// poll routine. Constant data, indexed by variant * 8 + state; a pair
// without a row drops its events, one without a poll routine polls
// nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "controller/acu/acu_actions.h"
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_events.h"

namespace vxctl {

struct AcuCell {
  std::uint8_t next;
  AcuAction action;
};

struct acu_state_row {
  std::array<AcuCell, kAcuEventCodes> cells;
};

inline constexpr std::size_t kAcuTableEntries = kAcuVariants * kAcuStateSlots;

struct AcuStateTables {
  std::array<const acu_state_row*, kAcuTableEntries> rows;
  std::array<AcuAction, kAcuTableEntries> polls;
};

constexpr std::size_t AcuTableIndex(std::uint8_t variant, std::uint8_t state) {
  return static_cast<std::size_t>(variant) * kAcuStateSlots + state;
}

extern const AcuStateTables kAcuStateTables;

}  // namespace vxctl
