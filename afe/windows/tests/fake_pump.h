// A data-pump thread reduced to its block loop: wait for the per-block
// event, and while a received block waits, read it, answer it with the next
// block of a seeded random stream, and move the cursors as AdvanceAfeBlock
// does (padding with silence while the latency adjustment is negative).
// What it read and its answers are kept, sample by sample (the silent
// padding is not an answer).
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "afe/windows/afe_contract.h"

namespace afe::testing {

class FakePump {
 public:
  FakePump(AfeInterface& afe, AfeEventBlock& events, std::uint32_t seed)
      : afe_(afe), events_(events), random_(seed) {}

  // Runs until `blocks` blocks were served; `before_block(n)` runs before
  // block n is served (a test changes the latency there, or sleeps).
  void Run(int blocks, const std::function<void(int)>& before_block = {});

  // The data pump's latency change: request 38 and the adjustment it leaves.
  void SetLatency(int blocks);

  const std::vector<std::int16_t>& Received() const { return received_; }
  const std::vector<std::int16_t>& Sent() const { return sent_; }
  int served() const { return served_; }

 private:
  void ServeBlock();

  AfeInterface& afe_;
  AfeEventBlock& events_;
  std::mt19937 random_;
  std::vector<std::int16_t> received_;
  std::vector<std::int16_t> sent_;
  int served_ = 0;
};

// The first lag (in samples, from `lowest` up) at which `received` repeats
// `sent` from sample `from` to the end; -1 when none does.
long FindLag(const std::vector<std::int16_t>& sent, const std::vector<std::int16_t>& received,
             std::size_t from, long lowest, long highest);

}  // namespace afe::testing
