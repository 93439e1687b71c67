#include "pump/framer/tests/framer_rig.h"

#include <algorithm>

#include "pump/core/host_transfer.h"
#include "pump/framer/framer.h"

namespace pump::framer_testing {

void PrintTo(const Block& block, std::ostream* out) {
  *out << "{kind " << int{block.kind} << ", count " << int{block.count} << ":";
  for (std::uint8_t b : block.data) *out << " " << std::hex << int{b} << std::dec;
  *out << "}";
}

// The host interface first, so that the callback finds the rig from it.
struct FramerRig::Page {
  HostInterface host;
  FramerRig* rig;
};

FramerRig::FramerRig() : page_(std::make_unique<Page>()), context_(std::make_unique<DspContext>()) {
  page_->rig = this;
  InitHostInterface(page_->host, Callback, nullptr);
  page_->host.comram.reg[kRegIrqEnable] |= kIrqEnableDpInterrupt;
  context_->host = &page_->host;
  InitFramerRx(*context_, kFramerAsync);
  InitFramerTx(*context_, kFramerAsync);
}

FramerRig::~FramerRig() = default;

HostInterface& FramerRig::Host() { return page_->host; }

void FramerRig::Callback(HostInterface* host) { reinterpret_cast<Page*>(host)->rig->OnCallback(); }

bool FramerRig::TakeRxBlock() {
  Comram& page = page_->host.comram;
  if (hold_ || AcquireMark16(page, kRegRxCount) == 0) return false;
  ++taken_;
  if (count_only_) {
    ReleaseMark16(page, kRegRxCount, 0, 0);
    return true;
  }
  const std::uint8_t count = page.reg[kRegRxCount];
  const std::size_t carried =
      count == kMailboxReportOnly ? 0 : std::min<std::size_t>(count, kMailboxData);
  blocks_.push_back({page.reg[kRegRxKind], count,
                     Bytes(&page.reg[kRegRxMailbox], &page.reg[kRegRxMailbox] + carried)});
  ReleaseMark16(page, kRegRxCount, 0, 0);
  return true;
}

void FramerRig::OnCallback() {
  Comram& page = page_->host.comram;
  bool explained = TakeRxBlock();
  if (tx_full_ && AcquireMark16(page, kRegTxCount) == 0) {
    explained = true;
    tx_full_ = false;
    FillTx();
  }
  if (!explained) ++interrupts_;
}

void FramerRig::FillTx() {
  Comram& page = page_->host.comram;
  if (tx_full_ || to_send_.empty() || AcquireMark16(page, kRegTxCount) != 0) return;
  const Block block = to_send_.front();
  to_send_.pop_front();
  std::copy(block.data.begin(), block.data.end(), &page.reg[kRegTxMailbox]);
  tx_full_ = true;
  ReleaseMark16(page, kRegTxCount, block.count, block.kind);
}

void FramerRig::Feed(const Bits& bits, int chunk) {
  for (std::size_t i = 0; i < bits.size();) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(chunk), bits.size() - i);
    std::uint32_t word = 0;
    for (std::size_t b = 0; b < n; ++b) word |= std::uint32_t{bits[i + b]} << b;
    FramerPutRxBits(*context_, static_cast<int>(n), word);
    i += n;
  }
}

Bytes FramerRig::DeliveredBytes() const {
  Bytes bytes;
  for (const Block& block : blocks_)
    bytes.insert(bytes.end(), block.data.begin(), block.data.end());
  return bytes;
}

void FramerRig::HoldRx(bool hold) {
  hold_ = hold;
  TakeRxBlock();
}

std::size_t FramerRig::BytesInMailbox() const {
  const Comram& page = page_->host.comram;
  const std::uint8_t count = page.reg[kRegRxCount];
  return count == kMailboxReportOnly ? 0 : count;
}

void FramerRig::Send(std::uint8_t kind, const Bytes& data) {
  to_send_.push_back({kind, static_cast<std::uint8_t>(data.size()), data});
  FillTx();
}

std::vector<std::int32_t> FramerRig::Pull(int calls, int n) {
  std::vector<std::int32_t> answers;
  for (int i = 0; i < calls; ++i) answers.push_back(FramerGetTxBits(*context_, n));
  return answers;
}

Bits FramerRig::PullBits(std::size_t total, int n) {
  Bits bits;
  while (bits.size() < total) {
    const std::int32_t answer = FramerGetTxBits(*context_, n);
    if (answer < 0) break;
    const Bits part = LsbFirst(static_cast<std::uint32_t>(answer), n);
    bits.insert(bits.end(), part.begin(), part.end());
  }
  return bits;
}

std::uint8_t FramerRig::Status() const { return page_->host.comram.reg[kRegStatus]; }

}  // namespace pump::framer_testing
