// The controller's packets to and from the data pump.
//
// Sending: a sender composes its own DspCommand (the packet, zeros after
// the bytes it gives, and what answer to wait for) and hands it to
// dsp_send_packet. One sender at a time: the send takes the sender lock,
// a PASSIVE_LEVEL wait, and holds it from the write through the answer
// wait, so concurrent senders queue and nothing is lost. A send from above
// PASSIVE_LEVEL, from inside a send or from inside the data pump's
// callback could never be answered before it returns; it is refused at
// once (kDspRefused), asserted and counted.
//
// The write puts the packet at registers 64-83, payload first and the code
// in register 64 last, and rings doorbell 254, which runs the data pump's
// dispatcher before the write returns. The dispatcher normally posts its
// answer and calls the controller back at once; the answer wait then ends
// at its first look. Otherwise the send tries again: 50 attempts of up to
// about 20 ms each, looking every millisecond, for register 64 to be free
// and then for the answer.
//
// Answers are matched by code. kAck waits for DP_ACK naming the command
// or for the command's echo; kReply for the named reply code or the echo;
// kNone does not wait. Other packets that arrive meanwhile are dispatched
// and end nothing.
//
// Taking: the data pump's callback (ntdrv_dsp_callback in the driver
// frame) holds a DspCallbackScope for its whole run and, when register 0
// holds a packet, takes it (dsp_packet_take) and dispatches its code
// (dsp_packet_dispatch).
#pragma once

#include <array>
#include <atomic>
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "layer2/corecode/mt/dsp/overlay_ring.h"
#include "platform/ke/ke.h"
#include "pump/core/comram.h"

namespace vxctl {

enum DspSendResult : std::uint32_t {
  kDspSent = 0,      // written, and answered unless the command waits for nothing
  kDspRefused = 1,   // a send from where no answer can come; nothing written
  kDspAreaBusy = 2,  // register 64 stayed occupied
  kDspNoAnswer = 3,  // written, but its answer did not come
};

enum class DspWaitMode : std::uint8_t { kAck = 0, kReply = 1, kNone = 2 };

inline constexpr int kDspSendAttempts = 50;

using DspReply = std::array<std::uint8_t, pump::kDspPacketPayload>;

// The packet that ended a send's wait: its code (DP_ACK, the reply or the
// echo) and, unless it was DP_ACK, its first 16 payload bytes.
struct DspAnswer {
  std::uint8_t code = 0;
  DspReply reply{};
};

// Payload bytes for a command: a braced list, or anything that views as a
// span of bytes (a span, a vector, an array).
class DspBytes {
 public:
  DspBytes(std::initializer_list<std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.size()) {}
  template <class Bytes>
  requires std::convertible_to<const Bytes&, std::span<const std::uint8_t>> DspBytes(
      const Bytes& bytes)
      : bytes_(bytes) {}
  std::span<const std::uint8_t> span() const { return bytes_; }

 private:
  std::span<const std::uint8_t> bytes_;
};

struct DspCommand {
  pump::DspPacket packet{};
  DspWaitMode wait = DspWaitMode::kAck;
  std::uint8_t reply = 0;  // kReply: the code of the awaited reply

  // The packet carries at most 16 payload bytes; its length is their number.
  static DspCommand Ack(std::uint8_t code, DspBytes payload = {});
  static DspCommand Query(std::uint8_t code, std::uint8_t reply, DspBytes payload = {});
  static DspCommand NoWait(std::uint8_t code, DspBytes payload = {});
  // A length beyond the bytes given (at most 16): zeros follow them.
  DspCommand& Length(std::uint8_t length);
};

// Records which threads run the data pump's callback, so that a send from
// there is refused. Held by the callback for its whole run; nests.
class DspCallbackScope {
 public:
  DspCallbackScope();
  ~DspCallbackScope();
  DspCallbackScope(const DspCallbackScope&) = delete;
  DspCallbackScope& operator=(const DspCallbackScope&) = delete;

 private:
  int slot_;  // -1: no slot was free
};

struct DspTransportState {
  DspTransportState() { KeInitializeEvent(&sender_free, SynchronizationEvent, TRUE); }

  // The sender lock: signalled while free; `sender` is its holder.
  KEVENT sender_free;
  std::atomic<PKTHREAD> sender{nullptr};

  // The wait in progress (packed by the transport) and the code that ended
  // it, 0 while none has.
  std::atomic<std::uint32_t> awaited{0};
  std::atomic<std::uint8_t> ending{0};
  // The current attempt: set to 2 at its start, counted down by the wait
  // step and by the modem task's 10 ms tick; 0 ends it.
  std::atomic<std::uint16_t> attempt_counter{0};

  // DspRxPacket: the last packet taken, 16 payload bytes at most, zeros
  // after those carried, its length the number carried.
  pump::DspPacket rx{};
  // DspReply: the payload of the last reply or echo that ended a wait, or
  // of any reply while no send was waiting; and the code that ended the
  // last wait.
  DspReply reply{};
  std::uint8_t ending_code = 0;
  // DspFailedPacket: the first packet that could not be delivered (code 0:
  // none), kept until the connection status report empties it.
  pump::DspPacket failed{};
  DspOverlayRing overlay;

  std::atomic<std::uint32_t> refusals{0};

  // The threads inside the data pump's callback, with their nesting depth.
  static constexpr int kCallbackSlots = 8;
  struct CallbackThread {
    std::atomic<PKTHREAD> thread{nullptr};
    int depth = 0;  // touched only by that thread
  };
  std::array<CallbackThread, kCallbackSlots> callback_threads;
  std::atomic<int> callback_overflow{0};  // scopes that found no free slot
};

// One command to the data pump, then the overlay drain while it finds
// records (on success). `answer`, when given, receives the packet that
// ended the wait.
std::uint32_t dsp_send_packet(const DspCommand& command, DspAnswer* answer = nullptr);
// The same without the drain.
std::uint32_t dsp_packet_transport(const DspCommand& command, DspAnswer* answer = nullptr);

// Takes the data pump's packet from registers 0-19 into DspRxPacket, frees
// register 0 and returns its code (0 when none waits).
std::uint8_t dsp_packet_take();
// Acts on the packet just taken.
void dsp_packet_dispatch(std::uint8_t code);
// Hands the call-progress notification in DspRxPacket to the line services.
void ModemTask_CallProgressEvent();

// The modem task's 10 ms tick: counts the attempt counter down while it is
// not 0, so an attempt ends at the latest one tick after it began.
void dsp_attempt_tick();

}  // namespace vxctl
