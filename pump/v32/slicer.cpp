#include "pump/v32/slicer.h"

#include <limits>

namespace pump::v32 {

std::int64_t SquaredDistance(Point a, Point b) {
  const std::int64_t di = static_cast<std::int64_t>(a.i) - b.i;
  const std::int64_t dq = static_cast<std::int64_t>(a.q) - b.q;
  return di * di + dq * dq;
}

Candidate NearestPoint(DataRate rate, Point received) {
  Candidate best{0, std::numeric_limits<std::int64_t>::max()};
  for (unsigned k = 0; k < SetSize(rate); ++k) {
    const std::int64_t d = SquaredDistance(PointOf(rate, k), received);
    if (d < best.distance) best = {static_cast<std::uint16_t>(k), d};
  }
  return best;
}

std::array<Candidate, 8> SubsetCandidates(DataRate rate, Point received) {
  std::array<Candidate, 8> best;
  best.fill({0, std::numeric_limits<std::int64_t>::max()});
  for (unsigned k = 0; k < SetSize(rate); ++k) {
    const std::int64_t d = SquaredDistance(PointOf(rate, k), received);
    Candidate& c = best[k & 7];
    if (d < c.distance) c = {static_cast<std::uint16_t>(k), d};
  }
  return best;
}

}  // namespace pump::v32
