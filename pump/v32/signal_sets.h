// The V.32/V.32bis signal sets in the transmitter's scale (one unit of the
// signal-space diagrams is 2048, or 256 in the packed trellis words).
//
// The trellis sets are indexed by the encoder's output number: the trellis
// bit Y0 lowest, then Y1 Y2 (the differentially coded pair), then the
// uncoded bits Q3 upward. Each word packs I/256 in its high byte and Q/256
// (signed) in its low byte.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump::v32 {

struct Point {
  std::int32_t i;
  std::int32_t q;
  friend constexpr bool operator==(Point, Point) = default;
};

// Training, rate sequences and 4800 bit/s: indexed by the differential state.
inline constexpr std::array<Point, 4> kFourPointSet = {
    {{-6144, -2048}, {-2048, 6144}, {2048, -6144}, {6144, 2048}}};

// Uncoded 9600 bit/s: the differential state in bits 1-0, Q3 Q4 in bits 3-2.
inline constexpr std::array<Point, 16> kUncoded9600Set = {{
    {-2048, -2048}, {-2048, 2048}, {2048, -2048}, {2048, 2048},
    {-2048, -6144}, {-6144, 2048}, {6144, -2048}, {2048, 6144},
    {-6144, -2048}, {-2048, 6144}, {2048, -6144}, {6144, 2048},
    {-6144, -6144}, {-6144, 6144}, {6144, -6144}, {6144, 6144},
}};

inline constexpr std::array<std::uint16_t, 16> kTrellis7200 = {
    0x18E8, 0xF818, 0x1808, 0xE8E8, 0xE818, 0x08E8, 0xE8F8, 0x1818,
    0xF808, 0x18F8, 0xF8E8, 0x0808, 0x08F8, 0xE808, 0x0818, 0xF8F8,
};
inline constexpr std::array<std::uint16_t, 32> kTrellis9600 = {
    0xE008, 0xE8F0, 0xF018, 0x0820, 0x20F8, 0x1810, 0x10E8, 0xF8E0,
    0x0008, 0xE810, 0x1018, 0x0800, 0x00F8, 0x18F0, 0xF0E8, 0xF800,
    0x00E8, 0x08F0, 0xF0F8, 0xE800, 0x0018, 0xF810, 0x1008, 0x1800,
    0x2008, 0x0810, 0x10F8, 0x08E0, 0xE0F8, 0xF8F0, 0xF008, 0xF820,
};
inline constexpr std::array<std::uint16_t, 64> kTrellis12000 = {
    0x1C04, 0xECFC, 0xFC14, 0x04E4, 0xE4FC, 0x1404, 0x04EC, 0xFC1C,
    0x0CF4, 0xFC0C, 0x0C04, 0xF4F4, 0xF40C, 0x04F4, 0xF4FC, 0x0C0C,
    0x1CE4, 0xEC1C, 0x1C14, 0xE4E4, 0xE41C, 0x14E4, 0xE4EC, 0x1C1C,
    0xFCE4, 0x0C1C, 0x1CF4, 0xE404, 0x041C, 0xF4E4, 0xE40C, 0x1CFC,
    0x0C14, 0xFCEC, 0xEC04, 0x14F4, 0xF4EC, 0x0414, 0x14FC, 0xEC0C,
    0xFC04, 0x0CFC, 0xFCF4, 0x0404, 0x04FC, 0xF404, 0x040C, 0xFCFC,
    0xEC14, 0x1CEC, 0xECE4, 0x1414, 0x14EC, 0xE414, 0x141C, 0xECEC,
    0xECF4, 0x1C0C, 0x0CE4, 0xF414, 0x140C, 0xE4F4, 0xF41C, 0x0CEC,
};
inline constexpr std::array<std::uint16_t, 128> kTrellis14400 = {
    0xE0F4, 0x2408, 0x08DC, 0xF420, 0x200C, 0xDCF8, 0xF824, 0x0CE0,
    0xE004, 0x24F8, 0xF8DC, 0x0420, 0x20FC, 0xDC08, 0x0824, 0xFCE0,
    0xF0F4, 0x1408, 0x08EC, 0xF410, 0x100C, 0xECF8, 0xF814, 0x0CF0,
    0xF004, 0x14F8, 0xF8EC, 0x0410, 0x10FC, 0xEC08, 0x0814, 0xFCF0,
    0x10F4, 0xF408, 0x080C, 0xF4F0, 0xF00C, 0x0CF8, 0xF8F4, 0x0C10,
    0x1004, 0xF4F8, 0xF80C, 0x04F0, 0xF0FC, 0x0C08, 0x08F4, 0xFC10,
    0x00F4, 0x0408, 0x08FC, 0xF400, 0x000C, 0xFCF8, 0xF804, 0x0C00,
    0x0004, 0x04F8, 0xF8FC, 0x0400, 0x00FC, 0xFC08, 0x0804, 0xFC00,
    0x20F4, 0xE408, 0x081C, 0xF4E0, 0xE00C, 0x1CF8, 0xF8E4, 0x0C20,
    0x2004, 0xE4F8, 0xF81C, 0x04E0, 0xE0FC, 0x1C08, 0x08E4, 0xFC20,
    0xF0E4, 0x1418, 0x18EC, 0xE410, 0x101C, 0xECE8, 0xE814, 0x1CF0,
    0xF014, 0x14E8, 0xE8EC, 0x1410, 0x10EC, 0xEC18, 0x1814, 0xECF0,
    0x10E4, 0xF418, 0x180C, 0xE4F0, 0xF01C, 0x0CE8, 0xE8F4, 0x1C10,
    0x1014, 0xF4E8, 0xE80C, 0x14F0, 0xF0EC, 0x0C18, 0x18F4, 0xEC10,
    0x00E4, 0x0418, 0x18FC, 0xE400, 0x001C, 0xFCE8, 0xE804, 0x1C00,
    0x0014, 0x04E8, 0xE8FC, 0x1400, 0x00EC, 0xFC18, 0x1804, 0xEC00,
};

constexpr Point UnpackPoint(std::uint16_t word) {
  return {static_cast<std::int8_t>(word >> 8) * 256, static_cast<std::int8_t>(word & 0xFF) * 256};
}

// The data modes of the E word.
enum class DataRate : std::uint8_t { k4800, k7200, k9600Trellis, k9600Uncoded, k12000, k14400 };

struct RateMode {
  int bits;             // data bits per symbol
  bool trellis;         // 8-state trellis coding
  std::span<const std::uint16_t> trellis_set;  // empty for the uncoded rates
  int rate_code;        // reported to the controller
};

constexpr RateMode ModeOf(DataRate rate) {
  switch (rate) {
    case DataRate::k4800: return {2, false, {}, 5};
    case DataRate::k7200: return {3, true, kTrellis7200, 6};
    case DataRate::k9600Trellis: return {4, true, kTrellis9600, 7};
    case DataRate::k9600Uncoded: return {4, false, {}, 7};
    case DataRate::k12000: return {5, true, kTrellis12000, 8};
    case DataRate::k14400: return {6, true, kTrellis14400, 9};
  }
  return {2, false, {}, 5};
}

inline constexpr std::array<DataRate, 6> kAllRates = {DataRate::k4800,        DataRate::k7200,
                                                      DataRate::k9600Trellis, DataRate::k9600Uncoded,
                                                      DataRate::k12000,       DataRate::k14400};

// The point of an encoder output number in the rate's set.
constexpr Point PointOf(DataRate rate, unsigned index) {
  const RateMode mode = ModeOf(rate);
  if (mode.trellis) return UnpackPoint(mode.trellis_set[index]);
  if (mode.bits == 2) return kFourPointSet[index & 3];
  return kUncoded9600Set[index & 15];
}

constexpr unsigned SetSize(DataRate rate) {
  const RateMode mode = ModeOf(rate);
  return mode.trellis ? static_cast<unsigned>(mode.trellis_set.size()) : 1u << mode.bits;
}

}  // namespace pump::v32
