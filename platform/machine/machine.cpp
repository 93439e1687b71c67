#include "platform/machine/machine.h"

#include <string>

#include "platform/ex/handletable.h"
#include "platform/io/io_manager.h"
#include "platform/machine/hive_merge.h"
#include "platform/nt/status_text.h"
#include "platform/reg/machine_registry.h"

namespace plat {
namespace {

// Virtual time a shutdown lets the machine take to settle after the unloads.
constexpr std::uint64_t kSettleNs = 10 * hal::kSecond;

std::string Text(const UNICODE_STRING& s) {
  return io::Narrow(std::u16string_view(s.Buffer, s.Length / sizeof(WCHAR)));
}

}  // namespace

Machine::Machine(Simulation& simulation, MachineConfig config)
    : simulation_(simulation),
      config_(std::move(config)),
      kernel_(simulation.AddMachine(config_.name, config_.kernel)) {
  // The object manager and the I/O manager exist from the start, so their
  // shutdown checks run in boot order.
  ex::HandlesOf(kernel_);
  io::ManagerOf(kernel_);
  const std::string seed = machine::MergeHiveText(config_.hive, config_.hive_overrides);
  if (auto error = reg::RegistryOf(kernel_).registry.Load("seed of " + config_.name, seed,
                                                          config_.state_file)) {
    kernel_.Fatal("machine.registry-seed", error->Text());
  }
  if (config_.line == nullptr) {
    own_line_ = std::make_unique<line::Line>(line::LineConfig{.seed = config_.seed});
  }
  line_ = config_.line != nullptr ? config_.line : own_line_.get();
  port_ = std::make_unique<line::FrontEndPort>(*line_, config_.side);
  installed_ = &sim::InstallController(kernel_, {.line = port_.get(), .hal = config_.hal});
  installed_->controller().Knobs() = config_.controller;
  port_->SetController(&installed_->controller());
}

NTSTATUS Machine::Boot() {
  NTSTATUS result = STATUS_SUCCESS;
  simulation_.RunUserThread(kernel_, "boot", [&] {
    for (const io::DriverImage& image : config_.drivers) {
      PDRIVER_OBJECT driver = nullptr;
      const NTSTATUS status = io::LoadDriver(image, &driver);
      if (!NT_SUCCESS(status)) {
        kernel_.AddLog("boot: DriverEntry of " + io::Narrow(image.service) +
                       " failed with status " + nt::StatusText(status));
        result = status;
        return;
      }
      drivers_.push_back(driver);
    }
  });
  return result;
}

void Machine::Shutdown() {
  simulation_.RunUserThread(kernel_, "shutdown", [&] {
    while (!drivers_.empty()) {
      PDRIVER_OBJECT driver = drivers_.back();
      if (NT_SUCCESS(io::UnloadDriver(driver)))
        drivers_.pop_back();
      else
        break;  // it keeps its devices; the check below names them
    }
  });
  simulation_.RunUntil([&] { return !kernel_.HasReadyThread() && !kernel_.HasIdleWork(); },
                       simulation_.Now() + kSettleNs);
  CheckDevicesAndLinks();
  kernel_.Shutdown();
  CheckPool();
  shut_down_ = true;
}

void Machine::CheckDevicesAndLinks() {
  const io::IoManager& io = io::ManagerOf(kernel_);
  std::string left;
  for (const auto& [name, entry] : io.names()) {
    if (entry.device != nullptr) {
      left += "\n  device " + io::Narrow(entry.display.empty() ? name : entry.display) + " of " +
              Text(entry.device->DriverObject->DriverName);
      continue;
    }
    PDEVICE_OBJECT target = nullptr;
    const bool resolved = NT_SUCCESS(io.Resolve(entry.link_target, &target));
    left += "\n  link " + io::Narrow(entry.display.empty() ? name : entry.display) + " -> " +
            io::Narrow(entry.link_target) +
            (resolved ? " of " + Text(target->DriverObject->DriverName) : std::string());
  }
  if (!left.empty()) kernel_.Fatal("machine.names-left-at-shutdown", "left at shutdown:" + left);
}

void Machine::CheckPool() {
  const std::string report = kernel_.pool().LeakReport();
  if (!report.empty()) {
    kernel_.Fatal("machine.pool-leak", config_.name + " pool blocks left at shutdown:\n" + report);
  }
}

}  // namespace plat
