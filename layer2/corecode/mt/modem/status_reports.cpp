#include "layer2/corecode/mt/modem/status_reports.h"

#include <cstdio>
#include <string>

#include "controller/acu/acu_format.h"
#include "controller/acu/acu_response.h"
#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/hardware_kind.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr char kUnknown[] = "unknown";

std::string Hex(std::uint8_t value) { return ModemTask_HexByte(value).data(); }

std::string Decimal(std::uint32_t value) { return std::to_string(value); }

// A label after a line end, then its value.
void LabelLine(const char* label, const std::string& value) {
  acu_send_response(label, AcuFraming::LineEndText);
  acu_send_response(value.c_str(), AcuFraming::Text);
}

void PrintPcmInfo() {
  DspAnswer answer;
  const bool replied = dsp_send_packet(DspCommand::Query(kCmdPcmQuery, pump::kDpPcmInfo), &answer) ==
                           kDspSent &&
                       answer.code == pump::kDpPcmInfo;
  const DspReply& r = answer.reply;
  LabelLine("PCM Signature: ", replied ? Hex(r[3]) + "," + Hex(r[2]) + "," + Hex(r[1]) + "," +
                                             Hex(r[0])
                                       : kUnknown);
  LabelLine("Timing Offset       : ", replied ? Hex(r[5]) + Hex(r[4]) : kUnknown);
  LabelLine("Sqrint              : ", replied ? Hex(r[7]) + Hex(r[6]) : kUnknown);
}

// The first packet that could not be delivered, byte by byte; then it is
// forgotten.
void PrintFailedPacket() {
  pump::DspPacket& failed = MachineState<DspTransportState>().failed;
  if (failed.code == 0) return;
  acu_send_response("DSP NR:", AcuFraming::LineEndText);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&failed);
  const std::size_t count = std::min<std::size_t>(failed.length + 4u, sizeof failed);
  for (std::size_t i = 0; i < count; ++i) {
    acu_send_response((" " + Hex(bytes[i])).c_str(), AcuFraming::Text);
  }
  failed = {};
}

}  // namespace

char* ModemTask_StatusText(std::span<char, kStatusTextBytes> buffer) {
  const std::uint8_t code = ModemTask_ReadDspStatus() & kConnectionCodeMask;
  const ModemTaskState& task = MachineState<ModemTaskState>();
  int length = 0;
  switch (code) {
    case kCodeIdle:
      length = std::snprintf(buffer.data(), buffer.size(), "Idle");
      break;
    case kCodeConnected:
      length = std::snprintf(buffer.data(), buffer.size(), "Connected %s TX=%u RX=%u",
                             ModemTask_ModulationName(task.modulation, task.v92_connection != 0),
                             unsigned{task.tx_rate}, unsigned{task.rx_rate});
      break;
    case kCodeRetraining:
      length = std::snprintf(buffer.data(), buffer.size(), "Retraining");
      break;
    case kCodeDropping:
      length = std::snprintf(buffer.data(), buffer.size(), "Dropping");
      break;
    case kCodeRenegotiating:
      length = std::snprintf(buffer.data(), buffer.size(), "Renegotiating");
      break;
    default:
      length = std::snprintf(buffer.data(), buffer.size(), "Other");
      break;
  }
  return buffer.data() + std::min<std::size_t>(static_cast<std::size_t>(length), buffer.size() - 1);
}

void ModemTask_PrintConnectionStatus(std::uint8_t verbose) {
  const ModemTaskState& task = MachineState<ModemTaskState>();
  acu_send_response("Connection Status: ",
                    verbose != 0 ? AcuFraming::LineEndText : AcuFraming::Text);
  std::array<char, kStatusTextBytes> state{};
  ModemTask_StatusText(state);
  acu_send_response(state.data(), AcuFraming::Text);
  LabelLine("Connection Number : ", Decimal(task.connection_count));
  const std::uint8_t code = ModemTask_ReadDspStatus() & kConnectionCodeMask;
  if (task.modulation == kModulationV90 && code == kCodeConnected) PrintPcmInfo();
  LabelLine("Retrains : ", Decimal(task.retrain_reports));
  LabelLine("Renegs   : ", Decimal(task.reneg_reports));
  PrintFailedPacket();
  ModemTask_TraceDump(&modem_event_trace());
}

void ModemTask_PrintDspVersion() {
  DspAnswer answer;
  const bool replied = dsp_version_block(answer);
  for (const char* c = "\r\nDSP Software Version : "; *c != 0; ++c) acu_put_char(*c);
  std::string version = kUnknown;
  if (replied) {
    version.clear();
    for (std::size_t i = 0; i < 4; ++i) {
      if (i != 0) version += '.';
      version += Decimal(answer.reply[2 * i] | answer.reply[2 * i + 1] << 8);
    }
  }
  acu_send_response(version.c_str(), AcuFraming::Text);
}

void ModemTask_PrintHexLine(std::uint32_t address, std::span<const std::uint8_t, 16> bytes) {
  std::array<char, 8 + 3 + 8 * 5 + 1> line{};
  char* at = acu_fmt_hex_word(address, line);
  at = std::copy_n(":  ", 3, at);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const std::array<char, 3> high = ModemTask_HexByte(bytes[i + 1]);
    const std::array<char, 3> low = ModemTask_HexByte(bytes[i]);
    *at++ = high[0];
    *at++ = high[1];
    *at++ = low[0];
    *at++ = low[1];
    *at++ = ' ';
  }
  *at = 0;
  acu_send_response(line.data(), AcuFraming::LineEndText);
}

std::array<char, 3> ModemTask_HexByte(std::uint8_t value) {
  std::array<char, 3> digits{};
  acu_fmt_hex_byte(value, digits);
  return digits;
}

}  // namespace vxctl
