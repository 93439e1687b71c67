#include "pump/v32/tests/reference.h"

#include <array>
#include <cmath>

#include "pump/tests/support/trellis_reference.h"
#include "pump/v32/transmitter.h"

namespace pump::v32::reference {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Turns a point by quarter turns counter-clockwise.
PointD Turn(PointD p, int quarters) {
  for (int k = 0; k < (quarters & 3); ++k) p = {-p.q, p.i};
  return p;
}

}  // namespace

int BitScrambler::Scramble(int in) {
  const int out = in ^ past_[near_ - 1] ^ past_[22];
  past_.push_front(out);
  past_.pop_back();
  return out;
}

int BitScrambler::Descramble(int line) {
  const int out = line ^ past_[near_ - 1] ^ past_[22];
  past_.push_front(line);
  past_.pop_back();
  return out;
}

PointD TrellisPoint(DataRate rate, unsigned label) {
  // The fax modem numbers a point subset first: subset (Y2 Y1 Y0) times
  // 2^(uncoded bits) plus the uncoded bits; V.32 puts the uncoded bits above
  // Y2 Y1 Y0. Its coordinates are twice the V.32 diagrams' in units of 1/8.
  const int bits = ModeOf(rate).bits;
  const std::array<int, 2> p = trellis_reference::V17SetPoint(bits, label & 7, label >> 3);
  return {p[0] * 128.0, p[1] * 128.0};
}

PointD Encoder::Encode(std::uint32_t scrambled) {
  const int q1 = scrambled & 1;
  const int q2 = (scrambled >> 1) & 1;
  const RateMode mode = ModeOf(rate_);
  if (!mode.trellis) {
    // Q1 Q2: 00 turns +90 degrees, 01 keeps the quadrant, 10 turns 180, 11 turns 270.
    static constexpr int kTurn[2][2] = {{1, 0}, {2, 3}};  // [Q1][Q2]
    quadrant_ = (quadrant_ + kTurn[q1][q2]) & 3;
    // The first-quadrant point, then turned: 4800 (3, 1); 9600 by Q3 Q4.
    PointD base{3, 1};
    if (mode.bits == 4) {
      static constexpr double kNinety[4][2] = {{1, 1}, {1, 3}, {3, 1}, {3, 3}};  // [Q3 + 2 Q4]
      const int q34 = (scrambled >> 2) & 3;
      base = {kNinety[q34][0], kNinety[q34][1]};
    }
    const PointD p = Turn(base, quadrant_);
    return {p.i * 2048, p.q * 2048};
  }
  const unsigned label = trellis_.Encode(q1, q2) | (scrambled & 0x3C) << 1;
  return TrellisPoint(rate_, label);
}

std::vector<PointD> Demodulate(const std::vector<double>& samples) {
  const double omega = 2 * kPi * 1800.0 / 7200.0;
  std::vector<double> pulse(48);
  double energy = 0;
  for (int j = 0; j < 16; ++j) {
    for (int p = 0; p < 3; ++p) {
      pulse[3 * j + p] = kShapingTaps[p][15 - j] / 32768.0;
      energy += pulse[3 * j + p] * pulse[3 * j + p];
    }
  }
  std::vector<PointD> symbols;
  for (std::size_t n = 0; 3 * n + 47 < samples.size(); ++n) {
    double i = 0;
    double q = 0;
    for (int k = 0; k < 48; ++k) {
      const std::size_t t = 3 * n + static_cast<std::size_t>(k);
      const double base_i = 2 * samples[t] * std::cos(omega * static_cast<double>(t));
      const double base_q = -2 * samples[t] * std::sin(omega * static_cast<double>(t));
      i += pulse[k] * base_i;
      q += pulse[k] * base_q;
    }
    symbols.push_back({i / energy, q / energy});
  }
  return symbols;
}

PointD NearestOfFour(PointD p) {
  const PointD points[4] = {{-6144, -2048}, {-2048, 6144}, {2048, -6144}, {6144, 2048}};
  PointD best = points[0];
  double best_d = 1e300;
  for (const PointD& c : points) {
    const double d = (c.i - p.i) * (c.i - p.i) + (c.q - p.q) * (c.q - p.q);
    if (d < best_d) {
      best_d = d;
      best = c;
    }
  }
  return best;
}

int QuadrantTurnBits(PointD previous, PointD current) {
  int turns = 0;
  while (turns < 4 && (std::abs(Turn(previous, turns).i - current.i) > 1 || std::abs(Turn(previous, turns).q - current.q) > 1)) {
    ++turns;
  }
  // By turns of 90 degrees: none Q1 Q2 = 01, one 00, two 10, three 11.
  static constexpr int kBits[4] = {2, 0, 1, 3};
  return kBits[turns & 3];
}

std::vector<PointD> CallerSequence(DataRate rate, Polynomial polynomial, std::uint16_t rate_word,
                                   std::uint16_t e, const std::vector<std::uint32_t>& data) {
  const PointD a{-6144, -2048}, b{2048, -6144}, c{6144, 2048}, d{-2048, 6144};
  // TRN4's dibits Q1 Q2 = 00, 10, 01, 11 give A, D, B, C.
  const PointD by_dibit[4] = {a, d, b, c};
  std::vector<PointD> out(40, PointD{0, 0});
  for (int k = 0; k < 256; ++k) out.push_back(k % 2 == 0 ? a : b);
  for (int k = 0; k < 16; ++k) out.push_back(k % 2 == 0 ? c : d);
  BitScrambler scrambler(polynomial);
  for (int k = 0; k < 256 + 1024; ++k) {
    const int q1 = scrambler.Scramble(1);
    const int q2 = scrambler.Scramble(1);
    out.push_back(k < 256 ? (q1 != 0 ? c : a) : by_dibit[q1 | q2 << 1]);
  }
  Encoder words(DataRate::k4800);
  auto send_word = [&](std::uint16_t w) {
    for (int pair = 0; pair < 8; ++pair) {
      const int q1 = scrambler.Scramble((w >> (2 * pair)) & 1);
      const int q2 = scrambler.Scramble((w >> (2 * pair + 1)) & 1);
      out.push_back(words.Encode(static_cast<std::uint32_t>(q1 | q2 << 1)));
    }
  };
  for (int k = 0; k < 4; ++k) send_word(rate_word);
  send_word(e);
  Encoder encoder(rate);
  const int bits = ModeOf(rate).bits;
  for (std::size_t k = 0; k < 128 + data.size(); ++k) {
    const std::uint32_t in = k < 128 ? (1u << bits) - 1 : data[k - 128];
    std::uint32_t line = 0;
    for (int bit = 0; bit < bits; ++bit) line |= static_cast<std::uint32_t>(scrambler.Scramble((in >> bit) & 1)) << bit;
    out.push_back(encoder.Encode(line));
  }
  return out;
}

std::vector<double> Modulate(const std::vector<PointD>& symbols) {
  std::vector<double> out;
  const double omega = 2 * kPi * 1800.0 / 7200.0;
  for (std::size_t n = 0; n < symbols.size(); ++n) {
    for (int phase = 0; phase < 3; ++phase) {
      double i = 0;
      double q = 0;
      for (int k = 0; k < 16; ++k) {
        const std::ptrdiff_t m = static_cast<std::ptrdiff_t>(n) - 15 + k;
        if (m < 0) continue;
        i += kShapingTaps[phase][k] / 32768.0 * symbols[m].i;
        q += kShapingTaps[phase][k] / 32768.0 * symbols[m].q;
      }
      const double t = static_cast<double>(3 * n + phase);
      out.push_back(i * std::cos(omega * t) - q * std::sin(omega * t));
    }
  }
  return out;
}

}  // namespace pump::v32::reference
