#include "layer2/corecode/mt/serial/tests/serial_client.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

constexpr std::uint64_t kMinute = 60'000'000'000ULL;

}  // namespace

DWORD ErrorFor(NTSTATUS status) { return NT_SUCCESS(status) ? 0 : RtlNtStatusToDosError(status); }

ControlResult Control(HANDLE device, ULONG code, const void* in, DWORD in_size, void* out,
                      DWORD out_size) {
  DWORD returned = 0;
  if (DeviceIoControl(device, code, const_cast<void*>(in), in_size, out, out_size, &returned,
                      nullptr)) {
    return {0, returned};
  }
  return {GetLastError(), returned};
}

void SerialTest::WithDevice(std::u16string_view device,
                            const std::function<void(HANDLE)>& body) {
  const bool returned = sim.RunUserThread(
      kernel(), "app",
      [&] {
        const std::u16string name = u"\\\\.\\" + std::u16string(device);
        HANDLE handle = CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, 0);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
        body(handle);
        EXPECT_TRUE(CloseHandle(handle));
      },
      sim.Now() + kMinute);
  EXPECT_TRUE(returned) << "the application did not finish within a virtual minute";
}

}  // namespace vxctl::testing
