// The front end's ring cursors, latency adjustment and phase-2 flag, which
// the data pump writes in the front end's context itself, and the block
// balance it reads there.
#include <array>

#include "pump/afe_access/afe_access.h"

namespace pump {

void AdvanceAfeBlock(AfeAccess& access) {
  afe::AfeInterface& afe = *access.afe;
  afe::AfeContext& context = *afe.Context;
  context.RxReadCursor = static_cast<std::int8_t>(afe::NextSlot(context.RxReadCursor));
  context.TxWriteCursor = static_cast<std::int8_t>(afe::NextSlot(context.TxWriteCursor));
  std::array<std::int16_t, afe::kMaxBlockSamples> silence{};
  const ULONG bytes = access.samples_per_block * sizeof(std::int16_t);
  while (context.LatencyAdjustment < 0) {
    afe.AfeWriteBlock(afe.Context, silence.data(), bytes);
    context.TxWriteCursor = static_cast<std::int8_t>(afe::NextSlot(context.TxWriteCursor));
    ++context.LatencyAdjustment;
  }
}

LONG SetAfeLatency(AfeAccess& access, int value) {
  if (value < 2 || value > 6) return afe::kAfeRefused;
  afe::AfeContext& context = *access.afe->Context;
  const int before = context.Latency;
  UCHAR latency = static_cast<UCHAR>(value);
  ULONG size = sizeof latency;
  if (IssueAfeRequest(access, afe::kAfeLatency, &latency, &size) != afe::kAfeOk) {
    return afe::kAfeRefused;
  }
  // Joined to what is still pending: two changes within one tick add up to
  // their net change instead of the second overwriting the first.
  const int change = before - context.Latency;
  if (change != 0) {
    context.LatencyAdjustment = static_cast<std::int8_t>(context.LatencyAdjustment + change);
  }
  return afe::kAfeOk;
}

LONG GetQueuedBlocks(const AfeAccess& access) { return access.afe->Context->BlockBalance; }

void SetAfePhase2Flag(AfeAccess& access, ULONG flag) { access.afe->Context->Phase2Flag = flag; }

}  // namespace pump
