// The controller's Parameters key in a seed hive and its state file, as
// vxreg reads and changes it: the same layering the machine's registry
// loads, so a machine booted from the two sees what vxreg wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/reg/registry.h"

namespace vxreg {

inline constexpr std::u16string_view kServicePath =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl";

class SettingsStore {
 public:
  // The seed (named `hive_name` in messages) with the state file's layer
  // over it; error() tells why they do not load.
  SettingsStore(std::string_view hive_name, std::string_view hive_text,
                const std::filesystem::path& state_file);

  const std::string& error() const { return error_; }
  // The stored value of that name, or null.
  const plat::reg::Value* Find(std::string_view name) const;
  // Writes the value through to the state file (creating the Parameters
  // key when the seed lacks it); empty, or why it was not written.
  std::string Set(std::string_view name, ULONG type, std::span<const std::uint8_t> data);

 private:
  plat::reg::Registry registry_;
  std::filesystem::path state_file_;
  std::string error_;
};

}  // namespace vxreg
