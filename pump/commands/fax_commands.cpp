// The fax configuration commands 0x73 and 0x76.
#include "platform/ke/ke.h"
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/fax/fax_configure.h"
#include "pump/fax/fax_mode.h"
#include "pump/framer/data_framer.h"
#include "pump/framer/framer.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"

namespace pump {
namespace {

constexpr std::uint8_t kFirstSettlingRate = 4;  // rate codes above 3 name a data rate
constexpr std::int16_t kSettlingBlocks = -5;

bool KnownKind(std::uint8_t kind) {
  return kind == kFaxKindNone || kind == kFaxKindV21Channel2 || FaxModeWord(kind, 0).has_value();
}

// Stores kind, rate code and options; an unknown kind is kind 1. Returns
// the kind stored.
std::uint8_t StoreFaxFields(DspContext& context, std::uint8_t kind, std::uint8_t rate_code,
                            std::uint8_t options, std::uint8_t command) {
  if (!KnownKind(kind)) {
    DbgPrint("vxdsp: fax command 0x%02X: modulation kind %u unknown; configured as none\n",
             command, unsigned{kind});
    kind = kFaxKindNone;
  }
  FaxConfig& fax = context.fax;
  fax.modulation_kind = kind;
  fax.rate_code = rate_code;
  fax.options = options;
  if (const auto word = FaxModeWord(kind, rate_code)) fax.mode_word = *word;
  return kind;
}

}  // namespace

void FaxConfigCommand(DspContext& context) {
  const std::uint8_t rate_code = PayloadByte(context, 0) & 0x0F;
  const std::uint8_t options = PayloadByte(context, 1);
  const bool rate_changed = rate_code >= kFirstSettlingRate && rate_code != context.fax.rate_code;
  context.fax.data_mask = rate_changed ? kSettlingBlocks : 0;
  const std::uint8_t kind =
      StoreFaxFields(context, PayloadByte(context, 0) >> 4, rate_code, options, 0x73);
  const bool receive = (options & kFaxReceive) != 0;
  if (kind == kFaxKindV21Channel2) {
    ConfigureFax(context);
    if (!receive) {
      StartFsk(context, kFskFaxTransmit);
      InitFramerTx(context, kFramerHdlc);
      InitFramerRx(context, kFramerHdlc);
    } else if (context.v21_watch != 0 && context.v21_recognised != 0) {
      // The high-speed receive before this one already heard V.21 flags:
      // the V.21 receiver carries on without looking for the carrier again.
      SetStateMachine(context.rx, StateOp::kGo, FaxDetectTable(), kFaxFskRxEntry);
    } else {
      StartFsk(context, kFskFaxReceive);
      InitFramerTx(context, kFramerHdlc);
      InitFramerRx(context, kFramerHdlcTwoFlags);
    }
    if (receive) {
      context.v21_watch = 0;
      context.v21_recognised = 0;
    }
  } else if (kind != kFaxKindNone && receive) {
    // A high-speed receive listens for V.21 too: the sender may have
    // gone back to the control channel.
    context.v21_watch = 1;
    context.v21_recognised = 0;
    StartFsk(context, kFskFaxReceive);
    ConfigureFax(context);
    InitFramerRx(context, kFramerHdlcTwoFlags);
  } else {
    ConfigureFax(context);
  }
  AckPacket(context);
}

void FaxSetupCommand(DspContext& context) {
  StoreFaxFields(context, PayloadByte(context, 1), PayloadByte(context, 0) & 0x0F,
                 PayloadByte(context, 2), 0x76);
  ConfigureFax(context);
  AckPacket(context);
}

}  // namespace pump
