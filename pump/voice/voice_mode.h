// Voice mode: its life cycle, the block handler and the sequence tables.
//
//   0x97 VoiceStart -> started (tone-detection mode 2) or pending
//   pending -> EnterVoice (0x95 modes 7, 9, 20; the line monitor)
//   active: VoiceBlock once per block -> StopVoice (idle, reset)
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Sequence types (command 0x97 byte 2, command 0x95).
enum VoiceSequence : std::int32_t {
  kVoicePlay = 0,
  kVoiceRecord = 1,
  kVoiceIdle = 2,
  kVoiceRecordMic = 3,  // record from the sound path
  kVoicePlaySpeaker = 4,  // play to the sound path
  kVoiceNone = 5,
};

// Context start: inactive, nothing pending, streams, route words and the
// speakerphone request cleared, the first microphone floor table.
void InitVoice(DspContext& context);
// The reset command: the sequencer's state cleared and its resamplers over
// the voice resources' FIR blocks.
void ResetVoiceSequencer(DspContext& context);
// Command 0x97's work: rate code, codec type, sequence type.
void VoiceStart(DspContext& context, std::int32_t rate_code, std::int32_t codec_type,
                std::int32_t sequence_type);
void EnterVoice(DspContext& context);
// Both streams off, nothing pending or active, sequences none, the line
// monitoring stream on again.
void StopVoice(DspContext& context);
void SelectVoiceSequences(DspContext& context, std::int32_t type);
// The codec state, the leftover bytes and the blocks cleared.
void ResetVoiceState(DspContext& context);
// Parameter key 0x10234 was written: outside the speakerphone, the speaker
// volume in bits 8-11 sets the line-to-application level.
void ApplyVoiceGain(DspContext& context, std::int16_t gain_word);

// The streams, issuing the sound-path requests of those that change.
void SetVoiceStreams(DspContext& context, bool line_to_app, bool app_to_line);
void SetSpeakerphone(DspContext& context, bool on);
// Levels 0-3 of the two streams, as the profile allows.
void SetLineToAppLevel(DspContext& context, std::int32_t level);
void SetAppToLineLevel(DspContext& context, std::int32_t level);

void VoiceBlock(DspContext& context);

}  // namespace pump
