#include "pump/tests/support/line_call_rig.h"

#include "platform/hal/instant.h"
#include "pump/core/comram.h"
#include "pump/core/time_us.h"

namespace pump::testing {

namespace pl = plat::line;

namespace {
using plat::hal::kMillisecond;
}  // namespace

pl::Line& LineCallRig::MakeLine(double snr_db, std::uint64_t seed) {
  pl::LineConfig config;
  config.heard_at = {ImpairedDirection(kTransmitLevel, snr_db),
                     ImpairedDirection(kTransmitLevel, snr_db)};
  config.seed = seed;
  return MakeLine(config);
}

pl::Line& LineCallRig::MakeLine(const pl::LineConfig& config) {
  pl::Line& line = DspRig::MakeLine(config);
  kernels_.push_back(&BootOnLineSideA().kernel());
  return line;
}

void LineCallRig::AddSecondMachine() { kernels_.push_back(&BootPeerOnLineSideB().kernel()); }

std::uint64_t LineCallRig::StartCalls(const std::vector<CallBytes>& calls) {
  for (plat::ke::Kernel* k : kernels_) {
    OnKernelThread(*k, [&] {
      TestController& controller = TestControllerOf(*k);
      controller.Double().WritePowerState(0xD0);
      controller.Double().Exchange(0x60, {0});
      std::uint8_t& lines = controller.Host().comram.reg[kRegLineLevelA];
      lines = static_cast<std::uint8_t>(lines & ~kLineHookRelay);
      controller.Context()->fsk.start_type = -1;
    });
  }
  sim.RunFor(100 * kMillisecond);
  std::uint64_t start_us = 0;
  for (std::size_t m = 0; m < calls.size(); ++m) {
    OnKernelThread(*kernels_[m], [&] {
      TestController& controller = TestControllerOf(*kernels_[m]);
      controller.Context()->transmit_level = kTransmitLevel;
      if (m == 0) start_us = GetTimeUs();
      const auto p2 =
          static_cast<std::uint8_t>(1 | calls[m].direction << 2 | calls[m].selector << 3);
      controller.Double().Exchange(0x68,
                                   {0x04, static_cast<std::uint8_t>(calls[m].mode), p2, 0x00});
    });
  }
  return start_us;
}

int LineCallRig::FskStartOf(std::size_t m) {
  int type = -1;
  OnKernelThread(*kernels_[m],
                 [&] { type = TestControllerOf(*kernels_[m]).Context()->fsk.start_type; });
  return type;
}

bool LineCallRig::RunUntilModems(std::uint64_t limit_ms) {
  for (std::uint64_t t = 0; t < limit_ms; t += 100) {
    bool all = true;
    for (std::size_t m = 0; m < kernels_.size(); ++m) all &= FskStartOf(m) >= 0;
    if (all) return true;
    sim.RunFor(100 * kMillisecond);
  }
  return false;
}

void LineCallRig::Send(std::size_t m, const std::vector<std::uint8_t>& bytes) {
  OnKernelThread(*kernels_[m],
                 [&] { TestControllerOf(*kernels_[m]).Double().StreamTx(0, bytes); });
}

std::vector<std::uint8_t> LineCallRig::Received(std::size_t m) {
  std::vector<std::uint8_t> bytes;
  OnKernelThread(*kernels_[m], [&] {
    for (const auto& block : TestControllerOf(*kernels_[m]).Double().RxBlocks()) {
      bytes.insert(bytes.end(), block.data.begin(), block.data.end());
    }
  });
  return bytes;
}

std::uint8_t LineCallRig::Status(std::size_t m) {
  std::uint8_t status = 0;
  OnKernelThread(*kernels_[m],
                 [&] { status = TestControllerOf(*kernels_[m]).Host().comram.reg[kRegStatus]; });
  return status;
}

}  // namespace pump::testing
