// The 2048-entry carrier tables: entry k is 32768 cos(2 pi k / 2048) and
// 32768 sin(2 pi k / 2048), truncated toward zero and limited to 32767.
// The phase is 27 bits (2^27 is one turn); 1800 Hz at 7200 Hz is a quarter
// turn per sample.
#pragma once

#include <array>
#include <cstdint>

namespace pump::v32 {

inline constexpr std::uint32_t kPhaseBits = 27;
inline constexpr std::uint32_t kPhaseMask = (1u << kPhaseBits) - 1;
inline constexpr std::uint32_t kCarrierStep = 0x2000000;  // 1800 Hz at 7200 Hz

namespace detail {

// cos(2 pi k / 2048) by its series on the angle reduced to -pi..pi.
constexpr double CosOfStep(int k) {
  constexpr double kPi = 3.14159265358979323846;
  const int r = ((k % 2048) + 2048) % 2048;
  const double x = (r > 1024 ? r - 2048 : r) * kPi / 1024.0;
  double term = 1.0;
  double sum = 1.0;
  for (int n = 0; n < 60; n += 2) {
    term *= -x * x / ((n + 1.0) * (n + 2.0));
    sum += term;
  }
  return sum;
}

constexpr std::int32_t TableEntry(double v) {
  const auto t = static_cast<std::int32_t>(v * 32768.0);  // toward zero
  return t > 32767 ? 32767 : t;
}

constexpr std::array<std::int32_t, 2048> MakeTable(int quarter_shift) {
  std::array<std::int32_t, 2048> t{};
  for (int k = 0; k < 2048; ++k) t[k] = TableEntry(CosOfStep(k - quarter_shift));
  return t;
}

}  // namespace detail

inline constexpr std::array<std::int32_t, 2048> kCosTable = detail::MakeTable(0);
inline constexpr std::array<std::int32_t, 2048> kSinTable = detail::MakeTable(512);

constexpr std::uint32_t TableIndex(std::uint32_t phase) { return ((phase + 0x8000) >> 16) & 0x7FF; }

}  // namespace pump::v32
