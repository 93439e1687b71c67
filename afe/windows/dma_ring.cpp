// The DMA ring: two circular buffers of 32 periods, one block each, and the
// 16-slot block rings between the interrupt and the data pump. The
// interrupt moves whole periods between them; the data pump moves its own
// two cursors after each block.
#include <algorithm>
#include <cstring>

#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"

namespace afe {
namespace {

constexpr UCHAR kLastPeriod = kDmaPeriods - 1;

ULONG PeriodBytes(const AfeContext& context) { return ULONG{context.SamplesPerBlock} * 4; }

ULONG* Period(PVOID buffer, const AfeContext& context, ULONG period) {
  return reinterpret_cast<ULONG*>(static_cast<UCHAR*>(buffer) + period * PeriodBytes(context));
}

UCHAR NextPeriod(UCHAR period) { return static_cast<UCHAR>((period + 1) % kDmaPeriods); }

void ProgramDirection(const AfeState& state, const regs::DmaWords& words, ULONG base,
                      ULONG period_bytes) {
  WriteRegister32(state, words.base, base);
  WriteRegister32(state, words.last, base + kDmaPeriods * period_bytes - 4);
  WriteRegister32(state, words.next, base + period_bytes);
}

// Acknowledges one direction's period interrupt and moves its next-period
// address one period past the one the engine plays now; returns that period.
UCHAR RearmDirection(const AfeContext& context, UCHAR status_bit, const regs::DmaWords& words) {
  const AfeState& state = *context.State;
  WriteRegister(state, regs::kStatus, status_bit);
  const ULONG base = ReadRegister32(state, words.base);
  const auto playing =
      static_cast<UCHAR>((ReadRegister32(state, words.current) - base) / PeriodBytes(context));
  const UCHAR next = playing <= kLastPeriod - 1 ? static_cast<UCHAR>(playing + 1) : UCHAR{0};
  WriteRegister32(state, words.next, base + next * PeriodBytes(context));
  return next == 0 ? kLastPeriod : static_cast<UCHAR>(next - 1);
}

void MoveReceived(AfeContext& context) {
  const AfeState& state = *context.State;
  const int samples = context.SamplesPerBlock;
  do {
    context.RxWriteCursor = static_cast<UCHAR>(NextSlot(context.RxWriteCursor));
    context.RxPeriodCursor = NextPeriod(context.RxPeriodCursor);
    const ULONG* words = Period(state.ReceiveVirtual, context, context.RxPeriodCursor);
    SHORT* slot = context.RxRing[context.RxWriteCursor];
    for (int i = 0; i < samples; ++i) slot[i] = static_cast<SHORT>(words[i] & 0xFFFF);
    ++context.BlockBalance;
  } while (NextPeriod(context.RxPeriodCursor) != state.RxDmaPeriod);
}

void MoveTransmitted(AfeContext& context) {
  const AfeState& state = *context.State;
  const int samples = context.SamplesPerBlock;
  while (context.LatencyAdjustment > 0) {
    --context.LatencyAdjustment;
    ++context.BlockBalance;
    context.TxPeriodCursor =
        static_cast<UCHAR>((context.TxPeriodCursor + kLastPeriod) % kDmaPeriods);
  }
  const auto played = static_cast<UCHAR>((state.TxDmaPeriod + kLastPeriod) % kDmaPeriods);
  std::memset(Period(state.TransmitVirtual, context, played), 0, PeriodBytes(context));
  // The data pump owns the write cursor; only its slot bits count here.
  while (context.TxReadCursor != (context.TxWriteCursor & (kRingSlots - 1))) {
    context.TxReadCursor = static_cast<UCHAR>(NextSlot(context.TxReadCursor));
    context.TxPeriodCursor = NextPeriod(context.TxPeriodCursor);
    ULONG* words = Period(state.TransmitVirtual, context, context.TxPeriodCursor);
    const SHORT* slot = context.TxRing[context.TxReadCursor];
    for (int i = 0; i < samples; ++i) {
      words[i] = static_cast<USHORT>(slot[i]) | ULONG{static_cast<USHORT>(slot[i + 1])} << 16;
    }
    --context.BlockBalance;
  }
  while (context.Latency + context.BlockBalance > kRingSlots) {
    context.BlockBalance -= kRingSlots;
    context.TxPeriodCursor =
        static_cast<UCHAR>((context.TxPeriodCursor + kRingSlots) % kDmaPeriods);
  }
}

}  // namespace

ULONG AfeReadBlock(AfeContext* context, PVOID buffer, ULONG bytes) {
  const ULONG copied = std::min(bytes, kSlotBytes);
  if (copied == 0) return 0;  // an empty request may come without a buffer
  std::memcpy(buffer, context->RxRing[NextSlot(context->RxReadCursor)], copied);
  return copied;
}

ULONG AfeWriteBlock(AfeContext* context, PVOID buffer, ULONG bytes) {
  const ULONG copied = std::min(bytes, kSlotBytes);
  if (copied == 0) return 0;
  std::memcpy(context->TxRing[NextSlot(context->TxWriteCursor)], buffer, copied);
  return copied;
}

ULONG AfeStartDma(AfeContext* context) {
  if (context->DmaRunning != 0) return 1;
  AfeState& state = *context->State;
  const ULONG period_bytes = PeriodBytes(*context);
  ProgramDirection(state, regs::kRxDma, state.ReceiveLogical.u.LowPart, period_bytes);
  ProgramDirection(state, regs::kTxDma, state.TransmitLogical.u.LowPart, period_bytes);
  std::memset(state.ReceiveVirtual, 0, kDmaPeriods * period_bytes);
  std::memset(state.TransmitVirtual, 0, kDmaPeriods * period_bytes);
  state.TxDmaPeriod = state.RxDmaPeriod = 0;
  ResetRing(*context, kLastPeriod, kLastPeriod);
  SetRegisterBits(state, regs::kDmaControl, regs::kDmaRewind);
  ClearRegisterBits(state, regs::kDmaControl, regs::kDmaRewind);
  WriteRegister(state, regs::kStatus, regs::kPeriodBits);
  SetRegisterBits(state, regs::kRun, regs::kRunEngines);
  context->DmaRunning = 1;
  SetRegisterBits(state, regs::kInterruptEnable, regs::kPeriodBits);
  return 1;
}

ULONG AfeStopDma(AfeContext* context) {
  if (context->DmaRunning == 0) return 1;
  const AfeState& state = *context->State;
  ClearRegisterBits(state, regs::kRun, regs::kRunEngines);
  context->DmaRunning = 0;
  ClearRegisterBits(state, regs::kInterruptEnable, regs::kPeriodBits);
  return 1;
}

ULONG AfeInterruptService(AfeContext* context) {
  AfeState& state = *context->State;
  const UCHAR status = ReadRegister(state, regs::kStatus);
  if ((status & regs::kPeriodBits) == 0) return 0;
  if (ReadRegister(state, regs::kInterruptEnable) != regs::kPeriodBits) {
    WriteRegister(state, regs::kInterruptEnable, regs::kPeriodBits);
    return 0;
  }
  if (status & regs::kTxPeriod) {
    state.TxDmaPeriod = RearmDirection(*context, regs::kTxPeriod, regs::kTxDma);
  }
  if (status & regs::kRxPeriod) {
    state.RxDmaPeriod = RearmDirection(*context, regs::kRxPeriod, regs::kRxDma);
  }
  if (state.TxDmaPeriod != state.RxDmaPeriod) return 0;
  MoveReceived(*context);
  MoveTransmitted(*context);
  context->BlockCounter = BlocksAfter(context->BlockCounter, 1);
  return 1;
}

}  // namespace afe
