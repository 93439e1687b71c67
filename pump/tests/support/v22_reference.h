// A double-precision V.22/V.22bis reference, written from the
// recommendations and independent of the data pump: the scrambler
// (1 + x^-14 + x^-17, with the inversion after 64 ones), the quadrant
// coding and the 4- and 16-point mapping, a square-root raised-cosine
// (75 %) modulator at 9600 Hz, and a coherent demodulator that knows the
// carrier and the symbol timing. Tests hold the modem's signals against it.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace pump::testing::v22 {

inline constexpr double kSampleRate = 9600;
inline constexpr int kSamplesPerSymbol = 16;  // 600 symbols a second
inline constexpr double kRolloff = 0.75;
inline constexpr int kPulseSymbols = 6;  // the pulse reaches this many symbols each side
// A symbol's pulse peaks this many samples after the symbol starts.
inline constexpr int kPulseDelay = kPulseSymbols * kSamplesPerSymbol;

// The self-synchronising scrambler: out = in ^ out[-14] ^ out[-17]; after
// 64 consecutive output ones the next input bit is inverted first.
class Scrambler {
 public:
  int Scramble(int bit);

 private:
  unsigned history_ = 0;  // bit k: the output k + 1 bits ago
  int ones_ = 0;
};

// Its inverse: in = out ^ out[-14] ^ out[-17], the bit after 64 received
// ones inverted back.
class Descrambler {
 public:
  int Descramble(int bit);

 private:
  unsigned history_ = 0;
  int ones_ = 0;
};

// Bits to points (units: the inner points are (+-1, +-1), the outer +-3):
// each symbol takes 2 bits (1200 bit/s) or 4 (2400 bit/s), first bit
// first. Its first two bits turn the quadrant (00 by 90 degrees, 01 not,
// 11 by 270, 10 by 180); at 2400 bit/s the last two pick the point in the
// quadrant (00 (1, 1), 01 (3, 1), 10 (1, 3), 11 (3, 3) in the first,
// rotated with it); at 1200 bit/s the point is (3, 1) rotated. The quadrant
// starts at the first (0).
class Encoder {
 public:
  explicit Encoder(int bits_per_symbol) : bits_per_symbol_(bits_per_symbol) {}
  // `bits` holds whole symbols.
  std::vector<std::complex<double>> Encode(std::span<const int> bits);

 private:
  int bits_per_symbol_;
  int quadrant_ = 0;
};

// The nearest point's bits, decoded against the previous symbol's quadrant.
class Decoder {
 public:
  explicit Decoder(int bits_per_symbol) : bits_per_symbol_(bits_per_symbol) {}
  std::vector<int> Decode(std::span<const std::complex<double>> points);

 private:
  int bits_per_symbol_;
  int quadrant_ = 0;
};

// The square-root raised-cosine pulse (75 % roll-off) at `t` symbols from its peak.
double Pulse(double t);

// Line samples of `symbols` (one every 16 samples from sample 0, pulses
// peaking kPulseDelay later) on a carrier of `carrier_hz` from phase 0:
// I cos - Q sin. The signal runs until the last pulse has ended.
std::vector<double> Modulate(std::span<const std::complex<double>> symbols, double carrier_hz);

// The symbols back from `samples` made as Modulate makes them: mixed down
// (I = 2 s cos, Q = -2 s sin), matched-filtered, taken at each peak.
std::vector<std::complex<double>> Demodulate(std::span<const double> samples, double carrier_hz,
                                             std::size_t symbols);

// The symbols of a modem's line signal in which symbol k starts at sample
// 16 k and its 8-symbol pulse peaks 63.5 samples later (the modem's
// interpolator): Demodulate on the signal moved to this reference's timing.
std::vector<std::complex<double>> DemodulateModem(std::span<const double> samples,
                                                  double carrier_hz, std::size_t symbols);

}  // namespace pump::testing::v22
