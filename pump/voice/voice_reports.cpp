#include "pump/voice/voice_reports.h"

#include "pump/afe_access/afe_requests.h"
#include "pump/core/host_transfer.h"
#include "pump/detect/coefficients.h"
#include "pump/packets/dp_packets.h"

namespace pump {
namespace {

constexpr int kToneOnRatio = 5;
constexpr int kToneOffRatio = 2;
constexpr int kTonePresentSamples = 2880;  // 300 ms at 9600 Hz
constexpr int kToneStillSamples = 480;     // 50 ms: a watched 1300 Hz burst goes on
constexpr int k1100AbsentBlocks = 4;       // more than this many ends a tone
constexpr int k1300Bursts = 3;
constexpr std::int16_t kSilenceMargin = 3;  // dB above the threshold

void PostResult(DspContext& context, std::uint8_t result) {
  const DpPacketBytes packet = BuildDpPacket(DpToneDetectionPayload{result});
  PostDpPacket(*context.host, packet.code, packet.Payload());
}

bool Present(const NotchDetector& detector) {
  return detector.input_power / detector.output_power >= detector.off_ratio;
}

}  // namespace

void ResetVoiceDetectors(DspContext& context) {
  VoiceArea& voice = context.voice;
  ResetDtmfDetector(voice.dtmf);
  voice.tone1100 = {};
  voice.tone1300 = {};
  InitNotchDetector(voice.tone1100.detector, notch::k1100, kToneOnRatio, kToneOffRatio);
  InitNotchDetector(voice.tone1300.detector, notch::k1300, kToneOnRatio, kToneOffRatio);
  voice.silence.block_count = 0;
  voice.silence.report_count = 0;
}

void ReportVoiceDtmf(DspContext& context, int code) {
  char digit = 0;
  if (code >= 1 && code <= 9) {
    digit = static_cast<char>('0' + code);
  } else if (code >= 10 && code <= 14) {
    digit = static_cast<char>('A' + code - 10);
  } else if (code == 15) {
    digit = '0';
  } else if (code == 16) {
    digit = 'F';
  }
  if (digit != 0) PostResult(context, static_cast<std::uint8_t>(digit));
}

void WatchCallingTones(DspContext& context, std::span<const std::int32_t> block) {
  CallingToneWatch& t1100 = context.voice.tone1100;
  const bool fired1100 = RunNotchDetector(t1100.detector, block, kTonePresentSamples) != 0;
  if (t1100.watching == 0) {
    if (fired1100) {
      t1100.watching = 1;
      t1100.absent = 0;
    }
  } else if (fired1100 || Present(t1100.detector)) {
    t1100.absent = 0;
  } else if (++t1100.absent > k1100AbsentBlocks) {
    PostResult(context, kVoice1100HzEnded);
    t1100.watching = 0;
  }

  CallingToneWatch& t1300 = context.voice.tone1300;
  const int limit = t1300.watching != 0 ? kToneStillSamples : kTonePresentSamples;
  const bool fired1300 = RunNotchDetector(t1300.detector, block, limit) != 0;
  if (t1300.watching == 0) {
    if (fired1300) {
      t1300.watching = 1;
      if (++t1300.bursts == k1300Bursts) {
        PostResult(context, kVoice1300HzThirdBurst);
        t1300.bursts = 0;
      }
    }
  } else if (!fired1300) {
    t1300.watching = 0;
  }
}

void DetectVoiceSilence(DspContext& context) {
  VoiceSilence& silence = context.voice.silence;
  if (silence.enabled == 0) return;
  if (silence.level >= silence.threshold + kSilenceMargin) {
    silence.block_count = 0;
    silence.report_count = 0;
    return;
  }
  if (++silence.block_count / 10 < silence.time) return;
  PostResult(context, silence.report_count == 0 ? kVoiceSilenceFirst : kVoiceSilenceAgain);
  ++silence.report_count;
  silence.block_count = 0;
}

void CheckHandsetState(DspContext& context) {
  ULONG status = 0;
  if (AfeReadValue(*context.afe, status) != 0) return;
  if ((status != 1 && status != 3) || static_cast<std::int32_t>(status) == context.voice.handset) {
    return;
  }
  context.voice.handset = static_cast<std::int32_t>(status);
  SetLocalPhoneBit(*context.host, status == 3);
}

}  // namespace pump
