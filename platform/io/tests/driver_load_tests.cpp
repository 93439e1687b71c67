#include <string>

#include "platform/io/tests/io_test_driver.h"
#include "platform/ke/context.h"

namespace plat::io::testing {
namespace {

class IoDriverLoad : public IoTest {};

// What the entry and unload routines of the drivers below saw.
struct Observed {
  std::u16string path;
  std::u16string name;
  PKTHREAD thread = nullptr;
  bool system_thread = false;
  KIRQL level = HIGH_LEVEL;
  int unloads = 0;
  PDEVICE_OBJECT device = nullptr;
};
Observed* observed = nullptr;

void Observe(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
  observed->path.assign(path->Buffer, path->Length / 2);
  observed->name.assign(driver->DriverName.Buffer, driver->DriverName.Length / 2);
  observed->thread = KeGetCurrentThread();
  observed->level = KeGetCurrentIrql();
  observed->system_thread = plat::ke::CurrentContextOrNull()->kind == plat::ke::ContextKind::System;
}

NTSTATUS CreateOnlyEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
  Observe(driver, path);
  driver->MajorFunction[IRP_MJ_CREATE] = driver->MajorFunction[IRP_MJ_CLOSE] =
      [](PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS); };
  driver->DriverUnload = [](PDRIVER_OBJECT driver) {
    ++observed->unloads;
    observed->system_thread =
        plat::ke::CurrentContextOrNull()->kind == plat::ke::ContextKind::System;
    IoDeleteDevice(driver->DeviceObject);
  };
  UNICODE_STRING name = Name(u"\\Device\\Loaded");
  EXPECT_EQ(IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &observed->device),
            STATUS_SUCCESS);
  return STATUS_SUCCESS;
}

NTSTATUS FailingEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
  Observe(driver, path);
  return STATUS_UNSUCCESSFUL;
}

TEST_F(IoDriverLoad, EntryRunsOnASystemThreadWithTheServicePath) {
  Observed seen;
  observed = &seen;
  Run([&] {
    PDRIVER_OBJECT driver = nullptr;
    ASSERT_EQ(LoadDriver(DriverImage{u"vxtest", CreateOnlyEntry}, &driver), STATUS_SUCCESS);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(seen.path, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxtest");
    EXPECT_EQ(seen.name, u"\\Driver\\vxtest");
    EXPECT_TRUE(seen.system_thread);
    EXPECT_EQ(seen.level, PASSIVE_LEVEL);
    EXPECT_NE(seen.thread, KeGetCurrentThread());
    // Devices made while loading are ready once the entry returned.
    EXPECT_EQ(seen.device->Flags & DO_DEVICE_INITIALIZING, 0u);
    EXPECT_EQ(driver->DeviceObject, seen.device);

    // Unset dispatch entries refuse the request.
    seen.device->Flags |= DO_BUFFERED_IO;
    PFILE_OBJECT file = Open(u"\\Device\\Loaded");
    unsigned char byte;
    EXPECT_EQ(FileRead(file, UserMode, std::as_writable_bytes(std::span(&byte, 1))).status,
              STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(FileDeviceControl(file, UserMode, kTestCode, {}, {}).status,
              STATUS_INVALID_DEVICE_REQUEST);
    CloseFile(file, UserMode);

    seen.system_thread = false;
    EXPECT_EQ(UnloadDriver(driver), STATUS_SUCCESS);
    EXPECT_EQ(seen.unloads, 1);
    EXPECT_TRUE(seen.system_thread);
    PFILE_OBJECT gone = nullptr;
    EXPECT_EQ(OpenDevice(u"\\Device\\Loaded", UserMode, &gone), STATUS_OBJECT_NAME_NOT_FOUND);
  });
  EXPECT_EQ(machine.pool().Live().blocks, 0u) << machine.pool().LeakReport();
}

TEST_F(IoDriverLoad, FailingEntryLeavesNoDriver) {
  Observed seen;
  observed = &seen;
  Run([&] {
    PDRIVER_OBJECT driver = reinterpret_cast<PDRIVER_OBJECT>(1);
    EXPECT_EQ(LoadDriver(DriverImage{u"broken", FailingEntry}, &driver), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(driver, nullptr);
    EXPECT_EQ(seen.name, u"\\Driver\\broken");
  });
  for (const std::string& line : machine.LiveObjects()) {
    EXPECT_EQ(line.find("Driver"), std::string::npos) << line;
  }
  EXPECT_EQ(machine.pool().Live().blocks, 0u) << machine.pool().LeakReport();
}

TEST_F(IoDriverLoad, ThreadCreationFailureFailsTheLoad) {
  Observed seen;
  observed = &seen;
  Run([&] {
    machine.faults().thread_creation.FailNth(1);
    PDRIVER_OBJECT driver = nullptr;
    EXPECT_EQ(LoadDriver(DriverImage{u"vxtest", CreateOnlyEntry}, &driver),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(seen.thread, nullptr);
  });
}

TEST_F(IoDriverLoad, DriverWithoutUnloadStays) {
  Run([] {
    PDRIVER_OBJECT driver = nullptr;
    ASSERT_EQ(LoadDriver(DriverImage{u"sticky", [](PDRIVER_OBJECT,
                                                   PUNICODE_STRING) { return STATUS_SUCCESS; }},
                         &driver),
              STATUS_SUCCESS);
    EXPECT_EQ(UnloadDriver(driver), STATUS_INVALID_DEVICE_REQUEST);
  });
}

// The configuration record belongs to the machine: serial drivers count
// their ports there, and two modems in one process count apart.
TEST(IoSmallServices, ConfigurationIsPerMachineAndClaimsSucceed) {
  plat::Simulation sim;
  plat::ke::Kernel& a = sim.AddMachine("A");
  plat::ke::Kernel& b = sim.AddMachine("B");
  sim.RunUserThread(a, "test", [] {
    IoGetConfigurationInformation()->SerialCount += 2;
    BOOLEAN conflict = TRUE;
    CM_RESOURCE_LIST empty{};
    UNICODE_STRING name = Name(u"LOADED SERIAL DRIVER RESOURCES");
    EXPECT_EQ(IoReportResourceUsage(&name, nullptr, &empty, sizeof empty, nullptr, nullptr, 0,
                                    FALSE, &conflict),
              STATUS_SUCCESS);
    EXPECT_EQ(conflict, FALSE);
    PCM_RESOURCE_LIST allocated = &empty;
    EXPECT_EQ(IoAssignResources(nullptr, &name, nullptr, nullptr, nullptr, &allocated),
              STATUS_SUCCESS);
    EXPECT_EQ(allocated, nullptr);
  });
  sim.RunUserThread(b, "test", [] { EXPECT_EQ(IoGetConfigurationInformation()->SerialCount, 0u); });
  sim.RunUserThread(a, "test", [] { EXPECT_EQ(IoGetConfigurationInformation()->SerialCount, 2u); });
}

}  // namespace
}  // namespace plat::io::testing
