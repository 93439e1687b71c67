// A booted machine paced to the wall clock with a bridge on its COM1 whose
// link sits in a fresh temporary folder, for the bridge's tests.
//
//   BridgeRig rig({{u"loopserial", LoopbackSerialEntry}});
//   ASSERT_TRUE(rig.Start());
//   rig.RunApplication([&] { int fd = OpenRaw(rig.link()); ... }, 5);
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/machine/machine.h"
#include "platform/pty/pty_bridge.h"
#include "platform/pty/termios_requests.h"

namespace plat::pty::testing {

class BridgeRig {
 public:
  explicit BridgeRig(std::vector<io::DriverImage> drivers);
  ~BridgeRig();  // stops the bridge, shuts the machine down, removes the folder
  BridgeRig(const BridgeRig&) = delete;
  BridgeRig& operator=(const BridgeRig&) = delete;

  ::testing::AssertionResult Start();
  // Runs `application` on a host thread while the machine runs, at most
  // `seconds` of wall time.
  void RunApplication(const std::function<void()>& application, int seconds);

  // Another bridge on the machine's `port`, linked at `name` in the folder
  // (after Start()); false with the reason in a test failure.
  ::testing::AssertionResult AddBridge(const std::string& name, std::u16string port);
  std::string link(const std::string& name = "modem") const { return (folder_ / name).string(); }
  PtyBridge& bridge() { return bridge_; }
  // The bridges AddBridge made, in order.
  PtyBridge& added(std::size_t index) { return *more_bridges_.at(index); }
  Machine& machine() { return machine_; }

 private:
  static SimulationOptions Paced(WallClock& clock);
  static std::filesystem::path MakeFolder();

  std::filesystem::path folder_ = MakeFolder();
  SteadyWallClock clock_;
  Simulation sim_{Paced(clock_)};
  Machine machine_;
  PtyBridge bridge_{machine_.kernel(), link()};
  std::vector<std::unique_ptr<PtyBridge>> more_bridges_;
};

// Checks `done` every few milliseconds on a host thread until it holds or
// `wait_ms` passed (a guard against hangs, not a measure of speed).
bool WaitUntil(const std::function<bool()>& done, int wait_ms = 3000);

// The one line of the bridge's status file, empty when there is none.
std::string ReadLinesFile(const std::string& link);

}  // namespace plat::pty::testing

namespace plat::pty {
// A request in test failures: its function number and input bytes.
void PrintTo(const SerialRequest& request, std::ostream* out);
}  // namespace plat::pty
