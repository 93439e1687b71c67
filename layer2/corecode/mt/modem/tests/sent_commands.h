// The commands a FakeDataPump took, each cut to the bytes it carried, for
// comparing with what a test expects the data pump to be sent.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "layer2/corecode/mt/tests/support/fake_data_pump.h"

namespace vxctl::testing {

struct SentCommand {
  std::uint8_t code;
  std::vector<std::uint8_t> payload;
  bool operator==(const SentCommand&) const = default;
};

// "67 {0F}" in test failures.
inline void PrintTo(const SentCommand& command, std::ostream* out) {
  *out << std::hex << int(command.code) << " {";
  for (std::size_t i = 0; i < command.payload.size(); ++i) {
    *out << (i != 0 ? " " : "") << int(command.payload[i]);
  }
  *out << "}" << std::dec;
}

inline std::vector<SentCommand> SentCommands(const FakeDataPump& pump) {
  std::vector<SentCommand> sent;
  for (const FakePacket& p : pump.Commands()) {
    sent.push_back({p.code, std::vector<std::uint8_t>(p.payload.begin(),
                                                      p.payload.begin() + p.length)});
  }
  return sent;
}

}  // namespace vxctl::testing
