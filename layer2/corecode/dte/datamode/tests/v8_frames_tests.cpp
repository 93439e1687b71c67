// DataMode 7: the V.8 frame receiver against the fake data pump's receive
// blocks (frames open with 0xE0 and count once repeated), its idle and
// closing 0x00 octets and the fast start's pattern watcher; the transmit
// side asks the modem task for its frame.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/tests/datamode_rig.h"
#include "layer2/corecode/dte/datamode/v8_frames.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

ModemTaskState& Task() { return MachineState<ModemTaskState>(); }

void SelectV8(std::uint8_t state) {
  datamode_set_poll_routine(datamode_poll);
  datamode_select_raw(kModeV8Frames);
  param_rx_set_state(state);
}

// Posts `bytes` in blocks of up to 32.
void PostBytes(FakeDataPump& pump, const Bytes& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += 32) {
    const std::size_t n = std::min<std::size_t>(32, bytes.size() - at);
    pump.QueueRx(0, static_cast<std::uint8_t>(n), Bytes(bytes.begin() + at, bytes.begin() + at + n));
    pump.Block();
    datamode_poll_now();
  }
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// 0xE0 and n - 1 bytes from 0x40 on (neither 0x00 nor 0xE0).
Bytes V8Frame(std::size_t n, std::uint8_t first = 0x40) {
  Bytes f(n);
  std::iota(f.begin(), f.end(), static_cast<std::uint8_t>(first - 1));
  f[0] = 0xE0;
  return f;
}

// The frame the modem task received (empty: none).
Bytes Received() {
  if (Task().v8_frame_received == 0) return {};
  return Bytes(Task().v8_rx_frame, Task().v8_rx_frame + Task().v8_rx_length);
}

TEST(PollHandlers, V8FrameReceiver) {
  struct Case {
    const char* name;
    std::vector<Bytes> blocks;
    Bytes frame;  // delivered to the modem task
    std::uint8_t state_after;
  };
  const Bytes e0 = {0xE0};
  const Bytes f40 = V8Frame(40), f32 = V8Frame(32), f33 = V8Frame(33);
  const std::vector<Case> cases = {
      {"E0 11 22 33 twice and E0", {{0xE0, 0x11, 0x22, 0x33, 0xE0, 0x11, 0x22, 0x33, 0xE0}},
       {0xE0, 0x11, 0x22, 0x33}, kV8Delivered},
      {"across blocks, the rest of the block ignored",
       {{0xE0, 0x11, 0x22}, {0x33, 0xE0, 0x11}, {0x22, 0x33, 0xE0, 0xE0, 0x11, 0x22, 0x33, 0xE0}},
       {0xE0, 0x11, 0x22, 0x33}, kV8Delivered},
      {"a differing repeat becomes the frame",
       {{0xE0, 0x11, 0x22, 0x33, 0xE0, 0x11, 0x44, 0x33, 0xE0, 0x11, 0x44, 0x33, 0xE0}},
       {0xE0, 0x11, 0x44, 0x33}, kV8Delivered},
      {"a shorter repeat is compared again",
       {{0xE0, 0x11, 0x22, 0x33, 0xE0, 0x11, 0x22, 0xE0, 0x11, 0x22, 0xE0}}, {0xE0, 0x11, 0x22},
       kV8Delivered},
      {"0xE0 and one byte is no frame", {{0xE0, 0x11, 0xE0, 0x11, 0xE0}}, {}, kV8FirstCopy},
      {"an unrepeated frame is not delivered", {{0xE0, 0x11, 0x22, 0x33, 0xE0, 0x11, 0x22, 0x33}},
       {}, kV8SecondCopy},
      {"32 bytes fit", {Cat({f32, f32, e0})}, f32, kV8Delivered},
      {"33 bytes are dropped", {Cat({f33, f33, e0})}, {}, kV8FirstCopy},
      {"40 bytes are dropped and the next frame arrives",
       {Cat({f40, f40, e0, {0xAA, 0xBB, 0xE0, 0xAA, 0xBB, 0xE0}})}, {0xE0, 0xAA, 0xBB},
       kV8Delivered},
      {"a report carries nothing", {}, {}, kV8Hunt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      SelectV8(kV8Hunt);
      if (c.blocks.empty()) {
        pump.QueueRx(0, 255, {0xE0, 0x11});
        pump.Block();
        datamode_poll_now();
      }
      for (const Bytes& block : c.blocks) PostBytes(pump, block);
      EXPECT_EQ(Received(), c.frame);
      if (!c.frame.empty()) {
        EXPECT_EQ(Task().v8_rx_frame[c.frame.size()], 0) << "terminated";
      }
      EXPECT_EQ(datamode_state().v8_state, c.state_after);
      std::uint8_t status = 0, count = 0;
      mbox_rx_state(status, count);
      EXPECT_EQ(count, 0) << "every block was released";
    });
  }
}

TEST(PollHandlers, V8ZerosAndTheStatesAroundAFrame) {
  struct Case {
    const char* name;
    std::uint8_t state;
    std::uint8_t option;
    std::uint16_t call_flags, v92_status;
    Bytes block;
    std::uint8_t state_after;
    std::uint8_t idle_zeros, call_progress, closing_zeros;
    std::uint16_t call_flags_after, v92_status_after;
    std::uint8_t substate_after;
  };
  const std::vector<Case> cases = {
      {"idle zeros counted, the first marks the progress", kV8Hunt, 0, 0, 0, {0, 0, 0, 0x11},
       kV8HuntZeros, 3, 8, 0, 0, 0, 5},
      {"an option from 128 leaves the progress", kV8Hunt, 128, 0, 0, {0, 0}, kV8HuntZeros, 2, 0, 0,
       0, 0, 5},
      {"zeros inside a frame are its bytes", kV8FirstCopy, 0, 0, 0, {0, 0}, kV8FirstCopy, 0, 0, 0, 0,
       0, 5},
      {"a frame while on hold is noted", kV8Hunt, 0, 0, 0x80,
       {0xE0, 0x11, 0x22, 0xE0, 0x11, 0x22, 0xE0}, kV8Delivered, 0, 0, 0, 0, 0x180, 5},
      {"the block after a frame keeps only call flag 7", kV8Delivered, 0, 0x0FFF, 0, {0xE0},
       kV8Delivered, 0, 0, 0, 0x0080, 0, 0},
      {"three closing zeros in a row", kV8ClosingZeros, 0, 0, 0, {0, 0, 0x11, 0, 0, 0, 0xE0},
       kV8Closed, 0, 0, 3, 0, 0, 5},
      {"two closing zeros", kV8ClosingZeros, 0, 0, 0, {0x11, 0, 0}, kV8ClosingZeros, 0, 0, 2, 0, 0,
       5},
      {"closed: ignored", kV8Closed, 0, 0, 0, {0, 0xE0, 0x11, 0x22, 0xE0, 0x11, 0x22, 0xE0},
       kV8Closed, 0, 0, 0, 0, 0, 5},
      {"the start state of the exchange ignores", 7, 0, 0, 0, {0, 0xE0, 0x11}, 7, 0, 0, 0, 0, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      SelectV8(c.state);
      MachineState<CommandInterpreterStandin>().v8_option = c.option;
      Task().call_flags = c.call_flags;
      Task().v8_substate = 5;
      MachineState<ModemOnHoldState>().v92_status = c.v92_status;
      PostBytes(pump, c.block);
      EXPECT_EQ(datamode_state().v8_state, c.state_after);
      EXPECT_EQ(acu_v8_idle_zeros(), c.idle_zeros);
      EXPECT_EQ(MachineState<ModemStatisticsBlock>().call_progress, c.call_progress);
      EXPECT_EQ(Task().v8_closing_zeros, c.closing_zeros);
      EXPECT_EQ(Task().call_flags, c.call_flags_after);
      EXPECT_EQ(MachineState<ModemOnHoldState>().v92_status, c.v92_status_after);
      EXPECT_EQ(Task().v8_substate, c.substate_after);
    });
  }
}

TEST(PollHandlers, V8PatternWatcher) {
  struct Case {
    const char* name;
    std::uint16_t call_flags;
    Bytes bytes;
    bool seen;
    std::uint8_t latest;  // the window's newest byte: the peer's pattern octet
  };
  const std::uint16_t armed = kCallFlagPatternWatch;
  const std::vector<Case> cases = {
      {"55 X 55 X", armed, {0x11, 0x55, 0x21, 0x55, 0x21}, true, 0x21},
      {"55 87", armed, {0x11, 0x55, 0x87}, true, 0x87},
      {"across blocks, nothing shifted after the match", armed,
       {0x55, 0x23, 0x55, 0x23, 0x99, 0x98}, true, 0x23},
      {"55 X 55 Y", armed, {0x55, 0x21, 0x55, 0x22}, false, 0x22},
      {"87 without 55 before it", armed, {0x55, 0x11, 0x87}, false, 0x87},
      {"not armed", 0, {0x55, 0x21, 0x55, 0x21}, false, 0},
      {"seen before: the window stays", armed | kCallFlagPatternSeen, {0x55, 0x21}, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDataChannel([&](FakeDataPump& pump) {
      SelectV8(kV8Closed);
      Task().call_flags = c.call_flags;
      // Two blocks, so the window carries over.
      const std::size_t half = c.bytes.size() / 2;
      PostBytes(pump, Bytes(c.bytes.begin(), c.bytes.begin() + half));
      PostBytes(pump, Bytes(c.bytes.begin() + half, c.bytes.end()));
      EXPECT_EQ((Task().call_flags & kCallFlagPatternSeen) != 0, c.seen);
      EXPECT_EQ(datamode_state().pattern[3], c.latest);
    });
  }
}

TEST(PollHandlers, V8TransmitAsksTheModemTaskForItsFrame) {
  RunDataChannel([](FakeDataPump& pump) {
    SelectV8(kV8Hunt);
    pump.Block();
    // The modem task's frame store is not built: it has none to give.
    EXPECT_GE(PendingCalls("ModemTask_TakeLineFrame"), 1u);
    EXPECT_TRUE(pump.TxBlocks().empty());
    std::uint8_t status = 0, count = 0;
    mbox_tx_state(status, count);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count, 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
