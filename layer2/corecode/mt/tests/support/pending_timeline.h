// What a FakeDataPump saw at each doorbell, interleaved with the calls into
// parts not built yet, in the order they happened: "cmd 7D 80 00" (a
// command's code and payload), "252=D2" (a power state), "Name(arg)" or
// Name "text" (a pending call and its first argument, or its text when it
// was given one, empty or not).
// Header only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/tests/support/fake_data_pump.h"

namespace vxctl::testing {

inline std::string TimelineHex(std::uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

inline std::string DescribeDoorbell(const FakeDoorbell& bell) {
  const pump::Comram& page = bell.page;
  if (page.reg[pump::kRegCpPacket] == 0) {
    return "252=" + TimelineHex(page.reg[pump::kRegPowerControl]);
  }
  std::string text = "cmd " + TimelineHex(page.reg[pump::kRegCpPacket]);
  for (int i = 0; i < page.reg[pump::kRegCpPacketLength]; ++i) {
    text += " " + TimelineHex(page.reg[pump::kRegCpPacketPayload + i]);
  }
  return text;
}

inline std::string DescribePending(const PendingCall& call) {
  std::string text(call.name);
  if (call.text.data() != nullptr) return text + " \"" + std::string(call.text) + "\"";
  if (!call.args.empty()) text += "(" + std::to_string(call.args[0]) + ")";
  return text;
}

inline std::vector<std::string> Timeline(const FakeDataPump& pump) {
  const std::vector<PendingCall> calls = MachineState<PendingLog>().Calls();
  std::vector<std::string> events;
  auto bell = pump.Doorbells().begin();
  for (std::size_t i = 0; i <= calls.size(); ++i) {
    for (; bell != pump.Doorbells().end() && bell->pending_calls == i; ++bell) {
      events.push_back(DescribeDoorbell(*bell));
    }
    if (i < calls.size()) events.push_back(DescribePending(calls[i]));
  }
  return events;
}

}  // namespace vxctl::testing
