#include "pump/callprogress/call_progress.h"

#include <span>

#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/callprogress/dialling.h"
#include "pump/callprogress/filter_bank.h"
#include "pump/callprogress/line_events.h"
#include "pump/commands/answers.h"
#include "pump/core/host_transfer.h"
#include "pump/detect/coefficients.h"
#include "pump/detect/preprocess.h"
#include "pump/fsk/caller_id.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/idle/default_block.h"
#include "pump/idle/level_step.h"
#include "pump/packets/dp_packets.h"
#include "pump/voice/voice_mode.h"
#include "pump/voice/voice_reports.h"

namespace pump {
namespace {

constexpr int kNotchOn = 5;
constexpr int kNotchOff = 2;
constexpr int kNotchLimit = 960;
constexpr int kVoltageMeasures = 6;
constexpr std::uint8_t kCadenceReportFlag = 0x01;
constexpr std::uint8_t kKeptFlags = 0x1E;
constexpr std::uint8_t kPeakWatch = 0x02;  // caller-ID configuration (0xA4) bits
constexpr std::uint8_t kHoldHook = 0x04;

constexpr StateEntry<DspContext> kCallProgressEntries[] = {
    {CallProgressHandler, -1, "CallProgressHandler"}};
constexpr StateTable<DspContext> kCallProgressTable = kCallProgressEntries;

void Event(DspContext& context, std::uint8_t type) {
  SetDspReg(*context.host, kRegEventType, type);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

void Post(DspContext& context, const DpCallProgressPayload& payload) {
  const DpPacketBytes packet = BuildDpPacket(payload);
  PostDpPacket(*context.host, packet.code, packet.Payload());
}

void SetCodecFlag(DspContext& context, ULONG value) {
  ULONG size = sizeof value;
  IssueAfeRequest(*context.afe, afe::kAfeCodecFlag, &value, &size);
}

void InitNotch(DspContext& context) {
  InitNotchDetector(context.call_progress.notch, notch::k2100, kNotchOn, kNotchOff);
  context.call_progress.notch_reported = 0;
}

// One report per tone: the detector reports again once the ratio fell
// below its off ratio.
void RunNotch(DspContext& context, std::span<const std::int32_t> work) {
  CallProgressArea& cp = context.call_progress;
  if (cp.notch.set == nullptr) return;  // no mode has set it up since the start
  if (RunNotchDetector(cp.notch, work, kNotchLimit) != 0 && cp.notch_reported == 0) {
    cp.notch_reported = 1;
    const DpPacketBytes packet = BuildDpPacket(DpToneDetectionPayload{kAnswerToneResult});
    PostDpPacket(*context.host, packet.code, packet.Payload());
  }
  if (cp.notch.input_power / cp.notch.output_power < cp.notch.off_ratio) cp.notch_reported = 0;
}

void CheckLine(DspContext& context) {
  CallProgressArea& cp = context.call_progress;
  if (cp.check_done != 0) return;
  ++cp.check_ticks;
  const int measure = ReadLineMeasure(*context.afe);
  cp.low_ticks = measure < context.afe_info.LineLowThreshold ? cp.low_ticks + 1 : 0;
  if (cp.low_ticks >= kLineCheckLowTicks) {
    cp.check_done = 1;
    Event(context, kEventLineLow);
  } else if (cp.check_ticks >= kLineCheckTicks) {
    cp.check_done = 1;  // the line is present
  }
}

void CheckLineVoltage(DspContext& context) {
  CallProgressArea& cp = context.call_progress;
  if (context.afe_info.Zero548 != 0) {
    cp.measure_sum += ReadLineMeasure(*context.afe);
    if (++cp.measures == kVoltageMeasures) {
      SetAfeHook2(*context.afe, 0);
      const int average = cp.measure_sum / kVoltageMeasures;
      Event(context, average < context.afe_info.Constant9 ? kEventLineLow : kEventMonitoring);
      context.dial_call_state = kCallProgressMonitoring;
    }
  }
  if (TakeLevelStep(context.level_step)) {
    Event(context, kEventLevelStep);
    SetAfeHook(*context.afe, 0);
    context.dial_call_state = kCallProgressMonitoring;
  }
}

void FollowCallerIdConfig(DspContext& context) {
  CallProgressArea& cp = context.call_progress;
  AfeAccess& afe = *context.afe;
  const std::uint8_t config = context.caller_id_config;
  if ((config & kHoldHook) != 0) {
    if (afe.hook == 0) {
      SetAfeHook(afe, 1);
      InitLevelStep(context.level_step);
    } else if (TakeLevelStep(context.level_step)) {
      Post(context, {.kind = kCallProgressLevelStep, .stamp = CadenceStamp(cp.cadence.clock),
                     .count = 0});
    }
  } else if (afe.hook != 0 && context.caller_id_hook == 0) {
    // Armed caller ID holds the relay until its message ends.
    SetAfeHook(afe, 0);
  }
  const bool watch_peaks = (config & kPeakWatch) != 0 && (config & kHoldHook) == 0;
  if (watch_peaks && cp.peak_flag == 0) {
    ClearPeakRun(cp.peak);
    cp.peak_flag = 1;
    SetCodecFlag(context, 1);
  } else if (!watch_peaks && cp.peak_flag != 0) {
    cp.peak_flag = 0;
    SetCodecFlag(context, 0);
  }
}

// Armed FSK caller ID hears the block in every state that watches the line:
// on hook (state 0) and off hook in the line check and the answer-tone
// watch (states 1 and 2), as state 6 does.
void HearFskCallerId(DspContext& context) {
  if (CallerIdFskArmed(context)) FskRx(context);
}

void Monitor(DspContext& context, std::span<const std::int32_t> work) {
  CallProgressArea& cp = context.call_progress;
  RunNotch(context, work);
  const std::span<const std::int16_t> raw(context.input_block, work.size());
  if (cp.cadence_report != 0) {
    const CadenceReport report = RunBurstCadence(cp.cadence, raw);
    if (report.started) {
      Post(context, {.kind = kCallProgressBurstCadence, .stamp = report.start_stamp, .count = 0});
    }
    if (report.ended) {
      Post(context, {.kind = kCallProgressBurstCadence, .stamp = report.end_stamp,
                     .count = report.bursts});
    }
    if (cp.peak_flag != 0 && RunPeakRun(cp.peak, raw)) {
      Post(context, {.kind = kCallProgressPeakRun, .stamp = CadenceStamp(cp.cadence.clock),
                     .count = 0});
    }
  }
  if (CallerIdDtmfArmed(context)) {
    CallerIdDtmfBlock(context);
  } else if (context.dial_call_state == kCallProgressMonitoring) {
    FollowCallerIdConfig(context);
  }
  HearFskCallerId(context);
}

}  // namespace

void CallProgressHandler(DspContext& context) {
  CallProgressArea& cp = context.call_progress;
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
  const std::span<const std::int16_t> input(context.input_block, n);
  const std::span<std::int32_t> work(cp.work, n);
  PreprocessRx(kPreprocessDcRemoval | kPreprocessAgc, input, context.dc_removal, work, nullptr,
               work, &context.detectors.agc, work);
  const bool classifier = context.detectors.band_classifier.enable == 2;
  switch (context.dial_call_state) {
    case kCallProgressLineCheck:
      CheckLine(context);
      RunToneFilterBank(context, work, false);
      HearFskCallerId(context);
      return;
    case kCallProgressAnswerWatch:
      RunToneFilterBank(context, work, classifier);
      RunNotch(context, work);
      HearFskCallerId(context);
      return;
    case kCallProgressLineVoltage:
      CheckLineVoltage(context);
      [[fallthrough]];
    case kCallProgressMonitoring:
      RunToneFilterBank(context, work, classifier);
      Monitor(context, work);
      return;
    case kCallProgressCallerId:
      CallerIdStateBlock(context);
      return;
    default:
      return;
  }
}

void SetCallProgressMode(DspContext& context, int mode) {
  CallProgressArea& cp = context.call_progress;
  AfeAccess& afe = *context.afe;
  context.mode_block = DefaultBlock;
  if (mode != kCallProgressLineVoltage) SetAfeHook(afe, 0);
  switch (mode) {
    case kCallProgressMonitoring:
      Event(context, kEventMonitoring);
      SetStateMachine(context.rx, StateOp::kGo, kCallProgressTable);
      context.dial_call_state = kCallProgressMonitoring;
      RestartBurstCadence(cp.cadence);
      InitNotch(context);
      SetVoiceLink(afe, {});
      break;
    case kCallProgressLineCheck:
      cp.check_ticks = 0;
      cp.low_ticks = 0;
      cp.check_done = 0;
      SetStateMachine(context.rx, StateOp::kGo, kCallProgressTable);
      context.dial_call_state = kCallProgressLineCheck;
      break;
    case kCallProgressAnswerWatch:
      InitNotch(context);
      if (context.dial.pulse != 0) SetVoiceLink(afe, {});
      context.dial_call_state = kCallProgressAnswerWatch;
      if (context.voice.start_pending != 0) {
        // A voice start waited for this mode.
        ResetVoiceDetectors(context);
        EnterVoice(context);
      } else {
        SetStateMachine(context.rx, StateOp::kGo, kCallProgressTable);
      }
      break;
    case kCallProgressLineVoltage:
      context.dial_call_state = kCallProgressLineVoltage;
      cp.measures = 0;
      cp.measure_sum = 0;
      SetAfeHook2(afe, 1);
      SetAfeHook(afe, 1);
      InitLevelStep(context.level_step);
      InitNotch(context);  // state 0 follows the check
      SetStateMachine(context.rx, StateOp::kGo, kCallProgressTable);
      break;
    default:
      break;
  }
  if (afe.codec_flag != 0) {
    cp.peak_flag = 0;
    SetCodecFlag(context, 0);
  }
}

bool CallProgressRunning(const DspContext& context) {
  return context.rx.table.data() == kCallProgressTable.data();
}

void StopCallProgress(DspContext& context, bool was_running) {
  if (context.dial.tone_running != 0 || context.dialling != 0) StopTonePair(context);
  RestartBurstCadence(context.call_progress.cadence);
  if (was_running) {
    context.dial_call_state = kCallProgressMonitoring;
    SetStateMachine(context.rx, StateOp::kGo, kCallProgressTable);
  }
}

void CallProgressModeCommand(DspContext& context) {
  CallProgressArea& cp = context.call_progress;
  const std::uint8_t flags = PayloadByte(context, 1);
  cp.cadence_report = (flags & kCadenceReportFlag) != 0 ? 1 : 0;
  cp.flags = flags & kKeptFlags;
  if (context.call.direction == 0) RestartBurstCadence(cp.cadence);
  SetCallProgressMode(context, PayloadByte(context, 0));
  AckPacket(context);
}

}  // namespace pump
