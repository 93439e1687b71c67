#include "pump/voice/line_echo.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "siglib/qvls.h"

namespace pump {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
// The update a x sample is taken in Q15 like the taps: unscaled, the step
// 17 x (2^31 - 1) / p^2 is 2^15 times what the 80 taps stand (the training
// diverges at once); scaled, the first pass's step is about 0.6 of the
// normalised LMS bound. The scaled update is rounded: a floored one turns
// every small correction into -1 and drifts all the taps down together.
constexpr int kUpdateShift = 15;
constexpr std::size_t kResidualAt = 320;
constexpr std::size_t kImprovementAt = 324;
constexpr std::size_t kValidAt = 328;

std::int32_t Saturate32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), kInt32Max));
}

std::int32_t ReadLe32(std::span<const std::uint8_t> image, std::size_t at) {
  std::uint32_t v = 0;
  for (int b = 3; b >= 0; --b) v = v << 8 | image[at + static_cast<std::size_t>(b)];
  return static_cast<std::int32_t>(v);
}

void WriteLe32(std::span<std::uint8_t> image, std::size_t at, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int b = 0; b < 4; ++b, v >>= 8) image[at + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(v);
}

// The estimate of one filter (the signal library's dot product, rounded
// at scale 15), limited to 16 bits whatever the taps hold. A refused
// product estimates no echo.
std::int32_t Estimate(const EchoFilter& filter) {
  std::int32_t sum = 0;
  if (qvlsDot_i16i32toi32_sc(filter.window.data(), filter.taps.data(), kEchoTaps, &sum, kUpdateShift) != QVLS_OK) {
    return 0;
  }
  return std::clamp(sum, -32768, 32767);
}

// taps += a x window in Q15, rounded and saturated: the window widened,
// scaled by a and added. A refused step leaves the taps as they are.
void Update(EchoFilter& filter, std::int64_t a) {
  std::array<std::int32_t, kEchoTaps> step;
  if (qvlsConvert_i16toi32(filter.window.data(), step.data(), kEchoTaps) != QVLS_OK ||
      qvlsMulConst_i32_ip_sc(Saturate32(a), step.data(), kEchoTaps, kUpdateShift) != QVLS_OK) {
    return;
  }
  qvlsAdd_i32_ip_sc(step.data(), filter.taps.data(), kEchoTaps, 0);
}

void Push(EchoFilter& filter, std::int16_t x) {
  std::copy_backward(filter.window.begin(), filter.window.end() - 1, filter.window.end());
  filter.window[0] = x;
}

std::int16_t Subtract(std::int32_t a, std::int32_t b) {
  return static_cast<std::int16_t>(std::clamp(a - b, -32768, 32767));
}

void DropProfile(LineEcho& echo) {
  echo.running.taps.fill(0);
  echo.best_improvement = 0;
  echo.best_residual = kInt32Max;
  echo.profile_valid = 0;
  echo.profile_improvement = 0;
}

// The nine training passes over the probe and its echo; the residual of
// the last pass.
void Train(LineEcho& echo, std::int32_t line_floor) {
  const std::int32_t n = echo.n;
  const std::int32_t length = 4 * n;
  std::array<std::int16_t, kEchoRing> probe{};
  std::array<std::int16_t, kEchoRing> heard{};
  std::int64_t probe_sum = 0;
  std::int64_t heard_sum = 0;
  for (std::int32_t t = 0; t < length; ++t) {
    probe[static_cast<std::size_t>(t)] = RingAt(echo.mic, std::int64_t{echo.search_at} - t);
    heard[static_cast<std::size_t>(t)] =
        RingAt(echo.line, std::int64_t{echo.search_at} - t - length - echo.delay);
    probe_sum += std::abs(probe[static_cast<std::size_t>(t)]);
    if (t >= kEchoTaps - 1) heard_sum += std::abs(heard[static_cast<std::size_t>(t)]);
  }
  const std::int32_t level = static_cast<std::int32_t>(probe_sum / 4 / n);
  const auto before = static_cast<std::int32_t>(std::min<std::int64_t>(heard_sum, kInt32Max));
  echo.training.taps = echo.running.taps;
  echo.mu = echo.measure != 0 ? 0 : SearchStep(level, echo.profile_valid != 0);
  const std::int32_t decrement = echo.mu / 100 + echo.mu / 10;
  std::int64_t residual = 0;
  for (int pass = 0; pass < kEchoPasses; ++pass) {
    echo.mu -= decrement;
    residual = 0;
    for (std::int32_t t = kEchoTaps - 1; t < length; ++t) {
      for (int k = 0; k < kEchoTaps; ++k) echo.training.window[static_cast<std::size_t>(k)] = probe[static_cast<std::size_t>(t - k)];
      const std::int32_t e = heard[static_cast<std::size_t>(t)] - Estimate(echo.training);
      residual += std::abs(e);
      Update(echo.training, (std::int64_t{e} * echo.mu) >> 12);
    }
  }
  echo.residual = static_cast<std::int32_t>(std::min<std::int64_t>(residual, kInt32Max));
  const std::int64_t improvement = std::int64_t{before} - echo.residual;

  if (echo.measure != 0) {
    echo.measure = 0;
    if (improvement > std::int64_t{echo.profile_improvement} * 3 / 4) {
      echo.best_improvement = Saturate32(improvement);
      echo.profile_improvement = echo.best_improvement;
    } else {
      DropProfile(echo);
    }
  }
  if (improvement > echo.best_improvement) {
    echo.best_improvement = Saturate32(improvement);
    echo.best_residual = echo.residual;
    echo.running.taps = echo.training.taps;
    if (echo.profile_valid != 0 && improvement > std::int64_t{echo.profile_improvement} * 3 / 2) {
      echo.profile_valid = 0;  // better taps are to be stored
    }
    if (echo.residual < before) {
      const std::int64_t q = (std::int64_t{echo.residual} << 15) / std::max(before, 1);
      const std::int64_t span = std::int64_t{length} - (kEchoTaps - 1);
      const bool done = q < 512 || q < 2048 ||
                        (q < 8192 && echo.residual * 2 < 3 * line_floor * span) ||
                        (q > 8192 && q <= 16383 && echo.residual * 4 < 3 * line_floor * span);
      if (done) {
        echo.done = 1;
        echo.save = echo.profile_valid == 0 || echo.best_improvement >= echo.profile_improvement ? 1 : 0;
        if (q < 512 || echo.profile_valid != 0) echo.searches_left = 1;  // no further searches
      }
    }
  }
  --echo.searches_left;
}

}  // namespace

std::int32_t SearchStep(std::int32_t level, bool valid_profile) {
  if (level <= 0) return 0;
  const std::int64_t scale = valid_profile ? 1 : 17;
  const std::int64_t p2 = std::int64_t{level} * level;
  return Saturate32(scale * kInt32Max / p2);
}

std::int64_t RingIndex(std::int64_t index) { return ((index % kEchoRing) + kEchoRing) % kEchoRing; }

std::int16_t& RingAt(std::array<std::int16_t, kEchoRing>& ring, std::int64_t index) {
  return ring[static_cast<std::size_t>(RingIndex(index))];
}

void PushRing(std::array<std::int16_t, kEchoRing>& ring, std::int32_t at,
              std::span<const std::int16_t> block) {
  std::int64_t i = at;
  for (std::int16_t x : block) RingAt(ring, i--) = x;
}

void ResetLineEcho(LineEcho& echo, std::int32_t n, std::int32_t delay) {
  echo = {};
  echo.n = n;
  echo.delay = delay;
  echo.best_residual = kInt32Max;
  echo.searches_left = kEchoSearchesAfterReset;
}

bool LoadEchoProfile(LineEcho& echo, std::span<const std::uint8_t> image, std::size_t bytes) {
  if (bytes != kProfileImageBytes || image.size() < kProfileImageBytes || ReadLe32(image, kValidAt) != 1) {
    return false;
  }
  for (int k = 0; k < kEchoTaps; ++k) echo.running.taps[static_cast<std::size_t>(k)] = ReadLe32(image, 4 * static_cast<std::size_t>(k));
  echo.best_residual = ReadLe32(image, kResidualAt);
  echo.best_improvement = ReadLe32(image, kImprovementAt);
  echo.profile_improvement = echo.best_improvement;
  echo.profile_valid = 1;
  echo.measure = 1;
  return true;
}

void RunLineEcho(LineEcho& echo, std::span<std::int16_t> line, std::span<std::int16_t> uncancelled,
                 std::int32_t line_floor, std::span<std::uint8_t, kProfileImageBytes> image,
                 std::uint32_t& image_bytes) {
  const std::int32_t n = static_cast<std::int32_t>(line.size());
  for (std::int32_t i = 0; i < n; ++i) {
    Push(echo.running, RingAt(echo.mic, std::int64_t{echo.at} + 5 * n + echo.delay - i));
    uncancelled[static_cast<std::size_t>(i)] = line[static_cast<std::size_t>(i)];
    line[static_cast<std::size_t>(i)] = Subtract(line[static_cast<std::size_t>(i)], Estimate(echo.running));
  }
  if (echo.countdown <= 0) return;
  if (echo.countdown == 1 && echo.searches_left > 0) Train(echo, line_floor);
  if (--echo.countdown != 0 || echo.searches_left != 0) return;
  if (echo.done != 0) {
    if (echo.save != 0) {
      for (int k = 0; k < kEchoTaps; ++k) WriteLe32(image, 4 * static_cast<std::size_t>(k), echo.running.taps[static_cast<std::size_t>(k)]);
      WriteLe32(image, kResidualAt, echo.best_residual);
      WriteLe32(image, kImprovementAt, echo.best_improvement);
      WriteLe32(image, kValidAt, 1);
      image_bytes = kProfileImageBytes;
      echo.profile_valid = 1;
      echo.profile_improvement = echo.best_improvement;
    }
    return;
  }
  ++echo.retries;
  if (echo.retries < kEchoRetriesLimit) echo.searches_left = kEchoSearchesAfterFailure;
  WriteLe32(image, kValidAt, 0);
  echo.profile_valid = 0;
}

}  // namespace pump
