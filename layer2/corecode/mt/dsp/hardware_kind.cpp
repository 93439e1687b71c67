#include "layer2/corecode/mt/dsp/hardware_kind.h"

#include <algorithm>
#include <string_view>

#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/line_services.h"
#include "platform/ke/ke.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

struct ModelRow {
  std::uint16_t kind;
  std::string_view model;
  std::string_view bus;
  LineInterfaceClass line_class;
};

constexpr ModelRow kModels[] = {
    {3, "K48QA ", "AC`97", 2},  {4, "K48 ", "PCI", 2},   {5, "K48QA ", "AC`97", 2},
    {6, "K48QC ", "PCI", 2},    {7, "K48QD ", "PCI", 1}, {8, "K48QB ", "AC`97", 2},
    {9, "K48QE ", "ZEVORA", 2},
};
constexpr ModelRow kUnknownModel = {0, " ", " ", 0};

constexpr std::size_t kKindOffset = 8;  // in the version block
constexpr std::uint8_t kDaaReinit = 9;
constexpr std::uint8_t kDaaOnHook = 1;
constexpr std::size_t kDaaStepWords = 779;
constexpr std::size_t kDaaStepSize = 57;

void CopyName(std::array<char, HardwareKindState::kNameBytes>& to, std::string_view name) {
  to.fill(0);
  std::copy(name.begin(), name.end(), to.begin());
}

std::uint16_t RecordWord(const CountryRecord& record, std::size_t at) {
  return static_cast<std::uint16_t>(record.bytes[at] | record.bytes[at + 1] << 8);
}

// The current DAA step's two words into the data pump, when the step lies
// inside the record.
void WriteDaaStep(const CountryRecord& record) {
  const std::size_t at = kDaaStepWords + kDaaStepSize * DAA_step_index().load();
  if (at + 4 > record.bytes.size()) {
    DbgPrint("ModemTask_HardwareQuery: DAA step %u lies past the country record\n",
             static_cast<unsigned>(DAA_step_index().load()));
    return;
  }
  const std::uint16_t first = RecordWord(record, at);
  const std::uint16_t second = RecordWord(record, at + 2);
  dsp_mem_write({kDaaStepFirstKey, kDspSpaceMemory}, std::span(&first, 1));
  dsp_mem_write({kDaaStepSecondKey, kDspSpaceMemory}, std::span(&second, 1));
}

}  // namespace

HardwareKindState& hardware_kind_state() { return MachineState<HardwareKindState>(); }

void ModemTask_SetModelNames(std::uint16_t kind) {
  const auto known = std::find_if(std::begin(kModels), std::end(kModels),
                                  [kind](const ModelRow& row) { return row.kind == kind; });
  const ModelRow& row = known != std::end(kModels) ? *known : kUnknownModel;
  HardwareKindState& state = hardware_kind_state();
  CopyName(state.model_name, row.model);
  CopyName(state.bus_name, row.bus);
  state.line_interface_class = row.line_class;
}

bool dsp_version_block(DspAnswer& answer) {
  return dsp_send_packet(DspCommand::Query(kCmdHardwareQuery, pump::kDpVersionInfo), &answer) ==
             kDspSent &&
         answer.code == pump::kDpVersionInfo;
}

std::uint16_t version_block_kind(const DspAnswer& answer) {
  return static_cast<std::uint16_t>(answer.reply[kKindOffset] | answer.reply[kKindOffset + 1] << 8);
}

void ModemTask_HardwareQuery() {
  DspAnswer answer;
  std::uint16_t kind = 0;
  if (dsp_version_block(answer)) {
    kind = version_block_kind(answer);
  } else {
    DbgPrint("ModemTask_HardwareQuery: no version block, hardware kind unknown\n");
  }
  ModemTask_SetModelNames(kind);
  const LineInterfaceClass line_class = hardware_kind_state().line_interface_class;

  LineServicesContext& services = MachineState<LineServicesState>().context;
  const CountryRecord* record = services.record;
  if (record != nullptr) {
    DAA_kind() = line_class == 2 ? 3 : record->bytes[kCountryDaaSelector] != 0 ? 2 : 1;
  }
  if (MK_msg_send(services.kernel, false, kMsgDaa, kDaaReinit) == kMkOk) {
    MK_dispatch(services.kernel);
    if (line_class == 2 && record != nullptr) WriteDaaStep(*record);
  }
  MK_msg_send(services.kernel, false, kMsgDaa, kDaaOnHook);
}

}  // namespace vxctl
