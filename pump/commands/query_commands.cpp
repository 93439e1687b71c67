// The queries: 0x70 (data rate), 0x72 (mode), 0x82 (PCM report), 0x91
// (V.34 and PCM rates) and 0x94 (version).
#include <array>

#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/commands/connect_parameters.h"

namespace pump {
namespace {

constexpr std::uint8_t kV90CallMode = kModeV34Option;  // how a V.90 call reports its mode
constexpr std::uint8_t kV92PcmRateCode = 13;

// The report's downstream rate index as DP_V34_INFO carries it.
constexpr std::array<std::uint8_t, 24> kDownstreamRateCodes = {
    0, 16, 17, 18, 19, 1, 20, 21, 2, 22, 23, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

bool ReportsPcm(const DspContext& context) {
  return context.call.mode == kModeV92 || (context.call.mode == kModeV90 && context.v90_call == 0);
}

std::uint16_t V34InfoRates(DspContext& context) {
  const ReceiveArea& receive = context.receive;
  TransmitArea& transmit = context.transmit;
  // The first index is the rate from the calling modem to the answering one.
  const bool calling = context.call.direction == 1 || context.v90_call != 0;
  std::uint16_t rates = calling ? V34RateWord(transmit.rate_index, receive.rate_index)
                                : V34RateWord(receive.rate_index, transmit.rate_index);
  if ((receive.option_flags[0] & 1) != 0) rates |= kV34InfoReceiveOption;
  if ((receive.option_flags[1] & 1) != 0) rates |= kV34InfoSecondOption;
  const std::uint32_t third = transmit.option_selector == 1
                                  ? std::uint32_t{context.v34_flag_byte} & transmit.option_byte
                                  : receive.option_flags[1];
  if ((third & 2) != 0) rates |= kV34InfoThirdOption;
  if (transmit.renegotiation_seen != 0) {
    rates |= kV34InfoRenegotiated;
    transmit.renegotiation_seen = 0;
  }
  return rates;
}

}  // namespace

void DataRateQuery(DspContext& context) {
  std::int32_t rate_code = context.call.max_rate_code;
  if (HasV34Rates(context)) {
    const std::int32_t index = context.receive.rate_index;
    rate_code = index <= 11 ? index + 3 : index + 7;
  } else if (context.call.mode == kModeV90) {
    rate_code = kV92PcmRateCode;
  }
  SetReply(context, BuildDpPacket(DpDataRatePayload{static_cast<std::uint8_t>(rate_code)}));
}

void ModeQuery(DspContext& context) {
  const auto mode =
      context.v90_call != 0 ? kV90CallMode : static_cast<std::uint8_t>(context.call.mode);
  SetReply(context, BuildDpPacket(DpModePayload{mode}));
}

void PcmInfoQuery(DspContext& context) {
  const ReceiveArea& receive = context.receive;
  SetReply(context,
           BuildDpPacket(DpPcmInfoPayload{receive.report_status,
                                          static_cast<std::uint16_t>(receive.report_timing & ~1u),
                                          static_cast<std::uint16_t>(receive.report_mse & ~3u)}));
}

void V34InfoQuery(DspContext& context) {
  const std::uint16_t rates = V34InfoRates(context);
  if (!ReportsPcm(context)) {
    SetReply(context, BuildDpPacket(DpV34InfoPayload{rates}));
    return;
  }
  const ReceiveArea& receive = context.receive;
  DpV34PcmInfoPayload info{};
  info.rates = rates;
  info.mse_reference = receive.upstream_pcm != 0 ? std::uint16_t{1} : receive.report_mse;
  info.upstream_size_code = static_cast<std::uint8_t>(receive.upstream_size_code);
  // An index the table does not hold reads as rate 0.
  info.downstream_rate = receive.downstream_rate_index < kDownstreamRateCodes.size()
                             ? kDownstreamRateCodes[receive.downstream_rate_index]
                             : 0;
  SetReply(context, BuildDpPacket(info));
}

void VersionQuery(DspContext& context) {
  DpVersionInfoPayload info{};
  info.afe_kind = static_cast<std::uint16_t>(context.afe_info.ControllerKind);
  SetReply(context, BuildDpPacket(info));
}

}  // namespace pump
