// The data framer's operations. Every data modulation hands its received
// bits to FramerPutRxBits and asks FramerGetTxBits for the bits to send;
// command 0x61 picks the formats, command 0x8B restarts either side, and
// the block handlers call FramerFlushRx once per block. Bits travel least
// significant first: bit 0 of a word is the earliest on the line.
//
// Everything runs inside block work or the command dispatcher, which
// exclude each other; the framer's state is `context.framer`
// (data_framer.h).
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// ---- receive ----------------------------------------------------------------

// Empties the receive queue, the bit buffer and the counters and selects the
// receive type (FramerFormat). A type above 8 selects 0, with a debug line.
void InitFramerRx(DspContext& context, int type);
// InitFramerRx with the current type (command 0x8B with a non-zero byte).
void RestartFramerRx(DspContext& context);

// The low n bits of `bits` (n at most 32), oldest first, through the receive
// steps of the current type. Bytes and events go into the receive queue;
// an event, or a queue with fewer than 99 free slots, flushes it.
void FramerPutRxBits(DspContext& context, int n, std::uint32_t bits);

// Moves up to 32 queued codes into the receive mailbox when it is free: the
// data bytes, ended early by an event, whose high byte becomes the block's
// kind. Type 7 first posts a status report (kind 7, count 255) whenever
// the mailbox is free.
void FramerFlushRx(DspContext& context);

// True when exactly one code waits and it is the data byte 0.
bool RxQueueSingleZero(const DspContext& context);

// The HDLC flags counted since the last clear.
std::uint32_t GetFlagStatus(const DspContext& context);
void ClearFlagStatus(DspContext& context);

// ---- transmit ---------------------------------------------------------------

// Empties the transmit queue and selects the transmit mode (FramerFormat).
// A mode above 8 selects 0, with a debug line.
void InitFramerTx(DspContext& context, int mode);
// InitFramerTx with the current mode (command 0x8B with 0).
void RestartFramerTx(DspContext& context);

// Command 0x61's options and characters. They are kept only: characters
// always have 8 data bits and 1 stop bit, and the HDLC flag is always 0x7E.
void SetFramerOptions(DspContext& context, int word_length, int stop_bits, int flag);
void SetFramerChars(DspContext& context, int value, int second, int flag_character);

// The most bits one FramerGetTxBits call returns.
inline constexpr int kFramerMaxTxBits = 31;

// The next n bits (n from 0 to kFramerMaxTxBits) of the current mode,
// oldest in bit 0; -1 when the mode stops when empty and nothing is left
// to send. An empty queue is refilled from the transmit mailbox; when the
// mailbox is empty too, status bit 6 is set and the controller interrupted
// (once per call).
std::int32_t FramerGetTxBits(DspContext& context, int n);

}  // namespace pump
