// The data framer's state: one per DspContext (`context.framer`). The
// receive side turns line bits into 16-bit codes (data bytes and events)
// and moves them into the receive mailbox; the transmit side takes the
// controller's transmit mailbox and turns it into line bits. The
// operations are in framer.h.
#pragma once

#include <cstdint>

namespace pump {

struct HostInterface;

// Receive types (InitFramerRx) and transmit modes (InitFramerTx): the data
// format byte of command 0x61. Types and modes 0, 3, 4 and 5 are
// asynchronous characters, 8 data bits and 1 stop bit.
enum FramerFormat : std::uint32_t {
  kFramerAsync = 0,
  kFramerRawOctets = 1,
  kFramerHdlc = 2,
  kFramerAsync3 = 3,
  kFramerAsync4 = 4,
  kFramerAsyncMarks = 5,    // transmit: 0xFF goes as ten ones; stops when empty
  kFramerV8Octets = 6,      // receive: octets after the V.8 sync; transmit: asynchronous
  kFramerHdlcReports = 7,   // receive: HDLC with a status report at every flush;
                            // transmit: HDLC with extra flags, stops when empty
  kFramerHdlcTwoFlags = 8,  // receive: HDLC that waits for two flags; transmit: none
  kFramerLastFormat = 8,
};

// Codes: below 256 a data byte; otherwise an event whose high byte is the
// kind of the mailbox block that carries it.
enum FramerCode : std::uint16_t {
  kCodeGoodFrame = 0x100,  // HDLC frame ended, frame check correct
  kCodeBadFrame = 0x200,   // HDLC frame ended, frame check wrong
  kCodeAbort = 0x300,      // HDLC abort: seven or more ones
  kCodeBreak = 0x400,      // asynchronous break started
  kCodeBreakEnd = 0x500,   // asynchronous break ended
};

// Receive mailbox kind of the type-7 status report (count 255, no data).
inline constexpr std::uint8_t kKindReport = 7;

// Transmit mailbox kinds with a meaning of their own; any other non-zero
// kind is queued as an event after the block's bytes.
inline constexpr std::uint8_t kKindEndOfFrame = 1;     // frame check and closing flag follow
inline constexpr std::uint8_t kKindEndOfTransmit = 2;  // restart state 2
inline constexpr std::uint8_t kKindRestart = 3;        // asynchronous: a 23-bit mark gap next
inline constexpr std::uint8_t kKindMarks = 4;  // asynchronous: ones for the rest of the call
inline constexpr std::uint8_t kKindSend = 6;   // asynchronous: send what is buffered

inline constexpr int kFramerQueueSlots = 130;

// A ring of framer codes. It holds up to 130 codes; the count tells a full
// ring from an empty one, whatever the indexes.
struct FramerQueue {
  std::uint16_t slots[kFramerQueueSlots];
  std::uint8_t write;  // next slot to fill
  std::uint8_t read;   // next slot to take
  std::uint8_t count;  // codes held
};

// Transmit restart states.
enum FramerRestart : std::uint32_t {
  kTxRunning = 0,
  kTxRestart = 1,       // the next call starts with a 23-bit mark gap
  kTxEndRequested = 2,  // set by HDLC start and by a kind-2 block
  kTxUnderrun = 7,      // an HDLC frame ran dry and was aborted: its rest is skipped
};

// HDLC transmit frame states.
enum FramerFrameState : std::uint32_t {
  kFrameIdle = 0,     // between frames: a flag is due
  kFrameFlagged = 1,  // no frame data yet (flags sent, or owed since the start)
  kFrameData = 2,     // inside a frame
};

struct DataFramer {
  HostInterface* host;

  // Command 0x61's asynchronous options and characters; kept only.
  std::uint8_t word_length;  // options bits 0-1
  std::uint8_t stop_bits;    // options bits 2-3
  std::uint8_t option_flag;  // options bit 4
  std::uint8_t value;
  std::uint8_t second_character;
  std::uint8_t flag_character;
  std::uint16_t idle_word;  // second character << 8 | flag character

  // Receive side.
  FramerQueue rx_queue;
  std::uint32_t rx_type;
  std::uint32_t rx_state;  // sub-state of the receive step table
  std::uint32_t rx_bits;   // unconsumed line bits, oldest in bit 0
  std::uint8_t rx_bit_count;
  std::uint8_t rx_bit_remainder;  // bits received beyond whole bytes
  std::uint32_t received_bytes;   // bits received / 8
  std::uint32_t delivered_bytes;  // data bytes moved into the mailbox
  std::uint32_t bad_frames;       // frames that failed the frame check
  std::uint32_t bad_frame_runs;   // runs of consecutive bad frames
  std::uint8_t ones;              // consecutive ones seen (HDLC)
  std::uint32_t assembly;         // frame bits being gathered into a byte
  std::uint8_t assembly_bits;
  std::uint32_t frame_bytes;  // bytes of the frame being received
  std::uint16_t rx_crc;
  std::uint8_t two_flags_needed;  // type 8 until its second flag
  std::uint32_t flag_status;      // flags seen; read and cleared by the modems
  std::uint32_t frame_error;      // bit 0: the last frame failed its check
  std::uint8_t break_count;       // consecutive all-zero characters

  // Transmit side.
  FramerQueue tx_queue;
  std::uint32_t tx_mode;
  std::uint32_t restart;      // FramerRestart
  std::uint32_t frame_state;  // FramerFrameState
  std::uint64_t tx_bits;      // bits ready to go, next in bit 0
  std::uint8_t tx_bit_count;
  std::uint8_t tx_ones;  // consecutive ones since the last inserted zero
  std::uint8_t stop_when_empty;
  std::uint16_t tx_crc;
  std::uint8_t extra_flags;  // mode 7: flags still allowed before a frame
  std::uint8_t flag_owed;    // HDLC: no flag has gone out since the start
};

}  // namespace pump
