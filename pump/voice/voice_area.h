// The voice area of the DspContext: the voice mode's state for one device.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pump/core/state_machine.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/notch_detector.h"
#include "pump/resampler/resampler.h"
#include "pump/voice/speakerphone_area.h"
#include "pump/voice/voice_codec.h"

namespace pump {

struct DspContext;

inline constexpr std::size_t kVovProfileBytes = 332;

inline constexpr int kVoiceLineRate = 8000;
inline constexpr int kVoiceBlock = 80;         // samples per block at 8000 Hz
inline constexpr int kVoiceLineSamples = 220;  // the most a line block may hold
inline constexpr int kVoiceDetectorBlock = 96;  // the block at 9600 Hz
// The sound-in buffer holds a block plus the longest entry a take may bring.
inline constexpr int kSoundInSamples = kVoiceBlock + 480;
// Bytes a block may need: the longest resampler input.
inline constexpr int kVoiceBytesMax = kVoiceLineSamples;
inline constexpr int kVoicePostPiece = 30;  // recorded bytes per receive-mailbox block

// What the voice streams carry; the speakerphone is both at once.
struct VoiceStreams {
  std::int32_t line_to_app;
  std::int32_t app_to_line;
  std::int32_t speakerphone;
};

struct VoiceSilence {
  std::int16_t level;      // dB of the last block
  std::int16_t threshold;  // dB
  std::uint8_t sensitivity;
  std::uint8_t time;  // in 100 ms
  std::uint32_t block_count;
  std::uint32_t report_count;
  std::uint32_t enabled;
};

// One calling-tone watcher: a notch detector and its watch.
struct CallingToneWatch {
  NotchDetector detector;
  std::uint32_t watching;  // present once, now watched until it goes
  std::int32_t absent;     // blocks in a row without it (1100 Hz)
  std::int32_t bursts;     // bursts counted (1300 Hz)
};

struct VoiceArea {
  std::uint8_t vov_profile[kVovProfileBytes];  // the speakerphone's stored line-echo profile
  std::uint32_t vov_profile_bytes;             // as the registry gave it; 332 once stored
  std::int16_t gain_word;                      // parameter key 0x10234

  std::int32_t start_pending;
  std::int32_t line_mode;  // command 0x95
  std::int32_t rate_code;  // command 0x97 bytes 0-2
  std::int32_t codec_type;
  std::int32_t sequence_type;
  std::uint16_t line_rate;
  std::uint16_t line_block;
  std::int16_t line_in[kVoiceLineSamples];
  std::int16_t line_out[kVoiceLineSamples];
  std::int16_t sound_in[kSoundInSamples];
  std::int16_t sound_out[kVoiceLineSamples];
  std::uint16_t line_count;
  std::uint16_t sound_in_count;
  std::uint16_t sound_out_count;
  std::int16_t detector_block[kVoiceDetectorBlock];  // the line block at 9600 Hz
  Resampler play;      // voice rate to 8000 Hz
  Resampler record;    // 8000 Hz to the voice rate
  Resampler detector;  // 8000 Hz to 9600 Hz
  std::uint32_t resampled;  // the voice rate is not 8000 Hz
  VoiceCodec codec;
  VoiceCodecRoutines routines;
  std::uint8_t leftover[kVoiceBytesMax];
  std::uint16_t leftover_count;
  std::uint32_t dropped_pieces;  // recorded pieces the receive mailbox refused
  StateMachine<DspContext> tx;
  StateMachine<DspContext> rx;
  VoiceStreams streams;
  std::int32_t levels[2];  // line-to-application, application-to-line: 0-3
  std::uint16_t route[2];  // command 0x9C words
  std::uint8_t speakerphone_request;  // command 0xA2
  std::uint8_t floor_table;           // the speakerphone's microphone floor table: 0 first, 1 second
  VoiceSilence silence;
  DtmfDetector dtmf;
  CallingToneWatch tone1100;
  CallingToneWatch tone1300;
  std::int32_t handset;  // last line status taken: 1 on hook, 3 off hook
  // The dial machine runs on the voice transmit machine (digits, tone
  // pairs): line_out holds its tones, and the application's samples wait.
  std::uint32_t dialler_sends;
  Speakerphone speakerphone;
};

}  // namespace pump
