// A small driver for I/O manager tests: every dispatch entry routes to a
// handler the test gives per device; a device without one completes its
// requests with success. Each test names what its devices do.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/io/files.h"
#include "platform/io/io.h"
#include "platform/io/io_host.h"
#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"

namespace plat::io::testing {

using Handler = std::function<NTSTATUS(PDEVICE_OBJECT, PIRP)>;

inline constexpr ULONG kTestCode =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);

// Completes the request with `status` and `information`; returns `status`.
inline NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

inline NTSTATUS PassDown(PDEVICE_OBJECT lower, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(lower, irp);
}

// A counted string over a literal.
inline UNICODE_STRING Name(const char16_t* text) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, text);
  return name;
}

// A symbolic link from `link` to `target`.
inline NTSTATUS Link(const char16_t* link, const char16_t* target) {
  UNICODE_STRING link_name = Name(link);
  UNICODE_STRING target_name = Name(target);
  return IoCreateSymbolicLink(&link_name, &target_name);
}

class TestDriver {
 public:
  // Loads the driver on the calling thread's machine.
  explicit TestDriver(const char16_t* service = u"IoTest");
  TestDriver(const TestDriver&) = delete;
  TestDriver& operator=(const TestDriver&) = delete;
  ~TestDriver();

  PDRIVER_OBJECT object() const { return driver_; }

  // A device with buffered I/O, its initialising flag cleared.
  PDEVICE_OBJECT Create(const char16_t* name, Handler handler = {}, BOOLEAN exclusive = FALSE,
                        ULONG extension = 0);
  void Handle(PDEVICE_OBJECT device, Handler handler) { handlers_[device] = std::move(handler); }

  // Every major function each device saw, in order.
  const std::vector<UCHAR>& Seen(PDEVICE_OBJECT device) { return seen_[device]; }

  static NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp);

 private:
  PDRIVER_OBJECT driver_ = nullptr;
  std::map<PDEVICE_OBJECT, Handler> handlers_;
  std::map<PDEVICE_OBJECT, std::vector<UCHAR>> seen_;
};

// Opens a name as a user would; fails the test on an error.
inline PFILE_OBJECT Open(const char16_t* name, KPROCESSOR_MODE mode = UserMode) {
  PFILE_OBJECT file = nullptr;
  EXPECT_EQ(OpenDevice(name, mode, &file), STATUS_SUCCESS) << "opening the test's device";
  return file;
}

inline std::span<const std::byte> Bytes(const void* data, std::size_t size) {
  return {static_cast<const std::byte*>(data), size};
}

// Runs `body` on a new system thread of the calling machine.
void Spawn(std::function<void()> body, const char* name = "worker");
// Runs `body` on a new user thread of the calling machine (for user-mode calls).
void SpawnUser(std::function<void()> body, const char* name = "user");

// Sleeps the calling thread for `ms` milliseconds of virtual time.
void SleepMs(int ms);

// A handler that keeps requests pending in `parked`, oldest first: those of
// the major functions listed, or all when none is; it completes the others
// with success.
inline Handler Park(std::vector<PIRP>& parked, std::vector<UCHAR> majors = {}) {
  return [&parked, majors](PDEVICE_OBJECT, PIRP irp) {
    const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
    if (!majors.empty() && std::find(majors.begin(), majors.end(), major) == majors.end()) {
      return Complete(irp, STATUS_SUCCESS);
    }
    IoMarkIrpPending(irp);
    parked.push_back(irp);
    return STATUS_PENDING;
  };
}

// One machine in a fresh simulation; Run executes the body as a user thread.
class IoTest : public ::testing::Test {
 protected:
  void Run(const std::function<void()>& body) {
    ASSERT_TRUE(sim.RunUserThread(machine, "test", body));
  }

  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("A");
};

// Runs `body` as a user thread of a fresh one-machine simulation that has
// the test driver loaded; for tables whose cases each need a clean machine.
inline void OnFreshMachine(const std::function<void(TestDriver&, plat::ke::Kernel&)>& body) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("M");
  sim.RunUserThread(machine, "test", [&] {
    TestDriver driver;
    body(driver, machine);
  });
}

}  // namespace plat::io::testing
