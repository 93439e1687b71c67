// The option commands: 0x64 (options word) and 0x90 (V.34 phase-2 options).
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v32/v32_mode.h"

namespace pump {

void OptionsCommand(DspContext& context) {
  const std::uint8_t length = context.packet.length;
  SetV32ReceiverOption(context, PayloadByte(context, 0));
  std::uint16_t options = PayloadWord(context, 0);
  if (length >= 4) {
    context.transmit.options_flag = 1;
    options |= PayloadWord(context, 2);
  } else {
    context.transmit.options_flag = 0;
  }
  context.call.options = options;
  context.v34_options_one = options == 1 ? 1 : 0;
  if (length >= 8) {
    context.call.rate_pair[0] = PayloadWord(context, 4) | std::uint32_t{PayloadWord(context, 6)}
                                                              << 16;
    context.call.rate_pair[1] = options >> 1;
  }
  // Answered by its own echo: the packet stays as it came.
}

void Phase2OptionsCommand(DspContext& context) {
  const std::uint8_t rates = PayloadByte(context, 4);
  Phase2Options& options = context.phase2.options;
  options.option_word = PayloadWord(context, 0);
  options.limits = PayloadWord(context, 2);
  options.rate_mask = static_cast<std::uint16_t>(rates | rates << 6);
  options.flags =
      static_cast<std::uint16_t>(PayloadByte(context, 6) << 8 | (PayloadByte(context, 5) & 1));
  options.symbol_rate_mask = rates;
  AckPacket(context);
}

}  // namespace pump
