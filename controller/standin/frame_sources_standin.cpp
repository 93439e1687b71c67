#include "controller/standin/frame_sources_standin.h"

#include <algorithm>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/services/link_protocols.h"

namespace vxctl {

namespace {

using Standin = FrameSourcesStandin;

std::uint8_t* NextToSend(Standin::Source source) {
  Standin& s = MachineState<Standin>();
  if (s.to_send[source].empty()) return nullptr;
  s.sending[source] = std::move(s.to_send[source].front());
  s.to_send[source].pop_front();
  return s.sending[source].data();
}

std::uint8_t* NextBuffer(Standin::Source source) {
  Standin& s = MachineState<Standin>();
  if (s.buffers_left[source] == 0) return nullptr;
  --s.buffers_left[source];
  Standin::Buffer& buffer = s.received[source].emplace_back();
  buffer.fill(0xCC);
  return buffer.data();
}

}  // namespace

std::uint8_t* mnp_next_tx_frame() { return NextToSend(Standin::kMnp); }
std::uint8_t* lapm_next_tx_frame() { return NextToSend(Standin::kLapm); }
std::uint8_t* fax_next_tx_frame() { return NextToSend(Standin::kFax); }

std::uint8_t* mnp_next_rx_buffer(std::uint8_t status) {
  MachineState<Standin>().end_statuses.push_back(status);
  return NextBuffer(Standin::kMnp);
}
std::uint8_t* lapm_next_rx_buffer() { return NextBuffer(Standin::kLapm); }
std::uint8_t* fax_next_rx_frame(std::uint8_t status) {
  MachineState<Standin>().end_statuses.push_back(status);
  return NextBuffer(Standin::kFax);
}

void lapm_set_bad_frame_field(std::uint8_t value) {
  MachineState<Standin>().lapm_bad_fields.push_back(value);
}

}  // namespace vxctl
