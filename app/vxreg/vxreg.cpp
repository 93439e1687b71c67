// vxreg: the controller's settings in a registry state file, read and
// changed without booting a machine. Exit status 0 when done, 2 for bad
// input or a refusal, with one line "vxreg: ..." on stderr; a refused set
// or reset leaves the state file as it was.
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "app/state_lock.h"
#include "app/vxreg/command_line.h"
#include "app/vxreg/settings_store.h"
#include "app/vxreg/value_text.h"
#include "platform/machine/default_hive.h"

namespace vxreg {
namespace {

int Fail(const std::string& message) {
  std::cerr << "vxreg: " << message << "\n";
  return 2;
}

std::string ValueColumn(const vxctl::RegValueInfo& entry, const SettingsStore& store) {
  const plat::reg::Value* value = store.Find(entry.name);
  return value != nullptr ? ShowValue(entry, *value)
                          : std::string("(default: ") + entry.default_text + ")";
}

void List(const SettingsStore& store) {
  for (const vxctl::RegValueInfo& entry : vxctl::kRegValues) {
    std::cout << std::left << std::setw(22) << entry.name << std::setw(8) << TypeName(entry.type)
              << std::setw(22) << SizeText(entry) << ValueColumn(entry, store) << "\n";
  }
}

int Reset(const std::filesystem::path& state_file) {
  std::error_code error;
  const bool removed = std::filesystem::remove(state_file, error);
  if (error) return Fail("cannot delete " + state_file.string() + ": " + error.message());
  std::cout << "vxreg: " << state_file.string() << (removed ? " deleted" : " does not exist")
            << ": the factory settings\n";
  return 0;
}

int Run(const Command& command) {
  std::string hive_text(plat::machine::DefaultHive());
  const std::string hive_name = command.hive_file.empty() ? "the built-in hive" : command.hive_file;
  if (!command.hive_file.empty()) {
    if (auto error = plat::reg::ReadHiveFile(command.hive_file, &hive_text)) {
      return Fail("bad hive: " + error->Text());
    }
  }
  const vxctl::RegValueInfo* entry = nullptr;
  ParsedValue parsed;
  if (command.action == Action::kGet || command.action == Action::kSet) {
    entry = FindEntry(command.name);
    if (entry == nullptr) {
      return Fail("unknown value " + Quoted(command.name) + " (vxreg list shows the values)");
    }
  }
  if (command.action == Action::kSet) {
    parsed = ParseValue(*entry, command.value);
    if (!parsed.error.empty()) return Fail(parsed.error);
  }

  // Only set and reset change the state file: they hold its lock.
  std::optional<vxmodem::StateLock> lock;
  if (command.action == Action::kSet || command.action == Action::kReset) {
    lock.emplace(command.state_file);
    if (!lock->held()) return Fail(lock->error());
  }
  if (command.action == Action::kReset) return Reset(command.state_file);

  SettingsStore store(hive_name, hive_text, command.state_file);
  if (!store.error().empty()) return Fail("cannot load: " + store.error());
  switch (command.action) {
    case Action::kList:
      List(store);
      return 0;
    case Action::kGet:
      std::cout << ValueColumn(*entry, store) << "\n";
      return 0;
    case Action::kSet:
      if (const std::string error = store.Set(entry->name, entry->type, parsed.data);
          !error.empty()) {
        return Fail(error);
      }
      return 0;
    default:
      return Fail("no command given");
  }
}

}  // namespace
}  // namespace vxreg

int main(int argc, char** argv) {
  const vxreg::ParsedCommand parsed = vxreg::ParseCommand({argv + 1, argv + argc});
  if (parsed.command.help) {
    std::cout << vxreg::kUsage;
    return 0;
  }
  if (!parsed.error.empty()) return vxreg::Fail(parsed.error + "\n" + vxreg::kUsage);
  return vxreg::Run(parsed.command);
}
