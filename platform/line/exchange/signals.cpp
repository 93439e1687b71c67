#include "platform/line/exchange/signals.h"

#include <algorithm>
#include <cmath>

#include "platform/line/codec_rates.h"
#include "platform/line/levels.h"
#include "platform/line/scripted_peer.h"

namespace plat::line::exchange {
namespace {

constexpr std::uint32_t kBaud = 1200;

std::int16_t ToSample(double v) {
  return static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
}

struct DtmfKey {
  char key;
  double low_hz;
  double high_hz;
};
constexpr DtmfKey kDtmfKeys[] = {
    {'1', 697, 1209}, {'2', 697, 1336}, {'3', 697, 1477}, {'A', 697, 1633},
    {'4', 770, 1209}, {'5', 770, 1336}, {'6', 770, 1477}, {'B', 770, 1633},
    {'7', 852, 1209}, {'8', 852, 1336}, {'9', 852, 1477}, {'C', 852, 1633},
    {'*', 941, 1209}, {'0', 941, 1336}, {'#', 941, 1477}, {'D', 941, 1633},
};

}  // namespace

BitStream& BitStream::Alternations(int count) {
  for (int i = 0; i < count; ++i) bits_.push_back(static_cast<std::uint8_t>(i & 1));
  return *this;
}

BitStream& BitStream::Marks(int count) {
  bits_.insert(bits_.end(), static_cast<std::size_t>(count), 1);
  return *this;
}

BitStream& BitStream::Byte(std::uint8_t byte) {
  bits_.push_back(0);
  for (int i = 0; i < 8; ++i) bits_.push_back((byte >> i) & 1);
  bits_.push_back(1);
  return *this;
}

BitStream& BitStream::Bytes(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) Byte(b);
  return *this;
}

std::vector<std::int16_t> RenderFsk(FskTones tones, const BitStream& bits, double dbm0) {
  const std::vector<std::uint8_t>& b = bits.bits();
  // Bit k covers the samples n with floor(n x 1200 / 8000) == k.
  const std::size_t count = (b.size() * kLineRateHz + kBaud - 1) / kBaud;
  std::vector<std::int16_t> out(count);
  const double peak = SinePeak(dbm0);
  std::uint32_t cycles_x8000 = 0;  // the phase in units of 1/8000 turn
  for (std::size_t n = 0; n < count; ++n) {
    out[n] = ToSample(peak * SinPi(cycles_x8000 / 4000.0));
    const std::uint8_t bit = b[n * kBaud / kLineRateHz];
    cycles_x8000 = (cycles_x8000 + (bit ? tones.mark_hz : tones.space_hz)) % kLineRateHz;
  }
  return out;
}

std::vector<std::int16_t> RenderTones(double hz1, double hz2, std::uint32_t ms, double dbm0) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(LineSamplesInMs(ms)));
  const double peak = SinePeak(dbm0);
  for (std::size_t n = 0; n < out.size(); ++n) {
    const auto i = static_cast<std::int64_t>(n);
    double v = 0.0;
    if (hz1 != 0.0) v += ToneAt(hz1, i);
    if (hz2 != 0.0) v += ToneAt(hz2, i);
    out[n] = ToSample(peak * v);
  }
  return out;
}

std::vector<std::int16_t> RenderSilence(std::uint32_t ms) {
  return std::vector<std::int16_t>(static_cast<std::size_t>(LineSamplesInMs(ms)), 0);
}

std::vector<std::int16_t> RenderDtmf(const std::string& digits, std::uint32_t on_ms,
                                     std::uint32_t off_ms, double dbm0) {
  std::vector<std::int16_t> out;
  bool first = true;
  for (char c : digits) {
    const auto key = std::find_if(std::begin(kDtmfKeys), std::end(kDtmfKeys),
                                  [c](const DtmfKey& k) { return k.key == c; });
    if (key == std::end(kDtmfKeys)) continue;
    if (!first) Append(out, RenderSilence(off_ms));
    first = false;
    Append(out, RenderTones(key->low_hz, key->high_hz, on_ms, dbm0));
  }
  return out;
}

void Append(std::vector<std::int16_t>& to, const std::vector<std::int16_t>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace plat::line::exchange
