// The areas of the DspContext that belong to the modes. Most modes are not
// built yet: their areas hold only the fields that the core (the context,
// the dispatcher and the command handlers) reads or writes, and each mode's
// issue completes its own area.
#pragma once

#include <cstdint>

#include "pump/callprogress/call_progress_area.h"
#include "pump/core/state_machine.h"
#include "pump/detect/agc.h"
#include "pump/detect/band_classifier.h"
#include "pump/detect/tone_classifier.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/framer/data_framer.h"
#include "pump/fax/fax_area.h"
#include "pump/fsk/fsk_area.h"
#include "pump/handshake/handshake_area.h"
#include "pump/v8/v8_area.h"
#include "pump/v22/v22_area.h"
#include "pump/v32/v32_area.h"
#include "pump/voice/voice_area.h"
#include "siglib/frame/types.h"

namespace pump {

struct DspContext;

// One signal-library allocation of a mode, until the mode names its own
// objects.
struct PlaceholderResources {
  void* block;
};

// The voice mode's signal-library objects: the 64-point real FFT that the
// tone and band classifiers share and its work buffer; the FIR state
// blocks of the play, record and detector resamplers and of the
// speakerphone's two sound-path resamplers; the speakerphone's 512-tap LMS
// state and its own 64-point FFT with its work buffer.
inline constexpr int kVoiceFirBuffers = 5;

struct VoiceResources {
  fft16_context* fft;
  std::uint8_t* fft_work;
  std::uint8_t* fir[kVoiceFirBuffers];
  lms_state* lms;
  fft16_context* echo_fft;
  std::uint8_t* echo_fft_work;
};

// The signal-library objects of every mode, allocated by the first
// successful reset command (AllocModeResources) and freed at stop.
struct ModeResources {
  PlaceholderResources phase2;
  PlaceholderResources v34;
  PlaceholderResources v90;
  PlaceholderResources v92;
  VoiceResources voice;
  std::uint8_t* resampler;  // the block resampler's FIR state (pump/resampler)
};

// The receive area that V.34, V.90 and V.92 use in turn.
struct ReceiveArea {
  std::uint32_t option_flags[3];  // connect options byte 4 bits 4, 0 and 1
  std::int32_t rate_limit;        // V.34 rate index limit, receive side
  std::int32_t rate_index;        // V.34 receive rate index of the connection
  std::uint32_t phase3_restart;   // a retrain restarts V.34 from phase 3
  std::int32_t control_state;     // the V.34 control word
  // The V.90/V.92 connection report.
  std::uint32_t report_status;
  std::uint16_t report_timing;
  std::uint16_t report_mse;
  std::uint16_t upstream_size_code;
  std::uint16_t downstream_rate_index;
  std::uint32_t upstream_pcm;
  std::uint32_t rate_renegotiation;  // V.90 renegotiation request
  std::uint16_t v32_rate_word;       // low byte: the allowed V.32 rates (command 0x64)
  std::uint8_t v32_echo_off;         // a test's knob: the connection hears the line uncancelled
  v32::V32Area v32;                  // V.32 and V.32bis (pump/v32)
};

// The transmit area that V.34, V.90 and V.92 use in turn.
struct TransmitArea {
  std::int32_t rate_limit;           // V.34 rate index limit, transmit side
  std::int32_t rate_index;           // V.34 transmit rate index of the connection
  std::uint32_t options_flag;        // set by a 4-byte options command
  std::uint32_t connect_flag;        // connect byte 5 bit 0
  std::uint32_t connect_value;       // connect byte 5 bits 1-2
  std::uint32_t v34_mode18;          // mode 18 was requested
  std::uint32_t renegotiation_seen;  // reported once by the rate query
  std::uint8_t option_selector;
  std::uint8_t option_byte;
  std::uint8_t record[12];  // parameter keys 0x102 and 0x120
};

// Phase 2 of V.34: the options that survive its resets (memory keys
// 0x1600-0x1603 are its four words).
struct Phase2Options {
  std::uint16_t option_word;
  std::uint16_t rate_mask;
  std::uint16_t flags;  // the V.34 option word
  std::uint16_t limits;
  std::uint8_t symbol_rate_mask;
  std::uint8_t reserved;
};
static_assert(sizeof(Phase2Options) == 10);

struct Phase2Record {
  Phase2Options options;
};

// The detectors' state that lives with the context (pump/detect).
struct DetectorRecords {
  AgcGain agc;              // the receive front end's
  std::uint32_t tone_flag;  // cleared by the reset command
  ToneClassifier tone_classifier;
  BandClassifier band_classifier;
};

// The in-call tone monitor of the high-speed modes.
struct ToneMonitor {
  std::int16_t average[32];
  std::int16_t reference[32];
  std::int16_t band1[2];   // lowest and highest bin of the single-tone window
  std::int16_t band2[2];   // of the dual-tone window
  std::int16_t bin_width;  // Hz; 0 until a high-speed mode starts
};

// The caller-ID receiver (pump/fsk/caller_id.h). The armed flag is the
// context's caller_id_hook.
struct CallerIdReceiver {
  std::int32_t type;  // CallerIdType
  std::uint32_t seizure_found;
  std::uint32_t mark_found;
  std::uint32_t start_found;
  std::uint32_t dtmf_started;
  std::uint16_t dtmf_idle_blocks;
  std::uint8_t ones;        // start-pattern method: ones before the pattern, at most 36
  std::uint8_t shift;       // start-pattern method: the last eight bits
  std::uint16_t character;  // header method: the last ten bits
  std::uint16_t counter;    // alternations, marks, header characters or zeros, by method
  std::int16_t previous_bit;
  std::uint32_t gain_frozen;  // header method: frozen for a weak signal
  std::uint32_t enable;       // state 6 runs the receiver while set
  std::int32_t level_ticks;   // state 6: blocks left before a weak signal ends it
  DtmfDetector dtmf;
};

}  // namespace pump
