// The nine sample rates of the line codec and how each relates to the
// telephone line's 8000 Hz: codec rate / line rate = up / down exactly.
#pragma once

#include <array>
#include <cstdint>

namespace plat::line {

inline constexpr std::uint32_t kLineRateHz = 8000;

struct CodecRate {
  std::uint8_t code;     // the codec's rate-register code
  std::uint32_t hz_num;  // rate in Hz = hz_num / hz_den
  std::uint32_t hz_den;
  std::uint32_t up;  // codec rate / 8000 = up / down, in lowest terms
  std::uint32_t down;
  std::uint32_t pass_hz;  // the band carried flat ...
  std::uint32_t stop_hz;  // ... and where aliases and images are held down
};

inline constexpr std::array<CodecRate, 9> kCodecRates = {{
    {0, 7200, 1, 9, 10, 3200, 3600},
    {1, 8000, 1, 1, 1, 4000, 4000},
    {2, 57600, 7, 36, 35, 3700, 4300},
    {3, 8400, 1, 21, 20, 3700, 4300},
    {4, 9000, 1, 9, 8, 3700, 4300},
    {5, 9600, 1, 6, 5, 3700, 4300},
    {6, 72000, 7, 9, 7, 3700, 4300},
    {7, 16000, 1, 2, 1, 3700, 4300},
    {8, 96000, 7, 12, 7, 3700, 4300},
}};

inline constexpr double RateHz(const CodecRate& rate) {
  return static_cast<double>(rate.hz_num) / rate.hz_den;
}

}  // namespace plat::line
