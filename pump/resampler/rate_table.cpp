#include "pump/resampler/rate_table.h"

#include <algorithm>
#include <array>

#include "pump/resampler/filter_tables.h"

namespace pump {
namespace {

// clang-format off
constexpr std::array<ResamplerRate, 17> kRates = {{
    {72,    10, 9,  96,  106, &kResamplerDesign72},
    {102,   7,  9,  96,  74,  &kResamplerDesign102},
    {488,   1,  6,  480, 80,  &kResamplerDesign488},
    {848,   6,  1,  80,  480, &kResamplerDesign848},
    {4880,  5,  3,  48,  80,  &kResamplerDesign4880},
    {4896,  2,  1,  48,  96,  &kResamplerDesign4896},
    {7280,  10, 9,  72,  80,  &kResamplerDesign7280},
    {7296,  4,  3,  72,  96,  &kResamplerDesign7296},
    {8048,  3,  5,  80,  48,  &kResamplerDesign8048},
    {8072,  9,  10, 80,  72,  &kResamplerDesign8072},
    {8096,  6,  5,  80,  96,  &kResamplerDesign8096},
    {9680,  5,  6,  96,  80,  &kResamplerDesign9680},
    {11080, 8,  11, 110, 80,  &kResamplerDesign11080},
    {11096, 7,  8,  110, 96,  &kResamplerDesign11096},
    {72801, 10, 9,  48,  80,  &kResamplerDesign7280},  // 7280's table; gives 53 or 54
    {80110, 11, 8,  80,  110, &kResamplerDesign80110},
    {96110, 8,  7,  96,  110, &kResamplerDesign96110},
}};
// clang-format on

constexpr ResamplerRate kDefaultRate = {0, 5, 6, 96, 80, &kResamplerDesign9680};

}  // namespace

const ResamplerRate& FindResamplerRate(std::int32_t code) {
  const auto row = std::find_if(kRates.begin(), kRates.end(),
                                [code](const ResamplerRate& r) { return r.code == code; });
  return row != kRates.end() ? *row : kDefaultRate;
}

}  // namespace pump
