#include "layer2/corecode/dte/datamode/hdlc.h"

#include <cstring>
#include <span>

#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl {

namespace {

constexpr std::uint16_t kMaxTxRemaining = 512;
constexpr std::uint8_t kEndsFrame = 1, kEndsBadFrame = 2, kBadFrame = 3, kOverrun = 6;
constexpr std::uint8_t kFcsBytes = 2;
constexpr std::uint8_t kFrameBad = 1;

// Where a frame buffer keeps its fields.
struct FrameLayout {
  std::size_t length, status, data;
};
constexpr FrameLayout kMnpLayout{2, 0, 4};  // MNP and fax
constexpr FrameLayout kLapmLayout{4, 6, 8};

const FrameLayout& LayoutOf(std::uint32_t mode) {
  return mode == kModeLapm ? kLapmLayout : kMnpLayout;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void WriteU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint8_t* NextTxFrame(const DataModeState& s) {
  if (s.mode == kModeLapm) return lapm_next_tx_frame();
  return s.frame_source == FrameSource::kMnp ? mnp_next_tx_frame() : fax_next_tx_frame();
}

bool EndsFrame(std::uint8_t s) { return s == kEndsFrame || s == kEndsBadFrame; }

// Makes `frame` the frame being sent; false, and the frame dropped, when
// its length is beyond what a frame may carry.
bool InstallTxFrame(DataModeState& s, std::uint8_t* frame, const FrameLayout& layout) {
  const std::uint16_t length = ReadU16(frame + layout.length);
  if (length > kMaxTxRemaining) return false;
  s.tx_frame = frame;
  s.tx_data = frame + layout.data;
  s.tx_remaining = length;
  return true;
}

// Takes the next frame to send; false when there is none (or it cannot be
// sent).
bool TakeFrame(DataModeState& s) {
  std::uint8_t* frame = NextTxFrame(s);
  return frame != nullptr && InstallTxFrame(s, frame, LayoutOf(s.mode));
}

void SetRxBuffer(DataModeState& s, std::uint8_t* buffer, const FrameLayout& layout) {
  s.rx_buffer = buffer;
  s.rx_length = 0;
  if (buffer == nullptr) {
    s.rx_data = nullptr;
    return;
  }
  s.rx_data = buffer + layout.data;
  buffer[layout.status] = 0;
  WriteU16(buffer + layout.length, 0);
}

}  // namespace

void hdlc_tx() {
  if (mbox_tx_open() != kMboxOpen) return;
  DataModeState& s = datamode_state();
  std::atomic<std::uint8_t>& frames_allowed = critical_section_state().poll_requested;
  if (s.tx_remaining > kMaxTxRemaining || frames_allowed == 0) {
    mbox_tx_commit(kMboxNothingToSend, 0);
    return;
  }
  if (s.tx_remaining == 0) {
    if (s.mode == kModeFaxHdlc) {
      s.fax_tx_wait = dsp_tx_pending() ? 1 : 0;
      if (s.fax_tx_wait != 0) {
        mbox_tx_commit(kMboxNothingToSend, 0);
        return;
      }
    }
    if (!TakeFrame(s)) {
      frames_allowed = 0;
      mbox_tx_commit(kMboxNothingToSend, 0);
      return;
    }
  }
  const bool last = s.tx_remaining <= kMailboxBytes;
  const std::uint8_t n = last ? static_cast<std::uint8_t>(s.tx_remaining) : kMailboxBytes;
  mbox_tx_write(std::span<const std::uint8_t>(s.tx_data, n), {});
  s.tx_remaining = static_cast<std::uint16_t>(s.tx_remaining - n);
  s.tx_data += n;
  mbox_tx_commit(last ? 1 : 0, n);
}

void hdlc_rx_set_buffer(std::uint8_t* buffer) {
  DataModeState& s = datamode_state();
  SetRxBuffer(s, buffer, LayoutOf(s.mode));
}

void datamode_queue_tx_frame(std::uint8_t* frame) {
  if (frame == nullptr) return;
  DataModeState& s = datamode_state();
  ntdrv_critical_enter();
  if (s.mode == kModeMnpHdlc || s.mode == kModeLapm) {
    InstallTxFrame(s, frame, kMnpLayout);
  } else {
    async_set_tx_frame(frame);
  }
  ntdrv_critical_leave();
  datamode_poll_now();
}

void datamode_fax_tx_frame(std::uint8_t* frame) {
  if (frame == nullptr) return;
  ntdrv_critical_enter();
  InstallTxFrame(datamode_state(), frame, kMnpLayout);
  ntdrv_critical_leave();
  datamode_poll_now();
}

void datamode_fax_rx_frame(std::uint8_t* frame) {
  DataModeState& s = datamode_state();
  ntdrv_critical_enter();
  s.rx_error = 0;
  SetRxBuffer(s, frame, kMnpLayout);
  ntdrv_critical_leave();
}

void hdlc_rx_frame_end(std::uint8_t status) {
  DataModeState& s = datamode_state();
  const FrameLayout& layout = LayoutOf(s.mode);
  if (s.strip_fcs != 0) {
    if (s.rx_length < kFcsBytes + 1) {
      s.rx_error = 1;
    } else {
      s.rx_length = static_cast<std::uint16_t>(s.rx_length - kFcsBytes);
    }
  }
  if (s.rx_buffer != nullptr) {
    WriteU16(s.rx_buffer + layout.length, s.rx_length);
    if (status == kEndsBadFrame) s.rx_error = 1;
    if (s.rx_error != 0) {
      ModemTask_CountFrameError();
      s.rx_buffer[layout.status] = kFrameBad;
      s.rx_error = 0;
      if (s.mode == kModeLapm) lapm_set_bad_frame_field(s.rx_buffer[9] >> 1);
    }
  }
  std::uint8_t* next = nullptr;
  if (s.mode == kModeLapm) {
    next = lapm_next_rx_buffer();
  } else {
    next = s.frame_source == FrameSource::kMnp ? mnp_next_rx_buffer(status)
                                                : fax_next_rx_frame(status);
  }
  hdlc_rx_set_buffer(next);
}

void hdlc_rx() {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) != kMboxOpen) return;
  DataModeState& s = datamode_state();
  const std::uint8_t n = rx_data_count(count);
  if (s.hdlc_skip_to_end != 0) {
    if (EndsFrame(status)) s.hdlc_skip_to_end = 0;
  } else if (status == kBadFrame) {
    if (s.rx_buffer != nullptr) {
      s.rx_error = 1;
      hdlc_rx_frame_end(status);
    }
  } else if (status == kOverrun) {
    // The frame is lost and counted here; the buffer starts again clean, so
    // the next frame is not counted bad for it.
    ModemTask_CountFrameError();
    s.rx_error = 0;
    hdlc_rx_set_buffer(s.rx_buffer);
    s.hdlc_skip_to_end = 1;
  } else if (s.rx_buffer != nullptr) {
    if (s.rx_length + n <= s.frame_limit) {
      mbox_rx_read(std::span<std::uint8_t>(s.rx_data, n), {});
      s.rx_data += n;
      s.rx_length = static_cast<std::uint16_t>(s.rx_length + n);
      if (EndsFrame(status)) hdlc_rx_frame_end(status);
    } else {
      s.rx_error = 1;
      hdlc_rx_frame_end(status);
      if (!EndsFrame(status)) s.hdlc_skip_to_end = 1;
    }
  } else {
    s.rx_error = 1;
    s.hdlc_skip_to_end = 1;
  }
  mbox_rx_release();
}

}  // namespace vxctl
