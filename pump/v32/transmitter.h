// The V.32/V.32bis transmitter: the symbol of each start-up and data
// signal, and the three-phase shaping onto the 1800 Hz carrier at 7200 Hz
// (three samples per symbol).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pump/v32/encoder.h"
#include "pump/v32/scrambler.h"
#include "pump/v32/signal_sets.h"

namespace pump::v32 {

// Points of the start-up signals.
inline constexpr Point kPointA = kFourPointSet[0];
inline constexpr Point kPointB = kFourPointSet[2];
inline constexpr Point kPointC = kFourPointSet[3];
inline constexpr Point kPointD = kFourPointSet[1];

enum class TxSignal : std::uint8_t {
  kSilence,
  kAA, kCC, kAC, kCA,  // the tones of the start-up (A and C repeated or alternating)
  kS, kSbar,           // ABAB... and CDCD...
  kTrn2, kTrn4,        // scrambled ones on two or four points
  kRateWord,           // the rate word repeated, two bits per symbol
  kData,               // 128 symbols of scrambled ones, then the caller's bits
};

inline constexpr int kOnesBeforeData = 128;

struct TxSymbolState {
  Polynomial polynomial = Polynomial::kCaller;
  Scrambler scrambler;
  Encoder encoder;
  DataRate rate = DataRate::k4800;
  std::uint16_t word = 0;      // the rate word being sent
  std::uint8_t word_pairs = 0; // pairs of the word sent so far (0..7)
  std::uint8_t alternation = 0;
  std::int32_t ones_left = kOnesBeforeData;
};

// The next symbol of the signal. Data takes its bits (first in bit 0) from
// `data_bits` once the 128 symbols of ones are sent; `took_data` says
// whether it did.
Point NextSymbol(TxSymbolState& s, TxSignal signal, std::uint32_t data_bits = 0,
                 bool* took_data = nullptr);

// Enters data at a rate: 128 symbols of ones first.
void StartData(TxSymbolState& s, DataRate rate);
// TRN starts from a cleared scrambler, which the far receiver reproduces.
inline void StartTraining(TxSymbolState& s) { s.scrambler = {}; }
// Starts sending a rate word (or E) from its least significant pair.
void StartWord(TxSymbolState& s, std::uint16_t word);

// Pulse shaping: three phases of 16 taps over the last 16 symbols (oldest
// first), Q15.
inline constexpr std::array<std::array<std::int32_t, 16>, 3> kShapingTaps = {{
    {-208, 308, -445, 642, -945, 1497, -2921, 20852, 4130, -1805, 1089, -727, 503, -349, 238, -156},
    {-361, 542, -789, 1135, -1654, 2536, -4485, 13856, 13856, -4485, 2536, -1654, 1135, -789, 542, -361},
    {-156, 238, -349, 503, -727, 1089, -1805, 4130, 20852, -2921, 1497, -945, 642, -445, 308, -208},
}};

struct Modulator {
  std::array<Point, 16> history{};  // ring of the last 16 symbols
  std::uint32_t newest = 0;         // index of the newest symbol
  std::uint32_t carrier = 0;        // 27-bit phase
  std::int32_t gain = 8192;         // output gain, 8192 = unity (x gain >> 13)
};

// Shapes one symbol into its three line samples (saturated to 16 bits).
void ModulateSymbol(Modulator& m, Point symbol, std::span<std::int16_t, 3> out);

}  // namespace pump::v32
