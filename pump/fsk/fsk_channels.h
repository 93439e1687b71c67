// The FSK channels: what each start type sends and hears.
#pragma once

#include "pump/fsk/fsk_area.h"

namespace pump::fsk {

// Phase increment per 9600 Hz sample of f Hz, in 1/65536 of a turn,
// truncated.
constexpr std::int16_t Increment(int hz) { return static_cast<std::int16_t>(hz * 65536 / 9600); }

extern const FskTxChannel kTxV21Ch1;
extern const FskTxChannel kTxV21Ch2;
extern const FskTxChannel kTxBell103Originate;  // 1170 Hz centre
extern const FskTxChannel kTxBell103Answer;     // 2125 Hz centre
extern const FskTxChannel kTxV23Forward;        // 1200 bit/s
extern const FskTxChannel kTxV23Backward;       // 75 bit/s

extern const FskRxChannel kRxV21Ch1;
extern const FskRxChannel kRxV21Ch2;
extern const FskRxChannel kRxBell103Originate;
extern const FskRxChannel kRxBell103Answer;
extern const FskRxChannel kRxV23Forward;
extern const FskRxChannel kRxV23Backward;

}  // namespace pump::fsk
