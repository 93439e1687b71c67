// Voice mode on one machine (the simulator, vxafe, vxdsp and the test
// controller driver), a scripted peer at the line's far end, and the voice
// bridge's side of the Sound device on an emulated user thread: what the
// peer sends is read with READDATA, what the bridge writes with WRITEDATA
// reaches the peer.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "afe/windows/sound_device.h"
#include "platform/hal/instant.h"
#include "platform/line/peer_end.h"
#include "platform/line/taps.h"
#include "pump/voice/tests/voice_machine.h"
#include "pump/tests/support/tone_share.h"
#include "pump/tests/support/key_packets.h"

namespace pump::testing {
namespace {

using plat::hal::kMillisecond;

class VoiceBridge : public VoiceMachine {
 protected:
  // Sound path on (profile bits 17) with both stream levels under the data
  // pump (bits 1 and 2); the peer plays `peer_hz` once the line is taken.
  void BootInVoice(std::uint8_t line_mode, double peer_hz) {
    BootOnVxafe(Controller::kStarted, {.hive_overrides = ProfileOverride(kStreamLevels | kSoundPath)});
    peer_end_ = std::make_unique<plat::line::PeerEnd>(machine_->line(), plat::line::Side::kB, peer_);
    peer_.RecordTo(&peer_heard_);
    if (peer_hz > 0) {
      peer_.WaitUntil(machine_->line().HookIs(plat::line::Side::kA, true))
          .Tones({peer_hz, -13.0}, plat::line::LineSamplesInMs(3000));
    }
    TakeLineAndStartVoice(line_mode);
    OnKernelThread([&] { TheController().Double().Exchange(0x99, {128, 0}); });
  }
  void TearDown() override {
    DspRig::TearDown();
    machine_.reset();
  }

  plat::line::ScriptedPeer peer_;
  std::unique_ptr<plat::line::PeerEnd> peer_end_;
  plat::line::MemoryTap peer_heard_;
};

// Mode 9 (the speakerphone's streams): the peer's tone is read by the
// bridge at 8000 Hz; mode 0 starts no stream and the bridge reads none of it.
class VoiceBridgeRead : public VoiceBridge, public ::testing::WithParamInterface<int> {};

TEST_P(VoiceBridgeRead, ReadDataCarriesTheLinesAudioWhenTheLineStreamRuns) {
  constexpr double kToneHz = 1000.0;
  const bool streams = GetParam() == 9;
  BootInVoice(static_cast<std::uint8_t>(GetParam()), kToneHz);
  sim.RunFor(1'000 * kMillisecond);
  std::vector<SHORT> heard(afe::kSoundTransferSamples, 0x6E6E);
  BridgeTransfer(afe::IOCTL_SOUND_READDATA, heard);
  if (streams) {
    EXPECT_GT(ToneShare(heard, kToneHz, 8000), 0.8);
    EXPECT_LT(ToneShare(heard, kToneHz * 8000 / 9600, 8000), 0.05);
  } else {
    EXPECT_LT(ToneShare(heard, kToneHz, 8000), 0.05);
  }
}

INSTANTIATE_TEST_SUITE_P(LineModes, VoiceBridgeRead, ::testing::Values(9, 0));

// Mode 6 (the application's stream to the line): 80 ms of a 600 Hz tone
// written by the bridge reach the peer as that tone.
TEST_F(VoiceBridge, WriteDataReachesThePeer) {
  constexpr double kToneHz = 600.0;
  BootInVoice(6, 0);
  sim.RunFor(200 * kMillisecond);
  std::vector<SHORT> written(afe::kSoundTransferSamples);
  for (std::size_t i = 0; i < written.size(); ++i) {
    written[i] = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * kToneHz * double(i) / 8000));
  }
  const std::size_t before = peer_heard_.samples().size();
  BridgeTransfer(afe::IOCTL_SOUND_WRITEDATA, written);
  sim.RunFor(300 * kMillisecond);
  const auto& all = peer_heard_.samples();
  std::vector<std::int16_t> heard(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  // The loudest 60 ms the peer heard.
  const std::size_t window = static_cast<std::size_t>(plat::line::LineSamplesInMs(60));
  ASSERT_GE(heard.size(), window);
  std::size_t best = 0;
  double best_energy = -1;
  for (std::size_t at = 0; at + window <= heard.size(); at += 48) {
    double energy = 0;
    for (std::size_t i = at; i < at + window; ++i) energy += double{1} * heard[i] * heard[i];
    if (energy > best_energy) best_energy = energy, best = at;
  }
  const std::vector<std::int16_t> loudest(heard.begin() + static_cast<std::ptrdiff_t>(best),
                                          heard.begin() + static_cast<std::ptrdiff_t>(best + window));
  EXPECT_GT(std::sqrt(best_energy / window), 300) << "the bridge's tone on the line";
  const double line_rate = static_cast<double>(plat::line::LineSamplesInMs(1000));
  EXPECT_GT(ToneShare(loudest, kToneHz, line_rate), 0.8);
  // Samples of another rate labelled 8000 Hz would put the tone elsewhere.
  EXPECT_LT(ToneShare(loudest, kToneHz * 8000 / 9600, line_rate), 0.05);
}

}  // namespace
}  // namespace pump::testing
