// The fax receiver's record, one per device beside the transmitter's: the
// configuration of the received modulation, the front end, the gain, the
// fractionally spaced equaliser, the carrier, amplitude and jitter loops,
// the decisions, the V.17 trellis decoder and the descramblers. The fax
// receive machine's states (the training) set the gains and enables.
#pragma once

#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/fax/fax_train_record.h"

namespace pump {

struct DspContext;
struct FaxPoint;

inline constexpr int kFaxEqTaps = 48;          // complex taps, two per symbol
inline constexpr int kFaxMatchedTaps = 32;
inline constexpr int kFaxDemodSamples = 96 + 32;  // a block behind the unread samples
inline constexpr int kFaxJitterTaps = 64;
inline constexpr int kFaxSurvivors = 57;  // 32 symbols of delay + 25, the most a block yields
inline constexpr int kFaxTracebackDelay = 32;

// The receiver's own DC filter: unit gain away from DC.
struct FaxDcState {
  std::int32_t t1;
  std::int32_t t2;
};

struct FaxRxEnables {
  std::uint8_t decisions;
  std::uint8_t adaptation;     // equaliser adaptation
  std::uint8_t second_pass;    // a second output, error and adaptation per symbol
  std::uint8_t carrier_loop;
  std::uint8_t amplitude_loop;
  std::uint8_t jitter_tracking;
  std::uint8_t jitter_adaptation;
  std::uint8_t traceback;      // V.17 data: the traceback delivers the block's symbols
  std::uint8_t data_output;    // delivered bits go to the framer
};

struct FaxRxRecord {
  StateMachine<DspContext> machine;  // the fax receive machine, one tick per symbol

  // Configuration.
  std::uint16_t mode_word;
  std::uint8_t modulation;  // FaxModulation
  std::uint8_t bits;        // data bits per symbol (V.17 without the trellis bit)
  std::int32_t symbols_per_block;
  std::int32_t samples_per_symbol;
  std::int32_t half_symbol;
  std::int32_t energy_threshold;
  const FaxPoint* data_points;     // V.27ter and V.29
  const FaxPoint* training_points;  // four
  const std::int16_t* matched;      // the shaping prototype
  std::int32_t matched_gain;        // 4096 (V.27ter) or 8192
  const std::uint32_t* cells;       // V.17: the cell table of the rate

  // Front end.
  FaxDcState dc;
  std::uint16_t demod_phase;
  std::int16_t demod_i[kFaxDemodSamples];
  std::int16_t demod_q[kFaxDemodSamples];
  std::int32_t demod_fill;   // samples in the buffer
  std::int32_t read;         // the next symbol's first sample
  std::int32_t timing_phase;       // one sample = 0x40000000
  std::int32_t timing_integrator;
  std::int32_t timing_error;
  std::uint8_t timing_shift;       // proportional, 0 = loop off
  std::uint8_t timing_integral_shift;
  std::int16_t interp_i[2 * kFaxMatchedTaps];  // doubled ring of the interpolated samples
  std::int16_t interp_q[2 * kFaxMatchedTaps];
  std::int32_t interp_at;

  // Gain.
  std::int32_t gain_mantissa;
  std::int32_t gain_shift;
  std::int32_t gain_rate;
  std::int32_t gain_rate_decay;
  std::int16_t level_average;
  std::int16_t level_db;
  std::int16_t receive_gain;
  std::int32_t magnitude;        // this symbol's post-gain magnitude sum
  std::int32_t block_magnitude;  // summed over the block
  std::int32_t previous_block_magnitude;

  // Equaliser.
  std::int16_t line_i[2 * kFaxEqTaps];
  std::int16_t line_q[2 * kFaxEqTaps];
  std::int32_t write_at;  // even, 0 to 46
  std::int32_t tap_i[kFaxEqTaps];
  std::int32_t tap_q[kFaxEqTaps];
  std::int16_t tap_i16[kFaxEqTaps];
  std::int16_t tap_q16[kFaxEqTaps];
  std::int32_t step;
  std::uint8_t reset_pending;
  std::int32_t energy16;

  // Output and decisions.
  std::int32_t z_i;  // after the first correction and derotation
  std::int32_t z_q;
  std::int32_t y_i;  // the equaliser output
  std::int32_t y_q;
  std::int32_t correction1;
  std::int32_t correction2;
  std::int32_t d_i;  // the decided point
  std::int32_t d_q;
  std::int32_t point;
  std::int32_t previous_phase;
  std::uint32_t decoded;
  std::int32_t error_average;
  std::uint8_t valid;

  // Carrier and amplitude loops.
  std::int32_t carrier_phase;  // one turn = 2^32
  std::int32_t carrier_frequency;
  std::int32_t phase_gain;
  std::int32_t frequency_gain;
  std::uint8_t phase_shift;
  std::uint8_t frequency_shift;
  std::uint8_t amplitude_shift;

  // Timing detector.
  std::int32_t timing_product_i;
  std::int32_t timing_product_q;
  std::int32_t timing_ref_i;
  std::int32_t timing_ref_q;
  std::int32_t tap_sum_i;
  std::int32_t tap_sum_q;

  // Phase-jitter predictor.
  std::int16_t jitter_coeff[kFaxJitterTaps];
  std::int16_t jitter_history[2 * kFaxJitterTaps];
  std::int32_t jitter_index;
  std::int32_t symbol_parity;
  std::int32_t phase_error_average;
  std::int32_t coeff_mean;
  std::int32_t history_mean;
  std::int32_t jitter_gain;
  std::uint8_t jitter_shift;
  std::int32_t prediction;
  std::int32_t previous_prediction;
  std::int32_t raw_prediction;
  std::int32_t previous_raw_prediction;
  std::int32_t phase_error;
  std::int32_t previous_phase_error;
  std::int32_t jitter_sample;
  std::int32_t history_power;

  // V.17 trellis decoder.
  std::int32_t metrics[8];
  std::int32_t branch[8];
  std::int32_t best_state;
  std::int32_t previous_best_state;
  std::uint32_t survivors[kFaxSurvivors];
  std::int32_t survivor_at;     // the newest word
  std::int32_t survivor_count;  // words since the decoder started, at most the ring
  std::int32_t block_symbols;   // symbols of this block
  std::int32_t delivered_subset;  // the last delivered symbol's subset

  // Descrambler.
  std::uint32_t descrambler;
  std::uint32_t v27_guard;
  std::uint32_t v27_carry;

  FaxRxEnables enables;

  FaxTrainRecord train;  // the training's segment analysis, lock counter and V.17 snapshot
};

}  // namespace pump
