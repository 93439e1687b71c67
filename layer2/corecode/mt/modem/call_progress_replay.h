// After a resume from a low-power state: the call-progress events the data
// pump kept in its memory while the controller slept, replayed to the line
// services so that rings and caller ID that came meanwhile still reach the
// application; and the caller-ID text read from the data pump's memory.
//
// A memory key the data pump does not hold is answered by an echo of the
// read, which is no data: a read that brings no reply replays nothing and
// reports no caller ID.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vxctl {

// The memory key of the kept events: 10-byte DP_CALL_PROGRESS_NOTIFICATION
// records (code 0xD1 first), read in 16-byte pieces 10 bytes (5 keys)
// apart; at most 100 pieces.
inline constexpr std::uint32_t kReplayKey = 0x540;
inline constexpr std::size_t kReplayRecordBytes = 10;
inline constexpr std::size_t kReplayPiecesMax = 100;
inline constexpr std::size_t kMemPieceBytes = 16;
// Room for 100 records and a piece's 16 bytes after them.
using ReplayBuffer =
    std::array<std::uint8_t, kReplayPiecesMax * kReplayRecordBytes + kMemPieceBytes>;

// The memory key of the caller-ID text: a type byte (0x80 or 0x04 carry a
// length in the second byte), read 8 bytes (8 keys) at a time.
inline constexpr std::uint32_t kCallerIdKey = 0x441;

// The 16 reply bytes of a memory read of `key` into `out`; false (and `out`
// untouched) when no reply came.
bool ModemTask_ReadMem16(std::uint32_t key, std::span<std::uint8_t, kMemPieceBytes> out);
// The low bytes of the 8 words a memory read of `key` brings (reply bytes
// 0, 2, ..., 14); false when no reply came.
bool ReadMemBytes8(std::uint32_t key, std::span<std::uint8_t, 8> out);

// Reads the caller-ID text into the command interpreter's buffer: 8 bytes,
// then for a type 0x80 or 0x04 the length in the second byte (at most 96)
// in further reads of 8; at most 99 bytes are kept, then a 0. False, with
// the buffer emptied, when a read brought no reply.
bool ModemTask_ReadCallerId();

// Reads the kept records and hands each (while it starts with 0xD1) to the
// line services as the packet just taken, then runs their poll; at the
// first ring, with caller-ID reporting on, reads, saves and prints the
// caller ID. Stops once S1 (the ring count) is 1.
void ModemTask_ReplayCallProgress();

}  // namespace vxctl
