// The receive side: the step table that turns line bits into codes, the
// receive queue and its flush into the mailbox.
#include <algorithm>
#include <array>
#include <bit>

#include "pump/core/host_transfer.h"
#include "pump/framer/fcs.h"
#include "pump/framer/framer.h"
#include "pump/framer/framer_format.h"
#include "pump/framer/framer_queue.h"

namespace pump {
namespace {

constexpr std::uint8_t kFlag = 0x7E;
constexpr int kFlushBelowFree = 99;
constexpr std::uint8_t kIdleOnes = 7;  // more ones than a flag holds: no flag is pending
constexpr std::uint32_t kV8Sync = 0x21F;
constexpr std::uint8_t kV8SyncByte = 0x21;

constexpr std::uint32_t Mask(int n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }

std::uint32_t Low(const DataFramer& f, int n) { return f.rx_bits & Mask(n); }

void Drop(DataFramer& f, int n) {
  f.rx_bits = n >= 32 ? 0 : f.rx_bits >> n;
  f.rx_bit_count = static_cast<std::uint8_t>(f.rx_bit_count - n);
}

bool IsAsync(std::uint32_t type) {
  return type == kFramerAsync || type == kFramerAsync3 || type == kFramerAsync4 ||
         type == kFramerAsyncMarks;
}

bool IsHdlc(std::uint32_t type) {
  return type == kFramerHdlc || type == kFramerHdlcReports || type == kFramerHdlcTwoFlags;
}

void FlushRx(DataFramer& f);

// Queues a code (a full queue loses it) and flushes on an event or when the
// queue is filling up.
void Queue(DataFramer& f, std::uint16_t code) {
  PushCode(f.rx_queue, code);
  if (IsEvent(code) || FreeSlots(f.rx_queue) < kFlushBelowFree) FlushRx(f);
}

// ---- asynchronous characters --------------------------------------------------

// Idle ones are dropped; the first zero is the start bit.
void StartBitHunt(DataFramer& f) {
  if (Low(f, f.rx_bit_count) == Mask(f.rx_bit_count)) {
    Drop(f, f.rx_bit_count);
    return;
  }
  Drop(f, std::countr_one(f.rx_bits) + 1);
  f.rx_state = 1;
}

// Eight data bits, then the stop bit. A second all-zero character in a row
// (data and stop bit) is a break.
void Character(DataFramer& f) {
  if (Low(f, 9) == 0) {
    if (++f.break_count == 2) {
      f.break_count = 0;
      Drop(f, 9);
      Queue(f, kCodeBreak);
      f.rx_state = 2;
      return;
    }
  } else {
    f.break_count = 0;
  }
  Queue(f, static_cast<std::uint16_t>(Low(f, 8)));
  Drop(f, 8);
  const std::uint32_t stop_and_next = Low(f, 2);
  if (stop_and_next == 0b11) {  // stop bit, then the line idles
    Drop(f, 2);
    f.rx_state = 0;
  } else if (stop_and_next == 0b01) {  // stop bit, then the next start bit
    Drop(f, 2);
  } else {  // a zero stop bit: taken as the next start bit
    Drop(f, 1);
  }
}

// The break lasts until the line returns to ones.
void BreakEnd(DataFramer& f) {
  if (Low(f, f.rx_bit_count) == 0) {
    Drop(f, f.rx_bit_count);
    return;
  }
  Drop(f, std::countr_zero(f.rx_bits) + 1);
  Queue(f, kCodeBreakEnd);
  f.rx_state = 0;
}

// ---- octets -------------------------------------------------------------------

void Octet(DataFramer& f) {
  Queue(f, static_cast<std::uint16_t>(Low(f, 8)));
  Drop(f, 8);
}

// V.8: ones until the sync pattern, then octets.
void OctetSync(DataFramer& f) {
  if (Low(f, 16) == 0xFFFF) {
    Drop(f, 8);
  } else if (Low(f, 12) == kV8Sync) {
    Queue(f, kV8SyncByte);
    Drop(f, 12);
    f.rx_state = 1;
  } else {
    Drop(f, 1);
  }
}

// ---- HDLC ---------------------------------------------------------------------

// Ones at the least significant (earliest) end of a 5-bit group, and at its
// most significant (latest) end.
struct OnesRun {
  std::uint8_t bottom;
  std::uint8_t top;
};

constexpr std::array<OnesRun, 32> MakeRunTable() {
  std::array<OnesRun, 32> table{};
  for (unsigned g = 0; g < 32; ++g) {
    const auto bottom = static_cast<std::uint8_t>(std::min(std::countr_one(g), 5));
    const auto top = static_cast<std::uint8_t>(std::min(std::countl_one(g << 27), 5));
    table[g] = {bottom, top};
  }
  return table;
}

constexpr std::array<OnesRun, 32> kRunTable = MakeRunTable();

// Five bits at a time: a flag ends where the ones carried in and the group's
// earliest ones make six and a zero follows.
void FlagHunt(DataFramer& f) {
  const std::uint32_t group = Low(f, 5);
  const OnesRun run = kRunTable[group];
  if (group == 0x1F) {
    f.ones = static_cast<std::uint8_t>(std::min(f.ones + 5, int{kIdleOnes}));
    Drop(f, 5);
  } else if (f.ones + run.bottom == 6) {
    Drop(f, run.bottom + 1);
    ++f.flag_status;
    f.ones = 0;
    f.rx_state = 1;
  } else {
    f.ones = run.top;
    Drop(f, 5);
  }
}

void StartFrame(DataFramer& f) {
  f.rx_crc = kFcsPreset;
  f.ones = 0;
  f.assembly = 0;
  f.assembly_bits = 0;
  f.frame_bytes = 0;
  f.rx_state = 2;
}

// After a flag: more flags, or the first bits of a frame.
void FlagOrFrameStart(DataFramer& f) {
  if (Low(f, 8) == kFlag) {
    ++f.flag_status;
    Drop(f, 8);
    f.two_flags_needed = 0;
    return;
  }
  if (f.two_flags_needed != 0) {  // type 8 after one flag: hunt again
    f.rx_state = 0;
    return;
  }
  StartFrame(f);
}

// Up to five frame bits, oldest in bit 0, into the byte being gathered.
void AddFrameBits(DataFramer& f, std::uint32_t bits, int n) {
  f.assembly |= bits << f.assembly_bits;
  f.assembly_bits = static_cast<std::uint8_t>(f.assembly_bits + n);
  if (f.assembly_bits < 8) return;
  const auto byte = static_cast<std::uint8_t>(f.assembly);
  f.rx_crc = FcsUpdate(f.rx_crc, byte);
  ++f.frame_bytes;
  f.assembly >>= 8;
  f.assembly_bits = static_cast<std::uint8_t>(f.assembly_bits - 8);
  Queue(f, byte);
}

// Six ones and a zero inside a frame. The bits of the flag itself that were
// gathered never made a byte; a frame without a byte was a flag shared
// with the one before it.
void ClosingFlag(DataFramer& f) {
  f.ones = 0;
  f.rx_state = 1;
  if (f.frame_bytes == 0) {
    ++f.flag_status;
    return;
  }
  if (f.rx_crc == kFcsGood) {
    Queue(f, kCodeGoodFrame);
    f.frame_error = 0;
    return;
  }
  Queue(f, kCodeBadFrame);
  ++f.bad_frames;
  if ((f.frame_error & 1) == 0) ++f.bad_frame_runs;
  f.frame_error = 1;
}

// Up to five line bits: zero deletion after five ones, the closing flag,
// aborts. It takes whatever is buffered, so a frame's end is known at the
// last bit of its closing flag even when the line stops there.
void FrameData(DataFramer& f) {
  if (f.rx_bit_count >= 5) {
    // No five ones in a row within reach: the group is five data bits.
    const std::uint32_t group = Low(f, 5);
    const OnesRun run = kRunTable[group];
    if (group != 0x1F && f.ones + run.bottom < 5) {
      AddFrameBits(f, group, 5);
      Drop(f, 5);
      f.ones = run.top;
      return;
    }
  }
  const int bits = std::min<int>(f.rx_bit_count, 5);
  for (int i = 0; i < bits; ++i) {
    const std::uint32_t bit = f.rx_bits & 1;
    Drop(f, 1);
    if (bit != 0) {
      if (++f.ones == kIdleOnes) {
        Queue(f, kCodeAbort);
        f.rx_state = 0;
        return;
      }
      if (f.ones <= 5) AddFrameBits(f, 1, 1);
      continue;
    }
    const std::uint8_t ones = f.ones;
    f.ones = 0;
    if (ones == 6) {
      ClosingFlag(f);
      return;
    }
    if (ones != 5) AddFrameBits(f, 0, 1);  // after five ones the zero was inserted
  }
}

// ---- the step table -----------------------------------------------------------

struct RxStep {
  std::uint8_t min_bits;  // the step runs while this many bits are buffered
  void (*run)(DataFramer& f);
};

constexpr RxStep kAsyncSteps[3] = {{11, StartBitHunt}, {10, Character}, {11, BreakEnd}};
constexpr RxStep kOctetSteps[3] = {{8, Octet}, {8, Octet}, {8, Octet}};
constexpr RxStep kHdlcSteps[3] = {{5, FlagHunt}, {8, FlagOrFrameStart}, {1, FrameData}};
constexpr RxStep kV8Steps[3] = {{16, OctetSync}, {8, Octet}, {8, Octet}};

// By type: 0, 3, 4, 5 asynchronous; 1 octets; 2, 7, 8 HDLC (type 8's rule
// is its two-flag requirement); 6 V.8 octets.
constexpr const RxStep* kRxSteps[kFramerLastFormat + 1] = {
    kAsyncSteps, kOctetSteps, kHdlcSteps, kAsyncSteps, kAsyncSteps,
    kAsyncSteps, kV8Steps,    kHdlcSteps, kHdlcSteps,
};

void RunRxSteps(DataFramer& f) {
  for (;;) {
    const RxStep& step = kRxSteps[f.rx_type][f.rx_state];
    if (f.rx_bit_count < step.min_bits) return;
    step.run(f);
  }
}

void FlushRx(DataFramer& f) {
  if (f.host == nullptr) return;
  HostInterface& host = *f.host;
  if (f.rx_type == kFramerHdlcReports && RxMailboxFree(host)) {
    PostRxMailbox(host, kKindReport, kMailboxReportOnly, {});
  }
  if (f.rx_queue.count == 0 || !RxMailboxFree(host)) return;
  std::array<std::uint8_t, kMailboxData> data;
  std::uint8_t count = 0;
  std::uint16_t last = 0;
  for (std::size_t taken = 0; taken < kMailboxData; ++taken) {
    const std::optional<std::uint16_t> code = PopCode(f.rx_queue);
    if (!code) break;
    last = *code;
    if (IsEvent(last)) break;
    data[count++] = static_cast<std::uint8_t>(last);
  }
  PostRxMailbox(host, static_cast<std::uint8_t>(last >> 8), count, std::span(data).first(count));
  f.delivered_bytes += count;
}

}  // namespace

void InitFramerRx(DspContext& context, int type) {
  DataFramer& f = context.framer;
  f.host = context.host;
  ClearQueue(f.rx_queue);
  f.rx_type = CheckedFormat(type, "receive type");
  f.rx_state = 0;
  f.rx_bits = 0;
  f.rx_bit_count = 0;
  f.rx_bit_remainder = 0;
  f.received_bytes = 0;
  f.delivered_bytes = 0;
  f.bad_frames = 0;
  f.bad_frame_runs = 0;
  f.frame_error = 0;
  f.assembly = 0;
  f.assembly_bits = 0;
  f.frame_bytes = 0;
  f.two_flags_needed = 0;
  if (IsHdlc(f.rx_type)) {
    f.ones = kIdleOnes;
    f.flag_status = 0;
    f.two_flags_needed = f.rx_type == kFramerHdlcTwoFlags ? 1 : 0;
  }
  if (IsAsync(f.rx_type)) f.break_count = 0;
}

void RestartFramerRx(DspContext& context) {
  InitFramerRx(context, static_cast<int>(context.framer.rx_type));
}

void FramerPutRxBits(DspContext& context, int n, std::uint32_t bits) {
  DataFramer& f = context.framer;
  n = std::clamp(n, 0, 32);
  const std::uint32_t total = f.rx_bit_remainder + static_cast<std::uint32_t>(n);
  f.received_bytes += total / 8;
  f.rx_bit_remainder = static_cast<std::uint8_t>(total % 8);
  // In parts that fit the 32-bit buffer; the steps leave fewer bits than
  // their minimum, at most 15, so every part has room.
  while (n > 0) {
    const int part = std::min(n, 32 - f.rx_bit_count);
    f.rx_bits |= (bits & Mask(part)) << f.rx_bit_count;
    f.rx_bit_count = static_cast<std::uint8_t>(f.rx_bit_count + part);
    bits = part >= 32 ? 0 : bits >> part;
    n -= part;
    RunRxSteps(f);
  }
}

void FramerFlushRx(DspContext& context) { FlushRx(context.framer); }

bool RxQueueSingleZero(const DspContext& context) {
  const FramerQueue& queue = context.framer.rx_queue;
  return queue.count == 1 && queue.slots[queue.read] == 0;
}

std::uint32_t GetFlagStatus(const DspContext& context) { return context.framer.flag_status; }

void ClearFlagStatus(DspContext& context) { context.framer.flag_status = 0; }

}  // namespace pump
