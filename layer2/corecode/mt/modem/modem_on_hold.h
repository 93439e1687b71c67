// The V.92 modem-on-hold sequencer: answers the peer's hold requests
// (commands 0xA0 and 0xA1 through the data pump), sends the application's
// own request, puts the data call on hold for the agreed time and resumes
// or clears it.
#pragma once

#include <array>
#include <cstdint>

namespace vxctl {

// Seconds of the hold-time codes 0..12; 13..15 are 0.
inline constexpr std::array<std::uint16_t, 16> kMohSecondsTable{
    0, 10, 20, 30, 40, 60, 120, 180, 240, 360, 480, 720, 960, 0, 0, 0};

// Hold-time codes travel bit-reversed in a message's high nibble: the
// 4-bit reversal of `nibble` (taken modulo 16).
constexpr std::uint8_t MohReverse(std::uint8_t nibble) {
  nibble &= 0x0F;
  return static_cast<std::uint8_t>((nibble & 1) << 3 | (nibble & 2) << 1 | (nibble & 4) >> 1 |
                                   (nibble & 8) >> 3);
}

// One step of the sequencer, from the modem task's step.
void ModemTask_MohStep();
// Idle (state 1) with the status word, request, response and timer cleared.
void ModemTask_MohReset();
// The application's own hold request ("+PMHR"): taken while the
// sequencer is idle, otherwise the last result is reported again.
void ModemTask_MohRequest();

}  // namespace vxctl
