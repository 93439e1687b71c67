// Applications on the serial port for the serial requests' tests: a booted
// machine (vxafe, vxdsp, vxctl), a user thread that opens a device by its
// link name, and device control with the status the request ended with.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "platform/nt/serial.h"
#include "platform/win32/files.h"

namespace vxctl::testing {

struct ControlResult {
  DWORD error;  // 0 on success, else GetLastError
  DWORD returned;
};

ControlResult Control(HANDLE device, ULONG code, const void* in, DWORD in_size, void* out,
                      DWORD out_size);

// The error a user call reports for a request that ended with `status`
// (0 for success).
DWORD ErrorFor(NTSTATUS status);

// A second application thread on the caller's machine, joined at the
// latest by the destructor.
class UserThread {
 public:
  explicit UserThread(std::function<void()> body);
  ~UserThread();
  UserThread(const UserThread&) = delete;
  UserThread& operator=(const UserThread&) = delete;
  // True once the body has returned, waiting at most `ms` of virtual time.
  bool Join(DWORD ms);

 private:
  static DWORD Run(LPVOID self);
  std::function<void()> body_;
  HANDLE handle_;
};

// Bytes and their count of a ReadFile or WriteFile, with its error.
struct Transfer {
  DWORD error;  // 0 on success, else GetLastError
  std::string bytes;
};
Transfer Read(HANDLE port, DWORD count);
Transfer Write(HANDLE port, std::string_view bytes);  // bytes: what was written
void SetTimeouts(HANDLE port, SERIAL_TIMEOUTS timeouts);

class SerialTest : public CtlMachineTest {
 protected:
  // Runs `body` on a user thread of the booted machine with `device`
  // ("COM1", "tolvasaprobe") open; the handle is closed afterwards.
  void WithDevice(std::u16string_view device, const std::function<void(HANDLE)>& body);
  // Boots the machine and runs `body` with COM1 open.
  void WithPort(const std::function<void(HANDLE)>& body) {
    BootCtl();
    WithDevice(u"COM1", body);
  }
  // Virtual milliseconds since the simulation began.
  std::uint64_t NowMs() const { return sim.Now() / 1'000'000; }
};

}  // namespace vxctl::testing
