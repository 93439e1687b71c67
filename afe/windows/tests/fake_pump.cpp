#include "afe/windows/tests/fake_pump.h"

#include <gtest/gtest.h>

#include "afe/windows/afe_operations.h"
#include "afe/windows/tests/afe_rig.h"

namespace afe::testing {

void FakePump::ServeBlock() {
  AfeContext& context = *afe_.Context;
  const int samples = context.SamplesPerBlock;
  const auto bytes = static_cast<ULONG>(samples * sizeof(SHORT));
  std::vector<SHORT> block(samples);
  ASSERT_EQ(afe_.AfeReadBlock(afe_.Context, block.data(), bytes), bytes);
  received_.insert(received_.end(), block.begin(), block.end());
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (SHORT& s : block) s = static_cast<SHORT>(sample(random_));
  ASSERT_EQ(afe_.AfeWriteBlock(afe_.Context, block.data(), bytes), bytes);
  sent_.insert(sent_.end(), block.begin(), block.end());
  context.RxReadCursor = static_cast<std::int8_t>(NextSlot(context.RxReadCursor));
  context.TxWriteCursor = static_cast<std::int8_t>(NextSlot(context.TxWriteCursor));
  std::vector<SHORT> silence(samples, 0);
  while (context.LatencyAdjustment < 0) {
    afe_.AfeWriteBlock(afe_.Context, silence.data(), bytes);
    context.TxWriteCursor = static_cast<std::int8_t>(NextSlot(context.TxWriteCursor));
    ++context.LatencyAdjustment;
  }
  ++served_;
}

void FakePump::Run(int blocks, const std::function<void(int)>& before_block) {
  while (served_ < blocks) {
    ASSERT_TRUE(AwaitBlock(events_)) << "no block after " << served_;
    while (served_ < blocks && BlockReady(*afe_.Context) == kAfeBlockWaiting) {
      if (before_block) before_block(served_);
      ServeBlock();
    }
  }
}

void FakePump::SetLatency(int blocks) {
  AfeContext& context = *afe_.Context;
  const int before = context.Latency;
  Locked(afe_, [&](AfeContext& c) { afe::SetLatency(c, static_cast<UCHAR>(blocks - 1)); });
  context.LatencyAdjustment = static_cast<std::int8_t>(context.LatencyAdjustment + before - blocks);
}

long FindLag(const std::vector<std::int16_t>& sent, const std::vector<std::int16_t>& received,
             std::size_t from, long lowest, long highest) {
  for (long lag = lowest; lag <= highest; ++lag) {
    bool all = from < received.size();
    for (std::size_t n = from; all && n < received.size(); ++n) {
      const long k = static_cast<long>(n) - lag;
      all = k >= 0 && static_cast<std::size_t>(k) < sent.size() && received[n] == sent[k];
    }
    if (all) return lag;
  }
  return -1;
}

}  // namespace afe::testing
