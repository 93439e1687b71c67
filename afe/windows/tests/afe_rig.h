// A machine holding only the simulator and vxafe, with the data pump's side
// of the start played by the test: an AfeEventBlock with its ProfileFlags
// word and per-block event, kernel-mode start and stop requests, and a
// look at what the driver holds of the machine.
//
//   class MySuite : public afe::testing::AfeRig {};
//   TEST_F(MySuite, Something) {
//     BootAfe();
//     OnKernelThread([&] {
//       afe::AfeInterface* afe = StartOrFail();
//       ...
//     });
//   }
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "afe/windows/afe_device.h"
#include "afe/windows/afe_state.h"
#include "platform/machine/testing/fixtures.h"

namespace afe::testing {

struct Reply {
  NTSTATUS status;
  ULONG_PTR information;
};

// What the driver holds of its machine beyond the AFE device itself.
struct Holdings {
  std::size_t pool_blocks;  // of the driver's tag
  std::size_t mappings;
  std::size_t common_buffers;
  std::size_t interrupts;
  std::size_t devices;  // of the driver, the AFE device included
  std::size_t names;    // device names and links of the driver's three devices
  bool operator==(const Holdings&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Holdings& h);

// The pieces of the rig that need no fixture (the AfeContract harness runs
// on them too).
// Runs `body` on a system thread of `machine` (PASSIVE_LEVEL, kernel mode).
void RunOnKernelThread(plat::Simulation& sim, plat::ke::Kernel& machine,
                       const std::function<void()>& body);
// The driver's device of `type`, or null.
PDEVICE_OBJECT FindDevice(plat::Machine& machine, DEVICE_TYPE type);
// A kernel-mode device control to `device`; on a kernel thread.
Reply ControlDevice(PDEVICE_OBJECT device, ULONG code, void* in, ULONG in_length, void* out,
                    ULONG out_length);
// The data pump's start: `events` initialised with `profile_flags` and lent.
Reply StartFrontEnd(PDEVICE_OBJECT afe, AfeEventBlock& events, ULONG& profile_flags,
                    AfeInterface** answer);

class AfeRig : public plat::testing::MachineTest {
 protected:
  // A machine with only vxafe; `config`'s drivers are replaced.
  plat::Machine& BootAfe(plat::MachineConfig config = {});
  plat::Machine& machine() { return *machine_; }
  plat::ke::Kernel& kernel() { return machine_->kernel(); }

  // Runs `body` on a system thread of the machine (PASSIVE_LEVEL, kernel mode).
  void OnKernelThread(const std::function<void()>& body);
  // Runs `body` as a user-mode thread of the machine.
  void OnUserThread(const std::function<void()>& body);

  // The driver's device of `type`, or null. Any thread of the machine.
  PDEVICE_OBJECT Device(DEVICE_TYPE type);
  AfeDeviceExtension& Extension() { return *AfeExtension(Device(kAfeDeviceType)); }

  // A kernel-mode device control to the AFE device; on a kernel thread.
  Reply Control(ULONG code, void* in, ULONG in_length, void* out, ULONG out_length);
  // The start request with events_'s address; the interface on success.
  Reply Start(AfeInterface** answer);
  AfeInterface* StartOrFail();
  Reply Stop();

  Holdings Held();

  // The controller's byte registers as the codec holds them, read from the
  // simulator itself rather than through the driver.
  UCHAR SimRegister(ULONG reg);
  std::array<UCHAR, 101> SimRegisters();

  AfeEventBlock events_{};
  ULONG profile_flags_ = 0;
};

// Waits for the per-block event, at most a virtual second; true when it came.
bool AwaitBlock(AfeEventBlock& events);

// Runs `body` holding the interface's spin lock, as the requests run.
template <class Body>
auto Locked(AfeInterface& afe, Body body) {
  KIRQL old;
  KeAcquireSpinLock(&afe.Lock, &old);
  struct Release {
    AfeInterface& afe;
    KIRQL old;
    ~Release() { KeReleaseSpinLock(&afe.Lock, old); }
  } release{afe, old};
  return body(*afe.Context);
}

}  // namespace afe::testing
