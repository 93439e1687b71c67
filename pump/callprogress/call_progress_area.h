// The context's state of dialling, the tone generator and call progress.
#pragma once

#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/detect/notch_detector.h"

namespace pump {

struct DspContext;

// The dial machine's table: its four states, whose counts are set at run
// time (ticks).
enum DialState : int { kDialTxInit, kDialTxOn, kDialTxOff, kDialTxIdle, kDialStates };

inline constexpr int kFilterRecordWords = 15;
inline constexpr int kFilterRecords = 3;

struct DialArea {
  StateMachine<DspContext> machine;
  StateEntry<DspContext> table[kDialStates];  // counts from command 0x66 or a tone pair
  std::uint32_t pulse;                        // 1: pulse dialling
  std::uint32_t on_ms;                        // as received
  std::uint32_t off_ms;
  std::uint32_t phase[2];      // high-group tone, low-group tone; 16-bit phase in the low half
  std::uint32_t increment[2];  // per sample
  std::int16_t digit;          // pulses left while pulse dialling
  std::uint16_t inter_digit_ms;
  std::int16_t high_gain;  // Q15 tone gains
  std::int16_t low_gain;
  std::uint32_t continuous;    // a tone pair of command 0x7C runs
  std::uint32_t tone_running;  // from dialTxInit to dialTxIdle
  // The call-progress filter records of parameter keys 0x101D8 on, 15 words each.
  std::uint8_t filter_records[kFilterRecords * kFilterRecordWords * 2];
};

// The tone generator of calling and answer tones.
struct ToneGenerator {
  const StateEntry<DspContext>* table;  // the first entry of the current sequence
  std::uint32_t phase;                  // 16-bit phase in the low half
  std::int32_t increment;
  std::int16_t gain;  // Q15
};

// One second-order section of a call-progress filter: Q14 coefficients in
// effect, its output state doubled (Q31).
struct ToneSection {
  std::int16_t b2, b1, b0, a2, a1;
  std::int32_t y1, y2;
  std::int16_t x1, x2;
};

inline constexpr int kToneChannels = 8;
inline constexpr std::int32_t kNoSource = -1;

struct ToneChannel {
  ToneSection sections[2];
  std::int32_t energy;
  std::int16_t gain;
  std::int16_t decay;  // Q15
  std::int16_t result_bit;
  std::int16_t on_threshold;
  std::int16_t off_threshold;
  std::int16_t output;  // of the last sample
  std::uint32_t on;
  std::uint32_t enabled;
  std::int32_t source;  // channel whose output feeds this one, or kNoSource
  std::uint32_t square;
  std::uint32_t raw;  // takes the bank's input rather than its own AGC output
  std::int16_t agc_target;
  std::int16_t agc_step;
  std::int16_t agc_gain;
  std::uint32_t pending;  // reconfigure from its record at the next block
};

struct ToneFilterBank {
  ToneChannel channels[kToneChannels];
  std::int16_t previous;  // result of the last block
  std::int16_t current;
  std::int32_t veto;  // samples left of the band classifier's veto
};

// Ring bursts: loud samples in a periodic train.
struct BurstCadence {
  std::uint16_t clock;        // free-running sample count
  std::int32_t loud_run;      // consecutive loud samples
  std::int32_t quiet;         // consecutive quiet samples
  std::int32_t since_period;  // samples since the last period began
  std::int32_t limit;         // longest period taken as a burst
  std::int32_t bursts;
  std::int32_t period_sum;  // of the periods counted while 3 to 5 bursts
  std::int32_t periods;
  std::int32_t cycles;       // periods counted while reporting
  std::int32_t last_period;  // samples
  std::uint32_t reporting;
  std::uint16_t last_loud;  // clock at the last loud run's start
};

// Runs of full-scale samples of one sign.
struct PeakRun {
  std::int32_t positive;
  std::int32_t negative;
  std::int32_t other;  // consecutive samples that are no peak of the run's sign
  std::int32_t sign;   // 0 none, 1, -1
  std::int32_t length;
};

struct CallProgressArea {
  ToneFilterBank bank;
  NotchDetector notch;  // 2100 Hz
  std::uint32_t notch_reported;
  BurstCadence cadence;
  PeakRun peak;
  std::uint32_t peak_flag;
  std::uint32_t cadence_report;  // command 0x65 flags bit 0
  std::uint8_t flags;            // command 0x65 flags bits 1-4
  std::int32_t check_ticks;      // line check
  std::int32_t low_ticks;
  std::uint32_t check_done;
  std::int32_t measures;  // line-voltage check
  std::int32_t measure_sum;
  std::int32_t work[96];  // the preprocessed block
};

}  // namespace pump
