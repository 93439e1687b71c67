// The FSK modem's state in the context (`context.fsk`): the channel records
// of the running pair, the transmitter, the receiver with its carrier
// detector and automatic gain, and the 1650 Hz detector of the fax
// receiver. A mode start replaces all of it.
#pragma once

#include <array>
#include <cstdint>

#include "pump/detect/dc_remove.h"
#include "pump/detect/notch_detector.h"

namespace pump {

inline constexpr int kFskTaps = 64;

// A transmitted channel: phase increments per 9600 Hz sample in 1/65536 of
// a turn (f x 65536 / 9600).
struct FskTxChannel {
  std::int16_t deviation_low;   // negative
  std::int16_t deviation_high;  // positive
  std::int16_t samples_per_bit;
  std::int16_t centre;
  const std::array<std::int16_t, kFskTaps>* shaping;
};

enum class FskPrefilter : std::uint8_t {
  kNone,    // m = 1: the main filter takes the mixed samples
  kPairSum, // the sum of the newest two mixed samples
  kFir,     // a 64-tap FIR over the mixed samples
};

// A received channel. The receiver processes one sample in `decimation`;
// `samples_per_bit` counts processed samples.
struct FskRxChannel {
  std::int16_t samples_per_bit;  // N
  std::int16_t decimation;       // m
  std::int32_t centre;
  const std::array<std::int16_t, kFskTaps>* main_filter;
  FskPrefilter prefilter;
  const std::array<std::int16_t, kFskTaps>* prefilter_taps;  // kFir only
  std::int16_t check_every;  // block samples between carrier checks
  std::int16_t level_base;   // dB of the level scale for this filter
};

// Receiver kinds.
enum FskKind : std::int32_t {
  kFskData = 0,
  kFskFax = 1,
  kFskV8 = 2,
  kFskV8bis = 3,
  kFskCallerId = 4,
};

// A 64-entry history stored twice, so that the 64 values ending at any
// index are contiguous.
template <typename T>
struct DoubledHistory {
  T values[2 * kFskTaps];
  std::int32_t index;  // where the newest value is
};

template <typename T>
void StoreNewest(DoubledHistory<T>& h, T value) {
  h.index = (h.index + 1) & (kFskTaps - 1);
  h.values[h.index] = value;
  h.values[h.index + kFskTaps] = value;
}

// The 64 newest values, oldest first.
template <typename T>
const T* Newest64(const DoubledHistory<T>& h) {
  return &h.values[h.index + 1];
}

struct FskTransmitter {
  std::uint32_t no_data;  // the framer had no bit: the output is 0
  std::uint16_t baseband_phase;
  std::int16_t deviation;
  std::int16_t output_gain;  // Q15
  std::uint32_t carrier_phase;
  std::int16_t sample_in_bit;
  DoubledHistory<std::int16_t> i;
  DoubledHistory<std::int16_t> q;
};

struct FskAgc {
  std::uint32_t save_hold;  // the V.8 states hold the saved pair
  std::uint32_t freeze;
  std::int16_t exponent;
  std::int16_t mantissa;  // Q15
  std::int16_t average;   // of the filtered magnitude
  std::int16_t target;
  std::int16_t step;
  std::int16_t level_correction;  // dB
  std::int16_t level_db;
  std::int16_t latched_level;  // dB at the fax carrier's first flags
  std::int16_t last_bit;
  std::int16_t saved_exponent;
  std::int16_t saved_mantissa;
};

struct FskReceiver {
  std::uint16_t oscillator_phase;
  std::int16_t bit_timing;
  DoubledHistory<std::int32_t> mixed_i;
  DoubledHistory<std::int32_t> mixed_q;
  DoubledHistory<std::int32_t> pre_i;
  DoubledHistory<std::int32_t> pre_q;
  std::int16_t previous_i, previous_q;
  std::int16_t current_i, current_q;
  std::int32_t discriminator;  // D >> 1
  std::int32_t previous_discriminator;
  std::int32_t carrier_on_threshold;  // carrier checks above the level before the carrier
  std::int32_t consecutive_ones;
  std::int32_t above_count;
  DcRemovalState dc;  // the fax receiver's
};

struct FskWork {
  NotchDetector detector1650;
  std::int32_t kind;
  std::int32_t qualifier_threshold;
  std::uint32_t qualifier_enable;
  std::uint32_t dropout_tolerance;
  std::uint32_t carrier_on;
  std::uint32_t reported;
  std::int16_t polarity;          // 1: a 1 bit at the higher frequency
  std::int16_t mark_countdown;    // qualifying bits still needed
  std::int16_t dropout_allowance; // carrier checks a data carrier may miss
  std::int16_t receive_gain_db;   // the front end's, read at the start
  FskTransmitter tx;
  FskReceiver rx;
  FskAgc agc;
  const FskTxChannel* tx_channel;
  const FskRxChannel* rx_channel;
  std::int32_t start_type;  // of the last StartFsk
};

}  // namespace pump
