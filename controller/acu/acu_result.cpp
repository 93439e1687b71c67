#include "controller/acu/acu_result.h"

#include <array>
#include <span>
#include <string_view>

#include "controller/acu/acu_format.h"
#include "controller/acu/acu_output.h"
#include "controller/acu/acu_response.h"
#include "controller/acu/acu_services.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/acu_string.h"
#include "controller/acu/result_tables.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kConnect = 1;
constexpr std::uint8_t kNoCarrier = 3;
constexpr std::uint8_t kBusy = 7;
constexpr std::uint8_t kFaxError = 11;
constexpr std::uint8_t kRingOn = 15;
constexpr std::uint8_t kRingOff = 16;
constexpr std::uint8_t kConnectWithRate = 20;
constexpr std::uint8_t kNothing = 21;
constexpr std::uint8_t kVoiceMessageBare = 254;
constexpr std::uint8_t kVoiceMessage = 255;
constexpr std::uint8_t kErNone = 26;
constexpr std::uint8_t kErLapm = 27;
constexpr std::uint8_t kErAlt = 28;

constexpr std::uint8_t kModV22 = 6;
constexpr std::uint8_t kModV22b = 7;
constexpr std::uint8_t kModV34 = 18;
constexpr std::uint8_t kModV90 = 23;
constexpr std::uint8_t kModV92 = 24;

constexpr std::uint8_t kCallModeNoReports = 4;

// A report line: "<prefix><decimal value>".
using ReportText = std::array<char, 40>;

const char* WithNumber(ReportText& text, const char* prefix, std::uint32_t value) {
  acu_strcpy(text, prefix);
  const std::size_t length = acu_strlen(text.data());
  acu_fmt_radix(value, std::span<char>(text).subspan(length), 10);
  return text.data();
}

bool Verbose(const AcuSettings& settings) {
  return (settings.s[kSOptions] & kS14Verbose) != 0;
}

void SendChar(char c) {
  const char text[] = {c, '\0'};
  acu_send_text(text);
}

void SendNumeric(std::uint8_t code, const AcuSettings& settings) {
  if (code == kFaxError) {
    acu_send_text("+F4");
  } else {
    if (code >= 10) SendChar(static_cast<char>('0' + code / 10 % 10));
    SendChar(static_cast<char>('0' + code % 10));
  }
  if (settings.s[kSLineEnd] != 0) SendChar(static_cast<char>(settings.s[kSLineEnd]));
}

// The table's texts are literals, so each view (and each of its tails) ends
// in a NUL.
void SendVerbose(std::uint8_t code) {
  const char* voice_message = acu_call().voice_message;
  const char* text = code < kResultText.size() ? kResultText[code].data()
                     : voice_message != nullptr ? voice_message
                                                : "";
  if (code == kRingOn || code == kRingOff) {
    ReportText duration{};
    acu_flush_response();
    if (acu_send_text(text) && acu_send_text(WithNumber(duration, "", RING_report_duration()))) {
      acu_send_line_end();
    }
    return;
  }
  if ((code == kNoCarrier || code == kBusy) && acu_call().v80_selected != 0) {
    const std::string_view whole = kResultText[code];
    const std::array<char, 3> head = {whole[0], whole[1], '\0'};
    if (acu_send_text(head.data()) && acu_send_line_end() &&
        acu_send_text(whole.substr(2).data())) {
      acu_send_line_end();
    }
    return;
  }
  acu_flush_response();
  const bool framed = code != kVoiceMessageBare;
  if (framed && !acu_send_line_end()) return;
  if (acu_send_text(text) && framed) acu_send_line_end();
}

// One code in the form V0/V1 asks for; the caller has checked Q1.
void ReportCode(std::uint8_t code) {
  if (code == kNothing) return;
  const bool voice = code == kVoiceMessageBare || code == kVoiceMessage;
  if (code >= kResultText.size() && !voice) return;
  acu_output().response_started = 1;
  const AcuSettings& settings = acu_settings();
  if (!Verbose(settings) && !voice) {
    SendNumeric(code, settings);
  } else {
    SendVerbose(code);
  }
}

// The modulation +MCR names: V.90 shown as V.92 when the V.92 report
// option says so, V.22 as V.22bis when V.22bis is the highest allowed.
std::uint8_t ShownModulation(const AcuSettings& settings, const ModemTaskState& task) {
  const std::uint8_t modulation = task.modulation;
  if (modulation == kModV90 && task.v92_connection != 0) {
    const bool v92 = (settings.v92_report_option & 1) != 0 ? settings.v92_upstream == 0
                                                           : settings.v92_enabled != 0;
    if (v92) return kModV92;
  }
  if (modulation == kModV22 && settings.ms_carrier == kModV22b) return kModV22b;
  return modulation;
}

void ReportModulation(const AcuSettings& settings, const ModemTaskState& task) {
  const std::uint8_t shown = ShownModulation(settings, task);
  ReportText text{};
  acu_strcpy(text, "+MCR: ");
  const std::size_t length = acu_strlen(text.data());
  if (shown < kModulationName.size()) {
    acu_strcpy(std::span<char>(text).subspan(length), kModulationName[shown].data());
  }
  acu_send_response(text.data(), AcuFraming::Framed);
  acu_send_response(WithNumber(text, "+MRR: ", task.tx_rate), AcuFraming::Framed);
  if (settings.v34_aux_channel != 0 && task.modulation == kModV34) {
    acu_send_response(WithNumber(text, "+MSCR: ", task.aux_channel % 10), AcuFraming::Framed);
  }
}

std::uint8_t ErrorControlCode(const AcuCallState& call) {
  if (call.ec_status == kEcBuffered || call.link_kind == kLinkDirect) return kErNone;
  if (call.ec_status == kEcLapm) return kErLapm;
  return kErAlt;
}

void ReportConnect() {
  AcuSettings& settings = acu_settings();
  if ((settings.s[kSReports] & kS22ExtendedResults) == 0) {
    ReportCode(kConnect);
    return;
  }
  EcStatistics statistics;
  ec_get_statistics_clear(statistics);
  const ModemTaskState& task = MachineState<ModemTaskState>();
  const AcuCallState& call = acu_call();
  const bool verbose = Verbose(settings);
  if (verbose && call.call_mode != kCallModeNoReports) {
    if (settings.report_modulation != 0) ReportModulation(settings, task);
    if (settings.report_error_control != 0) ReportCode(ErrorControlCode(call));
    if (settings.report_compression != 0) {
      ReportCode(kCompressionReport[statistics.compression % kCompressionReport.size()]);
    }
    if (settings.report_dte_rate != 0) {
      if (settings.dte_rate == 0) settings.dte_rate = task.tx_rate;
      ReportText text{};
      acu_send_response(WithNumber(text, "+ILRR: ", settings.dte_rate), AcuFraming::Framed);
    }
  }
  ReportText text{};
  acu_send_response(WithNumber(text, "CONNECT ", task.rx_rate),
                    verbose ? AcuFraming::Framed : AcuFraming::TextLineEnd);
}

}  // namespace

void acu_report_result(std::uint8_t code) {
  acu_flush_response();
  if ((acu_settings().s[kSOptions] & kS14Quiet) != 0) return;
  if (code == kConnectWithRate) {
    ReportConnect();
  } else {
    ReportCode(code);
  }
}

}  // namespace vxctl
