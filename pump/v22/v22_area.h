// The V.22/V.22bis transmitter's record.
#pragma once

#include <cstdint>

namespace pump {

// Transmit mode bits.
enum V22TxModeBits : std::uint16_t {
  kV22TwoBits = 0x01,     // 0x01 or 0x02: 2 bits a symbol (1200 bit/s); neither: 4 (2400 bit/s)
  kV22TwoBitsAlso = 0x02,
  kV22Scrambled = 0x04,
  kV22S1 = 0x08,          // S1: unscrambled double dibits 00 and 11
  kV22Ones = 0x10,        // ones instead of framer data
};

// The modes the sequences use.
enum V22TxMode : std::uint16_t {
  kV22UnscrambledOnes1200 = 17,
  kV22SendS1 = 9,
  kV22ScrambledOnes1200 = 21,
  kV22ScrambledOnes2400 = 20,
  kV22Data2400 = 4,
  kV22Data1200 = 5,
};

inline constexpr int kV22SamplesPerSymbol = 16;  // 600 symbols a second at 9600 Hz
inline constexpr int kV22ShapingTaps = 8;

struct V22TxRecord {
  std::uint16_t cleared;
  std::uint16_t mode;
  std::uint32_t group;            // the bits taken for the symbol
  std::uint32_t s1_toggle;
  std::uint32_t scrambled_group;
  std::uint32_t point;            // 0 to 15
  std::uint32_t scrambler;        // 17 bits, the newest output in bit 16
  std::int32_t scrambler_ones;    // consecutive output ones
  std::int32_t quadrant;          // 0, 4, 8 or 12
  std::int32_t sample_in_symbol;  // 0 to 15
  std::int16_t carrier_cos;
  std::int16_t carrier_sin;
  std::int16_t symbol_i;
  std::int16_t symbol_q;
  std::int16_t history_i[2 * kV22ShapingTaps];  // each symbol at k and k + 8
  std::int16_t history_q[2 * kV22ShapingTaps];
  std::uint16_t history_index;  // where the newest symbol is
  std::int16_t shaped_i;
  std::int16_t shaped_q;
  std::int32_t carrier_phase;
  std::int16_t carrier_increment;  // 8192 (1200 Hz) or 16384 (2400 Hz)
  std::uint16_t retrain_started;
  std::int16_t output_gain;  // Q15
};

}  // namespace pump
