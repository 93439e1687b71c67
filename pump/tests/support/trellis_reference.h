// The 8-state trellis coding that V.32bis and V.17 share, written as the
// recommendations' equations, and V.17's signal sets: a reference for the
// transmitters' encoders in tests.
#pragma once

#include <array>

namespace pump::trellis_reference {

// Q1 Q2 differentially encoded into Y1 Y2, and the systematic
// convolutional encoder whose first delay element is Y0. Both start cleared.
class TrellisEquations {
 public:
  // One symbol's Q1 Q2; returns its subset Y0 | Y1 << 1 | Y2 << 2.
  unsigned Encode(int q1, int q2) {
    const int y1 = q1 ^ y1_;
    const int y2 = (q1 & y1_) ^ y2_ ^ q2;
    y1_ = y1;
    y2_ = y2;
    const int y0 = w1_;
    const int w1 = w2_ ^ y2 ^ (w1_ & y1);
    const int w2 = w3_ ^ y1 ^ y2 ^ (w1_ & w2_) ^ (w1_ & y2);
    w3_ = w1_;
    w1_ = w1;
    w2_ = w2;
    return static_cast<unsigned>(y0 | y1 << 1 | y2 << 2);
  }

 private:
  int y1_ = 0, y2_ = 0;           // the previous coded pair
  int w1_ = 0, w2_ = 0, w3_ = 0;  // the encoder's delay elements
};

#include "pump/tests/support/v17_signal_sets.inc"

// V.17's point for a symbol of `bits_per_symbol` (3 to 6) bits: its subset
// times 2^(bits - 2) plus the uncoded bits Q3 Q4 ... (Q3 lowest).
inline std::array<int, 2> V17SetPoint(int bits_per_symbol, unsigned subset, unsigned uncoded) {
  const unsigned index = subset << (bits_per_symbol - 2) | uncoded;
  switch (bits_per_symbol) {
    case 3: return kV17Set7200[index];
    case 4: return kV17Set9600[index];
    case 5: return kV17Set12000[index];
    default: return kV17Set14400[index];
  }
}

}  // namespace pump::trellis_reference
