#include "layer2/corecode/mt/modem/rate_tables.h"

#include <algorithm>

namespace vxctl {
namespace {

struct RateCodeRow {
  std::uint16_t rate;
  std::uint8_t code;
};

constexpr RateCodeRow kRateCodes[] = {
    {75, 3},     {1200, 3},   {300, 2},    {2400, 4},   {4800, 5},   {7200, 6},   {9600, 7},
    {12000, 8},  {14400, 9},  {16800, 10}, {19200, 11}, {21600, 16}, {24000, 17}, {26400, 18},
    {28800, 19}, {31200, 20}, {33333, 32}, {33600, 21}, {36000, 22}, {37333, 33}, {41333, 34},
    {42666, 35}, {44000, 36}, {45333, 37}, {46666, 38}, {48000, 39}, {49333, 40}, {50666, 41},
    {52000, 42}, {53333, 43}, {54666, 44}, {56000, 45}, {57333, 46}};
constexpr std::uint8_t kUnlistedRateCode = 9;

constexpr int kStep = 2400;
constexpr int kTopBit = 13;                  // bit 13: 33600
constexpr std::uint16_t kV34Range = 26400;   // the 2400-step rule holds up to here
constexpr std::uint16_t kPcmRange = 34666;   // the PCM tables from here
constexpr int kPcmBase = 28000;
constexpr int kPcmStep = 1333;
constexpr std::uint32_t kPcmAll = 0x07FF7FFF;

// The receive rates between the 2400-step range and the PCM tables that
// have masks of their own: b and c for a maximum, the AND masks for a
// minimum.
struct ListedReceiveRate {
  std::uint16_t rate;
  std::uint16_t max_b;
  std::uint32_t max_c;
  std::uint16_t min_b;
  std::uint32_t min_c;
};
constexpr ListedReceiveRate kListedReceiveRates[] = {
    {28000, 0x07FF, 0x00010000, 0x3800, 0x07FF7FFF},
    {28800, 0x0FFF, 0x00010000, 0x3800, 0x07FF7FFF},
    {29333, 0x0FFF, 0x00030000, 0x3000, 0x07FF7FFF},
    {30666, 0x0FFF, 0x00070000, 0x3000, 0x07FC7FFF},
    {31200, 0x1FFF, 0x00070000, 0x3000, 0x07F87FFF},
    {32000, 0x1FFF, 0x000F0000, 0x2000, 0x07F87FFF},
    {33333, 0x1FFF, 0x001F0001, 0x2000, 0x07F07FFF},
    {33600, 0x3FFF, 0x001F0001, 0x2000, 0x07E07FFE},
};

// Bits first..last set, within bits 0..13; none when last < first.
std::uint16_t Bits(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, kTopBit);
  std::uint16_t bits = 0;
  for (int i = first; i <= last; ++i) bits = static_cast<std::uint16_t>(bits | 1u << i);
  return bits;
}

int StepIndex(int rate) { return rate >= kStep ? (rate - kStep) / kStep : -1; }

// The PCM table entry of a rate of 34666 or more; a rate past the last
// entry takes the last.
std::uint32_t PcmEntry(const std::array<std::uint32_t, 23>& table, std::uint16_t rate) {
  const std::size_t index = static_cast<std::size_t>((rate - kPcmBase) / kPcmStep);
  return table[std::min(index, table.size() - 1)];
}

// The listed rate a receive limit between the two ranges stands for: the
// highest listed rate not above it; null below 28000 (the 2400-step rule).
const ListedReceiveRate* ListedAtOrBelow(std::uint16_t rate) {
  const ListedReceiveRate* found = nullptr;
  for (const ListedReceiveRate& row : kListedReceiveRates) {
    if (row.rate <= rate) found = &row;
  }
  return found;
}

}  // namespace

std::uint8_t ModemTask_RateCode(std::uint16_t rate) {
  for (const RateCodeRow& row : kRateCodes) {
    if (row.rate == rate) return row.code;
  }
  return kUnlistedRateCode;
}

RateMasks rate_masks(std::uint8_t m, std::uint16_t tmin, std::uint16_t tmax, std::uint16_t rmin,
                     std::uint16_t rmax, const RateMaskContext& context) {
  if ((m >= 8 && m <= 16) || m == 18) {
    const std::uint16_t max = std::min(tmax, rmax);
    const std::uint16_t min = std::max(tmin, rmin);
    tmax = rmax = max;
    tmin = rmin = min;
  }
  if (context.connection_code == 2 &&
      (context.fixed_rate != 0 || (m < 16 && context.percent_g == 0))) {
    tmin = tmax;
    rmin = rmax;
  }
  tmin = std::max<std::uint16_t>(tmin, kStep);
  RateMasks masks;
  masks.a = static_cast<std::uint16_t>(Bits(0, StepIndex(tmax)) & Bits(StepIndex(tmin), kTopBit));

  const ListedReceiveRate* listed_max = rmax > kV34Range ? ListedAtOrBelow(rmax) : nullptr;
  if (rmax >= kPcmRange) {
    masks.b = Bits(0, kTopBit);
    masks.c = PcmEntry(kPcmMaximumMasks, rmax);
  } else if (listed_max != nullptr) {
    masks.b = listed_max->max_b;
    masks.c = listed_max->max_c;
  } else {
    masks.b = Bits(0, StepIndex(rmax));
  }

  rmin = std::max<std::uint16_t>(rmin, kStep);
  const ListedReceiveRate* listed_min = rmin > kV34Range ? ListedAtOrBelow(rmin) : nullptr;
  if (rmin >= kPcmRange) {
    masks.b = 0;
    masks.c &= PcmEntry(kPcmMinimumMasks, rmin);
  } else if (listed_min != nullptr) {
    masks.b &= listed_min->min_b;
    masks.c &= listed_min->min_c;
  } else {
    masks.b &= Bits(StepIndex(rmin), kTopBit);
    masks.c &= kPcmAll;
  }

  if (m == 23) masks.b = masks.a;
  return masks;
}

}  // namespace vxctl
