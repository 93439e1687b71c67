// What the call-progress tests share: a started data pump whose controller
// has taken the line, pacing of held commands, and the line's samples and
// requests as the front end saw them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "pump/core/comram.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::cp_test {

using testing::PumpHarness;
using testing::ReceivedPacket;

inline constexpr std::size_t kBlock = 96;

inline void SetOnHook(PumpHarness& harness, bool on_hook) {
  std::uint8_t& lines = harness.Host().comram.reg[kRegLineLevelA];
  lines = static_cast<std::uint8_t>(on_hook ? lines | kLineHookRelay : lines & ~kLineHookRelay);
}

// The reset, then the line taken (the page starts on hook), the front end's
// log cleared.
inline void StartCall(PumpHarness& harness) {
  harness.Controller().Post(0x60, {0});
  harness.RunBlocks(1);  // the line monitor stops the line
  SetOnHook(harness, false);
  harness.RunBlocks(2);  // and starts it again
  harness.Afe().ClearLog();
  harness.Controller().TakePackets();
}

// Runs blocks until the command waiting at register 64 was taken.
inline int RunUntilTaken(PumpHarness& harness, int limit = 100000) {
  int blocks = 0;
  while (harness.Host().comram.reg[kRegCpPacket] != 0 && blocks < limit) {
    harness.RunBlocks(1);
    ++blocks;
  }
  return blocks;
}

struct LineRequest {
  int block;
  ULONG code;
  bool operator==(const LineRequest&) const = default;
};

// Runs `blocks` blocks and returns the line requests (on 1, off 2) with the
// block they came in.
inline std::vector<LineRequest> RunLogged(PumpHarness& harness, int blocks, int first = 0) {
  std::vector<LineRequest> line;
  for (int b = 0; b < blocks; ++b) {
    harness.Afe().ClearLog();
    harness.RunBlocks(1);
    for (ULONG code : testing::RequestCodes(harness.Afe().Log())) {
      if (code == afe::kAfeLineOn || code == afe::kAfeLineOff) line.push_back({first + b, code});
    }
  }
  harness.Afe().ClearLog();
  return line;
}

inline std::size_t LeadingSilence(std::span<const std::int16_t> samples) {
  std::size_t i = 0;
  while (i < samples.size() && samples[i] == 0) ++i;
  return i;
}

// Stretches of non-zero and zero samples, in order, starting with sound.
struct Stretch {
  bool sound;
  std::size_t length;
};
inline std::vector<Stretch> Stretches(std::span<const std::int16_t> samples) {
  std::vector<Stretch> out;
  std::size_t i = 0;
  while (i < samples.size() && samples[i] == 0) ++i;
  while (i < samples.size()) {
    const bool sound = samples[i] != 0;
    std::size_t j = i;
    // A sine crosses zero now and then: sound ends only after a block of zeros.
    if (sound) {
      while (j < samples.size()) {
        std::size_t zeros = 0;
        while (j + zeros < samples.size() && samples[j + zeros] == 0 && zeros < kBlock) ++zeros;
        if (zeros == kBlock || j + zeros == samples.size()) break;
        j += zeros + 1;
      }
    } else {
      while (j < samples.size() && samples[j] == 0) ++j;
    }
    out.push_back({sound, j - i});
    i = j;
  }
  return out;
}

}  // namespace pump::cp_test
