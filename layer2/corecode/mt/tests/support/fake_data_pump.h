// A data pump for the controller's tests, on a real host interface
// (AllocHostInterface, InitHostInterface), so the page rules are the data
// pump's own code: it takes commands with TakeCpPacket, posts with
// PostDpPacket and PostRxMailbox, takes transmit blocks with
// TakeTxMailbox and rings the controller through WriteDspReg.
//
// Its wake entry (the link's doorbells call it) takes the waiting command
// and answers it by a per-code script: DP_ACK {code}, a reply, the echo,
// nothing, or any of those posted by the next Block() instead of at once.
// Unscripted codes are answered as the landed data pump answers them.
// Block() is one turn of the data pump's block thread: it posts what waits
// for it, each post calling the controller back, and takes the transmit
// block. Block work and wake calls exclude each other as in the data pump:
// a wake call from inside the block work (or one above PASSIVE_LEVEL that
// finds it busy) is deferred and run before the block work lets go.
//
// It traces the commands it took, the packets it posted, the transmit
// blocks it took and the page at every doorbell.
//
//   FakeDataPump pump(RigCallback);   // on a thread of the machine
//   pump.Bind();
//   pump.Script(0x94, FakeAnswer::Reply(0xCB, {...}).Later());
//   dsp_send_packet(DspCommand::Query(0x94, 0xCB));   // from another thread, while
//   pump.Block();                                      // the block thread answers
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/ke/ke.h"
#include "pump/core/comram.h"
#include "pump/core/host_interface.h"

namespace vxctl::testing {

struct FakeAnswer {
  enum class Kind : std::uint8_t { kAck, kReply, kEcho, kNone };
  Kind kind = Kind::kAck;
  std::uint8_t code = 0;              // kReply
  std::vector<std::uint8_t> payload;  // kReply
  bool at_next_block = false;

  static FakeAnswer Ack() { return {}; }
  static FakeAnswer Reply(std::uint8_t code, std::vector<std::uint8_t> payload) {
    return {Kind::kReply, code, std::move(payload)};
  }
  static FakeAnswer Echo() { return {Kind::kEcho, 0, {}}; }
  static FakeAnswer None() { return {Kind::kNone, 0, {}}; }
  // Posted by the next Block() instead of at once.
  FakeAnswer Later() const {
    FakeAnswer later = *this;
    later.at_next_block = true;
    return later;
  }
};

// A packet either way: its code, its length byte and the bytes carried.
struct FakePacket {
  std::uint8_t code = 0;
  std::uint8_t length = 0;
  std::vector<std::uint8_t> payload;
  bool operator==(const FakePacket&) const = default;
};

struct FakeBlock {
  std::uint8_t kind = 0;
  std::uint8_t count = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const FakeBlock&) const = default;
};

// The page when a doorbell rang, and how many calls the machine's pending
// log held then (to order doorbells and pending calls).
struct FakeDoorbell {
  pump::Comram page;
  std::uint64_t pending_calls;
  bool deferred;
};

class FakeDataPump {
 public:
  // On a thread of the machine.
  explicit FakeDataPump(pump::ControllerCallback callback);
  ~FakeDataPump();
  FakeDataPump(const FakeDataPump&) = delete;
  FakeDataPump& operator=(const FakeDataPump&) = delete;

  // Hands the link the page and the wake entry's argument; Unbind takes
  // them back.
  void Bind();
  void Unbind();

  void Script(std::uint8_t command, FakeAnswer answer) { script_[command] = std::move(answer); }
  // Answers each `command` by what `respond` makes of it (a memory read by
  // its key, say); it outranks Script.
  using Responder = std::function<FakeAnswer(const FakePacket& command)>;
  void ScriptBy(std::uint8_t command, Responder respond) { responders_[command] = std::move(respond); }

  // Posts now; false while the controller has not taken the last one. The
  // length byte is the payload's size (at most 255), 16 bytes are carried.
  bool Post(std::uint8_t code, const std::vector<std::uint8_t>& payload);
  // Posted by the next Block() (and retried by later ones while refused).
  void PostAtNextBlock(std::uint8_t code, std::vector<std::uint8_t> payload);
  // A receive block, posted by the blocks while the mailbox is free.
  void QueueRx(std::uint8_t kind, std::uint8_t count, std::vector<std::uint8_t> data);
  std::size_t RxWaiting() const { return rx_queue_.size(); }
  // Registers the data pump writes: 54-57 and the report words from 118.
  void SetRegister(std::uint8_t reg, std::uint8_t value);
  void SetReportWord(int index, std::int16_t value);
  // A write of register 255: calls the controller while 247 bit 1 is set.
  void Interrupt();

  // One turn of the block thread; at PASSIVE_LEVEL.
  void Block();

  const std::vector<FakePacket>& Commands() const { return commands_; }
  const std::vector<FakePacket>& Posted() const { return posted_; }
  const std::vector<FakeDoorbell>& Doorbells() const { return doorbells_; }
  const std::vector<FakeBlock>& TxBlocks() const { return tx_blocks_; }
  void ClearTraces();

  pump::HostInterface& Host() { return *host_; }
  pump::Comram& Page() { return host_->comram; }
  // The wake entry's argument, as the link hands it back.
  pump::DspContext* Token() { return reinterpret_cast<pump::DspContext*>(this); }

 private:
  struct Queued {
    std::uint8_t code;
    std::vector<std::uint8_t> payload;
  };
  struct QueuedRx {
    std::uint8_t kind;
    std::uint8_t count;
    std::vector<std::uint8_t> data;
  };

  static NTSTATUS Wake(pump::DspContext* token);
  bool Enter();
  void Leave();
  void Dispatch();
  void Answer(const FakePacket& command);
  FakeAnswer AnswerFor(const FakePacket& command) const;
  bool PostNow(std::uint8_t code, const std::vector<std::uint8_t>& payload);

  pump::HostInterface* host_ = nullptr;
  std::map<std::uint8_t, FakeAnswer> script_;
  std::map<std::uint8_t, Responder> responders_;
  std::deque<Queued> queue_;
  std::deque<QueuedRx> rx_queue_;
  std::vector<FakePacket> commands_;
  std::vector<FakePacket> posted_;
  std::vector<FakeDoorbell> doorbells_;
  std::vector<FakeBlock> tx_blocks_;
  // The exclusion between block work and wake calls.
  KEVENT free_;
  PKTHREAD holder_ = nullptr;
  int deferred_ = 0;
};

}  // namespace vxctl::testing
