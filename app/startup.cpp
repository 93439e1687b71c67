#include "app/startup.h"

#include <memory>

#include "app/builtin_drivers.h"
#include "platform/io/io_manager.h"
#include "platform/reg/registry.h"

namespace vxmodem {
namespace {

// The service key of each built-in driver that `hive` lacks, or empty.
std::string MissingServiceKey(const plat::reg::Hive& hive) {
  for (const plat::io::DriverImage& image : kBuiltinDrivers) {
    const std::u16string path =
        std::u16string(plat::io::kServicesPath) + std::u16string(image.service);
    std::shared_ptr<plat::reg::Key> key;
    if (hive.Open(nullptr, path, &key) != STATUS_SUCCESS) return plat::io::Narrow(path);
  }
  return {};
}

std::string CheckHive(const Options& options, plat::MachineConfig& config) {
  const std::string name = options.hive_file.empty() ? "the built-in hive" : options.hive_file;
  if (!options.hive_file.empty()) {
    if (auto error = plat::reg::ReadHiveFile(options.hive_file, &config.hive)) {
      return "bad hive: " + error->Text();
    }
  }
  plat::reg::Hive seed;
  if (auto error =
          plat::reg::ParseHiveText(name, config.hive, plat::reg::HiveSource::kSeed, seed)) {
    return "bad hive: " + error->Text();
  }
  if (const std::string missing = MissingServiceKey(seed); !missing.empty()) {
    return "bad hive: " + name + ": no service key " + missing;
  }
  return {};
}

std::string CheckState(const Options& options, const plat::MachineConfig& config) {
  const std::string& file = options.state_file;
  plat::reg::Registry probe;
  if (auto error = probe.Load("hive", config.hive, file)) return "bad state file: " + error->Text();
  if (const std::string missing = MissingServiceKey(probe.hive()); !missing.empty()) {
    return "bad state file: " + file + ": deletes the service key " + missing;
  }
  if (!plat::reg::StateFile(file).CanWrite()) {
    return "bad state file: " + file + ": its folder does not exist or cannot be written";
  }
  return {};
}

}  // namespace

Startup PrepareStartup(const Options& options) {
  Startup startup;
  plat::MachineConfig& config = startup.config;
  config.name = "vxmodem";
  config.drivers.assign(kBuiltinDrivers.begin(), kBuiltinDrivers.end());
  config.state_file = options.state_file;
  startup.error = CheckHive(options, config);
  if (startup.error.empty() && !options.state_file.empty()) {
    startup.error = CheckState(options, config);
  }
  if (startup.error.empty() && !options.trace_file.empty()) {
    startup.trace.open(options.trace_file, std::ios::binary | std::ios::trunc);
    if (!startup.trace) startup.error = "cannot write the trace " + options.trace_file;
  }
  return startup;
}

}  // namespace vxmodem
