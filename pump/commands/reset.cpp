// Command 0x60: the reset at the start and the end of every call.
#include <algorithm>

#include "pump/afe_access/afe_requests.h"
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/commands/mode_resources.h"
#include "pump/context/afe_info_copy.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_transfer.h"
#include "pump/callprogress/filter_bank.h"
#include "pump/detect/agc.h"
#include "pump/framer/framer.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/fax/fax_train.h"
#include "pump/pending/pending_procedures.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

constexpr std::uint8_t kLightReset = 1;
constexpr std::int16_t kResetTransmitLevel = -10;  // dB

void IssueWord(AfeAccess& afe, ULONG code, ULONG value) {
  ULONG size = sizeof value;
  IssueAfeRequest(afe, code, &value, &size);
}

void TryAllocation(DspContext& context) {
  if (context.ready == 0) context.ready = AllocModeResources(context);
}

void LightReset(DspContext& context) {
  SetAfeRate(*context.afe, kBlockSamples, 9600);
  context.direct_phase2 = 0;
  context.quick_connect = 0;
  context.mode_block = DefaultBlock;
  InitFramerTx(context, 0);
  InitFramerRx(context, 0);
  TryAllocation(context);
}

void FullReset(DspContext& context) {
  AfeAccess& afe = *context.afe;
  IssueWord(afe, afe::kAfeTestMode, 0);
  RefreshAfeInfo(context);
  SetAfeRate(afe, kBlockSamples, 9600);
  SetAfeLineOption(afe, 1);

  context.dial_call_state = -1;
  ResetVoiceSequencer(context);
  context.mode_block = DefaultBlock;
  context.dialling = 0;
  SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  SetStateMachine(context.rx, StateOp::kGo, kRxIdleTable);
  context.call.framer_received = context.framer.received_bytes;
  context.call.framer_delivered = context.framer.delivered_bytes;
  context.retrain = 0;

  context.line_monitor.high_count = 0;
  context.line_monitor.low_count = 0;
  context.previous_call = context.call;
  context.call = CallParameters{};
  FaxForgetTraining(context);
  context.transmit_level = kResetTransmitLevel;
  ResetPhase2(context);
  ResetV34Receiver(context);

  SetDpStatus(*context.host, kStatusIdle, false);
  SetDpStatus(*context.host, kStatusCarrier, false);
  InitFramerTx(context, 0);
  InitFramerRx(context, 0);
  InitAgcGain(context.detectors.agc, 7, 0x7FFF);
  TryAllocation(context);

  SHORT gain = 0;
  ULONG size = sizeof gain;
  IssueAfeRequest(afe, afe::kAfeSetGain, &gain, &size);
  ResetCallProgressFilters(context);
  if (context.voice_active == 0) {
    ULONG status = 0;
    size = sizeof status;
    IssueAfeRequest(afe, afe::kAfeStatusQuery, &status, &size);
  }
  StopVoice(context);
}

}  // namespace

void ResetCommand(DspContext& context) {
  context.dc_removal_enable = 0;
  context.detectors.tone_flag = 0;
  ClearMailboxes(*context.host);
  SetAfeLatency(*context.afe, 2);
  SetAfePhase2Flag(*context.afe, 0);
  if (PayloadByte(context, 0) == kLightReset) {
    LightReset(context);
  } else {
    FullReset(context);
  }
  AckPacket(context);
}

}  // namespace pump
