// The data pump's side of the packet areas and the data mailboxes of COMRAM.
// A post into a busy area is refused and changes nothing; the caller keeps
// its data and tries again on a later block. Every successful post or take
// calls the controller back.
#pragma once

#include <cstdint>
#include <span>

#include "pump/core/comram.h"
#include "pump/core/host_interface.h"

namespace pump {

// Posts a packet to the controller while register 0 is free. Register 2
// holds the payload's length (at most 255); at most 16 bytes are carried.
bool PostDpPacket(HostInterface& host, std::uint8_t code, std::span<const std::uint8_t> payload);

// Takes the controller's packet when one waits: its code, its length (at
// most 16) and that many payload bytes. Frees register 64.
bool TakeCpPacket(HostInterface& host, std::uint8_t& code, std::uint8_t& length,
                  std::span<std::uint8_t, kDspPacketPayload> payload);

// The waiting controller packet's code, 0 when none waits.
std::uint8_t GetCpPacketCode(const HostInterface& host);

// Empties both mailboxes, data included.
void ClearMailboxes(HostInterface& host);

// Posts a receive block while the mailbox is empty. Count 255 is a report
// without data; any other count is cut to 32 and to the bytes `data` holds.
bool PostRxMailbox(HostInterface& host, std::uint8_t kind, std::uint8_t count,
                   std::span<const std::uint8_t> data);
bool RxMailboxFree(const HostInterface& host);

// Takes the controller's transmit block when it is full: its kind, its count
// (at most 32) and that many bytes. Empties the mailbox.
bool TakeTxMailbox(HostInterface& host, std::uint8_t& kind, std::uint8_t& count,
                   std::span<std::uint8_t, kMailboxData> data);
// Copies the transmit block's bytes (at most 32) and returns their number;
// the mailbox stays full and the controller is not called.
std::uint8_t PeekTxMailbox(const HostInterface& host, std::span<std::uint8_t, kMailboxData> data);

std::uint8_t GetTxCount(const HostInterface& host);
std::uint8_t GetTxKind(const HostInterface& host);
void SetRxCount(HostInterface& host, std::uint8_t count);
void SetRxKind(HostInterface& host, std::uint8_t kind);

}  // namespace pump
