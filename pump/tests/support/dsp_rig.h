// Machines for vxdsp's tests: vxdsp over the scripted front end (FakeFrontEnd,
// with a TestAfe once started) or over the real vxafe with the simulator,
// with or without the test-side controller driver, and the calls a test
// makes on them.
//
//   class MySuite : public pump::testing::DspRig {};
//   TEST_F(MySuite, Something) {
//     BootOnFake();
//     OnKernelThread([&] { EXPECT_EQ(Start().status, STATUS_SUCCESS); });
//   }
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/line/line.h"
#include "platform/machine/testing/fixtures.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/fake_front_end.h"
#include "pump/tests/support/test_controller.h"

namespace pump::testing {

using Reply = ControlReply;

// What a start left in the request's buffer, whatever its status.
struct StartReply {
  NTSTATUS status;
  ULONG_PTR information;
  DspContext* answer;
};

// The Profile value's line of the service key, for the hive overrides.
std::string ProfileOverride(ULONG profile_flags);

class DspRig : public plat::testing::MachineTest {
 protected:
  enum class Controller { kNone, kStarted, kUnstarted };

  // vxdsp on the scripted front end; the controller driver on request.
  plat::Machine& BootOnFake(Controller controller = Controller::kNone,
                            plat::MachineConfig config = {});
  // vxdsp on vxafe and the simulator.
  plat::Machine& BootOnVxafe(Controller controller = Controller::kStarted,
                             plat::MachineConfig config = {});
  // A second machine in the same simulation (vxdsp on vxafe, the controller
  // started), as the far end of the first one's line; shut down and gone
  // after TearDown.
  plat::Machine& BootPeerOnVxafe(plat::MachineConfig config);
  // A simulated line the rig owns until its machines are gone; the rig's
  // machine ("A") boots at its side A, a second machine ("B") at side B.
  plat::line::Line& MakeLine(const plat::line::LineConfig& config);
  plat::Machine& BootOnLineSideA();
  plat::Machine& BootPeerOnLineSideB();
  void TearDown() override;
  plat::ke::Kernel& kernel() { return machine_->kernel(); }

  // On a system thread of the machine (kernel mode) at `priority`.
  void OnKernelThread(const std::function<void()>& body, KPRIORITY priority = 16);
  void OnKernelThread(plat::ke::Kernel& machine, const std::function<void()>& body,
                      KPRIORITY priority = 16);
  void OnUserThread(const std::function<void()>& body);

  // The DSP device and its extension; null once deleted.
  PDEVICE_OBJECT DspDevice();
  DspDeviceExtension& Extension() {
    return *static_cast<DspDeviceExtension*>(DspDevice()->DeviceExtension);
  }
  // The device a name leads to; null when it leads nowhere.
  PDEVICE_OBJECT Named(std::u16string_view name);

  // Kernel-mode device controls to the DSP device; on a kernel thread.
  Reply Control(ULONG code, void* in, ULONG in_length, void* out, ULONG out_length);
  // The start on a request of the test's own, read back whatever the
  // status; `just_before` runs right before the request is sent.
  StartReply Start(ControllerCallback callback = &ControllerDouble::Callback,
                   const std::function<void()>& just_before = {});
  Reply Stop() { return Control(IOCTL_MODEM_STOP, nullptr, 0, nullptr, 0); }

  FakeFrontEnd& Fake() { return FakeFrontEndOf(kernel()); }
  TestController& TheController() { return TestControllerOf(kernel()); }

  // Requests of a kind that reached the scripted front end.
  int SeenByFake(ULONG code);
  int SeenMajorByFake(UCHAR major);
  // A user-mode open and close of the DSP device.
  void OpenAndClose();
  // The voice bridge's one transfer (80 ms at 8000 Hz) on the Sound device
  // from a user thread: READDATA into `samples` or WRITEDATA from them.
  void BridgeTransfer(ULONG code, std::vector<SHORT>& samples);
  // Bytes of a value of vxdsp's service key; none when it is missing.
  std::optional<ULONG> ServiceValueBytes(std::u16string_view name);

  // Blocks of the "Ddk " tag the machine holds.
  std::size_t DdkBlocks() { return kernel().pool().LiveByTag(kDspTag).blocks; }

 private:
  std::unique_ptr<plat::Machine> Built(std::vector<plat::io::DriverImage> drivers,
                                       Controller controller, plat::MachineConfig config);
  plat::Machine& BootWith(std::vector<plat::io::DriverImage> drivers, Controller controller,
                          plat::MachineConfig config);

  std::unique_ptr<plat::Machine> far_machine_;
  std::unique_ptr<plat::line::Line> line_;
};

// One direction of the impaired line two of our ends share: `kImpairedLossDb`
// of loss, 97 samples of delay, the hybrid's echo 20 dB down after 9 samples,
// and white noise `snr_db` below a signal sent at `transmit_dbm0` (none from
// 100 dB up).
inline constexpr double kImpairedLossDb = 6;
plat::line::LineDirectionConfig ImpairedDirection(int transmit_dbm0, double snr_db);

}  // namespace pump::testing
