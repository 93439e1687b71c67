#include "pump/commands/connect_parameters.h"

#include "pump/commands/answers.h"

namespace pump {
namespace {

constexpr std::int32_t kOtherSideLimit = 14;

}  // namespace

int V34RateIndex(int rate_code) {
  if (rate_code >= 4 && rate_code <= 11) return rate_code - 3;
  if (rate_code >= 16 && rate_code <= 21) return rate_code - 7;
  return 0;
}

void SetV34RateLimit(DspContext& context, int rate_code) {
  const int index = V34RateIndex(rate_code);
  if (context.call.direction == 0) {
    context.receive.rate_limit = index;
  } else {
    context.transmit.rate_limit = index;
  }
}

void ApplyConnectOptions(DspContext& context) {
  const std::uint8_t low = context.packet.length == 6 ? PayloadByte(context, 4) : 0;
  context.call.options = static_cast<std::uint16_t>((context.call.options & 0xFF00) | low);
  context.receive.option_flags[0] = (low >> 4) & 1;
  context.receive.option_flags[1] = low & 1;
  context.receive.option_flags[2] = (low >> 1) & 1;
}

void ParseConnectParameters(DspContext& context) {
  CallParameters& call = context.call;
  const std::uint8_t p0 = PayloadByte(context, 0);
  const std::uint8_t p1 = PayloadByte(context, 1);
  const std::uint8_t p2 = PayloadByte(context, 2);
  const std::uint8_t p3 = PayloadByte(context, 3);
  const std::uint8_t p5 = PayloadByte(context, 5);
  call.max_rate_code = p0 & 0x3F;
  call.v34_rate_option = p0 >> 6;
  call.mode = p1 & 0x1F;
  call.calling_tone = p2 & 3;
  call.direction = (p2 >> 2) & 1;
  call.handshake_selector = (p2 >> 3) & 3;
  call.fax_call = (p2 >> 5) & 1;
  call.v8bis = (p2 >> 6) & 1;
  call.v8_continuation = p3 & 3;
  call.connect_flags = p3 & 0x0C;
  context.transmit.connect_flag = p5 & 1;
  context.transmit.connect_value = (p5 & 1) != 0 ? (p5 >> 1) & 3 : 0;

  if (!IsV34Mode(call.mode)) return;
  const bool option18 = call.mode == kModeV34Option;
  context.phase2.options.flags = static_cast<std::uint16_t>((p1 >> 6) << 3 | (option18 ? 1 : 0));
  context.receive.rate_limit = kOtherSideLimit;
  context.transmit.rate_limit = kOtherSideLimit;
  SetV34RateLimit(context, call.max_rate_code);
  if (option18) context.transmit.v34_mode18 = 1;
}

}  // namespace pump
