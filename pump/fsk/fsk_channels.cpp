#include "pump/fsk/fsk_channels.h"

#include "pump/fsk/fsk_filter_tables.h"

namespace pump::fsk {
namespace {

constexpr std::int16_t kDeviation100 = Increment(100);  // 682: V.21 and Bell 103
constexpr std::int16_t kDeviation400 = Increment(400);  // 2730: V.23 forward
constexpr std::int16_t kDeviation30 = Increment(30);    // 204: V.23 backward

// The level scale's base by main filter (dB).
constexpr std::int16_t kBase300 = -4;
constexpr std::int16_t kBase1200 = 11;
constexpr std::int16_t kBase75 = -9;

}  // namespace

const FskTxChannel kTxV21Ch1{-kDeviation100, kDeviation100, 32, Increment(1080), &kShape300};
const FskTxChannel kTxV21Ch2{-kDeviation100, kDeviation100, 32, Increment(1750), &kShape300};
const FskTxChannel kTxBell103Originate{-kDeviation100, kDeviation100, 32, Increment(1170),
                                       &kShape300};
const FskTxChannel kTxBell103Answer{-kDeviation100, kDeviation100, 32, Increment(2125),
                                    &kShape300};
const FskTxChannel kTxV23Forward{-kDeviation400, kDeviation400, 8, Increment(1700), &kShape1200};
const FskTxChannel kTxV23Backward{-kDeviation30, kDeviation30, 128, Increment(420), &kShape75};

// 300 bit/s: every other sample, 16 processed samples per bit, a carrier
// check every 16 samples. 1200 bit/s: every sample, 8 per bit. 75 bit/s:
// one sample in 16 (600 Hz), 8 per bit, a carrier check per block.
const FskRxChannel kRxV21Ch1{16, 2, Increment(1080), &kRx300, FskPrefilter::kPairSum,
                             nullptr, 16, kBase300};
const FskRxChannel kRxV21Ch2{16, 2, Increment(1750), &kRx300, FskPrefilter::kPairSum,
                             nullptr, 16, kBase300};
const FskRxChannel kRxBell103Originate{16, 2, Increment(1170), &kRx300, FskPrefilter::kPairSum,
                                       nullptr, 16, kBase300};
const FskRxChannel kRxBell103Answer{16, 2, Increment(2125), &kRx300, FskPrefilter::kPairSum,
                                    nullptr, 16, kBase300};
const FskRxChannel kRxV23Forward{8, 1, Increment(1700), &kShape1200, FskPrefilter::kNone,
                                 nullptr, 8, kBase1200};
const FskRxChannel kRxV23Backward{8, 16, Increment(420), &kRx75, FskPrefilter::kFir, &kPre75,
                                  96, kBase75};

}  // namespace pump::fsk
