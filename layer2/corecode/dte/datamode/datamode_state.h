// The data channel's state, one per machine (datamode_state()): the two
// line rings between the protocol engines and the data mailboxes, the
// current DataMode, the line's flow settings, the V.80 transmit fields the
// V.80 layer shares, and the restart and fallback counters the link
// protocols write and the data path consumes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "layer2/corecode/dte/byte_ring.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl {

inline constexpr std::uint32_t kLineRingSize = 1024;
inline constexpr std::uint32_t kLineFlowStopMark = 896;    // flow stops here
inline constexpr std::uint32_t kLineFlowResumeMark = 256;  // and resumes below this
inline constexpr std::uint32_t kV80WakeMark = 64;          // V.80 transmit wakes the poll here
inline constexpr std::uint16_t kFallbackPrescale = 100;    // 10 ms ticks per second

enum DataMode : std::uint32_t {
  kModeMnpAsync = 0,
  kModeMnpHdlc = 1,
  kModeDirect = 2,
  kModeLapm = 3,
  kModeV80 = 4,
  kModeVoice = 5,
  kModeCallerId = 6,
  kModeV8Frames = 7,
  kModeFaxHdlc = 8,
  kModeFaxPage = 9,
  kModeV42Detect = 10,
};

// The framer kinds of the data-format packet (datamode_send_format).
enum FormatKind : std::uint8_t {
  kFormatAsync = 0,  // framer 0
  kFormatHdlc = 1,   // framer 2, register 60 bit 3 set
  kFormatSync = 2,   // framer 1
  kFormatKind3 = 3,  // framer 4
};

// Where the HDLC handlers take transmit frames and receive buffers from in
// DataModes 1 and 8 (DataMode 3 always uses LAPM's).
enum class FrameSource : std::uint8_t { kMnp, kFax };

struct V80TransmitState {
  std::uint8_t flags_queued = 0;      // EM 0xB1 flag sequences queued
  std::uint8_t frame_end_awaited = 0;
  std::uint8_t framed = 0;            // 1 framed sub-mode, 0 transparent
  std::uint8_t option_bit = 0;
  std::uint8_t option_code = 0;       // 1..3
  std::uint8_t idle_ff = 0;           // framed: 0xFF idle instead of 0x7E
  std::uint8_t idle_char = 0;         // transparent idle character
  std::uint8_t last_option = 0;
};

struct DataModeState {
  ByteRing<kLineRingSize> rx;  // line_rx_ring: bytes from the data pump
  ByteRing<kLineRingSize> tx;  // line_tx_ring: bytes for the data pump

  std::atomic<std::uint32_t> mode{kModeMnpAsync};
  std::atomic<std::uint8_t> kick_pending{0};

  // Line flow (XON/XOFF filter on received data).
  std::uint8_t flow_enabled = 0;
  std::uint8_t flow_pass_through = 0;
  std::uint8_t xon = 17;
  std::uint8_t xoff = 19;
  std::atomic<std::uint8_t> flow_stopped{0};

  V80TransmitState v80;

  // The poll's copies of the receive block's status and count.
  std::uint8_t rx_status = 0;
  std::uint8_t rx_count = 0;
  // Set by the link protocols when they want their receive poll; cleared
  // by datamode_rx_poll and by every mode change.
  std::atomic<std::uint8_t> rx_pending{0};

  // HDLC frame fields: the frame being sent and the receive buffer being
  // filled (null: none), with their data positions.
  std::uint8_t* tx_frame = nullptr;
  std::uint8_t* tx_data = nullptr;
  std::uint8_t* rx_buffer = nullptr;
  std::uint8_t* rx_data = nullptr;
  std::uint16_t tx_remaining = 0;
  std::uint16_t rx_length = 0;
  std::uint8_t rx_error = 0;
  std::uint8_t fax_tx_wait = 0;
  std::uint8_t strip_fcs = 0;
  std::uint16_t frame_limit = 0;
  std::uint8_t hdlc_skip_to_end = 0;
  FrameSource frame_source = FrameSource::kMnp;

  // The DataMode 7 receiver (V.8 frames): its state (V8RxState), the
  // position in the frame being collected, the bytes of the first copy
  // still to compare, and the frame collected; the four latest bytes for
  // the fast start's pattern watcher (pattern[3] the newest).
  std::uint8_t v8_state = 0;
  std::uint8_t v8_index = 0;
  std::uint8_t v8_compare = 0;
  std::array<std::uint8_t, ModemTaskState::kV8FrameMax> v8_collected{};
  std::array<std::uint8_t, 4> pattern{};

  // Receive blocks whose count was neither data (up to 32) nor a report.
  std::atomic<std::uint32_t> rx_count_errors{0};
  // Fax page: the transmitter ran dry; receive bytes dropped on a full ring.
  std::atomic<std::uint8_t> fax_run_dry{0};
  std::atomic<std::uint16_t> fax_rx_overruns{0};

  // Restart and fallback, written by the link protocols.
  std::atomic<std::uint8_t> deferred_restarts{0};
  std::atomic<std::uint8_t> detection_pending{0};
  std::uint8_t detection_result[2] = {0, 0};
  std::atomic<std::uint16_t> fallback_seconds{0};
  std::uint8_t fallback_prescaler = kFallbackPrescale;
};

DataModeState& datamode_state();

}  // namespace vxctl
