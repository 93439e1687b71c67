// Requests to the country-table service (class 8) and the default record.
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {
namespace {

enum CountryCode : std::uint8_t { kStartUpload = 2, kStartDump = 5 };

LineServicesState& State() { return MachineState<LineServicesState>(); }

}  // namespace

void CTY_start_upload() { MK_msg_send(State().context.kernel, false, kMsgCountry, kStartUpload); }

void CTY_request_dump(std::uint8_t table) {
  const std::uint8_t payload[] = {table};
  MK_msg_send(State().context.kernel, false, kMsgCountry, kStartDump, payload);
}

void CTY_load_default_record() { State().live_record = CTY_default_record(); }

}  // namespace vxctl
