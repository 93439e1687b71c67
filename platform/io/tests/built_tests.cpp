#include "platform/ex/expool.h"
#include "platform/io/io_manager.h"
#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

class IoBuiltRequests : public IoTest {};

struct BuiltResult {
  NTSTATUS returned;
  IO_STATUS_BLOCK iosb;
  LONG event_state;
};

// Builds kTestCode with 4 bytes in and `output` out, sends it and waits when
// it is pending.
BuiltResult SendBuilt(PDEVICE_OBJECT device, ULONG input, std::span<UCHAR> output,
                      BOOLEAN internal = FALSE) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  iosb.Status = -1;
  PIRP irp =
      IoBuildDeviceIoControlRequest(kTestCode, device, &input, sizeof input, output.data(),
                                    static_cast<ULONG>(output.size()), internal, &event, &iosb);
  EXPECT_NE(irp, nullptr);
  EXPECT_EQ(irp->RequestorMode, KernelMode);
  const NTSTATUS returned = IoCallDriver(device, irp);
  if (returned == STATUS_PENDING)
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
  return {returned, iosb, KeReadStateEvent(&event)};
}

TEST_F(IoBuiltRequests, CompletedAtOnceFillsStatusBlockEventAndOutput) {
  Run([this] {
    TestDriver driver;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target");
    driver.Handle(device, [](PDEVICE_OBJECT, PIRP irp) {
      PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
      EXPECT_EQ(stack->MajorFunction, IRP_MJ_DEVICE_CONTROL);
      EXPECT_EQ(stack->Parameters.DeviceIoControl.InputBufferLength, 4u);
      EXPECT_EQ(stack->Parameters.DeviceIoControl.OutputBufferLength, 8u);
      auto* buffer = static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer);
      EXPECT_EQ(buffer[0], 0x222040u);
      buffer[0] = 0xAABBCCDD;
      buffer[1] = 0x11223344;
      return Complete(irp, STATUS_SUCCESS, 8);
    });
    ex::Pool& pool = machine.pool();
    UCHAR output[8] = {};
    const BuiltResult result = SendBuilt(device, 0x222040, output);
    EXPECT_EQ(result.returned, STATUS_SUCCESS);
    EXPECT_EQ(result.iosb.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.iosb.Information, 8u);
    EXPECT_EQ(result.event_state, 1);
    ULONG words[2];
    std::memcpy(words, output, sizeof words);
    EXPECT_EQ(words[0], 0xAABBCCDDu);
    EXPECT_EQ(words[1], 0x11223344u);
    // The request and its system buffer are gone.
    EXPECT_EQ(pool.LiveByTag(kRequestTag).blocks, 0u);
    EXPECT_EQ(pool.LiveByTag(kSystemBufferTag).blocks, 0u);
  });
}

TEST_F(IoBuiltRequests, PendingRequestCompletedByAWorker) {
  Run([this] {
    TestDriver driver;
    std::vector<PIRP> parked;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target", Park(parked));
    Spawn([&] {
      SleepMs(20);
      ASSERT_EQ(parked.size(), 1u);
      *static_cast<ULONG*>(parked[0]->AssociatedIrp.SystemBuffer) = 99;
      Complete(parked[0], STATUS_SUCCESS, 4);
    });
    const std::uint64_t start = machine.Now();
    UCHAR output[4] = {};
    const BuiltResult result = SendBuilt(device, 1, output, TRUE);
    EXPECT_EQ(result.returned, STATUS_PENDING);
    EXPECT_EQ(result.iosb.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.iosb.Information, 4u);
    ULONG word;
    std::memcpy(&word, output, 4);
    EXPECT_EQ(word, 99u);
    EXPECT_GE(machine.Now() - start, 20'000'000u);
  });
}

TEST_F(IoBuiltRequests, ErrorStatusCopiesNothingBack) {
  Run([] {
    TestDriver driver;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target", [](PDEVICE_OBJECT, PIRP irp) {
      std::memset(irp->AssociatedIrp.SystemBuffer, 0x55, 4);
      return Complete(irp, STATUS_UNSUCCESSFUL, 0);
    });
    UCHAR output[4] = {1, 2, 3, 4};
    const BuiltResult result = SendBuilt(device, 0, output);
    EXPECT_EQ(result.iosb.Status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(output[0], 1);
    EXPECT_EQ(output[3], 4);
  });
}

TEST_F(IoBuiltRequests, FaultKnobsReturnNull) {
  Run([this] {
    TestDriver driver;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target");
    IoFaults& faults = Faults(machine);
    faults.build_request.FailNth(1);
    IO_STATUS_BLOCK iosb{};
    EXPECT_EQ(IoBuildDeviceIoControlRequest(kTestCode, device, nullptr, 0, nullptr, 0, FALSE,
                                            nullptr, &iosb),
              nullptr);
    faults.allocate_irp.FailNth(1);
    EXPECT_EQ(IoAllocateIrp(1, FALSE), nullptr);
    PIRP irp = IoAllocateIrp(1, FALSE);
    ASSERT_NE(irp, nullptr);
    IoFreeIrp(irp);
    // Pool exhaustion gives null too, with nothing left allocated.
    machine.pool().FailTag(kSystemBufferTag);
    ULONG input = 0;
    EXPECT_EQ(IoBuildDeviceIoControlRequest(kTestCode, device, &input, 4, nullptr, 0, FALSE,
                                            nullptr, &iosb),
              nullptr);
    machine.pool().ClearFaults();
    EXPECT_EQ(machine.pool().LiveByTag(kRequestTag).blocks, 0u);
  });
}

}  // namespace
}  // namespace plat::io::testing
