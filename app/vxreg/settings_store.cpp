#include "app/vxreg/settings_store.h"

#include "platform/nt/ntstatus.h"

namespace vxreg {
namespace {

constexpr std::u16string_view kParameters = u"Parameters";

std::u16string Widen(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

SettingsStore::SettingsStore(std::string_view hive_name, std::string_view hive_text,
                             const std::filesystem::path& state_file)
    : state_file_(state_file) {
  if (auto error = registry_.Load(hive_name, hive_text, state_file)) error_ = error->Text();
}

const plat::reg::Value* SettingsStore::Find(std::string_view name) const {
  std::shared_ptr<plat::reg::Key> service;
  std::shared_ptr<plat::reg::Key> parameters;
  if (registry_.OpenKey(nullptr, kServicePath, &service) != STATUS_SUCCESS ||
      registry_.OpenKey(service.get(), kParameters, &parameters) != STATUS_SUCCESS) {
    return nullptr;
  }
  return parameters->FindValue(Widen(name));
}

std::string SettingsStore::Set(std::string_view name, ULONG type,
                               std::span<const std::uint8_t> data) {
  std::shared_ptr<plat::reg::Key> service;
  if (registry_.OpenKey(nullptr, kServicePath, &service) != STATUS_SUCCESS) {
    return "the hive has no key " + std::string(kServicePath.begin(), kServicePath.end());
  }
  std::shared_ptr<plat::reg::Key> parameters;
  if (registry_.CreateKey(service.get(), kParameters, REG_OPTION_NON_VOLATILE, &parameters,
                          nullptr) != STATUS_SUCCESS ||
      registry_.SetValue(*parameters, Widen(name), type, data) != STATUS_SUCCESS) {
    return "cannot write the state file " + state_file_.string();
  }
  return {};
}

}  // namespace vxreg
