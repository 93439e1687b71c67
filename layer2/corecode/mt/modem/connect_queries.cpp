// What the task asks the data pump once connected: the modulation (0x72)
// and the two rates (0x91 for V.34 and V.90, 0x70 for the others), with
// the statistics' rate entries.

#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/rate_tables.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/clocks.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kOriginatingUpstreamPcm = 1;  // 0x91 reply byte 2

// 0x91 reply byte 1: the auxiliary channel, the peer's acceptance of an
// asymmetric renegotiation rate, and a renegotiation since the last query.
constexpr std::uint8_t kReplyAuxChannel = 1u << 4;
constexpr std::uint8_t kReplyAsymmetricReneg = 1u << 2;
constexpr std::uint8_t kReplyRenegotiated = 1u << 6;

// Statistics: the first rates of the call, the current rates, the
// renegotiations.
constexpr std::uint8_t kKeyFirstTxRate = 0x26;
constexpr std::uint8_t kKeyFirstRxRate = 0x27;
constexpr std::uint8_t kKeyTxRate = 0x34;
constexpr std::uint8_t kKeyRxRate = 0x35;
constexpr std::uint8_t kKeyRenegotiations = 0x31;

// Sends the query; true with the reply's bytes when the answer was a
// packet of `reply`'s code (not an echo, not another packet's bytes).
bool Ask(std::uint8_t command, std::uint8_t reply, DspReply& bytes) {
  DspAnswer answer;
  if (dsp_send_packet(DspCommand::Query(command, reply), &answer) != kDspSent ||
      answer.code != reply) {
    DbgPrint("ModemTask: no reply 0x%02X to 0x%02X (code 0x%02X), taken as unknown\n", reply,
             command, answer.code);
    return false;
  }
  bytes = answer.reply;
  return true;
}

struct Rates {
  std::uint16_t tx = 0;
  std::uint16_t rx = 0;
};

Rates PcmRates(ModemTaskState& task) {
  DspReply reply{};
  if (!Ask(kCmdV34RatesQuery, pump::kDpV34Info, reply)) {
    task.v92_connection = 0;
    return {};
  }
  task.v92_connection = reply[2] == kOriginatingUpstreamPcm ? 1 : 0;
  const std::uint16_t tx =
      task.v92_connection != 0 ? RateAt(kV92UpstreamRates, reply[6]) : RateAt(kV34Rates, reply[6]);
  return {tx, RateAt(kDownstreamRates, reply[7])};
}

Rates V34Rates(ModemTaskState& task, const DspReply& reply) {
  const unsigned word = reply[0] | reply[1] << 8;
  const std::uint16_t calling = kV34Rates[(word >> 2) & 15];
  const std::uint16_t answering = kV34Rates[(word >> 6) & 15];
  task.aux_channel = (reply[1] & kReplyAuxChannel) != 0 ? 1 : 0;
  task.asymmetric_reneg = (reply[1] & kReplyAsymmetricReneg) != 0 ? 1 : 0;
  if ((reply[1] & kReplyRenegotiated) != 0) {
    ModemTask_TraceAdd(&modem_event_trace(), time_ms_now(), "Renegotiate*");
    ++task.reneg_reports;
    std::atomic<std::uint32_t>& count = stats_block().Value(kKeyRenegotiations);
    count.store(count.load() + 1);
  }
  if (acu_call_settings().originate != 0) return {calling, answering};
  return {answering, calling};
}

Rates ClassicRates() {
  DspReply reply{};
  if (!Ask(kCmdRateQuery, pump::kDpDataRate, reply)) return {};
  if (reply[0] >= kClassicRates.size()) return {};
  return {kClassicRates[reply[0]].tx, kClassicRates[reply[0]].rx};
}

// The rates found: the previous ones kept, the statistics' rate entries
// updated.
void StoreRates(ModemTaskState& task, const Rates& rates) {
  task.previous_tx_rate = task.tx_rate;
  task.previous_rx_rate = task.rx_rate;
  task.tx_rate = rates.tx;
  task.rx_rate = rates.rx;
  ModemStatisticsBlock& stats = stats_block();
  if (stats.Value(kKeyFirstTxRate).load() == 0) stats.Value(kKeyFirstTxRate) = rates.tx;
  if (stats.Value(kKeyFirstRxRate).load() == 0) stats.Value(kKeyFirstRxRate) = rates.rx;
  stats.Value(kKeyTxRate) = rates.tx;
  stats.Value(kKeyRxRate) = rates.rx;
}

}  // namespace

void ModemTask_QueryModulation() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  DspReply reply{};
  if (!Ask(kCmdModulationQuery, pump::kDpMode, reply)) {
    task.modulation = 0;
    return;
  }
  std::uint8_t code = reply[0];
  if (code == kModulationV34Symbol) code = kModulationV34;
  const bool v32bis_enabled = acu_call_settings().modulations[kMsV32bis].enabled != 0;
  if (code == kModulationV32bis && !v32bis_enabled) code = kModulationV32;
  if (code == kModulationV22 && task.modulation == kModulationBell212) code = kModulationBell212;
  task.modulation = code;
}

void ModemTask_DecodeV34Rates(const DspReply& reply) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  StoreRates(task, V34Rates(task, reply));
}

void ModemTask_QueryRates() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  if (task.modulation == kModulationV34) {
    DspReply reply{};
    if (Ask(kCmdV34RatesQuery, pump::kDpV34Info, reply)) {
      ModemTask_DecodeV34Rates(reply);
    } else {
      StoreRates(task, {});
    }
    return;
  }
  StoreRates(task, task.modulation == kModulationV90 ? PcmRates(task) : ClassicRates());
}

}  // namespace vxctl
