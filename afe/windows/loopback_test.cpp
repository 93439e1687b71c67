// Self test 9: the test signal sent once round the codec's digital
// loopback by the DMA engines, over the first 768 bytes of each common
// buffer, and the block that came back measured against it. The DMA
// registers the transfer borrows are given back whatever the outcome.
#include <cstring>

#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"
#include "afe/windows/loopback_distortion.h"
#include "afe/windows/self_test.h"
#include "platform/ke/interrupt.h"

namespace afe {
namespace {

constexpr ULONG kTransferBytes = kLoopbackSamples * 4;  // one 32-bit word per sample
constexpr ULONG kStallMicroseconds = 50;
constexpr ULONG kSettleStalls = 200;     // 10 ms for the loopback to settle
constexpr ULONG kTransferPolls = 10000;  // half a second for the transfer
constexpr ULONG kReadyStalls = 200;      // 10 ms for the codec afterwards
constexpr ULONG kRegister3 = 3;          // cleared for the transfer

constexpr LONG kDmaRunning = -1;
constexpr LONG kLoopbackNotEngaged = -2;
constexpr LONG kTransferIncomplete = -5;
constexpr LONG kDistorted = -9;
constexpr LONG kNotRestored = -10;

// The DMA control byte and the eight DMA words, restored in this order.
constexpr ULONG kBorrowedWords[] = {
    regs::kRxDma.base, regs::kRxDma.next, regs::kRxDma.last, regs::kRxDma.current,
    regs::kTxDma.base, regs::kTxDma.next, regs::kTxDma.last, regs::kTxDma.current,
};
struct BorrowedRegisters {
  UCHAR control;
  ULONG words[std::size(kBorrowedWords)];
};

BorrowedRegisters Borrow(const AfeState& state) {
  BorrowedRegisters saved{ReadRegister(state, regs::kDmaControl), {}};
  for (std::size_t i = 0; i < std::size(kBorrowedWords); ++i) {
    saved.words[i] = ReadRegister32(state, kBorrowedWords[i]);
  }
  return saved;
}

void GiveBack(const AfeState& state, const BorrowedRegisters& saved) {
  WriteRegister(state, regs::kDmaControl, saved.control);
  for (std::size_t i = 0; i < std::size(kBorrowedWords); ++i) {
    WriteRegister32(state, kBorrowedWords[i], saved.words[i]);
  }
}

void Stall(ULONG times) {
  for (ULONG i = 0; i < times; ++i) KeStallExecutionProcessor(kStallMicroseconds);
}

ULONG* Words(PVOID buffer) { return static_cast<ULONG*>(buffer); }

// One direction over the transfer area: base, last word, a next-period
// address it never reaches, and the engine back at the base.
void ProgramTransfer(const AfeState& state, const regs::DmaWords& words, ULONG base) {
  WriteRegister32(state, words.base, base);
  WriteRegister32(state, words.last, base + kTransferBytes - 4);
  WriteRegister32(state, words.next, base + kTransferBytes);
  WriteRegister32(state, words.current, base);
}

ULONG Threshold(const AfeContext& context) {
  return context.RequestedTests.Active != 0 ? context.RequestedTests.Threshold
                                            : context.PowerOnTests.Threshold;
}

// Steps 3 to 7: the signal out and back, then its distortion.
LONG SendAndMeasure(AfeContext& context, ULONG* detail) {
  const AfeState& state = *context.State;
  SetRegisterBits(state, regs::kRun, regs::kEnginesRestart);
  ClearRegisterBits(state, regs::kRun, regs::kEnginesRestart);
  SetRegisterBits(state, regs::kDmaControl, regs::kLoopbackTransfer);
  WriteRegister(state, regs::kInterruptEnable, 0);
  WriteRegister(state, kRegister3, 0);
  ProgramTransfer(state, regs::kRxDma, state.ReceiveLogical.u.LowPart);
  ProgramTransfer(state, regs::kTxDma, state.TransmitLogical.u.LowPart);
  ULONG* sent = Words(state.TransmitVirtual);
  ULONG* received = Words(state.ReceiveVirtual);
  for (ULONG k = 0; k < kLoopbackSamples; ++k) {
    sent[k] = static_cast<ULONG>(LONG{kLoopbackSignal[k % kLoopbackSignal.size()]});
    received[k] = 0;
  }

  WriteRegister(state, regs::kStatus, regs::kTxWrapped);
  WriteRegister(state, regs::kStatus, regs::kRxWrapped);
  SetRegisterBits(state, regs::kRun, regs::kRunEngines);
  UCHAR seen = 0;
  UCHAR status = 0;
  for (ULONG poll = 0; poll < kTransferPolls && seen != (regs::kTxWrapped | regs::kRxWrapped);
       ++poll) {
    ReadRegister(state, regs::kBusy);
    status = ReadRegister(state, regs::kStatus);
    for (const UCHAR wrapped : {regs::kRxWrapped, regs::kTxWrapped}) {
      if ((status & wrapped) == 0) continue;
      WriteRegister(state, regs::kStatus, wrapped);
      seen |= wrapped;
    }
    if (seen != (regs::kTxWrapped | regs::kRxWrapped))
      KeStallExecutionProcessor(kStallMicroseconds);
  }
  ClearRegisterBits(state, regs::kRun, regs::kRunEngines);
  *detail = status;
  if (seen != (regs::kTxWrapped | regs::kRxWrapped)) return kTransferIncomplete;

  SHORT sent_samples[kLoopbackSamples];
  SHORT received_samples[kLoopbackSamples];
  for (ULONG k = 0; k < kLoopbackSamples; ++k) {
    sent_samples[k] = static_cast<SHORT>(sent[k] & 0xFFFF);
    received_samples[k] = static_cast<SHORT>(received[k] & 0xFFFF);
  }
  const std::optional<ULONG> distortion = LoopbackDistortion(sent_samples, received_samples);
  // A loop that cannot be measured (nothing came back, or it came back
  // before it was sent) is as distorted as a loop gets.
  *detail = distortion.value_or(kUnmeasuredDistortion);
  return distortion && *distortion <= Threshold(context) ? 0 : kDistorted;
}

// Step 8: the transfer areas cleared, the registers given back, the
// loopback off and the codec ready again.
LONG Restore(const AfeState& state, const BorrowedRegisters& saved, ULONG* detail) {
  std::memset(state.TransmitVirtual, 0, kTransferBytes);
  std::memset(state.ReceiveVirtual, 0, kTransferBytes);
  GiveBack(state, saved);
  ClearRegisterBits(state, regs::kDigitalPaths, regs::kDigitalLoopback);
  *detail = ReadRegister(state, regs::kDigitalPaths);
  if (*detail & regs::kDigitalLoopback) return kNotRestored;
  KeStallExecutionProcessor(kStallMicroseconds);
  for (ULONG stall = 0;; ++stall) {
    *detail = ReadRegister(state, regs::kCodecReadings);
    if (*detail & regs::kCodecReady) return 0;
    if (stall == kReadyStalls) return kNotRestored;
    KeStallExecutionProcessor(kStallMicroseconds);
  }
}

}  // namespace

LONG LoopbackSelfTest(AfeContext* context, ULONG* detail) {
  if (context->DmaRunning != 0) return kDmaRunning;
  const AfeState& state = *context->State;
  const BorrowedRegisters saved = Borrow(state);
  SetRegisterBits(state, regs::kDigitalPaths, regs::kDigitalLoopback);
  *detail = ReadRegister(state, regs::kDigitalPaths);
  if ((*detail & regs::kDigitalLoopback) == 0) return kLoopbackNotEngaged;
  Stall(kSettleStalls);

  LONG result = SendAndMeasure(*context, detail);
  ULONG restore_detail = 0;
  const LONG restored = Restore(state, saved, &restore_detail);
  if (result == 0 && restored != 0) {
    result = restored;
    *detail = restore_detail;
  }
  if (result == 0) *detail = 0;
  return result;
}

}  // namespace afe
