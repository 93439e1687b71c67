#include "platform/line/exchange/dtmf_receiver.h"

#include <algorithm>

#include "platform/line/codec_rates.h"
#include "platform/line/levels.h"

namespace plat::line::exchange {
namespace {

// Low group (rows) first, then the high group (columns).
constexpr std::array<double, 8> kHz = {697.0, 770.0, 852.0, 941.0, 1209.0, 1336.0, 1477.0, 1633.0};
constexpr char kKeys[4][4] = {
    {'1', '2', '3', 'A'}, {'4', '5', '6', 'B'}, {'7', '8', '9', 'C'}, {'*', '0', '#', 'D'}};

double DbToPower(double db) {
  const double a = DbToAmplitude(db);
  return a * a;
}

// The Goertzel power of a sine of amplitude A at its own frequency over a
// block: (A N / 2)^2.
double PowerOfSine(double dbm0) {
  const double half = SinePeak(dbm0) * DtmfReceiver::kBlock / 2.0;
  return half * half;
}

// The strongest frequency of a group of four, when it stands clear of the others.
int Strongest(const double* power, double margin) {
  const int best = static_cast<int>(std::max_element(power, power + 4) - power);
  for (int i = 0; i < 4; ++i) {
    if (i != best && power[i] * margin > power[best]) return -1;
  }
  return best;
}

}  // namespace

DtmfReceiver::DtmfReceiver() {
  for (std::size_t i = 0; i < kHz.size(); ++i) {
    coefficients_[i] = 2.0 * CosPi(2.0 * kHz[i] / kLineRateHz);
  }
}

void DtmfReceiver::Reset(std::int64_t first) {
  s1_.fill(0.0);
  s2_.fill(0.0);
  energy_.fill(0.0);
  count_ = 0;
  block_start_ = first;
  last_ = 0;
  current_.reset();
}

bool DtmfReceiver::Step(std::int16_t sample) {
  const double x = sample;
  for (std::size_t i = 0; i < 8; ++i) {
    const double s = x + coefficients_[i] * s1_[i] - s2_[i];
    s2_[i] = s1_[i];
    s1_[i] = s;
  }
  energy_[count_ < kBlock / 2 ? 0 : 1] += x * x;
  if (++count_ < kBlock) return false;
  for (std::size_t i = 0; i < 8; ++i) {
    power_[i] = s1_[i] * s1_[i] + s2_[i] * s2_[i] - coefficients_[i] * s1_[i] * s2_[i];
  }
  block_energy_ = energy_;
  s1_.fill(0.0);
  s2_.fill(0.0);
  energy_.fill(0.0);
  count_ = 0;
  block_start_ += kBlock;
  return true;
}

char DtmfReceiver::BlockDigit() const {
  const int row = Strongest(&power_[0], DbToPower(kGroupMarginDb));
  const int column = Strongest(&power_[4], DbToPower(kGroupMarginDb));
  if (row < 0 || column < 0) return 0;
  const double r = power_[static_cast<std::size_t>(row)];
  const double c = power_[static_cast<std::size_t>(4 + column)];
  const double floor = PowerOfSine(kMinDbm0);
  if (r < floor || c < floor) return 0;
  const double twist = DbToPower(kMaxTwistDb);
  if (r > c * twist || c > r * twist) return 0;
  // A sine's Goertzel power is N/2 times its share of the block's energy.
  const double energy = block_energy_[0] + block_energy_[1];
  if ((r + c) * 2.0 / kBlock < kMinShareOfEnergy * energy) return 0;
  const double halves = DbToPower(kHalvesDb);
  if (block_energy_[0] * halves < block_energy_[1] || block_energy_[1] * halves < block_energy_[0]) {
    return 0;
  }
  return kKeys[row][column];
}

}  // namespace plat::line::exchange
