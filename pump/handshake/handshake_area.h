// The handshake procedures' state in the DspContext (context.handshake):
// the table the receive machine was last started on by a handshake start,
// the automode counters, the detectors of the tone-based mode selection and
// of the automode, and the receive front end's work blocks.
#pragma once

#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/detect/band_filter.h"
#include "pump/detect/notch_detector.h"

namespace pump {

struct DspContext;

inline constexpr int kHandshakeBlock = 96;

struct HandshakeArea {
  std::uint32_t started;  // set by StartHandshake
  // The table of the last handshake start; the states jump within it.
  StateTable<DspContext> table;
  std::int32_t answer_tone_count;  // automode caller: blocks of answer tone
  std::int16_t usb1_countdown;     // automode caller: blocks of USB1 still to hear

  // The tone-based mode selection.
  NotchDetector answer_tone;  // 2100 Hz (2225 Hz for an originating Bell 103 call)
  NotchDetector bell_tone;    // 2225 Hz
  NotchDetector aa;           // 1800 Hz
  NotchDetector far_modem;    // originating: the far modem's first signal
  NotchDetector2 ac;          // 3000 Hz then 600 Hz
  NotchDetector2 usb1;        // 2250 Hz then 2850 Hz

  // The automode's band energies; the mode selection's caller uses 2250 Hz.
  EnergyDetector energy600;
  EnergyDetector energy1300;
  EnergyDetector energy1650;
  EnergyDetector energy1800;
  EnergyDetector energy2100;
  EnergyDetector energy2250;
  EnergyDetector energy3000;

  // The receive front end: this modem's own tone rejected (1300 Hz while
  // originating, 2100 Hz while answering), then the AGC.
  BandFilter rejection;
  std::int32_t samples[kHandshakeBlock];   // the input block, widened
  std::int32_t filtered[kHandshakeBlock];  // after the rejection filter
  std::int32_t levelled[kHandshakeBlock];  // after the AGC: what the detectors hear
};

}  // namespace pump
