// A controller driver for tests, standing in for the real one until it
// exists. Loaded after vxdsp ("vxtestctl"), it attaches a device of its own
// to the DSP device and, at load unless told otherwise, starts the data pump
// the way the controller does: IOCTL_MODEM_START built with
// IoBuildDeviceIoControlRequest, carrying ControllerDouble::Callback. It
// keeps the DspContext the data pump answers with, reaches COMRAM through
// the context's host interface, and runs a ControllerDouble on that page,
// whose wake call is the data pump's ControllerCall (unless the test sets
// a callback of its own). Its unload sends
// IOCTL_MODEM_STOP (unless a stop already succeeded), then detaches and
// deletes its device.
//
//   plat::MachineConfig config;
//   config.drivers = {{u"vxafe", afe::DriverEntry}, {u"vxdsp", pump::DriverEntry},
//                     {u"vxtestctl", TestControllerEntry}};
//   plat::Machine& machine = Boot(std::move(config));
//   TestController& controller = TestControllerOf(machine.kernel());
//   ... on a thread of the machine:
//   controller.Double().WritePowerState(0xD0);
//   controller.Double().Exchange(0x60, {0});
#pragma once

#include <memory>

#include "platform/io/io.h"
#include "platform/ke/kernel.h"
#include "pump/context/dsp_context.h"
#include "pump/tests/support/controller_double.h"

namespace pump::testing {

struct ControlReply {
  NTSTATUS status;
  ULONG_PTR information;
};

// A kernel-mode device control built with IoBuildDeviceIoControlRequest and
// sent to `device`, as the controller sends its own; on a thread of the
// machine.
ControlReply SendDeviceControl(PDEVICE_OBJECT device, ULONG code, void* in, ULONG in_length,
                               void* out, ULONG out_length);

class TestController {
 public:
  // Set before the machine boots: false leaves the start to Start().
  bool start_at_load = true;
  // Set before the start: the controller callback handed to the data pump
  // instead of the double's; with it no ControllerDouble is built, and the
  // test drives the page itself.
  ControllerCallback callback = nullptr;

  // The start and the stop requests to the DSP device; on a thread of the
  // machine. A successful start builds the double, the stop takes it down
  // first (the page goes with the data pump's host interface).
  NTSTATUS Start();
  NTSTATUS Stop();

  NTSTATUS start_status() const { return start_status_; }
  ULONG_PTR start_information() const { return start_information_; }
  // Null until a start succeeded.
  DspContext* Context() const { return context_; }
  HostInterface& Host() const { return *context_->host; }
  ControllerDouble& Double() const { return *double_; }
  bool started() const { return context_ != nullptr; }

 private:
  friend NTSTATUS TestControllerEntry(PDRIVER_OBJECT, PUNICODE_STRING);
  friend void TestControllerUnload(PDRIVER_OBJECT);

  PDEVICE_OBJECT device_ = nullptr;
  PDEVICE_OBJECT lower_ = nullptr;  // the DSP device
  NTSTATUS start_status_ = STATUS_PENDING;
  ULONG_PTR start_information_ = 0;
  DspContext* context_ = nullptr;
  std::unique_ptr<ControllerDouble> double_;
  bool stopped_ = false;
};

// The machine's test controller (a slot of its kernel).
TestController& TestControllerOf(plat::ke::Kernel& machine);

// The machine host's image for "vxtestctl". Fails when the DSP device is
// missing, as the controller's load does.
NTSTATUS TestControllerEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

}  // namespace pump::testing
