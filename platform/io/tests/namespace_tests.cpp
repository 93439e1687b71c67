#include "platform/io/io_manager.h"
#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

class IoNamespace : public IoTest {};

NTSTATUS OpenStatus(const char16_t* name) {
  PFILE_OBJECT file = nullptr;
  const NTSTATUS status = OpenDevice(name, UserMode, &file);
  if (NT_SUCCESS(status)) CloseFile(file, UserMode);
  return status;
}

NTSTATUS Unlink(const char16_t* link) {
  UNICODE_STRING link_name = Name(link);
  return IoDeleteSymbolicLink(&link_name);
}

TEST_F(IoNamespace, NamesResolveThroughLinksWithoutCase) {
  Run([] {
    TestDriver driver;
    PDEVICE_OBJECT modem = driver.Create(u"\\Device\\Modem");
    ASSERT_EQ(Link(u"\\DosDevices\\Modem0", u"\\Device\\Modem"), STATUS_SUCCESS);
    ASSERT_EQ(Link(u"\\??\\Alias", u"\\DosDevices\\MODEM0"), STATUS_SUCCESS);
    ASSERT_EQ(Link(u"\\??\\Dangling", u"\\Device\\Nothing"), STATUS_SUCCESS);
    const struct {
      const char16_t* name;
      NTSTATUS status;
    } cases[] = {
        {u"\\Device\\Modem", STATUS_SUCCESS},
        {u"\\DEVICE\\mOdEm", STATUS_SUCCESS},
        {u"\\??\\Modem0", STATUS_SUCCESS},
        {u"\\DosDevices\\modem0", STATUS_SUCCESS},
        {u"\\??\\alias", STATUS_SUCCESS},  // a link to a link
        {u"\\??\\Dangling", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\Device\\Modem1", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\Device", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"Device\\Modem", STATUS_OBJECT_NAME_INVALID},
        {u"", STATUS_OBJECT_NAME_INVALID},
    };
    for (const auto& c : cases) {
      PFILE_OBJECT file = nullptr;
      EXPECT_EQ(OpenDevice(c.name, UserMode, &file), c.status) << Narrow(c.name);
      if (file != nullptr) {
        EXPECT_EQ(file->DeviceObject, modem);
        CloseFile(file, UserMode);
      }
    }
  });
}

TEST_F(IoNamespace, CollisionsAndDeletions) {
  Run([] {
    TestDriver driver;
    driver.Create(u"\\Device\\Modem");
    ASSERT_EQ(Link(u"\\DosDevices\\COM3", u"\\Device\\Modem"), STATUS_SUCCESS);
    // The link exists under every spelling of its name.
    EXPECT_EQ(Link(u"\\??\\com3", u"\\Device\\Other"), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(Link(u"\\Device\\MODEM", u"\\Device\\Other"), STATUS_OBJECT_NAME_COLLISION);
    UNICODE_STRING taken = Name(u"\\dosdevices\\Com3");
    PDEVICE_OBJECT device = nullptr;
    EXPECT_EQ(IoCreateDevice(driver.object(), 0, &taken, FILE_DEVICE_UNKNOWN, 0, FALSE, &device),
              STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(device, nullptr);
    // A device's own name is no link.
    EXPECT_EQ(Unlink(u"\\Device\\Modem"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(OpenStatus(u"\\Device\\Modem"), STATUS_SUCCESS);

    EXPECT_EQ(Unlink(u"\\??\\COM3"), STATUS_SUCCESS);
    EXPECT_EQ(OpenStatus(u"\\DosDevices\\COM3"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Unlink(u"\\??\\COM3"), STATUS_OBJECT_NAME_NOT_FOUND);
    // The name is free again.
    EXPECT_EQ(Link(u"\\??\\COM3", u"\\Device\\Modem"), STATUS_SUCCESS);
    EXPECT_EQ(OpenStatus(u"\\??\\COM3"), STATUS_SUCCESS);
  });
}

TEST_F(IoNamespace, FaultKnobsFailLinksByOrderOrName) {
  Run([this] {
    TestDriver driver;
    driver.Create(u"\\Device\\Modem");
    NamedFault& fault = Faults(machine).create_link;
    fault.FailNth(2, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Link(u"\\??\\A", u"\\Device\\Modem"), STATUS_SUCCESS);
    EXPECT_EQ(Link(u"\\??\\B", u"\\Device\\Modem"), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Link(u"\\??\\B", u"\\Device\\Modem"), STATUS_SUCCESS);
    fault.FailName(u"\\DosDevices\\c", STATUS_ACCESS_DENIED);
    EXPECT_EQ(Link(u"\\??\\C", u"\\Device\\Modem"), STATUS_ACCESS_DENIED);
    EXPECT_EQ(Link(u"\\??\\D", u"\\Device\\Modem"), STATUS_SUCCESS);
    EXPECT_EQ(OpenStatus(u"\\??\\C"), STATUS_OBJECT_NAME_NOT_FOUND);
    fault.Clear();
    EXPECT_EQ(Link(u"\\??\\C", u"\\Device\\Modem"), STATUS_SUCCESS);
  });
}

}  // namespace
}  // namespace plat::io::testing
