// The V.22/V.22bis modem's state in the context: the transmit record, the
// receiver's record and the two inner machines the supervisor states tick.
#pragma once

#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/detect/notch_detector.h"

namespace pump {

struct DspContext;

// Transmit mode bits.
enum V22TxModeBits : std::uint16_t {
  kV22TwoBits = 0x01,     // 0x01 or 0x02: 2 bits a symbol (1200 bit/s); neither: 4 (2400 bit/s)
  kV22TwoBitsAlso = 0x02,
  kV22Scrambled = 0x04,
  kV22S1 = 0x08,          // S1: unscrambled double dibits 00 and 11
  kV22Ones = 0x10,        // ones instead of framer data
};

// The modes the sequences use.
enum V22TxMode : std::uint16_t {
  kV22UnscrambledOnes1200 = 17,
  kV22SendS1 = 9,
  kV22ScrambledOnes1200 = 21,
  kV22ScrambledOnes2400 = 20,
  kV22Data2400 = 4,
  kV22Data1200 = 5,
};

inline constexpr int kV22SamplesPerSymbol = 16;  // 600 symbols a second at 9600 Hz
inline constexpr int kV22ShapingTaps = 8;

struct V22TxRecord {
  std::uint16_t cleared;
  std::uint16_t mode;
  std::uint32_t group;            // the bits taken for the symbol
  std::uint32_t s1_toggle;
  std::uint32_t scrambled_group;
  std::uint32_t point;            // 0 to 15
  std::uint32_t scrambler;        // 17 bits, the newest output in bit 16
  std::int32_t scrambler_ones;    // consecutive output ones
  std::int32_t quadrant;          // 0, 4, 8 or 12
  std::int32_t sample_in_symbol;  // 0 to 15
  std::int16_t carrier_cos;
  std::int16_t carrier_sin;
  std::int16_t symbol_i;
  std::int16_t symbol_q;
  std::int16_t history_i[2 * kV22ShapingTaps];  // each symbol at k and k + 8
  std::int16_t history_q[2 * kV22ShapingTaps];
  std::uint16_t history_index;  // where the newest symbol is
  std::int16_t shaped_i;
  std::int16_t shaped_q;
  std::int32_t carrier_phase;
  std::int16_t carrier_increment;  // 8192 (1200 Hz) or 16384 (2400 Hz)
  std::uint16_t retrain_started;
  std::int16_t output_gain;  // Q15
};

// The receiver's status flags.
enum V22RxStatus : std::uint16_t {
  kV22SignalPresent = 0x04,
  kV22S1Present = 0x08,
  kV22Ones32In16Point = 0x10,
  kV22DataReached = 0x20,  // one-shot: the transmitter reports it and clears it
  kV22Ones64 = 0x40,
  kV22UnscrambledOnes = 0x80,
};

// The receiver's control flags.
enum V22RxControl : std::uint16_t {
  kV22Decode = 0x01,           // carrier loop, ones counting and decoding
  kV22TimingCorrelation = 0x02,
  kV22AgcAdapt = 0x04,
  kV22Acquisition = 0x10,      // timing acquisition sums
  kV22Deliver = 0x20,          // bits to the framer
  kV22CarrierLossCount = 0x40,
  kV22WatchS1 = 0x80,          // S1 in data starts a retrain
  kV22SixteenPoint = 0x100,
};

inline constexpr int kV22FilterTaps = 128;
inline constexpr int kV22EqualiserTaps = 22;
inline constexpr int kV22TicksPerSymbol = 16;

struct V22RxRecord {
  std::uint16_t tick;  // 0 to 15
  std::uint16_t status;
  std::uint16_t control;
  std::int16_t ring[16];  // received samples
  std::int16_t oscillator_cos;
  std::int16_t oscillator_sin;
  std::int16_t sample;
  std::int16_t oscillator_increment;  // 16384 (2400 Hz) originating, 8192 answering
  std::int16_t oscillator_phase;
  std::int16_t ring_write;
  std::int16_t ring_read;  // starts 8 behind
  std::int16_t history_i[2 * kV22FilterTaps];  // interpolated samples, each at k and k + 128
  std::int16_t history_q[2 * kV22FilterTaps];
  std::int32_t history_index;
  std::int16_t filtered_i;
  std::int16_t filtered_q;
  std::int32_t filtered_power;
  std::int32_t mixer_power;
  // AGC.
  std::int16_t level;
  std::int16_t exponent;  // -10 to 14
  std::int16_t mantissa;  // 1536 to 32767
  std::int16_t agc_step;  // negative
  std::int16_t agc_target;
  std::int32_t loss_countdown;  // symbols
  std::int32_t required_gain;
  // The equaliser: taps in their high 16 bits, a doubled delay line at two samples a symbol.
  std::int32_t tap_re[kV22EqualiserTaps];
  std::int32_t tap_im[kV22EqualiserTaps];
  std::int16_t line_i[2 * kV22EqualiserTaps];
  std::int16_t line_q[2 * kV22EqualiserTaps];
  std::int16_t acquisition_a;
  std::int16_t acquisition_b;
  std::int16_t equalised_i;
  std::int16_t equalised_q;
  std::int16_t derotated_i;
  std::int16_t derotated_q;
  std::int16_t acquisition_countdown;  // ticks
  std::int16_t line_index;
  std::int16_t equaliser_step;
  // The carrier loop.
  std::int16_t carrier_cos;
  std::int16_t carrier_sin;
  std::int16_t back_error_i;
  std::int16_t back_error_q;
  std::int32_t carrier_integrator;
  std::int16_t g1;
  std::int16_t g2;
  std::int16_t carrier_phase;
  std::int16_t error_i;
  std::int16_t error_q;
  std::int16_t decided_i;
  std::int16_t decided_q;
  std::int16_t phase_error;
  std::int32_t decision_error;  // average
  std::int16_t point_weight;
  // The pattern detectors.
  std::int32_t difference_power;
  std::int32_t older_sum_power;
  std::int32_t sum_power;
  std::int32_t unscrambled_ones;
  std::uint16_t s1_latched;  // S1 seen in more than 24 checks in a row
  std::uint16_t s1_count;
  // The decoder.
  std::uint32_t descrambler;
  std::uint32_t descrambled;
  std::int32_t bits_per_symbol;  // 2 or 4
  std::uint16_t previous_quadrant;
  std::uint16_t point;
  std::uint16_t decoded;
  std::uint16_t ones;  // consecutive received ones, for the descrambler's 64-ones rule
  // The timing loop.
  std::uint16_t tap_position;  // 0 to 21
  std::int16_t x_re, x_im, y_re, y_im;  // correlation sums
  std::int16_t c, d, f, g;               // their normalised results
  std::int16_t timing_error;
  std::int16_t n1, n2;  // normalisers
  std::int16_t timing_enable;
  std::int16_t reference_i;
  std::int16_t reference_q;
  std::int32_t timing_integrator;
  std::int16_t gain_a;
  std::int16_t gain_b;
  std::int16_t integrator_weight;  // 8192
  // The mixer's doubled histories.
  std::int16_t mixed_i[8];
  std::int16_t mixed_q[8];
  std::uint16_t mixer_index;
  // Fractional timing: one input sample is 23100.
  std::int16_t timing_phase;
  std::int16_t previous_timing_phase;
  std::int16_t mu;
  std::int16_t w0, w1, w2;
  std::int16_t credit;
  // Consecutive decoded ones (at most 900), for the handshake's ones tests.
  std::int32_t decoded_ones;
  std::int32_t signal_blocks;  // blocks with the signal present while S1 is awaited
  // The answerer's line noise: the smallest required gain (the loudest
  // noise) over its first blocks of S1 detection, while the caller is still
  // silent; 0 until measured. Set once a call.
  std::int32_t noise_gain;
  std::int32_t quiet_blocks;  // blocks of that measurement so far
};

struct V22Work {
  V22TxRecord tx;
  V22RxRecord rx;
  StateMachine<DspContext> tx_machine;
  StateMachine<DspContext> rx_machine;
  std::uint32_t direct;  // started by the loopback test: data reports status 5
  // Callers of the FSK modems heard during S1 detection: a Bell 103
  // caller's 1270 Hz mark and a 520 Hz tone (the V.23 start).
  NotchDetector tone1270;
  NotchDetector tone520;
};

}  // namespace pump
