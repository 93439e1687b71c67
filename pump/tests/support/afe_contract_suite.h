// AfeContract: what the data pump relies on of any front end, as a typed
// suite. A front end joins by a harness type with
//
//   void Run(const std::function<void()>& body);  // body = the data pump's thread, PASSIVE_LEVEL,
//                                                  // after the front end answered the start
//   afe::AfeInterface& Interface();
//   afe::AfeEventBlock& Events();                  // as lent at start
//   ULONG& ProfileFlags();                         // the word Events().ProfileFlags points to
//
// and one line in a test file:
//
//   INSTANTIATE_TYPED_TEST_SUITE_P(MyFrontEnd, AfeContract, ::testing::Types<MyHarness>);
//
// Blocks must flow once request 18 powers the front end up, one per block
// period of virtual time. Every expectation follows from the front end's
// rules: a ring reset leaves the transmit write cursor 3 ahead and the
// latency 3; request 38 keeps value + 1; request 4 takes effect when the
// block counter reaches latency + counter - 1; bit 24 is set once received
// blocks are not behind transmitted ones; sound-path requests check the
// level, then ProfileFlags bit 17.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "afe/windows/afe_contract.h"
#include "platform/ke/irql.h"
#include "platform/ke/kernel.h"
#include "pump/tests/support/afe_calls.h"

namespace pump::testing {

template <class Harness>
class AfeContract : public ::testing::Test {
 protected:
  afe::AfeInterface& Afe() { return harness_.Interface(); }
  afe::AfeContext& Context() { return *Afe().Context; }

  LONG Request(ULONG code, void* data = nullptr, ULONG size = 0) {
    return CallAfeRequest(Afe(), code, data, size);
  }
  LONG RequestWord(ULONG code, ULONG value) { return CallAfeRequestWord(Afe(), code, value); }
  LONG Sound(ULONG code, void* data = nullptr, ULONG count = 0) {
    return CallSoundPath(Afe(), code, data, count);
  }

  void PowerUp() { ASSERT_EQ(RequestWord(afe::kAfePowerState, 0), afe::kAfeOk); }

  // Waits for the front end's next per-block signal (at most a virtual second).
  NTSTATUS AwaitBlock() {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -10'000'000;
    return KeWaitForSingleObject(&harness_.Events().PerBlockEvent, Executive, KernelMode, FALSE,
                                 &timeout);
  }

  struct Rate {
    USHORT hz;
    USHORT samples;
  };
  Rate CurrentRate() {
    std::uint16_t words[2] = {};
    EXPECT_EQ(Request(afe::kAfeGetRate, words, sizeof words), afe::kAfeOk);
    return {words[0], words[1]};
  }

  // The data pump's part of one block: take it, answer it, move both cursors.
  void ServeBlock() {
    std::vector<SHORT> block(Context().SamplesPerBlock);
    const auto bytes = static_cast<ULONG>(block.size() * sizeof(SHORT));
    EXPECT_EQ(Afe().AfeReadBlock(Afe().Context, block.data(), bytes), bytes);
    EXPECT_EQ(Afe().AfeWriteBlock(Afe().Context, block.data(), bytes), bytes);
    Context().RxReadCursor = static_cast<std::int8_t>(afe::NextSlot(Context().RxReadCursor));
    Context().TxWriteCursor = static_cast<std::int8_t>(afe::NextSlot(Context().TxWriteCursor));
  }

  bool BlocksQueued() { return (harness_.ProfileFlags() & afe::kProfileBlocksQueued) != 0; }

  Harness harness_;
};

TYPED_TEST_SUITE_P(AfeContract);

TYPED_TEST_P(AfeContract, PowerUpResetsTheRingsToLatencyThree) {
  this->harness_.Run([&] {
    this->Context().Phase2Flag = 7;
    this->Context().LatencyAdjustment = -2;
    this->PowerUp();
    EXPECT_EQ(this->Context().RxReadCursor, 0);
    EXPECT_EQ(this->Context().TxWriteCursor, 3);
    EXPECT_EQ(this->Context().Latency, 3);
    EXPECT_EQ(this->Context().LatencyAdjustment, 0);
    EXPECT_EQ(this->Context().Phase2Flag, 0u);
    EXPECT_EQ(this->Request(afe::kAfeBlockReady), afe::kAfeOk) << "no block moved yet";
    const auto rate = this->CurrentRate();
    EXPECT_EQ(rate.hz, 9600);
    EXPECT_EQ(rate.samples, 96);

    afe::AfeInfo info{};
    ASSERT_EQ(this->Request(afe::kAfeGetInfo, &info, sizeof info), afe::kAfeOk);
    EXPECT_EQ(info.SoundMuteBlocks, 78u) << "the data pump's sound-path mute count";
    EXPECT_EQ(info.LatencyLessOne, 2);
    EXPECT_EQ(info.LineLowThreshold, 9);
    EXPECT_TRUE(info.LineHighThreshold == 61 || info.LineHighThreshold == 121);
    EXPECT_EQ(info.HighCountLimit, 30);

    // Request 38 keeps value + 1 blocks; a wrong size or an unserved code is refused.
    UCHAR latency = 4;
    EXPECT_EQ(this->Request(afe::kAfeLatency, &latency, 1), afe::kAfeOk);
    EXPECT_EQ(this->Context().Latency, 5);
    ASSERT_EQ(this->Request(afe::kAfeGetInfo, &info, sizeof info), afe::kAfeOk);
    EXPECT_EQ(info.LatencyLessOne, 4);
    EXPECT_EQ(this->Request(afe::kAfeLatency, &latency, 2), afe::kAfeRefused);
    EXPECT_EQ(this->Request(afe::kAfeNotServed), afe::kAfeRefused);
    EXPECT_EQ(this->Context().Latency, 5);
  });
}

TYPED_TEST_P(AfeContract, BlockReadyWhileTheReceiveCursorsDiffer) {
  this->harness_.Run([&] {
    this->PowerUp();
    ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
    ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
    EXPECT_EQ(this->Request(afe::kAfeBlockReady), afe::kAfeBlockWaiting);
    this->ServeBlock();
    EXPECT_EQ(this->Request(afe::kAfeBlockReady), afe::kAfeBlockWaiting) << "one more waits";
    this->ServeBlock();
    EXPECT_EQ(this->Request(afe::kAfeBlockReady), afe::kAfeOk);
  });
}

// Request 4 returns at once; the change lands when the block counter reaches
// latency + counter - 1, and the blocks then follow the new period. A new
// block length restarts the rings.
TYPED_TEST_P(AfeContract, RateChangeLandsAfterTheLatency) {
  struct Case {
    USHORT samples;
    USHORT hz;
    UCHAR latency_request;  // 0: the default latency 3
    int blocks_until_change;
    bool rings_restart;
  };
  for (const Case c :
       {Case{96, 8229, 0, 2, false}, Case{48, 7200, 0, 2, true}, Case{80, 8000, 4, 4, true}}) {
    SCOPED_TRACE(::testing::Message() << c.samples << " at " << c.hz);
    this->harness_.Run([&] {
      this->PowerUp();
      if (c.latency_request != 0) {
        UCHAR latency = c.latency_request;
        ASSERT_EQ(this->Request(afe::kAfeLatency, &latency, 1), afe::kAfeOk);
      }
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      ASSERT_EQ(this->RequestWord(afe::kAfeSetRate, ULONG{c.samples} << 16 | c.hz), afe::kAfeOk);
      EXPECT_EQ(this->CurrentRate().hz, 9600) << "not before a block boundary";
      std::uint64_t previous = plat::ke::CurrentKernel().Now();
      for (int block = 1; block < c.blocks_until_change; ++block) {
        ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
        const auto rate = this->CurrentRate();
        EXPECT_EQ(rate.hz, 9600) << "after " << block << " blocks";
        EXPECT_EQ(rate.samples, 96);
        const std::uint64_t now = plat::ke::CurrentKernel().Now();
        EXPECT_NEAR(static_cast<double>(now - previous), 10e6, 1e3) << "the old period";
        previous = now;
      }
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      const auto rate = this->CurrentRate();
      EXPECT_EQ(rate.hz, c.hz);
      EXPECT_EQ(rate.samples, c.samples);
      if (c.rings_restart) {
        EXPECT_EQ(this->Context().TxWriteCursor, 3);
        EXPECT_EQ(this->Context().Latency, 3);
        EXPECT_EQ(this->Request(afe::kAfeBlockReady), afe::kAfeOk) << "the rings started over";
      } else {
        EXPECT_EQ(this->Request(afe::kAfeBlockReady), afe::kAfeBlockWaiting);
      }
      // A front end whose deferred call waits for the codec to settle on the
      // new rate wakes the data pump late on the landing block, and a codec
      // that keeps its DMA running clocks the block after it partly across
      // the change: the new period is measured between the next two blocks.
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      previous = plat::ke::CurrentKernel().Now();
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      const double period_ns = 1e9 * c.samples / c.hz;
      EXPECT_NEAR(static_cast<double>(plat::ke::CurrentKernel().Now() - previous), period_ns, 1e3)
          << "the new period";
    });
  }
}

// Bit 24 tells the data pump the received blocks are no longer behind the
// transmitted ones: after a reset three transmit slots are ahead, so a data
// pump that keeps pace never sees it, and one that writes nothing sees it
// with the third block.
TYPED_TEST_P(AfeContract, BlocksQueuedBitWhenReceivedAreNotBehind) {
  this->harness_.Run([&] {
    this->PowerUp();
    for (int block = 1; block <= 10; ++block) {
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      this->ServeBlock();
      EXPECT_FALSE(this->BlocksQueued()) << "block " << block;
    }
  });
  this->harness_.Run([&] {
    this->PowerUp();
    for (int block = 1; block <= 3; ++block) {
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      EXPECT_EQ(this->BlocksQueued(), block == 3) << "block " << block;
    }
  });
}

// A positive adjustment (latency lowered) is the front end's to consume at
// its next block; a negative one is the data pump's and stays.
TYPED_TEST_P(AfeContract, PositiveLatencyAdjustmentIsConsumedByTheFrontEnd) {
  for (const std::int8_t adjustment : {std::int8_t{2}, std::int8_t{-2}}) {
    this->harness_.Run([&] {
      this->PowerUp();
      this->Context().LatencyAdjustment = adjustment;
      ASSERT_EQ(this->AwaitBlock(), STATUS_SUCCESS);
      EXPECT_EQ(this->Context().LatencyAdjustment, adjustment > 0 ? 0 : adjustment);
    });
  }
}

// Sound-path requests: the level first (only 24, 29, 30 and 37 above
// PASSIVE_LEVEL), then ProfileFlags bit 17 (its own code when clear), then
// the command.
TYPED_TEST_P(AfeContract, SoundPathGate) {
  struct Case {
    ULONG flags;
    KIRQL level;
    ULONG code;
    LONG result;
  };
  constexpr ULONG kOn = afe::kProfileSoundPath;
  const Case cases[] = {
      {0, PASSIVE_LEVEL, afe::kSoundStartLineStream, afe::kSoundStartLineStream},
      {0, PASSIVE_LEVEL, afe::kSoundQueryLineStream, afe::kSoundQueryLineStream},
      {0, DISPATCH_LEVEL, afe::kSoundStartLineStream, afe::kAfeRefused},
      {0, DISPATCH_LEVEL, afe::kSoundQueryLineStream, afe::kSoundQueryLineStream},
      {kOn, DISPATCH_LEVEL, afe::kSoundSuspend, afe::kAfeRefused},
      {kOn, DISPATCH_LEVEL, afe::kSoundQueryLineStream, afe::kSoundStreamStopped},
      {kOn, DISPATCH_LEVEL, afe::kSoundRequest37, afe::kSoundUnknown},
      {kOn, PASSIVE_LEVEL, 99, afe::kSoundUnknown},
      {kOn, PASSIVE_LEVEL, afe::kSoundStartLineStream, afe::kAfeOk},
  };
  this->harness_.Run([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "code " << c.code << " at IRQL " << int{c.level});
      this->harness_.ProfileFlags() = c.flags;
      KIRQL old = PASSIVE_LEVEL;
      if (c.level != PASSIVE_LEVEL) KeRaiseIrql(c.level, &old);
      EXPECT_EQ(this->Sound(c.code), c.result);
      if (c.level != PASSIVE_LEVEL) KeLowerIrql(old);
    }
    // Code 22 starts the line-to-application stream only with bit 1; 24 then answers 0.
    this->harness_.ProfileFlags() = afe::kProfileSoundPath;
    EXPECT_EQ(this->Sound(afe::kSoundStartLineStream), afe::kAfeOk);
    EXPECT_EQ(this->Sound(afe::kSoundQueryLineStream), afe::kSoundStreamStopped);
    this->harness_.ProfileFlags() = afe::kProfileSoundPath | afe::kProfileLineStreamStart;
    EXPECT_EQ(this->Sound(afe::kSoundStartLineStream), afe::kAfeOk);
    EXPECT_EQ(this->Sound(afe::kSoundQueryLineStream), afe::kAfeOk);
    EXPECT_EQ(this->Sound(afe::kSoundSuspend), afe::kAfeOk);
    EXPECT_EQ(this->Sound(afe::kSoundQueryLineStream), afe::kSoundStreamStopped);
  });
}

REGISTER_TYPED_TEST_SUITE_P(AfeContract, PowerUpResetsTheRingsToLatencyThree,
                            BlockReadyWhileTheReceiveCursorsDiffer, RateChangeLandsAfterTheLatency,
                            BlocksQueuedBitWhenReceivedAreNotBehind,
                            PositiveLatencyAdjustmentIsConsumedByTheFrontEnd, SoundPathGate);

}  // namespace pump::testing
