#include "pump/fsk/fsk_start.h"

#include "platform/ke/ke.h"
#include "pump/afe_access/afe_access.h"
#include "pump/core/state_machine.h"
#include "pump/fsk/fsk_channels.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_tx.h"
#include "pump/framer/framer.h"

namespace pump {
namespace {

constexpr std::int32_t kCarrierChecks = 7;
constexpr std::int32_t kV21Qualifier = 5'000'000;
constexpr std::int32_t kBell103Qualifier = -5'000'000;
constexpr std::int32_t kV23Qualifier = 500'000;
constexpr int kNotchOn = 5;
constexpr int kNotchOff = 2;
constexpr ULONG kTestLoop = 2;  // AFE request 13: the line output looped back

// Rate and mode codes that commands 0x70 and 0x72 report.
struct Codes {
  std::int32_t rate;
  std::int32_t mode;
};

bool Known(int type) {
  switch (type) {
    case kFskV21Data: case kFskFaxTransmit: case kFskFaxReceive: case kFskBell103Originate:
    case kFskBell103Answer: case kFskV23SendBackward: case kFskV23SendForward:
    case kFskV23ReceiveOnly: case kFskV23TransmitOnly: case kFskV8Originate: case kFskV8Answer:
    case kFskCallerIdReceive: case kFskV21Loopback: case kFskV8bisAnswer:
    case kFskV8bisOriginate:
      return true;
    default:
      return false;
  }
}

void Channels(FskWork& w, const FskTxChannel& tx, const FskRxChannel& rx) {
  w.tx_channel = &tx;
  w.rx_channel = &rx;
}

void DataCarrier(FskWork& w, std::int32_t qualifier) {
  w.mark_countdown = kFskMarkRun;
  w.qualifier_enable = 1;
  w.qualifier_threshold = qualifier;
  w.dropout_tolerance = 1;
}

void Formats(DspContext& context, int format) {
  InitFramerRx(context, format);
  InitFramerTx(context, format);
}

void SetCodes(DspContext& context, Codes codes) {
  context.call.max_rate_code = codes.rate;
  context.call.mode = codes.mode;
}

void V23(DspContext& context, bool send_forward) {
  FskWork& w = context.fsk;
  if (send_forward) {
    Channels(w, fsk::kTxV23Forward, fsk::kRxV23Backward);
  } else {
    Channels(w, fsk::kTxV23Backward, fsk::kRxV23Forward);
  }
  context.tx_request = 1;
  Formats(context, kFramerAsync);
  DataCarrier(w, kV23Qualifier);
}

}  // namespace

void StartFsk(DspContext& context, int start_type) {
  if (!Known(start_type)) {
    DbgPrint("vxdsp: FSK start type %d unknown; nothing started\n", start_type);
    return;
  }
  FskWork& w = context.fsk;
  AfeAccess& afe = *context.afe;
  const bool originate = context.call.direction == 1;
  w = {};
  w.start_type = start_type;
  w.rx.carrier_on_threshold = kCarrierChecks;
  const int level = context.transmit_level <= -2 ? context.transmit_level : -10;
  w.tx.output_gain = AfeGain(afe, level);
  if (start_type != kFskCallerIdReceive) {
    SetStateMachine(context.tx, StateOp::kGo, FskTxTable());
    SetStateMachine(context.rx, StateOp::kGo, FskRxTable());
  }
  switch (start_type) {
    case kFskV21Data:
      if (originate) {
        Channels(w, fsk::kTxV21Ch1, fsk::kRxV21Ch2);
      } else {
        Channels(w, fsk::kTxV21Ch2, fsk::kRxV21Ch1);
      }
      context.tx_request = 1;
      Formats(context, kFramerAsync);
      DataCarrier(w, kV21Qualifier);
      SetCodes(context, {2, 2});
      break;
    case kFskFaxTransmit:
      Channels(w, fsk::kTxV21Ch2, fsk::kRxV21Ch2);
      w.kind = kFskFax;
      SetStateMachine(context.rx, StateOp::kGo, RxIdleTable());
      SetCodes(context, {2, 3});
      break;
    case kFskFaxReceive:
      Channels(w, fsk::kTxV21Ch2, fsk::kRxV21Ch2);
      w.kind = kFskFax;
      SetStateMachine(context.tx, StateOp::kGo, FskTxIdleTable());
      SetStateMachine(context.rx, StateOp::kGo, FaxDetectTable());
      InitNotchDetector(w.detector1650, notch::k1650, kNotchOn, kNotchOff);
      w.rx.carrier_on_threshold = 1;
      SetCodes(context, {2, 3});
      break;
    case kFskBell103Originate:
    case kFskBell103Answer:
      if (start_type == kFskBell103Originate) {
        Channels(w, fsk::kTxBell103Originate, fsk::kRxBell103Answer);
      } else {
        Channels(w, fsk::kTxBell103Answer, fsk::kRxBell103Originate);
      }
      w.polarity = 1;
      context.tx_request = 1;
      Formats(context, kFramerAsync);
      DataCarrier(w, kBell103Qualifier);
      SetCodes(context, {2, 0});
      break;
    case kFskV23SendBackward:
      V23(context, false);
      SetCodes(context, {1, 4});
      break;
    case kFskV23SendForward:
      V23(context, true);
      SetCodes(context, {0, 4});
      break;
    case kFskV23ReceiveOnly:
      V23(context, false);
      SetStateMachine(context.tx, StateOp::kGo, FskTxIdleTable());
      SetCodes(context, {1, 5});
      break;
    case kFskV23TransmitOnly:
      V23(context, true);
      SetStateMachine(context.rx, StateOp::kGo, RxIdleTable());
      SetCodes(context, {0, 5});
      break;
    case kFskV8Originate:
    case kFskV8Answer:
      if (start_type == kFskV8Originate) {
        Channels(w, fsk::kTxV21Ch1, fsk::kRxV21Ch2);
      } else {
        Channels(w, fsk::kTxV21Ch2, fsk::kRxV21Ch1);
        context.tx_request = 1;
      }
      w.kind = kFskV8;
      Formats(context, kFramerAsyncMarks);
      w.rx.carrier_on_threshold = 0;
      break;
    case kFskCallerIdReceive:
      Channels(w, fsk::kTxV21Ch2, fsk::kRxV23Forward);
      w.kind = kFskCallerId;
      SetCodes(context, {3, 4});
      break;
    case kFskV21Loopback: {
      ULONG loop = kTestLoop;
      ULONG size = sizeof loop;
      IssueAfeRequest(afe, afe::kAfeTestMode, &loop, &size);
      const FskTxChannel& tx = originate ? fsk::kTxV21Ch1 : fsk::kTxV21Ch2;
      const FskRxChannel& rx = originate ? fsk::kRxV21Ch1 : fsk::kRxV21Ch2;
      Channels(w, tx, rx);
      Formats(context, kFramerHdlc);
      context.tx_request = 1;
      SetCodes(context, {2, 2});
      break;
    }
    case kFskV8bisAnswer:
    case kFskV8bisOriginate:
      if (start_type == kFskV8bisOriginate) {
        Channels(w, fsk::kTxV21Ch1, fsk::kRxV21Ch2);
      } else {
        Channels(w, fsk::kTxV21Ch2, fsk::kRxV21Ch1);
      }
      w.kind = kFskV8bis;
      Formats(context, kFramerHdlcReports);
      w.rx.carrier_on_threshold = 0;
      context.tx_request = 1;
      break;
    default:
      break;
  }
  std::int16_t gain = 0;
  ULONG size = sizeof gain;
  IssueAfeRequest(afe, afe::kAfeGetGain, &gain, &size);
  w.receive_gain_db = gain;
  ResetFskTx(context);
  ResetFskRx(context);
}

}  // namespace pump
