#include <algorithm>
#include <optional>

#include "platform/io/tests/io_test_driver.h"
#include "platform/ke/object.h"

namespace plat::io::testing {
namespace {

class IoDevices : public IoTest {};

bool Alive(plat::ke::Kernel& machine, const char* type) {
  const auto objects = machine.LiveObjects();
  return std::any_of(objects.begin(), objects.end(), [&](const std::string& line) {
    return line.find(std::string(" ") + type + " ") != std::string::npos;
  });
}

TEST_F(IoDevices, NewDeviceIsInitialisingZeroedAndAlone) {
  Run([] {
    TestDriver driver;
    UNICODE_STRING name = Name(u"\\Device\\Fresh");
    PDEVICE_OBJECT device = nullptr;
    ASSERT_EQ(IoCreateDevice(driver.object(), 64, &name, 0x8002, 0, TRUE, &device), STATUS_SUCCESS);
    EXPECT_EQ(device->Flags, ULONG{DO_DEVICE_INITIALIZING | DO_EXCLUSIVE});
    EXPECT_EQ(device->DeviceType, 0x8002u);
    EXPECT_EQ(device->StackSize, 1);
    EXPECT_EQ(device->DriverObject, driver.object());
    EXPECT_EQ(driver.object()->DeviceObject, device);
    const auto* extension = static_cast<const unsigned char*>(device->DeviceExtension);
    EXPECT_TRUE(std::all_of(extension, extension + 64, [](unsigned char b) { return b == 0; }));
    // Opens wait until the driver has finished setting the device up.
    PFILE_OBJECT file = nullptr;
    EXPECT_EQ(OpenDevice(u"\\Device\\Fresh", UserMode, &file), STATUS_NO_SUCH_DEVICE);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    EXPECT_EQ(OpenDevice(u"\\Device\\Fresh", UserMode, &file), STATUS_SUCCESS);
    CloseFile(file, UserMode);
    IoDeleteDevice(device);
    EXPECT_EQ(driver.object()->DeviceObject, nullptr);
  });
}

TEST_F(IoDevices, ExclusiveDeviceRefusesSecondOpen) {
  Run([] {
    TestDriver driver;
    PDEVICE_OBJECT exclusive = driver.Create(u"\\Device\\Exclusive", {}, TRUE);
    PDEVICE_OBJECT shared = driver.Create(u"\\Device\\Shared", {}, FALSE);
    PFILE_OBJECT first = Open(u"\\Device\\Exclusive");
    PFILE_OBJECT second = nullptr;
    EXPECT_EQ(OpenDevice(u"\\Device\\Exclusive", UserMode, &second), STATUS_ACCESS_DENIED);
    EXPECT_EQ(driver.Seen(exclusive), (std::vector<UCHAR>{IRP_MJ_CREATE}));
    CloseFile(first, UserMode);
    PFILE_OBJECT again = Open(u"\\Device\\Exclusive");
    CloseFile(again, UserMode);

    PFILE_OBJECT a = Open(u"\\Device\\Shared");
    PFILE_OBJECT b = Open(u"\\Device\\Shared");
    EXPECT_EQ(shared->ReferenceCount, 2);
    CloseFile(a, UserMode);
    CloseFile(b, UserMode);
    EXPECT_EQ(shared->ReferenceCount, 0);
  });
}

TEST_F(IoDevices, DeletedDeviceLivesOnWhileAFileIsOpen) {
  Run([this] {
    TestDriver driver;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Going");
    UNICODE_STRING link = Name(u"\\??\\Going");
    UNICODE_STRING target = Name(u"\\Device\\Going");
    ASSERT_EQ(IoCreateSymbolicLink(&link, &target), STATUS_SUCCESS);
    PFILE_OBJECT file = Open(u"\\??\\Going");
    IoDeleteDevice(device);
    EXPECT_TRUE(Alive(machine, "Device"));

    PFILE_OBJECT other = nullptr;
    EXPECT_EQ(OpenDevice(u"\\Device\\Going", UserMode, &other), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(OpenDevice(u"\\??\\Going", UserMode, &other), STATUS_OBJECT_NAME_NOT_FOUND);
    // Transfers on the open file no longer reach the driver; cleanup and close do.
    unsigned char byte = 0;
    EXPECT_EQ(FileRead(file, UserMode, std::as_writable_bytes(std::span(&byte, 1))).status,
              STATUS_DELETE_PENDING);
    CloseFile(file, UserMode);
    EXPECT_EQ(driver.Seen(device),
              (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE}));
    EXPECT_FALSE(Alive(machine, "Device"));
  });
}

TEST_F(IoDevices, DeletedDeviceLivesOnWhileADeviceIsAttachedAbove) {
  Run([this] {
    TestDriver driver;
    PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
    PDEVICE_OBJECT upper = driver.Create(u"\\Device\\Upper");
    driver.Handle(upper, [lower](PDEVICE_OBJECT, PIRP irp) { return PassDown(lower, irp); });
    ASSERT_EQ(IoAttachDeviceToDeviceStack(upper, lower), lower);
    PFILE_OBJECT file = Open(u"\\Device\\Upper");
    IoDeleteDevice(lower);
    // The attached device can still pass requests down.
    EXPECT_EQ(FileFlush(file, UserMode).status, STATUS_SUCCESS);
    EXPECT_EQ(driver.Seen(lower), (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_FLUSH_BUFFERS}));
    // Nothing new attaches to a device being deleted.
    PDEVICE_OBJECT late = driver.Create(nullptr);
    EXPECT_EQ(IoAttachDeviceToDeviceStack(late, upper), upper);
    IoDetachDevice(upper);
    IoDeleteDevice(late);
    CloseFile(file, UserMode);
    IoDetachDevice(lower);
    IoDeleteDevice(upper);
    EXPECT_FALSE(Alive(machine, "Device"));
  });
}

// The serial device's naming: "\Device\SerialTest" + n for the first free n
// of 0..9, a collision moving on, any other failure ending the search.
NTSTATUS CreateNumbered(PDRIVER_OBJECT driver, int* number) {
  for (int n = 0; n <= 9; ++n) {
    std::u16string text =
        u"\\Device\\SerialTest" + std::u16string(1, static_cast<char16_t>(u'0' + n));
    UNICODE_STRING name = Name(text.c_str());
    PDEVICE_OBJECT device = nullptr;
    const NTSTATUS status =
        IoCreateDevice(driver, 0, &name, FILE_DEVICE_SERIAL_PORT, 0, TRUE, &device);
    if (status == STATUS_OBJECT_NAME_COLLISION) continue;
    *number = NT_SUCCESS(status) ? n : -1;
    return status;
  }
  return STATUS_INSUFFICIENT_RESOURCES;
}

TEST_F(IoDevices, NumberingLoopMovesPastCollisions) {
  struct Case {
    int taken;                        // devices 0..taken-1 exist
    std::optional<int> failing_name;  // this number fails by the name knob
    NTSTATUS status;
    std::optional<int> failing_nth;  // the n-th creation of the loop fails
    NTSTATUS expected;
    int number;
  };
  const Case cases[] = {
      {0, {}, 0, {}, STATUS_SUCCESS, 0},
      {1, {}, 0, {}, STATUS_SUCCESS, 1},
      {4, {}, 0, {}, STATUS_SUCCESS, 4},
      {10, {}, 0, {}, STATUS_INSUFFICIENT_RESOURCES, -1},
      {0, 0, STATUS_OBJECT_NAME_COLLISION, {}, STATUS_SUCCESS, 1},
      {2, 2, STATUS_OBJECT_NAME_COLLISION, {}, STATUS_SUCCESS, 3},
      {0, 0, STATUS_INSUFFICIENT_RESOURCES, {}, STATUS_INSUFFICIENT_RESOURCES, -1},
      {0, {}, 0, 1, STATUS_SUCCESS, 1},
  };
  for (const Case& c : cases) {
    OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel& machine) {
      int ignored = 0;
      for (int i = 0; i < c.taken; ++i)
        ASSERT_EQ(CreateNumbered(driver.object(), &ignored), STATUS_SUCCESS);
      NamedFault& fault = Faults(machine).create_device;
      if (c.failing_name) {
        std::u16string text = u"\\device\\serialtest" +
                              std::u16string(1, static_cast<char16_t>(u'0' + *c.failing_name));
        fault.FailName(text, c.status);
      }
      if (c.failing_nth) fault.FailNth(*c.failing_nth, STATUS_OBJECT_NAME_COLLISION);
      int number = -1;
      EXPECT_EQ(CreateNumbered(driver.object(), &number), c.expected) << "taken " << c.taken;
      EXPECT_EQ(number, c.number) << "taken " << c.taken;
      while (driver.object()->DeviceObject != nullptr)
        IoDeleteDevice(driver.object()->DeviceObject);
    });
  }
}

}  // namespace
}  // namespace plat::io::testing
