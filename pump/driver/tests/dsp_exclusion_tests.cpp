// DspExclusion: block work and controller calls never run at once, however
// the calls arrive (threads at several priorities, a DPC), and a failed
// floating-point save skips only its own piece of work.
#include <cstdint>
#include <random>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/ke/dpc.h"
#include "platform/ke/interrupt.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/packets/dp_packets.h"

namespace pump::testing {
namespace {

using plat::hal::kMillisecond;

// The machine's overlap check, wrapped around the context's two entries.
struct Overlap {
  ContextRoutine block = nullptr;
  ContextRoutine controller = nullptr;
  int inside = 0;
  int overlaps = 0;
  int ticks = 0;
  int dispatches = 0;
  int contended = 0;         // controller calls made while block work was inside
  ULONG block_stall_us = 0;  // time the block work takes, so calls fall into it
  std::uint64_t first_dispatch_end = 0;
  std::uint64_t first_tick = 0;
};

Overlap& OverlapOf() { return plat::ke::CurrentKernel().slots().Get<Overlap>(); }

void Enter(Overlap& o) {
  if (++o.inside != 1) ++o.overlaps;
}

void CheckedBlockEntry(DspContext& context) {
  Overlap& o = OverlapOf();
  Enter(o);
  if (o.ticks++ == 0) o.first_tick = plat::ke::CurrentKernel().Now();
  // The work takes time, with clock reads in it at which DPCs run and
  // higher priorities take the processor.
  for (ULONG us = 0; us < o.block_stall_us; us += 100) {
    KeStallExecutionProcessor(100);
    KeQueryInterruptTime();
  }
  o.block(context);
  --o.inside;
}

void CheckedControllerEntry(DspContext& context) {
  Overlap& o = OverlapOf();
  Enter(o);
  ++o.dispatches;
  o.controller(context);
  --o.inside;
  if (o.first_dispatch_end == 0) o.first_dispatch_end = plat::ke::CurrentKernel().Now();
}

NTSTATUS NotedControllerCall(DspContext* context) {
  Overlap& o = OverlapOf();
  if (o.inside != 0) ++o.contended;
  return ControllerCall(context);
}

class DspExclusion : public DspRig {
 protected:
  // The fake front end with the test controller started; both entries checked.
  void BootChecked() {
    BootOnFake(Controller::kStarted);
    ASSERT_TRUE(TheController().started());
    DspContext& context = *TheController().Context();
    Overlap& o = kernel().slots().Get<Overlap>();
    o = Overlap{context.block_entry, context.controller_entry};
    context.block_entry = CheckedBlockEntry;
    context.controller_entry = CheckedControllerEntry;
    TheController().Host().wake_callback = NotedControllerCall;
  }
  Overlap& Check() { return kernel().slots().Get<Overlap>(); }
  ::pump::DspExclusion& Exclusion() { return Extension().exclusion; }
  int VersionAnswers() {
    int n = 0;
    for (const ReceivedPacket& p : TheController().Double().TakePackets()) {
      n += p.code == kDpVersionInfo;
    }
    return n;
  }
};

TEST_F(DspExclusion, BlocksReadyBeforeTheFirstControllerCallWaitForItsEnd) {
  BootChecked();
  OnKernelThread([&] {
    for (int i = 0; i < 3; ++i) Fake().Front()->Step();
  });
  sim.RunFor(100 * kMillisecond);
  EXPECT_EQ(Check().ticks, 0);
  OnKernelThread([&] { TheController().Double().Exchange(0x60, {0}); });
  sim.RunFor(100 * kMillisecond);
  EXPECT_EQ(Check().dispatches, 1);
  EXPECT_EQ(Check().ticks, 3);
  EXPECT_GE(Check().first_tick, Check().first_dispatch_end);
  EXPECT_EQ(Check().overlaps, 0);
}

// One caller of the interleavings: posts the version query at seeded
// instants until the end, counting what it posted.
struct Caller {
  std::mt19937* rng;
  std::uint64_t end;
  int posted = 0;
  KPRIORITY priority;
};

void CallerThread(PVOID start) {
  Caller& caller = *static_cast<Caller*>(start);
  KeSetPriorityThread(KeGetCurrentThread(), caller.priority);
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  ControllerDouble& controller = TestControllerOf(kernel).Double();
  while (kernel.Now() < caller.end) {
    LARGE_INTEGER wait;
    // 0.1 ms to 3 ms, in 100 ns units.
    wait.QuadPart = -1'000LL * std::uniform_int_distribution<int>(1, 30)(*caller.rng);
    KeDelayExecutionThread(KernelMode, FALSE, &wait);
    caller.posted += controller.Post(0x94);
  }
}

// The DPC caller: re-arms its timer at a seeded instant until the end.
struct DpcCaller {
  KDPC dpc;
  KTIMER timer;
  std::mt19937* rng;
  std::uint64_t end;
  int posted = 0;
};

void Arm(DpcCaller& caller) {
  LARGE_INTEGER due;
  due.QuadPart = -10'000LL * std::uniform_int_distribution<int>(1, 7)(*caller.rng) -
                 std::uniform_int_distribution<int>(0, 9'999)(*caller.rng);
  KeSetTimerEx(&caller.timer, due, 0, &caller.dpc);
}

void CallerDpc(PKDPC, PVOID context, PVOID, PVOID) {
  DpcCaller& caller = *static_cast<DpcCaller*>(context);
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  caller.posted += TestControllerOf(kernel).Double().Post(0x94);
  if (kernel.Now() < caller.end) Arm(caller);
}

TEST_F(DspExclusion, CallsFromThreadsAndADpcNeverOverlapTheBlockWork) {
  constexpr int kSeeds = 8;
  constexpr KPRIORITY kPriorities[] = {8, 16, 24, 30};
  int deferrals = 0, contended = 0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE(seed);
    BootChecked();
    std::mt19937 rng(static_cast<std::uint32_t>(seed));
    Check().block_stall_us = 1'500;
    const std::uint64_t end = sim.Now() + 1'000 * kMillisecond;
    std::vector<Caller> callers;
    for (const KPRIORITY priority : kPriorities) callers.push_back({&rng, end, 0, priority});
    DpcCaller dpc{};
    dpc.rng = &rng;
    dpc.end = end;
    std::vector<PKTHREAD> threads;
    OnKernelThread([&] {
      TheController().Double().Exchange(0x60, {0});
      afe::AfeInterface& front = Fake().Front()->Interface();
      front.AfeStartDma(front.Context);
      KeInitializeDpc(&dpc.dpc, CallerDpc, &dpc);
      KeInitializeTimer(&dpc.timer);
      Arm(dpc);
      for (Caller& caller : callers) {
        PKTHREAD thread = nullptr;
        ASSERT_EQ(kernel().CreateSystemThread("caller", CallerThread, &caller, &thread),
                  STATUS_SUCCESS);
        threads.push_back(thread);
      }
    });
    sim.RunFor(end - sim.Now() + 20 * kMillisecond);
    OnKernelThread([&] {
      for (PKTHREAD thread : threads) {
        KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
        ObDereferenceObject(thread);
      }
      KeCancelTimer(&dpc.timer);
    });
    sim.RunFor(20 * kMillisecond);

    const Overlap& o = Check();
    EXPECT_EQ(o.overlaps, 0);
    EXPECT_GT(o.ticks, 90);
    const ::pump::DspExclusion& exclusion = Exclusion();
    EXPECT_EQ(exclusion.deferred, 0) << "every deferred dispatch ran";
    EXPECT_EQ(exclusion.deferred_runs, exclusion.deferrals);
    int posted = dpc.posted;
    for (const Caller& caller : callers) posted += caller.posted;
    EXPECT_GT(dpc.posted, 0);
    EXPECT_EQ(VersionAnswers(), posted) << "every packet is answered";
    deferrals += exclusion.deferrals;
    contended += o.contended;
    machine_->Shutdown();
  }
  // The seeds did bring calls into block work, both kinds.
  EXPECT_GT(deferrals, 0);
  EXPECT_GT(contended, deferrals) << "threads waited for block work too";
}

// A failed save skips the work of its own entry only: the block still
// advances, the controller call runs nothing and reports the failure.
TEST_F(DspExclusion, AFailedFloatingPointSaveSkipsOnlyItsOwnWork) {
  BootChecked();
  ControllerDouble& controller = TheController().Double();
  HostInterface& host = TheController().Host();
  DspContext& context = *TheController().Context();
  OnKernelThread([&] { controller.Exchange(0x60, {0}); });
  const int dispatches = Check().dispatches;
  const LONG cursor = Fake().Front()->Context().RxReadCursor;

  OnKernelThread([&] {
    kernel().faults().float_save.FailNth(1);
    for (int i = 0; i < 3; ++i) Fake().Front()->Step();
  });
  sim.RunFor(50 * kMillisecond);
  EXPECT_EQ(Check().ticks, 2) << "one block's tick skipped";
  EXPECT_EQ(Fake().Front()->Context().RxReadCursor, (cursor + 3) % 16) << "all three advanced";

  OnKernelThread([&] {
    kernel().faults().float_save.FailNth(1);
    EXPECT_TRUE(controller.Post(0x94));
    EXPECT_EQ(VersionAnswers(), 0);
    kernel().faults().float_save.FailNth(1);
    EXPECT_EQ(host.wake_callback(&context), STATUS_ILLEGAL_FLOAT_CONTEXT);
    EXPECT_EQ(VersionAnswers(), 0);
    EXPECT_EQ(Check().dispatches, dispatches);
    EXPECT_EQ(host.wake_callback(&context), STATUS_SUCCESS);
    EXPECT_EQ(VersionAnswers(), 1);
  });
  EXPECT_EQ(Check().overlaps, 0);
}

}  // namespace
}  // namespace pump::testing
