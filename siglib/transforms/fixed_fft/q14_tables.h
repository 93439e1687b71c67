// The Q14 table builders, one code behind every variant's builder: all
// variants build the same tables.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "siglib/memory/memory.h"

namespace qvls::fixed_fft {

inline constexpr std::int32_t kRecordWords = 4;  // (cs, sn, -sn, cs)

// Sine for the first eighth and cosine of the complement for the rest keep
// every argument at or below π/4. Up to order 10 every entry lies at least
// 0.0003 from a tie, so any evaluation in double or better gives the same
// table: the nearest integers to 16384·sin(2πi/N).
inline std::int16_t* BuildSineTable(std::int32_t order) {
  const std::int32_t n = std::int32_t{1} << order;
  const std::int32_t quarter = n / 4;
  const std::int32_t eighth = n / 8;
  auto* table = reinterpret_cast<std::int16_t*>(qvlsAlloc_u8_px(2 * quarter + 2));
  if (table == nullptr) return nullptr;
  const double step = 6.283185307179586 / n;
  for (std::int32_t i = 0; i <= eighth; ++i) {
    table[i] = static_cast<std::int16_t>(std::sin(step * i) * 16384.0 + 0.5);
  }
  for (std::int32_t i = eighth + 1; i <= quarter; ++i) {
    table[i] = static_cast<std::int16_t>(std::cos(step * (quarter - i)) * 16384.0 + 0.5);
  }
  return table;
}

// The first quarter from the sine table at stride 2^(r - n); each later
// quarter turns the one before by a quarter turn: (cs, sn) becomes (-sn, cs).
inline std::int16_t* BuildTwiddleTable(std::int32_t order, const std::int16_t* sine,
                                       std::int32_t sine_order) {
  const std::int32_t n = std::int32_t{1} << order;
  auto* table = reinterpret_cast<std::int16_t*>(qvlsAlloc_u8_px(8 * n));
  if (table == nullptr) return nullptr;
  if (order < 2) {
    std::memset(table, 0, 8 * static_cast<std::size_t>(n));
    return table;
  }
  const std::int32_t quarter = n / 4;
  const std::int32_t stride = std::int32_t{1} << (sine_order - order);
  auto set = [&](std::int32_t j, std::int16_t cs, std::int16_t sn) {
    std::int16_t* record = table + kRecordWords * j;
    record[0] = cs;
    record[1] = sn;
    record[2] = static_cast<std::int16_t>(-sn);
    record[3] = cs;
  };
  for (std::int32_t j = 0; j < quarter; ++j) {
    set(j, sine[(quarter - j) * stride], sine[j * stride]);
  }
  for (std::int32_t j = quarter; j < n; ++j) {
    const std::int16_t* before = table + kRecordWords * (j - quarter);
    set(j, static_cast<std::int16_t>(-before[1]), before[0]);
  }
  return table;
}

}  // namespace qvls::fixed_fft
