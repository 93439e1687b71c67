// What the voice tests share: a started data pump with the sound path
// enabled and both stream levels under the data pump's control, the line
// taken, and voice started through the controller's commands.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pump/core/comram.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/key_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::voice_test {

using testing::PumpHarness;
using testing::ReceivedPacket;

inline constexpr std::size_t kBlock = 80;

// ProfileFlags bits 1 and 2 (the stream levels) and 17 (the sound path).
inline testing::PumpOptions VoiceProfile() {
  return {.service_values = "\"Profile\"=binary:06 00 02 00 00 00 00 00\n"};
}

// The reset, the line taken, and call progress in mode 2 (the
// tone-detection mode that lets voice start at once).
inline void TakeLine(PumpHarness& harness) {
  harness.Controller().Post(0x60, {0});
  harness.RunBlocks(1);
  std::uint8_t& lines = harness.Host().comram.reg[kRegLineLevelA];
  lines = static_cast<std::uint8_t>(lines & ~kLineHookRelay);
  harness.RunBlocks(2);
  harness.Controller().Exchange(0x65, {2, 0});
}

// Voice running with the given 0x97 bytes; a few blocks let the front
// end's rate change land; logs and packets cleared.
inline void StartVoice(PumpHarness& harness, std::uint8_t rate, std::uint8_t codec,
                       std::uint8_t sequence) {
  TakeLine(harness);
  harness.Controller().Exchange(0x97, {rate, codec, sequence, 0});
  harness.RunBlocks(8);
  harness.Afe().ClearLog();
  harness.Controller().TakePackets();
}

inline std::vector<std::uint8_t> ToneResults(const std::vector<ReceivedPacket>& packets) {
  std::vector<std::uint8_t> results;
  for (const ReceivedPacket& p : packets) {
    if (p.code == 0xC4 && !p.payload.empty()) results.push_back(p.payload[0]);
  }
  return results;
}

}  // namespace pump::voice_test
