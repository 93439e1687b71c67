#include "platform/io/io_manager.h"
#include "platform/io/tests/io_test_driver.h"
#include "platform/win32/files.h"

namespace plat::io::testing {
namespace {

class IoUserBridge : public IoTest {};

HANDLE OpenUser(const char16_t* name) {
  HANDLE handle = CreateFile(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  return handle;
}

TEST_F(IoUserBridge, BufferedCopiesFollowInformationAndStatus) {
  struct Case {
    ULONG in, out;
    ULONG_PTR information;
    NTSTATUS status;
    BOOL result;
    DWORD returned;  // what the caller is told
    ULONG copied;    // bytes of the caller's output that change
    DWORD error;
  };
  const Case cases[] = {
      {0, 8, 8, STATUS_SUCCESS, TRUE, 8, 8, 0},
      {0, 8, 3, STATUS_SUCCESS, TRUE, 3, 3, 0},
      {16, 4, 4, STATUS_SUCCESS, TRUE, 4, 4, 0},
      {4, 16, 0, STATUS_SUCCESS, TRUE, 0, 0, 0},
      {8, 8, 8, STATUS_BUFFER_OVERFLOW, FALSE, 8, 8, ERROR_MORE_DATA},  // a warning returns data
      {8, 8, 0, STATUS_UNSUCCESSFUL, FALSE, 0, 0, ERROR_GEN_FAILURE},
      {0, 8, 4, STATUS_BUFFER_TOO_SMALL, FALSE, 0, 0, ERROR_INSUFFICIENT_BUFFER},
      {0, 0, 0, STATUS_SUCCESS, TRUE, 0, 0, 0},
  };
  for (const Case& c : cases) {
    OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel& machine) {
      driver.Create(u"\\Device\\Target", [&](PDEVICE_OBJECT, PIRP irp) {
        if (IoGetCurrentIrpStackLocation(irp)->MajorFunction != IRP_MJ_DEVICE_CONTROL) {
          return Complete(irp, STATUS_SUCCESS);
        }
        EXPECT_EQ(irp->RequestorMode, UserMode);
        auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
        for (ULONG i = 0; i < c.in; ++i) EXPECT_EQ(buffer[i], 0x10 + i);  // input copied in
        for (ULONG i = 0; i < std::max(c.in, c.out); ++i) buffer[i] = static_cast<UCHAR>(0xA0 + i);
        return Complete(irp, c.status, c.information);
      });
      ASSERT_EQ(Link(u"\\DosDevices\\Target", u"\\Device\\Target"), STATUS_SUCCESS);
      std::vector<UCHAR> input(c.in);
      for (ULONG i = 0; i < c.in; ++i) input[i] = static_cast<UCHAR>(0x10 + i);
      std::vector<UCHAR> output(c.out, 0xEE);
      HANDLE handle = OpenUser(u"\\\\.\\target");
      SetLastError(0);
      DWORD returned = 0xFFFF;
      EXPECT_EQ(DeviceIoControl(handle, kTestCode, input.data(), c.in, output.data(), c.out,
                                &returned, nullptr),
                c.result);
      EXPECT_EQ(returned, c.returned);
      EXPECT_EQ(GetLastError(), c.error);
      for (ULONG i = 0; i < c.out; ++i) {
        EXPECT_EQ(output[i], i < c.copied ? 0xA0 + i : 0xEE)
            << "in " << c.in << " out " << c.out << " byte " << i;
      }
      EXPECT_TRUE(CloseHandle(handle));
      EXPECT_EQ(machine.pool().LiveByTag(kRequestTag).blocks, 0u);
      EXPECT_EQ(machine.pool().LiveByTag(kSystemBufferTag).blocks, 0u);
    });
  }
}

TEST_F(IoUserBridge, ReadsAndWritesCarryTheirLengths) {
  Run([] {
    TestDriver driver;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Port", [](PDEVICE_OBJECT, PIRP irp) {
      PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
      switch (stack->MajorFunction) {
        case IRP_MJ_WRITE:
          EXPECT_EQ(stack->Parameters.Write.Length, 5u);
          EXPECT_EQ(std::memcmp(irp->AssociatedIrp.SystemBuffer, "hello", 5), 0);
          return Complete(irp, STATUS_SUCCESS, 4);  // took four of the five
        case IRP_MJ_READ:
          EXPECT_EQ(stack->Parameters.Read.Length, 8u);
          std::memcpy(irp->AssociatedIrp.SystemBuffer, "OK\r\n", 4);
          return Complete(irp, STATUS_SUCCESS, 4);
      }
      return Complete(irp, STATUS_SUCCESS);
    });
    ASSERT_EQ(Link(u"\\??\\COM7", u"\\Device\\Port"), STATUS_SUCCESS);
    HANDLE port = OpenUser(u"\\\\.\\COM7");
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(port, "hello", 5, &count, nullptr));
    EXPECT_EQ(count, 4u);
    char in[8] = {};
    EXPECT_TRUE(ReadFile(port, in, sizeof in, &count, nullptr));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(in, 4), "OK\r\n");
    EXPECT_TRUE(FlushFileBuffers(port));
    EXPECT_TRUE(CloseHandle(port));
    EXPECT_EQ(driver.Seen(device),
              (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_WRITE, IRP_MJ_READ, IRP_MJ_FLUSH_BUFFERS,
                                  IRP_MJ_CLEANUP, IRP_MJ_CLOSE}));
  });
}

TEST_F(IoUserBridge, ErrorsMapAsTheSystemMapsThem) {
  const struct {
    NTSTATUS status;
    DWORD error;
  } statuses[] = {
      {STATUS_UNSUCCESSFUL, 31},
      {STATUS_BUFFER_TOO_SMALL, 122},
      {STATUS_CANCELLED, 995},
      {STATUS_INVALID_DEVICE_REQUEST, 1},
      {STATUS_INVALID_PARAMETER, 87},
      {STATUS_NO_SUCH_DEVICE, 2},
      {STATUS_INSUFFICIENT_RESOURCES, 1450},
      {STATUS_NO_MEMORY, 8},
      {NtStatus(0xC0000206), 1784},  // STATUS_INVALID_BUFFER_SIZE
      {STATUS_REGISTRY_IO_FAILED, 1016},
      {STATUS_INVALID_DEVICE_STATE, 22},
      {NtStatus(0xC0001234), 317},  // no error of its own
  };
  Run([&] {
    TestDriver driver;
    NTSTATUS answer = STATUS_SUCCESS;
    driver.Create(u"\\Device\\Target", [&](PDEVICE_OBJECT, PIRP irp) {
      const bool control =
          IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_DEVICE_CONTROL;
      return Complete(irp, control ? answer : STATUS_SUCCESS);
    });
    driver.Create(u"\\Device\\Alone", {}, TRUE);
    Link(u"\\??\\Target", u"\\Device\\Target");
    Link(u"\\??\\Alone", u"\\Device\\Alone");
    HANDLE handle = OpenUser(u"\\\\.\\Target");
    for (const auto& s : statuses) {
      answer = s.status;
      DWORD returned;
      EXPECT_FALSE(DeviceIoControl(handle, kTestCode, nullptr, 0, nullptr, 0, &returned, nullptr));
      EXPECT_EQ(GetLastError(), s.error) << std::hex << s.status;
      EXPECT_EQ(RtlNtStatusToDosError(s.status), s.error);
    }
    // Opens and handles.
    HANDLE alone = OpenUser(u"\\\\.\\Alone");
    const struct {
      const char16_t* name;
      DWORD flags;
      DWORD error;
    } opens[] = {
        {u"\\\\.\\Missing", 0, ERROR_FILE_NOT_FOUND},
        {u"\\\\.\\Alone", 0, ERROR_ACCESS_DENIED},  // exclusive and open
        {u"C:\\modem.log", 0, ERROR_FILE_NOT_FOUND},
        {u"\\\\.\\Target", FILE_FLAG_OVERLAPPED, ERROR_NOT_SUPPORTED},
    };
    for (const auto& o : opens) {
      EXPECT_EQ(CreateFile(o.name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, o.flags, 0),
                INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), o.error) << Narrow(o.name);
    }
    DWORD returned;
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(DeviceIoControl(event, kTestCode, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReadFile(0x7FF0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
    CloseHandle(alone);
    CloseHandle(handle);
  });
}

TEST_F(IoUserBridge, TwoThreadsOutstandingOnOneHandle) {
  Run([this] {
    TestDriver driver;
    std::vector<PIRP> parked;
    driver.Create(u"\\Device\\Target", Park(parked, {IRP_MJ_DEVICE_CONTROL}));
    Link(u"\\??\\Target", u"\\Device\\Target");
    HANDLE handle = OpenUser(u"\\\\.\\Target");
    ULONG results[2] = {};
    BOOL answers[2] = {-1, -1};
    DWORD errors[2] = {};
    std::uint64_t finished[2] = {};
    for (int t = 0; t < 2; ++t) {
      SpawnUser([&, t] {
        ULONG tag = 100 + t;
        DWORD returned;
        answers[t] =
            DeviceIoControl(handle, kTestCode, &tag, 4, &results[t], 4, &returned, nullptr);
        errors[t] = GetLastError();
        finished[t] = machine.Now();
      });
    }
    SleepMs(1);
    ASSERT_EQ(parked.size(), 2u);
    // The second caller's request completes first; each caller gets its own.
    for (int i : {1, 0}) {
      SleepMs(5);
      *static_cast<ULONG*>(parked[i]->AssociatedIrp.SystemBuffer) += 1000;
      Complete(parked[i], i == 0 ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL, 4);
    }
    SleepMs(1);
    EXPECT_EQ(answers[0], TRUE);
    EXPECT_EQ(answers[1], FALSE);
    EXPECT_EQ(errors[1], ERROR_GEN_FAILURE);
    EXPECT_EQ(results[0], 1100u);
    EXPECT_EQ(results[1], 0u);  // an error copies nothing back
    EXPECT_LT(finished[1], finished[0]);
    EXPECT_TRUE(CloseHandle(handle));
  });
}

// A request still with the driver at cleanup holds the file: the close
// comes only once the request has ended.
TEST_F(IoUserBridge, PendingRequestDelaysTheClose) {
  Run([] {
    TestDriver driver;
    std::vector<PIRP> parked;
    PDEVICE_OBJECT device =
        driver.Create(u"\\Device\\Target", Park(parked, {IRP_MJ_DEVICE_CONTROL}));
    Link(u"\\??\\Target", u"\\Device\\Target");
    HANDLE handle = OpenUser(u"\\\\.\\Target");
    SpawnUser([&] {
      DWORD returned;
      DeviceIoControl(handle, kTestCode, nullptr, 0, nullptr, 0, &returned, nullptr);
    });
    SleepMs(1);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(driver.Seen(device),
              (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_DEVICE_CONTROL, IRP_MJ_CLEANUP}));
    Complete(parked[0], STATUS_CANCELLED);
    SleepMs(1);
    EXPECT_EQ(driver.Seen(device).back(), IRP_MJ_CLOSE);
  });
}

}  // namespace
}  // namespace plat::io::testing
