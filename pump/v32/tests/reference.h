// An independent model of the V.32/V.32bis transmitter in double precision,
// written from the recommendations' equations: the scramblers bit by bit,
// differential coding as quadrant rotations, the convolutional encoder as
// its logic equations, the signal sets from their geometry (the uncoded
// sets) or from the fax modem's trellis sets under the label permutation,
// and a modulator s = I cos wt - Q sin wt.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "pump/tests/support/trellis_reference.h"
#include "pump/v32/signal_sets.h"
#include "pump/v32/scrambler.h"

namespace pump::v32::reference {

struct PointD {
  double i;
  double q;
};

class BitScrambler {
 public:
  explicit BitScrambler(Polynomial p) : near_(p == Polynomial::kCaller ? 18 : 5), past_(23, 0) {}
  int Scramble(int in);
  int Descramble(int line);

 private:
  int near_;
  std::deque<int> past_;  // past line bits, newest first
};

class Encoder {
 public:
  explicit Encoder(DataRate rate) : rate_(rate) {}
  // Q1 is bit 0 of `scrambled`.
  PointD Encode(std::uint32_t scrambled);

 private:
  DataRate rate_;
  trellis_reference::TrellisEquations trellis_;
  int quadrant_ = 2;  // turns of the uncoded sets from (3, 1); both sides start at A
};

// The fax modem's trellis point (units of the V.17 listing) of a V.32 label.
PointD TrellisPoint(DataRate rate, unsigned label);

// A coherent demodulator with the carrier and timing known (both start at
// the first sample): down-conversion, the filter matched to the shaping,
// one sample per symbol at the pulse's peak.
std::vector<PointD> Demodulate(const std::vector<double>& samples);

// Nearest of the four training points, and the bits of the quadrant turn
// from the previous point (Q1 in bit 0).
PointD NearestOfFour(PointD p);
int QuadrantTurnBits(PointD previous, PointD current);

// The caller's start and data as the recommendation builds them: silence,
// S (A B), S-bar (C D), TRN from a cleared scrambler (first 256 symbols on
// A and C), the rate word repeated four times, E once, then 128 symbols of
// ones and the data (one symbol's bits per entry).
std::vector<PointD> CallerSequence(DataRate rate, Polynomial polynomial, std::uint16_t rate_word,
                                   std::uint16_t e, const std::vector<std::uint32_t>& data);

// Our shaping taps applied to a symbol stream, mixed with an exact carrier.
std::vector<double> Modulate(const std::vector<PointD>& symbols);

}  // namespace pump::v32::reference
