#include "pump/fax/fax_rx_decisions.h"

#include <array>

#include "pump/core/fixed_point.h"
#include "pump/fax/fax_area.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/fax/fax_rx_trellis.h"

namespace pump {
namespace {

// The bits of a phase change: eighths of a turn, quarter turns.
constexpr std::array<std::uint32_t, 8> kEighthsToBits = {4, 0, 2, 6, 7, 3, 1, 5};
constexpr std::array<std::uint32_t, 4> kQuartersToBits = {0, 2, 3, 1};

// V.29 9600: the point by region row (index / 4) and sign column
// s = 2 (Q negative) + (I negative).
constexpr std::array<std::array<std::int32_t, 4>, 6> kV29Regions = {{
    {2, 6, 14, 10}, {0, 8, 0, 8}, {1, 9, 1, 9}, {4, 4, 12, 12}, {3, 7, 15, 11}, {5, 5, 13, 13},
}};

constexpr std::int32_t kTan22_5 = 13572;  // Q15

// V.27ter 2400 and V.29 4800: the nearest of four points a quarter turn
// apart, the phase change read as a dibit.
FaxDecision NearestOfFour(std::int32_t x, std::int32_t y, std::int32_t i, std::int32_t q, std::int32_t previous) {
  const std::int32_t point = y < x ? (i >= 0 ? 0 : 2) : (q >= 0 ? 1 : 3);
  return {point, point, kQuartersToBits[static_cast<std::size_t>((point - previous) & 3)]};
}

FaxDecision V27ter4800(std::int32_t x, std::int32_t y, std::int32_t i, std::int32_t q, int s, std::int32_t previous) {
  constexpr std::array<std::int32_t, 4> kDiagonal = {1, 3, 7, 5};
  std::int32_t point;
  if (y < ((x * kTan22_5) >> 15)) {
    point = i >= 0 ? 0 : 4;
  } else if (x < ((y * kTan22_5) >> 15)) {
    point = q >= 0 ? 2 : 6;
  } else {
    point = kDiagonal[static_cast<std::size_t>(s)];
  }
  return {point, point, kEighthsToBits[static_cast<std::size_t>((point - previous) & 7)]};
}

int V29Row(std::int32_t x, std::int32_t y) {
  if (x <= 1344) return y > 3584 ? 5 : x / 2 + 1568 < y ? 3 : 0;
  if (3 * x / 2 + 1568 < y) return 5;
  if (x <= 3584) {
    if (y <= 1344) return 2 * x - 3136 < y ? 0 : 1;
    return 3584 - x < y ? 4 : 0;
  }
  return 3 * y < 2 * x - 3136 ? 2 : 4;
}

FaxDecision V29_9600(std::int32_t x, std::int32_t y, int s, std::int32_t previous) {
  const std::int32_t point = kV29Regions[static_cast<std::size_t>(V29Row(x, y))][static_cast<std::size_t>(s)];
  const std::int32_t phase = point / 2;
  return {point, phase, kEighthsToBits[static_cast<std::size_t>((phase - previous) & 7)] << 1 | static_cast<std::uint32_t>(point & 1)};
}

FaxDecision V29_7200(std::int32_t x, std::int32_t y, int s, std::int32_t previous) {
  int row;
  if (5632 - x < y) {
    row = x < y ? 3 : 1;
  } else {
    row = x / 2 + 2464 < y ? 3 : y / 2 + 2464 < x ? 1 : 0;
  }
  const std::int32_t point = kV29Regions[static_cast<std::size_t>(row)][static_cast<std::size_t>(s)] / 2;
  return {point, point, kEighthsToBits[static_cast<std::size_t>((point - previous) & 7)]};
}

void Write(FaxRxRecord& rx, FaxPoint p) {
  rx.d_i = 64 * p.i;
  rx.d_q = 64 * p.q;
}

}  // namespace

FaxDecision FaxDecideUncoded(std::uint16_t mode_word, std::int32_t i, std::int32_t q, std::int32_t previous_phase) {
  const std::int32_t x = AbsOnesComplement(i);
  const std::int32_t y = AbsOnesComplement(q);
  const int s = (q < 0 ? 2 : 0) + (i < 0 ? 1 : 0);
  if ((mode_word & kFaxModulationMask) == kFaxV29) {
    switch (mode_word & 0x0F) {
      case 1:
        return V29_7200(x, y, s, previous_phase);
      case 2:
        return NearestOfFour(x, y, i, q, previous_phase);
      default:
        return V29_9600(x, y, s, previous_phase);
    }
  }
  return (mode_word & 0x0F) == 1 ? NearestOfFour(x, y, i, q, previous_phase) : V27ter4800(x, y, i, q, s, previous_phase);
}

void FaxDecide(FaxRxRecord& rx) {
  if (rx.modulation == kFaxV17) {
    FaxTrellisDecide(rx);
    return;
  }
  const FaxDecision d = FaxDecideUncoded(rx.mode_word, rx.y_i, rx.y_q, rx.previous_phase);
  rx.previous_phase = d.phase;
  rx.point = d.point;
  rx.decoded = d.bits;
  rx.valid = 1;
  Write(rx, rx.data_points[d.point]);
}

void FaxTrainingReference(FaxRxRecord& rx) {
  std::uint32_t& r = rx.descrambler;
  switch (rx.modulation) {
    case kFaxV17: {
      constexpr std::array<int, 4> kPoint = {2, 1, 3, 0};
      const std::uint32_t bits = ((r >> 5) ^ ~r) & 3;
      r = (r >> 2) | bits << 21;
      rx.point = kPoint[bits];
      break;
    }
    case kFaxV29: {
      const std::uint32_t bit = (r ^ (r >> 1)) & 1;
      r = (r >> 1) | bit << 6;
      rx.point = 2 + static_cast<std::int32_t>(bit);
      break;
    }
    default: {
      // Three outputs of 1 + x^-6 + x^-7 on ones; bit 11 holds the newest
      // output, so output j reads the outputs 6 and 7 before it at bits 6 + j and 5 + j.
      const std::uint32_t out = ~((r >> 6) ^ (r >> 5)) & 7;
      r = ((r >> 3) | out << 9) & 0xFFF;
      const int half_turn = rx.bits == 2 ? 2 : 4;
      rx.previous_phase = (rx.previous_phase + static_cast<std::int32_t>(out & 1) * half_turn) & (2 * half_turn - 1);
      rx.point = rx.previous_phase;
      Write(rx, rx.data_points[rx.point]);
      rx.valid = 1;
      return;
    }
  }
  Write(rx, rx.training_points[rx.point]);
  rx.valid = 1;
}

}  // namespace pump
