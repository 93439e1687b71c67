#include "pump/tests/support/v22_reference.h"

#include <cmath>
#include <limits>

namespace pump::testing::v22 {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRunOfOnes = 64;

int Tap(unsigned history, int bits_ago) { return static_cast<int>((history >> (bits_ago - 1)) & 1u); }

// Quadrant turns (in quarter turns) by the value of the first two bits.
constexpr int kTurn[4] = {1, 0, 2, 3};  // 00, 01, 10, 11

std::complex<double> InFirstQuadrant(int position) {
  switch (position) {
    case 0: return {1, 1};
    case 1: return {3, 1};
    case 2: return {1, 3};
    default: return {3, 3};
  }
}

std::complex<double> Rotated(std::complex<double> point, int quadrant) {
  for (int k = 0; k < quadrant; ++k) point *= std::complex<double>(0, 1);
  return point;
}

}  // namespace

int Scrambler::Scramble(int bit) {
  if (ones_ == kRunOfOnes) {
    bit ^= 1;
    ones_ = 0;
  }
  const int out = bit ^ Tap(history_, 14) ^ Tap(history_, 17);
  history_ = (history_ << 1 | static_cast<unsigned>(out)) & 0x1FFFFu;
  ones_ = out == 1 ? ones_ + 1 : 0;
  return out;
}

int Descrambler::Descramble(int bit) {
  int out = bit ^ Tap(history_, 14) ^ Tap(history_, 17);
  if (ones_ == kRunOfOnes) {
    out ^= 1;
    ones_ = 0;
  }
  history_ = (history_ << 1 | static_cast<unsigned>(bit)) & 0x1FFFFu;
  ones_ = bit == 1 ? ones_ + 1 : 0;
  return out;
}

std::vector<std::complex<double>> Encoder::Encode(std::span<const int> bits) {
  std::vector<std::complex<double>> points;
  for (std::size_t at = 0; at + static_cast<std::size_t>(bits_per_symbol_) <= bits.size();
       at += static_cast<std::size_t>(bits_per_symbol_)) {
    quadrant_ = (quadrant_ + kTurn[bits[at] * 2 + bits[at + 1]]) % 4;
    const int position = bits_per_symbol_ == 4 ? bits[at + 2] * 2 + bits[at + 3] : 1;
    points.push_back(Rotated(InFirstQuadrant(position), quadrant_));
  }
  return points;
}

std::vector<int> Decoder::Decode(std::span<const std::complex<double>> points) {
  std::vector<int> bits;
  for (const std::complex<double> point : points) {
    int best_quadrant = 0;
    int best_position = 0;
    double best = std::numeric_limits<double>::max();
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
      for (int position = 0; position < 4; ++position) {
        if (bits_per_symbol_ == 2 && position != 1) continue;
        const double d = std::norm(point - Rotated(InFirstQuadrant(position), quadrant));
        if (d < best) {
          best = d;
          best_quadrant = quadrant;
          best_position = position;
        }
      }
    }
    const int turn = (best_quadrant - quadrant_ + 4) % 4;
    quadrant_ = best_quadrant;
    for (int value = 0; value < 4; ++value) {
      if (kTurn[value] != turn) continue;
      bits.push_back(value >> 1);
      bits.push_back(value & 1);
    }
    if (bits_per_symbol_ == 4) {
      bits.push_back(best_position >> 1);
      bits.push_back(best_position & 1);
    }
  }
  return bits;
}

double Pulse(double t) {
  const double b = kRolloff;
  if (std::abs(t) < 1e-12) return 1 - b + 4 * b / kPi;
  if (std::abs(std::abs(4 * b * t) - 1) < 1e-12) {
    return b / std::sqrt(2.0) *
           ((1 + 2 / kPi) * std::sin(kPi / (4 * b)) + (1 - 2 / kPi) * std::cos(kPi / (4 * b)));
  }
  return (std::sin(kPi * t * (1 - b)) + 4 * b * t * std::cos(kPi * t * (1 + b))) /
         (kPi * t * (1 - (4 * b * t) * (4 * b * t)));
}

std::vector<double> Modulate(std::span<const std::complex<double>> symbols, double carrier_hz) {
  const std::size_t n = (symbols.size() + 2 * kPulseSymbols) * kSamplesPerSymbol;
  std::vector<std::complex<double>> baseband(n);
  for (std::size_t k = 0; k < symbols.size(); ++k) {
    const std::size_t peak = k * kSamplesPerSymbol + kPulseDelay;
    for (int d = -kPulseDelay; d <= kPulseDelay; ++d) {
      baseband[peak + static_cast<std::size_t>(d)] +=
          symbols[k] * Pulse(static_cast<double>(d) / kSamplesPerSymbol);
    }
  }
  std::vector<double> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double w = 2 * kPi * carrier_hz * static_cast<double>(i) / kSampleRate;
    out[i] = baseband[i].real() * std::cos(w) - baseband[i].imag() * std::sin(w);
  }
  return out;
}

std::vector<std::complex<double>> Demodulate(std::span<const double> samples, double carrier_hz,
                                             std::size_t symbols) {
  // The matched filter's gain: the pulse's energy per symbol.
  double energy = 0;
  for (int d = -kPulseDelay; d <= kPulseDelay; ++d) {
    energy += Pulse(static_cast<double>(d) / kSamplesPerSymbol) *
              Pulse(static_cast<double>(d) / kSamplesPerSymbol);
  }
  std::vector<std::complex<double>> points;
  for (std::size_t k = 0; k < symbols; ++k) {
    const std::size_t peak = k * kSamplesPerSymbol + kPulseDelay;
    std::complex<double> sum = 0;
    for (int d = -kPulseDelay; d <= kPulseDelay; ++d) {
      const std::size_t i = peak + static_cast<std::size_t>(d);
      if (i >= samples.size()) break;
      const double w = 2 * kPi * carrier_hz * static_cast<double>(i) / kSampleRate;
      const std::complex<double> mixed(2 * samples[i] * std::cos(w), -2 * samples[i] * std::sin(w));
      sum += mixed * Pulse(static_cast<double>(d) / kSamplesPerSymbol);
    }
    points.push_back(sum / energy);
  }
  return points;
}

std::vector<std::complex<double>> DemodulateModem(std::span<const double> samples,
                                                  double carrier_hz, std::size_t symbols) {
  std::vector<double> aligned(kPulseDelay - 64, 0.0);
  aligned.insert(aligned.end(), samples.begin(), samples.end());
  return Demodulate(aligned, carrier_hz, symbols);
}

}  // namespace pump::testing::v22
