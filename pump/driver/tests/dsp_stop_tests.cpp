// DspStop: the stop request, after a start, without one, and with a block
// handler that does not come back.
#include "platform/hal/instant.h"
#include "pump/context/block_tick.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {
namespace {

constexpr ULONG kVovProfileBytes = 332;

class DspStop : public DspRig {
 protected:
  void ExpectAllGone() {
    EXPECT_EQ(DspDevice(), nullptr);
    EXPECT_EQ(Named(kDspLinkName), nullptr);
    EXPECT_EQ(DdkBlocks(), 0u);
  }
};

TEST_F(DspStop, AStopWritesTheProfileFreesEverythingAndTakesTheFrontEndDown) {
  BootOnVxafe();
  ASSERT_TRUE(TheController().started());
  OnKernelThread([&] {
    TheController().Double().WritePowerState(0xD0);
    TheController().Double().Exchange(0x60, {0});
  });
  sim.RunFor(200 * plat::hal::kMillisecond);
  EXPECT_FALSE(ServiceValueBytes(u"VOVProfile").has_value());
  ASSERT_NE(Named(u"\\Device\\VexorTolvasaSound"), nullptr);

  OnKernelThread([&] { EXPECT_EQ(TheController().Stop(), STATUS_SUCCESS); });
  EXPECT_EQ(ServiceValueBytes(u"VOVProfile"), kVovProfileBytes);
  ExpectAllGone();
  for (const PCWSTR name : {u"\\Device\\VexorTolvasaAfe", u"\\Device\\VexorTolvasaSound",
                            u"\\Device\\VexorTolvasaDiagnostic"}) {
    EXPECT_EQ(Named(name), nullptr) << "the front end's stop ran";
  }
}

// Without a completed start there is no thread to stop and no profile to
// write, but the stop still goes down and the device goes.
TEST_F(DspStop, AStopWithoutACompletedStartStillGoesDownAndDeletesTheDevice) {
  for (const bool refused_start : {false, true}) {
    SCOPED_TRACE(refused_start ? "the front end refused the start" : "never started");
    BootOnFake();
    if (refused_start) {
      Fake().start_status = STATUS_UNSUCCESSFUL;
      OnKernelThread([&] { ASSERT_EQ(Start().status, STATUS_UNSUCCESSFUL); });
    }
    OnKernelThread([&] { EXPECT_EQ(Stop().status, STATUS_SUCCESS); });
    EXPECT_EQ(SeenByFake(IOCTL_MODEM_STOP), 1);
    EXPECT_FALSE(Fake().device_exists());
    EXPECT_FALSE(ServiceValueBytes(u"VOVProfile").has_value());
    ExpectAllGone();
    machine_->Shutdown();
  }
}

// A block handler that waits on the machine's gate event.
struct Wedge {
  KEVENT gate;
  bool inside = false;
};

void WedgedBlockTick(DspContext& context) {
  Wedge& wedge = plat::ke::CurrentKernel().slots().Get<Wedge>();
  wedge.inside = true;
  KeWaitForSingleObject(&wedge.gate, Executive, KernelMode, FALSE, nullptr);
  wedge.inside = false;
  BlockTick(context);
}

// A stop whose thread does not end frees nothing the thread can reach and
// goes no further; once the handler comes back, the next stop succeeds.
TEST_F(DspStop, AWedgedBlockHandlerTimesTheStopOutWithNothingFreed) {
  BootOnFake(Controller::kStarted);
  ASSERT_TRUE(TheController().started());
  Wedge& wedge = kernel().slots().Get<Wedge>();
  DspDeviceExtension& e = Extension();
  OnKernelThread([&] {
    KeInitializeEvent(&wedge.gate, NotificationEvent, FALSE);
    e.context.block_entry = WedgedBlockTick;
    TheController().Double().Exchange(0x60, {0});
    Fake().Front()->Step();
  });
  ASSERT_TRUE(wedge.inside);
  const std::size_t blocks = DdkBlocks();
  HostInterface* const host = e.events.HostInterface;

  const std::uint64_t before = sim.Now();
  OnKernelThread([&] { EXPECT_EQ(TheController().Stop(), STATUS_TIMEOUT); });
  EXPECT_GE(sim.Now() - before, 5 * plat::hal::kSecond);
  EXPECT_LT(sim.Now() - before, 6 * plat::hal::kSecond);
  ASSERT_NE(DspDevice(), nullptr);
  EXPECT_NE(Named(kDspLinkName), nullptr);
  EXPECT_EQ(e.events.HostInterface, host);
  EXPECT_NE(e.block_thread, nullptr);
  EXPECT_EQ(DdkBlocks(), blocks);
  EXPECT_EQ(SeenByFake(IOCTL_MODEM_STOP), 0);
  EXPECT_TRUE(Fake().device_exists());
  EXPECT_FALSE(ServiceValueBytes(u"VOVProfile").has_value());

  OnKernelThread([&] {
    KeSetEvent(&wedge.gate, IO_NO_INCREMENT, FALSE);
    EXPECT_EQ(TheController().Stop(), STATUS_SUCCESS);
  });
  EXPECT_FALSE(wedge.inside);
  EXPECT_EQ(SeenByFake(IOCTL_MODEM_STOP), 1);
  EXPECT_EQ(ServiceValueBytes(u"VOVProfile"), kVovProfileBytes);
  ExpectAllGone();
}

}  // namespace
}  // namespace pump::testing
