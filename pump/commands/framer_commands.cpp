// The commands that drive the data framer: 0x61, 0x74, 0x75 and 0x8B.
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/core/host_transfer.h"
#include "pump/framer/framer.h"
#include "pump/fsk/fsk_rts.h"
#include "pump/pending/pending_procedures.h"

namespace pump {
namespace {

constexpr std::uint32_t kFaxV21Channel2 = 3;  // fax modulation kind
constexpr int kHdlcFramer = 2;
constexpr int kHdlcTwoFlagsFramer = 8;

}  // namespace

void DataFormatCommand(DspContext& context) {
  const std::uint8_t mode = PayloadByte(context, 0);
  const std::uint8_t options = PayloadByte(context, 1);
  InitFramerTx(context, mode);
  // V.21 channel 2 fax HDLC waits for two flags before a frame.
  const bool fax_hdlc = context.fax.modulation_kind == kFaxV21Channel2 &&
                        context.call.fax_call != 0 && mode == kHdlcFramer;
  InitFramerRx(context, fax_hdlc ? kHdlcTwoFlagsFramer : mode);
  SetFramerOptions(context, options & 3, (options >> 2) & 3, (options >> 4) & 1);
  if (context.packet.length > 2) {
    SetFramerChars(context, PayloadByte(context, 4), PayloadByte(context, 2),
                   PayloadByte(context, 3));
  }
  ClearMailboxes(*context.host);
  ClearFlagStatus(context);
  AckPacket(context);
}

void DropRtsCommand(DspContext& context) {
  DropRts(context);
  const DpPacketBytes carrier_done = BuildDpPacket(DpFaxCdPayload{});
  PostDpPacket(*context.host, carrier_done.code, carrier_done.Payload());
  AckPacket(context);
}

void RaiseRtsCommand(DspContext& context) {
  RaiseRts(context);
  AckPacket(context);
}

void FramerRestartCommand(DspContext& context) {
  if (PayloadByte(context, 0) != 0) {
    RestartFramerRx(context);
  } else {
    RestartFramerTx(context);
  }
  AckPacket(context);
}

}  // namespace pump
