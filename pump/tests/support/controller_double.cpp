#include "pump/tests/support/controller_double.h"

#include <algorithm>

#include "platform/ke/kernel.h"

namespace pump::testing {
namespace {

// The machine's double: the callback has only the host interface.
struct DoubleSlot {
  ControllerDouble* current = nullptr;
};

DoubleSlot& Slot() { return plat::ke::CurrentKernel().slots().Get<DoubleSlot>(); }

}  // namespace

ControllerDouble::ControllerDouble(HostInterface& host, DspContext& context)
    : host_(host), context_(context) {
  Slot().current = this;
  Page()[kRegIrqEnable] |= kIrqEnableDpInterrupt;
}

ControllerDouble::~ControllerDouble() {
  if (DoubleSlot& slot = Slot(); slot.current == this) slot.current = nullptr;
}

std::uint8_t* ControllerDouble::Page() { return host_.comram.reg; }

void ControllerDouble::Callback(HostInterface* host) {
  ControllerDouble* controller = Slot().current;
  if (controller != nullptr && &controller->host_ == host) controller->OnCallback();
}

void ControllerDouble::OnCallback() {
  ++callbacks_;
  const Comram& page = host_.comram;
  bool explained = false;
  if (AcquireMark8(page, kRegDpPacket) != 0) {
    explained = true;
    if (!hold_) TakePacket();
  }
  if (AcquireMark16(page, kRegRxCount) != 0) {
    explained = true;
    const std::uint8_t count = page.reg[kRegRxCount];
    const std::uint8_t carried = std::min<std::uint8_t>(count, kMailboxData);
    blocks_.push_back(
        {page.reg[kRegRxKind], count,
         std::vector<std::uint8_t>(&page.reg[kRegRxMailbox], &page.reg[kRegRxMailbox] + carried)});
    ReleaseMark16(host_.comram, kRegRxCount, 0, 0);
  }
  if (command_waiting_ && AcquireMark8(page, kRegCpPacket) == 0) {
    explained = true;
    command_waiting_ = false;
  }
  if (tx_waiting_ && AcquireMark16(page, kRegTxCount) == 0) {
    explained = true;
    tx_waiting_ = false;
    RefillTx();
  }
  if (!explained) ++interrupts_;
}

void ControllerDouble::TakePacket() {
  const std::uint8_t* page = Page();
  const std::uint8_t length = page[kRegDpPacketLength];
  const std::size_t carried = std::min<std::size_t>(length, kDspPacketPayload);
  packets_.push_back({page[kRegDpPacket], length,
                      std::vector<std::uint8_t>(page + kRegDpPacketPayload,
                                                page + kRegDpPacketPayload + carried)});
  ReleaseMark8(host_.comram, kRegDpPacket, 0);
}

void ControllerDouble::Hold(bool hold) {
  hold_ = hold;
  if (!hold_ && AcquireMark8(host_.comram, kRegDpPacket) != 0) TakePacket();
}

bool ControllerDouble::PostWithLength(std::uint8_t code, std::uint8_t length,
                                      std::span<const std::uint8_t> payload) {
  if (AcquireMark8(host_.comram, kRegCpPacket) != 0) return false;
  std::uint8_t* page = Page();
  page[kRegCpPacket + 1] = 0;
  page[kRegCpPacketLength] = length;
  page[kRegCpPacket + 3] = 0;
  std::fill_n(page + kRegCpPacketPayload, kDspPacketPayload, std::uint8_t{0});
  std::copy_n(payload.begin(), std::min(payload.size(), kDspPacketPayload),
              page + kRegCpPacketPayload);
  command_waiting_ = true;
  ReleaseMark8(host_.comram, kRegCpPacket, code);
  page[kRegCpDoorbell] = 1;
  host_.wake_callback(&context_);
  return true;
}

bool ControllerDouble::Post(std::uint8_t code, std::span<const std::uint8_t> payload) {
  return PostWithLength(code, static_cast<std::uint8_t>(payload.size()), payload);
}

bool ControllerDouble::Post(std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
  return Post(code, std::span(payload.begin(), payload.size()));
}

void ControllerDouble::WritePowerState(std::uint8_t state) {
  Page()[kRegPowerControl] = state;
  host_.wake_callback(&context_);
}

bool ControllerDouble::FillTx(std::uint8_t kind, std::span<const std::uint8_t> data) {
  if (AcquireMark16(host_.comram, kRegTxCount) != 0) return false;
  const auto count = static_cast<std::uint8_t>(std::min(data.size(), kMailboxData));
  std::copy_n(data.begin(), count, Page() + kRegTxMailbox);
  tx_waiting_ = true;
  ReleaseMark16(host_.comram, kRegTxCount, count, kind);
  return true;
}

void ControllerDouble::StreamTx(std::uint8_t kind, std::span<const std::uint8_t> bytes) {
  tx_stream_kind_ = kind;
  tx_stream_.insert(tx_stream_.end(), bytes.begin(), bytes.end());
  // The mailbox may have been emptied without a take (ClearMailboxes).
  if (AcquireMark16(host_.comram, kRegTxCount) == 0) tx_waiting_ = false;
  if (!tx_waiting_) RefillTx();
}

void ControllerDouble::RefillTx() {
  if (tx_stream_.empty()) return;
  std::uint8_t block[kMailboxData];
  const std::size_t count = std::min(tx_stream_.size(), kMailboxData);
  std::copy_n(tx_stream_.begin(), count, block);
  if (FillTx(tx_stream_kind_, std::span(block, count))) {
    tx_stream_.erase(tx_stream_.begin(), tx_stream_.begin() + static_cast<std::ptrdiff_t>(count));
  }
}

std::vector<ReceivedPacket> ControllerDouble::TakePackets() {
  std::vector<ReceivedPacket> taken;
  taken.swap(packets_);
  return taken;
}

std::vector<ReceivedPacket> ControllerDouble::Exchange(std::uint8_t code,
                                                       std::span<const std::uint8_t> payload) {
  const std::size_t before = packets_.size();
  Post(code, payload);
  std::vector<ReceivedPacket> arrived(packets_.begin() + static_cast<std::ptrdiff_t>(before),
                                      packets_.end());
  packets_.resize(before);
  return arrived;
}

std::vector<ReceivedPacket> ControllerDouble::Exchange(
    std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
  return Exchange(code, std::span(payload.begin(), payload.size()));
}

}  // namespace pump::testing
