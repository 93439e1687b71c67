// The task thread changes modes and queues bytes while the data pump's
// block thread posts and takes blocks, each post calling the controller
// back as the driver frame's notification does (the packet, then the
// data-channel poll). Over many seeds: the poll never runs on a mode
// half changed, and in direct mode every byte arrives once, in order,
// both ways.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct LoadWatch {
  std::uint32_t polls = 0;        // polls that found the poll enabled
  std::uint32_t half_changed = 0;  // of those, polls inside a mode change
};

void NotifyAndPoll(pump::HostInterface* host) {
  RigCallback(host);
  ntdrv_run_trigger();
}

// What each mode's selection sets up, as the handlers rely on it.
bool ModeIsWhole(const DataModeState& s) {
  const std::uint8_t link = MachineState<LinkProtocolsStandin>().link_flag;
  switch (s.mode) {
    case kModeMnpHdlc:
      return link == 1 && s.frame_limit == 266 && s.strip_fcs == 1 &&
             s.frame_source == FrameSource::kMnp;
    case kModeLapm:
      return link == 1 && s.frame_limit == 134 && s.strip_fcs == 1;
    case kModeFaxHdlc:
      return s.frame_limit == 266 && s.strip_fcs == 0 && s.frame_source == FrameSource::kFax;
    case kModeDirect:
    case kModeVoice:
    case kModeCallerId:
      return link == 0;
    default:
      return true;
  }
}

void CheckedPoll() {
  if (mbox_poll_enabled()) {
    LoadWatch& watch = MachineState<LoadWatch>();
    ++watch.polls;
    if (critical_section_state().depth != 0 || !ModeIsWhole(datamode_state())) {
      ++watch.half_changed;
    }
  }
  datamode_poll();
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  for (std::uint8_t& c : out) c = static_cast<std::uint8_t>(rng());
  return out;
}

bool MailboxesEmpty(FakeDataPump& pump) {
  std::uint8_t rs = 0, rc = 0, ts = 0, tc = 0;
  mbox_rx_state(rs, rc);
  mbox_tx_state(ts, tc);
  return pump.RxWaiting() == 0 && rs == 0 && rc == 0 && ts == 0 && tc == 0;
}

// One task step of the mixed phase: a mode change or bytes queued.
void MixedStep(std::mt19937& rng) {
  switch (rng() % 5) {
    case 0:
      datamode_set(static_cast<std::uint8_t>(rng() % 8));
      return;
    case 1:
      datamode_fax_start(static_cast<std::uint8_t>(rng() % 2), 0, 100);
      return;
    case 2:
      datamode_fax_stop();
      return;
    case 3:
      datamode_select_raw(rng() % 2 == 0 ? kModeV8Frames : kModeMnpAsync);
      return;
    default:
      for (std::uint8_t c : RandomBytes(rng, rng() % 80)) line_tx_put_char(c);
      return;
  }
}

constexpr std::size_t kStream = 600;
// Turns of the task thread before it gives up waiting (a lost byte).
constexpr int kPatience = 5000;

TEST(PollUnderLoad, ModesChangeWholeAndDirectModeKeepsEveryByte) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    RunOnController([&] {
      FakeDataPump pump(NotifyAndPoll);
      pump.Bind();
      pump.SetRegister(54, 0x40);
      datamode_set_poll_routine(CheckedPoll);
      std::mt19937 task_rng(seed), block_rng(seed * 7919);
      const Bytes out = RandomBytes(task_rng, kStream), in = RandomBytes(block_rng, kStream);
      bool mixing = true, streaming = false, done = false;
      std::size_t first_direct_block = 0;
      Bytes received;
      RunThreads({
          {16,
           [&] {  // the task thread
             for (int step = 0; step < 12; ++step) {
               MixedStep(task_rng);
               SleepMs(1 + task_rng() % 3);
             }
             mixing = false;
             datamode_set_direct();
             for (int turn = 0; turn < kPatience && !MailboxesEmpty(pump); ++turn) SleepMs(1);
             line_rx_clear();  // what the mixed phase left
             first_direct_block = pump.TxBlocks().size();
             streaming = true;
             std::size_t sent = 0;
             for (int turn = 0; turn < kPatience && (received.size() < kStream || sent < kStream ||
                                                     line_tx_count() != 0);
                  ++turn) {
               for (std::uint32_t n = task_rng() % 50; n != 0 && sent < kStream; --n) {
                 if (line_tx_free() == 0) break;
                 line_tx_put_char(out[sent++]);
               }
               for (std::uint32_t n = task_rng() % 50; n != 0 && line_rx_count() != 0; --n) {
                 received.push_back(line_rx_get_char());
               }
               SleepMs(1 + task_rng() % 2);
             }
             for (int turn = 0; turn < kPatience && !MailboxesEmpty(pump); ++turn) SleepMs(1);
             done = true;
           }},
          {16,
           [&] {  // the data pump's block thread
             std::size_t posted = 0;
             while (!done) {
               if (pump.RxWaiting() == 0) {
                 if (mixing) {
                   const std::uint8_t status = std::array<std::uint8_t, 7>{0, 1, 2, 3, 5, 6, 7}[block_rng() % 7];
                   const std::uint8_t count = block_rng() % 8 == 0 ? 255 : block_rng() % 33;
                   pump.QueueRx(status, count, RandomBytes(block_rng, 32));
                 } else if (streaming && posted < kStream && line_rx_count() < kLineFlowStopMark) {
                   const std::size_t n = std::min<std::size_t>(1 + block_rng() % 32, kStream - posted);
                   pump.QueueRx(0, static_cast<std::uint8_t>(n),
                                Bytes(in.begin() + posted, in.begin() + posted + n));
                   posted += n;
                 }
               }
               pump.Block();
               SleepMs(1 + block_rng() % 2);
             }
           }},
      });
      Bytes sent_out;
      for (std::size_t i = first_direct_block; i < pump.TxBlocks().size(); ++i) {
        const FakeBlock& block = pump.TxBlocks()[i];
        EXPECT_EQ(block.kind, 0);
        sent_out.insert(sent_out.end(), block.data.begin(), block.data.end());
      }
      EXPECT_EQ(sent_out, out);
      EXPECT_EQ(received, in);
      const LoadWatch& watch = MachineState<LoadWatch>();
      EXPECT_GT(watch.polls, 50u);
      EXPECT_EQ(watch.half_changed, 0u);
      datamode_set_poll_routine(nullptr);
      pump.Unbind();
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
