// A framer on a DspContext and a host interface of its own, without a
// machine, and a controller on the page as the framer meets it: it takes
// every receive block (unless told to hold them) and keeps the transmit
// mailbox filled from a list of blocks, as the data pump empties it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <vector>

#include "pump/context/dsp_context.h"
#include "pump/framer/tests/bit_streams.h"

namespace pump::framer_testing {

struct Block {
  std::uint8_t kind;
  std::uint8_t count;
  Bytes data;
  bool operator==(const Block&) const = default;
};
void PrintTo(const Block& block, std::ostream* out);

class FramerRig {
 public:
  FramerRig();
  ~FramerRig();
  FramerRig(const FramerRig&) = delete;
  FramerRig& operator=(const FramerRig&) = delete;

  DspContext& Context() { return *context_; }
  DataFramer& Framer() { return context_->framer; }
  const DataFramer& Framer() const { return context_->framer; }
  HostInterface& Host();

  // ---- receive ----
  // Feeds the bits in calls of `chunk` bits (1 to 32).
  void Feed(const Bits& bits, int chunk = 8);
  // Receive blocks taken so far.
  const std::vector<Block>& Blocks() const { return blocks_; }
  // The data bytes of every block taken, in order.
  Bytes DeliveredBytes() const;
  // While held, a posted block stays in the mailbox; releasing takes it.
  void HoldRx(bool hold);
  // Data bytes of a block posted and not taken yet.
  std::size_t BytesInMailbox() const;
  // From now on blocks are taken and counted, not kept (a benchmark's
  // controller that only empties the mailbox).
  void CountBlocksOnly() { count_only_ = true; }
  std::size_t BlocksTaken() const { return taken_; }

  // ---- transmit ----
  // Blocks the controller writes into the transmit mailbox, each as soon
  // as the mailbox is empty (the first at once).
  void Send(std::uint8_t kind, const Bytes& data);
  bool SendQueueEmpty() const { return to_send_.empty(); }
  // The answers of `calls` calls of FramerGetTxBits(n).
  std::vector<std::int32_t> Pull(int calls, int n);
  // Calls of FramerGetTxBits(n) until `total` bits came or one answered -1.
  Bits PullBits(std::size_t total, int n);
  // Callbacks that neither brought a block nor emptied the transmit mailbox.
  int Interrupts() const { return interrupts_; }
  std::uint8_t Status() const;

 private:
  struct Page;
  static void Callback(HostInterface* host);
  void OnCallback();
  bool TakeRxBlock();
  void FillTx();

  std::unique_ptr<Page> page_;
  std::unique_ptr<DspContext> context_;
  std::vector<Block> blocks_;
  std::deque<Block> to_send_;
  bool hold_ = false;
  bool count_only_ = false;
  std::size_t taken_ = 0;
  bool tx_full_ = false;
  int interrupts_ = 0;
};

}  // namespace pump::framer_testing
