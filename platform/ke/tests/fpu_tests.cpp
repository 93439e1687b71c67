#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cstdint>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

std::uint16_t X87ControlWord() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void SetX87ControlWord(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

constexpr std::uint32_t kControlBits = 0xFFC0;  // MXCSR without its sticky flags
constexpr std::uint32_t kTowardZeroFlushDaz = 0x6000 | 0x8000 | 0x0040 | 0x1F80;

// The save installs the default environment whatever the caller had set,
// and the restore gives the caller its own back.
TEST(KeFloatingPoint, SaveSetsDefaultsAndRestoreReturnsTheCallers) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    const std::uint32_t caller_mxcsr = _mm_getcsr();
    const std::uint16_t caller_x87 = X87ControlWord();
    _mm_setcsr(kTowardZeroFlushDaz);
    SetX87ControlWord(0x0C7F);  // round toward zero, single precision, all masked
    KFLOATING_SAVE save;
    ASSERT_EQ(KeSaveFloatingPointState(&save), STATUS_SUCCESS);
    EXPECT_EQ(_mm_getcsr() & kControlBits, 0x1F80u);
    EXPECT_EQ(X87ControlWord(), 0x037F);
    volatile float tiny = 1e-39f;  // a denormal survives: no flush to zero
    EXPECT_NE(tiny * 1.0f, 0.0f);
    ASSERT_EQ(KeRestoreFloatingPointState(&save), STATUS_SUCCESS);
    EXPECT_EQ(_mm_getcsr() & kControlBits, kTowardZeroFlushDaz & kControlBits);
    EXPECT_EQ(X87ControlWord(), 0x0C7F);
    _mm_setcsr(caller_mxcsr);
    SetX87ControlWord(caller_x87);
  }));
}

// Each context keeps its own floating-point environment across switches.
TEST(KeFloatingPoint, EnvironmentBelongsToTheContext) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::uint32_t seen_by_other = 0;
  std::uint32_t own_after = 0;
  ASSERT_TRUE(sim.RunUserThread(machine, "changer", [&] {
    machine.CreateUserThread(
        "other", [&] { seen_by_other = _mm_getcsr() & kControlBits; }, nullptr);
    const std::uint32_t before = _mm_getcsr();
    _mm_setcsr(kTowardZeroFlushDaz);
    testing::SleepNs(testing::kMs);
    own_after = _mm_getcsr() & kControlBits;
    _mm_setcsr(before);
  }));
  EXPECT_EQ(seen_by_other, 0x1F80u);
  EXPECT_EQ(own_after, kTowardZeroFlushDaz & kControlBits);
}

// The fault knob fails the chosen saves with STATUS_ILLEGAL_FLOAT_CONTEXT
// and leaves the environment alone; a failed save needs no restore.
TEST(KeFloatingPoint, SaveFaults) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    KFLOATING_SAVE save;
    machine.faults().float_save.FailNth(2);
    const NTSTATUS expected[] = {STATUS_SUCCESS, STATUS_ILLEGAL_FLOAT_CONTEXT, STATUS_SUCCESS};
    for (const NTSTATUS status : expected) {
      EXPECT_EQ(KeSaveFloatingPointState(&save), status);
      if (NT_SUCCESS(status)) {
        EXPECT_EQ(KeRestoreFloatingPointState(&save), STATUS_SUCCESS);
      }
    }
    machine.faults().float_save.FailEvery();
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(KeSaveFloatingPointState(&save), STATUS_ILLEGAL_FLOAT_CONTEXT);
    machine.faults().float_save.Clear();
    EXPECT_EQ(KeSaveFloatingPointState(&save), STATUS_SUCCESS);
    EXPECT_EQ(KeRestoreFloatingPointState(&save), STATUS_SUCCESS);
  }));
}

}  // namespace
}  // namespace plat::ke
