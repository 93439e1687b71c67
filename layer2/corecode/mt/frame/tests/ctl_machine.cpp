#include "layer2/corecode/mt/frame/tests/ctl_machine.h"

#include <gtest/gtest.h>

#include "afe/windows/afe_contract.h"
#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/io/io_manager.h"
#include "platform/reg/machine_registry.h"
#include "pump/driver/dsp_device.h"

namespace vxctl::testing {
namespace {

constexpr std::uint64_t kMinute = 60'000'000'000ULL;
constexpr PCWSTR kTakerDevice = u"\\Device\\NameTaker";

NameTaker& Taker() { return plat::ke::CurrentKernel().slots().Get<NameTaker>(); }
FakeDsp& Dsp() { return plat::ke::CurrentKernel().slots().Get<FakeDsp>(); }

UNICODE_STRING Counted(const std::u16string& text) {
  return {static_cast<USHORT>(text.size() * sizeof(WCHAR)),
          static_cast<USHORT>(text.size() * sizeof(WCHAR)), const_cast<PWSTR>(text.c_str())};
}

void TakerUnload(PDRIVER_OBJECT driver) {
  for (const std::u16string& link : Taker().links) {
    UNICODE_STRING name = Counted(link);
    IoDeleteSymbolicLink(&name);
  }
  while (driver->DeviceObject != nullptr) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS TakerEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  UNICODE_STRING own;
  RtlInitUnicodeString(&own, kTakerDevice);
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status = IoCreateDevice(driver, 0, &own, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  for (const std::u16string& extra : Taker().devices) {
    UNICODE_STRING name = Counted(extra);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    EXPECT_EQ(status, STATUS_SUCCESS);
  }
  for (const std::u16string& link : Taker().links) {
    UNICODE_STRING name = Counted(link);
    EXPECT_EQ(IoCreateSymbolicLink(&name, &own), STATUS_SUCCESS);
  }
  driver->DriverUnload = TakerUnload;
  return STATUS_SUCCESS;
}

NTSTATUS FakeDspControl(PDEVICE_OBJECT, PIRP irp) {
  FakeDsp& dsp = Dsp();
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  NTSTATUS status = STATUS_SUCCESS;
  if (code == afe::IOCTL_MODEM_START) {
    ++dsp.starts;
    status = dsp.start_status;
  } else if (code == afe::IOCTL_MODEM_STOP) {
    ++dsp.stops;
  }
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS FakeDspCreateClose(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_SUCCESS;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_SUCCESS;
}

void FakeDspUnload(PDRIVER_OBJECT driver) {
  while (driver->DeviceObject != nullptr) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS FakeDspEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kDspDeviceName);
  PDEVICE_OBJECT device = nullptr;
  const NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  driver->MajorFunction[IRP_MJ_CREATE] = FakeDspCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = FakeDspCreateClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = FakeDspCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = FakeDspControl;
  driver->DriverUnload = FakeDspUnload;
  return STATUS_SUCCESS;
}

const plat::reg::Value* Find(plat::ke::Kernel& machine, std::u16string_view key,
                             std::u16string_view name) {
  std::shared_ptr<plat::reg::Key> found;
  if (!NT_SUCCESS(plat::reg::RegistryOf(machine).registry.OpenKey(nullptr, key, &found))) {
    return nullptr;
  }
  return found->FindValue(name);
}

}  // namespace

plat::io::DriverImage VxafeImage() { return {u"vxafe", afe::DriverEntry}; }
plat::io::DriverImage VxdspImage() { return {u"vxdsp", pump::DriverEntry}; }
plat::io::DriverImage VxctlImage() { return {u"vxctl", DriverEntry}; }
plat::io::DriverImage NameTakerImage() { return {u"nametaker", TakerEntry}; }
plat::io::DriverImage FakeDspImage() { return {u"fakedsp", FakeDspEntry}; }

plat::Machine& CtlMachineTest::Make(plat::MachineConfig config) {
  if (config.drivers.empty()) config.drivers = {VxafeImage(), VxdspImage(), VxctlImage()};
  config.name = "M" + std::to_string(++machines_);
  machine_ = std::make_unique<plat::Machine>(sim, std::move(config));
  return *machine_;
}

plat::Machine& CtlMachineTest::BootCtl(plat::MachineConfig config) {
  plat::Machine& machine = Make(std::move(config));
  EXPECT_EQ(machine.Boot(), STATUS_SUCCESS) << machine.kernel().LogText();
  return machine;
}

void CtlMachineTest::RunOn(const std::function<void()>& body) {
  const bool returned = sim.RunUserThread(
      kernel(), "test", [&] { RunThreads({{16, body}}); }, sim.Now() + kMinute);
  EXPECT_TRUE(returned) << "the body did not return within a virtual minute";
}

NTSTATUS CtlMachineTest::Load(const plat::io::DriverImage& image, PDRIVER_OBJECT* loaded) {
  NTSTATUS status = STATUS_PENDING;
  RunOn([&] {
    PDRIVER_OBJECT driver = nullptr;
    status = plat::io::LoadDriver(image, &driver);
    if (loaded != nullptr) *loaded = driver;
  });
  return status;
}

void CtlMachineTest::Unload(PDRIVER_OBJECT driver) {
  RunOn([&] { EXPECT_EQ(plat::io::UnloadDriver(driver), STATUS_SUCCESS); });
}

std::optional<std::vector<UCHAR>> RegistryValue(plat::ke::Kernel& machine,
                                                std::u16string_view key,
                                                std::u16string_view name) {
  const plat::reg::Value* value = Find(machine, key, name);
  if (value == nullptr) return std::nullopt;
  return value->data;
}

std::optional<ULONG> DwordValue(plat::ke::Kernel& machine, std::u16string_view key,
                                std::u16string_view name) {
  const plat::reg::Value* value = Find(machine, key, name);
  if (value == nullptr || value->type != REG_DWORD || value->data.size() != sizeof(ULONG)) {
    return std::nullopt;
  }
  ULONG number = 0;
  std::memcpy(&number, value->data.data(), sizeof number);
  return number;
}

std::optional<std::u16string> StringValue(plat::ke::Kernel& machine, std::u16string_view key,
                                          std::u16string_view name) {
  const plat::reg::Value* value = Find(machine, key, name);
  if (value == nullptr || value->type != REG_SZ) return std::nullopt;
  std::u16string text(value->data.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), value->data.data(), text.size() * sizeof(char16_t));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::size_t SerialCommValues(plat::ke::Kernel& machine) {
  std::shared_ptr<plat::reg::Key> key;
  if (!NT_SUCCESS(plat::reg::RegistryOf(machine).registry.OpenKey(nullptr, kSerialCommPath, &key))) {
    return 0;
  }
  return key->values().size();
}

bool NameExists(plat::ke::Kernel& machine, std::u16string_view name) {
  return plat::io::ManagerOf(machine).FindName(name) != nullptr;
}

std::u16string LinkTarget(plat::ke::Kernel& machine, std::u16string_view name) {
  const plat::io::NameEntry* entry = plat::io::ManagerOf(machine).FindName(name);
  return entry == nullptr ? std::u16string{} : entry->link_target;
}

}  // namespace vxctl::testing
