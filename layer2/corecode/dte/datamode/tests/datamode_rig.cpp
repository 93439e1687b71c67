#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"

#include <algorithm>
#include <numeric>

#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {

namespace {

struct PollCounter {
  std::uint32_t wakes = 0;
};

void CountingPoll() { ++MachineState<PollCounter>().wakes; }

}  // namespace

void RunDataChannel(const std::function<void(FakeDataPump&)>& body) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    datamode_set_poll_routine(CountingPoll);
    body(pump);
    datamode_set_poll_routine(nullptr);
  });
}

std::uint32_t PollWakes() { return MachineState<PollCounter>().wakes; }

void PreloadTx(std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) {
    datamode_state().tx.Put(static_cast<std::uint8_t>(i));
  }
}

void PreloadRx(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t c : bytes) datamode_state().rx.Put(c);
}

Bytes Numbers(std::size_t n, std::uint8_t first) {
  Bytes out(n);
  std::iota(out.begin(), out.end(), first);
  return out;
}

Bytes MnpFrame(const Bytes& data) {
  Bytes f = {0, 0, static_cast<std::uint8_t>(data.size()),
             static_cast<std::uint8_t>(data.size() >> 8)};
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

void Turns(FakeDataPump& pump, int n) {
  for (int i = 0; i < n; ++i) {
    pump.Block();
    datamode_poll_now();
  }
}

std::size_t PendingCalls(std::string_view name) {
  const std::vector<std::string_view> names = MachineState<PendingLog>().Names();
  return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

std::vector<FakePacket> FormatPackets(const FakeDataPump& pump) {
  std::vector<FakePacket> formats;
  for (const FakePacket& p : pump.Commands()) {
    if (p.code == 0x61) formats.push_back(p);
  }
  return formats;
}

}  // namespace vxctl::testing
