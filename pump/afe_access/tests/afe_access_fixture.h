// The access layer over the test-side front end: a machine, the front end
// started, and the machine's AfeAccess built over it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <vector>

#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/tests/support/test_afe_harness.h"

namespace pump::testing {

class AfeAccessTest : public ::testing::Test {
 protected:
  // Runs `body` as the data pump's thread with the access state built; the
  // front end's log starts after the build.
  void Run(const std::function<void(AfeAccess&)>& body) {
    harness_.Run([&] {
      AfeAccess* access = BuildAfeAccess(&harness_.Interface());
      ASSERT_NE(access, nullptr);
      Afe().ClearLog();
      body(*access);
    });
  }

  TestAfe& Afe() { return harness_.Afe(); }
  afe::AfeContext& Context() { return Afe().Context(); }
  ULONG& Flags() { return harness_.ProfileFlags(); }

  // One block moved by the front end, then the data pump's tick around `mode`.
  void Tick(AfeAccess& access, const std::function<void()>& mode) {
    Afe().Step();
    ResetSampleCursors(access);
    mode();
    AdvanceAfeBlock(access);
  }

  // A mode that sends every received block straight back.
  void EchoTick(AfeAccess& access) {
    Tick(access, [&] {
      std::vector<std::int16_t> block(access.samples_per_block);
      EXPECT_EQ(ReadRxSamples(access, block), static_cast<int>(block.size()));
      EXPECT_EQ(WriteTxSamples(access, block), static_cast<int>(block.size()));
    });
  }

  std::vector<AfeCall> Calls(AfeEntry entry, ULONG code = 0) {
    std::vector<AfeCall> calls;
    for (const AfeCall& call : Afe().Log()) {
      if (call.entry == entry && call.code == code) calls.push_back(call);
    }
    return calls;
  }

  TestAfeHarness harness_;
};

inline std::vector<std::int16_t> RandomSamples(std::size_t count, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<std::int16_t> samples(count);
  for (std::int16_t& s : samples) s = static_cast<std::int16_t>(sample(generator));
  return samples;
}

}  // namespace pump::testing
