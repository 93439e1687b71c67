// A controller for data-pump tests, on the real COMRAM page of a started
// data pump. It posts commands the way the controller does (payload first,
// register 64 last, then register 254 := 1 and the wake call), writes the
// power state of register 252 (also followed by the wake call), and fills
// the transmit mailbox. As the data pump's controller callback it takes
// every posted packet (clearing register 0) unless told to hold them, and
// drains the receive mailbox.
//
// The wake call is the host interface's wake callback, as the controller
// makes it: the test harness installs one that runs the dispatcher, the
// driver frame installs its ControllerCall.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <span>
#include <vector>

#include "pump/context/dsp_context.h"

namespace pump::testing {

struct ReceivedPacket {
  std::uint8_t code;
  std::uint8_t length;                // register 2 as posted
  std::vector<std::uint8_t> payload;  // the bytes carried (at most 16)
  bool operator==(const ReceivedPacket&) const = default;
};

struct ReceivedBlock {
  std::uint8_t kind;
  std::uint8_t count;
  std::vector<std::uint8_t> data;
  bool operator==(const ReceivedBlock&) const = default;
};

class ControllerDouble {
 public:
  // On a thread of the data pump's machine; one double per machine. Sets
  // bit 1 of register 247, so the data pump's interrupts call back.
  ControllerDouble(HostInterface& host, DspContext& context);
  ~ControllerDouble();
  ControllerDouble(const ControllerDouble&) = delete;
  ControllerDouble& operator=(const ControllerDouble&) = delete;

  // The controller callback to hand the data pump (InitHostInterface).
  static void Callback(HostInterface* host);

  // Posts a command and rings; false (nothing written) while register 64
  // is still busy. The length byte is the payload's size unless given.
  bool Post(std::uint8_t code, std::span<const std::uint8_t> payload);
  bool Post(std::uint8_t code, std::initializer_list<std::uint8_t> payload = {});
  bool PostWithLength(std::uint8_t code, std::uint8_t length,
                      std::span<const std::uint8_t> payload);
  // Register 252, then the wake call.
  void WritePowerState(std::uint8_t state);
  // Fills the transmit mailbox; false while it is full.
  bool FillTx(std::uint8_t kind, std::span<const std::uint8_t> data);
  // Streams bytes through the transmit mailbox, 32 at a time: a block now
  // when the mailbox is free, the next each time the data pump takes one
  // (in its callback, as a controller with data to send does).
  void StreamTx(std::uint8_t kind, std::span<const std::uint8_t> bytes);
  std::size_t TxStreamLeft() const { return tx_stream_.size(); }

  // Posts and returns the packets that arrived meanwhile (they are not
  // kept for TakePackets).
  std::vector<ReceivedPacket> Exchange(std::uint8_t code, std::span<const std::uint8_t> payload);
  std::vector<ReceivedPacket> Exchange(std::uint8_t code,
                                       std::initializer_list<std::uint8_t> payload = {});

  // What arrived since the last call.
  std::vector<ReceivedPacket> TakePackets();
  const std::vector<ReceivedBlock>& RxBlocks() const { return blocks_; }
  // Callbacks that brought no packet or block and took none of the
  // controller's: the data pump's writes of register 255.
  int Interrupts() const { return interrupts_; }
  int Callbacks() const { return callbacks_; }

  // While held, posted packets stay in register 0; releasing takes the one there.
  void Hold(bool hold);

 private:
  void OnCallback();
  void TakePacket();
  void RefillTx();
  std::uint8_t* Page();

  HostInterface& host_;
  DspContext& context_;
  bool hold_ = false;
  bool command_waiting_ = false;  // posted at register 64, not taken yet
  bool tx_waiting_ = false;       // the transmit mailbox was filled, not taken yet
  std::deque<std::uint8_t> tx_stream_;
  std::uint8_t tx_stream_kind_ = 0;
  std::vector<ReceivedPacket> packets_;
  std::vector<ReceivedBlock> blocks_;
  int interrupts_ = 0;
  int callbacks_ = 0;
};

}  // namespace pump::testing
