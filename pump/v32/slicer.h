// Decisions: the nearest point of a set, and per subset for the trellis
// rates (subset k: the points whose number has k in its low three bits).
#pragma once

#include <array>
#include <cstdint>

#include "pump/v32/signal_sets.h"

namespace pump::v32 {

struct Candidate {
  std::uint16_t index = 0;
  std::int64_t distance = 0;  // squared
};

std::int64_t SquaredDistance(Point a, Point b);

// The nearest point of the rate's whole set.
Candidate NearestPoint(DataRate rate, Point received);

// The nearest point of each of the eight subsets of a trellis rate.
std::array<Candidate, 8> SubsetCandidates(DataRate rate, Point received);

}  // namespace pump::v32
