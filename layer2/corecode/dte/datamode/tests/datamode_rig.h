// The data channel's test machine: a controller thread with a FakeDataPump
// bound to the link and, as the data-channel poll, a routine that counts
// its wakes.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/tests/support/fake_data_pump.h"

namespace vxctl::testing {

using Bytes = std::vector<std::uint8_t>;

// n bytes counting up from `first`.
Bytes Numbers(std::size_t n, std::uint8_t first = 0);
// A frame buffer in the MNP and fax layout: status 0, a spare byte, the
// u16 length, the data.
Bytes MnpFrame(const Bytes& data);
// Runs the data pump's block turn and the poll, n times.
void Turns(FakeDataPump& pump, int n);

// Runs `body` on the controller thread with the counting poll installed.
void RunDataChannel(const std::function<void(FakeDataPump&)>& body);

// How often the counting poll ran.
std::uint32_t PollWakes();

// Puts `n` bytes 0, 1, 2, ... into line_tx_ring directly, as if queued
// before the test.
void PreloadTx(std::uint32_t n);
void PreloadRx(const std::vector<std::uint8_t>& bytes);

// How often the machine's pending log recorded `name`.
std::size_t PendingCalls(std::string_view name);

// The data-format packets (0x61) the data pump took.
std::vector<FakePacket> FormatPackets(const FakeDataPump& pump);

}  // namespace vxctl::testing
