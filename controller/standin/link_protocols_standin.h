// Stands in for the link protocols until they are built; they replace it.
// The state below is what the entries of
// layer2/corecode/mt/services/link_protocols.h and of
// controller/acu/acu_services.h refer to, one per machine
// (MachineState<LinkProtocolsStandin>()), for tests to set and read.
#pragma once

#include <atomic>
#include <cstdint>

#include "controller/acu/acu_services.h"

namespace vxctl {

struct LinkProtocolsStandin {
  std::atomic<std::uint8_t> break_length{0};
  // What ec_get_statistics_clear copies: all zero but the protocol, 2.
  EcStatistics statistics{.protocol = 2};
  // v44_free_history: how often it ran.
  std::atomic<std::uint32_t> history_frees{0};
};

}  // namespace vxctl
