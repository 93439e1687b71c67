#include "pump/core/host_transfer.h"

#include <algorithm>

namespace pump {
namespace {

void CallController(HostInterface& host) {
  if (host.controller_callback != nullptr) host.controller_callback(&host);
}

std::uint8_t Low(std::uint16_t word) { return static_cast<std::uint8_t>(word); }
std::uint8_t High(std::uint16_t word) { return static_cast<std::uint8_t>(word >> 8); }

}  // namespace

bool PostDpPacket(HostInterface& host, std::uint8_t code, std::span<const std::uint8_t> payload) {
  Comram& page = host.comram;
  if (AcquireMark8(page, kRegDpPacket) != 0) return false;
  const std::size_t carried = std::min(payload.size(), kDspPacketPayload);
  page.reg[kRegDpPacket + 1] = 0;
  page.reg[kRegDpPacketLength] =
      static_cast<std::uint8_t>(std::min<std::size_t>(payload.size(), 255));
  page.reg[kRegDpPacket + 3] = 0;
  std::copy_n(payload.begin(), carried, &page.reg[kRegDpPacketPayload]);
  ReleaseMark8(page, kRegDpPacket, code);
  CallController(host);
  return true;
}

bool TakeCpPacket(HostInterface& host, std::uint8_t& code, std::uint8_t& length,
                  std::span<std::uint8_t, kDspPacketPayload> payload) {
  Comram& page = host.comram;
  const std::uint8_t waiting = AcquireMark8(page, kRegCpPacket);
  if (waiting == 0) return false;
  code = waiting;
  length = std::min<std::uint8_t>(page.reg[kRegCpPacketLength], kDspPacketPayload);
  std::copy_n(&page.reg[kRegCpPacketPayload], length, payload.begin());
  ReleaseMark8(page, kRegCpPacket, 0);
  CallController(host);
  return true;
}

std::uint8_t GetCpPacketCode(const HostInterface& host) {
  return AcquireMark8(host.comram, kRegCpPacket);
}

void ClearMailboxes(HostInterface& host) {
  Comram& page = host.comram;
  std::fill_n(&page.reg[kRegRxMailbox], sizeof(DataMailbox), std::uint8_t{0});
  std::fill_n(&page.reg[kRegTxMailbox], sizeof(DataMailbox), std::uint8_t{0});
}

bool PostRxMailbox(HostInterface& host, std::uint8_t kind, std::uint8_t count,
                   std::span<const std::uint8_t> data) {
  Comram& page = host.comram;
  if (AcquireMark16(page, kRegRxCount) != 0) return false;
  if (count != kMailboxReportOnly) {
    count = static_cast<std::uint8_t>(std::min({std::size_t{count}, kMailboxData, data.size()}));
    std::copy_n(data.begin(), count, &page.reg[kRegRxMailbox]);
  }
  ReleaseMark16(page, kRegRxCount, count, kind);
  CallController(host);
  return true;
}

bool RxMailboxFree(const HostInterface& host) {
  return AcquireMark16(host.comram, kRegRxCount) == 0;
}

bool TakeTxMailbox(HostInterface& host, std::uint8_t& kind, std::uint8_t& count,
                   std::span<std::uint8_t, kMailboxData> data) {
  Comram& page = host.comram;
  const std::uint16_t mark = AcquireMark16(page, kRegTxCount);
  if (mark == 0) return false;
  kind = High(mark);
  count = std::min<std::uint8_t>(Low(mark), kMailboxData);
  std::copy_n(&page.reg[kRegTxMailbox], count, data.begin());
  ReleaseMark16(page, kRegTxCount, 0, 0);
  CallController(host);
  return true;
}

std::uint8_t PeekTxMailbox(const HostInterface& host, std::span<std::uint8_t, kMailboxData> data) {
  const std::uint8_t count = std::min<std::uint8_t>(GetTxCount(host), kMailboxData);
  std::copy_n(&host.comram.reg[kRegTxMailbox], count, data.begin());
  return count;
}

std::uint8_t GetTxCount(const HostInterface& host) {
  return Low(AcquireMark16(host.comram, kRegTxCount));
}

std::uint8_t GetTxKind(const HostInterface& host) {
  return High(AcquireMark16(host.comram, kRegTxCount));
}

void SetRxCount(HostInterface& host, std::uint8_t count) {
  ReleaseMark8(host.comram, kRegRxCount, count);
}

void SetRxKind(HostInterface& host, std::uint8_t kind) {
  ReleaseMark8(host.comram, kRegRxKind, kind);
}

}  // namespace pump
