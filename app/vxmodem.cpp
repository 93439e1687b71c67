// vxmodem: boots one simulated machine with the built-in drivers, runs it for
// a while (virtual time, or paced to the wall clock), and shuts it down. The
// exit status is 0 only for a clean run: bad input (an argument, the hive,
// the state or trace file) and a failed boot give 2, and any diagnostic (a
// leak at shutdown among them) stops the program. With a state file, it
// holds the file's lock for the whole run (state_lock.h). In a paced run
// SIGINT or SIGTERM ends the run early and cleanly; a second signal exits
// with 130. With --tty the controller's COM1 is a pseudo-terminal for the
// host's programs for the whole run.
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "app/options.h"
#include "app/startup.h"
#include "app/state_lock.h"
#include "app/stop_signal.h"
#include "platform/machine/machine.h"
#include "platform/nt/status_text.h"
#include "platform/pty/pty_bridge.h"

namespace {

// Messages quote file names and file content: each line is cut to this
// many bytes, and control bytes are shown as '?'.
constexpr std::size_t kMaxMessageLine = 200;

std::string Printable(std::string_view message) {
  std::string out;
  std::size_t column = 0;
  for (const char c : message) {
    if (c == '\n') {
      out += c;
      column = 0;
      continue;
    }
    if (column++ >= kMaxMessageLine) continue;
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  return out;
}

int Fail(const std::string& message) {
  std::cerr << Printable("vxmodem: " + message) << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const vxmodem::Parsed parsed = vxmodem::ParseOptions({argv + 1, argv + argc});
  if (!parsed.error.empty()) return Fail(parsed.error + "\n" + vxmodem::kUsage);
  const vxmodem::Options& options = parsed.options;
  if (options.help) {
    std::cout << vxmodem::kUsage;
    return 0;
  }
  vxmodem::Startup startup = vxmodem::PrepareStartup(options);
  if (!startup.error.empty()) return Fail(startup.error);
  // Held for the whole run: vxreg changes the state file only while no
  // machine runs on it, and a second vxmodem does not start on it.
  std::optional<vxmodem::StateLock> state_lock;
  if (!options.state_file.empty()) {
    state_lock.emplace(options.state_file);
    if (!state_lock->held()) return Fail(state_lock->error());
  }

  vxmodem::StoppableWallClock wall;
  plat::SimulationOptions simulation_options;
  simulation_options.trace = startup.trace.is_open();
  if (options.realtime) {
    simulation_options.wall_clock = &wall;
    vxmodem::CatchStopSignals();
  }
  plat::Simulation sim(simulation_options);
  plat::Machine machine(sim, startup.config);
  if (const NTSTATUS status = machine.Boot(); !NT_SUCCESS(status)) {
    std::cerr << machine.kernel().LogText();
    return Fail("boot failed with status " + plat::nt::StatusText(status));
  }
  std::optional<plat::pty::PtyBridge> bridge;
  if (!options.tty_path.empty()) {
    bridge.emplace(machine.kernel(), options.tty_path);
    if (!bridge->Start()) {
      machine.Shutdown();
      return Fail("cannot make the pseudo-terminal: " + bridge->error());
    }
    std::cout << "vxmodem: COM1 is " << bridge->master()->slave_name() << ", linked at "
              << options.tty_path << std::endl;
  }
  if (options.realtime) {
    std::cout << "vxmodem: running paced to the wall clock; SIGINT or SIGTERM ends the run"
              << std::endl;
  }
  const std::uint64_t start = sim.Now();
  const bool until_signal = bridge && options.seconds == 0;
  sim.RunUntil([] { return vxmodem::StopRequested(); },
               until_signal ? plat::kForever
                            : start + static_cast<std::uint64_t>(options.seconds * 1e9));
  const double ran = static_cast<double>(sim.Now() - start) / 1e9;
  if (bridge) {
    bridge->Stop();
    sim.RunUntil([&] { return bridge->stopped(); });
    if (!bridge->error().empty()) {
      machine.Shutdown();
      return Fail("COM1 for the pseudo-terminal: " + bridge->error());
    }
  }
  machine.Shutdown();
  if (startup.trace.is_open()) {
    startup.trace << sim.TraceText();
    startup.trace.close();
    if (!startup.trace) return Fail("cannot write the trace " + options.trace_file);
  }
  std::cout << "vxmodem: " << (vxmodem::StopRequested() ? "stopped by a signal after " : "")
            << std::fixed << std::setprecision(3) << ran << " s on "
            << startup.config.drivers.size() << " driver(s), shut down clean\n";
  return 0;
}
