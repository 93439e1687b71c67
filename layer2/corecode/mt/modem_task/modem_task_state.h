// ModemTaskState: the modem task's state (call control), one per machine
// (MachineState<ModemTaskState>()). Fields join as the parts of the modem
// task that use them are built.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vxctl {

// Call flags: the V.8 receiver's pattern watcher is armed, the peer's
// pattern was seen, the call runs a fast-start or quick-connect path, and
// the bits set from the data pump's reports.
inline constexpr std::uint16_t kCallFlagPatternWatch = 1u << 1;
inline constexpr std::uint16_t kCallFlagPatternSeen = 1u << 3;
inline constexpr std::uint16_t kCallFlagFastPath = 1u << 7;
inline constexpr std::uint16_t kCallFlagAwaitFastStart =
    1u << 8;  // waiting for the data pump after a fast start
inline constexpr std::uint16_t kCallFlagClearProfile =
    1u << 9;  // clear the stored line profile at the next V.34 connect and at hang-up
inline constexpr std::uint16_t kCallFlagConnectOption =
    1u << 11;  // passed on in the connect parameters

struct ModemTaskState {
  // The modem task's state: 0 idle, any other while a call is in progress.
  std::atomic<std::uint8_t> state{0};
  // Written by the task thread and by the data pump's V.92 report, which
  // arrives on the data pump's block thread.
  std::atomic<std::uint16_t> call_flags{0};
  // The V.8 exchange: the frame the DataMode 7 receiver confirmed (at most
  // 32 bytes and a terminating 0) with its length and the received-frame
  // flag, the exchange's sub-state and the closing 0x00 octets counted.
  static constexpr std::size_t kV8FrameMax = 32;
  std::uint8_t v8_rx_frame[kV8FrameMax + 1] = {};
  std::uint8_t v8_rx_length = 0;
  std::atomic<std::uint8_t> v8_frame_received{0};
  std::atomic<std::uint8_t> v8_substate{0};
  std::uint8_t v8_closing_zeros = 0;
  // Register 56 as last read (ModemTask_ReadDspEventType).
  std::uint8_t latest_event_type = 0;

  // The connection the data pump reported: its modulation code (0 Bell 103
  // to 24 V.92), the receive and transmit line rates in bit/s, whether it
  // is a V.92 connection, and the V.34 auxiliary channel's state.
  std::uint8_t modulation = 0;
  std::uint16_t rx_rate = 0;
  std::uint16_t tx_rate = 0;
  std::uint8_t v92_connection = 0;
  std::uint8_t aux_channel = 0;
  // The data pump's connection-state code (register 54, low 4 bits) as the
  // state monitor last read it; 3 while retraining.
  std::atomic<std::uint8_t> connection_state{0};
  // The status word: the hook state, CTS and the other flags the modem
  // task keeps (lines/status_lines.h names the bits).
  std::atomic<std::uint32_t> status_word{0};
};

}  // namespace vxctl
