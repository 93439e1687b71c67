#include "platform/io/tests/io_test_driver.h"

#include <memory>

namespace plat::io::testing {
namespace {

// The driver a test runs with: tests run one at a time in a process.
TestDriver* running = nullptr;

NTSTATUS Entry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  for (PDRIVER_DISPATCH& dispatch : driver->MajorFunction) dispatch = TestDriver::Dispatch;
  driver->DriverUnload = [](PDRIVER_OBJECT) {};
  return STATUS_SUCCESS;
}

void RunSpawned(PVOID context) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(context));
  (*body)();
}

}  // namespace

void Spawn(std::function<void()> body, const char* name) {
  auto* owned = new std::function<void()>(std::move(body));
  ASSERT_EQ(plat::ke::CurrentKernel().CreateSystemThread(name, RunSpawned, owned, nullptr),
            STATUS_SUCCESS);
}

void SpawnUser(std::function<void()> body, const char* name) {
  ASSERT_EQ(plat::ke::CurrentKernel().CreateUserThread(name, std::move(body), nullptr),
            STATUS_SUCCESS);
}

void SleepMs(int ms) {
  LARGE_INTEGER interval;
  interval.QuadPart = -10'000LL * ms;
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

TestDriver::TestDriver(const char16_t* service) {
  running = this;
  EXPECT_EQ(LoadDriver(DriverImage{service, Entry}, &driver_), STATUS_SUCCESS);
}

TestDriver::~TestDriver() { running = nullptr; }

PDEVICE_OBJECT TestDriver::Create(const char16_t* name, Handler handler, BOOLEAN exclusive,
                                  ULONG extension) {
  UNICODE_STRING device_name = Name(name);
  PDEVICE_OBJECT device = nullptr;
  EXPECT_EQ(IoCreateDevice(driver_, extension, name != nullptr ? &device_name : nullptr,
                           FILE_DEVICE_UNKNOWN, 0, exclusive, &device),
            STATUS_SUCCESS);
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  handlers_[device] = std::move(handler);
  return device;
}

NTSTATUS TestDriver::Dispatch(PDEVICE_OBJECT device, PIRP irp) {
  running->seen_[device].push_back(IoGetCurrentIrpStackLocation(irp)->MajorFunction);
  const Handler& handler = running->handlers_[device];
  if (!handler) return Complete(irp, STATUS_SUCCESS);
  return handler(device, irp);
}

}  // namespace plat::io::testing
