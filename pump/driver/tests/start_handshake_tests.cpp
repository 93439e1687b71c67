// StartHandshake: one machine with the simulator, vxafe, vxdsp and the test
// controller driver, a scripted peer at the far end of its line.
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "afe/windows/sound_device.h"
#include "platform/hal/instant.h"
#include "platform/line/peer_end.h"
#include "platform/sim/registers.h"
#include "platform/win32/files.h"
#include "pump/afe_access/afe_access.h"
#include "pump/context/block_tick.h"
#include "pump/core/comram.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/tests/support/tone_share.h"
#include "pump/idle/default_block.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/key_packets.h"

namespace pump::testing {
namespace {

constexpr std::uint64_t kSecond = plat::hal::kSecond;
using plat::hal::kMillisecond;

// The virtual instant of every BlockTick, by a wrapper around the entry.
struct TickLog {
  std::vector<std::uint64_t> at;
};

void CountedBlockTick(DspContext& context) {
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  kernel.slots().Get<TickLog>().at.push_back(kernel.Now());
  BlockTick(context);
}

// A machine on vxafe whose line's far end is a scripted peer.
class PeerRig : public DspRig {
 protected:
  void BootWithPeer(plat::MachineConfig config = {}) {
    BootOnVxafe(Controller::kStarted, std::move(config));
    peer_end_ =
        std::make_unique<plat::line::PeerEnd>(machine_->line(), plat::line::Side::kB, peer_);
    ASSERT_TRUE(TheController().started());
  }
  void TearDown() override {
    DspRig::TearDown();
    machine_.reset();
  }

  // Register 252 := 0xD0, then the first reset; the packets the reset brought.
  std::vector<ReceivedPacket> PowerUpAndReset() {
    std::vector<ReceivedPacket> answers;
    OnKernelThread([&] {
      TheController().Double().WritePowerState(0xD0);
      answers = TheController().Double().Exchange(0x60, {0});
    });
    return answers;
  }
  afe::AfeContext& FrontEnd() { return *Extension().events.AfeAccess->afe->Context; }
  bool SimulatorOffHook() {
    return (machine_->controller().ReadRegister(sim.Now(), plat::sim::reg::kHook) &
            plat::sim::reg::kOffHook) != 0;
  }

  void TakeLineOffHook() {
    OnKernelThread([&] {
      HostInterface& host = TheController().Host();
      host.comram.reg[kRegLineLevelA] &= static_cast<std::uint8_t>(~kLineHookRelay);
    });
  }

  plat::line::ScriptedPeer peer_;
  std::unique_ptr<plat::line::PeerEnd> peer_end_;
};

class StartHandshake : public PeerRig {
 protected:
  void SetUp() override { BootWithPeer(); }
};

TEST_F(StartHandshake, PowersUpResetsAndRunsAHundredBlocksASecond) {
  DspContext& context = *TheController().Context();
  OnKernelThread([&] { context.block_entry = CountedBlockTick; });
  EXPECT_EQ(FrontEnd().DmaRunning, 0u) << "no blocks before the port opens";

  EXPECT_EQ(PowerUpAndReset(), (std::vector<ReceivedPacket>{{kDpAck, 1, {0x60}}}));
  EXPECT_EQ(FrontEnd().PowerState, 0);
  EXPECT_NE(FrontEnd().DmaRunning, 0u);

  const std::uint64_t start = sim.Now();
  constexpr int kSeconds = 10;
  sim.RunFor(kSeconds * kSecond);
  const std::vector<std::uint64_t>& ticks = kernel().slots().Get<TickLog>().at;
  std::array<int, kSeconds> per_second{};
  for (const std::uint64_t at : ticks) {
    if (at >= start && at < start + kSeconds * kSecond) ++per_second[(at - start) / kSecond];
  }
  for (int s = 0; s < kSeconds; ++s) EXPECT_NEAR(per_second[s], 100, 1) << "second " << s;
  // A lap of the 16-slot ring lost would leave the block counter ahead of
  // the ticks by 16 or more.
  EXPECT_LE(FrontEnd().BlockCounter - static_cast<LONG>(ticks.size()), 4);

  OnKernelThread([&] {
    const std::vector<ReceivedPacket> version = TheController().Double().Exchange(0x94);
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0].code, kDpVersionInfo);
    ASSERT_EQ(version[0].payload.size(), 10u);
    EXPECT_EQ(version[0].payload[8], 6) << "the real front end's controller kind";
  });
}

// Off hook through register 242, then two tones 20 dB apart from the peer.
TEST_F(StartHandshake, TakesTheLineOffHookAndPublishesTheLevelsItHears) {
  peer_.WaitUntil(machine_->line().HookIs(plat::line::Side::kA, true))
      .Tones({1004.0, -10.0}, plat::line::LineSamplesInMs(1000))
      .Tones({1004.0, -30.0}, plat::line::LineSamplesInMs(1000));
  PowerUpAndReset();
  sim.RunFor(100 * kMillisecond);
  EXPECT_FALSE(SimulatorOffHook());
  TakeLineOffHook();
  sim.RunFor(100 * kMillisecond);
  EXPECT_TRUE(SimulatorOffHook());
  EXPECT_TRUE(machine_->line().OffHook(plat::line::Side::kA, sim.Now()));

  std::array<int, 2> levels{};
  for (int& level : levels) {
    sim.RunFor(900 * kMillisecond);
    OnKernelThread([&] {
      const auto published = ReadParam(TheController().Double(), kPublishedLevelKey);
      ASSERT_TRUE(published.has_value());
      level = Int16Of(*published);
    });
    sim.RunFor(100 * kMillisecond);
  }
  EXPECT_NEAR(levels[1] - levels[0], 20, 1) << levels[0] << " and " << levels[1];
}

class SoundMirror : public PeerRig {};

// With the sound path on, what the line brings is mirrored at 8000 Hz into
// the Sound device, where the voice bridge reads it.
TEST_F(SoundMirror, TheBridgeReadsThePeersToneAtEightThousandHertz) {
  constexpr double kToneHz = 1000.0;
  BootWithPeer({.hive_overrides = ProfileOverride(1u << 0 | 1u << 1 | 1u << 17)});
  peer_.WaitUntil(machine_->line().HookIs(plat::line::Side::kA, true))
      .Tones({kToneHz, -13.0}, plat::line::LineSamplesInMs(3000));
  PowerUpAndReset();
  OnKernelThread([&] {
    EXPECT_EQ(TheController().Double().Exchange(0x81, {3}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x81}}}));
  });
  TakeLineOffHook();
  // The mute count (78 blocks) of silence first, then the line's audio.
  sim.RunFor(1'500 * kMillisecond);
  std::vector<SHORT> heard(afe::kSoundTransferSamples, 0x6E6E);
  BridgeTransfer(afe::IOCTL_SOUND_READDATA, heard);
  EXPECT_GT(ToneShare(heard, kToneHz, 8000), 0.8);
  // Audio of another rate labelled 8000 Hz would put the tone elsewhere.
  EXPECT_LT(ToneShare(heard, kToneHz * 8000 / 9600, 8000), 0.05);
  EXPECT_LT(ToneShare(heard, 2 * kToneHz, 8000), 0.05);
}

}  // namespace
}  // namespace pump::testing
