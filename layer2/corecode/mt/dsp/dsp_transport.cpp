// Sending a command packet and waiting for its answer, and the thread
// bookkeeping that refuses sends no answer can reach.
#include "layer2/corecode/mt/dsp/dsp_transport.h"

#include <algorithm>
#include <optional>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_wait.h"
#include "layer2/corecode/mt/dsp/overlay_drain.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "platform/ke/irql.h"

namespace vxctl {
namespace {

constexpr const char* kModule = "layer2/corecode/mt/dsp/dsp_transport";
constexpr std::uint16_t kAttemptStart = 2;
constexpr std::uint32_t kAttemptMs = 20;
constexpr LONGLONG kOneMs = -10'000;  // relative, 100 ns units

DspTransportState& Transport() { return MachineState<DspTransportState>(); }

void SleepOneMs() {
  LARGE_INTEGER interval;
  interval.QuadPart = kOneMs;
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

std::uint32_t NowMs() { return static_cast<std::uint32_t>(KeQueryInterruptTime() / 10'000); }

void CountDown(std::atomic<std::uint16_t>& counter) {
  std::uint16_t value = counter.load();
  while (value != 0 &&
         !counter.compare_exchange_weak(value, static_cast<std::uint16_t>(value - 1))) {
  }
}

// One look's step of an attempt: the first stamps its start, a later one
// ends it once 20 ms have passed. The 10 ms tick may end it sooner.
void WaitStep(DspTransportState& t, std::optional<std::uint32_t>& stamp) {
  const std::uint16_t counter = t.attempt_counter.load();
  if (counter == kAttemptStart || !stamp) {
    stamp = NowMs();
    CountDown(t.attempt_counter);
  } else if (counter != 0 && NowMs() - *stamp >= kAttemptMs) {
    t.attempt_counter.store(0);
    stamp.reset();
  }
}

// Up to 50 attempts, looking every millisecond, until `done` holds.
template <class Done>
bool Attempts(DspTransportState& t, Done done) {
  for (int attempt = 0; attempt < kDspSendAttempts; ++attempt) {
    if (attempt > 0) SleepOneMs();
    t.attempt_counter.store(kAttemptStart);
    std::optional<std::uint32_t> stamp;
    for (;;) {
      if (done()) return true;
      WaitStep(t, stamp);
      if (t.attempt_counter.load() == 0) break;
      SleepOneMs();
    }
  }
  return false;
}

class SenderLock {
 public:
  explicit SenderLock(DspTransportState& t) : t_(t) {
    KeWaitForSingleObject(&t_.sender_free, Executive, KernelMode, FALSE, nullptr);
    t_.sender.store(KeGetCurrentThread());
  }
  ~SenderLock() {
    t_.sender.store(nullptr);
    KeSetEvent(&t_.sender_free, 0, FALSE);
  }
  SenderLock(const SenderLock&) = delete;
  SenderLock& operator=(const SenderLock&) = delete;

 private:
  DspTransportState& t_;
};

bool InsideCallback(const DspTransportState& t, PKTHREAD self) {
  if (t.callback_overflow.load() > 0) return true;
  return std::any_of(t.callback_threads.begin(), t.callback_threads.end(),
                     [&](const auto& slot) { return slot.thread.load() == self; });
}

// Above PASSIVE_LEVEL, inside this thread's own send, or inside the data
// pump's callback: no answer could arrive before the send returns.
bool MustRefuse(const DspTransportState& t) {
  if (KeGetCurrentIrql() != PASSIVE_LEVEL) return true;
  PKTHREAD self = KeGetCurrentThread();
  return t.sender.load() == self || InsideCallback(t, self);
}

// The packet as written: an odd length rounded up, at most 16, and zeros
// after it (also in the copy a failure keeps).
pump::DspPacket Normalised(const pump::DspPacket& packet) {
  const auto given =
      static_cast<std::uint8_t>(std::min<std::size_t>(packet.length, pump::kDspPacketPayload));
  pump::DspPacket out{};
  out.code = packet.code;
  out.length = static_cast<std::uint8_t>(given + (given & 1));
  std::copy_n(packet.payload, given, out.payload);
  return out;
}

// Registers 65 onward, then the code in register 64, then the doorbell.
void WritePacket(pump::Comram& page, const pump::DspPacket& packet) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&packet);
  const std::size_t n = packet.length + offsetof(pump::DspPacket, payload);
  std::copy(bytes + 1, bytes + n, &page.reg[pump::kRegCpPacket + 1]);
  pump::ReleaseMark8(page, pump::kRegCpPacket, packet.code);
  dsp_reg_write(pump::kRegCpDoorbell, 1);
}

std::uint32_t Fail(DspTransportState& t, const pump::DspPacket& packet, std::uint32_t result,
                   unsigned line) {
  if (t.failed.code == 0) t.failed = packet;
  t.ending_code = 0;
  dbg_assert(kModule, line);
  return result;
}

}  // namespace

DspCommand DspCommand::Ack(std::uint8_t code, DspBytes payload) {
  DspCommand command;
  command.packet.code = code;
  const std::size_t n = std::min(payload.span().size(), pump::kDspPacketPayload);
  std::copy_n(payload.span().begin(), n, command.packet.payload);
  command.packet.length = static_cast<std::uint8_t>(n);
  return command;
}

DspCommand DspCommand::Query(std::uint8_t code, std::uint8_t reply, DspBytes payload) {
  DspCommand command = Ack(code, payload);
  command.wait = DspWaitMode::kReply;
  command.reply = reply;
  return command;
}

DspCommand DspCommand::NoWait(std::uint8_t code, DspBytes payload) {
  DspCommand command = Ack(code, payload);
  command.wait = DspWaitMode::kNone;
  return command;
}

DspCommand& DspCommand::Length(std::uint8_t length) {
  packet.length = static_cast<std::uint8_t>(
      std::clamp<std::size_t>(length, packet.length, pump::kDspPacketPayload));
  return *this;
}

DspCallbackScope::DspCallbackScope() : slot_(-1) {
  DspTransportState& t = Transport();
  PKTHREAD self = KeGetCurrentThread();
  for (int i = 0; i < DspTransportState::kCallbackSlots; ++i) {
    if (t.callback_threads[i].thread.load() == self) {
      ++t.callback_threads[i].depth;
      slot_ = i;
      return;
    }
  }
  for (int i = 0; i < DspTransportState::kCallbackSlots; ++i) {
    PKTHREAD none = nullptr;
    if (t.callback_threads[i].thread.compare_exchange_strong(none, self)) {
      t.callback_threads[i].depth = 1;
      slot_ = i;
      return;
    }
  }
  t.callback_overflow.fetch_add(1);
}

DspCallbackScope::~DspCallbackScope() {
  DspTransportState& t = Transport();
  if (slot_ < 0) {
    t.callback_overflow.fetch_sub(1);
  } else if (--t.callback_threads[slot_].depth == 0) {
    t.callback_threads[slot_].thread.store(nullptr);
  }
}

std::uint32_t dsp_packet_transport(const DspCommand& command, DspAnswer* answer) {
  DspTransportState& t = Transport();
  if (MustRefuse(t)) {
    t.refusals.fetch_add(1);
    dbg_assert(kModule, __LINE__);
    return kDspRefused;
  }
  const pump::DspPacket packet = Normalised(command.packet);
  SenderLock lock(t);
  pump::Comram* page = dsp_page();
  if (page == nullptr ||
      !Attempts(t, [&] { return pump::AcquireMark8(*page, pump::kRegCpPacket) == 0; })) {
    return Fail(t, packet, kDspAreaBusy, __LINE__);
  }
  const bool waits = command.wait != DspWaitMode::kNone;
  t.ending.store(0);
  t.awaited.store(waits ? PackAwaited(packet.code, command.wait, command.reply) : 0,
                  std::memory_order_release);
  WritePacket(*page, packet);
  const bool answered =
      !waits || Attempts(t, [&] { return t.ending.load(std::memory_order_acquire) != 0; });
  // The answer is read while the wait is still open: until it closes, no
  // other packet writes DspReply.
  if (answered) {
    t.ending_code = t.ending.load();
    if (answer != nullptr) *answer = {t.ending_code, t.reply};
  }
  t.awaited.store(0, std::memory_order_release);
  return answered ? kDspSent : Fail(t, packet, kDspNoAnswer, __LINE__);
}

std::uint32_t dsp_send_packet(const DspCommand& command, DspAnswer* answer) {
  const std::uint32_t result = dsp_packet_transport(command, answer);
  if (result == kDspSent) {
    while (dsp_overlay_drain()) {
    }
  }
  return result;
}

void dsp_attempt_tick() { CountDown(Transport().attempt_counter); }

}  // namespace vxctl
