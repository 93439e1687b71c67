// Stands in for the link protocols until they are built; they replace it.
// The state below is what the entries of
// layer2/corecode/mt/services/link_protocols.h refer to, one per machine
// (MachineState<LinkProtocolsStandin>()), for tests to read.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

struct LinkProtocolsStandin {
  std::atomic<std::uint8_t> break_length{0};
};

}  // namespace vxctl
