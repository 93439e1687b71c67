#include "layer2/corecode/mt/serial/tests/serial_client.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

constexpr std::uint64_t kRequestDeadline = 60'000'000'000ULL;

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

UserThread::UserThread(std::function<void()> body)
    : body_(std::move(body)), handle_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
  EXPECT_NE(handle_, HANDLE{0});
}

UserThread::~UserThread() {
  if (handle_ == 0) return;
  EXPECT_TRUE(Join(INFINITE)) << "a user thread did not end";
  CloseHandle(handle_);
}

bool UserThread::Join(DWORD ms) { return WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }

DWORD UserThread::Run(LPVOID self) {
  static_cast<UserThread*>(self)->body_();
  return 0;
}

Transfer Read(HANDLE port, DWORD count) {
  std::string bytes(count, '\0');
  DWORD done = 0;
  const BOOL ok = ReadFile(port, bytes.data(), count, &done, nullptr);
  bytes.resize(done);
  return {ok ? 0 : GetLastError(), bytes};
}

Transfer Write(HANDLE port, std::string_view bytes) {
  DWORD done = 0;
  const BOOL ok = WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  return {ok ? 0 : GetLastError(), std::string(bytes.substr(0, done))};
}

void SetTimeouts(HANDLE port, SERIAL_TIMEOUTS timeouts) {
  ASSERT_EQ(Control(port, IOCTL_SERIAL_SET_TIMEOUTS, &timeouts, sizeof timeouts, nullptr, 0).error,
            0u);
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
      sim.Now() + kRequestDeadline);
  EXPECT_TRUE(returned) << "the application did not finish within a virtual minute";
}

}  // namespace vxctl::testing
