// The transmit side: the transmit queue, its refill from the controller's
// mailbox, and the bits of each mode.
#include <algorithm>
#include <array>
#include <bit>

#include "pump/core/dp_status.h"
#include "pump/core/host_transfer.h"
#include "pump/framer/fcs.h"
#include "pump/framer/framer.h"
#include "pump/framer/framer_format.h"
#include "pump/framer/framer_queue.h"

namespace pump {
namespace {

constexpr std::uint8_t kFlag = 0x7E;
constexpr int kMarkGapBits = 23;  // after a restart event
constexpr int kModeSevenExtraFlags = 5;

constexpr std::uint64_t Mask(int n) {
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

bool IsAsync(std::uint32_t mode) {
  return mode == kFramerAsync || mode == kFramerAsync3 || mode == kFramerAsync4 ||
         mode == kFramerAsyncMarks || mode == kFramerV8Octets;
}

// ---- the bit buffer -----------------------------------------------------------

void Append(DataFramer& f, std::uint64_t bits, int n) {
  f.tx_bits |= (bits & Mask(n)) << f.tx_bit_count;
  f.tx_bit_count = static_cast<std::uint8_t>(f.tx_bit_count + n);
}

// Fills the buffer with ones up to n bits.
void FillOnes(DataFramer& f, int n) {
  if (f.tx_bit_count < n) Append(f, Mask(n - f.tx_bit_count), n - f.tx_bit_count);
}

std::int32_t Take(DataFramer& f, int n) {
  const auto bits = static_cast<std::int32_t>(f.tx_bits & Mask(n));
  f.tx_bits = n >= 64 ? 0 : f.tx_bits >> n;
  f.tx_bit_count = static_cast<std::uint8_t>(f.tx_bit_count - n);
  return bits;
}

// Flags and aborts go as they are; the zero they end with restarts the
// count of ones for zero insertion.
void AppendRaw(DataFramer& f, std::uint64_t bits, int n) {
  Append(f, bits, n);
  f.tx_ones = 0;
}

void AppendFlag(DataFramer& f) {
  AppendRaw(f, kFlag, 8);
  f.flag_owed = 0;
}

// Bytes that hold five ones in a row; in the others a zero can only be due
// where the ones carried in and the byte's first ones make five.
constexpr std::array<bool, 256> MakeRunOfFive() {
  std::array<bool, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    for (unsigned run = 0, i = 0; i < 8; ++i) {
      run = ((b >> i) & 1) != 0 ? run + 1 : 0;
      if (run >= 5) table[b] = true;
    }
  }
  return table;
}
constexpr std::array<bool, 256> kRunOfFive = MakeRunOfFive();

// A frame byte, least significant bit first, with a zero inserted after
// every five ones in a row.
void AppendStuffed(DataFramer& f, std::uint8_t byte) {
  if (!kRunOfFive[byte] && f.tx_ones + std::countr_one(byte) < 5) {
    Append(f, byte, 8);
    f.tx_ones = static_cast<std::uint8_t>(std::countl_one(byte));
    return;
  }
  for (int i = 0; i < 8; ++i) {
    const std::uint32_t bit = (byte >> i) & 1;
    Append(f, bit, 1);
    if (bit == 0) {
      f.tx_ones = 0;
    } else if (++f.tx_ones == 5) {
      Append(f, 0, 1);
      f.tx_ones = 0;
    }
  }
}

// ---- the queue and its refill -------------------------------------------------

// The controller hears of an empty mailbox once per FramerGetTxBits call:
// after one failed refill the call asks no more.
struct Refill {
  bool failed = false;
};

bool RefillFromMailbox(DataFramer& f, Refill& refill) {
  if (refill.failed || f.host == nullptr) return false;
  HostInterface& host = *f.host;
  const std::uint8_t count = std::min<std::uint8_t>(GetTxCount(host), kMailboxData);
  const std::uint8_t kind = GetTxKind(host);
  const int needed = count + (kind != 0 ? 1 : 0);
  std::array<std::uint8_t, kMailboxData> data;
  std::uint8_t taken_kind = 0;
  std::uint8_t taken_count = 0;
  if (needed == 0 || needed > FreeSlots(f.tx_queue) ||
      !TakeTxMailbox(host, taken_kind, taken_count, data)) {
    refill.failed = true;
    SetDpStatus(host, kStatusTxEmpty, true);
    WriteDspReg(host, kRegDpInterrupt, 1);
    return false;
  }
  for (std::uint8_t i = 0; i < taken_count; ++i) PushCode(f.tx_queue, data[i]);
  if (taken_kind != 0) PushCode(f.tx_queue, static_cast<std::uint16_t>(taken_kind << 8));
  if (taken_kind == kKindEndOfTransmit) f.restart = kTxEndRequested;
  SetDpStatus(host, kStatusTxEmpty, false);
  WriteDspReg(host, kRegDpInterrupt, 1);
  return true;
}

std::optional<std::uint16_t> NextCode(DataFramer& f, Refill& refill) {
  if (f.tx_queue.count == 0) RefillFromMailbox(f, refill);
  return PopCode(f.tx_queue);
}

// ---- the modes ----------------------------------------------------------------

// Start bit 0, eight data bits, stop bit 1. Events of kinds 2, 3, 4 and 6
// end the call's characters; the rest of the call is ones (the line's
// idle state). Others are skipped.
std::int32_t AsyncBits(DataFramer& f, int n) {
  if (f.restart == kTxRestart) {
    f.restart = kTxRunning;
    f.tx_bits = Mask(kMarkGapBits);
    f.tx_bit_count = kMarkGapBits;
  }
  Refill refill;
  while (f.tx_bit_count < n) {
    const std::optional<std::uint16_t> code = NextCode(f, refill);
    if (!code) {
      if (f.tx_bit_count == 0 && f.stop_when_empty != 0) return -1;
      FillOnes(f, n);
      break;
    }
    if (!IsEvent(*code)) {
      if (f.tx_mode == kFramerAsyncMarks && *code == 0xFF) {
        Append(f, Mask(10), 10);
      } else {
        Append(f, std::uint64_t{*code} << 1 | std::uint64_t{1} << 9, 10);
      }
      continue;
    }
    const auto kind = static_cast<std::uint8_t>(*code >> 8);
    if (kind == kKindRestart) f.restart = kTxRestart;
    if (kind == kKindEndOfTransmit || kind == kKindRestart || kind == kKindMarks ||
        kind == kKindSend) {
      FillOnes(f, n);
      break;
    }
  }
  return Take(f, n);
}

// Octets as they are; an event sends eight zeros. Without data the line
// gets ones, or zeros (fill bits) in a fax call.
std::int32_t RawBits(DataFramer& f, int n, bool fax_call) {
  Refill refill;
  while (f.tx_bit_count < n) {
    const std::optional<std::uint16_t> code = NextCode(f, refill);
    if (!code) {
      const int missing = n - f.tx_bit_count;
      Append(f, fax_call ? 0 : Mask(missing), missing);
      break;
    }
    Append(f, IsEvent(*code) ? 0 : *code, 8);
  }
  return Take(f, n);
}

void Abort(DataFramer& f) {
  AppendRaw(f, 0xFF, 8);
  AppendFlag(f);
  f.tx_crc = kFcsPreset;
  f.frame_state = kFrameFlagged;
}

// One code of an HDLC frame. A frame whose data ran out before its end was
// aborted: the rest of it is dropped up to its end-of-frame event.
void HdlcCode(DataFramer& f, std::uint16_t code) {
  if (!IsEvent(code)) {
    if (f.restart == kTxUnderrun) return;
    if (f.flag_owed != 0) AppendFlag(f);  // a frame right after the start opens with a flag
    f.frame_state = kFrameData;
    f.tx_crc = FcsUpdate(f.tx_crc, static_cast<std::uint8_t>(code));
    AppendStuffed(f, static_cast<std::uint8_t>(code));
    return;
  }
  const bool skipping = f.restart == kTxUnderrun;
  if (skipping) f.restart = kTxRunning;
  if ((code >> 8) != kKindEndOfFrame) {
    Abort(f);
    return;
  }
  if (skipping || f.frame_state != kFrameData) return;  // nothing to close
  const auto fcs = static_cast<std::uint16_t>(~f.tx_crc);
  AppendStuffed(f, static_cast<std::uint8_t>(fcs));
  AppendStuffed(f, static_cast<std::uint8_t>(fcs >> 8));
  f.frame_state = kFrameIdle;
}

std::int32_t HdlcBits(DataFramer& f, int n) {
  Refill refill;
  while (f.tx_bit_count < n) {
    if (f.frame_state == kFrameIdle) {
      AppendFlag(f);
      f.tx_crc = kFcsPreset;
      f.frame_state = kFrameFlagged;
      if (f.tx_mode == kFramerHdlcReports) {
        AppendFlag(f);
        f.extra_flags = kModeSevenExtraFlags;
      }
      continue;
    }
    if (f.tx_mode == kFramerHdlcReports && f.extra_flags > 0 && f.host != nullptr &&
        GetTxCount(*f.host) != 0) {
      AppendFlag(f);
      --f.extra_flags;
      continue;
    }
    const std::optional<std::uint16_t> code = NextCode(f, refill);
    if (code) {
      HdlcCode(f, *code);
      continue;
    }
    if (f.frame_state == kFrameData) {  // the frame's data ran out
      f.restart = kTxUnderrun;
      Abort(f);
      continue;
    }
    if (f.stop_when_empty != 0) {
      if (f.tx_bit_count == 0) return -1;
      FillOnes(f, n);
      break;
    }
    AppendFlag(f);
  }
  return Take(f, n);
}

}  // namespace

void InitFramerTx(DspContext& context, int mode) {
  DataFramer& f = context.framer;
  f.host = context.host;
  ClearQueue(f.tx_queue);
  f.tx_mode = CheckedFormat(mode, "transmit mode");
  f.restart = kTxRunning;
  f.frame_state = kFrameIdle;
  f.tx_bits = 0;
  f.tx_bit_count = 0;
  f.tx_ones = 0;
  f.stop_when_empty = 0;
  f.tx_crc = 0;
  f.extra_flags = 0;
  f.flag_owed = 0;
  switch (f.tx_mode) {
    case kFramerRawOctets:
      f.second_character = 0;
      f.idle_word = f.flag_character;
      break;
    case kFramerHdlcReports:
      f.stop_when_empty = 1;
      f.extra_flags = kModeSevenExtraFlags;
      [[fallthrough]];
    case kFramerHdlc:
      f.frame_state = kFrameFlagged;
      f.flag_owed = 1;
      f.restart = kTxEndRequested;
      f.tx_crc = kFcsPreset;
      f.flag_character = kFlag;
      f.idle_word = static_cast<std::uint16_t>(f.second_character << 8 | kFlag);
      break;
    case kFramerAsyncMarks:
      f.stop_when_empty = 1;
      break;
    default:
      break;
  }
}

void RestartFramerTx(DspContext& context) {
  InitFramerTx(context, static_cast<int>(context.framer.tx_mode));
}

void SetFramerOptions(DspContext& context, int word_length, int stop_bits, int flag) {
  DataFramer& f = context.framer;
  f.word_length = static_cast<std::uint8_t>(word_length & 3);
  f.stop_bits = static_cast<std::uint8_t>(stop_bits & 3);
  f.option_flag = static_cast<std::uint8_t>(flag & 1);
}

void SetFramerChars(DspContext& context, int value, int second, int flag_character) {
  DataFramer& f = context.framer;
  f.value = static_cast<std::uint8_t>(value);
  f.second_character = static_cast<std::uint8_t>(second);
  f.flag_character = static_cast<std::uint8_t>(flag_character);
  f.idle_word = static_cast<std::uint16_t>(f.second_character << 8 | f.flag_character);
}

std::int32_t FramerGetTxBits(DspContext& context, int n) {
  DataFramer& f = context.framer;
  n = std::clamp(n, 0, kFramerMaxTxBits);
  if (n == 0) return 0;
  if (IsAsync(f.tx_mode)) return AsyncBits(f, n);
  switch (f.tx_mode) {
    case kFramerRawOctets:
      return RawBits(f, n, context.call.fax_call != 0);
    case kFramerHdlc:
    case kFramerHdlcReports:
      return HdlcBits(f, n);
    default:  // mode 8 frames nothing: the line idles
      return static_cast<std::int32_t>(Mask(n));
  }
}

}  // namespace pump
