#include "layer2/corecode/mt/dsp/overlay_drain.h"

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/line_profile_download.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kClassImageBytes = 0x00;
constexpr std::uint8_t kClassCaptureStart = 0x10;
constexpr std::uint8_t kClassCaptureComplete = 0x30;
constexpr std::uint8_t kConnectionRetraining = 3;
constexpr std::uint8_t kNoQuickConnect = 3;
constexpr std::uint8_t kNoShortStartup = 2;

// The record's bytes after its first one (for image bytes, the length
// byte; the bytes it counts follow); 0 for a class the drain does not know.
std::size_t RecordTail(std::uint8_t record_class) {
  switch (record_class) {
    case kDownloadAt:
      return 3;
    case kClassImageBytes:
    case kClassCaptureStart:
    case kClassCaptureComplete:
    case kDownloadLineProfile:
    case kDownloadOverlay:
    case kDownloadCode:
      return 1;
    default:
      return 0;
  }
}

std::uint8_t Take(DspOverlayRing& ring) {
  std::uint8_t byte = 0;
  ring.TakeByte(byte);
  return byte;
}

// What the ring holds now is dropped and counted.
bool Lose(DspOverlayRing& ring, LineProfileCapture& capture) {
  for (std::size_t n = ring.Used(); n > 0; --n) Take(ring);
  ++capture.lost_records;
  return false;
}

void Terminate(LineProfileCapture& capture) { capture.bytes[capture.position] = kImageTableEnd; }

void AppendImageBytes(DspOverlayRing& ring, LineProfileCapture& capture, std::size_t n,
                      bool capturing) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t byte = Take(ring);
    if (!capturing) continue;
    if (capture.position + 1 < capture.bytes.size()) {
      capture.bytes[capture.position++] = byte;
    } else {
      capture.truncated = true;
    }
  }
  if (capturing) Terminate(capture);
}

void SaveCapture(const LineProfileCapture& capture) {
  if (capture.truncated) {
    DbgPrint("dsp_overlay_drain: line profile longer than the capture, not saved\n");
    return;
  }
  ModemTask_FRDSPImageStore(capture.bytes.data(), capture.bytes.size());
}

bool DrainOne(DspOverlayRing& ring, LineProfileCapture& capture) {
  if (ring.Used() == 0) return false;
  std::uint8_t first = 0;
  ring.Peek(first);
  const std::uint8_t record_class = first & 0xF0;
  const std::size_t tail = RecordTail(record_class);
  if (tail == 0 || ring.Used() < 1 + tail) {
    return Lose(ring, capture);
  }
  Take(ring);
  const bool retraining =
      MachineState<ModemTaskState>().connection_state.load() == kConnectionRetraining;
  switch (record_class) {
    case kClassImageBytes: {
      std::uint8_t length = 0;
      ring.Peek(length);
      if (ring.Used() < 1u + length) return Lose(ring, capture);
      Take(ring);
      AppendImageBytes(ring, capture, length, !retraining && capture.on);
      return true;
    }
    case kClassCaptureStart:
      Take(ring);
      if (!retraining) {
        capture.position = 0;
        capture.on = true;
        capture.truncated = false;
        Terminate(capture);
      }
      return true;
    case kClassCaptureComplete:
      Take(ring);
      if (acu_pqc_setting() != kNoQuickConnect && !retraining &&
          acu_pss_setting() != kNoShortStartup && capture.on && acu_v92_enabled() != 0) {
        SaveCapture(capture);
      }
      return true;
    case kDownloadAt: {
      const std::uint8_t id = Take(ring);
      const std::uint8_t low = Take(ring);
      const std::uint8_t high = Take(ring);
      return dsp_download(kDownloadAt, id, static_cast<std::uint16_t>(low | high << 8),
                          first & 0x0F);
    }
    default:  // 0x20, 0x50, 0x60
      return dsp_download(record_class, Take(ring), 0, 0);
  }
}

}  // namespace

LineProfileCapture& line_profile_capture() { return MachineState<LineProfileCapture>(); }

bool dsp_overlay_drain() {
  LineProfileCapture& capture = line_profile_capture();
  if (capture.draining.exchange(1) != 0) return false;
  const bool drained = DrainOne(MachineState<DspTransportState>().overlay, capture);
  capture.draining.store(0);
  return drained;
}

void dsp_overlay_reset() {
  MachineState<DspTransportState>().overlay.Reset();
  line_profile_capture().on = false;
}

void dsp_overlay_capture_off() { line_profile_capture().on = false; }

}  // namespace vxctl
