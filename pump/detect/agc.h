// The block AGC of the receive front end: a gain of mantissa x 2^exponent /
// 32768 that brings the average magnitude of its output towards about 2730.
#pragma once

#include <cstdint>
#include <span>

namespace pump {

struct AgcGain {
  std::uint16_t word;  // the caller-ID command sets it to 4
  std::int16_t exponent;
  std::int16_t mantissa;  // Q15
  std::int32_t average;
  std::int16_t freeze;
};

// The gain's limits: the mantissa is kept in [kAgcMantissaLow, kAgcMantissaHigh]
// by moving the exponent, which stays in [kAgcExponentMin, kAgcExponentMax].
inline constexpr std::int16_t kAgcMantissaFloor = 1536;
inline constexpr std::int16_t kAgcMantissaLow = 0x3000;
inline constexpr std::int16_t kAgcMantissaHigh = 0x5FFF;
inline constexpr std::int16_t kAgcExponentMin = -10;
inline constexpr std::int16_t kAgcExponentMax = 10;
// What the mantissa gains per sample of silence.
inline constexpr std::int32_t kAgcRise = 960;

// Clears the average and the freeze flag and sets the gain.
void InitAgcGain(AgcGain& agc, int exponent, int mantissa);

// From now on the gain stays as it is.
void FreezeAgc(AgcGain& agc);

// output[i] := input[i] x gain, held to -32767..32767, over the shorter of the
// two; unless frozen the gain follows each output sample.
void RunAgc(AgcGain& agc, std::span<const std::int32_t> input, std::span<std::int32_t> output);

}  // namespace pump
