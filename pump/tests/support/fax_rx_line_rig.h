// Our fax transmitter's bursts on the line and our receiver on them, with
// the test training table: what the receiver's round-trip, loop and
// hostile-input tests share.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "pump/context/dsp_context.h"
#include "pump/tests/support/ber_counter.h"
#include "pump/tests/support/fax_rx_test_training.h"

namespace pump::testing {

// Line samples before the echo-protection tone in the bursts below.
inline constexpr std::int32_t kFaxRxToneStart = 288;

// A burst of our transmitter (0x73 byte 0 `config`) carrying `data` as raw
// octets, then its tail; the line at 9600 Hz from kFaxRxToneStart samples
// before the tone.
std::vector<std::int16_t> FaxRxTransmitted(std::uint8_t config, const std::vector<std::uint8_t>& data);

// Seeded Gaussian noise at `snr_db` below the burst's mean power.
std::vector<std::int16_t> FaxRxWithNoise(const std::vector<std::int16_t>& line, double snr_db, std::uint32_t seed);

struct FaxRxResult {
  std::vector<std::uint8_t> bytes;  // the framer's raw octets
};

// Our receiver (0x73 byte 0 `config`, receive) on `line` with the test
// table of `plan`; `each_block` runs after every block.
FaxRxResult FaxRxReceive(std::uint8_t config, const FaxRxTestPlan& plan, const std::vector<std::int16_t>& line,
                         const std::function<void(DspContext&)>& each_block = {});

std::vector<std::uint8_t> FaxRxSeededBytes(std::size_t n, std::uint32_t seed);

// The line resampled for a sampling clock `ppm` parts per million fast
// (a windowed-sinc interpolator between the samples).
std::vector<std::int16_t> FaxRxResampled(const std::vector<std::int16_t>& line, double ppm);

// The line's spectrum moved by `offset_hz`, with a sinusoidal phase jitter
// of `jitter_degrees` peak at `jitter_hz` (through a Hilbert transformer).
std::vector<std::int16_t> FaxRxTurned(const std::vector<std::int16_t>& line, double offset_hz, double jitter_degrees = 0,
                                      double jitter_hz = 0);

// The mode word of a 0x73 byte 0.
std::uint16_t FaxRxModeWord(std::uint8_t config);

}  // namespace pump::testing
