#include "pump/tests/support/fax_train_rig.h"

#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::testing {

std::string FaxTrainState(const DspContext& context) {
  const auto& m = context.fax.rx.machine;
  if (m.table.empty() || m.position < 0 || static_cast<std::size_t>(m.position) >= m.table.size()) return "";
  return m.table[static_cast<std::size_t>(m.position)].name;
}

FaxTrainRun FaxTrainReceive(std::uint8_t config, const std::vector<std::int16_t>& line,
                            const std::function<void(DspContext&)>& each_block, int reconfigure_at,
                            std::uint8_t second_config, bool new_call) {
  FaxTrainRun run;
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x04});
    harness.Afe().FeedLine(line);
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    bool reported = false;
    const int blocks = static_cast<int>(line.size() / kBlockSamples);
    const auto count_packets = [&](const std::vector<ReceivedPacket>& packets) {
      for (const auto& p : packets) run.carrier_lost += p.code == kDpFaxCd ? 1 : 0;
    };
    for (int b = 0; b < blocks; ++b) {
      if (b == reconfigure_at) {
        if (new_call) count_packets(controller.Exchange(0x60, {0}));
        count_packets(controller.Exchange(0x73, {second_config, 0x04}));
      }
      harness.RunBlocks(1);
      if (each_block) each_block(harness.Context());
      run.states.push_back(FaxTrainState(harness.Context()));
      const bool data = (status & 0x0F) == 8 && (status & kStatusCarrier) != 0;
      run.data_reports += data && !reported ? 1 : 0;
      reported = data;
      count_packets(controller.TakePackets());
    }
    harness.RunBlocks(2);
    count_packets(controller.TakePackets());
    for (const auto& block : controller.RxBlocks()) {
      if (block.kind == 0) run.bytes.insert(run.bytes.end(), block.data.begin(), block.data.end());
    }
  });
  return run;
}

}  // namespace pump::testing
