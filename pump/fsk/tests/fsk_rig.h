// Helpers of the FSK tests: one data pump sending or hearing an FSK start
// type (PumpHarness), the simulated line between two of them (the 9600 Hz
// samples brought to the line's 8000 Hz, through one LineDirection, and
// back), and bit streams.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/line/line_direction.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::fsk_testing {

// The transmitter's start: the type, the originate flag, the transmit
// level (0 to -16 dB).
struct Sender {
  int start_type;
  int direction = 1;  // 1 originate
  int transmit_level = -10;
  int lead_blocks = 60;  // marks before the first byte
};

// Line output of a data pump that starts `sender` and sends `bytes` 8N1
// (framer type 0), then `tail_blocks` of whatever follows.
std::vector<std::int16_t> Transmit(const Sender& sender, std::span<const std::uint8_t> bytes,
                                   int tail_blocks = 20);

// The bytes a data pump delivers to its controller when it starts
// `start_type` and hears `line` (9600 Hz). `setup` runs after the reset,
// before the start; `after` sees the harness at the end.
struct Heard {
  std::vector<std::uint8_t> bytes;
  std::uint8_t status = 0;
};
Heard Receive(int start_type, int direction, std::span<const std::int16_t> line,
              const std::function<void(testing::PumpHarness&)>& after = {});

// `samples` (9600 Hz) over one direction of the simulated line.
std::vector<std::int16_t> OverLine(std::span<const std::int16_t> samples,
                                   const plat::line::LineDirectionConfig& config);

// The first `n` samples at 9600 Hz of `line` (8000 Hz), silence after it.
std::vector<std::int16_t> At9600(std::span<const std::int16_t> line, std::size_t n);

// Seeded random bytes.
std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed);

// Bit errors between two byte strings over their common length, plus 8 per
// missing or extra byte.
std::size_t BitErrors(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> got);

// Power of `samples` at `hz` (a DFT bin at any frequency) against their
// whole power.
double PowerAt(std::span<const std::int16_t> samples, double hz, double rate);

}  // namespace pump::fsk_testing
