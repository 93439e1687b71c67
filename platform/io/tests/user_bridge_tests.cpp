#include "platform/io/io_manager.h"
#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

class IoUserBridge : public IoTest {};

TEST_F(IoUserBridge, BufferedCopiesFollowInformationAndStatus) {
  struct Case {
    ULONG in, out;
    ULONG_PTR information;
    NTSTATUS status;
    ULONG copied;  // bytes of the caller's output that change
  };
  const Case cases[] = {
      {0, 8, 8, STATUS_SUCCESS, 8},         {0, 8, 3, STATUS_SUCCESS, 3},
      {16, 4, 4, STATUS_SUCCESS, 4},        {4, 16, 0, STATUS_SUCCESS, 0},
      {8, 8, 8, STATUS_BUFFER_OVERFLOW, 8},  // a warning still returns data
      {8, 8, 0, STATUS_UNSUCCESSFUL, 0},    {0, 8, 0, STATUS_CANCELLED, 0},
      {0, 0, 0, STATUS_SUCCESS, 0},
  };
  for (const Case& c : cases) {
    OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel& machine) {
      ULONG system_buffer_bytes = 0;
      PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target", [&](PDEVICE_OBJECT, PIRP irp) {
        if (IoGetCurrentIrpStackLocation(irp)->MajorFunction != IRP_MJ_DEVICE_CONTROL) {
          return Complete(irp, STATUS_SUCCESS);
        }
        EXPECT_EQ(irp->RequestorMode, UserMode);
        auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
        system_buffer_bytes = std::max(c.in, c.out);
        for (ULONG i = 0; i < c.in; ++i) EXPECT_EQ(buffer[i], 0x10 + i);  // input copied in
        for (ULONG i = 0; i < system_buffer_bytes; ++i) buffer[i] = static_cast<UCHAR>(0xA0 + i);
        return Complete(irp, c.status, c.information);
      });
      (void)device;
      std::vector<UCHAR> input(c.in);
      for (ULONG i = 0; i < c.in; ++i) input[i] = static_cast<UCHAR>(0x10 + i);
      std::vector<UCHAR> output(c.out, 0xEE);
      PFILE_OBJECT file = Open(u"\\Device\\Target");
      const Transfer result =
          FileDeviceControl(file, UserMode, kTestCode, std::as_bytes(std::span(input)),
                            std::as_writable_bytes(std::span(output)));
      EXPECT_EQ(result.status, c.status);
      EXPECT_EQ(result.information, c.information);
      for (ULONG i = 0; i < c.out; ++i) {
        EXPECT_EQ(output[i], i < c.copied ? 0xA0 + i : 0xEE)
            << "in " << c.in << " out " << c.out << " byte " << i;
      }
      CloseFile(file, UserMode);
      EXPECT_EQ(machine.pool().LiveByTag(kRequestTag).blocks, 0u);
      EXPECT_EQ(machine.pool().LiveByTag(kSystemBufferTag).blocks, 0u);
    });
  }
}

TEST_F(IoUserBridge, TwoThreadsOutstandingOnOneFile) {
  Run([this] {
    TestDriver driver;
    std::vector<PIRP> parked;
    driver.Create(u"\\Device\\Target", Park(parked, {IRP_MJ_DEVICE_CONTROL}));
    PFILE_OBJECT file = Open(u"\\Device\\Target");
    ULONG results[2] = {};
    NTSTATUS statuses[2] = {-1, -1};
    std::uint64_t finished[2] = {};
    for (int t = 0; t < 2; ++t) {
      Spawn([&, t] {
        const ULONG tag = 100 + t;
        const Transfer result =
            FileDeviceControl(file, UserMode, kTestCode, Bytes(&tag, 4),
                              std::as_writable_bytes(std::span(&results[t], 1)));
        statuses[t] = result.status;
        finished[t] = machine.Now();
      });
    }
    SleepMs(1);
    ASSERT_EQ(parked.size(), 2u);
    EXPECT_EQ(PendingRequests(file).size(), 2u);
    // The second caller's request completes first; each caller gets its own.
    for (int i : {1, 0}) {
      SleepMs(5);
      auto* word = static_cast<ULONG*>(parked[i]->AssociatedIrp.SystemBuffer);
      *word += 1000;
      Complete(parked[i], i == 0 ? STATUS_SUCCESS : STATUS_TIMEOUT, 4);
    }
    SleepMs(1);
    EXPECT_EQ(statuses[0], STATUS_SUCCESS);
    EXPECT_EQ(statuses[1], STATUS_TIMEOUT);
    EXPECT_EQ(results[0], 1100u);
    EXPECT_EQ(results[1], 1101u);
    EXPECT_LT(finished[1], finished[0]);
    EXPECT_TRUE(PendingRequests(file).empty());
    CloseFile(file, UserMode);
  });
}

// A request still with the driver at cleanup holds the file: the close
// comes only once the request has ended.
TEST_F(IoUserBridge, PendingRequestDelaysTheClose) {
  Run([this] {
    TestDriver driver;
    std::vector<PIRP> parked;
    PDEVICE_OBJECT device =
        driver.Create(u"\\Device\\Target", Park(parked, {IRP_MJ_DEVICE_CONTROL}));
    PFILE_OBJECT file = Open(u"\\Device\\Target");
    Spawn([&] { FileDeviceControl(file, UserMode, kTestCode, {}, {}); });
    SleepMs(1);
    CloseFile(file, UserMode);
    EXPECT_EQ(driver.Seen(device),
              (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_DEVICE_CONTROL, IRP_MJ_CLEANUP}));
    Complete(parked[0], STATUS_CANCELLED);
    SleepMs(1);
    EXPECT_EQ(driver.Seen(device).back(), IRP_MJ_CLOSE);
  });
}

}  // namespace
}  // namespace plat::io::testing
