// The data channel between the line rings and the data mailboxes, on the
// fake data pump. Reported, never asserted:
//   BM_DirectModeThroughput  bytes per host second queued in line_tx_ring,
//                            sent by the poll and taken by the pump's block;
//   BM_PollPerBlock          host time per receive block posted and taken
//                            by the poll (0: direct mode, 3: LAPM frames).
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "controller/standin/frame_sources_standin.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/hdlc.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace {

using vxctl::testing::FakeDataPump;

void BM_DirectModeThroughput(benchmark::State& state) {
  vxctl::testing::DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    vxctl::datamode_set_poll_routine(vxctl::datamode_poll);
    vxctl::datamode_set(vxctl::kModeDirect);
    std::array<std::uint8_t, 32> block{};
    for (auto _ : state) {
      vxctl::line_tx_put_block(block);
      vxctl::datamode_poll_now();
      pump.Block();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 32);
    vxctl::datamode_set_poll_routine(nullptr);
  });
}
BENCHMARK(BM_DirectModeThroughput);

void BM_PollPerBlock(benchmark::State& state) {
  const bool lapm = state.range(0) == 3;
  vxctl::testing::DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    vxctl::datamode_set_poll_routine(vxctl::datamode_poll);
    vxctl::datamode_set(lapm ? vxctl::kModeLapm : vxctl::kModeDirect);
    vxctl::FrameSourcesStandin::Buffer buffer{};
    const std::vector<std::uint8_t> data(32, 0x5A);
    for (auto _ : state) {
      if (lapm) {
        vxctl::hdlc_rx_set_buffer(buffer.data());
      }
      pump.QueueRx(lapm ? 1 : 0, 32, data);
      pump.Block();
      vxctl::datamode_poll_now();
      while (vxctl::line_rx_count() != 0) vxctl::line_rx_get_byte();
    }
    vxctl::datamode_set_poll_routine(nullptr);
  });
}
BENCHMARK(BM_PollPerBlock)->Arg(0)->Arg(3);

}  // namespace

BENCHMARK_MAIN();
