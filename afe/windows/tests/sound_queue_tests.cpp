// The sample queue against a reference model: seeded random sequences of
// puts and gets of every length, the 33rd put into a full queue dropping
// the oldest entry and partial gets keeping the rest at the head.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <vector>

#include "afe/windows/sample_queue.h"
#include "afe/windows/tests/afe_rig.h"

namespace afe::testing {
namespace {

// What the queue promises, in plain containers.
class ModelQueue {
 public:
  void Put(const std::vector<SHORT>& block) {
    if (block.empty()) return;
    if (entries_.size() == kSoundQueueEntries) entries_.pop_front();
    entries_.emplace_back(block.begin(), block.end());
  }
  std::vector<SHORT> Get(std::size_t at_most) {
    if (entries_.empty()) return {};
    std::deque<SHORT>& head = entries_.front();
    const std::size_t n = std::min(at_most, head.size());
    std::vector<SHORT> out(head.begin(), head.begin() + static_cast<long>(n));
    head.erase(head.begin(), head.begin() + static_cast<long>(n));
    if (head.empty()) entries_.pop_front();
    return out;
  }
  std::size_t size() const { return entries_.size(); }

 private:
  std::deque<std::deque<SHORT>> entries_;
};

class SoundQueue : public AfeRig {};

TEST_F(SoundQueue, RandomSequencesMatchTheModel) {
  BootAfe();
  OnKernelThread([&] {
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
      SCOPED_TRACE(seed);
      SampleQueue queue{};
      ASSERT_TRUE(AllocateSampleQueue(queue));
      ModelQueue model;
      std::mt19937 random(seed);
      // Seed 1 and 2 favour puts (the queue runs full), 3 and 4 favour gets.
      std::bernoulli_distribution put(seed <= 2 ? 0.7 : 0.35);
      std::uniform_int_distribution<int> sample(-32768, 32767);
      std::uniform_int_distribution<std::size_t> length(0, kSoundEntrySamples);
      std::uniform_int_distribution<std::size_t> wanted(1, 2 * kSoundEntrySamples);
      SHORT next = 0;
      for (int op = 0; op < 4000; ++op) {
        if (put(random)) {
          std::vector<SHORT> block(length(random));
          for (SHORT& s : block) s = static_cast<SHORT>(sample(random) ^ next++);
          PutEntry(queue, block);
          model.Put(block);
        } else {
          const std::size_t at_most = wanted(random);
          std::vector<SHORT> out(at_most + 8, 0x7A7A);
          const ULONG got = GetSamples(queue, std::span(out.data(), at_most));
          const std::vector<SHORT> expected = model.Get(at_most);
          ASSERT_EQ(got, expected.size()) << "operation " << op;
          ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << op;
          ASSERT_TRUE(
              std::all_of(out.begin() + got, out.end(), [](SHORT s) { return s == 0x7A7A; }));
        }
        ASSERT_EQ(queue.Count, model.size()) << "operation " << op;
      }
      FreeSampleQueue(queue);
    }
  });
}

// The 33rd put without gets leaves 32 entries, the oldest dropped.
TEST_F(SoundQueue, TheThirtyThirdPutDropsTheOldest) {
  BootAfe();
  OnKernelThread([&] {
    SampleQueue queue{};
    ASSERT_TRUE(AllocateSampleQueue(queue));
    for (SHORT block = 0; block < 33; ++block) {
      const SHORT samples[3] = {block, block, block};
      PutEntry(queue, samples);
    }
    EXPECT_EQ(queue.Count, kSoundQueueEntries);
    SHORT out[3] = {};
    ASSERT_EQ(GetSamples(queue, out), 3u);
    EXPECT_EQ(out[0], 1) << "block 0 was dropped";
    FreeSampleQueue(queue);
  });
}

}  // namespace
}  // namespace afe::testing
