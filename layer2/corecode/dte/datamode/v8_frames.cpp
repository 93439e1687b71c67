#include "layer2/corecode/dte/datamode/v8_frames.h"

#include <algorithm>
#include <array>
#include <span>

#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {

namespace {

constexpr std::uint8_t kFrameStart = 0xE0;
constexpr std::uint8_t kPatternByte = 0x55;
constexpr std::uint8_t kPatternEnd = 0x87;
constexpr std::uint8_t kClosingZeros = 3;
constexpr std::uint8_t kOptionMarksIdle = 128;  // an option byte below this marks idle zeros
constexpr std::uint8_t kProgressIdleZeros = 8;
// V.92 status: modem-on-hold in progress; a V.8 frame arrived during it.
constexpr std::uint16_t kV92OnHold = 1u << 7;
constexpr std::uint16_t kV92FrameWhileOnHold = 1u << 8;

// While the modem task armed the watcher and has not seen the peer's
// pattern: 0x55 X 0x55 X or 0x55 0x87 among the latest four bytes.
void WatchPatterns(DataModeState& s, std::span<const std::uint8_t> bytes) {
  std::atomic<std::uint16_t>& flags = MachineState<ModemTaskState>().call_flags;
  std::array<std::uint8_t, 4>& w = s.pattern;
  for (std::uint8_t c : bytes) {
    if ((flags & kCallFlagPatternWatch) == 0 || (flags & kCallFlagPatternSeen) != 0) return;
    w = {w[1], w[2], w[3], c};
    if ((w[0] == kPatternByte && w[2] == kPatternByte && w[1] == w[3]) ||
        (w[2] == kPatternByte && w[3] == kPatternEnd)) {
      flags.fetch_or(kCallFlagPatternSeen);
    }
  }
}

void CountIdleZero(DataModeState& s) {
  acu_v8_idle_zeros().fetch_add(1);
  if (s.v8_state != kV8Hunt) return;
  s.v8_state = kV8HuntZeros;
  if (acu_v8_option() < kOptionMarksIdle) {
    MachineState<ModemStatisticsBlock>().call_progress = kProgressIdleZeros;
  }
}

void StartFrame(DataModeState& s) {
  s.v8_collected[0] = kFrameStart;
  s.v8_index = 1;
  s.v8_state = kV8FirstCopy;
}

// Collects c into the frame; a frame longer than the modem task's received
// frame can hold is dropped and the hunt for the next one restarts.
void Collect(DataModeState& s, std::uint8_t c) {
  if (s.v8_index == s.v8_collected.size()) {
    s.v8_state = kV8Hunt;
    s.v8_index = 0;
    return;
  }
  s.v8_collected[s.v8_index++] = c;
  s.v8_state = kV8FirstCopy;
}

// The repeat starts: compare it with what was collected when that holds a
// frame (0xE0 and at least two bytes), else collect anew.
void Restart(DataModeState& s) {
  if (s.v8_index >= 3) {
    s.v8_compare = static_cast<std::uint8_t>(s.v8_index - 1);
    s.v8_state = kV8SecondCopy;
  }
  s.v8_index = 1;
}

void Deliver(DataModeState& s) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  std::copy_n(s.v8_collected.begin(), s.v8_index, task.v8_rx_frame);
  task.v8_rx_frame[s.v8_index] = 0;
  task.v8_rx_length = s.v8_index;
  task.v8_frame_received = 1;
  s.v8_state = kV8Delivered;
  std::atomic<std::uint16_t>& v92 = MachineState<ModemOnHoldState>().v92_status;
  if ((v92 & kV92OnHold) != 0) v92.fetch_or(kV92FrameWhileOnHold);
}

// One byte through the frame receiver; false when the rest of the block is
// not looked at.
bool ReceiveByte(DataModeState& s, std::uint8_t c) {
  switch (s.v8_state) {
    case kV8Hunt:
    case kV8HuntZeros:
      if (c == kFrameStart) {
        StartFrame(s);
      } else if (c == 0) {
        CountIdleZero(s);
      }
      return true;
    case kV8FirstCopy:
      if (c == kFrameStart) {
        Restart(s);
      } else {
        Collect(s, c);
      }
      return true;
    case kV8SecondCopy:
      if (c == kFrameStart) {
        if (s.v8_compare == 0) {
          Deliver(s);
          return false;
        }
        Restart(s);
      } else if (s.v8_compare != 0 && c == s.v8_collected[s.v8_index]) {
        ++s.v8_index;
        --s.v8_compare;
      } else {
        Collect(s, c);
      }
      return true;
    case kV8ClosingZeros: {
      std::uint8_t& zeros = MachineState<ModemTaskState>().v8_closing_zeros;
      zeros = c == 0 ? static_cast<std::uint8_t>(zeros + 1) : 0;
      if (zeros < kClosingZeros) return true;
      s.v8_state = kV8Closed;
      return false;
    }
    default:
      return false;
  }
}

}  // namespace

void param_tx() {
  if (mbox_tx_open() != kMboxOpen) return;
  const std::uint8_t* frame = nullptr;
  std::uint16_t length = 0;
  if (ModemTask_TakeLineFrame(frame, length) == 0 || length == 0) {
    mbox_tx_commit(kMboxNothingToSend, 0);
    return;
  }
  const std::uint8_t n = static_cast<std::uint8_t>(std::min<std::uint16_t>(length, kMailboxBytes));
  mbox_tx_write(std::span(frame, n), {});
  mbox_tx_commit(0, n);
}

void param_rx() {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) != kMboxOpen) return;
  DataModeState& s = datamode_state();
  std::array<std::uint8_t, kMailboxBytes> block{};
  const std::span<std::uint8_t> bytes = std::span(block).first(rx_data_count(count));
  mbox_rx_read(bytes, {});
  WatchPatterns(s, bytes);
  if (s.v8_state == kV8Delivered) {
    // The block after a delivered frame ends the exchange's fast-start part.
    ModemTaskState& task = MachineState<ModemTaskState>();
    task.call_flags.fetch_and(kCallFlagFastPath);
    task.v8_substate = 0;
  } else {
    for (std::uint8_t c : bytes) {
      if (!ReceiveByte(s, c)) break;
    }
  }
  mbox_rx_release();
}

void param_rx_set_state(std::uint8_t state) { datamode_state().v8_state = state; }

}  // namespace vxctl
