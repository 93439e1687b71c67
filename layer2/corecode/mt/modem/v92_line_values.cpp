// The two PCM line values the data pump learns in a V.90 call, kept in
// the EEPROM image across calls and handed back at the next V.90 start.
#include <array>

#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/registry/eeprom.h"

namespace vxctl {
namespace {

constexpr std::uint32_t kLineValuesOutKey = 0x180E;  // read: {valid, -, value 1, value 2}
constexpr std::uint32_t kLineValuesInKey = 0x180F;   // written: value 1 | value 2 << 8
constexpr std::uint16_t kEepromLineValues = 0x82;     // and 0x83
constexpr std::uint16_t kEepromChecksum = 0;

}  // namespace

void ModemTask_SaveV92LineValues() {
  if (!dsp_mem_read({kLineValuesOutKey, kDspSpaceMemory})) return;
  const DspReply& reply = MachineState<DspTransportState>().reply;
  if (reply[0] == 0) return;
  std::array<std::uint8_t, 2>& values = MachineState<ModemTaskState>().pcm_line_values;
  values = {reply[2], reply[3]};
  eeprom_write(kEepromLineValues, static_cast<std::uint16_t>(values.size()), values.data());
  const std::uint8_t checksum = eeprom_checksum(reg_settings().eeprom);
  eeprom_write(kEepromChecksum, 1, &checksum);
}

void ModemTask_LoadV92LineValues() {
  const std::array<std::uint8_t, 2>& values = MachineState<ModemTaskState>().pcm_line_values;
  const std::array<std::uint16_t, 1> word{static_cast<std::uint16_t>(values[0] | values[1] << 8)};
  dsp_mem_write({kLineValuesInKey, kDspSpaceMemory}, word);
}

}  // namespace vxctl
