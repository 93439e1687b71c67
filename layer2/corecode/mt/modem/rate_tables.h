// The connection's rates: the data pump's rate codes and rate indices as
// bit/s, and the masks of allowed rates for command 0x64.
#pragma once

#include <array>
#include <cstdint>

namespace vxctl {

// Classic rate codes (the answer to command 0x70): codes 0 and 1 are the
// two directions of V.23, 2 to 9 the same rate both ways.
struct ClassicRate {
  std::uint16_t tx;
  std::uint16_t rx;
};
inline constexpr std::array<ClassicRate, 10> kClassicRates{{{1200, 75},
                                                             {75, 1200},
                                                             {300, 300},
                                                             {1200, 1200},
                                                             {2400, 2400},
                                                             {4800, 4800},
                                                             {7200, 7200},
                                                             {9600, 9600},
                                                             {12000, 12000},
                                                             {14400, 14400}}};

// The V.34 rate index (4 bits): 0 and 1 are 2400, k is 2400 k, 15 is 0.
inline constexpr std::array<std::uint16_t, 16> kV34Rates = [] {
  std::array<std::uint16_t, 16> rates{};
  rates[0] = 2400;
  for (std::uint16_t k = 1; k < 15; ++k) rates[k] = static_cast<std::uint16_t>(2400 * k);
  return rates;
}();

// The V.92 upstream index: 0 is 0, k = 1..19 is 24000 + 4000 (k - 1) / 3
// rounded down.
inline constexpr std::array<std::uint16_t, 20> kV92UpstreamRates = [] {
  std::array<std::uint16_t, 20> rates{};
  for (std::uint16_t k = 1; k < 20; ++k) {
    rates[k] = static_cast<std::uint16_t>(24000 + 4000 * (k - 1) / 3);
  }
  return rates;
}();

// The V.90 and V.92 downstream index.
inline constexpr std::array<std::uint16_t, 24> kDownstreamRates{
    33333, 33333, 37333, 41333, 42666, 44000, 45333, 46666, 48000, 49333, 50666, 52000,
    53333, 54666, 56000, 57333, 28000, 29333, 30666, 32000, 34666, 36000, 38666, 40000};

// A table's entry, or 0 for an index beyond it (the index comes from the
// data pump's reply and may hold anything).
template <std::size_t N>
constexpr std::uint16_t RateAt(const std::array<std::uint16_t, N>& table, std::uint32_t index) {
  return index < N ? table[index] : 0;
}

// The PCM receive masks (the high half V.90 downstream rates, the low half
// V.92 ones) of the maximum and minimum receive rate, by
// (rate - 28000) / 1333.
inline constexpr std::array<std::uint32_t, 23> kPcmMaximumMasks{
    0x00010000, 0x00030000, 0x00070000, 0x000F0000, 0x001F0001, 0x003F0001,
    0x007F0001, 0x00FF0003, 0x01FF0003, 0x03FF0003, 0x07FF0007, 0x07FF000F,
    0x07FF001F, 0x07FF003F, 0x07FF007F, 0x07FF00FF, 0x07FF01FF, 0x07FF03FF,
    0x07FF07FF, 0x07FF0FFF, 0x07FF1FFF, 0x07FF3FFF, 0x07FF7FFF};
inline constexpr std::array<std::uint32_t, 23> kPcmMinimumMasks{
    0x07FF7FFF, 0x07FF7FFF, 0x07FC7FFF, 0x07F87FFF, 0x07F07FFF, 0x07E07FFE,
    0x07C07FFE, 0x07807FFE, 0x07007FFC, 0x06007FFC, 0x04007FFC, 0x00007FF8,
    0x00007FF0, 0x00007FE0, 0x00007FC0, 0x00007F80, 0x00007F00, 0x00007E00,
    0x00007C00, 0x00007800, 0x00007000, 0x00006000, 0x00004000};

// The data pump's code of a rate in bit/s; 9 (14400) for a rate it has no
// code of.
std::uint8_t ModemTask_RateCode(std::uint16_t rate);

// The masks of command 0x64: a the transmit rates and b the V.34 receive
// rates (bit i is 2400 (i + 1)), c the PCM receive rates.
struct RateMasks {
  std::uint16_t a = 0;
  std::uint16_t b = 0;
  std::uint32_t c = 0;
  bool operator==(const RateMasks&) const = default;
};

// What decides the masks besides the four limits: only the current maximum
// is allowed while connected (code 2) with "\J" set, or with "%G" at 0
// below V.32bis.
struct RateMaskContext {
  std::uint8_t connection_code = 0;
  std::uint8_t fixed_rate = 0;  // "\J"
  std::uint8_t percent_g = 0;   // "%G"
};

// The masks for modulation m above 7 and the limits in bit/s.
RateMasks rate_masks(std::uint8_t m, std::uint16_t tmin, std::uint16_t tmax, std::uint16_t rmin,
                     std::uint16_t rmax, const RateMaskContext& context);

}  // namespace vxctl
