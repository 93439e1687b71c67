// The data channel's test machine: a controller thread with a FakeDataPump
// bound to the link and, as the data-channel poll, a routine that counts
// its wakes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "layer2/corecode/mt/tests/support/fake_data_pump.h"

namespace vxctl::testing {

// Runs `body` on the controller thread with the counting poll installed.
void RunDataChannel(const std::function<void(FakeDataPump&)>& body);

// How often the counting poll ran.
std::uint32_t PollWakes();

// Puts `n` bytes 0, 1, 2, ... into line_tx_ring directly, as if queued
// before the test.
void PreloadTx(std::uint32_t n);
void PreloadRx(const std::vector<std::uint8_t>& bytes);

// The data-format packets (0x61) the data pump took.
std::vector<FakePacket> FormatPackets(const FakeDataPump& pump);

}  // namespace vxctl::testing
