#include <algorithm>
#include <cstring>
#include <span>

#include "platform/ke/ke.h"
#include "pump/afe_access/afe_access.h"
#include "pump/core/comram.h"
#include "pump/core/host_transfer.h"
#include "pump/detect/coefficients.h"
#include "pump/detect/preprocess.h"
#include "pump/detect/tone_classifier.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/fsk_tx.h"
#include "pump/handshake/front_end.h"
#include "pump/handshake/handshake.h"
#include "pump/idle/idle_mode.h"
#include "pump/packets/dp_packets.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v8/ansam.h"
#include "pump/v8/v8.h"
#include "pump/v8/v8_steps.h"

namespace pump {
namespace {

constexpr int kAgcStartExponent = 7;
constexpr int kAgcStartMantissa = 0x3000;
// The FSK gain (mantissa << exponent, low 15 bits cleared) above which the
// continuation takes one exponent off and 6 dB of front-end gain on.
constexpr std::int64_t kHighFskGain = 0xA8000;
constexpr std::int16_t kFrontEndGainStep = 6;  // dB
constexpr int kPhase2HalfDuplexOption = 4;

// V8bisRxState0: the tone classifier over the block before the AGC, and
// the V.8bis messages through the FSK receiver (framer type 7).
void V8bisRxState0(DspContext& context) {
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndAgc);
  RunToneClassifier(context, block.samples);
  FskRx(context);
}

using Entry = StateEntry<DspContext>;
constexpr Entry kV8bis[] = {{V8bisRxState0, -1, "V8bisRxState0"}};

void StartLineProfileDownload(DspContext& context) {
  LineProfileUpload& upload = context.v8.upload;
  upload.state = 0;
  upload.byte_count = 0;
  if ((context.call.options & kV8OptionProfileUpload) == 0) return;
  upload.state = 2;
  upload.profile_valid = 0;
  const DpPacketBytes packet =
      BuildDpPacket(DpOverlayControlPayload{.request = kOverlayDownloadRequest});
  PostDpPacket(*context.host, packet.code, std::span(packet.payload.data(), packet.length));
}

bool Originating(const DspContext& context) { return context.call.direction == 1; }

}  // namespace

namespace v8 {

void Report(DspContext& context, std::uint8_t event) {
  SetDspReg(*context.host, kRegEventType, event);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

void StartNegotiatedModem(DspContext& context) {
  switch (context.call.mode) {
    case kModeFaxV21:
      StartFsk(context, kFskV21Data);
      break;
    case kModeV34HalfDuplex:
      SetPhase2Option(context, kPhase2HalfDuplexOption, 1);
      StartPhase2(context);
      break;
    case kModeV34:
    case kModeV34Option:
    case kModeV90:
    case kModeV92:
      StartPhase2(context);
      break;
    default:
      StartModeModem(context);  // FSK, V.22/V.22bis or V.32 by the call's direction
      break;
  }
  EndIfStillOnV8(context);
}

void EndIfStillOnV8(DspContext& context) {
  if (context.rx.table.data() == context.v8.table.data()) {
    SetStateMachine(context.rx, StateOp::kGo, kRxIdleTable);
  }
}

bool SignalLost(DspContext& context) {
  const AgcGain& agc = context.detectors.agc;
  return CheckSignalLoss(context, agc.mantissa, agc.exponent);
}

}  // namespace v8

StateTable<DspContext> V8bisTable() { return kV8bis; }

void StartV8(DspContext& context) {
  V8Area& v = context.v8;
  context.dc_removal = {};
  v.ansam_time = 0;
  v.continuation = 0;
  if (Originating(context)) {
    InitAnsamDetector(context);
    InitNotchDetector(v.answer_tone, notch::k2100, 3, 1);
    InitNotchDetector(v.bell_tone, notch::k2225, 5, 2);
    InitAgcGain(context.detectors.agc, kAgcStartExponent, kAgcStartMantissa);
    InitHandshakeFrontEnd(context);
    StartFsk(context, context.call.v8bis != 0 ? kFskV8bisOriginate : kFskV8Originate);
    v.table = V8CallTable();
    SetStateMachine(context.rx, StateOp::kGo, v.table);
    v.cm_countdown = kV8CmCountdown;
  } else {
    InitNotchDetector(v.aa, notch::k1800, 5, 2);
    InitNotchDetector(v.tone520, notch::k520, 5, 2);
    InitHandshakeFrontEnd(context);
    StartFsk(context, context.call.v8bis != 0 ? kFskV8bisAnswer : kFskV8Answer);
    v.table = V8AnswerTable();
    SetStateMachine(context.tx, StateOp::kGo, AnsamTxTable());
    SetStateMachine(context.rx, StateOp::kGo, v.table);
    v.aa_heard = 0;
  }
  v8::Report(context, kV8EventStart);
  StartLineProfileDownload(context);
}

void StartV8bis(DspContext& context) {
  context.dc_removal = {};
  InitAgcGain(context.detectors.agc, kAgcStartExponent, kAgcStartMantissa);
  InitHandshakeFrontEnd(context);
  StartFsk(context, Originating(context) ? kFskV8bisOriginate : kFskV8bisAnswer);
  SetStateMachine(context.tx, StateOp::kGo, FskTxTable());
  context.v8.table = kV8bis;
  SetStateMachine(context.rx, StateOp::kGo, context.v8.table);
  v8::Report(context, kV8EventStart);
}

void ContinueV8Originate(DspContext& context) {
  if (context.rx.table.data() != V8CallTable().data()) {
    DbgPrint("vxdsp: V.8 continuation while no V.8 call runs; ignored\n");
    return;
  }
  context.v8.continuation = 1;
  context.call.published_level = context.call.block_level;
}

void ContinueV8Answer(DspContext& context) {
  // Only while V8Ans0 listens for CM: later the answerer already gave up
  // V.8 or continues.
  if (context.rx.table.data() != V8AnswerTable().data() || context.rx.position != 0) {
    DbgPrint("vxdsp: V.8 continuation while no V.8 answer listens; ignored\n");
    return;
  }
  V8Area& v = context.v8;
  v.cj_count = 0;
  v.gain_count = 0;
  context.call.published_level = context.call.block_level;
  AdjustV8Gain(context);
  SetStateMachine(context.tx, StateOp::kGo, FskTxTable());
  SetStateMachine(context.rx, StateOp::kRestartAt, {}, 3);
}

void AdjustV8Gain(DspContext& context) {
  FskWork& w = context.fsk;
  const std::int64_t gain =
      (std::int64_t{w.agc.mantissa} << std::clamp<int>(w.agc.exponent, 0, 31)) & ~std::int64_t{0x7FFF};
  if (gain > kHighFskGain) {
    --w.agc.exponent;
    std::int16_t step = kFrontEndGainStep;
    ULONG size = sizeof step;
    IssueAfeRequest(*context.afe, afe::kAfeSetGain, &step, &size);
    std::int16_t now = 0;
    size = sizeof now;
    IssueAfeRequest(*context.afe, afe::kAfeGetGain, &now, &size);
    w.receive_gain_db = now;
    context.call.level_offset = now;
  }
  w.agc.save_hold = 1;
}

void ClearTxMode(void* record) {
  const std::uint32_t zero = 0;
  std::memcpy(record, &zero, sizeof zero);
}

}  // namespace pump
