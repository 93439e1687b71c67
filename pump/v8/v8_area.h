// The V.8 procedures' state in the DspContext (context.v8): the ANSam
// record (transmitter and the caller's detector), the V.8 fields and
// detectors of both roles, and the line-profile upload fields the V.8 start
// sets for the line-profile store.
#pragma once

#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/detect/notch_detector.h"

namespace pump {

struct DspContext;

inline constexpr int kAnsamBlock = 96;
inline constexpr int kAnsamSections = 5;

struct AnsamSection {
  std::int32_t x0, x1, x2;
  std::int32_t y1, y2;
};

struct AnsamResonatorState {
  std::int32_t x1;
  std::int32_t y1, y2;
};

struct AnsamRecord {
  std::int32_t filtered[kAnsamBlock];  // the high-pass output of the block
  AnsamSection sections[kAnsamSections];
  AnsamResonatorState resonator;
  std::int32_t power;
  std::int32_t envelope;
  std::int32_t carrier_phase;     // transmitter: 65536 = one turn
  std::int32_t modulation_phase;  // transmitter: the 15 Hz envelope
  std::int32_t reversal_count;    // transmitter: samples since the last reversal
  std::uint32_t watch;            // detector: a 2100 Hz tone was heard, listen for ANSam
  std::int32_t block_length;
  std::int16_t run_count;  // detector: samples in a row that looked like ANSam
  std::int16_t gain;       // transmitter: Q15, 2 dB below the transmit level
  std::int32_t blocks_seen;
};

// Line-profile upload state: 0 idle, 2 waiting for the controller's download.
struct LineProfileUpload {
  std::int16_t state;
  std::uint32_t byte_count;
  std::uint32_t profile_valid;
};

struct V8Area {
  AnsamRecord ansam;
  StateTable<DspContext> table;  // the current V.8 receive table
  std::int16_t cm_countdown;     // caller: ticks from ANSam to CM
  std::uint32_t continuation;    // caller: the controller continued (0x68)
  std::uint32_t aa_heard;        // answerer: AA was heard
  std::int16_t cj_count;         // answerer: zero octets of CJ seen
  std::int16_t gain_count;       // answerer: blocks the FSK gain fell below its saved pair
  std::int64_t ansam_time;       // negated system time in 10 ms units at ANSam, 0 before
  // Caller: 2100 Hz (answer tone) and 2225 Hz (Bell answer tone).
  NotchDetector answer_tone;
  NotchDetector bell_tone;
  // Answerer: 1800 Hz (a V.32 caller's AA) and 520 Hz (answered in V.23).
  NotchDetector aa;
  NotchDetector tone520;
  LineProfileUpload upload;
};

}  // namespace pump
