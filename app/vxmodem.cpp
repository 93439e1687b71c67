// vxmodem: boots one simulated machine with the built-in drivers, runs it for
// a while (virtual time, or paced to the wall clock), and shuts it down. The
// exit status is 0 only for a clean run: a bad argument or hive gives 2, and
// any diagnostic (a leak at shutdown among them) stops the program.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/builtin_drivers.h"
#include "app/options.h"
#include "platform/machine/machine.h"
#include "platform/reg/hivetext.h"

namespace {

int Fail(const std::string& message) {
  std::cerr << "vxmodem: " << message << "\n";
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

  plat::MachineConfig config{.name = "vxmodem"};
  if (!options.hive_file.empty()) {
    std::ifstream file(options.hive_file, std::ios::binary);
    if (!file) return Fail("cannot read the hive " + options.hive_file);
    std::ostringstream text;
    text << file.rdbuf();
    config.hive = text.str();
    plat::reg::Hive check;
    if (auto error = plat::reg::ParseHiveText(options.hive_file, config.hive,
                                              plat::reg::HiveSource::kSeed, check)) {
      return Fail("bad hive: " + error->Text());
    }
  }
  config.state_file = options.state_file;
  config.drivers.assign(vxmodem::kBuiltinDrivers.begin(), vxmodem::kBuiltinDrivers.end());

  plat::SteadyWallClock wall;
  plat::SimulationOptions simulation_options;
  simulation_options.trace = !options.trace_file.empty();
  if (options.realtime) simulation_options.wall_clock = &wall;
  plat::Simulation sim(simulation_options);
  plat::Machine machine(sim, config);
  if (const NTSTATUS status = machine.Boot(); !NT_SUCCESS(status)) {
    std::cerr << machine.kernel().LogText();
    return Fail("boot failed");
  }
  sim.RunFor(static_cast<std::uint64_t>(options.seconds * 1e9));
  machine.Shutdown();
  if (!options.trace_file.empty()) {
    std::ofstream trace(options.trace_file);
    trace << sim.TraceText();
    if (!trace) return Fail("cannot write the trace " + options.trace_file);
  }
  std::cout << "vxmodem: " << options.seconds << " s on " << config.drivers.size()
            << " driver(s), shut down clean\n";
  return 0;
}
