// The interrupt service and the deferred call: unequal DMA periods, the
// Diagnostic owner, ProfileFlags bit 24 and the off-hook sequence.
#include <gtest/gtest.h>

#include <vector>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/tests/afe_rig.h"
#include "afe/windows/tests/fake_pump.h"
#include "platform/win32/files.h"

namespace afe::testing {
namespace {

class AfeIsr : public AfeRig {
 protected:
  AfeInterface& StartPoweredUp() {
    AfeInterface& afe = *StartOrFail();
    Locked(afe, [](AfeContext& context) { PowerUp(context); });
    return afe;
  }
};

// Counts what reaches it on the shared line, that is, every interrupt the
// front end reported as not handled.
BOOLEAN CountUnclaimed(PKINTERRUPT, PVOID context) {
  ++*static_cast<int*>(context);
  return FALSE;
}

// When the receive engine runs behind the transmit one, each period's
// transmit interrupt finds the two DMA periods unequal: it moves nothing and
// is not handled, although it cleared its status bit; the receive interrupt
// then moves the block.
TEST_F(AfeIsr, UnequalDmaPeriodsAreNotHandled) {
  for (const std::uint32_t skew : {0u, 10u}) {
    SCOPED_TRACE(skew);
    plat::MachineConfig config;
    config.controller.receive_skew = skew;
    BootAfe(config);
    OnKernelThread([&] {
      AfeInterface& afe = *StartOrFail();
      const AfeDeviceExtension& e = Extension();
      int unclaimed = 0;
      PKINTERRUPT spy = nullptr;
      ASSERT_EQ(IoConnectInterrupt(&spy, CountUnclaimed, &unclaimed, nullptr, e.InterruptVector,
                                   e.InterruptLevel, e.InterruptLevel, LevelSensitive, TRUE,
                                   e.InterruptAffinity, FALSE),
                STATUS_SUCCESS);
      Locked(afe, [](AfeContext& context) { PowerUp(context); });
      for (int block = 0; block < 20; ++block) ASSERT_TRUE(AwaitBlock(events_));
      EXPECT_EQ(afe.Context->BlockCounter, 20);
      EXPECT_EQ(unclaimed, skew == 0 ? 0 : 20) << "one transmit interrupt per period";
      IoDisconnectInterrupt(spy);
    });
    machine().Shutdown();
  }
}

// While a client holds the Diagnostic device, blocks still move but the
// data pump is not woken.
TEST_F(AfeIsr, TheDiagnosticOwnerBlocksTheDeferredCall) {
  BootAfe();
  AfeInterface* afe = nullptr;
  OnKernelThread([&] {
    afe = &StartPoweredUp();
    ASSERT_TRUE(AwaitBlock(events_));
  });
  HANDLE diagnostic = INVALID_HANDLE_VALUE;
  OnUserThread([&] {
    diagnostic =
        CreateFile(u"\\\\.\\VexorTolvasaDiagnostic", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0);
    ASSERT_NE(diagnostic, INVALID_HANDLE_VALUE);
  });
  OnKernelThread([&] {
    AwaitBlock(events_);  // a deferred call already queued may still come
    const LONG counter = afe->Context->BlockCounter;
    EXPECT_FALSE(AwaitBlock(events_)) << "no wake-up for a virtual second";
    EXPECT_GE(afe->Context->BlockCounter, counter + 99) << "the interrupt kept moving blocks";
  });
  OnUserThread([&] { CloseHandle(diagnostic); });
  OnKernelThread([&] { EXPECT_TRUE(AwaitBlock(events_)); });
}

// Bit 24 is set once received blocks are not behind transmitted ones and is
// never cleared by the front end; the other bits are kept.
TEST_F(AfeIsr, ProfileFlagsBit24IsSetNeverCleared) {
  BootAfe();
  OnKernelThread([&] {
    profile_flags_ = kProfileSoundPath | kProfileLineStreamStart;
    AfeInterface& afe = StartPoweredUp();
    for (int block = 1; block <= 3; ++block) {
      ASSERT_TRUE(AwaitBlock(events_));
      EXPECT_EQ((profile_flags_ & kProfileBlocksQueued) != 0, block == 3) << "block " << block;
    }
    // The pump catches up: the balance is negative again, the bit stays.
    FakePump pump(afe, events_, 5);
    pump.Run(10);
    EXPECT_LT(afe.Context->BlockBalance, 0);
    EXPECT_EQ(profile_flags_, kProfileSoundPath | kProfileLineStreamStart | kProfileBlocksQueued);
  });
}

// Line on starts the off-hook sequence; each deferred call steps it. The
// register 65 bits after the step that reaches each count:
TEST_F(AfeIsr, OffHookSequence) {
  struct Step {
    ULONG counter;
    UCHAR bits;  // of register 65: 3, 5, 6, 7
  };
  constexpr UCHAR b3 = regs::kOffHookPulse, b5 = regs::kOffHookBit5, b6 = regs::kOffHookBit6;
  const std::vector<Step> table = {
      {2, 0}, {4, 0}, {5, b3}, {25, b3}, {26, 0}, {49, 0}, {50, b5}, {51, b5 | b6}, {77, b5 | b6},
  };
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = StartPoweredUp();
    Locked(afe, [](AfeContext& context) {
      WriteRegister(*context.State, regs::kOffHookOutputs,
                    regs::kOffHookBit7 | regs::kOffHookPulse);
      LineOn(context);
      EXPECT_EQ(context.State->OffHookCounter, 1u);
      EXPECT_EQ(ReadRegister(*context.State, regs::kOffHookOutputs), regs::kOffHookBit7)
          << "line on clears bit 3";
      EXPECT_EQ(ReadRegister(*context.State, regs::kHook) & regs::kLineOn, regs::kLineOn);
    });
    std::vector<Step> seen;  // after each deferred service
    do {
      ASSERT_TRUE(AwaitBlock(events_));
      seen.push_back({afe.Context->State->OffHookCounter,
                      ReadRegister(*afe.Context->State, regs::kOffHookOutputs)});
    } while (seen.back().counter != 0 && seen.size() < 100);
    ASSERT_EQ(seen.size(), 77u) << "counts 2 to 77, then 78 ends the sequence";
    EXPECT_EQ(seen.back().bits, 0) << "bits 5 and 6 cleared at the end";
    for (const Step& step : table) {
      SCOPED_TRACE(step.counter);
      EXPECT_EQ(seen[step.counter - 2].counter, step.counter);
      EXPECT_EQ(seen[step.counter - 2].bits, step.bits) << "bit 7 cleared from the first step";
    }
  });
  machine().Shutdown();
  // Nothing runs while the line monitor is off or a test mode is active.
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = StartPoweredUp();
    Locked(afe, [](AfeContext& context) {
      context.State->LineMonitor = 0;
      LineOn(context);
    });
    for (int service = 0; service < 10; ++service) ASSERT_TRUE(AwaitBlock(events_));
    EXPECT_EQ(afe.Context->State->OffHookCounter, 1u);
    Locked(afe, [](AfeContext& context) {
      LineOff(context);
      context.State->TestModeActive = 1;
      LineOn(context);
      EXPECT_EQ(context.State->OffHookCounter, 0u);
    });
  });
}

}  // namespace
}  // namespace afe::testing
