// Stands in for the command interpreter and the line services until they
// are built; they replace it. The state below is what the entries of
// layer2/corecode/mt/services/command_interpreter.h answer or record, one
// per machine (MachineState<CommandInterpreterStandin>()), for tests to
// set and read.
#pragma once

#include <atomic>
#include <cstdint>

#include "pump/core/comram.h"

namespace vxctl {

struct CommandInterpreterStandin {
  // acu_running's byte (nothing initialises the controller yet).
  std::atomic<std::uint8_t> running{0};
  // What acu_caller_id_enabled answers ("+VCID" is not parsed yet).
  std::atomic<std::uint8_t> caller_id_enabled{0};
  // acu_moh_grant's byte.
  std::atomic<std::uint8_t> moh_grant{0};
  // RING_dsp_event: how often it ran and the packet it read last.
  std::atomic<std::uint32_t> ring_events{0};
  pump::DspPacket ring_packet{};
};

}  // namespace vxctl
