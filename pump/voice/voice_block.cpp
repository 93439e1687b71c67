// VoiceBlock and the sequence states it runs.
#include <algorithm>
#include <array>
#include <bit>
#include <iterator>

#include "pump/afe_access/afe_requests.h"
#include "pump/callprogress/filter_bank.h"
#include "pump/core/data_keys.h"
#include "pump/core/host_transfer.h"
#include "pump/core/power_db.h"
#include "pump/detect/tone_classifier.h"
#include "pump/framer/framer.h"
#include "pump/idle/default_block.h"
#include "pump/idle/level_step.h"
#include "pump/voice/speakerphone.h"
#include "pump/voice/voice_mode.h"
#include "pump/voice/voice_reports.h"
#include "pump/voice/voice_sequences.h"

namespace pump {
namespace {

constexpr std::uint8_t kVoiceDataKind = 0;

std::size_t LineCount(const DspContext& context) { return context.voice.line_count; }

// Voice bytes for one block into `samples`: true when enough bytes came
// (leftover first, then transmit-mailbox blocks); the bytes a block does
// not use wait for the next.
bool PlayBytes(DspContext& context, std::span<std::int16_t> samples) {
  VoiceArea& voice = context.voice;
  const std::size_t n = samples.size();
  const std::size_t need =
      voice.resampled != 0 ? static_cast<std::size_t>(voice.play.input_length) : n;
  if (need > std::size(voice.leftover)) return false;
  std::array<std::uint8_t, kMailboxData> block;
  while (voice.leftover_count < need) {
    std::uint8_t kind = 0;
    std::uint8_t count = 0;
    if (!TakeTxMailbox(*context.host, kind, count, block)) break;
    const std::size_t room = std::size(voice.leftover) - voice.leftover_count;
    const std::size_t take = std::min<std::size_t>(count, room);
    std::copy_n(block.begin(), take, voice.leftover + voice.leftover_count);
    voice.leftover_count = static_cast<std::uint16_t>(voice.leftover_count + take);
  }
  if (voice.leftover_count < need) return false;

  std::array<std::int16_t, kVoiceBytesMax> codes;
  std::array<std::int16_t, kVoiceBytesMax> decoded;
  std::copy_n(voice.leftover, need, codes.begin());
  voice.routines.decode(voice.codec, std::span(codes.data(), need),
                        std::span(decoded.data(), need));
  std::copy(voice.leftover + need, voice.leftover + voice.leftover_count, voice.leftover);
  voice.leftover_count = static_cast<std::uint16_t>(voice.leftover_count - need);

  std::fill(samples.begin(), samples.end(), std::int16_t{0});
  if (voice.resampled == 0) {
    std::copy_n(decoded.begin(), n, samples.begin());
    return true;
  }
  std::array<std::int16_t, kResamplerBufferSamples> out{};
  if (Resample(voice.play, std::span<const std::int16_t>(decoded.data(), need), out,
               voice.play.phase, 0) != QVLS_OK) {
    return true;  // a refused resampler plays silence
  }
  std::copy_n(out.begin(), std::min<std::size_t>(n, static_cast<std::size_t>(voice.play.output_length)),
              samples.begin());
  return true;
}

// Encodes line-rate samples (resampled to the voice rate when needed) and
// posts the bytes in pieces; a refused piece is dropped and counted.
void RecordSamples(DspContext& context, std::span<const std::int16_t> samples) {
  VoiceArea& voice = context.voice;
  std::array<std::int16_t, kResamplerBufferSamples> resampled;
  std::span<const std::int16_t> input = samples;
  if (voice.resampled != 0) {
    if (Resample(voice.record, samples, resampled, voice.record.phase, 0) != QVLS_OK) return;
    input = std::span<const std::int16_t>(resampled.data(),
                                          static_cast<std::size_t>(voice.record.output_length));
  }
  std::array<std::int16_t, kResamplerBufferSamples> codes;
  voice.routines.encode(voice.codec, input, std::span(codes.data(), input.size()));
  std::array<std::uint8_t, kVoicePostPiece> piece;
  for (std::size_t at = 0; at < input.size(); at += kVoicePostPiece) {
    const std::size_t count = std::min<std::size_t>(kVoicePostPiece, input.size() - at);
    for (std::size_t i = 0; i < count; ++i) piece[i] = static_cast<std::uint8_t>(codes[at + i]);
    if (!PostRxMailbox(*context.host, kVoiceDataKind, static_cast<std::uint8_t>(count),
                       std::span(piece.data(), count))) {
      ++voice.dropped_pieces;
    }
  }
}

// The detectors over the line block at 9600 Hz; the idle sequence adds the
// spectral tone classifier before the filter bank.
void RunVoiceDetectors(DspContext& context, bool classify) {
  VoiceArea& voice = context.voice;
  std::array<std::int16_t, kResamplerBufferSamples> up{};
  if (Resample(voice.detector, std::span<const std::int16_t>(voice.line_in, LineCount(context)),
               up, voice.detector.phase, 0) != QVLS_OK) {
    return;
  }
  const std::size_t m =
      std::min<std::size_t>(kVoiceDetectorBlock, static_cast<std::size_t>(voice.detector.output_length));
  std::copy_n(up.begin(), m, voice.detector_block);
  const std::span<const std::int16_t> block(voice.detector_block, m);
  const int digit = DebounceDtmf(voice.dtmf, RunDtmfDetector(voice.dtmf, block));
  if (digit != 0) ReportVoiceDtmf(context, digit);
  std::array<std::int32_t, kVoiceDetectorBlock> wide;
  std::copy(block.begin(), block.end(), wide.begin());
  if (classify) RunToneClassifier(context, std::span(wide.data(), m));
  RunToneFilterBank(context, std::span(wide.data(), m), false);
  WatchCallingTones(context, std::span(wide.data(), m));
}

void VoicePlaySeqTx(DspContext& context) {
  PlayBytes(context, std::span(context.voice.line_out, LineCount(context)));
}

void VoicePlaySpkSeqTx(DspContext& context) {
  VoiceArea& voice = context.voice;
  const std::span line_in(voice.line_in, LineCount(context));
  if (!PlayBytes(context, line_in)) std::fill(line_in.begin(), line_in.end(), std::int16_t{0});
  std::fill(std::begin(voice.line_out), std::end(voice.line_out), std::int16_t{0});
}

void VoiceRecMicSeqTx(DspContext& context) {
  std::fill(std::begin(context.voice.line_out), std::end(context.voice.line_out), std::int16_t{0});
}

void VoicePlaySeqRx(DspContext& context) {
  CheckHandsetState(context);
  RunVoiceDetectors(context, false);
}

void VoiceRecSeqRx(DspContext& context) {
  VoicePlaySeqRx(context);
  RecordSamples(context, std::span<const std::int16_t>(context.voice.line_in, LineCount(context)));
}

void VoiceIdleSeqRx(DspContext& context) {
  CheckHandsetState(context);
  DetectVoiceSilence(context);
  RunVoiceDetectors(context, true);
}

void VoiceRecMicSeqRx(DspContext& context) {
  VoiceArea& voice = context.voice;
  const std::size_t count = std::min<std::size_t>(voice.sound_in_count, LineCount(context));
  if (count != 0) RecordSamples(context, std::span<const std::int16_t>(voice.sound_in, count));
}

using Entry = StateEntry<DspContext>;
constexpr Entry kPlayTx[] = {{VoicePlaySeqTx, -1, "VoicePlaySeqTx"}};
constexpr Entry kPlayRx[] = {{VoicePlaySeqRx, -1, "VoicePlaySeqRx"}};
constexpr Entry kRecTx[] = {{nullptr, -1, "VoiceRecSeqTx"}};
constexpr Entry kRecRx[] = {{VoiceRecSeqRx, -1, "VoiceRecSeqRx"}};
constexpr Entry kIdleTx[] = {{nullptr, -1, "VoiceIdleSeqTx"}};
constexpr Entry kIdleRx[] = {{VoiceIdleSeqRx, -1, "VoiceIdleSeqRx"}};
constexpr Entry kRecMicTx[] = {{VoiceRecMicSeqTx, -1, "VoiceRecMicSeqTx"}};
constexpr Entry kRecMicRx[] = {{VoiceRecMicSeqRx, -1, "VoiceRecMicSeqRx"}};
constexpr Entry kPlaySpkTx[] = {{VoicePlaySpkSeqTx, -1, "VoicePlaySpkSeqTx"}};
constexpr Entry kPlaySpkRx[] = {{nullptr, -1, "VoicePlaySpkSeqRx"}};
constexpr Entry kNullTx[] = {{nullptr, -1, "VoiceTxNull"}};
constexpr Entry kNullRx[] = {{nullptr, -1, "VoiceRxNull"}};

struct SequencePair {
  StateTable<DspContext> tx;
  StateTable<DspContext> rx;
};
constexpr std::array<SequencePair, 6> kVoiceSequences = {{
    {kPlayTx, kPlayRx},
    {kRecTx, kRecRx},
    {kIdleTx, kIdleRx},
    {kRecMicTx, kRecMicRx},
    {kPlaySpkTx, kPlaySpkRx},
    {kNullTx, kNullRx},
}};

// Application samples into the line block, and the line block out to the
// application, by the streams that run.
void Mix(DspContext& context) {
  VoiceArea& voice = context.voice;
  const std::size_t n = LineCount(context);
  const bool to_app = voice.streams.line_to_app != 0;
  const bool to_line = voice.streams.app_to_line != 0;
  if (to_app && to_line) SpeakerphoneBlock(context);
  if (to_line && voice.dialler_sends == 0) {
    const std::size_t count = std::min<std::size_t>(voice.sound_in_count, n);
    std::copy_n(voice.sound_in, count, voice.line_out);
    std::fill(voice.line_out + count, voice.line_out + n, std::int16_t{0});
  }
  if (to_app) {
    std::copy_n(voice.line_in, n, voice.sound_out);
    voice.sound_out_count = static_cast<std::uint16_t>(n);
  }
  // The block's application samples are used; later ones wait.
  const std::size_t used = std::min<std::size_t>(voice.sound_in_count, n);
  std::copy(voice.sound_in + used, voice.sound_in + voice.sound_in_count, voice.sound_in);
  voice.sound_in_count = static_cast<std::uint16_t>(voice.sound_in_count - used);
}

void TakeSoundIn(DspContext& context) {
  VoiceArea& voice = context.voice;
  const std::size_t n = LineCount(context);
  if (voice.sound_in_count >= n) return;
  int count = static_cast<int>(n - voice.sound_in_count);
  const std::span buffer(voice.sound_in + voice.sound_in_count,
                         std::size(voice.sound_in) - voice.sound_in_count);
  if (SoundTakeSamples(*context.afe, buffer, count) != 0) {
    std::fill(std::begin(voice.sound_in), std::end(voice.sound_in), std::int16_t{0});
    voice.sound_in_count = 0;
    return;
  }
  voice.sound_in_count = static_cast<std::uint16_t>(
      std::min<std::size_t>(voice.sound_in_count + static_cast<std::size_t>(count),
                            std::size(voice.sound_in)));
}

}  // namespace

void GoVoiceSequences(DspContext& context, std::int32_t type) {
  if (type < 0 || type >= static_cast<std::int32_t>(kVoiceSequences.size())) type = kVoiceNone;
  const SequencePair& pair = kVoiceSequences[static_cast<std::size_t>(type)];
  SetStateMachine(context.voice.tx, StateOp::kGo, pair.tx);
  SetStateMachine(context.voice.rx, StateOp::kGo, pair.rx);
}

void VoiceBlock(DspContext& context) {
  VoiceArea& voice = context.voice;
  AfeAccess& afe = *context.afe;
  const std::size_t n = std::min<std::size_t>(afe.samples_per_block, kVoiceLineSamples);
  voice.line_count = static_cast<std::uint16_t>(n);
  const std::span line_in(voice.line_in, n);
  std::fill(std::begin(voice.line_in), std::end(voice.line_in), std::int16_t{0});
  ReadRxSamples(afe, line_in);
  if (afe.hook != 0) RunLevelStep(context.level_step, line_in);
  const int level = MeasurePowerDb(line_in);
  context.call.block_level = static_cast<std::int16_t>(level);
  const auto published = static_cast<std::int16_t>(kPublishedLevelBase - level);
  WriteParamKey(*context.host, kPublishedLevelKey,
                std::bit_cast<std::array<std::uint8_t, sizeof published>>(published));
  voice.silence.level = static_cast<std::int16_t>(level);

  if (voice.streams.app_to_line != 0) TakeSoundIn(context);

  RunStateMachine(context, voice.rx);
  RunStateMachine(context, voice.tx);
  Mix(context);

  FramerFlushRx(context);
  WriteTxSamples(afe, std::span<const std::int16_t>(voice.line_out, n));
  std::fill(std::begin(voice.line_out), std::end(voice.line_out), std::int16_t{0});
  if (voice.streams.line_to_app != 0 && voice.sound_out_count != 0) {
    SoundPutSamples(afe, std::span(voice.sound_out, voice.sound_out_count));
  }
  std::fill(std::begin(voice.sound_out), std::end(voice.sound_out), std::int16_t{0});
  voice.sound_out_count = 0;
}

}  // namespace pump
