// DspStart: the start request against a front end scripted by the test.
#include "platform/win32/files.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {
namespace {

class DspStart : public DspRig {};

// The front end's answer decides the start; the controller gets the
// context's address whatever the status.
TEST_F(DspStart, TheFrontEndsAnswerDecidesAndTheContextComesBackInEveryCase) {
  struct Row {
    const char* what;
    NTSTATUS afe_status;
    ULONG_PTR afe_information;
    NTSTATUS status;
  };
  for (const Row row : {
           Row{"started", STATUS_SUCCESS, 8, STATUS_SUCCESS},
           Row{"a failure is kept", STATUS_UNSUCCESSFUL, 0, STATUS_UNSUCCESSFUL},
           Row{"so is any other", STATUS_NO_SUCH_DEVICE, 0, STATUS_NO_SUCH_DEVICE},
           Row{"no answer", STATUS_SUCCESS, 0, STATUS_INSUFFICIENT_RESOURCES},
           Row{"half an address", STATUS_SUCCESS, 4, STATUS_INSUFFICIENT_RESOURCES},
       }) {
    SCOPED_TRACE(row.what);
    BootOnFake();
    Fake().start_status = row.afe_status;
    Fake().start_information = row.afe_information;
    const std::size_t before = DdkBlocks();
    OnKernelThread([&] {
      const StartReply reply = Start();
      EXPECT_EQ(reply.status, row.status);
      EXPECT_EQ(reply.information, sizeof(void*));
      EXPECT_EQ(reply.answer, &Extension().context);
    });
    DspDeviceExtension& e = Extension();
    // The front end got the event block in place of the callback.
    ASSERT_EQ(SeenByFake(IOCTL_MODEM_START), 1);
    EXPECT_EQ(Fake().LentEvents(), &e.events);
    EXPECT_EQ(e.start_state, kDspStartHandled);
    EXPECT_EQ(e.previous_start_state, kDspStarting);
    const bool started = row.status == STATUS_SUCCESS;
    EXPECT_EQ(e.started, started ? 1 : 0);
    EXPECT_EQ(e.block_thread != nullptr, started);
    EXPECT_EQ(e.events.HostInterface != nullptr, started);
    if (started) {
      EXPECT_EQ(e.context.host, e.events.HostInterface);
      EXPECT_EQ(e.context.afe, e.events.AfeAccess);
      EXPECT_EQ(e.events.ProfileFlags, &e.context.profile.flags);
      EXPECT_EQ(e.context.host->wake_callback, &ControllerCall);
      EXPECT_EQ(e.context.host->controller_callback, &ControllerDouble::Callback);
    } else {
      EXPECT_EQ(DdkBlocks(), before) << "a failed start keeps nothing";
    }
    machine_->Shutdown();
  }
}

TEST_F(DspStart, AFailedThreadCreationFailsAndCreateAndCloseStayLocal) {
  BootOnFake();
  const std::size_t before = DdkBlocks();
  OnKernelThread([&] {
    const StartReply reply =
        Start(&ControllerDouble::Callback, [&] { kernel().faults().thread_creation.FailNth(1); });
    EXPECT_EQ(reply.status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(reply.answer, &Extension().context);
  });
  EXPECT_EQ(Extension().started, 0);
  EXPECT_EQ(Extension().block_thread, nullptr);
  EXPECT_EQ(DdkBlocks(), before);
  const int creates = SeenMajorByFake(IRP_MJ_CREATE);
  OpenAndClose();
  EXPECT_EQ(SeenMajorByFake(IRP_MJ_CREATE), creates);
  EXPECT_EQ(SeenMajorByFake(IRP_MJ_CLOSE), creates);
}

// Every pool allocation of the start fails once in turn. Without the host
// interface or the profile path the start fails with nothing left behind;
// a registry read buffer that cannot be had only leaves its value unread.
TEST_F(DspStart, EachAllocationFailureLeavesNothingBehind) {
  bool hit_host = false, hit_path = false;
  for (std::uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    BootOnFake();
    const std::size_t before = DdkBlocks();
    bool failed = false, essential = false;
    kernel().pool().SetObserver([&](const plat::ex::PoolEvent& event) {
      if (!event.failed) return;
      failed = true;
      const bool host = event.type == NonPagedPool && event.bytes == sizeof(HostInterface);
      const bool path = event.type == PagedPool && event.bytes == 500;
      hit_host |= host;
      hit_path |= path;
      essential = host || path;
    });
    OnKernelThread([&] {
      const StartReply reply =
          Start(&ControllerDouble::Callback, [&] { kernel().pool().FailNthAllocation(n); });
      kernel().pool().ClearFaults();
      EXPECT_EQ(reply.status, essential ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS);
      EXPECT_EQ(reply.answer, &Extension().context);
    });
    kernel().pool().SetObserver(nullptr);
    if (essential) {
      EXPECT_EQ(DdkBlocks(), before);
      EXPECT_EQ(Extension().started, 0);
      EXPECT_EQ(Extension().block_thread, nullptr);
      EXPECT_EQ(Fake().Front() != nullptr, true) << "the front end itself started";
    }
    machine_->Shutdown();
    if (!failed) break;
  }
  EXPECT_TRUE(hit_host);
  EXPECT_TRUE(hit_path);
}

TEST_F(DspStart, ASecondStartIsRefusedAndChangesNothing) {
  BootOnFake();
  OnKernelThread([&] { ASSERT_EQ(Start().status, STATUS_SUCCESS); });
  DspDeviceExtension& e = Extension();
  const DspDeviceExtension kept = e;
  const std::size_t blocks = DdkBlocks();
  OnKernelThread([&] {
    const StartReply second = Start();
    EXPECT_EQ(second.status, STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(second.information, 0u);
  });
  EXPECT_EQ(SeenByFake(IOCTL_MODEM_START), 1) << "not passed on";
  EXPECT_EQ(e.block_thread, kept.block_thread);
  EXPECT_EQ(e.events.HostInterface, kept.events.HostInterface);
  EXPECT_EQ(e.context.host, kept.context.host);
  EXPECT_EQ(e.start_state, kept.start_state);
  EXPECT_EQ(e.previous_start_state, kept.previous_start_state);
  EXPECT_EQ(e.started, 1);
  EXPECT_EQ(DdkBlocks(), blocks);
}

TEST_F(DspStart, StartAndStopFromUserModeAreRefused) {
  BootOnFake();
  OnUserThread([] {
    const HANDLE dsp = CreateFile(u"\\\\.\\VexorTolvasaDsp", GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, 0);
    ASSERT_NE(dsp, INVALID_HANDLE_VALUE);
    for (const DWORD code : {IOCTL_MODEM_START, IOCTL_MODEM_STOP}) {
      void* buffer[1] = {};
      DWORD returned = 0;
      EXPECT_FALSE(DeviceIoControl(dsp, code, buffer, sizeof buffer, buffer, sizeof buffer,
                                   &returned, nullptr));
      EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
      EXPECT_EQ(buffer[0], nullptr) << "no address goes out";
    }
    CloseHandle(dsp);
  });
  EXPECT_EQ(SeenByFake(IOCTL_MODEM_START) + SeenByFake(IOCTL_MODEM_STOP), 0);
  ASSERT_NE(DspDevice(), nullptr) << "the stop deleted nothing";
  EXPECT_EQ(Extension().start_state, kDspNotStarted);
  // The controller still starts it.
  OnKernelThread([&] { EXPECT_EQ(Start().status, STATUS_SUCCESS); });
}

TEST_F(DspStart, ShortBuffersAreRefusedBeforeAnythingStarts) {
  BootOnFake();
  OnKernelThread([&] {
    void* buffer[1] = {};
    EXPECT_EQ(Control(IOCTL_MODEM_START, buffer, 4, buffer, sizeof buffer).status,
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Control(IOCTL_MODEM_START, buffer, sizeof buffer, buffer, 4).status,
              STATUS_INVALID_PARAMETER);
  });
  EXPECT_EQ(SeenByFake(IOCTL_MODEM_START), 0);
  EXPECT_EQ(Extension().start_state, kDspNotStarted);
}

}  // namespace
}  // namespace pump::testing
